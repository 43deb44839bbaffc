#include "source/media/mpeg.h"
#include "tests/source/media/media_test_support.h"
#include "tests/support/byte_builder.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace quorvel::media {
namespace {

using namespace mpeg;
using bytetest::cat;
using mediatest::Buffer;
using mediatest::run;

// Writes fields most significant bit first.
class Bits {
public:
    Bits& put(std::uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (bit_ % 8 == 0)
                bytes_.push_back(0);
            if (v >> i & 1u)
                bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (bit_ % 8));
            ++bit_;
        }
        return *this;
    }
    Buffer bytes() const { return bytes_; }

private:
    Buffer bytes_;
    int bit_ = 0;
};

Buffer code(std::uint8_t c) {
    return {0, 0, 1, c};
}

struct Header {
    std::uint32_t width = 352, height = 288, aspect = 1, rate = 3;
    bool intra = false, nonIntra = false;
};
Buffer sequence(const Header& h) {
    Bits b;
    b.put(h.width, 12).put(h.height, 12).put(h.aspect, 4).put(h.rate, 4);
    b.put(0x3FFFF, 18).put(1, 1).put(20, 10).put(0, 1);
    b.put(h.intra, 1);
    for (int i = 0; h.intra && i < 64; ++i)
        b.put(16, 8);
    b.put(h.nonIntra, 1);
    for (int i = 0; h.nonIntra && i < 64; ++i)
        b.put(16, 8);
    return cat({code(0xB3), b.bytes()});
}
Buffer sequenceExtension(std::uint32_t widthExt = 0, std::uint32_t heightExt = 0,
                         std::uint32_t n = 0, std::uint32_t d = 0) {
    Bits b;
    b.put(1, 4).put(0x48, 8).put(1, 1).put(1, 2).put(widthExt, 2).put(heightExt, 2);
    b.put(0, 12).put(1, 1).put(0, 8).put(0, 1).put(n, 2).put(d, 5);
    return cat({code(0xB5), b.bytes()});
}
Buffer displayExtension(std::uint32_t w, std::uint32_t h, bool colour = false) {
    Bits b;
    b.put(2, 4).put(1, 3).put(colour, 1);
    if (colour)
        b.put(0x010101, 24);
    b.put(w, 14).put(1, 1).put(h, 14).put(0, 3);
    return cat({code(0xB5), b.bytes()});
}
Buffer gop() {
    return cat({code(0xB8), {0, 8, 0, 0}});
}
Buffer es(std::initializer_list<Buffer> parts) {
    return cat({cat(parts), gop(), code(0x00), Buffer(8, 0x11)});
}

// An MPEG-2 pack header with `stuffing` bytes, and an MPEG-1 one.
Buffer pack2(std::uint8_t stuffing = 0) {
    Buffer b = cat({code(0xBA),
                    {0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3},
                    {static_cast<std::uint8_t>(0xF8 | stuffing)}});
    b.insert(b.end(), stuffing, 0xFF);
    return b;
}
Buffer pack1() {
    return cat({code(0xBA), {0x21, 0, 1, 0, 1, 0x80, 0x1B, 0x91}});
}
Buffer packet(std::uint8_t stream, const Buffer& body) {
    return cat(
        {code(stream),
         {static_cast<std::uint8_t>(body.size() >> 8), static_cast<std::uint8_t>(body.size())},
         body});
}
// A PES packet with an MPEG-2 header holding a time stamp.
Buffer pes2(std::uint8_t stream, const Buffer& payload) {
    return packet(stream, cat({{0x81, 0x80, 5, 0x21, 0, 1, 0, 1}, payload}));
}
// An MPEG-1 packet: stuffing, buffer size, both time stamps (whose bytes are
// the caller's to choose).
Buffer pes1(std::uint8_t stream, const Buffer& payload, const Buffer& dts = {0x11, 0, 1, 0, 1}) {
    return packet(stream, cat({{0xFF, 0xFF, 0x40, 0x20, 0x31, 0, 1, 0, 1}, dts, payload}));
}
Buffer programEnd() {
    return code(0xB9);
}

struct Expect {
    Container container = Container::MpegEs;
    std::string codec = "mpeg1video";
    std::uint32_t width = 352, height = 288;
    std::optional<Fraction> rate = Fraction{25, 1};
    std::optional<Fraction> sar = Fraction{1, 1};
};

void expectVideo(const ProbeResult& r, const Expect& e) {
    ASSERT_TRUE(r.ok()) << r.error;
    const VideoInfo& v = *r.video;
    EXPECT_EQ(v.container, e.container);
    EXPECT_EQ(v.codec, e.codec);
    EXPECT_EQ(v.width, e.width);
    EXPECT_EQ(v.height, e.height);
    EXPECT_EQ(v.rate, e.rate);
    EXPECT_EQ(v.sar, e.sar);
}

