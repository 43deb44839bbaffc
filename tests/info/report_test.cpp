#include "info/json.h"
#include "info/report.h"
#include "source/utf8.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quorvel::info {
namespace {

struct EscapeCase {
    const char* name;
    std::string bytes;
    std::string json; // the literal
    std::string text;
};

void PrintTo(const EscapeCase& c, std::ostream* os) {
    *os << c.json;
}

class Escaping : public testing::TestWithParam<EscapeCase> {};

TEST_P(Escaping, KeepsJsonValidAndTextOnItsLine) {
    EXPECT_EQ(dumpJson(validUtf8(GetParam().bytes)), GetParam().json);
    EXPECT_EQ(textEscaped(GetParam().bytes), GetParam().text);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Bytes, Escaping, testing::Values(
    EscapeCase{"quotes and backslashes", "a\"b\\c/\x7f", "\"a\\\"b\\\\c/\x7f\"", "a\"b\\\\c/\\x7f"},
    EscapeCase{"control bytes", std::string("\n\r\t\b\f\x01\0", 7), "\"\\n\\r\\t\\b\\f\\u0001\\u0000\"",
               "\\n\\r\\t\\x08\\x0c\\x01\\x00"},
    // Valid UTF-8 of two, three and four bytes, up to U+10FFFF, passes as it is.
    EscapeCase{"valid UTF-8", "\xc3\xa9\xe2\x82\xac\xf4\x8f\xbf\xbf", "\"\xc3\xa9\xe2\x82\xac\xf4\x8f\xbf\xbf\"",
               "\xc3\xa9\xe2\x82\xac\xf4\x8f\xbf\xbf"},
    // Each byte that begins no valid sequence becomes one replacement: Latin-1,
    // a stray continuation, a cut sequence, overlong forms, a surrogate, past
    // U+10FFFF, and bytes never used.
    EscapeCase{"Latin-1, stray and cut", "\xe9\x80\xe2\x82z", "\"\\ufffd\\ufffd\\ufffd\\ufffdz\"", "\xe9\x80\xe2\x82z"},
    EscapeCase{"cut before a letter and at the end", "\xc3z\xc3", "\"\\ufffdz\\ufffd\"", "\xc3z\xc3"},
    EscapeCase{"overlong", "\xc0\xaf\xe0\x80\xaf", "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\"", "\xc0\xaf\xe0\x80\xaf"},
    EscapeCase{"surrogate, past U+10FFFF, never used", "\xed\xa0\x80\xf4\x90\x80\x80\xf5\xff", std::string("\"") + R"(\ufffd\ufffd\ufffd)" +
               R"(\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd")", "\xed\xa0\x80\xf4\x90\x80\x80\xf5\xff"}),
    testrows::NamedRow{});
// clang-format on

TEST(JsonNumber, IsTheShortestTextOfTheSameDouble) {
    for (const auto& [value, text] : {std::pair{30000.0 / 1001, "29.97002997002997"},
                                      {25.0, "25"},
                                      {-0.5, "-0.5"},
                                      {2147483648.0, "2147483648"}}) {
        EXPECT_EQ(dumpJson(jsonNumber(value)), text);
    }
}

disc::TargetSizes dvdNtsc(FrameSize movie, Fraction pixel = {1, 1},
                          std::optional<DisplayAspect> aspect = DisplayAspect::Standard) {
    return {disc::Format::Dvd,
            disc::Standard::Ntsc,
            {720, 480},
            movie,
            pixel,
            std::nullopt,
            aspect,
            movie};
}

struct FilterCase {
    const char* name;
    disc::TargetSizes target;
    std::optional<std::string> filter;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class FfmpegFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(FfmpegFilter, ScalesPadsCentredAndSetsThePixelShape) {
    EXPECT_EQ(disc::pictureFilter(GetParam().target), GetParam().filter);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FfmpegFilter,
    testing::Values(FilterCase{"square letterbox", dvdNtsc({720, 306}),
                               "scale=720:306,pad=720:480:0:87,setsar=1/1"},
                    FilterCase{"itu pillar and letterbox", dvdNtsc({704, 272}, {10, 11}),
                               "scale=704:272,pad=720:480:8:104,setsar=10/11"},
                    FilterCase{"odd border goes right", dvdNtsc({719, 480}, {8, 9}),
                               "scale=719:480,pad=720:480:0:0,setsar=8/9"},
                    FilterCase{"negative width", dvdNtsc({-640, 480}), std::nullopt},
                    FilterCase{"no height", dvdNtsc({720, 0}), std::nullopt},
                    FilterCase{"square pixels: no disc aspect",
                               dvdNtsc({720, 306}, {1, 1}, std::nullopt), std::nullopt}),
    testrows::NamedRow{});

// A path may hold anything: what comes out reads back strictly, member for
// member, whatever bytes or JSON-like text the name held.
TEST(FormatJson, ReadsBackStrictlyWhateverThePathHolds) {
    Options o;
    o.mod = 16;
    for (const std::string& name :
         {std::string("a\xff\xc3(\xef\xbf\xbd.avi"), std::string(R"(x","aspect_error":1.5,"y)"),
          std::string("\0\x1f\x7f", 3)}) {
        Report r;
        r.name = name;
        r.targets = {dvdNtsc({720, 304})};
        r.targets[0].aspectError = 0.0065789473684210;
        const std::string line = formatJson(r, o);
        ASSERT_EQ(line.back(), '\n');
        const Json j = Json::parse(line); // throws on invalid UTF-8
        EXPECT_EQ(j["path"], validUtf8(name));
        EXPECT_EQ(j["targets"][0]["aspect_error"], 0.006579) << line;
        EXPECT_EQ(line.find('\n'), line.size() - 1);
    }
    EXPECT_EQ(validUtf8("a\xff\xc3("), "a\xef\xbf\xbd\xef\xbf\xbd(");
}

TEST(FormatText, NamesTheShapeTheAspectErrorAndTheFilter) {
    Options o;
    o.par = PixelShape::Itu;
    o.aspect = DisplayAspect::Wide;
    o.mod = 16;
    o.ffmpeg = true;
    Report r;
    r.name = "film.avi";
    r.width = 640;
    r.height = 272;
    r.rate = RateInfo{24000, 1001, 24000.0 / 1001};
    r.rateClass = RateClass::NtscFilm;
    r.targets = {dvdNtsc({704, 368}, {40, 33}, DisplayAspect::Wide),
                 dvdNtsc({0, 480}, {40, 33}, DisplayAspect::Wide)};
    r.targets[0].aspectError = -0.0144925;
    r.targets[0].windowMovie = {720, 306};
    r.targets[0].filter = disc::pictureFilter(r.targets[0]); // as the plan gives a typed size
    EXPECT_EQ(formatText(r, o),
              "path: film.avi\nwidth: 640\nheight: 272\n"
              "rate: 24000/1001 (23.976 fps)\nclass: NTSC film\n"
              "DVD NTSC 16:9: TV 720x480, Movie 704x368, pixel 40:33 (ITU, mod 16)\n"
              "  window: Movie 720x306 (square pixels; the disc needs the line above)\n"
              "  aspect error: -1.45%\n"
              "  ffmpeg: scale=704:368,pad=720:480:8:56,setsar=40/33\n"
              "DVD NTSC 16:9: TV 720x480, Movie 0x480, pixel 40:33 (ITU, mod 16)\n"
              "  aspect error: none (no picture)\n"
              "  ffmpeg: none (no picture)\n");
    r.targets[0].aspectError = 0.0000004;
    EXPECT_NE(formatJson(r, o).find("\"aspect_error\":0.000000,"), std::string::npos);
    r.targets[0].aspectError = -0.0000004;
    EXPECT_NE(formatJson(r, o).find("\"aspect_error\":0.000000,"), std::string::npos) << "no -0";
}

} // namespace
} // namespace quorvel::info
