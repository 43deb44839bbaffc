#pragma once

// How much of a disc each second of video may take: the disc's capacity less
// what its own structures take, the format's audio and multiplex overhead,
// and the limits a player holds the streams to. Integer arithmetic throughout;
// every rounding goes the way that keeps the disc from overfilling.

#include "disc/disc.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::disc {

// --- Discs -----------------------------------------------------------------

// DVD-5 and DVD-9 are the smaller of the -R and +R capacities (DVD+R and
// DVD-R DL), so a plan fits either kind of blank.
// a / b rounded up; b is not 0.
constexpr std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return a / b + (a % b != 0);
}

inline constexpr std::uint64_t kDvd5Bytes = 4'700'372'992;
inline constexpr std::uint64_t kDvd9Bytes = 8'543'666'176;
// CDs count Mode 2 Form 2 sectors, the sectors a VCD's or an SVCD's MPEG
// tracks are written in: 75 a second, 2,324 bytes of user data each.
inline constexpr std::uint64_t kCd74Sectors = 333'000;
inline constexpr std::uint64_t kCd80Sectors = 360'000;
inline constexpr std::uint64_t kCdSectorBytes = 2'324;
inline constexpr std::uint64_t kCdSectorsPerSecond = 75;
// A size typed for a CD counts data bytes as a CD-R's label does (Mode 1
// sectors of 2,048 bytes: "700M" is about the 80-minute disc).
inline constexpr std::uint64_t kCdLabelSectorBytes = 2'048;
// A DVD written on a CD (cd74, cd80) stores 2,048-byte sectors.
inline constexpr std::uint64_t kDvdSectorBytes = 2'048;
// The largest SIZE taken: above any optical disc, and small enough that the
// bitrate arithmetic below stays within 64 bits.
inline constexpr std::uint64_t kMaxDiscBytes = std::uint64_t{1} << 38;

// What a CD's own structures take, measured on vcdimager's images. Per disc:
// the 150-sector pregap before sector 0 (inside the disc's minutes), the
// 300-sector first track with the ISO 9660 file system and the disc's info,
// entry and play-list files, the 150-sector postgap after the last track, and
// 75 sectors for what grows with the running time (an SVCD's search table holds
// an entry every half second, about 8 sectors an hour).
inline constexpr std::uint64_t kCdDiscReserveSectors = 150 + 300 + 150 + 75;
// Per MPEG track: its 150-sector pregap, vcdimager's 30-sector front and
// 45-sector rear margins, and 15 for the stream's own start (its first pack and
// system headers and the multiplexer's preload: 5 sectors measured).
inline constexpr std::uint64_t kCdTrackReserveSectors = 150 + 30 + 45 + 15;
// What a DVD's own structures take: the UDF and ISO 9660 file system and the
// IFO and BUP tables dvdauthor writes (tens of kilobytes per title set,
// growing with the running time). 4 MiB is less than a tenth of a percent of
// a DVD-5.
inline constexpr std::uint64_t kDvdReserveBytes = 4 * 1024 * 1024;

struct DiscChoice {
    enum class Kind { Dvd5, Dvd9, Cd74, Cd80, Size, Each };
    Kind kind = Kind::Dvd5;
    std::uint64_t sizeBytes = 0; // Kind::Size only
    friend bool operator==(const DiscChoice&, const DiscChoice&) = default;
};

struct DiscChoiceResult {
    std::optional<DiscChoice> disc;
    std::string error; // a sentence for the user when there is no disc
};
// "dvd5", "dvd9", "cd74", "cd80", "each" (any case), or a SIZE.
DiscChoiceResult parseDisc(std::string_view text);

struct SizeResult {
    std::optional<std::uint64_t> bytes;
    std::string error;
};
// Bytes, or a number with K, M or G (powers of 1024; a decimal fraction is
// taken and the bytes rounded down): "4480M", "4.37G", "700m", "681984000".
SizeResult parseSize(std::string_view text);

// The disc's whole capacity in its own units: sectors of 2,324 bytes for a
// VCD or SVCD (kCdSectorBytes), bytes for a DVD. None when the format does not
// go on it.
std::optional<std::uint64_t> capacityUnits(const DiscChoice& disc, Format f);

// The longest running time one disc holds, over `tracks` tracks, at the
// format's floor rate (VCD: its one rate); 0 when none.
std::uint64_t discHoldsMs(Format f, const DiscChoice& disc, int audioKbps, std::size_t tracks = 1);

// Why `disc` cannot hold format `f` (a VCD or SVCD on a DVD); empty when it can.
std::string discRefusal(const DiscChoice& disc, Format f);

