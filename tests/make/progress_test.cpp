#include "make/progress.h"

#include <gtest/gtest.h>

namespace quorvel::make {
namespace {

TEST(FfmpegProgress, ReadsBlocksInAnyPieces) {
    const std::string report = "frame=10\nout_time_us=N/A\nprogress=continue\n"
                               "out_time_us=1234567\r\nout_time_ms=999999999\nprogress=continue\n"
                               "out_time_us=3000000\nprogress=end\n";
    // One byte at a time, every block is seen; whole, the last one counts.
    FfmpegProgress p;
    std::vector<std::uint64_t> times;
    for (const char c : report)
        if (p.feed(std::string_view(&c, 1)))
            times.push_back(p.doneMs());
    EXPECT_EQ(times, (std::vector<std::uint64_t>{0, 1234, 3000}));
    EXPECT_TRUE(p.ended());
    FfmpegProgress whole;
    EXPECT_TRUE(whole.feed(report));
    EXPECT_EQ(whole.doneMs(), 3000u);
}

TEST(FfmpegProgress, DropsAnOverlongLine) {
    FfmpegProgress p;
    p.feed("out_time_us=5000000\n");
    EXPECT_FALSE(p.feed("out_time_us=" + std::string(300, '1') + "\n"));
    EXPECT_EQ(p.doneMs(), 5000u);
}

TEST(Progress, TotalsWeighByRunningTime) {
    const JobProgress jobs[] = {{0, 30'000, true}, {5'000, 10'000, false}, {0, 60'000, false}};
    const Totals t = totals(jobs, 35'000);
    EXPECT_EQ(t.percent, 35); // 35 of 100 s
    EXPECT_EQ(t.remainingMs, 65'000u);
    EXPECT_EQ(percentOf(jobs[1]), 50);
    EXPECT_EQ(percentOf({20'000, 10'000, false}), 100); // past the plan: capped
    EXPECT_FALSE(totals(std::span<const JobProgress>(jobs, 0), 1000).remainingMs);
    EXPECT_EQ(clockText(3'723'000), "1:02:03");
    EXPECT_EQ(clockText(59'999), "0:59");
}

// Every front words the engine's steps alike; the menu was once "reading it back".
TEST(Progress, StepsInWords) {
    const std::pair<const char*, const char*> steps[] = {{"menu", "making the menu"},
                                                         {"author", "authoring"},
                                                         {"image", "writing the image"},
                                                         {"check", "reading it back"}};
    for (const auto& [step, words] : steps)
        EXPECT_EQ(stepText(step), words);
    EXPECT_EQ(fitText("101.2", false), "the streams fill 101.2% of the disc: too much");
}

} // namespace
} // namespace quorvel::make
