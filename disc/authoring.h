#pragma once

// How the encoded streams go onto the disc: the DVD's title sets and titles,
// their chapters and play order, whether the streams fit before anything is
// authored, and the rate that makes an overfull one fit. Arithmetic only; the
// make/ engine writes the authoring tools' files from it.

#include "disc/budget.h"
#include "disc/disc.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvel::disc {

// One encoded stream as the disc holds it.
struct DiscTitle {
    bool wide = false; // 16:9
    int width = 720;   // the frame's
    std::uint64_t runningMs = 0;
    std::optional<std::string> language; // the sound's, as the source names it
};

// A DVD title set has one picture format, so 4:3 and 16:9 titles, and frames
// of other widths, go to title sets of their own: one for all made 4:3 titles
// show at 0.75 of their height.
struct TitleSet {
    bool wide = false;
    int width = 720;
    std::vector<std::size_t> titles; // the inputs, in the order given
    // The sound's language when every title of the set gives the same; the
    // set has one for all its titles.
    std::optional<std::string> language;
};

struct DvdLayout {
    std::vector<TitleSet> titleSets; // in the order of their first title
    // Per input, its title number on the disc (from 1): title sets number
    // their titles one set after another.
    std::vector<int> discTitle;
};
DvdLayout dvdLayout(std::span<const DiscTitle> titles);

// A batch over several discs of one size. Whole inputs stay whole, in order,
// on as few discs as hold them, the fullest disc as little full as can be;
// an input longer than a disc is first cut into equal pieces. Times are the
// source's (the budget input's durationMs), the disc's length `discMs` is
// the disc's running time (see discHoldsMs).
struct Piece {
    std::size_t input = 0;
    std::uint64_t startMs = 0;
    std::uint64_t lengthMs = 0;
    bool whole = true;
};
using DiscPieces = std::vector<Piece>;
std::vector<DiscPieces> splitOntoDiscs(std::span<const BudgetInput> inputs, std::uint64_t discMs);

// The discs of `disc` a batch goes on: splitOntoDiscs at what one holds
// (discHoldsMs), a CD's reckoned for as many tracks as its fullest disc ends
// up with. Empty when a disc holds nothing.
std::vector<DiscPieces> discSet(Format f, const DiscChoice& disc, int audioKbps,
                                std::span<const BudgetInput> inputs);

// A source's chapter marks as its title holds them: those of the part from
// `startMs`, `lengthMs` long (to the end when none), from the part's start
// and at the disc's speed.
std::vector<std::uint64_t> marksOnDisc(std::span<const std::uint64_t> sourceMs,
                                       std::uint64_t startMs, std::optional<std::uint64_t> lengthMs,
                                       Fraction speed);

// A chapter at 0, every `everyMs` (none when 0) and at each of `marks`; none
// starts within kMinChapterMs of the end or of the chapter before, where a
// player's "next" would find almost nothing, and a title holds at most
// kMaxTitleChapters.
inline constexpr std::uint64_t kMinChapterMs = 2'000;
inline constexpr std::size_t kMaxTitleChapters = 99;
std::vector<std::uint64_t> chapterStarts(std::uint64_t runningMs, std::uint64_t everyMs,
                                         std::span<const std::uint64_t> marks = {});

// dvdauthor's chapters attribute: "0:00:00.000,0:05:00.000".
std::string chapterList(std::span<const std::uint64_t> startsMs);

// A title menu's buttons: one per title, in columns of at most kMenuRows
// inside the frame's title-safe area (a tenth of each side off), at most
// kMaxMenuButtons (what a DVD menu page holds). Sides and corners even, as
// the subpicture's interlaced lines want.
inline constexpr std::size_t kMenuRows = 12;
inline constexpr std::size_t kMaxMenuButtons = 36;
struct MenuButton {
    int x = 0, y = 0, width = 0, height = 0;
};
// None when there are more titles than buttons.
std::optional<std::vector<MenuButton>> menuButtons(std::size_t titles, FrameSize frame);

// What the encoded streams take of the disc, its own structures included.
struct Fit {
    std::uint64_t usedBytes = 0;
    std::uint64_t capacityBytes = 0; // 0: the format does not go on the disc
    bool fits() const { return capacityBytes != 0 && usedBytes <= capacityBytes; }
    // Percent of the disc, one decimal: "98.7".
    std::string fillText() const;
};
// `streamBytes`: each encoded file's size. A CD counts whole sectors of
// kCdSectorBytes per track.
Fit fitStreams(Format f, const DiscChoice& disc, std::span<const std::uint64_t> streamBytes);

// The image as written: an ISO's bytes for a DVD, a BIN's raw 2,352-byte
// sectors for a CD.
inline constexpr std::uint64_t kCdRawSectorBytes = 2'352;
inline constexpr std::uint64_t kCdPregapSectors = 150;
Fit fitImage(Format f, const DiscChoice& disc, std::uint64_t imageBytes);

// The video rate at which a stream of `bytes` over `runningMs`, encoded at
// `videoKbps`, sheds `excessBytes`: lowered by what the excess is a second,
// and by kRefitMarginPercent more, since the encoder misses its average. 0
// when nothing is left.
inline constexpr int kRefitMarginPercent = 2;
int refitVideoKbps(int videoKbps, std::uint64_t excessBytes, std::uint64_t runningMs);

} // namespace quorvel::disc
