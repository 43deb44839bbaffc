#include "source/media/rate_snap.h"
#include "tests/source/media/media_print.h"

#include <gtest/gtest.h>

#include <optional>

namespace quorvel::media {
namespace {

struct SnapCase {
    const char* name;
    Durations durations;
    std::optional<Fraction> rate;
};

class RateSnap : public testing::TestWithParam<SnapCase> {};

TEST_P(RateSnap, TakesRoundedStampsForTheirStandardRate) {
    EXPECT_EQ(snapRate(GetParam().durations), GetParam().rate);
}

// 30000/1001 at 57600 ticks a second is 1921.92 ticks a frame: 1921 and 1922.
constexpr std::uint64_t kNtscAt57600 = 1921 * 2 + 1922 * 23;

INSTANTIATE_TEST_SUITE_P(
    Media, RateSnap,
    testing::Values(
        SnapCase{"NtscIn57600", {25, kNtscAt57600, 1921, 1922, 57600}, Fraction{30000, 1001}},
        SnapCase{"FilmIn1000", {24, 7 * 41 + 17 * 42, 41, 42, 1000}, Fraction{24000, 1001}},
        SnapCase{"FilmInNanoseconds",
                 {1, 41'708'333, 41'708'333, 41'708'333, 1'000'000'000},
                 Fraction{24000, 1001}},
        SnapCase{"ConstantRoundedDelta", {10, 37540, 3754, 3754, 90000}, Fraction{24000, 1001}},
        SnapCase{"ExactRateStays", {3, 3003, 1001, 1001, 30000}, Fraction{30000, 1001}},
        SnapCase{"WholeRates", {4, 4 * 512, 512, 512, 12800}, Fraction{25, 1}},
        // 24 lies just 0.1% above 24000/1001: the nearest is taken.
        SnapCase{"ExactTwentyFourIsNotFilm", {3, 1536, 512, 512, 12288}, Fraction{24, 1}},
        SnapCase{"SixtyNtsc", {2, 3003, 1501, 1502, 90000}, Fraction{60000, 1001}},
        // One of four frames 1.5 ticks past the mean: two lengths really.
        SnapCase{"SpreadWiderThanATick", {4, 3 * 1921 + 1923, 1921, 1923, 57600}, std::nullopt},
        SnapCase{
            "SpreadWithinATick", {4, 3 * 1921 + 1922, 1921, 1922, 57600}, Fraction{30000, 1001}},
        SnapCase{"TrulyVariable", {4, 40 + 80 + 40 + 40, 40, 80, 1000}, std::nullopt},
        // 0.2% off 25, 0.15% off 24000/1001 (24/1.0015): as stored.
        SnapCase{"MeanTooFarFromStandard", {1, 9980, 9980, 9980, 250000}, std::nullopt},
        SnapCase{"JustInsideTolerance", {1, 39961, 39961, 39961, 1'000'000}, Fraction{25, 1}},
        SnapCase{"OtherRate", {1, 1000, 1000, 1000, 15000}, std::nullopt},
        SnapCase{"NoSamples", {0, 0, 0, 0, 1000}, std::nullopt},
        SnapCase{"NoTicks", {3, 0, 0, 0, 1000}, std::nullopt},
        SnapCase{"NoTimeBase", {3, 120, 40, 40, 0}, std::nullopt},
        SnapCase{"ProductOverflows", {UINT64_MAX, UINT64_MAX, 1, 1, 25}, std::nullopt},
        SnapCase{"ShortestAboveLongest", {2, 80, 41, 39, 1000}, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace quorvel::media
