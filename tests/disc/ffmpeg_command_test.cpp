#include "disc/ffmpeg_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace quorvel::disc {
namespace {

using media::FieldOrder;
using media::Scan;

struct TextCase {
    const char* name;
    std::string in;
    std::string out;
};
void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class ShellQuote : public testing::TestWithParam<TextCase> {};
TEST_P(ShellQuote, QuotesOnlyWhatAShellWouldChange) {
    EXPECT_EQ(shellQuote(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(
    Table, ShellQuote,
    testing::Values(TextCase{"plain", "clip.mkv", "clip.mkv"},
                    TextCase{"filter", "scale=720:576,pad=720:576:0:0",
                             "scale=720:576,pad=720:576:0:0"},
                    TextCase{"option", "-b:v", "-b:v"}, TextCase{"empty", "", "''"},
                    TextCase{"space", "my clip.mkv", "'my clip.mkv'"},
                    TextCase{"apostrophe", "it's.mkv", "'it'\\''s.mkv'"},
                    TextCase{"apostrophes only", "''", "''\\'''\\'''"},
                    TextCase{"double quotes", "a \"b\"", "'a \"b\"'"},
                    TextCase{"dollar", "$HOME", "'$HOME'"}, TextCase{"backquote", "`x`", "'`x`'"},
                    TextCase{"backslash", "a\\b", "'a\\b'"},
                    TextCase{"star", "PTS*960/1001", "'PTS*960/1001'"},
                    TextCase{"tilde", "~/a", "'~/a'"}, TextCase{"newline", "a\nb", "'a\nb'"},
                    TextCase{"not utf-8", "clip\xff.mkv", "'clip\xff.mkv'"},
                    TextCase{"utf-8", "caf\xc3\xa9.mkv", "'caf\xc3\xa9.mkv'"},
                    TextCase{"nul", std::string("a\0b", 3), std::string("'a\0b'", 5)}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(ShellLine, JoinsQuotedArguments) {
    EXPECT_EQ(shellLine({"ffmpeg", "-i", "it's a clip.mkv", "-vf", "setpts=PTS*24/25"}),
              "ffmpeg -i 'it'\\''s a clip.mkv' -vf 'setpts=PTS*24/25'");
    EXPECT_EQ(shellLine({}), "");
}

struct OutputCase {
    const char* name;
    std::string input;
    std::string dir;
    std::string out;
};
void PrintTo(const OutputCase& c, std::ostream* os) {
    *os << c.name;
}
class OutputPath : public testing::TestWithParam<OutputCase> {};
TEST_P(OutputPath, IsTheInputsNameWithMpg) {
    EXPECT_EQ(outputPath(GetParam().input, GetParam().dir), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(
    Table, OutputPath,
    testing::Values(OutputCase{"here", "clip.mkv", "", "clip.mpg"},
                    OutputCase{"from a folder", "/videos/clip.avi", "", "clip.mpg"},
                    OutputCase{"into a folder", "/videos/clip.avi", "out", "out/clip.mpg"},
                    OutputCase{"into a folder with slash", "clip.avi", "/tmp/", "/tmp/clip.mpg"},
                    OutputCase{"mpg input", "clip.mpg", "", "clip.disc.mpg"},
                    OutputCase{"MPEG input", "x/clip.MPEG", "out", "out/clip.disc.mpg"},
                    OutputCase{"two dots", "a.b.mkv", "", "a.b.mpg"},
                    OutputCase{"no extension", "clip", "", "clip.mpg"},
                    OutputCase{"hidden", ".clip", "", ".clip.mpg"},
                    OutputCase{"dot in folder", "v.d/clip", "", "clip.mpg"},
                    OutputCase{"folder only", "videos/", "", "output.mpg"},
                    OutputCase{"dot dot", "..", "", "output.mpg"},
                    OutputCase{"bytes kept", "it's \xff.mkv", "", "it's \xff.mpg"}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(FfmpegPath, KeepsOptionsAndProtocolsAway) {
    EXPECT_EQ(ffmpegPath("clip.mkv"), "clip.mkv");
    EXPECT_EQ(ffmpegPath("/a/b c.mkv"), "/a/b c.mkv");
    EXPECT_EQ(ffmpegPath("-clip.mkv"), "file:-clip.mkv");
    EXPECT_EQ(ffmpegPath("-"), "file:-");
    EXPECT_EQ(ffmpegPath("a:b.mkv"), "file:a:b.mkv");
    EXPECT_EQ(ffmpegPath("http://x/y.mkv"), "file:http://x/y.mkv");
    EXPECT_EQ(ffmpegPath("dir/a:b.mkv"), "dir/a:b.mkv");
    EXPECT_EQ(ffmpegPath(""), "file:");
}

TEST(TurnedCrop, FollowsTheClockwiseTurn) {
    const media::Crop c{1, 2, 3, 4}; // left, top, right, bottom
    EXPECT_EQ(turnedCrop(c, 0), c);
    EXPECT_EQ(turnedCrop(c, 90), (media::Crop{4, 1, 2, 3})); // the left edge comes to the top
    EXPECT_EQ(turnedCrop(c, 180), (media::Crop{3, 4, 1, 2}));
    EXPECT_EQ(turnedCrop(c, 270), (media::Crop{2, 3, 4, 1})); // the right edge comes to the top
    EXPECT_EQ(turnedCrop(c, -90), turnedCrop(c, 270));
    EXPECT_EQ(turnedCrop(c, 450), turnedCrop(c, 90));
    EXPECT_EQ(turnedCrop(c, 45), c); // not a quarter: ffmpeg does not turn it
}

SourceTiming timing(Fraction rate, std::optional<Scan> scan = Scan::Progressive,
                    std::optional<FieldOrder> order = std::nullopt) {
    SourceTiming t;
    t.rate = rate;
    t.scan = scan;
    t.fieldOrder = order;
    return t;
}

CommandInput dvdPal(SourceTiming t) {
    CommandInput in;
    in.inputPath = "/videos/clip.mkv";
    in.format = Format::Dvd;
    in.standard = Standard::Pal;
    in.tv = {720, 576};
    in.movie = {720, 576};
    in.plan = planRate(t, in.format, in.standard);
    return in;
}

std::vector<std::string> argsOf(const CommandInput& in) {
    const CommandResult r = buildCommand(in);
    EXPECT_TRUE(r.command) << r.error;
    return r.command ? r.command->args : std::vector<std::string>{};
}

std::string filterOf(const CommandInput& in) {
    const CommandResult r = buildCommand(in);
    EXPECT_TRUE(r.command) << r.error;
    return r.command ? r.command->filter : std::string{};
}

TEST(BuildCommand, ProgressivePalDvd) {
    CommandInput in = dvdPal(timing({25, 1}));
    in.movie = {720, 405};
    in.wide = false;
    const CommandResult r = buildCommand(in);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(r.command->filter, "scale=720:405,pad=720:576:0:85,setsar=16/15,format=yuv420p");
    // A DVD's progressive picture goes to an elementary stream of its own,
    // whose flags are rewritten before mplex multiplexes it with the sound.
    EXPECT_EQ(r.command->output, "clip.mpg");
    EXPECT_EQ(r.command->lines(),
              (std::vector<std::string>{
                  "ffmpeg -nostdin -i /videos/clip.mkv -map 0:v:0 -vf "
                  "scale=720:405,pad=720:576:0:85,setsar=16/15,format=yuv420p -target pal-dvd "
                  "-r 25 -s 720x576 -aspect 4:3 -b:v 6000k -maxrate:v 9685k -an -f mpeg2video "
                  "clip.m2v -map 0:a:0 -af aresample=async=1 -c:a ac3 -ar 48000 -b:a 192k -ac 2 "
                  "-vn -f ac3 clip.ac3",
                  "quorvel-disc --rewrite-flags progressive clip.m2v",
                  "mplex -v 0 -f 8 -R 5 -o clip.mpg clip.m2v clip.ac3"}));
    EXPECT_EQ(r.command->remux->flags, media::mpeg::FlagMode::ProgressiveOnly);
}

TEST(BuildCommand, InterlacedKeepsFieldsApartAndInOrder) {
    CommandInput in = dvdPal(timing({25, 1}, Scan::Interlaced, FieldOrder::BottomFirst));
    in.movie = {720, 405}; // odd: each field needs the same lines
    in.crop = media::Crop{2, 3, 4, 5};
    const auto args = argsOf(in);
    ASSERT_GE(args.size(), 6u);
    // Crop top and bottom made multiples of 4 (0 and 4); the picture 404 high
    // starts on line 88, so each field keeps its own lines and chroma.
    EXPECT_EQ(args[5], "crop=iw-6:ih-4:2:0,setfield=bff,scale=720:404:interl=1,pad=720:576:0:88,"
                       "setsar=16/15,format=yuv420p");
    const std::vector<std::string> tail(args.end() - 5, args.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"-flags", "+ildct+ilme", "-top", "0", "clip.mpg"}));
    // Onto VCD the fields are deinterlaced, after the crop: it keeps them apart too.
    CommandInput vcd = in;
    vcd.format = Format::Vcd;
    vcd.tv = {352, 288};
    vcd.movie = {352, 288};
    vcd.plan = planRate(timing({25, 1}, Scan::Interlaced, FieldOrder::BottomFirst), vcd.format,
                        vcd.standard);
    EXPECT_EQ(filterOf(vcd).rfind("crop=iw-6:ih-4:2:0,yadif=", 0), 0u) << filterOf(vcd);
}

TEST(BuildCommand, InterlacedPictureStartsOnAFieldsChromaLine) {
    // 50p into a 16:9 NTSC DVD at 720x363, woven. 364 lines leave 116, and
    // the picture starts on line 60, not 58: 4:2:0's chroma line 15, the top
    // field's, not line 14.5. The scale sees whole frames.
    CommandInput in = dvdPal(timing({50, 1}));
    in.standard = Standard::Ntsc;
    in.tv = {720, 480};
    in.movie = {720, 363};
    in.wide = true;
    in.plan = planRate(timing({50, 1}), in.format, in.standard);
    const std::string to5994 = "fps=60000/1001:eof_action=pass,";
    EXPECT_EQ(filterOf(in), to5994 + "scale=720:364,interlace=scan=tff,setfield=tff,"
                                     "pad=720:480:0:60,setsar=32/27,format=yuv420p");
    // 2.39:1 into it: 357 lines. 356, and the top border 64, not 62.
    in.movie = {720, 357};
    EXPECT_EQ(filterOf(in), to5994 + "scale=720:356,interlace=scan=tff,setfield=tff,"
                                     "pad=720:480:0:64,setsar=32/27,format=yuv420p");
    in.movie = {720, 363};
    // Progressive, the same picture keeps its size and is centred to the line.
    in.plan = planRate(timing({30000, 1001}), in.format, in.standard);
    EXPECT_EQ(filterOf(in), "scale=720:363,pad=720:480:0:58,setsar=32/27,format=yuv420p");
}

TEST(BuildCommand, EveryInterlacedPictureKeepsItsFieldsChroma) {
    // Each height of picture, of kept fields and of woven frames: 4:2:0
    // chroma lines pair with fields only on lines that are multiples of 4.
    const std::pair<Standard, SourceTiming> sources[] = {
        {Standard::Pal, timing({25, 1}, Scan::Interlaced, FieldOrder::TopFirst)},
        {Standard::Ntsc, timing({50, 1})}};
    for (const auto& [standard, source] : sources) {
        CommandInput in = dvdPal(source);
        in.standard = standard;
        in.tv = discFrame(in.format, standard);
        in.plan = planRate(source, in.format, standard);
        ASSERT_TRUE(in.plan.interlaced);
        for (int height = 2; height <= in.tv.height; ++height) {
            in.movie = {720, height};
            const auto made = buildCommand(in).command;
            ASSERT_TRUE(made);
            const int lines = made->movie.height;
            const std::string pad = "pad=720:" + std::to_string(in.tv.height) + ":0:";
            const std::size_t at = made->filter.find(pad);
            ASSERT_NE(at, std::string::npos) << made->filter;
            const int top = std::stoi(made->filter.substr(at + pad.size()));
            EXPECT_TRUE(
                lines % 4 == 0 && top % 4 == 0 && std::abs(lines - height) <= 2 &&
                top + lines <= in.tv.height && std::abs(2 * top + lines - in.tv.height) <= 4 &&
                made->filter.find("scale=720:" + std::to_string(lines)) != std::string::npos)
                << height << ": " << made->filter;
        }
    }
}

TEST(BuildCommand, EveryFormatTakesNoKeysMakesStereoAndFitsItsMultiplex) {
    for (const Format f : {Format::Vcd, Format::Svcd, Format::Dvd}) {
        CommandInput in = dvdPal(timing({25, 1}));
        in.format = f;
        in.tv = discFrame(f, in.standard);
        in.movie = in.tv;
        in.plan = planRate(timing({25, 1}), f, in.standard);
        const auto args = argsOf(in);
        ASSERT_GE(args.size(), 8u);
        EXPECT_EQ(args[1], "-nostdin");
        const auto after = [&](std::string_view option) {
            const auto it = std::find(args.begin(), args.end(), option);
            return it == args.end() || it + 1 == args.end() ? std::string("none") : *(it + 1);
        };
        EXPECT_EQ(after("-af"), "aresample=async=1");
        EXPECT_EQ(after("-ac"), "2");
        // 150 packs of 2,324 bytes a second, as bit/s.
        EXPECT_EQ(after("-muxrate"), f == Format::Svcd ? "2788800" : "none");
    }
}

TEST(BuildCommand, ProgressiveCropIsExact) {
    CommandInput in = dvdPal(timing({25, 1}));
    in.crop = media::Crop{0, 3, 0, 5};
    EXPECT_EQ(filterOf(in),
              "crop=iw:ih-8:0:3,scale=720:576,pad=720:576:0:0,setsar=16/15,format=yuv420p");
    in.crop = media::Crop{};
    EXPECT_EQ(filterOf(in), "scale=720:576,pad=720:576:0:0,setsar=16/15,format=yuv420p");
}

TEST(BuildCommand, CropTurnsWithThePicture) {
    CommandInput in = dvdPal(timing({25, 1}));
    in.crop = media::Crop{240, 0, 200, 0};
    in.rotation = 90; // stored left and right bars show at the top and bottom
    EXPECT_EQ(filterOf(in),
              "crop=iw:ih-440:0:240,scale=720:576,pad=720:576:0:0,setsar=16/15,format=yuv420p");
}

TEST(BuildCommand, FilmToNtscVcdKeepsFilmRate) {
    CommandInput in;
    in.inputPath = "film.mp4";
    in.outputDir = "out dir";
    in.format = Format::Vcd;
    in.standard = Standard::Ntsc;
    in.tv = {352, 240};
    in.movie = {352, 198};
    in.plan = planRate(timing({24000, 1001}), in.format, in.standard);
    in.videoKbps = 900; // VCD has one rate
    const CommandResult r = buildCommand(in);
    ASSERT_TRUE(r.command) << r.error;
    EXPECT_EQ(r.command->args, (std::vector<std::string>{
                                   "ffmpeg",
                                   "-nostdin",
                                   "-i",
                                   "film.mp4",
                                   "-vf",
                                   "scale=352:198,pad=352:240:0:21,setsar=10/11,format=yuv420p",
                                   "-af",
                                   "aresample=async=1",
                                   "-target",
                                   "ntsc-vcd",
                                   "-r",
                                   "24000/1001",
                                   "-s",
                                   "352x240",
                                   "-aspect",
                                   "4:3",
                                   "-b:v",
                                   "1150k",
                                   "-minrate:v",
                                   "1150k",
                                   "-maxrate:v",
                                   "1150k",
                                   "-b:a",
                                   "224k",
                                   "-ac",
                                   "2",
                                   "out dir/film.mpg"}));
    EXPECT_TRUE(r.command->command.ends_with(" 'out dir/film.mpg'")) << r.command->command;
}

TEST(BuildCommand, SpeedChangeTempoesTheAudio) {
    CommandInput in = dvdPal(timing({24000, 1001}));
    in.videoKbps = 4901;
    in.audioKbps = 224;
    const std::string line = shellLine(argsOf(in));
    EXPECT_NE(line.find(" -vf 'setpts=PTS*960/1001,fps=25:eof_action=pass,scale=720:576,"),
              std::string::npos)
        << line;
    EXPECT_NE(line.find(" -af aresample=async=1,atempo=1001/960 "), std::string::npos) << line;
    EXPECT_NE(line.find("-b:v 4901k -maxrate:v 9653k "), std::string::npos) << line;
    EXPECT_NE(line.find("-b:a 224k -ac 2 "), std::string::npos) << line;
}

TEST(BuildCommand, FilmOntoNtscIsSoftPulldownOnDvdTelecineOnSvcd) {
    CommandInput in = dvdPal(timing({24000, 1001}));
    in.standard = Standard::Ntsc;
    in.tv = {720, 480};
    in.movie = {720, 480};
    in.wide = true;
    in.plan = planRate(timing({24000, 1001}), in.format, in.standard);
    const CommandResult dvd = buildCommand(in);
    ASSERT_TRUE(dvd.command);
    EXPECT_EQ(dvd.command->filter, "scale=720:480,pad=720:480:0:0,setsar=32/27,format=yuv420p");
    // The film's frames at their own rate, a GOP within DVD's 36 fields.
    EXPECT_NE(dvd.command->command.find("-aspect 16:9 -b:v 6000k -maxrate:v 9685k -g 12 -an "),
              std::string::npos)
        << dvd.command->command;
    EXPECT_NE(dvd.command->command.find(" -r 24000/1001 "), std::string::npos);
    EXPECT_EQ(dvd.command->lines().at(1), "quorvel-disc --rewrite-flags pulldown clip.m2v");
    // SVCD: telecined fields, top first.
    in.format = Format::Svcd;
    in.tv = {480, 480};
    in.movie = {480, 480};
    in.wide = false;
    in.plan = planRate(timing({24000, 1001}), in.format, in.standard);
    const auto args = argsOf(in);
    EXPECT_EQ(args[5], "scale=480:480,telecine=first_field=top:pattern=23,setfield=tff,"
                       "pad=480:480:0:0,setsar=4/3,format=yuv420p");
    const std::string line = shellLine(args);
    EXPECT_NE(line.find("-flags +ildct+ilme -top 1 clip.mpg"), std::string::npos) << line;
}

TEST(BuildCommand, PathsThatLookLikeOptionsOrProtocols) {
    CommandInput in = dvdPal(timing({25, 1}));
    in.inputPath = "-x:y.mkv";
    const CommandResult r = buildCommand(in);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(r.command->args[3], "file:-x:y.mkv");
    EXPECT_EQ(r.command->args.back(), "file:-x:y.ac3");
    EXPECT_EQ(r.command->output, "-x:y.mpg");
    // mplex takes its output name for a printf pattern.
    EXPECT_EQ(r.command->remux->mplexArgs,
              (std::vector<std::string>{"mplex", "-v", "0", "-f", "8", "-R", "5", "-o",
                                        "./-x:y.mpg", "./-x:y.m2v", "./-x:y.ac3"}));
    in.output = "-%d%s%%.mpg";
    EXPECT_EQ(buildCommand(in).command->remux->mplexArgs.at(8), "./-%%d%%s%%%%.mpg");
    // Without sound and without a known running time there is no silence to
    // match the picture.
    in.hasAudio = false;
    EXPECT_FALSE(buildCommand(in).command);
    in.plan = planRate(timing({25, 1}), Format::Svcd, in.standard);
    EXPECT_TRUE(buildCommand(in).command);
}

TEST(BuildCommand, RefusesWhatNoDiscTakes) {
    CommandInput in = dvdPal(timing({25, 1}));
    in.movie = {722, 576};
    EXPECT_EQ(buildCommand(in).error, "the picture 722x576 does not fit the frame 720x576");
    in.movie = {0, 576};
    EXPECT_FALSE(buildCommand(in).command);
    in.movie = {352, 576};
    in.tv = {352, 576};
    in.wide = true;
    EXPECT_EQ(buildCommand(in).error, "a DVD frame of 352 columns is 4:3 only");
    in = dvdPal(timing({25, 1}));
    in.audioKbps = 100;
    EXPECT_FALSE(buildCommand(in).command);
    in.audioKbps = std::nullopt;
    in.videoKbps = 9686;
    EXPECT_EQ(buildCommand(in).error, "a video rate of 9686 kbit/s is outside DVD's 1 to 9685");
    in.videoKbps = 0;
    EXPECT_FALSE(buildCommand(in).command);
}

} // namespace
} // namespace quorvel::disc
