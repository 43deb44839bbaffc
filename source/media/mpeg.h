#pragma once

// MPEG-1 and MPEG-2 video internals, open for the tests: the sequence header
// with its extensions, and what it says about rate and pixel shape.

#include "source/media/media.h"

#include <cstdint>
#include <optional>

namespace quorvel::media::mpeg {

// A program stream is walked, and an elementary stream read, through at most
// this much of the file, in reads of kReadChunk.
inline constexpr std::size_t kMaxScanBytes = 1024 * 1024;
inline constexpr std::size_t kReadChunk = 64 * 1024;
// Packs and packets looked at in a program stream.
inline constexpr int kMaxPackets = 4096;
// Video payload gathered from a program stream to find the sequence header.
inline constexpr std::size_t kMaxVideoBytes = 64 * 1024;
// How far past the sequence header its extensions are looked for.
inline constexpr std::size_t kMaxExtensionScan = 4096;
// Start codes looked at after the sequence extension (display, user data).
inline constexpr int kMaxExtensions = 16;

struct Sequence {
    std::uint32_t width = 0, height = 0;
    std::uint32_t aspectCode = 0, rateCode = 0;
    bool mpeg2 = false; // a sequence extension follows the header
    std::uint32_t rateExtensionN = 0, rateExtensionD = 0;
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

} // namespace quorvel::media::mpeg
