#include "source/source_view.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

struct ViewCase {
    const char* name;
    std::uint32_t width, height, rate, scale;
    std::int32_t shownWidth, shownHeight;
    std::optional<RateClass> rateClass;
    std::int16_t fpsCode;
};

void PrintTo(const ViewCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceViewOfRecord : public testing::TestWithParam<ViewCase> {};

TEST_P(SourceViewOfRecord, ReadsAsTheWindowDoes) {
    const ViewCase& c = GetParam();
    avifile::AVIFILEINFO record{};
    record.dwWidth = c.width;
    record.dwHeight = c.height;
    record.dwRate = c.rate;
    record.dwScale = c.scale;
    const SourceView v = sourceView(record);
    EXPECT_EQ(v.width, c.shownWidth);
    EXPECT_EQ(v.height, c.shownHeight);
    ASSERT_TRUE(v.rate);
    EXPECT_EQ(v.rate->num, static_cast<std::int32_t>(c.rate));
    EXPECT_EQ(v.rate->den, static_cast<std::int32_t>(c.scale));
    EXPECT_EQ(v.rateClass, c.rateClass);
    EXPECT_EQ(v.fps.has_value(), c.rateClass.has_value());
    EXPECT_EQ(v.fpsCode, c.fpsCode);
    EXPECT_EQ(v.format, kFormatDvd);
}

INSTANTIATE_TEST_SUITE_P(
    Records, SourceViewOfRecord,
    testing::Values(
        ViewCase{"film", 640, 272, 24000, 1001, 640, 272, RateClass::NtscFilm, kFpsNtscFilm},
        ViewCase{"pal", 720, 576, 25, 1, 720, 576, RateClass::Pal, kFpsPal},
        ViewCase{"video", 640, 480, 30000, 1001, 640, 480, RateClass::NtscVideo, kFpsNtscVideo},
        // 0.2 from the reference is outside the window: video, not film.
        ViewCase{"just outside film", 320, 240, 2417, 100, 320, 240, RateClass::NtscVideo,
                 kFpsNtscVideo},
        ViewCase{"sides read signed", 0xFFFFFFFF, 0x80000000, 25, 1, -1, INT32_MIN, RateClass::Pal,
                 kFpsPal},
        // A scale above 2^31 is negative: -25 fps is video.
        ViewCase{"scale read signed", 640, 480, 25, 0xFFFFFFFF, 640, 480, RateClass::NtscVideo,
                 kFpsNtscVideo},
        ViewCase{"divisor 0", 640, 480, 25, 0, 640, 480, std::nullopt, 0}),
    [](const auto& p) { return testrows::rowName(p.param.name); });

TEST(SourceViewOfVideo, WithoutARateHasNoClass) {
    media::VideoInfo video;
    video.width = 1920;
    video.height = 1080;
    const SourceView v = sourceView(video);
    EXPECT_EQ(v.width, 1920);
    EXPECT_FALSE(v.rate);
    EXPECT_FALSE(v.fps);
    EXPECT_FALSE(v.rateClass);
    EXPECT_EQ(v.fpsCode, 0);
    video.rate = media::Fraction{25, 1};
    EXPECT_EQ(sourceView(video).rateClass, RateClass::Pal);
}

} // namespace
} // namespace quorvel
