#include "info/json.h"
#include "info/report.h"
#include "info/run.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace quorvel::info {
namespace {

// A source: a typed size (no rate) or a file's VideoInfo.
struct Source {
    std::uint32_t width = 0, height = 0;
    bool typed = true;
    std::optional<media::Fraction> rate;
    std::optional<media::Fraction> sar;
    int rotation = 0;
    std::optional<media::Crop> crop;
};

Source size(std::uint32_t w, std::uint32_t h) {
    Source s;
    s.width = w;
    s.height = h;
    return s;
}
Source file(std::uint32_t w, std::uint32_t h, std::optional<media::Fraction> rate,
            std::optional<media::Fraction> sar = {}, int rotation = 0,
            std::optional<media::Crop> crop = {}) {
    return {w, h, false, rate, sar, rotation, crop};
}

Report report(const Source& s, const Options& o) {
    if (s.typed) {
        const std::string w = std::to_string(s.width), h = std::to_string(s.height);
        return readTypedSize({InputItem::Size, w + "x" + h, w, h}, o);
    }
    media::VideoInfo v;
    v.container = media::Container::Mp4;
    v.width = s.width;
    v.height = s.height;
    v.rate = s.rate;
    v.sar = s.sar;
    v.rotation = s.rotation;
    v.crop = s.crop;
    return readVideo("clip.mp4", v, sourceView(v), o);
}

// The lines that name a target, as the text prints them.
std::vector<std::string> targetLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VCD ", 0) == 0 || line.rfind("SVCD ", 0) == 0 || line.rfind("DVD ", 0) == 0)
            lines.push_back(line);
    return lines;
}

struct DiscCase {
    const char* name;
    Source source;
    std::vector<std::string_view> args; // options, before the input
    std::vector<std::string> targets;
};

void PrintTo(const DiscCase& c, std::ostream* os) {
    *os << c.name;
}

class DiscAnswer : public testing::TestWithParam<DiscCase> {};

TEST_P(DiscAnswer, MatchesTheHandWorkedSizes) {
    const DiscCase& c = GetParam();
    std::vector<std::string_view> args = c.args;
    args.push_back("input");
    const ParsedArguments parsed = parseArguments(args);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const Report r = report(c.source, parsed.options);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(targetLines(formatText(r, parsed.options)), c.targets);
}

constexpr media::Fraction kPal{25, 1};
constexpr media::Fraction kFilm{24000, 1001};
constexpr media::Fraction kVideo{30000, 1001};

