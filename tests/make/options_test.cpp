#include "make/options.h"

#include <gtest/gtest.h>

namespace quorvel::make {
namespace {

ParsedDiscArguments parse(std::vector<std::string_view> args) {
    return parseDiscArguments(args);
}

TEST(DiscOptions, RefusesWhatCannotBeMade) {
    struct Row {
        std::vector<std::string_view> args;
        const char* error; // a part of it
    };
    const Row rows[] = {
        {{}, "no video files"},
        {{"--format", "vcd", "--disc", "dvd5", "a.mp4"}, "goes on a CD"},
        {{"--disc", "each", "a.mp4"}, "--disc wants"},
        {{"--jobs", "0", "a.mp4"}, "--jobs wants"},
        {{"--jobs=65", "a.mp4"}, "--jobs wants"},
        {{"--chapters", "-1", "a.mp4"}, "--chapters wants"},
        {{"--menu", "--format", "vcd", "a.mp4"}, "--menu is for a DVD"},
        {{"--splat", "a.mp4"}, "unknown option --splat"},
        {{"a.mp4", "--output"}, "--output wants a value"},
        {{"--rewrite-flags", "soft", "a.m2v"}, "--rewrite-flags wants pulldown or progressive"},
        {{"--rewrite-flags=pulldown", "a.m2v", "b.m2v"}, "takes one MPEG-2 video stream"},
    };
    for (const Row& r : rows) {
        const ParsedDiscArguments p = parse(r.args);
        EXPECT_NE(p.error.find(r.error), std::string::npos) << r.error << ": " << p.error;
    }
}

TEST(DiscOptions, ReadsValuesAndNamesTheImage) {
    const ParsedDiscArguments p = parse({"--format=SVCD", "--standard", "pal", "--disc", "cd74",
                                         "--jobs", "3", "--output", "trip.bin", "--", "-x.mp4"});
    ASSERT_TRUE(p.ok()) << p.error;
    const DiscOptions& o = p.options;
    EXPECT_EQ(o.format, disc::Format::Svcd);
    EXPECT_EQ(o.standard, disc::Standard::Pal);
    EXPECT_EQ(o.jobs, 3);
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"-x.mp4"}));
    EXPECT_EQ(imagePath(o), "trip.cue");
    EXPECT_EQ(workFolder(o, imagePath(o)), "trip.work");
    EXPECT_EQ(imagePath(parse({"--output", "trip.bin", "a.mp4"}).options), "trip.bin.iso");
    EXPECT_EQ(imagePath(parse({"a.mp4"}).options), "disc.iso");
    EXPECT_EQ(imagePath(parse({"--output", "x/film.iso", "a.mp4"}).options), "x/film.iso");
    EXPECT_TRUE(cueNameProblem("dir\"/ok.cue").empty());
    EXPECT_FALSE(cueNameProblem("a\"b.cue").empty());
    EXPECT_FALSE(cueNameProblem("a\nb.cue").empty());
    EXPECT_EQ(parse({"--rewrite-flags", "progressive", "a.m2v"}).options.rewriteFlags,
              media::mpeg::FlagMode::ProgressiveOnly);
}

} // namespace
} // namespace quorvel::make
