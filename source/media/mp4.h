#pragma once

// The ISO base media file format reader (MP4, MOV, 3GP) behind readMp4().
//
// Boxes are walked by their declared sizes; only the boxes we need are read
// (mvhd, tkhd, tref, elst, mdhd, hdlr, stsd, stts, udta's chpl, mehd, trex, and for a fragmented
// file the moofs' tfhd and trun), each up to a cap of its own, so that neither a large
// moov nor a large mdat before it costs more than a few reads. Bytes beyond
// the caller's prefix come through a read-ahead window of kReadAhead bytes.
// A moov of any declared size is walked, never read whole; the walk stops
// with kErrorTooLarge once kMaxReads or kMaxBytesRead would be passed.
//
// What the first video track (hdlr 'vide') gives:
// - codec, width, height: the first sample entry's FourCC (unprintable bytes
//   shown as '?') and coded size; a side of 0 is refused (kErrorZeroSize).
// - sar: pasp when it holds two non-zero numbers, else the aspect in the VUI
//   of the SPS in avcC or hvcC; 1:1 is kept, as the file states it. None when
//   neither states one. The tkhd display size is not used: it mixes cropping
//   with shape.
// - rate: samples * timescale / duration over the stts entries (the first
//   kMaxTableRead bytes of them); variableRate when they have more than one
//   delta. With no stts samples (a fragmented file), the first moof's first
//   trun of the track, its durations or tfhd's default, else trex's default.
//   None when the timescale or the summed duration is 0 or a sum overflows.
//   A rate whose time stamps were only rounded to the timescale is snapped
//   to its standard rate, see snapRate().
// - rotation: from the tkhd matrix, see rotationFromMatrix().
// - durationMs: the time the track is shown. With an edit list, the sum of
//   its edits that show media (mvhd's timescale); empty edits (media time -1)
//   only delay the start and are not counted; a sum at most one movie tick
//   past the media's own end (writers round edits up) gives way to that end.
//   An edit of no length that shows
//   media runs to the media's end, so the list then gives way to the media's
//   own duration, as does a list without one edit that shows media. The
//   media's duration is mdhd's over its timescale (0 and all ones state none,
//   and the stts sum stands in when read whole); a fragmented file adds its
//   fragments' sample durations, or gives mehd's duration in the movie's
//   timescale. A list too long to read, fragments beyond the reads allowed
//   for them, a duration over kMaxDurationMs (a day) or one of 0 ms leave it
//   unknown.
// - frames: the samples of stts, read whole, and of the fragments walked.
// - scan and fieldOrder: the sample entry's fiel (fields 1 progressive, 2
//   interlaced; then its detail says which field is shown first: 1 and 14 the
//   top, 6 and 9 the bottom, 1 and 6 storing that field first, 9 and 14 the
//   other). A fiel too short or with other values states nothing.
// - crop: clap's clean aperture (a centred width and height, moved by the
//   offsets) in whole pixels, its edges rounded to the nearest. A zero
//   denominator or an aperture outside the frame states none. pasp is the
//   shape of the cropped picture's pixels, as of the whole frame's.
// - hasAudio: a track whose hdlr is 'soun'; false when every track's hdlr
//   was read and names video, text, subtitles, time codes, hints or
//   metadata (with any other ffmpeg may take the samples for sound).
//   audioChannels: from the first sample entry: an esds's AAC configuration,
//   else its count unless that is 2, ISO's template value (version 2's own
//   field in a QuickTime entry). Tracks after the video's are read only so
//   far: trouble in them leaves the sound unknown, nothing else.
// - audioLanguage: that track's mdhd language, unless "und" or one of
//   QuickTime's old numeric codes.
// - chaptersMs: Nero's chapter list in moov's udta (chpl), else the sample
//   starts of the text track that the video's tref names as its chapters.
// Damage in a track that is not the video is ignored; once the video track
// is read, trouble further on (a later trak, the moof) only leaves the rate
// unknown. The walk descends only into the boxes named above, at most five
// levels, so kMaxBoxDepth guards against a change rather than a file.

#include "source/io/byte_source.h"
#include "source/media/media.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorvel::media::mp4 {