// Worked by hand: a disc pixel of shape p turns the shown ratio s into a ratio
// of pixel counts s / p; the Movie fills the width or the height, the other
// side rounded halves to even. plain p = aspect x TVheight / TVwidth.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Worked, DiscAnswer, testing::Values(
    // 16/9 / (32/27) = 3/2, x 480 = 720: fills the frame.
    DiscCase{"1280x720 into NTSC DVD 16:9", size(1280, 720), {},
             {"DVD NTSC 16:9: TV 720x480, Movie 720x480, pixel 32:27"}},
    DiscCase{"640x480 PAL file fills PAL DVD", file(640, 480, kPal), {},
             {"DVD PAL 4:3: TV 720x576, Movie 720x576, pixel 16:15"}},
    // 40/17 / (32/27) = 135/68; 720 x 68/135 = 362.67, 363: soft pulldown
    // keeps the film's frames whole.
    DiscCase{"640x272 scope into NTSC DVD 16:9", file(640, 272, kFilm), {},
             {"DVD NTSC 16:9: TV 720x480, Movie 720x363, pixel 32:27"}},
    // 9/16 / (8/9) x 480 = 303.75.
    DiscCase{"turned phone clip stands in 4:3", file(1920, 1080, kVideo, media::Fraction{1, 1}, 90), {},
             {"DVD NTSC 4:3: TV 720x480, Movie 304x480, pixel 8:9"}},
    DiscCase{"16:9 PAL rip stays 720x576", file(720, 576, kPal, media::Fraction{64, 45}), {},
             {"DVD PAL 16:9: TV 720x576, Movie 720x576, pixel 64:45"}},
    DiscCase{"typed 720x576 --dar 16:9 into NTSC", size(720, 576), {"--dar", "16:9"},
             {"DVD NTSC 16:9: TV 720x480, Movie 720x480, pixel 32:27"}},
    DiscCase{"typed 720x576 --sar 64:45 into NTSC", size(720, 576), {"--sar", "64:45"},
             {"DVD NTSC 16:9: TV 720x480, Movie 720x480, pixel 32:27"}},
    // 4:3 fills every frame: VCD 4/3 / (12/11) x 288 = 352, SVCD 4/3 / (8/5) x 576 = 480.
    DiscCase{"4:3 fills every PAL frame", size(640, 480), {"--format", "all", "--standard", "pal"},
             {"VCD PAL 4:3: TV 352x288, Movie 352x288, pixel 12:11",
              "SVCD PAL 4:3: TV 480x576, Movie 480x576, pixel 8:5",
              "DVD PAL 4:3: TV 720x576, Movie 720x576, pixel 16:15"}},
    DiscCase{"4:3 fills every NTSC frame", size(640, 480), {"--format", "all"},
             {"VCD NTSC 4:3: TV 352x240, Movie 352x240, pixel 10:11",
              "SVCD NTSC 4:3: TV 480x480, Movie 480x480, pixel 4:3",
              "DVD NTSC 4:3: TV 720x480, Movie 720x480, pixel 8:9"}},
    // VCD 352 x 27/44 = 216, SVCD 480 x 9/10 = 432; DVD 16:9 is full.
    DiscCase{"16:9 into every PAL frame", size(1280, 720), {"--format", "all", "--standard", "pal"},
             {"VCD PAL 4:3: TV 352x288, Movie 352x216, pixel 12:11",
              "SVCD PAL 4:3: TV 480x576, Movie 480x432, pixel 8:5",
              "DVD PAL 16:9: TV 720x576, Movie 720x576, pixel 64:45"}},
    // VCD 352 x 45/88 = 180, SVCD 480 x 3/4 = 360.
    DiscCase{"16:9 into every NTSC frame", size(1280, 720), {"--format", "all", "--standard", "ntsc"},
             {"VCD NTSC 4:3: TV 352x240, Movie 352x180, pixel 10:11",
              "SVCD NTSC 4:3: TV 480x480, Movie 480x360, pixel 4:3",
              "DVD NTSC 16:9: TV 720x480, Movie 720x480, pixel 32:27"}},
    DiscCase{"--format all --aspect 16:9: DVD only", size(640, 480), {"--format", "all", "--aspect", "16:9"},
             {"VCD NTSC 4:3: TV 352x240, Movie 352x240, pixel 10:11",
              "SVCD NTSC 4:3: TV 480x480, Movie 480x480, pixel 4:3",
              "DVD NTSC 16:9: TV 720x480, Movie 540x480, pixel 32:27"}},
    // 16/9 / (8/9) = 2: 720 x 1/2 = 360.
    DiscCase{"16:9 forced into 4:3", size(1280, 720), {"--aspect", "4:3"},
             {"DVD NTSC 4:3: TV 720x480, Movie 720x360, pixel 8:9"}},
    // 16/9 x 33/40 = 22/15, x 480 = 704: the whole 704 of ITU.
    DiscCase{"itu 16:9", size(1280, 720), {"--par", "itu"},
             {"DVD NTSC 16:9: TV 720x480, Movie 704x480, pixel 40:33 (ITU)"}},
    DiscCase{"itu PAL VCD", size(640, 480), {"--par", "itu", "--format", "vcd", "--standard", "pal"},
             {"VCD PAL 4:3: TV 352x288, Movie 352x288, pixel 12:11 (ITU)"}},
    DiscCase{"--window counts pixels", size(1280, 720), {"--window"},
             {"DVD NTSC: TV 720x480, Movie 720x405"}},
    DiscCase{"--par square is --window", size(1280, 720), {"--par", "square"},
             {"DVD NTSC: TV 720x480, Movie 720x405"}},
    // The middle of 4:3 and 16:9 is 8 / sqrt(27) = 1.5396. 1.53 x 9/8 x 480 =
    // 826.2, so 720 x 800/1377 = 418.3; 1.54 x 27/32 x 480 = 623.7.
    DiscCase{"1.53 is 4:3", size(153, 100), {},
             {"DVD NTSC 4:3: TV 720x480, Movie 720x418, pixel 8:9"}},
    DiscCase{"1.54 is 16:9", size(154, 100), {},
             {"DVD NTSC 16:9: TV 720x480, Movie 624x480, pixel 32:27"}},
    // 3/2 x 9/8 = 27/16: 720 x 16/27 = 426.67.
    DiscCase{"3:2 by its pixel is 4:3", size(720, 480), {"--sar", "1:1"},
             {"DVD NTSC 4:3: TV 720x480, Movie 720x427, pixel 8:9"}},
    // 50 fps is PAL for the disc, though the window classes it NTSC video.
    DiscCase{"50 fps is PAL", file(1280, 720, media::Fraction{50, 1}), {},
             {"DVD PAL 16:9: TV 720x576, Movie 720x576, pixel 64:45"}},
    DiscCase{"50 fps with --window is NTSC", file(1280, 720, media::Fraction{50, 1}), {"--window"},
             {"DVD NTSC: TV 720x480, Movie 720x405"}},
    DiscCase{"59.94 fps is NTSC", file(640, 480, media::Fraction{60000, 1001}), {},
             {"DVD NTSC 4:3: TV 720x480, Movie 720x480, pixel 8:9"}},
    DiscCase{"25.19 fps is PAL", file(640, 480, media::Fraction{2519, 100}), {},
             {"DVD PAL 4:3: TV 720x576, Movie 720x576, pixel 16:15"}},
    DiscCase{"25.2 fps is NTSC: the window is open", file(640, 480, media::Fraction{126, 5}), {},
             {"DVD NTSC 4:3: TV 720x480, Movie 720x480, pixel 8:9"}},
    DiscCase{"49.81 fps is PAL", file(640, 480, media::Fraction{4981, 100}), {},
             {"DVD PAL 4:3: TV 720x576, Movie 720x576, pixel 16:15"}},
    DiscCase{"24.8 fps is NTSC", file(640, 480, media::Fraction{124, 5}), {},
             {"DVD NTSC 4:3: TV 720x480, Movie 720x480, pixel 8:9"}},
    // 5/4 x 9/8 x 480 = 675.
    DiscCase{"an unknown rate is NTSC", file(720, 576, std::nullopt), {},
             {"DVD NTSC 4:3: TV 720x480, Movie 675x480, pixel 8:9"}},
    DiscCase{"a forced standard wins", file(640, 480, kPal), {"--standard", "ntsc"},
             {"DVD NTSC 4:3: TV 720x480, Movie 720x480, pixel 8:9"}},
    // 1920x1080 shows; uncropped 1920/1088 x 27/32 x 480 = 714.7.
    DiscCase{"the crop comes off first", file(1920, 1088, kFilm, {}, 0, media::Crop{0, 0, 0, 8}), {},
             {"DVD NTSC 16:9: TV 720x480, Movie 720x480, pixel 32:27"}},
    DiscCase{"no crop", file(1920, 1088, kFilm), {},
             {"DVD NTSC 16:9: TV 720x480, Movie 715x480, pixel 32:27"}},
    // 704 x 16/11 = 1024: 16:9.
    DiscCase{"cropped ITU pixels", file(720, 576, kPal, media::Fraction{16, 11}, 0, media::Crop{8, 0, 8, 0}), {},
             {"DVD PAL 16:9: TV 720x576, Movie 720x576, pixel 64:45"}},
    DiscCase{"a crop that leaves nothing is ignored", file(640, 480, kPal, {}, 0, media::Crop{320, 0, 320, 0}), {},
             {"DVD PAL 4:3: TV 720x576, Movie 720x576, pixel 16:15"}},
    DiscCase{"--sar over a file's", file(720, 576, kPal, media::Fraction{16, 15}), {"--sar", "64:45"},
             {"DVD PAL 16:9: TV 720x576, Movie 720x576, pixel 64:45"}},
    DiscCase{"--dar over a file's", file(720, 576, kPal, media::Fraction{16, 15}), {"--dar", "16:9"},
             {"DVD PAL 16:9: TV 720x576, Movie 720x576, pixel 64:45"}},
    // 720 x 362.67 to multiples of 16: 720x368.
    DiscCase{"--mod on the disc answer", size(640, 272), {"--mod", "16"},
             {"DVD NTSC 16:9: TV 720x480, Movie 720x368, pixel 32:27 (mod 16)"}}),
    testrows::NamedRow{});
