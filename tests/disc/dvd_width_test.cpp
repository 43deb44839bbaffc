// --dvd-width: the DVD frame 704 or 352 wide keeps the picture's shape.
#include "disc/targets.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>

namespace quorvel::disc {
namespace {

struct WidthRow {
    const char* name;
    const char* size; // the source, square pixels
    bool pal;
    PixelShape par;
    int dvdWidth;
    FrameSize tv;
    FrameSize movie;
    Fraction pixel;
    DisplayAspect aspect;
};

class DvdWidth : public testing::TestWithParam<WidthRow> {};

TEST_P(DvdWidth, MakesTheFrameThatWideAndKeepsTheShape) {
    const WidthRow& row = GetParam();
    const std::string_view size = row.size;
    const auto x = size.find('x');
    const TargetResult t = computeTarget(size.substr(0, x), size.substr(x + 1), Format::Dvd,
                                         row.pal ? Standard::Pal : Standard::Ntsc,
                                         Shape{row.par, std::nullopt, 0, row.dvdWidth});
    ASSERT_TRUE(t.ok());
    EXPECT_EQ(t.sizes.tv, row.tv);
    EXPECT_EQ(t.sizes.movie, row.movie);
    EXPECT_EQ(t.sizes.pixelAspect, row.pixel);
    EXPECT_EQ(t.sizes.aspect, row.aspect);
}

// A 4:3 source fills each frame, its pixel widening as the frame narrows; a
// 16:9 source on the half frame, which is 4:3 only, gets borders: 480 x
// (4/3) / (16/9) = 360 lines.
INSTANTIATE_TEST_SUITE_P(Rows, DvdWidth,
                         testing::Values(WidthRow{"pal 720 plain",
                                                  "640x480",
                                                  true,
                                                  PixelShape::Plain,
                                                  720,
                                                  {720, 576},
                                                  {720, 576},
                                                  {16, 15},
                                                  DisplayAspect::Standard},
                                         WidthRow{"pal 704 plain",
                                                  "640x480",
                                                  true,
                                                  PixelShape::Plain,
                                                  704,
                                                  {704, 576},
                                                  {704, 576},
                                                  {12, 11},
                                                  DisplayAspect::Standard},
                                         WidthRow{"pal 352 plain",
                                                  "640x480",
                                                  true,
                                                  PixelShape::Plain,
                                                  352,
                                                  {352, 576},
                                                  {352, 576},
                                                  {24, 11},
                                                  DisplayAspect::Standard},
                                         WidthRow{"ntsc 704 itu wide",
                                                  "1280x720",
                                                  false,
                                                  PixelShape::Itu,
                                                  704,
                                                  {704, 480},
                                                  {704, 480},
                                                  {40, 33},
                                                  DisplayAspect::Wide},
                                         WidthRow{"ntsc 352 wide source is 4:3 with borders",
                                                  "1280x720",
                                                  false,
                                                  PixelShape::Plain,
                                                  352,
                                                  {352, 480},
                                                  {352, 360},
                                                  {20, 11},
                                                  DisplayAspect::Standard}),
                         testrows::NamedRow{});

} // namespace
} // namespace quorvel::disc
