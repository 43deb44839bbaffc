#include "disc/targets.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace quorvel::disc {
namespace {

constexpr Shape kSquare{};
constexpr Shape kPlain{PixelShape::Plain, DisplayAspect::Standard, 0};
constexpr Shape kPlainWide{PixelShape::Plain, DisplayAspect::Wide, 0};
constexpr Shape kItu{PixelShape::Itu, DisplayAspect::Standard, 0};
constexpr Shape kItuWide{PixelShape::Itu, DisplayAspect::Wide, 0};
constexpr Shape mod(int n, Shape s = {}) {
    s.mod = n;
    return s;
}
constexpr double kNone = NAN;

struct SizeCase {
    const char* name;
    const char* width;
    const char* height;
    Format format;
    Standard standard;
    Shape shape;
    FrameSize movie;
    Fraction pixel;
    double aspectError; // kNone when there is none
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.name;
}

class TargetSizesFor : public testing::TestWithParam<SizeCase> {};

TEST_P(TargetSizesFor, MatchHandWorkedValues) {
    const SizeCase& c = GetParam();
    const TargetResult r = computeTarget(c.width, c.height, c.format, c.standard, c.shape);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.sizes.tv, discFrame(c.format, c.standard));
    EXPECT_EQ(r.sizes.movie, c.movie) << r.sizes.movie.width << "x" << r.sizes.movie.height;
    EXPECT_EQ(r.sizes.pixelAspect, c.pixel);
    if (std::isnan(c.aspectError))
        EXPECT_FALSE(r.sizes.aspectError.has_value());
    else
        EXPECT_NEAR(r.sizes.aspectError.value_or(kNone), c.aspectError, 1e-12);
}

