#pragma once

// What quorvel-info learns about a video file, whatever holds it. Each
// container has a small header reader of its own (mp4, matroska, mpeg, and
// the AVI reader); they share the bounded reads of byte_cursor.h and
// bit_reader.h and hand back one VideoInfo.

#include "source/fraction.h"
#include "source/io/byte_source.h"
#include "source/media/byte_cursor.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::media {

enum class Container { Avi, Mp4, Matroska, MpegPs, MpegEs };

// "AVI", "MP4", "Matroska", "MPEG-PS", "MPEG-ES": the names quorvel-info prints.
const char* containerName(Container c);

using quorvel::Fraction;

// num:den in lowest terms; none when either is 0 or the result does not fit.
std::optional<Fraction> ratio(std::uint64_t num, std::uint64_t den);

enum class Scan { Progressive, Interlaced };
enum class FieldOrder { TopFirst, BottomFirst };

// Lines or columns of the coded picture that are not picture.
struct Crop {
    std::uint32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const Crop&, const Crop&) = default;
};

// No disc these programs plan holds more than a day, nor does any one
// recording on it: a longer running time is damage, or clocks that do not
// belong together. Every reader leaves such a time unknown.
inline constexpr std::uint64_t kMaxDurationMs = 24ull * 3600 * 1000;

// A running time as the readers give it: none for one that rounds to 0 ms,
// which says nothing, or that passes kMaxDurationMs.
inline std::optional<std::uint64_t> plausibleDuration(std::optional<std::uint64_t> ms) {
    if (!ms || *ms == 0 || *ms > kMaxDurationMs)
        return std::nullopt;
    return ms;
}

struct VideoInfo {
    Container container = Container::Avi;
    std::string codec;       // the FourCC or codec id as the file stores it
    std::uint32_t width = 0; // coded size, before shape and rotation
    std::uint32_t height = 0;
    std::optional<Fraction> rate; // frames per second; none when the file does not say
    bool variableRate = false;    // rate is then the average
    std::optional<Fraction> sar;  // one source pixel's width:height, reduced; none when unstated
    int rotation = 0;             // clockwise: 0, 90, 180 or 270
    // Running time in milliseconds, rounded to the nearest; none when the file
    // does not say. `frames` where the file counts them.
    std::optional<std::uint64_t> durationMs;
    std::optional<std::uint64_t> frames;
    std::optional<Scan> scan;             // none when the file does not say
    std::optional<FieldOrder> fieldOrder; // interlaced sources only, when stated
    // A 30000/1001 stream that repeats fields in the 2:3 pattern carries film;
    // filmRate is then its rate before pulldown. None when not looked at.
    std::optional<bool> pulldown;
    std::optional<Fraction> filmRate;
    // The most the video stream says it carries (MPEG-2's bit_rate), in
    // bit/s; none where the file does not say.
    std::optional<std::uint64_t> peakBitsPerSecond;
    // What of the coded picture is picture; `sar` is the shape of the cropped
    // picture's pixels.
    std::optional<Crop> crop;
    // Sound as ffmpeg would find it: false when the file holds no audio
    // track, none when the reader stopped before it saw every track. The
    // most channels of any audio track (ffmpeg's pick), when each states
    // its count.
    std::optional<bool> hasAudio;
    std::optional<std::uint32_t> audioChannels;
    // The language of that track: the primary subtag in lower case ("en",
    // "deu"), none when the file does not say or says "undetermined".
    std::optional<std::string> audioLanguage;
    // Where the file's own chapters start, in milliseconds of its running
    // time: ascending, without repeats, at most kMaxChapters of them.
    std::vector<std::uint64_t> chaptersMs;
};

// More chapter marks than a DVD title can hold (99) say nothing more.
inline constexpr std::size_t kMaxChapters = 256;

// A language tag as files write it (ISO 639-2 "ger", BCP 47 "en-GB"), reduced
// to its primary subtag in lower case; none for one that is not 2 or 3
// letters, or that names no one language ("und", "mul", "zxx", "mis").
std::optional<std::string> languageOf(std::string_view tag);

// Chapter starts gathered from a file: sorted, repeats and times past
// kMaxDurationMs dropped, the first kMaxChapters kept.
std::vector<std::uint64_t> chapterMarks(std::vector<std::uint64_t> ms);

// A channel count past this is damage: no sound format carries more.
inline constexpr std::uint32_t kMaxAudioChannels = 255;

// The audio tracks a reader meets, gathered into VideoInfo's two facts.
struct AudioTracks {
    bool any = false;
    bool countsKnown = true;
    std::uint32_t most = 0;
    std::optional<std::string> language; // of the first track with the most channels

    void add(std::optional<std::uint64_t> channels, std::optional<std::string> lang = {}) {
        if (!any)
            language = lang;
        any = true;
        if (channels && *channels >= 1 && *channels <= kMaxAudioChannels) {
            if (*channels > most)
                language = lang;
            most = std::max(most, static_cast<std::uint32_t>(*channels));
        } else {
            countsKnown = false;
        }
    }
    // `sawAll`: every track was looked at, so no audio is false.
    void give(VideoInfo& v, bool sawAll) const {
        if (any)
            v.hasAudio = true;
        else if (sawAll)
            v.hasAudio = false;
        if (any && countsKnown)
            v.audioChannels = most;
        if (any)
            v.audioLanguage = language;
    }
};

struct ProbeResult {
    std::optional<VideoInfo> video;
    std::string error; // a sentence for the user when there is no video
    bool ok() const { return video.has_value(); }
};

// The first bytes decide, never the name: a container we read, or what was
// found instead ("an MPEG transport stream", "a WAVE file", "not a video file").
struct Sniffed {
    std::optional<Container> container;
    std::string found;
};
Sniffed sniff(Bytes prefix);

// Each reader gets the source's first bytes (open's first read) and reads the
// source itself only for what lies beyond them, within its named limits.
ProbeResult readMp4(Bytes prefix, io::ByteSource& source);
ProbeResult readMatroska(Bytes prefix, io::ByteSource& source);
ProbeResult readMpeg(Bytes prefix, io::ByteSource& source);
// The AVI reader's size and rate, the codec's FourCC, the pixel shape from
// the OpenDML video properties (vprp) and the audio streams; the window's road
// does not use it.
ProbeResult readAvi(Bytes prefix, io::ByteSource& source);

} // namespace quorvel::media