// clang-format on

TEST(DiscAnswer, ModPrintsItsAspectError) {
    Options o;
    o.mod = 16;
    const Report r = report(size(640, 272), o);
    ASSERT_EQ(r.targets.size(), 1u);
    // 720 x 32/27 / 368 over 40/17: 0.985507.
    EXPECT_NEAR(r.targets[0].aspectError.value_or(1), 720.0 * 32 * 17 / (27 * 368 * 40) - 1, 1e-12);
    EXPECT_NE(formatText(r, o).find("  aspect error: -1.45%\n"), std::string::npos);
}

TEST(DiscAnswer, TextShowsTheWindowsMovieOnlyWhenItDiffers) {
    Options o;
    const std::string differs = formatText(report(size(1280, 720), o), o);
    EXPECT_NE(differs.find("DVD NTSC 16:9: TV 720x480, Movie 720x480, pixel 32:27\n"
                           "  window: Movie 720x405 (square pixels; the disc needs the line "
                           "above)\n"),
              std::string::npos)
        << differs;
    // 720x480 of 8:9 shows 4:3: the same Movie either way.
    o.sar = Fraction{8, 9};
    const std::string same = formatText(report(size(720, 480), o), o);
    EXPECT_EQ(same.find("window:"), std::string::npos) << same;
    o.sar.reset();
    o.par = PixelShape::Square;
    EXPECT_EQ(formatText(report(size(1280, 720), o), o).find("window:"), std::string::npos);
}