// Worked by hand: a disc pixel of shape p turns the source ratio s into a
// ratio of pixel counts s / p, and the Movie fills the picture width or the
// height. plain: p = aspect x TVheight / TVwidth; itu: BT.601, the picture in
// the central 704 samples (VCD 352, SVCD 1408/3).
// clang-format off
INSTANTIATE_TEST_SUITE_P(Worked, TargetSizesFor, testing::Values(
    SizeCase{"window 640x272 NTSC DVD", "640", "272", Format::Dvd, Standard::Ntsc, kSquare, {720, 306}, {1, 1}, kNone},
    SizeCase{"window negative width", "-640", "480", Format::Dvd, Standard::Ntsc, kSquare, {-640, 480}, {1, 1}, kNone},
    SizeCase{"window keeps its 62.5 as 63", "25", "96", Format::Vcd, Standard::Ntsc, kSquare, {63, 240}, {1, 1}, kNone},
    SizeCase{"plain 640x272: 720x272", "640", "272", Format::Dvd, Standard::Ntsc, kPlain, {720, 272}, {8, 9}, kNone},
    SizeCase{"plain 4:3 fills NTSC", "640", "480", Format::Dvd, Standard::Ntsc, kPlain, {720, 480}, {8, 9}, kNone},
    SizeCase{"plain 4:3 fills PAL", "640", "480", Format::Dvd, Standard::Pal, kPlain, {720, 576}, {16, 15}, kNone},
    SizeCase{"plain 16:9 in PAL 4:3", "1280", "720", Format::Dvd, Standard::Pal, kPlain, {720, 432}, {16, 15}, kNone},
    SizeCase{"plain 16:9 fills NTSC 16:9", "1280", "720", Format::Dvd, Standard::Ntsc, kPlainWide, {720, 480}, {32, 27}, kNone},
    SizeCase{"plain 640x272 NTSC 16:9", "640", "272", Format::Dvd, Standard::Ntsc, kPlainWide, {720, 363}, {32, 27}, kNone},
    SizeCase{"plain 4:3 in PAL 16:9", "640", "480", Format::Dvd, Standard::Pal, kPlainWide, {540, 576}, {64, 45}, kNone},
    SizeCase{"plain 4:3 fills PAL SVCD", "640", "480", Format::Svcd, Standard::Pal, kPlain, {480, 576}, {8, 5}, kNone},
    SizeCase{"plain NTSC VCD", "640", "272", Format::Vcd, Standard::Ntsc, kPlain, {352, 136}, {10, 11}, kNone},
    SizeCase{"plain negative height", "640", "-480", Format::Dvd, Standard::Ntsc, kPlain, {-720, 480}, {8, 9}, kNone},
    SizeCase{"itu 640x272 NTSC", "640", "272", Format::Dvd, Standard::Ntsc, kItu, {704, 272}, {10, 11}, kNone},
    SizeCase{"itu 4:3 fills 704 NTSC", "640", "480", Format::Dvd, Standard::Ntsc, kItu, {704, 480}, {10, 11}, kNone},
    SizeCase{"itu 16:9 fills 704 PAL", "1280", "720", Format::Dvd, Standard::Pal, kItuWide, {704, 576}, {16, 11}, kNone},
    SizeCase{"itu 16:9 fills 704 NTSC", "1280", "720", Format::Dvd, Standard::Ntsc, kItuWide, {704, 480}, {40, 33}, kNone},
    SizeCase{"itu 640x272 NTSC 16:9", "640", "272", Format::Dvd, Standard::Ntsc, kItuWide, {704, 363}, {40, 33}, kNone},
    SizeCase{"itu 4:3 fills PAL VCD", "640", "480", Format::Vcd, Standard::Pal, kItu, {352, 288}, {12, 11}, kNone},
    SizeCase{"itu NTSC SVCD: 469 of 480", "640", "480", Format::Svcd, Standard::Ntsc, kItu, {469, 480}, {15, 11}, kNone},
    SizeCase{"itu 16:9 in PAL SVCD", "1280", "720", Format::Svcd, Standard::Pal, kItu, {469, 432}, {18, 11}, kNone},
    SizeCase{"itu narrow keeps the height", "480", "640", Format::Dvd, Standard::Ntsc, kItu, {396, 480}, {10, 11}, kNone},
    // 720x304 shows 720/304 for 640/272.
    SizeCase{"mod 16", "640", "272", Format::Dvd, Standard::Ntsc, mod(16), {720, 304}, {1, 1}, 195840.0 / 194560 - 1},
    SizeCase{"mod 32: 22.5 to even", "640", "272", Format::Dvd, Standard::Ntsc, mod(32), {704, 320}, {1, 1}, 191488.0 / 204800 - 1},
    SizeCase{"mod 1 rounds 62.5 to even", "25", "96", Format::Vcd, Standard::Ntsc, mod(1), {62, 240}, {1, 1}, 62.0 * 96 / (240 * 25) - 1},
    SizeCase{"mod past the picture steps down", "640", "480", Format::Svcd, Standard::Ntsc, mod(32, kItu), {448, 480}, {15, 11}, 448.0 * 15 * 3 / (480 * 11 * 4) - 1},
    SizeCase{"a thin picture keeps one multiple", "640", "4", Format::Dvd, Standard::Ntsc, mod(16), {720, 16}, {1, 1}, 720.0 * 4 / (16 * 640) - 1},
    SizeCase{"itu 16:9 mod 16", "640", "272", Format::Dvd, Standard::Ntsc, mod(16, kItuWide), {704, 368}, {40, 33}, 7659520.0 / 7772160 - 1},
    SizeCase{"plain exact side, no error", "640", "272", Format::Dvd, Standard::Ntsc, mod(16, kPlain), {720, 272}, {8, 9}, 0.0},
    SizeCase{"no picture, no error", "0", "480", Format::Dvd, Standard::Ntsc, mod(16), {0, 480}, {1, 1}, kNone}),
    testrows::NamedRow{});
// clang-format on

struct ShownCase {
    const char* name;
    const char* width;
    const char* height;
    bool pal;
    Shape shape;
    SourceShape source;
    FrameSize movie;
};

void PrintTo(const ShownCase& c, std::ostream* os) {
    *os << c.name;
}

class TargetForShownSource : public testing::TestWithParam<ShownCase> {};

TEST_P(TargetForShownSource, FitsThePictureNotThePixelCounts) {
    const ShownCase& c = GetParam();
    const TargetResult r = computeTarget(c.width, c.height, Format::Dvd,
                                         c.pal ? Standard::Pal : Standard::Ntsc, c.shape, c.source);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.sizes.movie, c.movie) << r.sizes.movie.width << "x" << r.sizes.movie.height;
}

