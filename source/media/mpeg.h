#pragma once

// MPEG-1 and MPEG-2 video internals, open for the tests: the sequence header
// with its extensions, and what it says about rate and pixel shape; picture
// headers with their coding extensions, GOP time codes and the 90 kHz clock,
// for the running time, the scan and pulldown.
//
// Sound, in a program stream: hasAudio is true for a packet of MPEG audio
// (stream 0xC0-0xDF, whose first frame header gives 1 channel in mode 3,
// else 2) or of private stream 1 with an AC-3, DTS, LPCM or TrueHD substream
// (0x80-0xCF, channels unread) among the packets walked for the first
// pictures, which ffmpeg's own probe reads past. It is false only when those
// held none, no byte of them was skipped, and a system header was seen that
// promises none (its audio_bound and streams, where DVD writers list private
// stream 1 for subpictures too); anything that may be sound (another
// substream, an extended stream, a stream map) leaves it unknown, as
// ffmpeg's probe may find the sound further on. An elementary stream has
// none.

#include "source/media/media.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvel::media::mpeg {

// The start codes read here: the byte after 00 00 01.
inline constexpr std::uint8_t kPicture = 0x00;
inline constexpr std::uint8_t kUserData = 0xB2;
inline constexpr std::uint8_t kSequenceHeader = 0xB3;
inline constexpr std::uint8_t kExtension = 0xB5;
inline constexpr std::uint8_t kGop = 0xB8;
inline constexpr std::uint8_t kProgramEnd = 0xB9;
inline constexpr std::uint8_t kPack = 0xBA;
inline constexpr std::uint8_t kSystemHeader = 0xBB;
// Extension ids: the first four bits after an extension's start code.
inline constexpr std::uint8_t kSequenceExtensionId = 1;
inline constexpr std::uint8_t kDisplayExtensionId = 2;
inline constexpr std::uint8_t kPictureCodingExtensionId = 8;
// picture_structure of a frame picture (1 and 2 are fields).
inline constexpr std::uint32_t kFramePicture = 3;
// Header bodies as far as the fields read: a GOP header's time code,
// closed_gop and broken_link; a picture header's temporal reference and
// coding type.
inline constexpr std::size_t kGopBody = 4;
inline constexpr std::size_t kPictureBody = 2;

// A program stream is walked, and an elementary stream read, through at most
// this much of the file, in reads of kReadChunk.
inline constexpr std::size_t kMaxScanBytes = 1024 * 1024;
inline constexpr std::size_t kReadChunk = 64 * 1024;
// Packs and packets looked at from a program stream's start; in its tail the
// bytes bound them.
inline constexpr int kMaxPackets = 4096;
// Video payload gathered from a program stream's start, for the sequence
// header and the first pictures.
inline constexpr std::size_t kMaxVideoBytes = 64 * 1024;
// How far past the sequence header its extensions are looked for.
inline constexpr std::size_t kMaxExtensionScan = 4096;
// Start codes looked at after the sequence extension (display, user data).
inline constexpr int kMaxExtensions = 16;
// The end of the file is read once, this much of it, for the last time stamps
// or GOP time code: several pictures at DVD rates, a few GOPs at VCD rates (an
// elementary stream at DVD rates may hold no GOP header in it: its running
// time is then unknown).
inline constexpr std::size_t kTailBytes = 256 * 1024;
// The same read when the head could not tell the pulldown cadence: about 17
// pictures at 6 Mbit/s. Only then, as the read's cost grows with its size.
inline constexpr std::size_t kCadenceTailBytes = 512 * 1024;
// Of a program stream's video payload in the tail, this much at its end is
// scanned first for the last time stamps.
inline constexpr std::size_t kTailScanFirst = 64 * 1024;
// Pictures kept from the tail for the cadence.
inline constexpr std::size_t kMaxTailPictures = 64;
// Pictures looked at from the sequence header on, within the first
// io::kPrefixSize bytes (what open reads): the scan, the field order and the
// pulldown cadence come from them.
inline constexpr std::size_t kMaxHeadPictures = 32;
// Pictures in display order that must follow the 2:3 cadence to call a stream
// film: two whole cycles.
inline constexpr std::size_t kPulldownPictures = 8;

// MPEG-2 allows at most 80 Mbit/s of video at Main Profile, High Level, and
// 100 at High Profile, the fastest of its usual profiles; DVD's whole
// multiplex is 10.08. A running time in which a file's bytes would come
// faster than this, or than the rate the file states, is too short for
// them: clocks of parts joined end to end, which say nothing of the whole.
inline constexpr std::uint64_t kMaxBitsPerSecond = 100'000'000;
// The bytes may arrive this much before the last picture is due (a
// decoder's buffer holds up to about a second), and a writer may state a
// rate an eighth below what it writes.
inline constexpr std::uint64_t kRateSlackMs = 1000;

// System header entries looked at: one for each stream id there can be.
inline constexpr int kMaxSystemHeaderStreams = 72;

