#include "resize/calc.h"
#include "resize/number.h"
#include "resize/rounding.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace quorvel {
namespace {

struct NumberCase {
    const char* text;
    NumberStatus status;
    int value;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

std::string numberRowName(const testing::TestParamInfo<NumberCase>& p) {
    return "text_" + testrows::spelledRowName(p.param.text); // "text_640", not a row number
}

class ParseSourceNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(ParseSourceNumber, ReadsTextAsRoundedWholeNumberInRange) {
    const auto& c = GetParam();
    const SourceNumber n = parseSourceNumber(c.text);
    EXPECT_EQ(n.status, c.status) << '"' << c.text << '"';
    if (c.status == NumberStatus::Ok) {
        EXPECT_EQ(n.value, c.value) << '"' << c.text << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, ParseSourceNumber,
    testing::Values(
        NumberCase{"640", NumberStatus::Ok, 640}, NumberCase{"  480\t", NumberStatus::Ok, 480},
        NumberCase{"+12", NumberStatus::Ok, 12}, NumberCase{"-640", NumberStatus::Ok, -640},
        NumberCase{"-0", NumberStatus::Ok, 0}, NumberCase{"000032767", NumberStatus::Ok, 32767},
        NumberCase{"-32768", NumberStatus::Ok, -32768}, NumberCase{"640.5", NumberStatus::Ok, 640},
        NumberCase{"641.5", NumberStatus::Ok, 642},
        NumberCase{"640.50000001", NumberStatus::Ok, 641},
        NumberCase{"640.4999999", NumberStatus::Ok, 640},
        NumberCase{"-32768.5", NumberStatus::Ok, -32768}, NumberCase{"-0.5", NumberStatus::Ok, 0},
        NumberCase{"-1.5", NumberStatus::Ok, -2}, NumberCase{"32766.5", NumberStatus::Ok, 32766},
        NumberCase{".5", NumberStatus::Ok, 0}, NumberCase{"7.", NumberStatus::Ok, 7}),
    numberRowName);

INSTANTIATE_TEST_SUITE_P(Refused, ParseSourceNumber,
                         testing::Values(NumberCase{"", NumberStatus::NotANumber, 0},
                                         NumberCase{"   ", NumberStatus::NotANumber, 0},
                                         NumberCase{"abc", NumberStatus::NotANumber, 0},
                                         NumberCase{"64O", NumberStatus::NotANumber, 0},
                                         NumberCase{"6 40", NumberStatus::NotANumber, 0},
                                         NumberCase{"1e3", NumberStatus::NotANumber, 0},
                                         NumberCase{"1,000", NumberStatus::NotANumber, 0},
                                         NumberCase{"640,5", NumberStatus::NotANumber, 0},
                                         NumberCase{".", NumberStatus::NotANumber, 0},
                                         NumberCase{"-", NumberStatus::NotANumber, 0},
                                         NumberCase{"--5", NumberStatus::NotANumber, 0},
                                         NumberCase{"- 5", NumberStatus::NotANumber, 0},
                                         NumberCase{"0x10", NumberStatus::NotANumber, 0},
                                         NumberCase{"1.2.3", NumberStatus::NotANumber, 0},
                                         NumberCase{"32768", NumberStatus::OutOfRange, 0},
                                         NumberCase{"32767.5", NumberStatus::OutOfRange, 0},
                                         NumberCase{"-32769", NumberStatus::OutOfRange, 0},
                                         NumberCase{"-32768.51", NumberStatus::OutOfRange, 0},
                                         NumberCase{"99999999999999999999999999999999",
                                                    NumberStatus::OutOfRange, 0}),
                         numberRowName);

TEST(ParseSourceNumber, DoesNotDependOnTheCLocale) {
    // A locale with a decimal comma must not change how "640.5" reads.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    EXPECT_EQ(parseSourceNumber("641.5").value, 642);
    EXPECT_EQ(parseSourceNumber("641,5").status, NumberStatus::NotANumber);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    const std::pair<double, double> cases[] = {{382.5, 382},
                                               {187.5, 188},
                                               {280.5, 280},
                                               {298.5, 298},
                                               {299.5, 300},
                                               {-0.5, 0},
                                               {-1.5, -2},
                                               {-2.5, -2},
                                               {281.6, 282},
                                               {149.6, 150},
                                               {0.49999999999999994, 0}};
    for (auto [in, out] : cases)
        EXPECT_EQ(roundHalfEven(in), out) << in;
}

struct ResizeCase {
    const char* name;
    const char* width;
    const char* height;
    bool pal;
    bool film;
    std::optional<int> format;
    int fps;
    std::vector<BoxWrite> writes;
};

using B = ResultBox;

std::vector<BoxWrite> widthLimited(int tw, int th, int mh) {
    return {{B::TvWidth, std::to_string(tw)},
            {B::TvHeight, std::to_string(th)},
            {B::MovieWidth, std::to_string(tw)},
            {B::MovieHeight, std::to_string(mh)}};
}
std::vector<BoxWrite> heightLimited(int tw, int th, int mw) {
    return {{B::TvWidth, std::to_string(tw)},
            {B::TvHeight, std::to_string(th)},
            {B::MovieHeight, std::to_string(th)},
            {B::MovieWidth, std::to_string(mw)}};
}

void PrintTo(const ResizeCase& c, std::ostream* os) {
    *os << c.name;
}

int sideOf(const ResizeSizes& s, ResultBox box) {
    switch (box) {
    case B::TvWidth:
        return s.tv.width;
    case B::TvHeight:
        return s.tv.height;
    case B::MovieWidth:
        return s.movie.width;
    case B::MovieHeight:
        return s.movie.height;
    }
    return -1;
}

std::string resizeRowName(const testing::TestParamInfo<ResizeCase>& p) {
    return testrows::rowName(p.param.name);
}

class ComputeResize : public testing::TestWithParam<ResizeCase> {};

TEST_P(ComputeResize, GivesTvFrameAndMovieFitInWriteOrder) {
    const auto& c = GetParam();
    ResizeInput in{c.width, c.height, c.pal, c.film, c.format};
    const ResizeResult r = computeResize(in);
    ASSERT_TRUE(r.ok()) << c.name;
    EXPECT_EQ(r.fps, c.fps) << c.name;
    EXPECT_EQ(r.writes, c.writes) << c.name;
    // The numbers handed out are the ones the boxes show.
    ASSERT_EQ(r.sizes.has_value(), !c.writes.empty()) << c.name;
    for (const BoxWrite& w : c.writes)
        EXPECT_EQ(std::to_string(sideOf(*r.sizes, w.box)), w.text) << c.name;
}

constexpr int VCD = kFormatVcd, SVCD = kFormatSvcd, DVD = kFormatDvd;

INSTANTIATE_TEST_SUITE_P(WorkedExamples, ComputeResize,
                         testing::Values(ResizeCase{"640x480 VCD PAL", "640", "480", true, false,
                                                    VCD, 1, widthLimited(352, 288, 264)},
                                         ResizeCase{"640x480 VCD NTSC", "640", "480", false, false,
                                                    VCD, 3, heightLimited(352, 240, 320)},
                                         ResizeCase{"640x480 SVCD NTSC film", "640", "480", false,
                                                    true, SVCD, 2, widthLimited(480, 480, 360)},
                                         ResizeCase{"640x480 DVD PAL", "640", "480", true, false,
                                                    DVD, 1, widthLimited(720, 576, 540)},
                                         ResizeCase{"640x480 DVD NTSC", "640", "480", false, false,
                                                    DVD, 3, heightLimited(720, 480, 640)},
                                         ResizeCase{"720x576 DVD PAL tie", "720", "576", true,
                                                    false, DVD, 1, heightLimited(720, 576, 720)},
                                         ResizeCase{"720x576 VCD PAL", "720", "576", true, false,
                                                    VCD, 1, widthLimited(352, 288, 282)},
                                         ResizeCase{"720x480 DVD NTSC tie", "720", "480", false,
                                                    false, DVD, 3, heightLimited(720, 480, 720)},
                                         ResizeCase{"640x272 DVD NTSC", "640", "272", false, false,
                                                    DVD, 3, widthLimited(720, 480, 306)},
                                         ResizeCase{"640x272 VCD PAL", "640", "272", true, false,
                                                    VCD, 1, widthLimited(352, 288, 150)},
                                         ResizeCase{"352x288 DVD NTSC", "352", "288", false, false,
                                                    DVD, 3, heightLimited(720, 480, 587)},
                                         ResizeCase{"102x128 halfway to even", "102", "128", false,
                                                    false, DVD, 3, heightLimited(720, 480, 382)},
                                         ResizeCase{"100x256 halfway to even", "100", "256", false,
                                                    false, DVD, 3, heightLimited(720, 480, 188)},
                                         ResizeCase{"128x102 VCD PAL halfway", "128", "102", true,
                                                    false, VCD, 1, widthLimited(352, 288, 280)}),
                         resizeRowName);

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ComputeResize,
    testing::Values(
        ResizeCase{"unset format is VCD NTSC", "640", "480", false, false, std::nullopt, 3,
                   heightLimited(352, 240, 320)},
        ResizeCase{"PAL wins over film", "640", "480", true, true, DVD, 1,
                   widthLimited(720, 576, 540)},
        ResizeCase{
            "User Defined only sets fps", "640", "480", true, false, kFormatUserDefined, 1, {}},
        ResizeCase{"unknown format only sets fps", "640", "480", false, true, 7, 2, {}},
        ResizeCase{"negative format only sets fps", "640", "480", false, false, -1, 3, {}},
        ResizeCase{"zero width", "0", "480", false, false, DVD, 3, heightLimited(720, 480, 0)},
        ResizeCase{"zero width negative height", "0", "-480", false, false, DVD, 3,
                   heightLimited(720, 480, 0)},
        ResizeCase{"negative width", "-640", "480", false, false, DVD, 3,
                   heightLimited(720, 480, -640)},
        ResizeCase{"both negative", "-640", "-480", false, false, DVD, 3,
                   heightLimited(720, 480, 640)},
        ResizeCase{"very wide", "32767", "1", true, false, DVD, 1, widthLimited(720, 576, 0)},
        ResizeCase{"very narrow negative", "-32768", "1", false, false, DVD, 3,
                   heightLimited(720, 480, -15728640)},
        ResizeCase{"fractions read rounded", "640.5", "480", false, false, DVD, 3,
                   heightLimited(720, 480, 640)},
        ResizeCase{"blanks around numbers", " 640 ", "\t480", false, false, DVD, 3,
                   heightLimited(720, 480, 640)}),
    resizeRowName);

struct FailureCase {
    const char* width;
    const char* height;
    ResizeError error;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << '"' << c.width << "\" x \"" << c.height << '"';
}

class ComputeResizeFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(ComputeResizeFailure, NamesTheWrongBoxAndWritesNothing) {
    const auto& c = GetParam();
    const ResizeResult r = computeResize({c.width, c.height, true, false, kFormatDvd});
    EXPECT_EQ(r.error, c.error) << c.width << " x " << c.height;
    EXPECT_TRUE(r.writes.empty());
    EXPECT_FALSE(r.sizes);
    EXPECT_FALSE(describeResizeError(c.error).empty());
}

INSTANTIATE_TEST_SUITE_P(Failures, ComputeResizeFailure,
                         testing::Values(FailureCase{"640", "0", ResizeError::HeightZero},
                                         FailureCase{"0", "0", ResizeError::HeightZero},
                                         FailureCase{"640", "0.4", ResizeError::HeightZero},
                                         FailureCase{"   ", "480", ResizeError::WidthNotANumber},
                                         FailureCase{"", "480", ResizeError::WidthNotANumber},
                                         FailureCase{"x", "y", ResizeError::WidthNotANumber},
                                         FailureCase{"640", "abc", ResizeError::HeightNotANumber},
                                         FailureCase{"40000", "480", ResizeError::WidthOutOfRange},
                                         FailureCase{"640", "-40000",
                                                     ResizeError::HeightOutOfRange},
                                         FailureCase{"40000", "0", ResizeError::WidthOutOfRange}),
                         [](const auto& p) {
                             return testrows::spelledRowName(p.param.width) + "_by_" +
                                    testrows::spelledRowName(p.param.height);
                         });

TEST(DescribeResizeError, SaysWhichBoxAndWhy) {
    EXPECT_NE(describeResizeError(ResizeError::WidthOutOfRange).find("width"), std::string::npos);
    EXPECT_NE(describeResizeError(ResizeError::WidthOutOfRange).find("-32768 to 32767"),
              std::string::npos);
    EXPECT_NE(describeResizeError(ResizeError::HeightNotANumber).find("height"), std::string::npos);
    EXPECT_NE(describeResizeError(ResizeError::HeightZero).find("must not be 0"),
              std::string::npos);
}

} // namespace
} // namespace quorvel
