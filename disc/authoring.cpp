#include "disc/authoring.h"

#include <algorithm>

namespace quorvel::disc {

namespace {

bool isCd(Format f) {
    return f != Format::Dvd;
}

} // namespace

DvdLayout dvdLayout(std::span<const DiscTitle> titles) {
    DvdLayout layout;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const auto same = [&](const TitleSet& s) {
            return s.wide == titles[i].wide && s.width == titles[i].width;
        };
        auto set = std::find_if(layout.titleSets.begin(), layout.titleSets.end(), same);
        if (set == layout.titleSets.end())
            set = layout.titleSets.insert(
                set, TitleSet{titles[i].wide, titles[i].width, {}, titles[i].language});
        else if (set->language != titles[i].language)
            set->language.reset();
        set->titles.push_back(i);
    }
    layout.discTitle.resize(titles.size());
    int number = 1;
    for (const TitleSet& set : layout.titleSets)
        for (const std::size_t i : set.titles)
            layout.discTitle[i] = number++;
    return layout;
}

std::vector<DiscPieces> splitOntoDiscs(std::span<const BudgetInput> inputs, std::uint64_t discMs) {
    if (discMs == 0)
        return {};
    // The pieces in order, each with its running time on the disc.
    std::vector<std::pair<Piece, std::uint64_t>> pieces;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (!hasRunningTime(inputs[i]))
            continue;
        const std::uint64_t source = *inputs[i].durationMs;
        const std::uint64_t onDisc = discRunningMs(source, inputs[i].speed);
        const std::uint64_t parts = ceilDiv(onDisc, discMs);
        for (std::uint64_t k = 0; k < parts; ++k) {
            const std::uint64_t start = source * k / parts;
            const std::uint64_t end = source * (k + 1) / parts;
            pieces.push_back({{i, start, end - start, parts == 1}, ceilDiv(onDisc, parts)});
        }
    }
    // Discs of at most `most` each, filled in order.
    const auto pack = [&](std::uint64_t most) {
        std::vector<DiscPieces> discs;
        std::uint64_t used = 0;
        for (const auto& [piece, ms] : pieces) {
            if (discs.empty() || used + ms > most) {
                discs.emplace_back();
                used = 0;
            }
            discs.back().push_back(piece);
            used += ms;
        }
        return discs;
    };
    const std::size_t fewest = pack(discMs).size();
    // The least fill that still needs no more discs than that; no disc holds
    // less than its longest piece.
    std::uint64_t low = 1, high = discMs;
    for (const auto& p : pieces)
        low = std::max(low, p.second);
    while (low < high) {
        const std::uint64_t mid = low + (high - low) / 2;
        if (pack(mid).size() <= fewest)
            high = mid;
        else
            low = mid + 1;
    }
    return pack(low);
}

std::vector<DiscPieces> discSet(Format f, const DiscChoice& disc, int audioKbps,
                                std::span<const BudgetInput> inputs) {
    std::vector<DiscPieces> set;
    for (std::size_t tracks = 1; tracks <= inputs.size() + set.size(); ++tracks) {
        set = splitOntoDiscs(inputs, discHoldsMs(f, disc, audioKbps, tracks));
        std::size_t most = 0;
        for (const DiscPieces& d : set)
            most = std::max(most, d.size());
        if (most <= tracks)
            break;
    }
    return set;
}

std::vector<std::uint64_t> marksOnDisc(std::span<const std::uint64_t> sourceMs,
                                       std::uint64_t startMs, std::optional<std::uint64_t> lengthMs,
                                       Fraction speed) {
    std::vector<std::uint64_t> marks;
    for (const std::uint64_t ms : sourceMs)
        if (ms >= startMs && (!lengthMs || ms - startMs < *lengthMs))
            marks.push_back(discRunningMs(ms - startMs, speed));
    return marks;
}