// Time stamps count a 90 kHz clock modulo 2^33 (26.5 hours).
inline constexpr std::uint64_t kClockRate = 90000;
inline constexpr std::uint64_t kClockRange = std::uint64_t{1} << 33;

struct Sequence {
    std::uint32_t width = 0, height = 0;
    std::uint32_t aspectCode = 0, rateCode = 0;
    bool mpeg2 = false;              // a sequence extension follows the header
    bool progressiveSequence = true; // MPEG-1 knows only progressive frames
    std::size_t at = 0;              // where the header's start code lies
    std::uint32_t rateExtensionN = 0, rateExtensionD = 0;
    // bit_rate with its MPEG-2 extension, in 400 bit/s: the most the stream
    // carries (MPEG-1 writes all ones for a variable rate).
    std::uint32_t bitRate = 0;
    std::uint32_t displayWidth = 0, displayHeight = 0; // 0: no display extension
};

enum class Status {
    Ok,
    NeedMore, // more bytes could decide
    NotFound, // no sequence header in the bytes
    CutShort, // the bytes end inside the header
    Damaged,  // a size of 0
};

// The first sequence header in `es` and the extensions after it. `complete`
// says that no more bytes will come.
Status parseSequence(Bytes es, bool complete, Sequence& out);

std::optional<Fraction> frameRate(const Sequence& s);
// MPEG-1: the pel aspect table; MPEG-2: the display aspect over the display
// size (the coded size without a display extension).
std::optional<Fraction> pixelShape(const Sequence& s);

struct TimeCode {
    bool dropFrame = false;
    std::uint32_t hours = 0, minutes = 0, seconds = 0, pictures = 0;
};

struct Picture {
    std::size_t at = 0; // of its start code
    int gop = -1;       // how many GOP headers came before it, less one
    std::uint32_t temporalReference = 0;
    // From the MPEG-2 picture coding extension; MPEG-1 pictures are
    // progressive frames. A missing extension leaves `extension` false.
    bool extension = false;
    std::uint32_t structure = 3; // 1 top field, 2 bottom field, 3 frame
    bool topFieldFirst = false, repeatFirstField = false, progressiveFrame = true;
    // The PTS of the packet the picture starts in (program streams).
    std::optional<std::uint64_t> pts;
};

class PictureSink {
public:
    virtual ~PictureSink() = default;
    // Each returns false to end the scan.
    virtual bool gop(std::size_t at, const TimeCode& timeCode) = 0;
    virtual bool picture(const Picture& p) = 0;
};

// An MPEG audio frame header at `at`: the sync, a version and layer that are
// not reserved, a bit rate that is not the forbidden one and a sampling rate
// that is not reserved. Gives the layer, 1 to 3.
std::optional<int> audioLayer(Bytes b, std::size_t at);

// Where the next start code (00 00 01 and its code) begins, at or after
// `from`; none when the bytes end first.
std::optional<std::size_t> nextStartCode(Bytes b, std::size_t from);

// Hands `sink` each GOP header and picture header from `from` on, in the order
// of the stream; a header or picture coding extension that the bytes cut
// short ends the scan unreported.
void scanPictures(Bytes es, std::size_t from, bool mpeg2, PictureSink& sink);

// The frame number a time code stands for at `rate`: hours, minutes and
// seconds of round(rate) frames, less the numbers dropped-frame counting skips
// at 30000/1001 and 60000/1001. None when a field is out of its range.
std::optional<std::uint64_t> timeCodeFrames(const TimeCode& t, Fraction rate);

// Whether `bytes` fit in `ms`: at most kMaxBitsPerSecond, and at most
// `statedBitsPerSecond` when that is not 0, over the time and kRateSlackMs,
// with an eighth to spare for the stated rate.
bool bytesFitTime(std::uint64_t bytes, std::uint64_t ms, std::uint64_t statedBitsPerSecond);

// `to - from` on the 90 kHz clock, across one wrap of it. None when that is
// more than half the clock's range (13 h 15 min): only so far can a wrap be
// told from time stamps that went backwards.
std::optional<std::uint64_t> clockSpan(std::uint64_t from, std::uint64_t to);

// Pictures in display order, GOP after GOP, each GOP by temporal_reference;
// it stops at the first gap or repeat, so a GOP cut short gives its first
// pictures only and field pictures (two to a reference) end it.
std::vector<Picture> displayOrder(std::span<const Picture> coded);

// The same for bytes that began inside a GOP: of the pictures before the
// first GOP header, those whose references run unbroken up to the largest
// (the ones before them were coded before the cut), then displayOrder of the
// rest.
std::vector<Picture> displayOrderFromCut(std::span<const Picture> coded);

// Whether pictures in display order carry film in the 2:3 pattern: true when
// the first kPulldownPictures do, false when one breaks it, none when fewer
// show no break (or one is damaged).
std::optional<bool> filmCadence(std::span<const Picture> display);

} // namespace quorvel::media::mpeg
