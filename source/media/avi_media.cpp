#include "source/media/media.h"

#include "source/avi/avifile.h"
#include "source/avi/aviheader.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace quorvel::media {

namespace {

// A FourCC as text when all four bytes are printable, trailing spaces dropped.
std::string fourccText(std::uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>(code >> (8 * i));
        if (c < 0x20 || c > 0x7E)
            return {};
        s.push_back(c);
    }
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string codecOf(const avifile::AviVideoExtras& e) {
    // biCompression names the coding; fccHandler often names a program.
    if (std::string s = fourccText(e.compression); !s.empty())
        return s;
    if (e.compression == 0)
        return "RGB";
    return fourccText(e.handler);
}

// `units` of `scale`/`rate` seconds in milliseconds, rounded to the nearest;
// none when the rate is unknown or the time does not fit.
std::optional<std::uint64_t> milliseconds(std::uint64_t units, std::uint32_t scale,
                                          std::uint32_t rate) {
    if (scale == 0 || rate == 0)
        return std::nullopt;
    const std::uint64_t ticks = units * scale; // both under 2^32: no wrap
    const std::uint64_t seconds = ticks / rate;
    if (seconds > UINT64_MAX / 1000 - 1)
        return std::nullopt;
    return seconds * 1000 + ((ticks % rate) * 1000 + rate / 2) / rate;
}

// The video stream's length counts its frames. An OpenDML total that is
// larger wins: some writers leave the stream header counting only the first
// RIFF, as the main header's count always does in such files. The main
// header's count alone serves when neither says.
std::optional<std::uint64_t> frameCount(const avifile::AviVideoExtras& e) {
    const std::uint32_t frames = std::max(e.length, e.odmlTotalFrames);
    if (frames != 0)
        return frames;
    if (e.totalFrames != 0)
        return e.totalFrames;
    return std::nullopt;
}

// One field to the frame is progressive, two interlaced. The order shows when
// the two fields start on neighbouring lines of the frame, the first field
// listed being the first in time; start lines further apart are numbered in
// the video signal's lines, whose top differs between standards.
void readFields(const avifile::AviVideoExtras& e, VideoInfo& info) {
    if (e.fieldsPerFrame == 1)
        info.scan = Scan::Progressive;
    if (e.fieldsPerFrame != 2)
        return;
    info.scan = Scan::Interlaced;
    if (!e.fieldStartLines)
        return;
    const auto [first, second] = *e.fieldStartLines;
    if (first + 1 == second)
        info.fieldOrder = FieldOrder::TopFirst;
    else if (second + 1 == first)
        info.fieldOrder = FieldOrder::BottomFirst;
}

// Standard-definition DV stores both fields of each frame, the bottom one
// first, whatever the AVI says: ffmpeg writes a one-field vprp for it, and
// other writers a two-field one in either order.
bool isStandardDv(const std::string& codec, std::uint32_t width, std::uint32_t height) {
    static constexpr std::string_view kDv[] = {"dvsd", "dv25", "dv50", "dvc",
                                               "dvcp", "dvpp", "cdvc"};
    std::string lower = codec;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return width == 720 && (height == 480 || height == 576) &&
           std::find(std::begin(kDv), std::end(kDv), lower) != std::end(kDv);
}

} // namespace

ProbeResult readAvi(Bytes prefix, io::ByteSource& source) {
    avifile::AVIFILEINFO record{};
    avifile::AviVideoExtras extras;
    if (const std::int32_t rc = avifile::readAviVideo(prefix, source, record, extras))
        return {std::nullopt, avifile::sysErrorText(rc)};
    VideoInfo info;
    info.container = Container::Avi;
    info.codec = codecOf(extras);
    info.width = record.dwWidth;
    info.height = record.dwHeight;
    info.rate = ratio(record.dwRate, record.dwScale);
    // The frame's aspect spread over the active picture; each factor is at
    // most 32 bits wide, so the products fit.
    if (extras.frameWidth != 0 && extras.frameHeight != 0)
        info.sar = ratio(std::uint64_t{extras.aspectX} * extras.frameHeight,
                         std::uint64_t{extras.aspectY} * extras.frameWidth);
    info.frames = frameCount(extras);
    if (info.frames)
        info.durationMs =
            plausibleDuration(milliseconds(*info.frames, record.dwScale, record.dwRate));
    readFields(extras, info);
    if (isStandardDv(info.codec, info.width, info.height)) {
        info.scan = Scan::Interlaced;
        info.fieldOrder = FieldOrder::BottomFirst;
    }
    if (extras.audioStreams > 0) {
        info.hasAudio = true;
        if (extras.audioCountsKnown && extras.audioChannels <= kMaxAudioChannels)
            info.audioChannels = extras.audioChannels;
    } else if (!extras.soundHidden) {
        info.hasAudio = false;
    }
    return {info, {}};
}

} // namespace quorvel::media