// Reads past the prefix: each fetches at least this much, so that a moov
// after the media data usually comes in one read with its header.
inline constexpr std::size_t kReadAhead = 64 * 1024;
// At most this many reads and bytes past the prefix for one file.
inline constexpr int kMaxReads = 12;
inline constexpr std::uint64_t kMaxBytesRead = 8 * 1024 * 1024;
// What a probe of a usual file costs at most, open's first read included:
// the moov at the start, and the moov after the media data of a file of any
// size (a track's small boxes come before its large tables). The tests hold
// the reader to these; kMaxReads and kMaxBytesRead bound every other file.
inline constexpr int kBudgetReadsMoovFirst = 3;
inline constexpr std::uint64_t kBudgetBytesMoovFirst = 256 * 1024;
inline constexpr int kBudgetReadsMoovLast = 6;
// Boxes looked at, all levels together, and top-level boxes before the moov
// (and, in a fragmented file, the first moof) must have turned up.
inline constexpr int kMaxBoxes = 4096;
inline constexpr int kMaxTopLevelBoxes = 256;
// Levels below the top (moov/trak/mdia/minf/stbl/stsd/entry/pasp is 7).
inline constexpr int kMaxBoxDepth = 12;
// How much of each box is read: small fixed boxes, the sample descriptions,
// and the timing tables. A longer table is averaged over the part read.
inline constexpr std::size_t kMaxSmallBoxRead = 4096;
inline constexpr std::size_t kMaxStsdRead = 256 * 1024;
inline constexpr std::size_t kMaxTableRead = 1024 * 1024;
// Boxes looked at inside a sound sample entry for its esds (a QuickTime
// entry may hold a wave, a chan and a few more).
inline constexpr int kMaxSoundEntryBoxes = 16;
// Edits read from elst; a file has one to three, an editor's cut a few
// hundred. A longer list leaves the running time unknown.
inline constexpr std::uint32_t kMaxEdits = 1024;
// Reads past the moov allowed for walking a fragmented file's moofs to sum
// their durations; a file whose fragments need more is of unknown length.
// Fragments already within the bytes read cost nothing.
inline constexpr int kMaxFragmentReads = 4;

// The sentences readMp4() puts into ProbeResult::error.
inline constexpr const char* kErrorCutShort =
    "The MP4 file is cut short: its header is incomplete.";
inline constexpr const char* kErrorNoMovie = "The MP4 file has no movie header.";
inline constexpr const char* kErrorNoIndex =
    "The MP4 file has no index (moov): its recording was cut short before the index was written.";
inline constexpr const char* kErrorNoVideo = "The MP4 file has no video track.";
inline constexpr const char* kErrorPastParent =
    "The MP4 header is damaged: a box runs past its parent.";
inline constexpr const char* kErrorBoxTooSmall =
    "The MP4 header is damaged: a box is smaller than its own header.";
inline constexpr const char* kErrorTooDeep = "The MP4 header is damaged: its boxes nest too deep.";
inline constexpr const char* kErrorTooManyBoxes =
    "The MP4 header is damaged: it has too many boxes.";
inline constexpr const char* kErrorShortBox =
    "The MP4 header is damaged: a box is too short for its fields.";
inline constexpr const char* kErrorTableTooLong =
    "The MP4 header is damaged: a table has more entries than its box holds.";
inline constexpr const char* kErrorNoSampleEntry =
    "The MP4 header is damaged: the video track has no usable sample description.";
inline constexpr const char* kErrorZeroSize = "The MP4 video track gives a frame size of 0.";
inline constexpr const char* kErrorTooLarge = "The MP4 header is too large to read.";
inline constexpr const char* kErrorUnreadable = "The MP4 file could not be read.";

// Clockwise rotation of a tkhd matrix (a b u / c d v / x y w, 16.16), to
// the nearest quarter turn, as players apply it; mirroring is ignored.
int rotationFromMatrix(std::int32_t a, std::int32_t b);

// num/den reduced; when that still does not fit, both are halved until it
// does (only averages get there). None when either is 0.
std::optional<Fraction> reducedRate(std::uint64_t num, std::uint64_t den);

// The crop that a clean aperture (clap's eight numbers: width, height,
// horizontal and vertical offset, each a numerator and a denominator, the
// offsets signed) leaves of a frame of `width` x `height`.
struct CleanAperture {
    std::uint32_t widthN = 0, widthD = 0, heightN = 0, heightD = 0;
    std::int32_t horizOffN = 0;
    std::uint32_t horizOffD = 0;
    std::int32_t vertOffN = 0;
    std::uint32_t vertOffD = 0;
};
std::optional<Crop> cropFromCleanAperture(const CleanAperture& c, std::uint32_t width,
                                          std::uint32_t height);

// Milliseconds, rounded to the nearest, of `ticks` at `timescale`; none when
// the timescale is 0 or the result passes kMaxDurationMs.
std::optional<std::uint64_t> durationMs(std::uint64_t ticks, std::uint32_t timescale);

// What open and readMp4() do together, on a file held in memory;
// `prefixSize` stands for the size of open's first read.
ProbeResult inspectMp4(Bytes file, std::size_t prefixSize = io::kPrefixSize);

} // namespace quorvel::media::mp4
