#include "source/media/mpeg_flags.h"
#include "tests/source/media/media_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace quorvel::media::mpeg {
namespace {

using mediatest::Buffer;

// Open, closed, and odd lengths so that GOPs start at every step of the cycle.
const std::vector<std::uint32_t> kClosed{0, 3, 1, 2, 6, 4, 5}, kShort{1, 0, 2},
    kOpen{2, 0, 1, 5, 3, 4, 8, 6, 7, 11, 9, 10};

// The second picture of the first GOP may differ from the others.
struct Pic {
    std::uint32_t ref = 0;
    bool extension = true, progressive = true, rff = false;
    std::uint32_t structure = 3;
};
struct Es {
    std::vector<std::vector<std::uint32_t>> gops{kClosed, kOpen}; // references in coded order
    std::uint32_t rate = 1;
    bool extension = true, progressiveSequence = true;
    std::optional<Pic> odd{};
};

// A sequence header, extension and GOP header before each GOP, then each
// picture with its coding extension and a slice.
Buffer build(const Es& s) {
    Buffer b;
    const auto add = [&b](std::initializer_list<std::uint32_t> bytes) {
        for (std::uint32_t v : bytes)
            b.push_back(static_cast<std::uint8_t>(v));
    };
    for (const auto& gop : s.gops) {
        add({0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x20 | s.rate, 0xFF, 0xFF, 0xE0, 0x18});
        if (s.extension)
            add({0, 0, 1, 0xB5, 0x14, s.progressiveSequence ? 0x8Au : 0x82, 0, 1, 0, 0});
        add({0, 0, 1, 0xB8, 0x04, 0x08, 0x06, 0x40}); // 01:00:00:12, closed
        for (std::size_t i = 0; i < gop.size(); ++i) {
            const Pic p = &gop == &s.gops[0] && i == 1 && s.odd ? *s.odd : Pic{gop[i]};
            add({0, 0, 1, 0, p.ref >> 2, p.ref << 6 | 0x08});
            if (p.extension)
                add({0, 0, 1, 0xB5, 0x8F, 0xFF, 0xF0 | p.structure,
                     0x40u | p.rff << 1 | p.progressive, p.progressive ? 0x80u : 0});
            add({0, 0, 1, 0x01, 0x12, 0x34});
        }
    }
    add({0, 0, 1, 0xB7});
    return b;
}

struct Collect : PictureSink {
    std::vector<Picture> pictures;
    std::vector<TimeCode> timeCodes;
    bool gop(std::size_t, const TimeCode& t) override { return timeCodes.push_back(t), true; }
    bool picture(const Picture& p) override { return pictures.push_back(p), true; }
};

TEST(MpegFlags, SoftPulldownFollowsDisplayOrderAcrossGops) {
    const Buffer corpus = mediatest::readCorpus("mpeg/es-mpeg2-176x144-24000-1001.m2v");
    for (const Buffer& input : {build({{kShort, kOpen, kClosed, kOpen}}), corpus}) {
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
        for (std::size_t i = 0; i < display.size(); ++i)
            EXPECT_EQ((FieldFlags{display[i].topFieldFirst, display[i].repeatFirstField}),
                      pulldownFlags(i))
                << i;
        if (input == corpus)
            continue;
        // Counted at 30 from 01:00:00:15: 3 frames are 8 fields, 22 are 55.
        EXPECT_EQ(std::tie(c.timeCodes[1].hours, c.timeCodes[1].pictures), std::tuple(1u, 19u));
        EXPECT_EQ(std::tie(c.timeCodes[3].seconds, c.timeCodes[3].pictures), std::tuple(1u, 12u));
        // Found done from the second GOP on, the cycle's fourth step.
        const Buffer code{0, 0, 1, 0xB3};
        Buffer tail(std::search(out.begin() + 1, out.end(), code.begin(), code.end()), out.end());
        const FlagResult t = rewriteFlags(tail, FlagMode::SoftPulldown);
        EXPECT_EQ(t.outcome, FlagOutcome::AlreadyDone) << t.error;
        EXPECT_EQ(t.pictures, 31u);
    }
}

TEST(MpegFlags, RefusesWhatItDoesNotUnderstandAndLeavesItAlone) {
    const FlagMode pulldown = FlagMode::SoftPulldown;
    const struct {
        const char* error;
        Es es;
        FlagMode mode = FlagMode::SoftPulldown;
        std::size_t cut = 0; // bytes dropped from the end
    } cases[] = {
        {"MPEG-1", {.extension = false}},
        {"not frame rate code 2", {.rate = 2}},
        {"code 3", {.rate = 3}},
        {"without soft pulldown", {.rate = 4}},
        {"breaks the 2:3", {.rate = 4, .progressiveSequence = false}},
        {"Field pictures", {.odd = Pic{.ref = 3, .structure = 1}}},
        {"interlaced", {.odd = Pic{.ref = 3, .progressive = false}}},
        {"already repeats", {.odd = Pic{.ref = 3, .rff = true}}},
        {"repeats itself", {.odd = Pic{.ref = 3, .rff = true}}, FlagMode::ProgressiveOnly},
        {"no picture coding", {.odd = Pic{.ref = 3, .extension = false}}},
        {"repeats within", {.odd = Pic{0}}},
        {"lacks a temporal", {.odd = Pic{7}}},
        {"shows 37 fields", {{kClosed, {2, 0, 1, 5, 3, 4, 8, 6, 7, 11, 9, 10, 12, 13, 14}}}},
        {"ends inside", {}, pulldown, 14},
    };
    for (const auto& c : cases) {
        Buffer b = build(c.es);
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
    const Buffer input = build({.rate = 3});
    Buffer out = input;
    const FlagResult r = rewriteFlags(out, FlagMode::ProgressiveOnly);
    ASSERT_EQ(r.outcome, FlagOutcome::Rewritten) << r.error;
    EXPECT_EQ(r.changedBytes, 2u);
    for (std::size_t i = 0; i < out.size(); ++i)
        EXPECT_TRUE(out[i] == input[i] || (out[i] ^ input[i]) == 0x08) << i;
    Buffer again = out;
    EXPECT_EQ(rewriteFlags(again, FlagMode::ProgressiveOnly).outcome, FlagOutcome::AlreadyDone);

    // The file road gives the same bytes, and leaves a refused file as it was.
    const auto path = std::filesystem::temp_directory_path() / u8"quorvel flags ü 'x'.m2v";
    for (const FlagMode mode : {FlagMode::ProgressiveOnly, FlagMode::SoftPulldown}) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(input.data()),
                   static_cast<std::streamsize>(input.size()));
        const FlagResult f = rewriteFlagsInFile(path, mode);
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(Buffer(std::istreambuf_iterator<char>(in), {}), f.ok() ? out : input);
        EXPECT_EQ(f.ok(), mode == FlagMode::ProgressiveOnly) << f.error;
    }
    std::filesystem::remove(path);
}

TEST(EndSequence, EndsAStreamOnceAndOnlyOnce) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "quorvel-end-sequence.m2v";
    const Buffer end = {0, 0, 1, 0xB7};
    for (const Buffer& start : {Buffer{}, Buffer{0, 0, 1, 0x00, 0x12}, end}) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(start.data()),
                   static_cast<std::streamsize>(start.size()));
        EXPECT_EQ(endSequence(path), "");
        EXPECT_EQ(endSequence(path), "");
        std::ifstream in(path, std::ios::binary);
        const Buffer got(std::istreambuf_iterator<char>(in), {});
        Buffer want = start;
        if (start != end)
            want.insert(want.end(), end.begin(), end.end());
        EXPECT_EQ(got, want);
    }
    std::filesystem::remove(path);
    EXPECT_NE(endSequence(path / "missing"), "");
}

} // namespace
} // namespace quorvel::media::mpeg