// Schema 2: the members changed meaning, and say so in every object.
TEST(DiscAnswer, JsonCarriesSchemaAspectAndTheWindowsMovie) {
    Options o;
    o.format = FormatChoice::All;
    const Json j = Json::parse(formatJson(report(file(1280, 720, kFilm), o), o));
    EXPECT_EQ(j.begin().key(), "schema");
    EXPECT_EQ(j["schema"], kJsonSchema);
    ASSERT_EQ(j["targets"].size(), 3u);
    EXPECT_EQ(j["targets"][0]["aspect"], "4:3");
    EXPECT_EQ(j["targets"][2]["aspect"], "16:9");
    EXPECT_EQ(j["targets"][2]["movie"], (Json{{"width", 720}, {"height", 480}}));
    EXPECT_EQ(j["targets"][2]["window_movie"], (Json{{"width", 720}, {"height", 405}}));
    EXPECT_EQ(j["targets"][2]["par"], "plain");
    o.par = PixelShape::Square;
    const Json w = Json::parse(formatJson(report(file(1280, 720, kFilm), o), o));
    EXPECT_EQ(w["schema"], kJsonSchema);
    EXPECT_TRUE(w["targets"][2]["aspect"].is_null());
    EXPECT_EQ(w["targets"][2]["movie"], w["targets"][2]["window_movie"]);
    Report failed;
    failed.name = "gone.avi";
    failed.error = "gone";
    EXPECT_EQ(Json::parse(formatJson(failed, o))["schema"], kJsonSchema);
}

// The display shape comes from the cropped picture; `sar` is its pixel.
TEST(DiscAnswer, DisplayIsTheCroppedPictureTimesItsPixel) {
    Options o;
    const Report r =
        report(file(720, 576, kPal, media::Fraction{16, 11}, 90, media::Crop{8, 2, 8, 4}), o);
    ASSERT_TRUE(r.source);
    // 704 x 16/11 = 1024 wide, 570 high, turned.
    EXPECT_EQ(r.source->displayWidth, 570);
    EXPECT_EQ(r.source->displayHeight, 1024);
    EXPECT_NE(formatText(r, o).find(
                  "display: 570x1024 (pixel 16:11, cropped to 704x570, turned 90 degrees)\n"),
              std::string::npos)
        << formatText(r, o);
    const Json j = Json::parse(formatJson(r, o));
    EXPECT_EQ(j["display"], (Json{{"width", 570}, {"height", 1024}}));
    EXPECT_EQ(j["sar"], (Json{{"num", 16}, {"den", 11}}));
    // --dar spreads over the cropped picture: 16/9 x 570/704.
    o.dar = Fraction{16, 9};
    const Json given =
        Json::parse(formatJson(report(file(720, 576, kPal, {}, 0, media::Crop{8, 2, 8, 4}), o), o));
    EXPECT_EQ(given["sar"], (Json{{"num", 95}, {"den", 66}}));
    EXPECT_EQ(given["display"], (Json{{"width", 1013}, {"height", 570}}));
}

