#pragma once

// Matroska and WebM internals, open for the tests: EBML element headers, the
// EBML header's DocType, the segment's Info and the track list parsed from
// memory.
//
// What the first video track gives besides size, rate and shape:
// - durationMs: Info's Duration (a 4- or 8-byte float) in TimestampScale
//   units (nanoseconds each, 1,000,000 unless stated). Info is read where the
//   walk to the track list passes it, or where the SeekHead puts it. NaN,
//   infinities, 0 or what rounds to 0 ms, negatives and anything past
//   kMaxDurationMs (a day) state nothing; a live file has none.
// - scan and fieldOrder: FlagInterlaced (1 interlaced, 2 progressive), and
//   unless progressive FieldOrder: 1 and 14 show the top field first, 6 and
//   9 the bottom, 9 and 14 storing the other first, as mkvmerge and ffmpeg
//   write them. One of these with FlagInterlaced undetermined (mkvmerge's
//   --field-order writes FieldOrder alone) makes the track interlaced.
// - crop: PixelCrop*, when the file gives any and they leave a picture.
//   DisplayWidth and DisplayHeight are the size of that cropped picture, so
//   the pixel shape is display over cropped size.
// - hasAudio: a TrackEntry of TrackType 2, the only type ffmpeg plays as
//   sound; false once every entry was read. audioChannels: its Audio's
//   Channels, 1 when Audio leaves it out. The entries after the video's are
//   read for this alone: damage in them leaves the sound unknown. A track
//   list too large to read whole is kept only up to the video's entry.
// - audioLanguage: that track's LanguageBCP47, else its Language ("eng"
//   when left out, as the format says).
// - chaptersMs: the ChapterTimeStart of the top-level ChapterAtoms that are
//   neither hidden nor disabled, in the default EditionEntry (else the
//   first). An ordered edition plays the file in another order, so it gives
//   none. Chapters are found where the walk to the track list passes them,
//   where the SeekHead puts them, or by walking on from the track list
//   through the bytes read already; damage in them leaves no marks.

#include "source/media/ebml.h"
#include "source/media/media.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::media::matroska {

inline constexpr std::uint32_t kIdSegment = 0x18538067;
inline constexpr std::uint32_t kIdSeekHead = 0x114D9B74;
inline constexpr std::uint32_t kIdSeek = 0x4DBB;
inline constexpr std::uint32_t kIdSeekId = 0x53AB;
inline constexpr std::uint32_t kIdSeekPosition = 0x53AC;
inline constexpr std::uint32_t kIdInfo = 0x1549A966;
inline constexpr std::uint32_t kIdTimestampScale = 0x2AD7B1;
inline constexpr std::uint32_t kIdDuration = 0x4489;
inline constexpr std::uint32_t kIdTracks = 0x1654AE6B;
inline constexpr std::uint32_t kIdCluster = 0x1F43B675;
inline constexpr std::uint32_t kIdTrackEntry = 0xAE;
inline constexpr std::uint32_t kIdCodecPrivate = 0x63A2;
inline constexpr std::uint32_t kIdTrackType = 0x83;
inline constexpr std::uint32_t kIdCodecId = 0x86;
inline constexpr std::uint32_t kIdDefaultDuration = 0x23E383;
inline constexpr std::uint32_t kIdVideo = 0xE0;
inline constexpr std::uint32_t kIdPixelWidth = 0xB0;
inline constexpr std::uint32_t kIdPixelHeight = 0xBA;
inline constexpr std::uint32_t kIdFlagInterlaced = 0x9A;
inline constexpr std::uint32_t kIdFieldOrder = 0x9D;
inline constexpr std::uint32_t kIdPixelCropBottom = 0x54AA;
inline constexpr std::uint32_t kIdPixelCropTop = 0x54BB;
inline constexpr std::uint32_t kIdPixelCropLeft = 0x54CC;
inline constexpr std::uint32_t kIdPixelCropRight = 0x54DD;
inline constexpr std::uint32_t kIdDisplayWidth = 0x54B0;
inline constexpr std::uint32_t kIdDisplayHeight = 0x54BA;
inline constexpr std::uint32_t kIdDisplayUnit = 0x54B2;
inline constexpr std::uint32_t kIdAudio = 0xE1;
inline constexpr std::uint32_t kIdChannels = 0x9F;
inline constexpr std::uint32_t kIdLanguage = 0x22B59C;
inline constexpr std::uint32_t kIdLanguageBcp47 = 0x22B59D;
inline constexpr std::uint32_t kIdChapters = 0x1043A770;
inline constexpr std::uint32_t kIdEditionEntry = 0x45B9;
inline constexpr std::uint32_t kIdEditionFlagDefault = 0x45DB;
inline constexpr std::uint32_t kIdEditionFlagOrdered = 0x45DD;
inline constexpr std::uint32_t kIdChapterAtom = 0xB6;
inline constexpr std::uint32_t kIdChapterTimeStart = 0x91;
inline constexpr std::uint32_t kIdChapterFlagHidden = 0x98;
inline constexpr std::uint32_t kIdChapterFlagEnabled = 0x4598;

