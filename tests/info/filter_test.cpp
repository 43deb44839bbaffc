#include "info/json.h"
#include "info/report.h"
#include "info/run.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

namespace quorvel::info {
namespace {

// The sizes and pixel shape an emitted filter asks for.
struct Emitted {
    long long width = 0, height = 0, padWidth = 0, padHeight = 0, sarNum = 0, sarDen = 0;
};

Emitted readFilter(const std::string& filter) {
    Emitted e;
    EXPECT_EQ(std::sscanf(filter.c_str(), "scale=%lld:%lld,pad=%lld:%lld", &e.width, &e.height,
                          &e.padWidth, &e.padHeight),
              4)
        << filter;
    const auto sar = filter.find(",setsar=");
    EXPECT_NE(sar, std::string::npos) << filter;
    std::sscanf(filter.c_str() + sar, ",setsar=%lld/%lld", &e.sarNum, &e.sarDen);
    return e;
}

InputItem typed(const std::string& text) {
    const auto x = text.find('x');
    return {InputItem::Size, text, text.substr(0, x), text.substr(x + 1)};
}

struct DarCase {
    const char* name;
    PixelShape par;
    std::optional<DisplayAspect> aspect;
    long long darNum, darDen; // 0: 4:3 or 16:9, as the target says
};

void PrintTo(const DarCase& c, std::ostream* os) {
    *os << c.name;
}

class FfmpegFilterFrame : public testing::TestWithParam<DarCase> {};

// A disc player shows the frame at a display aspect: 4:3, or 16:9 on DVD.
TEST_P(FfmpegFilterFrame, ShowsADiscAspectExactly) {
    const DarCase& c = GetParam();
    for (const StandardChoice standard : {StandardChoice::Pal, StandardChoice::Ntsc}) {
        for (const char* size : {"640x272", "720x576", "1920x1080", "352x288", "100x1000"}) {
            Options o;
            o.format = FormatChoice::All;
            o.standard = standard;
            o.par = c.par;
            o.aspect = c.aspect;
            o.ffmpeg = true;
            const Report r = readTypedSize(typed(size), o);
            ASSERT_EQ(r.targets.size(), 3u);
            for (const disc::TargetSizes& t : r.targets) {
                const auto filter = disc::pictureFilter(t);
                ASSERT_TRUE(filter) << size;
                const Emitted e = readFilter(*filter);
                const bool wide =
                    c.darNum == 0 ? t.aspect == DisplayAspect::Wide : c.darNum * 3 != c.darDen * 4;
                // VCD and SVCD are 4:3 whatever was asked.
                const bool shownWide = wide && t.format == disc::Format::Dvd;
                const long long darNum = shownWide ? 16 : 4, darDen = shownWide ? 9 : 3;
                EXPECT_EQ(e.padWidth * e.sarNum * darDen, e.padHeight * e.sarDen * darNum)
                    << *filter << " for " << size;
                EXPECT_EQ(t.aspect, shownWide ? DisplayAspect::Wide : DisplayAspect::Standard);
                // One size per target: the filter is the target's own.
                EXPECT_EQ((FrameSize{int(e.width), int(e.height)}), t.movie) << *filter;
                EXPECT_EQ(t.pixelAspect, (Fraction{e.sarNum, e.sarDen}));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FfmpegFilterFrame,
    testing::Values(DarCase{"default", PixelShape::Plain, std::nullopt, 0, 0},
                    DarCase{"plain 4:3", PixelShape::Plain, DisplayAspect::Standard, 4, 3},
                    DarCase{"plain 16:9 on DVD", PixelShape::Plain, DisplayAspect::Wide, 16, 9}),
    testrows::NamedRow{});

// Whether `shown` (width over height) is what w x h of pixel `p` shows, but
// for the rounding of one of the two sides to a whole pixel.
bool showsWithinAPixel(Fraction shown, FrameSize m, Fraction p) {
    const long long sn = shown.num, sd = shown.den;
    // The width rounded: shown x H lies within (W +- 1/2) x p.
    const long long across = 2 * m.height * p.den * sn;
    const bool byWidth =
        (2 * m.width - 1) * p.num * sd <= across && across <= (2 * m.width + 1) * p.num * sd;
    // The height rounded: W x p / shown lies within H +- 1/2.
    const long long down = 2 * m.width * p.num * sd;
    const bool byHeight =
        (2 * m.height - 1) * p.den * sn <= down && down <= (2 * m.height + 1) * p.den * sn;
    return byWidth || byHeight;
}

struct SourceCase {
    const char* name;
    const char* size;
    std::optional<Fraction> sar, dar;
    Fraction shows; // the source's display aspect, worked by hand
};

void PrintTo(const SourceCase& c, std::ostream* os) {
    *os << c.name;
}

class DefaultFilter : public testing::TestWithParam<SourceCase> {};

// The default answer: whatever the source, format and standard, the disc shows
// the source's picture undistorted in a 4:3 or 16:9 frame.
TEST_P(DefaultFilter, ShowsTheSourceUndistortedWithinAPixel) {
    const SourceCase& c = GetParam();
    for (const StandardChoice standard : {StandardChoice::Pal, StandardChoice::Ntsc}) {
        Options o;
        o.format = FormatChoice::All;
        o.standard = standard;
        o.sar = c.sar;
        o.dar = c.dar;
        o.ffmpeg = true;
        const Report r = readTypedSize(typed(c.size), o);
        ASSERT_EQ(r.targets.size(), 3u) << r.error;
        for (const disc::TargetSizes& t : r.targets) {
            const auto filter = disc::pictureFilter(t);
            ASSERT_TRUE(filter);
            const Emitted e = readFilter(*filter);
            const Fraction frame = reduced({e.padWidth * e.sarNum, e.padHeight * e.sarDen});
            EXPECT_TRUE(frame == (Fraction{4, 3}) || frame == (Fraction{16, 9})) << *filter;
            EXPECT_TRUE(
                showsWithinAPixel(c.shows, {int(e.width), int(e.height)}, {e.sarNum, e.sarDen}))
                << *filter;
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sources, DefaultFilter, testing::Values(
    SourceCase{"HD 16:9", "1280x720", {}, {}, {16, 9}},
    SourceCase{"VGA 4:3", "640x480", {}, {}, {4, 3}},
    SourceCase{"scope 40:17", "640x272", {}, {}, {40, 17}},
    SourceCase{"portrait", "1080x1920", {}, {}, {9, 16}},
    SourceCase{"square", "500x500", {}, {}, {1, 1}},
    SourceCase{"a thin strip", "1000x37", {}, {}, {1000, 37}},
    SourceCase{"PAL DVD 16:9 by its pixel", "720x576", Fraction{64, 45}, {}, {16, 9}},
    SourceCase{"NTSC DVD 4:3 by its display", "720x480", {}, Fraction{4, 3}, {4, 3}},
    SourceCase{"odd pixel 12:11", "352x288", Fraction{12, 11}, {}, {4224, 3168}},
    SourceCase{"just under the middle", "154x100", {}, {}, {154, 100}},
    SourceCase{"just over the middle", "155x100", {}, {}, {155, 100}}),
    testrows::NamedRow{});
// clang-format on

TEST(FfmpegFilter, OneMovieSizePerTargetInTextJsonAndFilter) {
    Options o;
    o.ffmpeg = true;
    const Report r = readTypedSize(typed("640x272"), o);
    ASSERT_EQ(r.targets.size(), 1u);
    EXPECT_EQ(r.targets[0].movie, (FrameSize{720, 363}));
    EXPECT_EQ(r.targets[0].windowMovie, (FrameSize{720, 306}));
    EXPECT_EQ(disc::pictureFilter(r.targets[0]), "scale=720:363,pad=720:480:0:58,setsar=32/27");
    EXPECT_EQ(formatText(r, o), "size: 640x272\nwidth: 640\nheight: 272\n"
                                "DVD NTSC 16:9: TV 720x480, Movie 720x363, pixel 32:27\n"
                                "  window: Movie 720x306 (square pixels; the disc needs the line "
                                "above)\n"
                                "  ffmpeg: scale=720:363,pad=720:480:0:58,setsar=32/27\n");
    const Json t = Json::parse(formatJson(r, o))["targets"][0];
    EXPECT_EQ(t["movie"], (Json{{"width", 720}, {"height", 363}}));
    EXPECT_EQ(t["window_movie"], (Json{{"width", 720}, {"height", 306}}));
    EXPECT_EQ(t["ffmpeg"]["filter"], "scale=720:363,pad=720:480:0:58,setsar=32/27");
    EXPECT_EQ(t["ffmpeg_par"], "plain");
    o.par = PixelShape::Itu;
    EXPECT_EQ(
        Json::parse(formatJson(readTypedSize(typed("640x272"), o), o))["targets"][0]["ffmpeg_par"],
        "itu");
}

TEST(FfmpegFilter, WindowLeavesItOutAndSaysWhy) {
    Options o;
    o.ffmpeg = true;
    o.par = PixelShape::Square;
    const Report r = readTypedSize(typed("640x272"), o);
    ASSERT_EQ(r.targets.size(), 1u);
    EXPECT_FALSE(disc::pictureFilter(r.targets[0]));
    EXPECT_EQ(formatText(r, o),
              "size: 640x272\nwidth: 640\nheight: 272\n"
              "DVD NTSC: TV 720x480, Movie 720x306\n"
              "  ffmpeg: none (square pixels give a disc no display aspect: leave out --window)\n");
    const Json t = Json::parse(formatJson(r, o))["targets"][0];
    EXPECT_TRUE(t["ffmpeg"].is_null());
    EXPECT_TRUE(t["ffmpeg_par"].is_null());
    EXPECT_EQ(t["movie"], t["window_movie"]);
}

} // namespace
} // namespace quorvel::info