constexpr SourceShape kPalWide{{64, 45}, 0}; // a 16:9 PAL DVD's pixel
constexpr SourceShape kTurned{{1, 1}, 90};

// Worked by hand: 720x576 at 64:45 shows 16:9; with the NTSC pixel 8:9 that is
// 2 pixels across for one down, so 720x360 (not 675x480, which is 5:4). A
// quarter-turned 1920x1080 shows 9:16: 9/16 / (8/9) x 480 = 303.75.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Worked, TargetForShownSource, testing::Values(
    ShownCase{"16:9 PAL rip, plain 4:3: letterboxed", "720", "576", false, kPlain, kPalWide, {720, 360}},
    ShownCase{"16:9 PAL rip, plain 16:9: full frame", "720", "576", false, kPlainWide, kPalWide, {720, 480}},
    ShownCase{"16:9 PAL rip, itu 4:3", "720", "576", false, kItu, kPalWide, {704, 360}},
    ShownCase{"16:9 PAL rip, itu 16:9", "720", "576", false, kItuWide, kPalWide, {704, 480}},
    ShownCase{"16:9 PAL rip to PAL, plain 16:9", "720", "576", true, kPlainWide, kPalWide, {720, 576}},
    ShownCase{"unflagged 720x576 shows 5:4", "720", "576", false, kPlain, {}, {675, 480}},
    ShownCase{"turned phone clip, plain", "1920", "1080", false, kPlain, kTurned, {304, 480}},
    ShownCase{"turned phone clip, itu", "1920", "1080", false, kItu, kTurned, {297, 480}},
    ShownCase{"turned phone clip, plain PAL", "1920", "1080", true, kPlain, kTurned, {304, 576}},
    ShownCase{"turned and shaped", "720", "576", false, kPlain, {{64, 45}, 90}, {304, 480}},
    ShownCase{"square pixels count pixels", "720", "576", false, kSquare, kPalWide, {600, 480}},
    ShownCase{"square with mod counts pixels", "1920", "1080", false, mod(16), kTurned, {720, 400}},
    ShownCase{"turned, no width: no picture", "0", "480", false, kPlain, kTurned, {720, 0}}),
    testrows::NamedRow{});
// clang-format on

struct TurnCase {
    const char* name;
    int rotation;
    ShownSides shown;
};

void PrintTo(const TurnCase& c, std::ostream* os) {
    *os << c.rotation << " degrees";
}

class TurnedSource : public testing::TestWithParam<TurnCase> {};

// A 1920x1080 source with 4:3 pixels shows 2560x1080; a quarter either way
// stands it on end, a half turn does not.
TEST_P(TurnedSource, SwapsTheShownSidesForAQuarterTurnEitherWay) {
    const TurnCase& c = GetParam();
    const SourceShape source{{4, 3}, c.rotation};
    const ShownSides s = shownSides(1920, 1080, source);
    EXPECT_EQ(reduced(s.width), reduced(c.shown.width));
    EXPECT_EQ(reduced(s.height), reduced(c.shown.height));
    const Fraction ratio = reduced(displayRatio(1920, 1080, source));
    EXPECT_EQ(ratio, reduced({c.shown.width.num * c.shown.height.den,
                              c.shown.width.den * c.shown.height.num}));
    // The fit follows: 64:27 is letterboxed in NTSC 4:3 (8:3 pixels across for
    // one down), 27:64 stands in the middle (243:512).
    const bool upright = c.rotation % 180 == 0;
    EXPECT_EQ(
        computeTarget("1920", "1080", Format::Dvd, Standard::Ntsc, kPlain, source).sizes.movie,
        (upright ? FrameSize{720, 270} : FrameSize{228, 480}));
}

INSTANTIATE_TEST_SUITE_P(Rotations, TurnedSource,
                         testing::Values(TurnCase{"none", 0, {{2560, 1}, {1080, 1}}},
                                         TurnCase{"quarter", 90, {{1080, 1}, {2560, 1}}},
                                         TurnCase{"half", 180, {{2560, 1}, {1080, 1}}},
                                         TurnCase{"three quarters", 270, {{1080, 1}, {2560, 1}}}),
                         testrows::NamedRow{});

struct MiddleCase {
    const char* name;
    Fraction display;
    DisplayAspect dvd;
};

void PrintTo(const MiddleCase& c, std::ostream* os) {
    *os << c.name;
}