// What open usually reads first; a shorter prefix is made up to it.
inline constexpr std::size_t kPrefixRead = 64 * 1024;
// Limits. Real EBML headers are about 40 bytes, SeekHeads under 100, track
// lists a few kilobytes (codec private data included).
inline constexpr std::size_t kMaxEbmlHeaderSize = 4096;
inline constexpr std::size_t kMaxSeekHeadSize = 64 * 1024;
// A track list up to this size is read whole.
inline constexpr std::size_t kMaxTracksSize = 1024 * 1024;
// Info holds a few names and dates, a title at most a few kilobytes.
inline constexpr std::size_t kMaxInfoSize = 64 * 1024;
// The first read at an Info or Chapters past the prefix, enough for nearly
// all of them.
inline constexpr std::size_t kInfoFirstRead = 4096;
// Chapters carry a name per chapter and language: a few kilobytes for a
// film's, far less than this.
inline constexpr std::size_t kMaxChaptersSize = 256 * 1024;
// The first read at the track list, enough for nearly all of them whole.
inline constexpr std::size_t kTracksFirstRead = 64 * 1024;
// A larger track list is walked in reads of kTracksFirstRead, at most this
// many: what makes one that large is codec private data (a subtitle track
// may carry a whole index file there), and each such body is skipped by its
// size at the cost of one read. Bodies longer than kMaxKeptBody are skipped;
// what the reader uses are numbers and short strings. What is kept of the
// list may come to kMaxTracksSize.
inline constexpr int kMaxTrackListReads = 16;
inline constexpr std::size_t kMaxKeptBody = 4096;
// Segment children looked at before the track list: SeekHead, Info, Tags,
// Chapters, Attachments, Void padding. A dozen in usual files; writers that
// pad in small pieces or repeat SeekHeads and Tags make more, never this many.
inline constexpr int kMaxLevel1Elements = 1024;
// Element headers that lie past what was read already (behind a large
// attachment, say) are read kHeaderReadAhead bytes at a time, so that the
// small elements after a large one come with it; at most kMaxHeaderReads
// such reads for one file.
inline constexpr std::size_t kHeaderReadAhead = 4096;
inline constexpr int kMaxHeaderReads = 32;
// Elements looked at in all, headers and children together.
inline constexpr int kMaxElements = 8192;
// Top-level elements (Void, CRC) allowed between the EBML header and the Segment.
inline constexpr int kMaxTopLevelElements = 8;
inline constexpr std::size_t kMaxCodecIdLength = 64;
// The longest ID and size fields: 4 + 8 bytes.
inline constexpr std::size_t kMaxElementHeader = 12;

inline constexpr std::uint64_t kUnknownSize = UINT64_MAX;

struct ElementHeader {
    std::uint32_t id = 0;   // with its length marker, as Matroska writes IDs
    std::uint64_t size = 0; // kUnknownSize when all its value bits are set
    std::size_t length = 0; // of the ID and size fields
};

enum class HeaderStatus { Ok, CutShort, Invalid };

// The element header at `at`. Invalid: an ID longer than 4 bytes, or a size
// whose first byte is 0 (a VINT needs a marker bit in its first byte).
HeaderStatus readHeader(Bytes b, std::size_t at, ElementHeader& header);

// What the first video TrackEntry says.
struct VideoTrack {
    std::string codec;
    std::uint64_t width = 0, height = 0;
    std::uint64_t cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
    bool cropGiven = false; // any PixelCrop element, even of 0
    std::optional<std::uint64_t> flagInterlaced, fieldOrder;
    std::optional<std::uint64_t> displayWidth, displayHeight;
    std::uint64_t displayUnit = 0;
    std::optional<std::uint64_t> defaultDuration; // nanoseconds per frame
};

// The first video track of a Tracks body, or the user's sentence why not;
// and the audio tracks, `sawAll` when every entry was read.
struct TracksResult {
    std::optional<VideoTrack> video;
    std::string error;
    AudioTracks audio;
    bool sawAll = false;
};
// `elements` counts down the kMaxElements budget.
TracksResult parseTracks(Bytes body, int& elements);

// The shape of one source pixel: the display size over the cropped size.
std::optional<Fraction> pixelShape(const VideoTrack& track);
// The crop, when the file gives one that leaves a picture.
std::optional<Crop> crop(const VideoTrack& track);
// Scan and field order from FlagInterlaced and FieldOrder.
void interlacing(const VideoTrack& track, std::optional<Scan>& scan,
                 std::optional<FieldOrder>& order);

// What Info says of the running time.
struct Info {
    std::uint64_t timestampScale = 1'000'000; // nanoseconds a unit
    std::optional<double> duration;           // in units; none unless a 4- or 8-byte float
};
// `elements` counts down the kMaxElements budget; a damaged Info says nothing.
Info parseInfo(Bytes body, int& elements);
// The chapter starts of a Chapters body, in milliseconds (see chaptersMs
// above); `elements` counts down the kMaxElements budget.
std::vector<std::uint64_t> parseChapters(Bytes body, int& elements);

// Milliseconds, rounded to the nearest, or none (see durationMs above).
std::optional<std::uint64_t> durationMs(const Info& info);
// Frames per second from the nanoseconds per frame.
std::optional<Fraction> frameRate(std::uint64_t defaultDuration);

} // namespace quorvel::media::matroska