std::vector<std::uint64_t> chapterStarts(std::uint64_t runningMs, std::uint64_t everyMs,
                                         std::span<const std::uint64_t> marks) {
    std::vector<std::uint64_t> all(marks.begin(), marks.end());
    // More than a title holds would be dropped anyway, whatever the marks take.
    const std::size_t most = kMaxTitleChapters + marks.size();
    for (std::uint64_t at = everyMs; everyMs != 0 && at < runningMs && all.size() < most;
         at += everyMs)
        all.push_back(at);
    std::sort(all.begin(), all.end());
    std::vector<std::uint64_t> starts{0};
    for (const std::uint64_t at : all)
        if (at < runningMs && runningMs - at >= kMinChapterMs &&
            at - starts.back() >= kMinChapterMs && starts.size() < kMaxTitleChapters)
            starts.push_back(at);
    return starts;
}

std::string chapterList(std::span<const std::uint64_t> startsMs) {
    std::string list;
    for (const std::uint64_t ms : startsMs) {
        if (!list.empty())
            list += ',';
        list += runningTimeText(ms);
    }
    return list;
}

std::optional<std::vector<MenuButton>> menuButtons(std::size_t titles, FrameSize frame) {
    if (titles == 0 || titles > kMaxMenuButtons)
        return std::nullopt;
    const auto even = [](int v) { return v / 2 * 2; };
    const int left = even(frame.width / 10);
    const int top = even(frame.height / 10);
    const int safeWidth = frame.width - 2 * left;
    const int safeHeight = frame.height - 2 * top;
    const std::size_t columns = (titles + kMenuRows - 1) / kMenuRows;
    const std::size_t rows = (titles + columns - 1) / columns;
    const int width = even(safeWidth / static_cast<int>(columns));
    const int height = even(safeHeight / static_cast<int>(kMenuRows));
    std::vector<MenuButton> buttons;
    for (std::size_t i = 0; i < titles; ++i) {
        const auto column = static_cast<int>(i / rows);
        const auto row = static_cast<int>(i % rows);
        buttons.push_back({left + column * width, top + row * height, width - 8, height - 4});
    }
    return buttons;
}

std::string Fit::fillText() const {
    if (capacityBytes == 0)
        return "0.0";
    // Tenths of a percent, rounded up: a disc at 99.96% is not called 99.9.
    const std::uint64_t tenths = ceilDiv(usedBytes * 1000, capacityBytes);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

Fit fitStreams(Format f, const DiscChoice& disc, std::span<const std::uint64_t> streamBytes) {
    Fit fit;
    const std::optional<std::uint64_t> capacity = capacityUnits(disc, f);
    if (!capacity)
        return fit;
    if (!isCd(f)) {
        fit.usedBytes = kDvdReserveBytes;
        for (const std::uint64_t bytes : streamBytes)
            fit.usedBytes += bytes;
        fit.capacityBytes = *capacity;
        return fit;
    }
    std::uint64_t sectors = kCdDiscReserveSectors;
    for (const std::uint64_t bytes : streamBytes)
        sectors += kCdTrackReserveSectors + ceilDiv(bytes, kCdSectorBytes);
    fit.usedBytes = sectors * kCdSectorBytes;
    fit.capacityBytes = *capacity * kCdSectorBytes;
    return fit;
}

Fit fitImage(Format f, const DiscChoice& disc, std::uint64_t imageBytes) {
    Fit fit;
    const std::optional<std::uint64_t> capacity = capacityUnits(disc, f);
    if (!capacity)
        return fit;
    if (!isCd(f)) {
        fit.usedBytes = imageBytes;
        fit.capacityBytes = *capacity;
        return fit;
    }
    // The image starts after the pregap, which the disc's minutes hold too.
    const std::uint64_t sectors = kCdPregapSectors + ceilDiv(imageBytes, kCdRawSectorBytes);
    fit.usedBytes = sectors * kCdSectorBytes;
    fit.capacityBytes = *capacity * kCdSectorBytes;
    return fit;
}

int refitVideoKbps(int videoKbps, std::uint64_t excessBytes, std::uint64_t runningMs) {
    if (runningMs == 0 || videoKbps <= 0)
        return 0;
    // kbit/s are bits a millisecond.
    const std::uint64_t lessKbps = ceilDiv(excessBytes * 8, runningMs);
    if (lessKbps >= static_cast<std::uint64_t>(videoKbps))
        return 0;
    const std::uint64_t lowered = static_cast<std::uint64_t>(videoKbps) - lessKbps;
    return static_cast<int>(lowered * (100 - kRefitMarginPercent) / 100);
}

} // namespace quorvel::disc
