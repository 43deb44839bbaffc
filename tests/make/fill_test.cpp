#include "make/fill.h"

#include <gtest/gtest.h>

namespace quorvel::make {
namespace {

disc::PlanSource clip(std::uint64_t ms) {
    disc::PlanSource s;
    s.name = "clip.mp4";
    s.file = true;
    s.widthText = "720";
    s.heightText = "576";
    s.timing.rate = {25, 1};
    s.timing.scan = media::Scan::Progressive;
    s.durationMs = ms;
    s.rate = disc::Fraction{25, 1};
    s.rateClass = RateClass::Pal;
    return s;
}

TEST(DiscFill, PercentRateAndDiscsInWords) {
    using K = disc::DiscChoice::Kind;
    constexpr std::uint64_t kHour = 3'600'000;
    struct Case {
        disc::Format format;
        K disc;
        std::vector<std::uint64_t> ms;
        int discs, lowPercent, highPercent;
        const char* text;
    } const cases[] = {
        // Filled to the brim at the rate the budget found.
        {disc::Format::Dvd, K::Dvd5, {kHour, kHour}, 1, 99, 100, "% of a DVD-5, video 4,"},
        // A minute at the 9,800 kbit/s cap leaves most of the disc free.
        {disc::Format::Dvd, K::Dvd5, {60'000}, 1, 2, 2, "2% of a DVD-5, video 9,"},
        {disc::Format::Dvd, K::Dvd9, {60'000}, 1, 1, 1, "1% of a DVD-9"},
        // 20 hours at the 1,200 kbit/s floor: three DVD-5s' worth, but each
        // 10-hour input goes in two halves, so four discs.
        {disc::Format::Dvd, K::Dvd5, {10 * kHour, 10 * kHour}, 4, 201, 300, "needs 4 discs"},
        // VCD's one rate: 40 minutes of an 80-minute CD, 100 minutes over it.
        {disc::Format::Vcd, K::Cd80, {40 * 60'000}, 1, 50, 52, "% of a CD 80 min, video 1,150"},
        {disc::Format::Vcd, K::Cd80, {100 * 60'000}, 2, 101, 200, "needs 2 discs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        disc::PlanRequest q;
        q.formats = {c.format};
        q.disc = disc::DiscChoice{c.disc};
        std::vector<disc::PlanSource> sources;
        for (std::uint64_t ms : c.ms)
            sources.push_back(clip(ms));
        const DiscFill fill = discFill(disc::makePlan(q, sources));
        EXPECT_TRUE(fill.planned);
        EXPECT_EQ(fill.discsNeeded, c.discs);
        EXPECT_EQ(fill.fits(), c.discs == 1);
        EXPECT_GE(fill.percent, c.lowPercent);
        EXPECT_LE(fill.percent, c.highPercent);
        EXPECT_NE(fill.text.find(c.text), std::string::npos) << fill.text;
    }
}

TEST(DiscFill, NoRunningTimeOrNoDisc) {
    disc::PlanRequest q;
    q.disc = disc::DiscChoice{};
    disc::PlanSource unknown = clip(0);
    unknown.durationMs.reset();
    const DiscFill none = discFill(disc::makePlan(q, std::vector{unknown}));
    EXPECT_FALSE(none.planned);
    EXPECT_FALSE(none.fits());
    EXPECT_EQ(none.text, "0% of a DVD-5");
    // A VCD on a DVD: the budget's refusal is the text.
    q.formats = {disc::Format::Vcd};
    const DiscFill refused = discFill(disc::makePlan(q, std::vector{clip(60'000)}));
    EXPECT_FALSE(refused.planned);
    EXPECT_FALSE(refused.text.empty());
}

} // namespace
} // namespace quorvel::make