// "DVD-5", "CD 80 min", "4,697,620,480-byte disc"; for `each`, the usual disc.
std::string discName(const DiscChoice& disc, Format f);
DiscChoice usualDisc(Format f);

// --- Audio -------------------------------------------------------------------

struct Audio {
    std::string_view codec = "mp2"; // ffmpeg's encoder name
    int kbps = 224;
    int sampleRate = 44'100;
    friend bool operator==(const Audio&, const Audio&) = default;
};
struct AudioResult {
    std::optional<Audio> audio;
    std::string error;
};
// The format's audio: VCD MP2 224 kbit/s at 44.1 kHz (fixed), SVCD MP2 224 by
// default at 44.1 kHz, DVD AC-3 192 by default at 48 kHz. `kbps` must be one of
// the format's legal rates.
AudioResult audioFor(Format f, std::optional<int> kbps = std::nullopt);
std::span<const int> legalAudioKbps(Format f);

// --- Limits and overhead -------------------------------------------------------

// VCD video runs at one constant rate.
inline constexpr int kVcdVideoKbps = 1'150;
inline constexpr int kSvcdMaxVideoKbps = 2'600;
// Video plus audio: what 150 packs a second (a 2x CD) carry beside their
// headers, 150 x kSvcdPackPayload x 8 bits rounded down.
inline constexpr int kSvcdMaxStreamsKbps = 2'749;
// The multiplex rate an SVCD states (ffmpeg's -muxrate, in bit/s): 150 packs
// of 2,324 bytes a second, as mplex writes it.
inline constexpr int kSvcdMuxBitsPerSecond = 150 * 2'324 * 8;
inline constexpr int kDvdMaxVideoKbps = 9'800;
inline constexpr int kDvdMaxMuxKbps = 10'080; // every pack, NAV packs included

// Multiplex overhead. A DVD pack is 2,048 bytes, of which up to 33 are headers:
// the 14-byte pack header and a PES header of 19 (start code and length 6,
// flags 3, PTS and DTS 10), counted on every pack though only a frame's first
// pack carries both stamps. Each VOBU adds one NAV pack, and a VOBU lasts at
// least 0.4 s: at most 2.5 NAV packs, 5,120 bytes, a second. (A 60 s PAL
// stream at 5,000 + 192 kbit/s: 19,414 packs written, 19,434 counted.)
inline constexpr std::uint64_t kDvdPackBytes = 2'048;
inline constexpr std::uint64_t kDvdPackPayload = 2'048 - 14 - 19;
inline constexpr std::uint64_t kDvdNavBytesPerSecond = 2'048 * 5 / 2;
// An SVCD pack fills one 2,324-byte sector with the same 33 bytes of headers.
// (60 s at 2,400 + 224 kbit/s: 8,592 sectors written, 8,613 counted; 20 s of
// ffmpeg's svcd muxer near the cap: 2,296 bytes of payload a pack.)
inline constexpr std::uint64_t kSvcdPackPayload = 2'324 - 14 - 19;
// A VCD stream is multiplexed at the CD's own 75 sectors a second, padding
// included, so its size follows from the running time alone.

// The lowest average that is still worth a disc: below it the budget says how
// many discs the inputs need. DVD: the longest mode of DVD recorders, 8 hours
// on a DVD-5 at about 1.2 Mbit/s (Samsung DVD-HR773 manual, recording modes).
// SVCD: below VCD's rate a VCD of the same running time looks better.
inline constexpr int kDvdFloorKbps = 1'200;
inline constexpr int kSvcdFloorKbps = kVcdVideoKbps;

// Below this a 720-wide DVD frame starves and the half frame (352) is proposed.
// The DVD+RW Real Time Video format, made for recorders whose discs DVD
// players play, keeps the full frame down to its 2-hour mode (720x576 at 5.07 Mbit/s) and
// records its 3-hour mode (3.38 Mbit/s) and longer at half width (the format's
// summary at dvd-recordable.org, "DVD+RW Real Time Video Format").
inline constexpr int kDvdHalfWidthBelowKbps = 3'400;

// The format's usual video rate when no disc is planned: the rates ffmpeg's
// own -target chooses (DVD 6,000, SVCD 2,040, VCD 1,150).
int usualVideoKbps(Format f);
// The highest rate the video may reach at any moment (the encoder's maxrate):
// VCD 1,150; SVCD 2,600 or what 2,749 leaves beside the audio; DVD 9,800 or
// what the 10,080 multiplex leaves beside the audio and the packs' headers.
int peakVideoKbps(Format f, int audioKbps);