class DvdAspect : public testing::TestWithParam<MiddleCase> {};

TEST_P(DvdAspect, Is169AboveTheGeometricMiddleOf43And169) {
    EXPECT_EQ(dvdAspectFor(GetParam().display), GetParam().dvd);
}

// The middle is 8 / sqrt(27) = 1.53960071783...; the big pairs straddle it
// (27 n^2 against 64 d^2, worked in Python with whole numbers).
// clang-format off
INSTANTIATE_TEST_SUITE_P(Middle, DvdAspect, testing::Values(
    MiddleCase{"4:3", {4, 3}, DisplayAspect::Standard},
    MiddleCase{"3:2", {3, 2}, DisplayAspect::Standard},
    MiddleCase{"1.5396", {15396, 10000}, DisplayAspect::Standard},
    MiddleCase{"1.5397", {15397, 10000}, DisplayAspect::Wide},
    MiddleCase{"16:9", {16, 9}, DisplayAspect::Wide},
    MiddleCase{"2.39", {239, 100}, DisplayAspect::Wide},
    MiddleCase{"just under with big terms", {3306267364, 2147483647}, DisplayAspect::Standard},
    MiddleCase{"just over with big terms", {3306267365, 2147483647}, DisplayAspect::Wide},
    // Convergents of 8 / sqrt(27): 27 n^2 - 64 d^2 is 11 and -52, closer than
    // doubles tell apart.
    MiddleCase{"closest over", {2270547031, 1474763557}, DisplayAspect::Wide},
    MiddleCase{"closest under", {1562388054, 1014800809}, DisplayAspect::Standard},
    // Terms past 2^32, beyond any file, where the products carry.
    MiddleCase{"under with 33-bit terms", {4618802153, 3000000000}, DisplayAspect::Standard},
    MiddleCase{"negative height", {16, -9}, DisplayAspect::Standard},
    MiddleCase{"no width", {0, 9}, DisplayAspect::Standard},
    MiddleCase{"no height", {16, 0}, DisplayAspect::Standard}),
    testrows::NamedRow{});
// clang-format on

TEST(ComputeTarget, RefusesWhatTheWindowRefuses) {
    EXPECT_EQ(computeTarget("40000", "480", Format::Dvd, Standard::Ntsc, kPlain).error,
              ResizeError::WidthOutOfRange);
    EXPECT_EQ(computeTarget("640", "0", Format::Dvd, Standard::Ntsc, mod(16)).error,
              ResizeError::HeightZero);
}

bool isHalf(std::int64_t num, std::int64_t den) {
    return (2 * num) % den == 0 && (2 * num / den) % 2 != 0;
}

// The exact fractions agree with the window's doubles except on exact halves,
// where the window's quotient lands a hair off the half and only the fraction
// rounds it to even.
TEST(ComputeTarget, ExactArithmeticAgreesWithTheWindowBesideHalves) {
    int compared = 0;
    int halves = 0;
    for (const Format format : {Format::Vcd, Format::Svcd, Format::Dvd})
        for (const Standard pal : {Standard::Ntsc, Standard::Pal})
            for (int w = -37; w <= 4000; w += 13)
                for (int h = 1; h <= 3000; h += 17) {
                    const std::string ws = std::to_string(w), hs = std::to_string(h);
                    const TargetSizes window = computeTarget(ws, hs, format, pal, kSquare).sizes;
                    const FrameSize exact = computeTarget(ws, hs, format, pal, mod(1)).sizes.movie;
                    const FrameSize tv = window.tv, m = window.movie;
                    if (m.width == 0 || m.height == 0 || (++compared, m == exact))
                        continue;
                    ++halves;
                    const bool byHeight = std::int64_t{w} * tv.height <= std::int64_t{tv.width} * h;
                    ASSERT_EQ(std::abs(m.width - exact.width) + std::abs(m.height - exact.height),
                              1);
                    ASSERT_TRUE(byHeight ? isHalf(std::int64_t{w} * tv.height, h)
                                         : isHalf(std::int64_t{tv.width} * h, w))
                        << ws << "x" << hs;
                }
    EXPECT_GT(compared, 100000);
    EXPECT_LT(halves, compared / 100);
}

} // namespace
} // namespace quorvel::disc
