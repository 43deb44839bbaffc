#include "info/report.h"
#include "info/run.h"
#include "tests/info/row_name.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quorvel::info {
namespace {

// The frame and pixel shape an emitted filter asks for.
struct Emitted {
    long long padWidth = 0, padHeight = 0, sarNum = 0, sarDen = 0;
};

Emitted readFilter(const std::string& filter) {
    Emitted e;
    const auto pad = filter.find(",pad=");
    const auto sar = filter.find(",setsar=");
    EXPECT_NE(pad, std::string::npos) << filter;
    EXPECT_NE(sar, std::string::npos) << filter;
    std::sscanf(filter.c_str() + pad, ",pad=%lld:%lld", &e.padWidth, &e.padHeight);
    std::sscanf(filter.c_str() + sar, ",setsar=%lld/%lld", &e.sarNum, &e.sarDen);
    return e;
}

struct DarCase {
    const char* name;
    PixelShape par; // Square: no --par given
    std::optional<DisplayAspect> aspect;
    long long darNum, darDen;
};

void PrintTo(const DarCase& c, std::ostream* os) {
    *os << c.name;
}

class FfmpegFilterFrame : public testing::TestWithParam<DarCase> {};

// A disc player shows the frame at a display aspect: 4:3, or 16:9 on DVD.
TEST_P(FfmpegFilterFrame, ShowsADiscAspectExactly) {
    const DarCase& c = GetParam();
    const bool wide = c.aspect == DisplayAspect::Wide;
    for (const FormatChoice format : {FormatChoice::Vcd, FormatChoice::Svcd, FormatChoice::Dvd}) {
        if (wide && format != FormatChoice::Dvd)
            continue;
        for (const StandardChoice standard : {StandardChoice::Pal, StandardChoice::Ntsc}) {
            for (const char* size : {"640x272", "720x576", "1920x1080", "352x288", "100x1000"}) {
                const std::string text(size);
                const auto x = text.find('x');
                Options o;
                o.format = format;
                o.standard = standard;
                o.par = c.par;
                o.aspect = c.aspect;
                o.ffmpeg = true;
                const Report r = readTypedSize(
                    {InputItem::Size, text, text.substr(0, x), text.substr(x + 1)}, o);
                ASSERT_EQ(r.targets.size(), 1u);
                const auto filter = ffmpegFilter(r.targets[0]);
                ASSERT_TRUE(filter) << size;
                const Emitted e = readFilter(*filter);
                EXPECT_EQ(e.padWidth * e.sarNum * c.darDen, e.padHeight * e.sarDen * c.darNum)
                    << *filter << " for " << size;
                // The window's square-pixel sizes stay in the target itself.
                EXPECT_EQ(r.targets[0].filter.has_value(), c.par == PixelShape::Square);
                EXPECT_EQ(r.targets[0].pixelAspect,
                          (c.par == PixelShape::Square ? Ratio{1, 1} : Ratio{e.sarNum, e.sarDen}));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FfmpegFilterFrame,
    testing::Values(DarCase{"default", PixelShape::Square, std::nullopt, 4, 3},
                    DarCase{"plain", PixelShape::Plain, std::nullopt, 4, 3},
                    DarCase{"plain 4:3", PixelShape::Plain, DisplayAspect::Standard, 4, 3},
                    DarCase{"plain 16:9", PixelShape::Plain, DisplayAspect::Wide, 16, 9}),
    NamedRow{});

TEST(FfmpegFilterFrame, DefaultNamesThePlainShapeAndKeepsTheWindowSizes) {
    Options o;
    o.ffmpeg = true;
    const Report r = readTypedSize({InputItem::Size, "640x272", "640", "272"}, o);
    ASSERT_EQ(r.targets.size(), 1u);
    EXPECT_EQ(r.targets[0].movie, (FrameSize{720, 306}));
    EXPECT_EQ(ffmpegFilter(r.targets[0]), "scale=720:272,pad=720:480:0:104,setsar=8/9");
    EXPECT_NE(formatText(r, o).find("DVD NTSC: TV 720x480, Movie 720x306\n"
                                    "  ffmpeg: scale=720:272,pad=720:480:0:104,setsar=8/9\n"
                                    "  filter uses --par plain; sizes above are the window's\n"),
              std::string::npos)
        << formatText(r, o);
    const std::string json = formatJson(r, o);
    EXPECT_NE(json.find("\"movie\":{\"width\":720,\"height\":306}"), std::string::npos) << json;
    EXPECT_NE(json.find("\"ffmpeg_par\":\"plain\""), std::string::npos) << json;
    o.par = PixelShape::Itu;
    EXPECT_NE(formatJson(readTypedSize({InputItem::Size, "640x272", "640", "272"}, o), o)
                  .find("\"ffmpeg_par\":\"itu\""),
              std::string::npos);
}

} // namespace
} // namespace quorvel::info
