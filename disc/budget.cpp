#include "disc/budget.h"

#include "disc/authoring.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <utility>

namespace quorvel::disc {

namespace {

// Running times add up to at most this (35 years), so that every product
// below stays inside 64 bits whatever durations the files claim.
constexpr std::uint64_t kMaxRunningMs = std::uint64_t{1} << 40;
// No stream is planned faster than this (10 Gbit/s): far above every limit, it
// bounds the products of the arithmetic below.
constexpr std::uint64_t kMaxStreamsKbps = 10'000'000;
// At most this many discs are counted; more says the disc is far too small.
constexpr std::uint64_t kMaxDiscs = 1'000'000;

constexpr std::array<int, 14> kMp2Kbps = {32,  48,  56,  64,  80,  96,  112,
                                          128, 160, 192, 224, 256, 320, 384};
constexpr std::array<int, 1> kVcdKbps = {224};
// AC-3's rates up to DVD's ceiling of 448.
constexpr std::array<int, 16> kAc3Kbps = {32,  40,  48,  56,  64,  80,  96,  112,
                                          128, 160, 192, 224, 256, 320, 384, 448};

static_assert(static_cast<std::uint64_t>(kSvcdMaxStreamsKbps) == 150 * kSvcdPackPayload * 8 / 1000);

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b, std::uint64_t max) {
    return a > max - std::min(b, max) ? max : std::min(a + b, max);
}

bool isCdFormat(Format f) {
    return f != Format::Dvd;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The units the streams take at `streamsKbps` (kbit/s, which is bits per
// millisecond) for `ms`; rounded up. The rate is at most kMaxStreamsKbps and
// `ms` at most kMaxRunningMs, so their product fits in 64 bits.
std::uint64_t usedUnits(Format f, std::uint64_t streamsKbps, std::uint64_t ms) {
    const std::uint64_t streamBits = streamsKbps * ms;
    if (f == Format::Vcd)
        return ceilDiv(ms * kCdSectorsPerSecond, 1000);
    if (f == Format::Svcd)
        return ceilDiv(streamBits, kSvcdPackPayload * 8);
    const std::uint64_t packBits =
        streamBits / kDvdPackPayload * kDvdPackBytes +
        ceilDiv(streamBits % kDvdPackPayload * kDvdPackBytes, kDvdPackPayload);
    const std::uint64_t navBits = ceilDiv(kDvdNavBytesPerSecond * 8 * ms, 1000);
    return ceilDiv(packBits + navBits, 8);
}

// The highest rate of video and audio together whose stream fits in `usable`
// units for `ms`: the overhead's inverse, rounded down, then stepped down while
// the rounded-up use above says it does not fit.
std::uint64_t fillStreamsKbps(Format f, std::uint64_t usable, std::uint64_t ms) {
    if (ms == 0)
        return 0;
    std::uint64_t rate = 0;
    if (f == Format::Svcd) {
        rate = usable * kSvcdPackPayload * 8 / ms;
    } else {
        const std::uint64_t bitsTimes1000 = usable * 8 * 1000;
        const std::uint64_t navTimes1000 = kDvdNavBytesPerSecond * 8 * ms;
        if (bitsTimes1000 <= navTimes1000)
            return 0;
        rate = (bitsTimes1000 - navTimes1000) * kDvdPackPayload / (kDvdPackBytes * 1000 * ms);
    }
    rate = std::min(rate, kMaxStreamsKbps);
    while (rate > 0 && usedUnits(f, rate, ms) > usable)
        --rate;
    return rate;
}

std::uint64_t unitBytes(Format f) {
    return isCdFormat(f) ? kCdSectorBytes : 1;
}

int floorKbps(Format f) {
    switch (f) {
    case Format::Vcd:
        return kVcdVideoKbps;
    case Format::Svcd:
        return kSvcdFloorKbps;
    case Format::Dvd:
        break;
    }
    return kDvdFloorKbps;
}

int fillVideoKbps(Format f, std::uint64_t usable, std::uint64_t ms, int audioKbps) {
    const std::uint64_t streams = fillStreamsKbps(f, usable, ms);
    const auto audio = static_cast<std::uint64_t>(audioKbps);
    if (streams <= audio)
        return 0;
    return static_cast<int>(streams - audio);
}

// The fewest discs of `usable` units on which `ms` fits at the format's floor
// (VCD: its one rate); none when not even a millisecond fits on one.
std::optional<std::uint64_t> discsFor(Format f, std::uint64_t usable, std::uint64_t ms,
                                      int audioKbps) {
    const auto fits = [&](std::uint64_t n) {
        const std::uint64_t share = ceilDiv(ms, n);
        if (f == Format::Vcd)
            return usedUnits(f, 0, share) <= usable;
        return fillVideoKbps(f, usable, share, audioKbps) >= floorKbps(f);
    };
    const std::uint64_t most = std::min(std::max<std::uint64_t>(ms, 1), kMaxDiscs);
    if (!fits(most))
        return std::nullopt;
    std::uint64_t low = 1, high = most; // fits(high) holds
    while (low < high) {
        const std::uint64_t mid = low + (high - low) / 2;
        if (fits(mid))
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

std::string nothingFits(const DiscChoice& disc, Format f) {
    return "a " + discName(disc, f) + " holds no " + formatName(f) +
           " video once its own structures take their share";
}

} // namespace

std::uint64_t discHoldsMs(Format f, const DiscChoice& disc, int audioKbps, std::size_t tracks) {
    const std::optional<std::uint64_t> capacity = capacityUnits(disc, f);
    const std::uint64_t reserve =
        isCdFormat(f) ? kCdDiscReserveSectors + kCdTrackReserveSectors * tracks : kDvdReserveBytes;
    if (!capacity || *capacity <= reserve)
        return 0;
    const std::uint64_t usable = *capacity - reserve;
    const auto fits = [&](std::uint64_t ms) {
        if (f == Format::Vcd)
            return usedUnits(f, 0, ms) <= usable;
        return fillVideoKbps(f, usable, ms, audioKbps) >= floorKbps(f);
    };
    std::uint64_t low = 0, high = kMaxRunningMs; // fits(low) holds
    while (low < high) {
        const std::uint64_t mid = high - (high - low) / 2;
        if (fits(mid))
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

std::optional<std::uint64_t> capacityUnits(const DiscChoice& disc, Format f) {
    using Kind = DiscChoice::Kind;
    if (isCdFormat(f)) {
        switch (disc.kind) {
        case Kind::Cd74:
            return kCd74Sectors;
        case Kind::Cd80:
            return kCd80Sectors;
        case Kind::Size:
            return disc.sizeBytes / kCdLabelSectorBytes;
        default:
            return std::nullopt;
        }
    }
    switch (disc.kind) {
    case Kind::Dvd5:
        return kDvd5Bytes;
    case Kind::Dvd9:
        return kDvd9Bytes;
    case Kind::Cd74:
        return kCd74Sectors * kDvdSectorBytes;
    case Kind::Cd80:
        return kCd80Sectors * kDvdSectorBytes;
    case Kind::Size:
        return disc.sizeBytes;
    case Kind::Each:
        break;
    }
    return std::nullopt;
}

SizeResult parseSize(std::string_view text) {
    // Appended, not "'" + std::string(text): GCC 12 at -O3 takes that insert
    // at the front for a copy that may overlap (a false -Wrestrict).
    const auto refuse = [&](std::string_view why) {
        std::string error = "'";
        error.append(text).append("' ").append(why);
        return SizeResult{std::nullopt, std::move(error)};
    };
    const auto fail = [&] {
        return refuse("is not a size: give bytes, or a number with K, M or G (powers of 1024), "
                      "as in 4480M");
    };
    std::size_t i = 0;
    std::uint64_t whole = 0;
    std::size_t wholeDigits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (whole > (kMaxDiscBytes << 1))
            return refuse("is larger than any disc");
        whole = whole * 10 + static_cast<std::uint64_t>(text[i] - '0');
        ++i;
        ++wholeDigits;
    }
    // Up to nine decimals, as a fraction of 10^9.
    std::uint64_t fraction = 0;
    std::uint64_t scale = 1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        std::size_t digits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (digits < 9) {
                fraction = fraction * 10 + static_cast<std::uint64_t>(text[i] - '0');
                scale *= 10;
            }
            ++digits;
            ++i;
        }
        if (digits == 0)
            return fail();
    }
    if (wholeDigits == 0 && scale == 1)
        return fail();
    std::uint64_t unit = 1;
    if (i < text.size()) {
        switch (text[i]) {
        case 'k':
        case 'K':
            unit = 1024;
            break;
        case 'm':
        case 'M':
            unit = 1024 * 1024;
            break;
        case 'g':
        case 'G':
            unit = 1024 * 1024 * 1024;
            break;
        default:
            return fail();
        }
        ++i;
    }
    if (i != text.size())
        return fail();
    if (whole > kMaxDiscBytes / unit)
        return refuse("is larger than any disc");
    const std::uint64_t bytes = whole * unit + fraction * unit / scale;
    if (bytes > kMaxDiscBytes)
        return refuse("is larger than any disc");
    if (bytes == 0)
        return {std::nullopt, "a disc of 0 bytes holds nothing"};
    return {bytes, {}};
}

DiscChoiceResult parseDisc(std::string_view text) {
    using Kind = DiscChoice::Kind;
    const std::string name = lower(text);
    if (name == "dvd5")
        return {DiscChoice{Kind::Dvd5}, {}};
    if (name == "dvd9")
        return {DiscChoice{Kind::Dvd9}, {}};
    if (name == "cd74")
        return {DiscChoice{Kind::Cd74}, {}};
    if (name == "cd80")
        return {DiscChoice{Kind::Cd80}, {}};
    if (name == "each")
        return {DiscChoice{Kind::Each}, {}};
    const SizeResult size = parseSize(text);
    if (!size.bytes)
        return {std::nullopt, size.error + "; or name a disc: dvd5, dvd9, cd74, cd80 or each"};
    return {DiscChoice{Kind::Size, *size.bytes}, {}};
}

std::string discName(const DiscChoice& disc, Format f) {
    using Kind = DiscChoice::Kind;
    switch (disc.kind) {
    case Kind::Dvd5:
        return "DVD-5";
    case Kind::Dvd9:
        return "DVD-9";
    case Kind::Cd74:
        return "CD 74 min";
    case Kind::Cd80:
        return "CD 80 min";
    case Kind::Size:
        return groupedNumber(disc.sizeBytes) + "-byte disc";
    case Kind::Each:
        break;
    }
    return discName(usualDisc(f), f);
}

DiscChoice usualDisc(Format f) {
    return DiscChoice{f == Format::Dvd ? DiscChoice::Kind::Dvd5 : DiscChoice::Kind::Cd80};
}

std::span<const int> legalAudioKbps(Format f) {
    switch (f) {
    case Format::Vcd:
        return kVcdKbps;
    case Format::Svcd:
        return kMp2Kbps;
    case Format::Dvd:
        break;
    }
    return kAc3Kbps;
}

AudioResult audioFor(Format f, std::optional<int> kbps) {
    Audio audio;
    if (f == Format::Dvd)
        audio = Audio{"ac3", 192, 48'000};
    if (!kbps)
        return {audio, {}};
    const auto legal = legalAudioKbps(f);
    if (std::find(legal.begin(), legal.end(), *kbps) == legal.end()) {
        if (f == Format::Vcd)
            return {std::nullopt, "VCD audio is MP2 at 224 kbit/s only"};
        std::string list;
        for (const int rate : legal)
            list += (list.empty() ? "" : ", ") + std::to_string(rate);
        return {std::nullopt, std::string(formatName(f)) + " audio (" +
                                  (f == Format::Dvd ? "AC-3" : "MP2") + ") takes " + list +
                                  " kbit/s, not " + std::to_string(*kbps)};
    }
    audio.kbps = *kbps;
    return {audio, {}};
}

int usualVideoKbps(Format f) {
    switch (f) {
    case Format::Vcd:
        return kVcdVideoKbps;
    case Format::Svcd:
        return 2'040;
    case Format::Dvd:
        break;
    }
    return 6'000;
}

int peakVideoKbps(Format f, int audioKbps) {
    switch (f) {
    case Format::Vcd:
        return kVcdVideoKbps;
    case Format::Svcd:
        return std::min(kSvcdMaxVideoKbps, kSvcdMaxStreamsKbps - audioKbps);
    case Format::Dvd:
        break;
    }
    const std::uint64_t mux = (std::uint64_t{kDvdMaxMuxKbps} * 1000 - kDvdNavBytesPerSecond * 8) *
                              kDvdPackPayload / kDvdPackBytes / 1000;
    return std::min(kDvdMaxVideoKbps, static_cast<int>(mux) - audioKbps);
}

std::uint64_t streamBytes(Format f, int streamsKbps, std::uint64_t ms) {
    const std::uint64_t rate = std::min<std::uint64_t>(
        static_cast<std::uint64_t>(std::max(streamsKbps, 0)), kMaxStreamsKbps);
    return usedUnits(f, rate, std::min(ms, kMaxRunningMs)) * unitBytes(f);
}

std::uint64_t discRunningMs(std::uint64_t durationMs, Fraction speed) {
    if (speed.num <= 0 || speed.den <= 0)
        return durationMs;
    const auto num = static_cast<std::uint64_t>(speed.num);
    const auto den = static_cast<std::uint64_t>(speed.den);
    const std::uint64_t ms = std::min(durationMs, kMaxRunningMs);
    // ms * den stays inside 64 bits: ms < 2^41 and a rate's terms are small.
    if (den > (std::numeric_limits<std::uint64_t>::max() / (kMaxRunningMs * 2)))
        return ms;
    return std::min(ceilDiv(ms * den, num), kMaxRunningMs);
}

Budget planBudget(const BudgetRequest& request) {
    Budget budget;
    const Format f = request.format;
    budget.audio =
        audioFor(f, request.audioKbps ? std::optional<int>(request.audioKbps) : std::nullopt).audio;
    int audioKbps = request.audioKbps;
    if (audioKbps == 0)
        audioKbps = audioFor(f).audio->kbps;
    const bool each = request.disc.kind == DiscChoice::Kind::Each;
    const DiscChoice disc = each ? usualDisc(f) : request.disc;
    const std::optional<std::uint64_t> capacity = capacityUnits(disc, f);
    if (!capacity) {
        budget.error = discRefusal(disc, f);
        return budget;
    }

    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < request.inputs.size(); ++i) {
        if (!hasRunningTime(request.inputs[i]))
            budget.withoutTime.push_back(i);
        if (each) {
            if (hasRunningTime(request.inputs[i]))
                groups.push_back({i});
        } else {
            if (groups.empty())
                groups.emplace_back();
            groups.back().push_back(i);
        }
    }

    for (const auto& group : groups) {
        DiscPlan plan;
        plan.inputs = group;
        std::uint64_t reserve = kDvdReserveBytes;
        if (isCdFormat(f))
            reserve = kCdDiscReserveSectors + kCdTrackReserveSectors * group.size();
        const std::uint64_t usable = *capacity > reserve ? *capacity - reserve : 0;
        plan.capacityBytes = *capacity * unitBytes(f);
        plan.usableBytes = usable * unitBytes(f);
        for (const std::size_t i : group) {
            const BudgetInput& input = request.inputs[i];
            if (hasRunningTime(input))
                plan.runningMs = saturatingAdd(
                    plan.runningMs, discRunningMs(*input.durationMs, input.speed), kMaxRunningMs);
        }
        plan.peakKbps = peakVideoKbps(f, audioKbps);
        plan.planned = plan.runningMs > 0;
        if (!plan.planned) {
            budget.discs.push_back(plan);
            continue;
        }
        if (usable == 0) {
            budget.error = nothingFits(disc, f);
            return budget;
        }
        const std::optional<std::uint64_t> discs = discsFor(f, usable, plan.runningMs, audioKbps);
        if (!discs) {
            budget.error = nothingFits(disc, f);
            return budget;
        }
        plan.discsNeeded = static_cast<int>(*discs);
        if (*discs > 1 && *discs <= kMaxDiscSet) {
            std::vector<BudgetInput> inputs;
            for (const std::size_t i : group)
                inputs.push_back(request.inputs[i]);
            const std::vector<DiscPieces> set = discSet(f, disc, audioKbps, inputs);
            plan.discsNeeded = static_cast<int>(std::max<std::size_t>(*discs, set.size()));
            for (const DiscPieces& pieces : set)
                for (const Piece& piece : pieces)
                    if (!piece.whole && piece.startMs > 0)
                        plan.cuts.emplace_back(group[piece.input], piece.startMs);
        }

        if (f == Format::Vcd) {
            plan.videoKbps = kVcdVideoKbps;
            plan.cap = Cap::Constant;
            plan.fitMs = usable * 1000 / kCdSectorsPerSecond;
        } else {
            plan.videoKbps = fillVideoKbps(f, usable, plan.runningMs, audioKbps);
            if (plan.videoKbps > plan.peakKbps) {
                plan.videoKbps = plan.peakKbps;
                if (f == Format::Svcd)
                    plan.cap =
                        plan.peakKbps == kSvcdMaxVideoKbps ? Cap::VideoLimit : Cap::StreamsLimit;
                else
                    plan.cap = plan.peakKbps == kDvdMaxVideoKbps ? Cap::VideoLimit : Cap::MuxLimit;
            }
        }
        if (plan.discsNeeded == 1) {
            const std::uint64_t used = usedUnits(
                f, static_cast<std::uint64_t>(plan.videoKbps + audioKbps), plan.runningMs);
            plan.leftoverBytes = (usable > used ? usable - used : 0) * unitBytes(f);
        }
        if (f == Format::Dvd && request.dvdWidth != 352 && plan.discsNeeded == 1 &&
            plan.videoKbps < kDvdHalfWidthBelowKbps)
            plan.halfWidthFrame = discFrame(f, request.standard, 352);
        budget.discs.push_back(plan);
    }
    return budget;
}

std::optional<std::vector<int>> shareByNeed(Format f, std::uint64_t usableBytes, int audioKbps,
                                            std::span<const Need> needs) {
    const int floor = floorKbps(f);
    const int peakKbps = peakVideoKbps(f, audioKbps);
    std::uint64_t left = usableBytes;
    for (const Need& n : needs) {
        if (!n.bytes)
            continue;
        if (*n.bytes > left)
            return std::nullopt;
        left -= *n.bytes;
    }
    // Every input gets the one level, or its need when that is less.
    const auto rates = [&](int level) {
        std::vector<int> r(needs.size(), 0);
        for (std::size_t i = 0; i < needs.size(); ++i)
            if (!needs[i].bytes)
                r[i] = std::min(needs[i].kbps > 0 ? needs[i].kbps : peakKbps, level);
        return r;
    };
    const auto fits = [&](int level) {
        const std::vector<int> r = rates(level);
        std::uint64_t used = 0;
        for (std::size_t i = 0; i < needs.size(); ++i)
            if (!needs[i].bytes)
                used += streamBytes(f, r[i] + audioKbps, needs[i].runningMs);
        return used <= left;
    };
    if (floor > peakKbps || !fits(floor))
        return std::nullopt;
    int lo = floor, hi = peakKbps;
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (fits(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    return rates(lo);
}

std::string groupedNumber(std::uint64_t n) {
    std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string discRefusal(const DiscChoice& disc, Format f) {
    const bool each = disc.kind == DiscChoice::Kind::Each;
    return capacityUnits(each ? usualDisc(f) : disc, f)
               ? std::string()
               : aFormat(f) + " goes on a CD: choose cd74, cd80 or a size";
}

bool hasRunningTime(const BudgetInput& input) {
    return input.durationMs.value_or(0) > 0;
}

std::vector<std::string> describeBudget(const Budget& budget, const BudgetRequest& request,
                                        NameEscape escape) {
    std::vector<std::string> lines;
    const Format f = request.format;
    const auto name = [&](std::size_t i) {
        const std::string& raw = request.inputs[i].name;
        return escape ? escape(raw) : raw;
    };
    if (!budget.ok()) {
        lines.push_back("error: " + budget.error);
        return lines;
    }
    const AudioResult chosen =
        audioFor(f, request.audioKbps ? std::optional<int>(request.audioKbps) : std::nullopt);
    const Audio audio = chosen.audio ? *chosen.audio : *audioFor(f).audio;
    const std::string audioText = std::string(f == Format::Dvd ? "AC-3 " : "MP2 ") +
                                  groupedNumber(static_cast<std::uint64_t>(audio.kbps)) + " kbit/s";
    const bool each = request.disc.kind == DiscChoice::Kind::Each;
    const DiscChoice disc = each ? usualDisc(f) : request.disc;
    for (std::size_t d = 0; d < budget.discs.size(); ++d) {
        const DiscPlan& p = budget.discs[d];
        std::string head = "disc " + std::to_string(d + 1) + ": " + discName(disc, f) + ", " +
                           groupedNumber(p.capacityBytes) + " bytes, " +
                           groupedNumber(p.usableBytes) + " for video";
        if (each)
            head += " (" + name(p.inputs.front()) + ")";
        lines.push_back(head);
        if (!p.planned) {
            lines.push_back("  nothing to plan: no input here has a running time");
            continue;
        }
        // Inputs left out of the sum are named below, not counted here.
        std::size_t timed = 0;
        for (const std::size_t i : p.inputs)
            timed += hasRunningTime(request.inputs[i]) ? 1 : 0;
        lines.push_back("  running time " + runningTimeText(p.runningMs) + " (" +
                        std::to_string(timed) + (timed == 1 ? " input)" : " inputs)"));
        if (f == Format::Vcd) {
            lines.push_back("  video 1,150 kbit/s constant, " + audioText + "; " +
                            runningTimeText(p.fitMs) + " fits on one disc");
        } else {
            lines.push_back("  video " + groupedNumber(static_cast<std::uint64_t>(p.videoKbps)) +
                            " kbit/s (peak " +
                            groupedNumber(static_cast<std::uint64_t>(p.peakKbps)) + "), " +
                            audioText);
            if (p.cap == Cap::VideoLimit)
                lines.push_back(std::string("  capped at the ") + formatName(f) +
                                " video limit of " +
                                groupedNumber(static_cast<std::uint64_t>(p.peakKbps)) + " kbit/s");
            else if (p.cap == Cap::StreamsLimit)
                lines.push_back("  capped where video and audio reach SVCD's " +
                                groupedNumber(static_cast<std::uint64_t>(kSvcdMaxStreamsKbps)) +
                                " kbit/s: 150 packs a second, a 2x CD");
            else if (p.cap == Cap::MuxLimit)
                lines.push_back("  capped where the multiplex reaches DVD's 10,080 kbit/s");
        }
        if (p.discsNeeded == 1) {
            std::string verdict = "  fits";
            if (p.cap != Cap::None)
                verdict += ", " + groupedNumber(p.leftoverBytes) + " bytes left over";
            lines.push_back(verdict);
        } else {
            std::string verdict =
                "  does not fit: needs " + std::to_string(p.discsNeeded) + " discs";
            if (f != Format::Vcd)
                verdict += " to keep at least " +
                           groupedNumber(static_cast<std::uint64_t>(floorKbps(f))) +
                           " kbit/s of video";
            lines.push_back(verdict + (p.inputs.size() > 1 ? ", whole inputs in order" : ""));
            for (const auto& [input, ms] : p.cuts)
                lines.push_back("  " + name(input) + " is cut at " + runningTimeText(ms));
        }
        if (p.halfWidthFrame)
            lines.push_back(
                "  below " + groupedNumber(static_cast<std::uint64_t>(kDvdHalfWidthBelowKbps)) +
                " kbit/s a 720-wide frame starves: the half frame " +
                std::to_string(p.halfWidthFrame->width) + "x" +
                std::to_string(p.halfWidthFrame->height) + " (4:3) at the same rate looks better");
    }
    for (const std::size_t i : budget.withoutTime)
        lines.push_back("no running time: " + name(i) + " (left out of the sum)");
    return lines;
}

} // namespace quorvel::disc
