#include "source/media/mpeg_flags.h"
#include "tests/source/media/media_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace quorvel::media::mpeg {
namespace {

using mediatest::Buffer;

struct Pic {
    std::uint32_t ref = 0;
    bool extension = true, progressive = true, rff = false;
    std::uint8_t structure = 3;
};
using Gop = std::vector<Pic>;
struct Es {
    std::uint8_t rate = 1;
    bool extension = true, progressiveSequence = true;
    std::vector<Gop> gops;
};

// A sequence header, extension and GOP header before each GOP, then each
// picture with its coding extension and one short slice.
Buffer build(const Es& s) {
    Buffer b;
    const auto add = [&b](std::initializer_list<std::uint32_t> bytes) {
        for (std::uint32_t v : bytes)
            b.push_back(static_cast<std::uint8_t>(v));
    };
    for (const Gop& gop : s.gops) {
        add({0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x20u | s.rate, 0xFF, 0xFF, 0xE0, 0x18});
        if (s.extension)
            add({0, 0, 1, 0xB5, 0x14, s.progressiveSequence ? 0x8Au : 0x82, 0, 1, 0, 0});
        add({0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x40});
        for (const Pic& p : gop) {
            add({0, 0, 1, 0, p.ref >> 2, p.ref << 6 | 0x08});
            if (p.extension)
                add({0, 0, 1, 0xB5, 0x8F, 0xFF, 0xF0u | p.structure,
                     0x40u | p.rff << 1 | p.progressive, p.progressive ? 0x80u : 0});
            add({0, 0, 1, 0x01, 0x12, 0x34});
        }
    }
    add({0, 0, 1, 0xB7});
    return b;
}

Gop refs(std::initializer_list<std::uint32_t> coded) {
    Gop g;
    for (std::uint32_t r : coded)
        g.push_back({r});
    return g;
}
// Open, closed, and odd lengths so that the cycle crosses GOPs at every phase.
const Gop kOpen = refs({2, 0, 1, 5, 3, 4, 8, 6, 7, 11, 9, 10});
const Gop kClosed = refs({0, 3, 1, 2, 6, 4, 5});
const Gop kShort = refs({1, 0, 2});

struct Collect : PictureSink {
    std::vector<Picture> pictures;
    std::vector<TimeCode> timeCodes;
    bool gop(std::size_t, const TimeCode& t) override { return timeCodes.push_back(t), true; }
    bool picture(const Picture& p) override { return pictures.push_back(p), true; }
};

TEST(MpegFlags, SoftPulldownFollowsDisplayOrderAcrossGops) {
    const Buffer corpus = mediatest::readCorpus("mpeg/es-mpeg2-176x144-24000-1001.m2v");
    for (const Buffer& input : {build({.gops = {kOpen, kClosed, kShort, kOpen}}), corpus}) {
        Buffer out = input;
        const FlagResult r = rewriteFlags(out, FlagMode::SoftPulldown);
        ASSERT_EQ(r.outcome, FlagOutcome::Rewritten) << r.error;
        for (std::size_t chunk : {1, 2, 5, 9}) { // headers cut at every byte
            Buffer cut = input;
            EXPECT_EQ(rewriteFlags(cut, FlagMode::SoftPulldown, chunk), r);
            EXPECT_EQ(cut, out);
        }
        Sequence seq;
        ASSERT_EQ(parseSequence(out, true, seq), Status::Ok);
        EXPECT_EQ(frameRate(seq), (Fraction{30000, 1001}));
        EXPECT_FALSE(seq.progressiveSequence);
        Collect c;
        scanPictures(out, 0, true, c);
        const std::vector<Picture> display = displayOrder(c.pictures);
        ASSERT_EQ(display.size(), r.pictures);
        EXPECT_EQ(r.fields, pulldownFields(r.pictures));
        for (std::size_t i = 0; i < display.size(); ++i)
            EXPECT_EQ((FieldFlags{display[i].topFieldFirst, display[i].repeatFirstField}),
                      pulldownFlags(i))
                << i;
        if (input != corpus) {
            EXPECT_EQ(c.timeCodes[1].pictures, 15u); // 12 frames, 30 fields
            EXPECT_EQ(c.timeCodes[3].seconds * 30 + c.timeCodes[3].pictures, 27u); // 22 frames
        }
        // A second run finds it done.
        Buffer again = out;
        EXPECT_EQ(rewriteFlags(again, FlagMode::SoftPulldown).outcome, FlagOutcome::AlreadyDone);
        EXPECT_EQ(again, out);
    }
}

TEST(MpegFlags, AlreadyPulldownPassesFromAnyPhase) {
    // Rewritten from the second GOP on, the cadence starts at its fourth step.
    Buffer out = build({.gops = {kShort, kOpen, kClosed}});
    ASSERT_TRUE(rewriteFlags(out, FlagMode::SoftPulldown).ok());
    std::size_t at = 4;
    while (out[*nextStartCode(out, at) + 3] != kSequenceHeader)
        at = *nextStartCode(out, at) + 4;
    Buffer rest(out.begin() + static_cast<std::ptrdiff_t>(*nextStartCode(out, at)), out.end());
    const Buffer before = rest;
    const FlagResult r = rewriteFlags(rest, FlagMode::SoftPulldown);
    EXPECT_EQ(r.outcome, FlagOutcome::AlreadyDone) << r.error;
    EXPECT_EQ(r.pictures, 19u);
    EXPECT_EQ(rest, before);
}

TEST(MpegFlags, RefusesWhatItDoesNotUnderstandAndLeavesItAlone) {
    struct Case {
        const char* error;
        FlagMode mode;
        std::function<void(Es&)> change;
        std::size_t cut = 0; // bytes dropped from the end
    };
    const auto pic = [](auto set) { return [set](Es& s) { set(s.gops[0][1]); }; };
    const Case cases[] = {
        {"MPEG-1", FlagMode::SoftPulldown, [](Es& s) { s.extension = false; }},
        {"not frame rate code 2", FlagMode::SoftPulldown, [](Es& s) { s.rate = 2; }},
        {"code 3", FlagMode::SoftPulldown, [](Es& s) { s.rate = 3; }},
        {"without soft pulldown", FlagMode::SoftPulldown, [](Es& s) { s.rate = 4; }},
        {"breaks the 2:3", FlagMode::SoftPulldown,
         [](Es& s) { s.rate = 4, s.progressiveSequence = false; }},
        {"Field pictures", FlagMode::SoftPulldown, pic([](Pic& p) { p.structure = 1; })},
        {"interlaced", FlagMode::SoftPulldown, pic([](Pic& p) { p.progressive = false; })},
        {"already repeats", FlagMode::SoftPulldown, pic([](Pic& p) { p.rff = true; })},
        {"no picture coding", FlagMode::SoftPulldown, pic([](Pic& p) { p.extension = false; })},
        {"repeats within", FlagMode::SoftPulldown, pic([](Pic& p) { p.ref = 0; })},
        {"lacks a temporal", FlagMode::SoftPulldown, pic([](Pic& p) { p.ref = 7; })},
        {"shows 37 fields", FlagMode::SoftPulldown,
         [](Es& s) {
             s.gops[1].insert(s.gops[1].end(), {{12}, {13}, {14}});
         }},
        {"ends inside", FlagMode::SoftPulldown, [](Es&) {}, 14},
        {"repeats itself", FlagMode::ProgressiveOnly, pic([](Pic& p) { p.rff = true; })},
        {"MPEG-1", FlagMode::ProgressiveOnly, [](Es& s) { s.extension = false; }},
    };
    for (const Case& c : cases) {
        Es s{.gops = {kClosed, kOpen}};
        c.change(s);
        Buffer b = build(s);
        b.resize(b.size() - c.cut);
        const Buffer before = b;
        const FlagResult r = rewriteFlags(b, c.mode, 3);
        EXPECT_FALSE(r.ok()) << c.error;
        EXPECT_EQ(r.changedBytes, 0u);
        EXPECT_EQ(rewriteFlags(b, c.mode), r); // counts too, wherever the reads end
        EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
        EXPECT_EQ(b, before) << c.error;
    }
}

TEST(MpegFlags, ProgressiveOnlyTouchesOneBitAndWorksOnFiles) {
    const Buffer input = build({.rate = 3, .gops = {kClosed, kOpen}});
    Buffer out = input;
    const FlagResult r = rewriteFlags(out, FlagMode::ProgressiveOnly);
    ASSERT_EQ(r.outcome, FlagOutcome::Rewritten) << r.error;
    EXPECT_EQ(r.changedBytes, 2u);
    for (std::size_t i = 0; i < out.size(); ++i)
        EXPECT_TRUE(out[i] == input[i] || (out[i] ^ input[i]) == 0x08) << i;
    Buffer again = out;
    EXPECT_EQ(rewriteFlags(again, FlagMode::ProgressiveOnly).outcome, FlagOutcome::AlreadyDone);

    // The file road gives the same bytes, and leaves a refused file as it was.
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / u8"quorvel flags ü 'x'.m2v";
    for (const FlagMode mode : {FlagMode::ProgressiveOnly, FlagMode::SoftPulldown}) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(input.data()),
                   static_cast<std::streamsize>(input.size()));
        const FlagResult f = rewriteFlagsInFile(path, mode);
        std::ifstream in(path, std::ios::binary);
        const Buffer written(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(f.ok(), mode == FlagMode::ProgressiveOnly) << f.error;
        EXPECT_EQ(written, f.ok() ? out : input);
    }
    std::filesystem::remove(path);
}

