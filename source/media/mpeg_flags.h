#pragma once

// Rewrites the flags of an MPEG-2 video elementary stream in place, for the
// discs; the byte count never changes.
//
// Soft pulldown: progressive film encoded at 24000/1001 is marked to show at
// 30000/1001, every frame two or three fields by top_field_first and
// repeat_first_field in the 2:3 cycle (1,1) (0,0) (0,1) (1,0) of display
// order, unbroken across GOPs; progressive_sequence becomes 0 and each GOP's
// time code is counted again at 30 (non-drop), from the first GOP's. Film at
// exactly 24 is refused: shown at 30000/1001 it would run 0.1% slow against
// its sound.
//
// Progressive only: progressive_sequence becomes 0, which DVD-Video requires
// and ffmpeg's encoder does not write for progressive frames; nothing else.
//
// Either is refused whole when the stream holds anything it does not
// understand: every byte is read before the first one is written.

#include "source/media/mpeg.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace quorvel::media::mpeg {

enum class FlagMode { SoftPulldown, ProgressiveOnly };

enum class FlagOutcome {
    Refused,     // nothing written
    Rewritten,   // some flags changed
    AlreadyDone, // the stream already had them: nothing written
};

struct FlagResult {
    FlagOutcome outcome = FlagOutcome::Refused;
    std::string error; // one sentence, when refused
    std::uint64_t pictures = 0, gops = 0, sequenceHeaders = 0;
    // Soft pulldown: the fields the pictures show at 30000/1001.
    std::uint64_t fields = 0;
    // Bytes that differ from the input: none when refused.
    std::uint64_t changedBytes = 0;

    bool ok() const { return outcome != FlagOutcome::Refused; }
    // What was done, or the error, as a sentence.
    std::string summary(FlagMode mode) const;
    friend bool operator==(const FlagResult&, const FlagResult&) = default;
};

// A file is read in pieces of this size; a header that straddles two of them
// is carried over, at most kMaxFlagHeaderBytes of it.
inline constexpr std::size_t kFlagChunkBytes = 1024 * 1024;
// A start code and the longest header body read after it (the sequence
// extension's six bytes, to its frame rate extension).
inline constexpr std::size_t kMaxFlagHeaderBytes = 4 + 6;
// DVD-Video's GOP: at most 36 fields (18 frames); with 2:3 pulldown that is
// 14 film frames (-g 14) wherever the GOP falls in the cycle.
inline constexpr std::size_t kMaxGopPictures = 18;
inline constexpr std::uint64_t kMaxGopFields = 36;

// top_field_first and repeat_first_field of the picture `displayIndex` frames
// from the start of the 2:3 cycle.
struct FieldFlags {
    bool topFieldFirst = false, repeatFirstField = false;
    friend bool operator==(const FieldFlags&, const FieldFlags&) = default;
};
FieldFlags pulldownFlags(std::uint64_t displayIndex);
// The fields that the first `frames` frames of the cycle show.
std::uint64_t pulldownFields(std::uint64_t frames);
// The 30000/1001 time code of a GOP that starts `fieldsBefore` fields after a
// first GOP whose 24000/1001 time code was `first` (read from 00:00:00:00 when
// out of range); non-drop, around the clock.
TimeCode pulldownTimeCode(const TimeCode& first, std::uint64_t fieldsBefore);

// The whole stream in memory, rewritten in place unless refused. It is read
// in windows that grow by `chunk` bytes, as a file is, so that tests and the
// fuzzer can cut it anywhere.
FlagResult rewriteFlags(std::span<std::uint8_t> es, FlagMode mode,
                        std::size_t chunk = kFlagChunkBytes);

// The same on a file that the caller made (an encoder's output), read twice
// in kFlagChunkBytes pieces and written over only where a byte changes.
FlagResult rewriteFlagsInFile(const std::filesystem::path& path, FlagMode mode);

// Ends a stream that the rewriter took with a sequence_end_code, unless its
// last four bytes are one: a multiplexer (mplex) keeps a picture only once a
// start code follows it, and drops an unended stream's last. Empty, or why
// it could not.
std::string endSequence(const std::filesystem::path& path);

} // namespace quorvel::media::mpeg