// Width, height, codec and r_frame_rate as ffprobe gives them; the shape is
// ffprobe's too except for MPEG-1's code 8, where ffprobe rounds 1/0.9157 to
// 178:163 and we keep the table's four places.
TEST(MpegCorpus, ReadsEachFileFromItsPrefixAlone) {
    const struct {
        const char* file;
        Expect expect;
    } cases[] = {
        {"ps-mpeg2-720x576-dar16x9-25.mpg",
         {Container::MpegPs, "mpeg2video", 720, 576, Fraction{25, 1}, Fraction{64, 45}}},
        {"ps-mpeg2-720x480-dar4x3-30000-1001.mpg",
         {Container::MpegPs, "mpeg2video", 720, 480, Fraction{30000, 1001}, Fraction{8, 9}}},
        {"es-mpeg2-176x144-24000-1001.m2v",
         {Container::MpegEs, "mpeg2video", 176, 144, Fraction{24000, 1001}, Fraction{1, 1}}},
        {"ps-mpeg1-352x288-25.mpg",
         {Container::MpegPs, "mpeg1video", 352, 288, Fraction{25, 1}, Fraction{1, 1}}},
        {"ps-mpeg1-352x288-code8-25.mpg",
         {Container::MpegPs, "mpeg1video", 352, 288, Fraction{25, 1}, Fraction{10000, 9157}}},
        {"es-mpeg1-160x120-24.m1v",
         {Container::MpegEs, "mpeg1video", 160, 120, Fraction{24, 1}, Fraction{1, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Buffer file = mediatest::readCorpus(std::string("mpeg/") + c.file);
        ASSERT_FALSE(file.empty());
        const mediatest::Run r = run(file, &readMpeg);
        expectVideo(r.result, c.expect);
        EXPECT_EQ(r.calls, 1u);
        const mediatest::Run small = run(file, &readMpeg, 12);
        expectVideo(small.result, c.expect);
        EXPECT_LE(small.calls, 3u);
    }
}

struct Good {
    const char* name;
    Buffer file;
    Expect expect = {};
};

void PrintTo(const Good& c, std::ostream* os) {
    *os << c.name;
}

std::vector<Good> goodFiles() {
    const Buffer mpeg2 =
        es({sequence({.width = 720, .height = 576, .aspect = 3}), sequenceExtension()});
    const Buffer plain = es({sequence({})});
    return {
        {"Mpeg1", plain},
        {"Mpeg1PelAspect", es({sequence({.aspect = 3})}), {.sar = Fraction{10000, 7031}}},
        {"Mpeg1Ccir525", es({sequence({.aspect = 12})}), {.sar = Fraction{200, 219}}},
        {"Mpeg1ForbiddenAspect", es({sequence({.aspect = 0})}), {.sar = std::nullopt}},
        {"Mpeg1ReservedAspect", es({sequence({.aspect = 15})}), {.sar = std::nullopt}},
        {"Mpeg1ReservedRate", es({sequence({.rate = 9})}), {.rate = std::nullopt}},
        {"Mpeg1Matrices", es({sequence({.intra = true, .nonIntra = true})})},
        {"Mpeg2Wide",
         mpeg2,
         {.codec = "mpeg2video", .width = 720, .height = 576, .sar = Fraction{64, 45}}},
        {"Mpeg2Cinema",
         es({sequence({.width = 720, .height = 480, .aspect = 4, .rate = 4}), sequenceExtension()}),
         {.codec = "mpeg2video",
          .width = 720,
          .height = 480,
          .rate = Fraction{30000, 1001},
          .sar = Fraction{221, 150}}},
        {"Mpeg2ReservedAspect",
         es({sequence({.aspect = 5}), sequenceExtension()}),
         {.codec = "mpeg2video", .sar = std::nullopt}},
        {"Mpeg2SizeExtension",
         es({sequence({.width = 0x80, .height = 0x70, .aspect = 1}), sequenceExtension(1, 2)}),
         {.codec = "mpeg2video", .width = 0x1080, .height = 0x2070}},
        {"Mpeg2RateExtension",
         es({sequence({.rate = 4}), sequenceExtension(0, 0, 1, 0)}),
         {.codec = "mpeg2video", .rate = Fraction{60000, 1001}}},
        {"Mpeg2RateExtensionDivides",
         es({sequence({.rate = 6}), sequenceExtension(0, 0, 0, 1)}),
         {.codec = "mpeg2video", .rate = Fraction{25, 1}}},
        {"DisplayExtensionSetsTheShape",
         es({sequence({.width = 720, .height = 576, .aspect = 2}), sequenceExtension(),
             displayExtension(704, 576)}),
         {.codec = "mpeg2video", .width = 720, .height = 576, .sar = Fraction{12, 11}}},
        {"DisplayExtensionWithColour",
         es({sequence({.width = 720, .height = 576, .aspect = 3}), sequenceExtension(),
             cat({code(0xB2), Buffer(20, 7)}), displayExtension(704, 576, true)}),
         {.codec = "mpeg2video", .width = 720, .height = 576, .sar = Fraction{16, 11}}},
        {"ZeroDisplaySizeUsesTheFrame",
         es({sequence({.width = 720, .height = 576, .aspect = 3}), sequenceExtension(),
             displayExtension(0, 576)}),
         {.codec = "mpeg2video", .width = 720, .height = 576, .sar = Fraction{64, 45}}},
        {"DisplayExtensionAfterThePictureDoesNotCount",
         es({sequence({.width = 720, .height = 576, .aspect = 3}), sequenceExtension(), gop(),
             displayExtension(704, 576)}),
         {.codec = "mpeg2video", .width = 720, .height = 576, .sar = Fraction{64, 45}}},
        {"Mpeg2Program",
         cat({pack2(), packet(0xBB, Buffer(12, 0xFF)), pes2(0xC0, Buffer(30, 0x55)),
              pes2(0xE0, mpeg2), programEnd()}),
         {.container = Container::MpegPs,
          .codec = "mpeg2video",
          .width = 720,
          .height = 576,
          .sar = Fraction{64, 45}}},
        {"PackStuffing", cat({pack2(7), pes2(0xE0, plain)}), {.container = Container::MpegPs}},
        {"Mpeg1Program",
         cat({pack1(), pes1(0xE0, plain), programEnd()}),
         {.container = Container::MpegPs}},
        {"TimeStampsAreNotVideo",
         cat({pack1(), pes1(0xE0, plain, {0x00, 0x00, 0x01, 0xB3, 0x00}), programEnd()}),
         {.container = Container::MpegPs}},
        {"HeaderSplitOverTwoPackets",
         cat({pack2(), pes2(0xE0, Buffer(mpeg2.begin(), mpeg2.begin() + 7)), pack2(),
              pes2(0xE0, Buffer(mpeg2.begin() + 7, mpeg2.end()))}),
         {.container = Container::MpegPs,
          .codec = "mpeg2video",
          .width = 720,
          .height = 576,
          .sar = Fraction{64, 45}}},
        {"OnlyTheFirstVideoStream",
         cat({pack2(), pes2(0xE1, Buffer(mpeg2.begin(), mpeg2.begin() + 7)), pes2(0xE0, plain),
              pes2(0xE1, Buffer(mpeg2.begin() + 7, mpeg2.end()))}),
         {.container = Container::MpegPs,
          .codec = "mpeg2video",
          .width = 720,
          .height = 576,
          .sar = Fraction{64, 45}}},
        {"GarbageBetweenPacks",
         cat({pack2(), Buffer(100, 0x42), pack2(), pes2(0xE0, plain)}),
         {.container = Container::MpegPs}},
    };
}

class MpegGoodFile : public testing::TestWithParam<Good> {};

TEST_P(MpegGoodFile, ReadsTheSequenceHeader) {
    const Good& c = GetParam();
    expectVideo(run(c.file, &readMpeg).result, c.expect);
    expectVideo(run(c.file, &readMpeg, 12).result, c.expect);
}

INSTANTIATE_TEST_SUITE_P(Mpeg, MpegGoodFile, testing::ValuesIn(goodFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

struct Bad {
    const char* name;
    Buffer file;
    std::string error;
};

void PrintTo(const Bad& c, std::ostream* os) {
    *os << c.name;
}

std::vector<Bad> badFiles() {
    const Buffer header = sequence({.intra = true});
    return {
        {"NotMpeg", Buffer{0, 0, 1, 0xB8, 0, 0, 0, 0}, "not an MPEG"},
        {"HeaderCutShort", Buffer(header.begin(), header.begin() + 8), "cut short"},
        {"MatrixCutShort", Buffer(header.begin(), header.begin() + 40), "cut short"},
        {"ExtensionCutShort", cat({sequence({}), Buffer{0, 0, 1, 0xB5, 0x14}}), "cut short"},
        {"ZeroWidth", es({sequence({.width = 0})}), "frame size of 0"},
        {"NoVideoStream", cat({pack2(), pes2(0xC0, Buffer(100, 0)), programEnd()}),
         "no video stream"},
        {"NoSequenceHeader", cat({pack2(), pes2(0xE0, gop()), programEnd()}), "no sequence header"},
        {"ProgramCutInTheHeader",
         cat({pack2(), pes2(0xE0, Buffer(header.begin(), header.begin() + 20))}), "cut short"},
    };
}

class MpegBadFile : public testing::TestWithParam<Bad> {};

TEST_P(MpegBadFile, IsRefusedWithItsSentence) {
    const Bad& c = GetParam();
    const ProbeResult r = run(c.file, &readMpeg).result;
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(Mpeg, MpegBadFile, testing::ValuesIn(badFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Mpeg, StopsLookingAfterTheScanLimit) {
    // 2 MiB of padding packets, and only then the video.
    Buffer file = pack2();
    while (file.size() < 2 * kMaxScanBytes)
        file = cat({file, packet(0xBE, Buffer(60000, 0xFF))});
    file = cat({file, pes2(0xE0, es({sequence({})}))});
    const mediatest::Run r = run(file, &readMpeg);
    EXPECT_FALSE(r.result.ok());
    EXPECT_NE(r.result.error.find("no video stream"), std::string::npos);
    EXPECT_LE(r.bytes, kMaxScanBytes);
    EXPECT_LE(r.calls, 1 + (kMaxScanBytes - io::kPrefixSize) / kReadChunk);
}

} // namespace
} // namespace quorvel::media
