#include "source/rate.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

struct RateCase {
    const char* name;
    std::int32_t rate;
    std::int32_t scale;
    RateClass expected;
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << c.name;
}

class ClassifyRate : public testing::TestWithParam<RateCase> {};

TEST_P(ClassifyRate, PutsEachRateInItsClass) {
    const auto& c = GetParam();
    const auto fps = frameRate(c.rate, c.scale);
    ASSERT_TRUE(fps.has_value());
    EXPECT_EQ(classifyRate(*fps), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ClassifyRate,
    testing::Values(RateCase{"25 fps", 25, 1, RateClass::Pal},
                    RateCase{"24000/1001 film", 24000, 1001, RateClass::NtscFilm},
                    RateCase{"24 fps", 24, 1, RateClass::NtscFilm},
                    RateCase{"30000/1001 video", 30000, 1001, RateClass::NtscVideo},
                    RateCase{"29.97", 2997, 100, RateClass::NtscVideo},
                    RateCase{"30 fps", 30, 1, RateClass::NtscVideo},
                    RateCase{"15 fps", 15, 1, RateClass::NtscVideo},
                    RateCase{"50 fps", 50, 1, RateClass::NtscVideo},
                    RateCase{"60 fps", 60, 1, RateClass::NtscVideo},
                    RateCase{"0/1", 0, 1, RateClass::NtscVideo},
                    RateCase{"23.77 just inside film", 2377, 100, RateClass::NtscFilm},
                    RateCase{"23.76 just outside film", 2376, 100, RateClass::NtscVideo},
                    RateCase{"24.17 just outside film", 2417, 100, RateClass::NtscVideo},
                    RateCase{"24.5 between the windows", 245, 10, RateClass::NtscVideo},
                    RateCase{"24.8 just inside PAL", 248, 10, RateClass::Pal},
                    RateCase{"25.2 just inside PAL", 252, 10, RateClass::Pal},
                    RateCase{"25.21 just outside PAL", 2521, 100, RateClass::NtscVideo},
                    RateCase{"1000000/40000 from microseconds", 1000000, 40000, RateClass::Pal},
                    RateCase{"negative rate", -25, 1, RateClass::NtscVideo},
                    RateCase{"both negative", -25, -1, RateClass::Pal}),
    [](const auto& p) { return testrows::rowName(p.param.name); });

TEST(FrameRate, FailsExactlyWhenTheDivisorIsZero) {
    EXPECT_FALSE(frameRate(25, 0).has_value());
    EXPECT_FALSE(frameRate(0, 0).has_value());
    EXPECT_EQ(frameRate(0, 1), 0.0);
    EXPECT_EQ(frameRate(INT32_MIN, -1), 2147483648.0);
}

} // namespace
} // namespace quorvel