TEST(MpegFlags, FieldsAndTimeCodesCountAtThirty) {
    EXPECT_EQ(pulldownFields(4), 10u);
    EXPECT_EQ(pulldownFields(14), 35u);                     // -g 14 fits a DVD GOP from any phase
    EXPECT_EQ(pulldownFields(22) - pulldownFields(7), 37u); // -g 15 may not
    const struct {
        TimeCode first;
        std::uint64_t fields;
        std::uint32_t h, m, s, p;
    } cases[] = {
        {{}, 30, 0, 0, 0, 15},
        {{false, 1, 0, 0, 12}, 1, 1, 0, 0, 15},
        {{true, 0, 59, 59, 23}, 1, 0, 59, 59, 28},
        {{false, 23, 59, 59, 20}, 10, 0, 0, 0, 0},
        {{false, 0, 0, 0, 30}, 6, 0, 0, 0, 3}, // out of range: from zero
    };
    for (const auto& c : cases) {
        const TimeCode t = pulldownTimeCode(c.first, c.fields);
        EXPECT_EQ(std::tie(t.hours, t.minutes, t.seconds, t.pictures), std::tie(c.h, c.m, c.s, c.p))
            << c.fields;
        EXPECT_FALSE(t.dropFrame);
    }
}

} // namespace
} // namespace quorvel::media::mpeg
