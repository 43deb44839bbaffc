#include "info/options.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>

namespace quorvel::info {
namespace {

using Args = std::vector<std::string_view>;

// A row is named by its command line.
std::string spelled(const Args& args) {
    std::string line;
    for (const std::string_view a : args)
        line += std::string(line.empty() ? "" : " ") + (a == "-" ? "dash" : std::string(a));
    return line.empty() ? "nothing" : testrows::rowName(line);
}

struct GoodCase {
    Args args;
    FormatChoice format;
    StandardChoice standard;
    PixelShape par;
    std::optional<DisplayAspect> aspect;
    int mod;
};

void PrintTo(const GoodCase& c, std::ostream* os) {
    *os << spelled(c.args);
}

class ReadsOptions : public testing::TestWithParam<GoodCase> {};

TEST_P(ReadsOptions, SpelledApartOrWithEquals) {
    const GoodCase& c = GetParam();
    std::vector<std::string> joined;
    for (std::size_t i = 0; i < c.args.size(); i += 2)
        joined.push_back(std::string(c.args[i]) + "=" + std::string(c.args[i + 1]));
    for (Args args : {c.args, Args(joined.begin(), joined.end())}) {
        args.push_back("a.avi");
        const ParsedArguments p = parseArguments(args);
        ASSERT_TRUE(p.ok()) << p.error;
        EXPECT_EQ(p.options.format, c.format);
        EXPECT_EQ(p.options.standard, c.standard);
        EXPECT_EQ(p.options.par, c.par);
        EXPECT_EQ(p.options.aspect, c.aspect);
        EXPECT_EQ(p.options.mod, c.mod);
    }
}

using F = FormatChoice;
using S = StandardChoice;
using P = PixelShape;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Options, ReadsOptions, testing::Values(
    GoodCase{{}, F::Dvd, S::Auto, P::Plain, {}, 0},
    GoodCase{{"--format", "svcd", "--standard", "pal"}, F::Svcd, S::Pal, P::Plain, {}, 0},
    GoodCase{{"--format", "all", "--standard", "pal", "--standard", "auto"}, F::All, S::Auto, P::Plain, {}, 0},
    GoodCase{{"--par", "square", "--mod", "16"}, F::Dvd, S::Auto, P::Square, {}, 16},
    GoodCase{{"--aspect", "4:3"}, F::Dvd, S::Auto, P::Plain, DisplayAspect::Standard, 0},
    GoodCase{{"--format", "all", "--aspect", "16:9"}, F::All, S::Auto, P::Plain, DisplayAspect::Wide, 0},
    GoodCase{{"--par", "plain", "--mod", "1"}, F::Dvd, S::Auto, P::Plain, {}, 1},
    GoodCase{{"--par", "itu", "--aspect", "16:9", "--mod", "64"}, F::Dvd, S::Auto, P::Itu, DisplayAspect::Wide, 64},
    GoodCase{{"--format", "vcd", "--par", "itu", "--aspect", "4:3"}, F::Vcd, S::Auto, P::Itu, DisplayAspect::Standard, 0}),
    [](const auto& info) { return spelled(info.param.args); });
// clang-format on

TEST(ParseArguments, KeepsFilesAndSizesInOrder) {
    const Args args{"a.avi", "--size",  "640x480", "--json", "-", "--size=720.5X-576",
                    "--",    "--ffmpeg"};
    const ParsedArguments p = parseArguments(args);
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_TRUE(p.options.json);
    EXPECT_FALSE(p.options.ffmpeg) << "after --, everything is a file";
    std::vector<std::string> seen;
    for (const InputItem& in : p.options.inputs)
        seen.push_back(in.kind == InputItem::Size    ? "size " + in.widthText + " " + in.heightText
                       : in.kind == InputItem::Stdin ? "stdin"
                                                     : "file " + in.text);
    EXPECT_EQ(seen, (std::vector<std::string>{"file a.avi", "size 640 480", "stdin",
                                              "size 720.5 -576", "file --ffmpeg"}));
}

TEST(ParseArguments, WindowIsParSquareAndTheLastShapeWins) {
    EXPECT_EQ(parseArguments(Args{"--window", "a"}).options.par, PixelShape::Square);
    EXPECT_EQ(parseArguments(Args{"--par", "itu", "--window", "a"}).options.par,
              PixelShape::Square);
    EXPECT_EQ(parseArguments(Args{"--window", "--par=itu", "a"}).options.par, PixelShape::Itu);
}

TEST(ParseArguments, ReadsTheSourcesShape) {
    const ParsedArguments sar = parseArguments(Args{"--sar", "64:45", "--size", "720x576"});
    ASSERT_TRUE(sar.ok()) << sar.error;
    EXPECT_EQ(sar.options.sar, (Fraction{64, 45}));
    EXPECT_FALSE(sar.options.dar);
    const ParsedArguments dar = parseArguments(Args{"--dar=16/9", "a.mpg"});
    ASSERT_TRUE(dar.ok()) << dar.error;
    EXPECT_EQ(dar.options.dar, (Fraction{16, 9}));
    EXPECT_TRUE(parseArguments(Args{"--dar", "65535:1", "a"}).ok());
}

TEST(ParseArguments, ReadsPathsFromStandardInputWithDash) {
    for (const Args& args : {Args{"-0", "-"}, Args{"--null", "--", "-"}, Args{"-", "--null"}}) {
        const ParsedArguments p = parseArguments(args);
        ASSERT_TRUE(p.ok()) << p.error;
        EXPECT_TRUE(p.options.nullSeparated);
        ASSERT_EQ(p.options.inputs.size(), 1u);
        EXPECT_EQ(p.options.inputs[0].kind, InputItem::Stdin);
    }
    const ParsedArguments plain = parseArguments(Args{"a.avi", "-", "./-"});
    ASSERT_TRUE(plain.ok()) << plain.error;
    EXPECT_FALSE(plain.options.nullSeparated);
    EXPECT_EQ(plain.options.inputs[2].kind, InputItem::File);
}

class RefusesCommandLine : public testing::TestWithParam<std::pair<Args, const char*>> {};

TEST_P(RefusesCommandLine, WithASentenceThatNamesTheMistake) {
    const ParsedArguments p = parseArguments(GetParam().first);
    EXPECT_FALSE(p.ok());
    EXPECT_NE(p.error.find(GetParam().second), std::string::npos) << p.error;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Mistakes, RefusesCommandLine, testing::Values(
    std::pair{Args{}, "nothing to do"}, std::pair{Args{"--json"}, "nothing to do"},
    std::pair{Args{"--frmat", "dvd", "a"}, "unknown option '--frmat'"},
    std::pair{Args{"--json=yes", "a"}, "--json takes no value"},
    std::pair{Args{"--format", "x", "--par", "y", "a"}, "--format wants vcd, svcd, dvd or all, not 'x'"},
    std::pair{Args{"--par", "plain", "--aspect", "21:9", "a"}, "--aspect wants"},
    std::pair{Args{"a", "--format"}, "--format needs a value"},
    std::pair{Args{"--mod", "0", "a"}, "from 1 to 64"}, std::pair{Args{"--mod", "65", "a"}, "from 1 to 64"},
    std::pair{Args{"--mod", "99999999999999999999", "a"}, "from 1 to 64"},
    std::pair{Args{"--size", "640"}, "WIDTHxHEIGHT"},
    std::pair{Args{"--size", "abcx480"}, "source width is not a number"},
    std::pair{Args{"--size", "40000x480"}, "source width is out of range"},
    std::pair{Args{"--size", "640x0"}, "height must not be 0"},
    std::pair{Args{"--window", "--aspect", "4:3", "a"}, "--aspect needs --par plain"},
    std::pair{Args{"--par", "square", "--aspect", "4:3", "a"}, "--aspect needs --par plain"},
    std::pair{Args{"--par", "plain", "--aspect", "16:9", "--format", "svcd", "a"}, "DVD only"},
    std::pair{Args{"--aspect", "16:9", "--format", "vcd", "a"}, "use it with --format dvd or all"},
    std::pair{Args{"--window=yes", "a"}, "--window takes no value"},
    std::pair{Args{"--sar", "64", "a"}, "--sar wants N:D with whole numbers from 1 to 65535, as in 64:45, not '64'"},
    std::pair{Args{"--sar", "0:1", "a"}, "--sar wants N:D"},
    std::pair{Args{"--dar", "16:9:1", "a"}, "--dar wants N:D"},
    std::pair{Args{"--dar", "65536:1", "a"}, "--dar wants N:D"},
    std::pair{Args{"--dar", "-16:9", "a"}, "--dar wants N:D"},
    std::pair{Args{"--sar", "1:1", "--dar", "4:3", "a"}, "give one of them"},
    std::pair{Args{"--window", "--dar", "4:3", "a"}, "--dar has no use with --window"},
    std::pair{Args{"--sar", "1:1", "--par", "square", "a"}, "--sar has no use with --window"},
    std::pair{Args{"-0", "a.avi"}, "give - as well"}, std::pair{Args{"--null=1", "-"}, "takes no value"},
    std::pair{Args{"-", "a", "-"}, "- may be given once"},
    std::pair{Args{"--disc", "dvd10", "a"}, "--disc 'dvd10': "},
    std::pair{Args{"--disc", "0", "a"}, "holds nothing"},
    std::pair{Args{"--disc", "each", "--format", "all", "a"}, "--disc plans one format"},
    std::pair{Args{"--window", "--disc", "dvd5", "a"}, "--disc has no use with --window"},
    std::pair{Args{"--audio-kbps", "x", "a"}, "--audio-kbps wants a whole number"},
    std::pair{Args{"--audio-kbps", "0", "a"}, "--audio-kbps wants a whole number"},
    std::pair{Args{"--audio-kbps", "200", "a"}, "--audio-kbps: "},
    std::pair{Args{"--format", "vcd", "--audio-kbps", "192", "a"}, "VCD audio is MP2 at 224"},
    std::pair{Args{"--audio-kbps", "999999", "a"}, "takes 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448 kbit/s, not 999999"},
    std::pair{Args{"--format", "vcd", "--disc", "dvd5", "a"}, "--disc: a VCD goes on a CD"},
    std::pair{Args{"--format", "svcd", "--disc", "dvd9", "a"}, "--disc: an SVCD goes on a CD"},
    std::pair{Args{"--dvd-width", "640", "a"}, "--dvd-width wants 720, 704 or 352, not '640'"},
    std::pair{Args{"--dvd-width", "704", "--format", "svcd", "a"}, "--dvd-width is for DVD only"},
    std::pair{Args{"--dvd-width", "352", "--window", "a"}, "--dvd-width has no use with --window"},
    std::pair{Args{"--dvd-width", "352", "--aspect", "16:9", "a"}, "--aspect 16:9 needs a DVD frame"},
    std::pair{Args{"--output=", "a"}, "--output wants a folder"}),
    [](const auto& info) { return spelled(info.param.first); });
// clang-format on

struct DiscCase {
    Args args;
    std::optional<quorvel::disc::DiscChoice> disc;
    std::optional<int> audioKbps;
    int dvdWidth;
    std::string outputDir;
};

class ReadsDiscOptions : public testing::TestWithParam<DiscCase> {};

TEST_P(ReadsDiscOptions, IntoTheOptions) {
    const ParsedArguments p = parseArguments(GetParam().args);
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(p.options.disc, GetParam().disc);
    EXPECT_EQ(p.options.audioKbps, GetParam().audioKbps);
    EXPECT_EQ(p.options.dvdWidth, GetParam().dvdWidth);
    EXPECT_EQ(p.options.outputDir, GetParam().outputDir);
}

using Kind = quorvel::disc::DiscChoice::Kind;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Disc, ReadsDiscOptions, testing::Values(
    DiscCase{{"a"}, {}, {}, 720, ""},
    DiscCase{{"--disc", "dvd5", "a"}, quorvel::disc::DiscChoice{Kind::Dvd5}, {}, 720, ""},
    DiscCase{{"--disc=DVD9", "a"}, quorvel::disc::DiscChoice{Kind::Dvd9}, {}, 720, ""},
    DiscCase{{"--format", "vcd", "--disc", "cd80", "a"}, quorvel::disc::DiscChoice{Kind::Cd80}, {}, 720, ""},
    DiscCase{{"--disc", "each", "a"}, quorvel::disc::DiscChoice{Kind::Each}, {}, 720, ""},
    DiscCase{{"--disc", "700M", "a"}, quorvel::disc::DiscChoice{Kind::Size, 700u << 20}, {}, 720, ""},
    DiscCase{{"--audio-kbps", "384", "a"}, {}, 384, 720, ""},
    DiscCase{{"--format", "svcd", "--audio-kbps=128", "a"}, {}, 128, 720, ""},
    DiscCase{{"--dvd-width", "704", "a"}, {}, {}, 704, ""},
    DiscCase{{"--format", "all", "--dvd-width=352", "a"}, {}, {}, 352, ""},
    DiscCase{{"--output", "out dir", "a"}, {}, {}, 720, "out dir"}),
    [](const auto& info) { return spelled(info.param.args); });
