#include "disc/budget.h"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>

namespace quorvel::disc {
namespace {

constexpr std::uint64_t kHour = 3'600'000;
// DVD-5 less its 4 MiB reserve.
constexpr std::uint64_t kDvd5Usable = 4'700'372'992 - 4'194'304;
// CD 80 less one disc's and one track's reserve: 360,000 - 675 - 240 sectors.
constexpr std::uint64_t kCd80OneTrack = 359'085;

// --- SIZE and --disc -----------------------------------------------------------

struct SizeCase {
    const char* name;
    const char* text;
    std::optional<std::uint64_t> bytes;
};
void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.name;
}
class ParseSize : public testing::TestWithParam<SizeCase> {};

TEST_P(ParseSize, ReadsBytesOrPowersOf1024) {
    const auto& c = GetParam();
    const SizeResult r = parseSize(c.text);
    EXPECT_EQ(r.bytes, c.bytes);
    EXPECT_EQ(r.error.empty(), c.bytes.has_value()) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseSize,
    testing::Values(
        SizeCase{"bytes", "681984000", 681'984'000}, SizeCase{"mebibytes", "4480M", 4'697'620'480},
        SizeCase{"lower case", "700m", 734'003'200}, SizeCase{"kibibyte", "1K", 1024},
        SizeCase{"gibibyte", "1g", 1'073'741'824},
        // 4 GiB + 0.37 GiB, the fraction of a byte dropped.
        SizeCase{"decimal rounds down", "4.37G", 4'692'251'770},
        SizeCase{"leading point", ".5K", 512}, SizeCase{"largest", "256G", std::uint64_t{1} << 38},
        SizeCase{"larger than any disc", "257G", std::nullopt},
        SizeCase{"huge digits", "99999999999999999999999", std::nullopt},
        SizeCase{"zero", "0", std::nullopt}, SizeCase{"empty", "", std::nullopt},
        SizeCase{"suffix alone", "M", std::nullopt},
        SizeCase{"point without digits", "4.M", std::nullopt},
        SizeCase{"unknown suffix", "12X", std::nullopt},
        SizeCase{"two suffixes", "1MM", std::nullopt}, SizeCase{"negative", "-5", std::nullopt},
        SizeCase{"exponent", "1e9", std::nullopt}, SizeCase{"space", " 5", std::nullopt}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(ParseDisc, NamesSizesAndEach) {
    using Kind = DiscChoice::Kind;
    EXPECT_EQ(parseDisc("dvd5").disc, DiscChoice{Kind::Dvd5});
    EXPECT_EQ(parseDisc("DVD9").disc, DiscChoice{Kind::Dvd9});
    EXPECT_EQ(parseDisc("Cd74").disc, DiscChoice{Kind::Cd74});
    EXPECT_EQ(parseDisc("cd80").disc, DiscChoice{Kind::Cd80});
    EXPECT_EQ(parseDisc("each").disc, DiscChoice{Kind::Each});
    EXPECT_EQ(parseDisc("4480M").disc, (DiscChoice{Kind::Size, 4'697'620'480}));
    const DiscChoiceResult bad = parseDisc("dvd10");
    EXPECT_FALSE(bad.disc);
    EXPECT_NE(bad.error.find("'dvd10' is not a size"), std::string::npos) << bad.error;
    EXPECT_NE(bad.error.find("dvd5, dvd9, cd74, cd80 or each"), std::string::npos) << bad.error;
}

// --- Audio and limits ------------------------------------------------------------

TEST(AudioFor, GivesEachFormatItsAudioAndRefusesIllegalRates) {
    EXPECT_EQ(audioFor(Format::Vcd).audio, (Audio{"mp2", 224, 44'100}));
    EXPECT_EQ(audioFor(Format::Svcd).audio, (Audio{"mp2", 224, 44'100}));
    EXPECT_EQ(audioFor(Format::Dvd).audio, (Audio{"ac3", 192, 48'000}));
    EXPECT_EQ(audioFor(Format::Vcd, 224).audio, (Audio{"mp2", 224, 44'100}));
    EXPECT_EQ(audioFor(Format::Svcd, 128).audio, (Audio{"mp2", 128, 44'100}));
    EXPECT_EQ(audioFor(Format::Dvd, 448).audio, (Audio{"ac3", 448, 48'000}));
    EXPECT_EQ(audioFor(Format::Vcd, 192).error, "VCD audio is MP2 at 224 kbit/s only");
    EXPECT_EQ(audioFor(Format::Svcd, 100).error,
              "SVCD audio (MP2) takes 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, "
              "384 kbit/s, not 100");
    EXPECT_FALSE(audioFor(Format::Dvd, 640).audio); // AC-3 has it; DVD stops at 448
    EXPECT_FALSE(audioFor(Format::Dvd, 0).audio);
}

TEST(PeakVideoKbps, KeepsEveryLimit) {
    EXPECT_EQ(peakVideoKbps(Format::Vcd, 224), 1150);
    EXPECT_EQ(peakVideoKbps(Format::Svcd, 224), 2525); // 2,749 less the audio
    // At the cap a second of the stream, headers included, fits the 150
    // sectors a 2x CD reads in it.
    EXPECT_LE(streamBytes(Format::Svcd, kSvcdMaxStreamsKbps, 1000), 150 * kCdSectorBytes);
    EXPECT_GT(streamBytes(Format::Svcd, kSvcdMaxStreamsKbps + 1, 1000), 150 * kCdSectorBytes);
    EXPECT_EQ(peakVideoKbps(Format::Svcd, 128), 2600); // the video limit
    // 10,080 kbit/s less 2.5 NAV packs a second, times 2,015/2,048 = 9,877.
    EXPECT_EQ(peakVideoKbps(Format::Dvd, 192), 9877 - 192);
    EXPECT_EQ(peakVideoKbps(Format::Dvd, 448), 9877 - 448);
    EXPECT_EQ(peakVideoKbps(Format::Dvd, 32), 9800);
}

TEST(UsualVideoKbps, IsWhatFfmpegsTargetChooses) {
    EXPECT_EQ(usualVideoKbps(Format::Vcd), 1150);
    EXPECT_EQ(usualVideoKbps(Format::Svcd), 2040);
    EXPECT_EQ(usualVideoKbps(Format::Dvd), 6000);
}

// --- The budget --------------------------------------------------------------------

BudgetRequest request(Format f, DiscChoice disc, std::vector<std::optional<std::uint64_t>> ms) {
    BudgetRequest r;
    r.format = f;
    r.disc = disc;
    for (std::size_t i = 0; i < ms.size(); ++i)
        r.inputs.push_back({"input" + std::to_string(i + 1), ms[i]});
    return r;
}

struct PlanCase {
    const char* name;
    Format format;
    DiscChoice::Kind disc;
    std::uint64_t ms;
    int videoKbps;
    Cap cap;
    int discsNeeded;
    std::uint64_t leftoverBytes;
    bool halfWidth;
};
void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}
class PlanBudget : public testing::TestWithParam<PlanCase> {};

// Worked by hand from the figures in budget.h: the rate is the largest whose
// packs, NAV packs and sectors fit the usable space.
TEST_P(PlanBudget, FillsTheDiscOrSaysWhy) {
    const auto& c = GetParam();
    const Budget b = planBudget(request(c.format, {c.disc}, {c.ms}));
    ASSERT_TRUE(b.ok()) << b.error;
    ASSERT_EQ(b.discs.size(), 1u);
    const DiscPlan& p = b.discs.front();
    EXPECT_TRUE(p.planned);
    EXPECT_EQ(p.runningMs, c.ms);
    EXPECT_EQ(p.videoKbps, c.videoKbps);
    EXPECT_EQ(p.cap, c.cap);
    EXPECT_EQ(p.discsNeeded, c.discsNeeded);
    EXPECT_EQ(p.leftoverBytes, c.leftoverBytes);
    EXPECT_EQ(p.halfWidthFrame.has_value(), c.halfWidth);
}

using Kind = DiscChoice::Kind;
using F = Format;
constexpr std::uint64_t kMinute = 60'000;
INSTANTIATE_TEST_SUITE_P(
    Table, PlanBudget,
    testing::Values(
        // 4,696,178,688 bytes over 7,200 s less NAV packs and headers: 5,093
        // kbit/s of streams, 192 of them audio.
        PlanCase{"dvd5_2h", F::Dvd, Kind::Dvd5, 120 * kMinute, 4901, Cap::None, 1, 546'648, 0},
        PlanCase{"dvd5_2h30", F::Dvd, Kind::Dvd5, 150 * kMinute, 3874, Cap::None, 1, 935'412, 0},
        PlanCase{"dvd5_3h_starves", F::Dvd, Kind::Dvd5, 180 * kMinute, 3190, Cap::None, 1, 409'437,
                 1},
        // Ten minutes would take 61,374 kbit/s: capped where the multiplex is full.
        PlanCase{"dvd5_10min_capped", F::Dvd, Kind::Dvd5, 10 * kMinute, 9685, Cap::MuxLimit, 1,
                 3'940'199'888, 0},
        // 20 hours: 281 kbit/s on one; three discs give 1,307, above the 1,200 floor.
        PlanCase{"dvd5_20h", F::Dvd, Kind::Dvd5, 1200 * kMinute, 281, Cap::None, 3, 0, 0},
        // 359,085 sectors of 2,291 payload bytes over 3,600 s: 1,828 kbit/s, 224 audio.
        PlanCase{"svcd_cd80_1h", F::Svcd, Kind::Cd80, 60 * kMinute, 1604, Cap::None, 1, 62'748, 0},
        // 2,749 kbit/s for 600 s takes 89,994 sectors: 150 a second.
        PlanCase{"svcd_cd80_10min", F::Svcd, Kind::Cd80, 10 * kMinute, 2525, Cap::StreamsLimit, 1,
                 (kCd80OneTrack - 89'994) * 2324, 0},
        // 79:47.800 fits: 40 minutes take 180,000 sectors.
        PlanCase{"vcd_cd80_40min", F::Vcd, Kind::Cd80, 40 * kMinute, 1150, Cap::Constant, 1,
                 (kCd80OneTrack - 180'000) * 2324, 0},
        PlanCase{"vcd_cd80_2h", F::Vcd, Kind::Cd80, 120 * kMinute, 1150, Cap::Constant, 2, 0, 0},
        PlanCase{"vcd_cd74_4h", F::Vcd, Kind::Cd74, 240 * kMinute, 1150, Cap::Constant, 4, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Whole inputs decide how many discs: an 80 MB disc holds 6:56 at DVD's
// floor, so three 4-minute inputs need three, though cut anywhere two would
// do; a long input is cut into equal parts, and the plan says where.
TEST(PlanBudget, DiscsNeededKeepInputsWhole) {
    const DiscChoice disc{Kind::Size, 80'000'000};
    const BudgetRequest three = request(F::Dvd, disc, {4 * kMinute, 4 * kMinute, 4 * kMinute});
    EXPECT_EQ(planBudget(three).discs[0].discsNeeded, 3);
    const BudgetRequest long1 = request(F::Dvd, disc, {25 * kMinute});
    const Budget b = planBudget(long1);
    EXPECT_EQ(b.discs[0].discsNeeded, 4);
    using Cuts = std::vector<std::pair<std::size_t, std::uint64_t>>;
    EXPECT_EQ(b.discs[0].cuts, (Cuts{{0, 375'000}, {0, 750'000}, {0, 1'125'000}}));
    const auto lines = describeBudget(b, long1);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  input1 is cut at 0:06:15.000"), lines.end());
}

TEST(PlanBudget, TypedSizeForADvd) {
    // 4480M: 4,697,620,480 bytes less the reserve.
    const Budget b = planBudget(request(Format::Dvd, {Kind::Size, 4'697'620'480}, {2 * kHour}));
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(b.discs[0].videoKbps, 4898);
    EXPECT_EQ(b.discs[0].leftoverBytes, 538'354u);
}

TEST(PlanBudget, SvcdCappedAtItsVideoLimitWithQuietAudio) {
    BudgetRequest r = request(Format::Svcd, {Kind::Cd80}, {600'000});
    r.audioKbps = 128;
    const Budget b = planBudget(r);
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(b.discs[0].videoKbps, 2600);
    EXPECT_EQ(b.discs[0].cap, Cap::VideoLimit);
}

TEST(PlanBudget, DvdCappedAtItsVideoLimitWithQuietAudio) {
    BudgetRequest r = request(Format::Dvd, {Kind::Dvd5}, {600'000});
    r.audioKbps = 32;
    const Budget b = planBudget(r);
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(b.discs[0].videoKbps, 9800);
    EXPECT_EQ(b.discs[0].cap, Cap::VideoLimit);
}

TEST(PlanBudget, VcdSaysHowMuchFitsOnOneDisc) {
    const Budget b80 = planBudget(request(Format::Vcd, {Kind::Cd80}, {kHour}));
    EXPECT_EQ(b80.discs[0].fitMs, 4'787'800u); // 359,085 sectors at 75 a second
    const Budget b74 = planBudget(request(Format::Vcd, {Kind::Cd74}, {kHour}));
    EXPECT_EQ(b74.discs[0].fitMs, 4'427'800u); // 332,085 sectors
    // Each more track takes its 240 sectors from the same disc.
    const Budget two = planBudget(request(Format::Vcd, {Kind::Cd80}, {kHour / 2, kHour / 2}));
    EXPECT_EQ(two.discs[0].fitMs, (kCd80OneTrack - 240) * 1000 / 75);
}

// The rate is rounded down: the stream at it fits, one kbit/s more would not.
TEST(PlanBudget, NeverOverfillsTheDisc) {
    for (const Format f : {Format::Dvd, Format::Svcd}) {
        for (std::uint64_t ms = 3'000'001; ms < 40'000'000; ms += 1'234'567) {
            const Budget b =
                planBudget(request(f, {f == Format::Dvd ? Kind::Dvd5 : Kind::Cd80}, {ms}));
            ASSERT_TRUE(b.ok());
            const DiscPlan& p = b.discs[0];
            if (p.cap != Cap::None || p.discsNeeded != 1)
                continue;
            const int audio = audioFor(f).audio->kbps;
            EXPECT_LE(streamBytes(f, p.videoKbps + audio, ms), p.usableBytes) << ms;
            EXPECT_GT(streamBytes(f, p.videoKbps + audio + 1, ms), p.usableBytes) << ms;
        }
    }
}

TEST(PlanBudget, AddsRunningTimesInOrderAndLeavesOutTheUnknown) {
    const Budget b =
        planBudget(request(Format::Dvd, {Kind::Dvd5}, {kHour, std::nullopt, kHour / 2}));
    ASSERT_TRUE(b.ok());
    ASSERT_EQ(b.discs.size(), 1u);
    EXPECT_EQ(b.discs[0].inputs, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(b.discs[0].runningMs, kHour + kHour / 2);
    EXPECT_EQ(b.withoutTime, (std::vector<std::size_t>{1}));
}

TEST(PlanBudget, NothingToPlanWithoutAnyRunningTime) {
    const Budget b = planBudget(request(Format::Dvd, {Kind::Dvd5}, {std::nullopt}));
    ASSERT_TRUE(b.ok());
    EXPECT_FALSE(b.discs[0].planned);
    EXPECT_EQ(b.discs[0].videoKbps, 0);
}

TEST(PlanBudget, EachInputOnItsOwnUsualDisc) {
    const Budget dvd =
        planBudget(request(Format::Dvd, {Kind::Each}, {2 * kHour, std::nullopt, 3 * kHour}));
    ASSERT_TRUE(dvd.ok());
    ASSERT_EQ(dvd.discs.size(), 2u);
    EXPECT_EQ(dvd.discs[0].inputs, (std::vector<std::size_t>{0}));
    EXPECT_EQ(dvd.discs[0].videoKbps, 4901); // as on a DVD-5
    EXPECT_EQ(dvd.discs[1].inputs, (std::vector<std::size_t>{2}));
    EXPECT_EQ(dvd.discs[1].videoKbps, 3190);
    EXPECT_EQ(dvd.withoutTime, (std::vector<std::size_t>{1}));
    const Budget vcd = planBudget(request(Format::Vcd, {Kind::Each}, {kHour}));
    EXPECT_EQ(vcd.discs[0].capacityBytes, 360'000u * 2324); // a CD 80
}

TEST(PlanBudget, FilmSpedUpToPalRunsShorter) {
    BudgetRequest r = request(Format::Dvd, {Kind::Dvd5}, {2 * kHour});
    r.inputs[0].speed = {1001, 960}; // 24000/1001 to 25
    const Budget b = planBudget(r);
    EXPECT_EQ(b.discs[0].runningMs, 6'905'095u); // 7,200,000 * 960/1001, rounded up
    EXPECT_EQ(b.discs[0].videoKbps, 5120);
}

TEST(PlanBudget, TheHalfFrameIsNotProposedWhenAlreadyChosen) {
    BudgetRequest r = request(Format::Dvd, {Kind::Dvd5}, {3 * kHour});
    r.dvdWidth = 352;
    EXPECT_FALSE(planBudget(r).discs[0].halfWidthFrame);
    r.dvdWidth = 720;
    r.standard = Standard::Ntsc;
    EXPECT_EQ(planBudget(r).discs[0].halfWidthFrame, (FrameSize{352, 480}));
}

TEST(PlanBudget, RefusesDiscsTheFormatDoesNotGoOn) {
    EXPECT_EQ(planBudget(request(Format::Vcd, {Kind::Dvd5}, {kHour})).error,
              "a VCD goes on a CD: choose cd74, cd80 or a size");
    EXPECT_EQ(planBudget(request(Format::Svcd, {Kind::Dvd9}, {kHour})).error,
              "an SVCD goes on a CD: choose cd74, cd80 or a size");
    // A DVD may go on a CD: 333,000 sectors of 2,048 bytes.
    const Budget mini = planBudget(request(Format::Dvd, {Kind::Cd74}, {600'000}));
    EXPECT_EQ(mini.discs[0].capacityBytes, 681'984'000u);
}

TEST(PlanBudget, SaysWhenNothingFits) {
    EXPECT_EQ(planBudget(request(Format::Vcd, {Kind::Size, 1'000'000}, {kHour})).error,
              "a 1,000,000-byte disc holds no VCD video once its own structures take their "
              "share");
    EXPECT_FALSE(planBudget(request(Format::Dvd, {Kind::Size, 4'000'000}, {kHour})).ok());
}

TEST(PlanBudget, HostileRunningTimesStayInRange) {
    const auto max = std::numeric_limits<std::uint64_t>::max();
    const Budget b = planBudget(request(Format::Dvd, {Kind::Dvd9}, {max, max}));
    ASSERT_TRUE(b.ok()) << b.error;
    EXPECT_EQ(b.discs[0].runningMs, std::uint64_t{1} << 40); // 35 years, saturated
    EXPECT_GT(b.discs[0].discsNeeded, 20'000);
    const Budget one = planBudget(request(Format::Dvd, {Kind::Dvd9}, {1}));
    ASSERT_TRUE(one.ok());
    EXPECT_EQ(one.discs[0].cap, Cap::MuxLimit);
}

TEST(DiscRunningMs, DividesBySpeedRoundingUp) {
    EXPECT_EQ(discRunningMs(1000, {1, 1}), 1000u);
    EXPECT_EQ(discRunningMs(1000, {25, 24}), 960u);
    EXPECT_EQ(discRunningMs(1001, {25, 24}), 961u); // 960.96
    EXPECT_EQ(discRunningMs(1000, {1000, 1001}), 1001u);
    EXPECT_EQ(discRunningMs(1000, {0, 1}), 1000u); // no speed: as it is
}

TEST(DescribeBudget, SaysRateVerdictAndProposal) {
    BudgetRequest r = request(Format::Dvd, {Kind::Dvd5}, {2 * kHour, std::nullopt, kHour});
    const std::vector<std::string> lines = describeBudget(planBudget(r), r);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "disc 1: DVD-5, 4,700,372,992 bytes, 4,696,178,688 for video",
                         "  running time 3:00:00.000 (2 inputs)",
                         "  video 3,190 kbit/s (peak 9,685), AC-3 192 kbit/s",
                         "  fits",
                         "  below 3,400 kbit/s a 720-wide frame starves: the half frame 352x576 "
                         "(4:3) at the same rate looks better",
                         "no running time: input2 (left out of the sum)",
                     }));
}

TEST(DescribeBudget, VcdMinutesAndDiscCount) {
    BudgetRequest r = request(Format::Vcd, {Kind::Cd80}, {2 * kHour});
    EXPECT_EQ(describeBudget(planBudget(r), r),
              (std::vector<std::string>{
                  "disc 1: CD 80 min, 836,640,000 bytes, 834,513,540 for video",
                  "  running time 2:00:00.000 (1 input)",
                  "  video 1,150 kbit/s constant, MP2 224 kbit/s; 1:19:47.800 fits on one disc",
                  "  does not fit: needs 2 discs",
                  "  input1 is cut at 1:00:00.000",
              }));
}

TEST(DescribeBudget, CappedDiscSaysWhatIsLeft) {
    BudgetRequest r = request(Format::Dvd, {Kind::Dvd5}, {600'000});
    const auto lines = describeBudget(planBudget(r), r);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[3], "  capped where the multiplex reaches DVD's 10,080 kbit/s");
    EXPECT_EQ(lines[4], "  fits, 3,940,199,888 bytes left over");
}

TEST(RunningTimeText, TheOneFormOfEveryOutput) {
    EXPECT_EQ(runningTimeText(0), "0:00:00.000");
    EXPECT_EQ(runningTimeText(59'999), "0:00:59.999");
    EXPECT_EQ(runningTimeText(4'787'800), "1:19:47.800");
    EXPECT_EQ(runningTimeText(5'525'120), "1:32:05.120");
    EXPECT_EQ(groupedNumber(0), "0");
    EXPECT_EQ(groupedNumber(999), "999");
    EXPECT_EQ(groupedNumber(1000), "1,000");
    EXPECT_EQ(groupedNumber(4'700'372'992), "4,700,372,992");
}

// Three minutes each on a disc that holds them evenly at about 4,000 kbit/s.
TEST(ShareByNeed, WhatOneNeedsLessGoesToTheOthersAndTheDiscStillHoldsThem) {
    constexpr std::uint64_t kMinute = 60'000;
    const std::uint64_t usable = 3 * streamBytes(Format::Dvd, 4'000 + 192, 3 * kMinute);
    const auto used = [](const std::vector<Need>& needs, const std::vector<int>& rates) {
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < needs.size(); ++i)
            sum += needs[i].bytes.value_or(
                streamBytes(Format::Dvd, rates[i] + 192, needs[i].runningMs));
        return sum;
    };
    struct Case {
        const char* name;
        std::vector<Need> needs;
        std::vector<int> rates; // none: nothing fits
    };
    const Case cases[] = {
        {"all hard: even, as before",
         {{3 * kMinute, 20'000, {}}, {3 * kMinute, 0, {}}, {3 * kMinute, 30'000, {}}},
         {4'000, 4'000, 4'000}},
        {"a still one gets its need, the others what it leaves",
         {{3 * kMinute, 400, {}}, {3 * kMinute, 20'000, {}}, {3 * kMinute, 30'000, {}}},
         {400, 5'800, 5'800}},
        {"never above the peak",
         {{3 * kMinute, 100, {}}, {3 * kMinute, 100, {}}, {3 * kMinute, 50'000, {}}},
         {100, 100, 9'685}},
        {"an encoded stream's own bytes count",
         {{3 * kMinute, 0, streamBytes(Format::Dvd, 1'000 + 192, 3 * kMinute)},
          {3 * kMinute, 20'000, {}},
          {3 * kMinute, 20'000, {}}},
         {0, 5'500, 5'500}},
        {"nothing fits above the floor", {{3 * kMinute, 0, usable}, {3 * kMinute, 20'000, {}}}, {}},
    };
    for (const Case& c : cases) {
        const auto rates = shareByNeed(Format::Dvd, usable, 192, c.needs);
        ASSERT_EQ(rates.has_value(), !c.rates.empty()) << c.name;
        if (!rates)
            continue;
        EXPECT_LE(used(c.needs, *rates), usable) << c.name;
        for (std::size_t i = 0; i < c.rates.size(); ++i)
            EXPECT_NEAR((*rates)[i], c.rates[i], 10) << c.name << ", input " << i;
    }
}

} // namespace
} // namespace quorvel::disc