// --- The budget ----------------------------------------------------------------

struct BudgetInput {
    std::string name;
    std::optional<std::uint64_t> durationMs; // the source's running time
    // The rate plan's speed: the input runs durationMs / speed on the disc.
    Fraction speed{1, 1};
};

// A running time of zero is none: such an input is left out of the sum.
bool hasRunningTime(const BudgetInput& input);

struct BudgetRequest {
    Format format = Format::Dvd;
    Standard standard = Standard::Pal;
    DiscChoice disc;
    int audioKbps = 0; // 0: the format's default
    int dvdWidth = 720;
    std::vector<BudgetInput> inputs;
};

enum class Cap {
    None,
    Constant,     // VCD: the one rate
    VideoLimit,   // the format's video maximum
    StreamsLimit, // SVCD: video plus audio
    MuxLimit,     // DVD: the multiplex maximum
};

struct DiscPlan {
    std::vector<std::size_t> inputs; // indices of the request's inputs, in order
    std::uint64_t runningMs = 0;     // their running time on the disc
    std::uint64_t capacityBytes = 0; // the disc (CDs: sectors of 2,324 bytes)
    std::uint64_t usableBytes = 0;   // less the reserve
    bool planned = false;            // false when no input here has a running time
    // The video rate that fills the disc, rounded down, capped by the limits;
    // VCD: always its constant rate. 0 when not planned or nothing is left.
    int videoKbps = 0;
    int peakKbps = 0; // the encoder's maxrate for this plan
    Cap cap = Cap::None;
    std::uint64_t leftoverBytes = 0; // when capped: what the capped rate leaves free
    // 1: fits. More: the inputs need this many discs of this size (DVD, SVCD:
    // at the format's floor rate; VCD: at its constant rate), whole inputs
    // in order on each, up to kMaxDiscSet discs; beyond that, as if the
    // running time could be cut anywhere.
    int discsNeeded = 1;
    // Where inputs longer than a disc are cut: the input, and the time in it.
    std::vector<std::pair<std::size_t, std::uint64_t>> cuts;
    // VCD: the running time one disc holds.
    std::uint64_t fitMs = 0;
    // DVD: the frame below kDvdHalfWidthBelowKbps, shown beside the full one.
    std::optional<FrameSize> halfWidthFrame;
};

inline constexpr std::uint64_t kMaxDiscSet = 99;

struct Budget {
    std::optional<Audio> audio;           // every stream's; none for a rate not the format's
    std::vector<DiscPlan> discs;          // one, or one per input with `each`
    std::vector<std::size_t> withoutTime; // inputs left out of the sum
    std::string error;
    bool ok() const { return error.empty(); }
};

Budget planBudget(const BudgetRequest& request);

// What a stream of video and audio at `streamsKbps` together takes on the disc
// in `ms`, headers and padding included (CDs: whole sectors of 2,324 bytes);
// rounded up.
std::uint64_t streamBytes(Format f, int streamsKbps, std::uint64_t ms);

// The running time on the disc: durationMs / speed, rounded up.
std::uint64_t discRunningMs(std::uint64_t durationMs, Fraction speed);

// --- Sharing the disc by need ---------------------------------------------------

// An input as the disc's bits are shared: what it runs and what it needs, or
// the bytes its finished stream takes.
struct Need {
    std::uint64_t runningMs = 0;
    // The video rate it takes at the finest quantiser: more gains it nothing.
    // 0: not known, taken as the peak.
    int kbps = 0;
    std::optional<std::uint64_t> bytes; // encoded (or being encoded): fixed
};

// The encoder's finest quantiser, at which a first pass measures a Need.
inline constexpr int kNeedQuantiser = 2;

// Video rates for the inputs without bytes (0 for those with), sharing what
// the others leave of `usableBytes`: an input that needs less than the
// others' level gets its need, and the rest goes to the others, each at the
// one level, the highest (at most the format's peak) at which the streams
// fit. None when they do not fit even at the format's floor.
std::optional<std::vector<int>> shareByNeed(Format f, std::uint64_t usableBytes, int audioKbps,
                                            std::span<const Need> needs);

// The budget as lines of text, one disc after another; `escape` makes an
// input's name safe to print.
using NameEscape = std::string (*)(std::string_view);
std::vector<std::string> describeBudget(const Budget& budget, const BudgetRequest& request,
                                        NameEscape escape = nullptr);

// "4,700,372,992"
std::string groupedNumber(std::uint64_t n);

} // namespace quorvel::disc