// What the window shows, number for number, on its own table.
struct WindowCase {
    const char* name;
    const char* width;
    const char* height;
    int format;
    bool pal;
};

void PrintTo(const WindowCase& c, std::ostream* os) {
    *os << c.name;
}

class WindowAnswer : public testing::TestWithParam<WindowCase> {};

TEST_P(WindowAnswer, IsTheWindowsOwnFunction) {
    const WindowCase& c = GetParam();
    ResizeInput in;
    in.widthText = c.width;
    in.heightText = c.height;
    in.palSelected = c.pal;
    in.format = c.format;
    const ResizeResult window = computeResize(in);
    ASSERT_TRUE(window.sizes);
    Options o;
    o.par = PixelShape::Square;
    o.standard = c.pal ? StandardChoice::Pal : StandardChoice::Ntsc;
    o.format = c.format == kFormatVcd    ? FormatChoice::Vcd
               : c.format == kFormatSvcd ? FormatChoice::Svcd
                                         : FormatChoice::Dvd;
    const std::string text = std::string(c.width) + "x" + c.height;
    const Report r = readTypedSize({InputItem::Size, text, c.width, c.height}, o);
    ASSERT_EQ(r.targets.size(), 1u);
    EXPECT_EQ(r.targets[0].tv, window.sizes->tv);
    EXPECT_EQ(r.targets[0].movie, window.sizes->movie);
    EXPECT_EQ(r.targets[0].windowMovie, window.sizes->movie);
    EXPECT_FALSE(r.targets[0].aspect);
    // The disc answer names the window's Movie too.
    o.par = PixelShape::Plain;
    EXPECT_EQ(
        readTypedSize({InputItem::Size, text, c.width, c.height}, o).targets.at(0).windowMovie,
        window.sizes->movie);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(WorkedExamples, WindowAnswer, testing::Values(
    WindowCase{"640x480 VCD PAL", "640", "480", kFormatVcd, true},
    WindowCase{"640x480 VCD NTSC", "640", "480", kFormatVcd, false},
    WindowCase{"640x480 SVCD NTSC", "640", "480", kFormatSvcd, false},
    WindowCase{"640x480 DVD PAL", "640", "480", kFormatDvd, true},
    WindowCase{"640x480 DVD NTSC", "640", "480", kFormatDvd, false},
    WindowCase{"720x576 DVD PAL tie", "720", "576", kFormatDvd, true},
    WindowCase{"720x576 VCD PAL", "720", "576", kFormatVcd, true},
    WindowCase{"720x480 DVD NTSC tie", "720", "480", kFormatDvd, false},
    WindowCase{"640x272 DVD NTSC", "640", "272", kFormatDvd, false},
    WindowCase{"640x272 VCD PAL", "640", "272", kFormatVcd, true},
    WindowCase{"352x288 DVD NTSC", "352", "288", kFormatDvd, false},
    WindowCase{"102x128 halfway to even", "102", "128", kFormatDvd, false},
    WindowCase{"100x256 halfway to even", "100", "256", kFormatDvd, false},
    WindowCase{"128x102 VCD PAL halfway", "128", "102", kFormatVcd, true},
    WindowCase{"zero width", "0", "480", kFormatDvd, false},
    WindowCase{"negative width", "-640", "480", kFormatDvd, false},
    WindowCase{"both negative", "-640", "-480", kFormatDvd, false},
    WindowCase{"32767x1 DVD PAL", "32767", "1", kFormatDvd, true},
    WindowCase{"640.5x480", "640.5", "480", kFormatDvd, false}),
    testrows::NamedRow{});
// clang-format on

} // namespace
} // namespace quorvel::info