// clang-format on

TEST(ParseArguments, HelpAndVersionWinOverMistakes) {
    EXPECT_TRUE(parseArguments(Args{"--bogus", "-h"}).ok());
    EXPECT_TRUE(parseArguments(Args{"--version", "--mod", "0"}).options.version);
}

// help2man builds the manual page from --help: every option, the exit
// status and an example must be in it, in its usual layout.
TEST(HelpText, CarriesWhatTheManualPageNeeds) {
    const std::string help = helpText();
    EXPECT_EQ(help.rfind("Usage: quorvel-info ", 0), 0u);
    for (const char* item : {"--format=",     "--standard=",
                             "--size=",       "--json",
                             "--ffmpeg",      "--window",
                             "--sar=",        "--dar=",
                             "--par=",        "--aspect=",
                             "--mod=",        "--disc=",
                             "--audio-kbps=", "--dvd-width=",
                             "--output=",     "-0, --null",
                             "-h, --help",    "--version",
                             "\nOptions:\n",  "\nExit status:\n",
                             "\nExamples:\n", "  quorvel-info film.avi\n"})
        EXPECT_NE(help.find(item), std::string::npos) << item;
    std::size_t lineStart = 0;
    for (std::size_t end; (end = help.find('\n', lineStart)) != std::string::npos;
         lineStart = end + 1)
        EXPECT_LE(end - lineStart, 79u) << help.substr(lineStart, end - lineStart);
}

TEST(HelpText, StatesTheRatiosItUses) {
    for (const char* ratio : {"8:9", "16:15", "32:27", "64:45", "12:11", "16:11", "10:11", "40:33",
                              "18:11", "15:11", "704", "352", "469 1/3"})
        EXPECT_NE(helpText().find(ratio), std::string::npos) << ratio;
}

} // namespace
} // namespace quorvel::info
