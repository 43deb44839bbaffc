#include "source/avi/avi_platform.h"
#include "source/media/mpeg.h"
#include "tests/source/media/media_test_support.h"
#include "tests/support/byte_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
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
    std::uint32_t bitRate = 0x3FFFF; // 400 bit/s each
};
Buffer sequence(const Header& h) {
    Bits b;
    b.put(h.width, 12).put(h.height, 12).put(h.aspect, 4).put(h.rate, 4);
    b.put(h.bitRate, 18).put(1, 1).put(20, 10).put(0, 1);
    b.put(h.intra, 1);
    for (int i = 0; h.intra && i < 64; ++i)
        b.put(16, 8);
    b.put(h.nonIntra, 1);
    for (int i = 0; h.nonIntra && i < 64; ++i)
        b.put(16, 8);
    return cat({code(0xB3), b.bytes()});
}
Buffer sequenceExtension(std::uint32_t widthExt = 0, std::uint32_t heightExt = 0,
                         std::uint32_t n = 0, std::uint32_t d = 0, bool progressive = true) {
    Bits b;
    b.put(1, 4).put(0x48, 8).put(progressive, 1).put(1, 2).put(widthExt, 2).put(heightExt, 2);
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

// A system header with `audioBound` and the streams it lists.
Buffer systemHeader(std::uint8_t audioBound, std::initializer_list<std::uint8_t> streams) {
    Buffer b = {0x80, 0, 1, static_cast<std::uint8_t>(audioBound << 2 | 3), 0xE1, 0xFF};
    for (const std::uint8_t id : streams)
        b = cat({b, {id, 0xE0, 0x20}});
    return packet(0xBB, b);
}

TEST(MpegSound, PacketsFoundOrNonePromised) {
    using mediatest::Sound;
    const auto sound = [](const Buffer& file) { return mediatest::sound(file, &readMpeg); };
    const Buffer video = pes2(0xE0, es({sequence({})}));
    const Buffer head = cat({pack2(), systemHeader(0, {0xE0}), video});
    const Buffer mono = pes2(0xC0, {0xFF, 0xFD, 0xA0, 0xC0}),
                 stereo = pes2(0xC1, {0xFF, 0xFD, 0xA0, 0});
    EXPECT_EQ(sound(cat({head, mono, stereo})), (Sound{true, 2}));
    EXPECT_EQ(sound(cat({head, mono})), (Sound{true, 1}));
    EXPECT_EQ(sound(cat({head, pes2(0xBD, {0x80, 1, 0, 1, 0x0B, 0x77})})), (Sound{true, {}}));
    EXPECT_EQ(sound(cat({head, pes2(0xBD, {0x20, 0, 0})})), (Sound{false, {}})); // subpictures
    // What may be sound further on: another substream, a promise, no header,
    // bytes skipped, parts after an end code.
    EXPECT_EQ(sound(cat({head, pes2(0xBD, {0x0B, 0x77})})), Sound{});
    EXPECT_EQ(sound(cat({pack2(), systemHeader(1, {0xE0}), video})), Sound{});
    EXPECT_EQ(sound(cat({pack2(), systemHeader(0, {0xE0, 0xBD}), video})), Sound{});
    EXPECT_EQ(sound(cat({pack2(), video})), Sound{});
    EXPECT_EQ(sound(cat({head, Buffer(100, 0x42), pack2(), video})), Sound{});
    EXPECT_EQ(sound(cat({head, programEnd(), pack2(), mono})), Sound{});
}

// ---- Pictures: scan, field order and pulldown.

struct Pic {
    std::uint32_t tr = 0;
    bool tff = true, rff = false, progressive = false;
    std::uint32_t structure = 3;
    std::uint32_t type = 1;
};

// A picture header, its coding extension and a slice.
Buffer picture(const Pic& p) {
    Bits h;
    h.put(p.tr, 10).put(p.type, 3).put(0xFFFF, 16);
    for (std::uint32_t t = 2; t <= p.type; ++t)
        h.put(0, 1).put(7, 3); // full_pel and f_code of each direction
    h.put(0, 1);
    Bits e;
    e.put(8, 4).put(0xFFFF, 16).put(0, 2).put(p.structure, 2).put(p.tff, 1).put(1, 1).put(0, 4);
    e.put(p.rff, 1).put(p.progressive, 1).put(p.progressive, 1).put(0, 1);
    return cat({code(0x00), h.bytes(), code(0xB5), e.bytes(), code(0x01), Buffer(6, 0x55)});
}
Buffer pictures(std::initializer_list<Pic> list) {
    Buffer b;
    for (const Pic& p : list)
        b = cat({b, picture(p)});
    return b;
}
Buffer gopAt(const TimeCode& t) {
    Bits b;
    b.put(t.dropFrame, 1).put(t.hours, 5).put(t.minutes, 6).put(1, 1).put(t.seconds, 6);
    b.put(t.pictures, 6).put(1, 1).put(0, 1);
    return cat({code(0xB8), b.bytes()});
}
// An MPEG-2 sequence at `rate` (a frame rate code) whose sequence extension
// says progressive_sequence or not.
Buffer mpeg2Sequence(std::uint32_t rate, bool progressive) {
    return cat({sequence({.width = 720, .height = 480, .aspect = 2, .rate = rate}),
                sequenceExtension(0, 0, 0, 0, progressive)});
}
constexpr std::uint32_t kRate25 = 3, kRateNtsc = 4;

struct FieldCase {
    const char* name;
    Buffer file;
    std::optional<Scan> scan;
    std::optional<FieldOrder> order = std::nullopt;
};

TEST(MpegFields, FromTheSequenceAndTheFirstPicture) {
    const Buffer interlaced = mpeg2Sequence(kRate25, false);
    const Buffer progressive = mpeg2Sequence(kRate25, true);
    const Buffer first = picture({.tr = 0});
    const FieldCase cases[] = {
        {"ProgressiveSequence", cat({progressive, gop(), pictures({{.tff = false}})}),
         Scan::Progressive},
        {"TopFieldFirst", cat({interlaced, gop(), pictures({{.tff = true}})}), Scan::Interlaced,
         FieldOrder::TopFirst},
        {"BottomFieldFirst", cat({interlaced, gop(), pictures({{.tff = false}})}), Scan::Interlaced,
         FieldOrder::BottomFirst},
        {"ProgressiveFrame", cat({interlaced, gop(), pictures({{.progressive = true}})}),
         Scan::Progressive},
        {"OnlyTheFirstPictureCounts",
         cat({interlaced, gop(), pictures({{.tr = 0, .tff = false}, {.tr = 1, .tff = true}})}),
         Scan::Interlaced, FieldOrder::BottomFirst},
        {"TopFieldPicture",
         cat({interlaced, gop(), pictures({{.tff = false, .structure = 1}, {.structure = 2}})}),
         Scan::Interlaced, FieldOrder::TopFirst},
        {"BottomFieldPicture",
         cat({interlaced, gop(), pictures({{.tff = false, .structure = 2}, {.structure = 1}})}),
         Scan::Interlaced, FieldOrder::BottomFirst},
        {"Mpeg1", es({sequence({})}), Scan::Progressive},
        {"NoPicture", cat({interlaced, gop(), Buffer(8, 0x11)}), std::nullopt},
        {"ExtensionCutShort", cat({interlaced, gop(), Buffer(first.begin(), first.begin() + 13)}),
         std::nullopt},
        {"NoExtension",
         cat({interlaced, gop(), code(0x00), {0, 0x0F, 0xFF, 0xF8}, code(0x01), Buffer(6, 0x55)}),
         std::nullopt},
        {"PictureBeyondWhatOpenReads",
         cat({interlaced, code(0xB2), Buffer(io::kPrefixSize, 0x11), gop(), first}), std::nullopt},
        {"InAProgramStream",
         cat({pack2(), pes2(0xE0, cat({interlaced, gop(), pictures({{.tff = false}})}))}),
         Scan::Interlaced, FieldOrder::BottomFirst},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::size_t prefix : {io::kPrefixSize, std::size_t{12}}) {
            const ProbeResult r = run(c.file, &readMpeg, prefix).result;
            ASSERT_TRUE(r.ok()) << r.error;
            EXPECT_EQ(r.video->scan, c.scan);
            EXPECT_EQ(r.video->fieldOrder, c.order);
        }
    }
}

struct PulldownCase {
    const char* name;
    Buffer file;
    std::optional<bool> pulldown;
};

// (top_field_first, repeat_first_field) of film frames in display order, from
// phase `phase` of the 2:3 cycle, as progressive frame pictures.
std::vector<Pic> film(int count, int phase = 0) {
    static constexpr bool kCycle[4][2] = {
        {true, true}, {false, false}, {false, true}, {true, false}};
    std::vector<Pic> out;
    for (int i = 0; i < count; ++i) {
        const auto& [tff, rff] = kCycle[(phase + i) % 4];
        out.push_back(
            {.tr = static_cast<std::uint32_t>(i), .tff = tff, .rff = rff, .progressive = true});
    }
    return out;
}
Buffer coded(const std::vector<Pic>& display, std::initializer_list<std::uint32_t> order) {
    Buffer b;
    for (std::uint32_t tr : order)
        b = cat({b, picture(display.at(tr))});
    return b;
}
Buffer inOrder(const std::vector<Pic>& display) {
    Buffer b;
    for (const Pic& p : display)
        b = cat({b, picture(p)});
    return b;
}

TEST(MpegPulldown, TheTwoThreeCadenceIsFilm) {
    const Buffer ntsc = mpeg2Sequence(kRateNtsc, false);
    std::vector<Pic> brokenRepeat = film(8);
    brokenRepeat[5].rff = !brokenRepeat[5].rff;
    brokenRepeat[5].tff = !brokenRepeat[5].tff; // parity kept, repeat not alternating
    std::vector<Pic> brokenParity = film(8);
    brokenParity[6].tff = !brokenParity[6].tff;
    std::vector<Pic> interlacedFrame = film(8);
    interlacedFrame[7].progressive = false;
    std::vector<Pic> gap = film(8);
    gap[3].tr = 9;
    const std::vector<Pic> plain = film(8);
    const PulldownCase cases[] = {
        {"FromTheCyclesStart", cat({ntsc, gop(), inOrder(plain)}), true},
        {"FromItsSecondPhase", cat({ntsc, gop(), inOrder(film(8, 1))}), true},
        {"FromItsThirdPhase", cat({ntsc, gop(), inOrder(film(8, 2))}), true},
        {"FromItsFourthPhase", cat({ntsc, gop(), inOrder(film(8, 3))}), true},
        {"InCodingOrder", cat({ntsc, gop(), coded(plain, {0, 3, 1, 2, 6, 4, 5, 7})}), true},
        {"AcrossGops",
         cat({ntsc, gop(), inOrder(film(6)), gopAt({.pictures = 6}), inOrder(film(6, 2))}), true},
        {"RepeatNotAlternating", cat({ntsc, gop(), inOrder(brokenRepeat)}), false},
        {"ParityBroken", cat({ntsc, gop(), inOrder(brokenParity)}), false},
        {"InterlacedFrame", cat({ntsc, gop(), inOrder(interlacedFrame)}), false},
        {"NoRepeats",
         cat({ntsc, gop(),
              pictures({{.tr = 0, .progressive = true}, {.tr = 1, .progressive = true}})}),
         false},
        {"TooFewToTell", cat({ntsc, gop(), inOrder(film(7))}), std::nullopt},
        {"GapInTheReferences", cat({ntsc, gop(), inOrder(gap)}), std::nullopt},
        {"NotAtTheNtscRate", cat({mpeg2Sequence(kRate25, false), gop(), inOrder(plain)}), false},
        {"ProgressiveSequence", cat({mpeg2Sequence(kRateNtsc, true), gop(), inOrder(plain)}),
         false},
        {"Mpeg1", es({sequence({.rate = kRateNtsc})}), false},
        {"NoPictures", cat({ntsc, gop()}), std::nullopt},
    };
    for (const PulldownCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ProbeResult r = run(c.file, &readMpeg).result;
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.video->pulldown, c.pulldown);
        EXPECT_EQ(r.video->filmRate,
                  c.pulldown == true ? std::optional(Fraction{24000, 1001}) : std::nullopt);
    }
}

TEST(MpegPictures, DisplayOrderStopsAtAGapOrARepeat) {
    const auto trs = [](std::initializer_list<std::pair<int, std::uint32_t>> coded) {
        std::vector<Picture> in;
        for (const auto& [gop, tr] : coded) {
            Picture p;
            p.gop = gop;
            p.temporalReference = tr;
            in.push_back(p);
        }
        std::vector<std::uint32_t> out;
        for (const Picture& p : displayOrder(in))
            out.push_back(p.temporalReference);
        return out;
    };
    using V = std::vector<std::uint32_t>;
    EXPECT_EQ(trs({{0, 0}, {0, 3}, {0, 1}, {0, 2}}), (V{0, 1, 2, 3}));
    EXPECT_EQ(trs({{0, 1}, {0, 0}, {1, 2}, {1, 0}, {1, 1}}), (V{0, 1, 0, 1, 2}));
    EXPECT_EQ(trs({{0, 0}, {0, 3}, {0, 1}}), (V{0, 1}));
    EXPECT_EQ(trs({{0, 0}, {0, 0}, {0, 1}}), V{});
    EXPECT_EQ(trs({{-1, 0}, {0, 1}, {0, 0}}), (V{0, 0, 1}));
}

// ---- GOP time codes and the 90 kHz clock.

TEST(MpegTimeCode, CountsFrames) {
    const struct {
        TimeCode t;
        Fraction rate;
        std::optional<std::uint64_t> frames;
    } cases[] = {
        {{}, {25, 1}, 0},
        {{.hours = 1, .minutes = 32, .seconds = 5, .pictures = 3}, {25, 1}, 138128},
        {{.hours = 23, .minutes = 59, .seconds = 59, .pictures = 23}, {24, 1}, 2073599},
        {{.minutes = 1, .pictures = 2}, {30000, 1001}, 1802},
        // 00:01:00;00 and ;01 do not exist: ;02 follows 00:00:59;29.
        {{.dropFrame = true, .minutes = 1, .pictures = 2}, {30000, 1001}, 1800},
        {{.dropFrame = true, .minutes = 10}, {30000, 1001}, 17982},
        {{.dropFrame = true, .hours = 1}, {30000, 1001}, 107892},
        {{.dropFrame = true, .minutes = 1, .pictures = 4}, {60000, 1001}, 3600},
        {{.dropFrame = true, .minutes = 1}, {25, 1}, 1500}, // no dropping at 25
        {{.hours = 24}, {25, 1}, std::nullopt},
        {{.minutes = 60}, {25, 1}, std::nullopt},
        {{.seconds = 60}, {25, 1}, std::nullopt},
        {{.pictures = 25}, {25, 1}, std::nullopt},
        {{.pictures = 23}, {24000, 1001}, 23},
        {{.pictures = 24}, {24000, 1001}, std::nullopt},
        {{}, {0, 1}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.t.hours << ':' << c.t.minutes << ':' << c.t.seconds
                                        << ':' << c.t.pictures << " at " << c.rate);
        EXPECT_EQ(timeCodeFrames(c.t, c.rate), c.frames);
    }
}

TEST(MpegStartCode, FoundWhereverItLiesWithItsCodeByte) {
    const struct {
        Buffer bytes;
        std::size_t from;
        std::optional<std::size_t> at;
    } cases[] = {
        {{0, 0, 1, 0xB3}, 0, 0},
        {{0, 0, 0, 0, 1, 0xB8, 0}, 0, 2},
        {{1, 0, 1, 0, 0, 1, 0, 0, 1, 0}, 1, 3},
        {{0, 0, 1, 0xB3, 0, 0, 1, 0}, 1, 4},
        {{0x47, 1, 1, 0, 1, 0, 0, 2, 0, 0, 1}, 0, std::nullopt}, // no code byte
        {{0, 0, 1}, 0, std::nullopt},
        {{0, 0, 1, 0xB3}, 1, std::nullopt},
        {{}, 0, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nextStartCode(c.bytes, c.from), c.at);
}

// 100 Mbit/s at most, the stated rate with an eighth to spare when it is
// lower, both over the time and a second.
TEST(MpegBytes, FitTheTimeAtTheRatesAllowed) {
    const struct {
        std::uint64_t bytes, ms, stated;
        bool fit;
    } cases[] = {
        {12'500'000, 0, 0, true},
        {12'500'001, 0, 0, false},
        {25'000'000, 1000, 0, true},
        {25'000'001, 1000, 200'000'000, false},
        {1'125'000, 0, 8'000'000, true},
        {1'125'001, 0, 8'000'000, false},
        {UINT64_MAX, kMaxDurationMs, UINT64_MAX, false},
        {1'080'012'500'000, kMaxDurationMs, 0, true}, // a day and a second at 100 Mbit/s
    };
    for (const auto& c : cases)
        EXPECT_EQ(bytesFitTime(c.bytes, c.ms, c.stated), c.fit)
            << c.bytes << " bytes in " << c.ms << " ms at " << c.stated;
}

TEST(MpegClock, SpansOneWrapAndNotTimeGoingBack) {
    EXPECT_EQ(clockSpan(100, 190), 90u);
    EXPECT_EQ(clockSpan(kClockRange - 90, 90), 180u);
    EXPECT_EQ(clockSpan(kClockRange - 1, 0), 1u);
    EXPECT_EQ(clockSpan(0, kClockRange / 2), kClockRange / 2);
    EXPECT_EQ(clockSpan(0, kClockRange / 2 + 1), std::nullopt);
    EXPECT_EQ(clockSpan(190, 100), std::nullopt);
    EXPECT_EQ(clockSpan(5, 5), 0u);
}

// ---- Running time.

// A PTS as an MPEG-2 PES header writes it: '0010', the 33 bits in three parts,
// each part followed by a marker bit.
Buffer stampBytes(std::uint64_t t, std::uint8_t prefix = 0x20) {
    return {static_cast<std::uint8_t>(prefix | (t >> 29 & 0x0E) | 1),
            static_cast<std::uint8_t>(t >> 22), static_cast<std::uint8_t>((t >> 14 & 0xFE) | 1),
            static_cast<std::uint8_t>(t >> 7), static_cast<std::uint8_t>((t << 1 & 0xFE) | 1)};
}
Buffer pesAt(std::uint64_t pts, const Buffer& payload) {
    return packet(0xE0, cat({{0x81, 0x80, 5}, stampBytes(pts), payload}));
}
Buffer pesWithout(const Buffer& payload) {
    return packet(0xE0, cat({{0x81, 0x00, 0}, payload}));
}
Buffer packAt(std::uint64_t scr) {
    const auto b = [](std::uint64_t v) { return static_cast<std::uint8_t>(v); };
    return cat({code(0xBA),
                {b(0x44 | (scr >> 27 & 0x38) | (scr >> 28 & 3)), b(scr >> 20),
                 b((scr >> 12 & 0xF8) | 4 | (scr >> 13 & 3)), b(scr >> 5), b(scr << 3 | 4), 1, 0x01,
                 0x89, 0xC3, 0xF8}});
}
// Padding packets to at least `size` bytes, in packs whose clock says `scr`.
Buffer padding(std::size_t size, std::uint64_t scr = 0) {
    Buffer b;
    while (b.size() < size)
        b = cat({b, packAt(scr), packet(0xBE, Buffer(60000, 0xFF))});
    return b;
}
// `b` and padding packets (20 bytes with their pack, and what they hold) to
// exactly `size` bytes.
Buffer paddedTo(const Buffer& b, std::size_t size, std::uint64_t scr) {
    Buffer out = b;
    while (out.size() + 20 <= size) {
        std::size_t n = std::min<std::size_t>(size - out.size() - 20, 60000);
        if (const std::size_t left = size - out.size() - 20 - n; left > 0 && left < 20)
            n -= 20;
        out = cat({out, packAt(scr), packet(0xBE, Buffer(n, 0xFF))});
    }
    EXPECT_EQ(out.size(), size);
    return out;
}
constexpr std::uint64_t kSecond = 90000;
constexpr std::uint64_t kFrame25 = kSecond / 25;

struct Timing {
    const char* name;
    Buffer file;
    std::optional<std::uint64_t> durationMs;
    std::optional<std::uint64_t> frames = std::nullopt;
};

void expectTiming(const Timing& c) {
    SCOPED_TRACE(c.name);
    for (const std::size_t prefix : {io::kPrefixSize, std::size_t{12}}) {
        const ProbeResult r = run(c.file, &readMpeg, prefix).result;
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.video->durationMs, c.durationMs);
        EXPECT_EQ(r.video->frames, c.frames);
    }
}

TEST(MpegRunningTime, ProgramStreamFromItsTimeStamps) {
    const Buffer seq = mpeg2Sequence(kRate25, true);
    const Buffer three = pictures({{.tr = 0}, {.tr = 1}, {.tr = 2}});
    // The head: a GOP of one picture at `pts`; a tail far enough on that the
    // head is not in it, of one GOP of three pictures at `last`.
    const auto file = [&](std::uint64_t pts, const Buffer& tail) {
        return cat({packAt(pts), pesAt(pts, cat({seq, gop(), picture({})})),
                    padding(kTailBytes + io::kPrefixSize, pts), tail});
    };
    const auto gopAtPts = [&](std::uint64_t pts) {
        return cat({packAt(pts), pesAt(pts, cat({gop(), three}))});
    };
    const std::uint64_t start = kSecond;
    const Timing cases[] = {
        // 100 frames on, and two more in the last GOP, and the last frame's own.
        {"FirstToLastStamp", file(start, gopAtPts(start + 100 * kFrame25)), 4120, 103},
        {"AcrossTheWrap", file(kClockRange - kSecond, gopAtPts(9 * kSecond)), 10120, 253},
        {"WrapInsideTheTail",
         file(kClockRange - 10 * kSecond, cat({gopAtPts(kClockRange - kFrame25), packAt(0),
                                               pesAt(2 * kFrame25, cat({gop(), three}))})),
         10200, 255},
        {"BackwardsIsUnknown", file(10 * kSecond, gopAtPts(kSecond)), std::nullopt},
        {"ThirteenHoursIsTheMost", file(0, gopAtPts(kClockRange / 2 - 2 * kFrame25)),
         (kClockRange / 2 + kFrame25 + 45) / 90},
        {"LongerReadsAsBackwards", file(0, gopAtPts(kClockRange / 2)), std::nullopt},
        {"GopWithoutAStampFollowsTheLast",
         file(start, cat({gopAtPts(start + 100 * kFrame25), packAt(start + 100 * kFrame25),
                          pesWithout(cat({gop(), three}))})),
         4240, 106},
        {"LaterPicturesOfTheGop",
         file(start, cat({packAt(start), pesWithout(cat({gop(), picture({.tr = 0})})),
                          pesAt(start + 100 * kFrame25, cat({picture({.tr = 2, .type = 2}),
                                                             picture({.tr = 1, .type = 3})}))})),
         4040, 101},
        {"NoStampsInTheTailUseTheClockReferences",
         file(start, cat({packAt(start), pesWithout(three), packAt(start + 10 * kSecond),
                          pesWithout(three)})),
         10000},
        {"NothingInTheTail", cat({file(start, {}), Buffer(kTailBytes, 0x42)}), std::nullopt},
        // Parts joined end to end: a clock reference going backwards in the
        // tail, or from the head's last to the tail's first, leaves the time
        // unknown; so do more bytes than the stated mux rate (DVD's 10.08
        // Mbit/s) could bring in the time.
        {"ClockBackInTheTail",
         file(start, cat({gopAtPts(start + 100 * kFrame25), gopAtPts(start + kFrame25)})),
         std::nullopt},
        {"ClockBackInTheHead",
         cat({packAt(start + 100 * kFrame25),
              pesAt(start + 100 * kFrame25, cat({seq, gop(), picture({})})), packAt(start),
              pesAt(start, cat({gop(), picture({})})),
              padding(kTailBytes + 3 * io::kPrefixSize, start), gopAtPts(start + 150 * kFrame25)}),
         std::nullopt},
        {"ClockBackFromHeadToTail",
         cat({packAt(start), pesAt(start, cat({seq, gop(), picture({})})),
              padding(io::kPrefixSize, start + 100 * kFrame25),
              paddedTo(gopAtPts(start + 50 * kFrame25), kTailBytes, start + 60 * kFrame25)}),
         std::nullopt},
        {"MoreBytesThanTheMuxRateBrings",
         cat({packAt(start), pesAt(start, cat({seq, gop(), picture({})})),
              padding(2'000'000, start), gopAtPts(start + kFrame25)}),
         std::nullopt},
        // A clock that does not move says nothing.
        {"OnePackNoStamps", cat({packAt(start), pesWithout(cat({seq, gop(), picture({})}))}),
         std::nullopt},
    };
    for (const Timing& c : cases)
        expectTiming(c);
}

// The tail's last 64 KiB of video alone would end a frame early: its first
// GOP has no time stamp and follows one whose last picture lies before them.
TEST(MpegRunningTime, TheTailsEndNeedsTheGopsBeforeIt) {
    const Buffer seq = mpeg2Sequence(kRate25, true);
    const Buffer filler = cat({code(0xB2), Buffer(40000, 0x11)});
    const std::uint64_t t = 10 * kSecond;
    const Buffer tail =
        cat({packAt(t), pesAt(t, cat({gop(), picture({.tr = 0})})),
             pesAt(t + 3 * kFrame25, picture({.tr = 3, .type = 2})), pesWithout(filler),
             pesWithout(filler), pesAt(t + kFrame25, picture({.tr = 1, .type = 3})),
             pesWithout(cat({picture({.tr = 2, .type = 3}), gop(),
                             pictures({{.tr = 0}, {.tr = 1}, {.tr = 2}})}))});
    const Buffer file = cat({packAt(kSecond), pesAt(kSecond, cat({seq, gop(), picture({})})),
                             padding(kTailBytes + io::kPrefixSize, kSecond), tail});
    // 9 s, the four pictures of the first GOP and the three of the next.
    expectTiming({"CutGopBeforeTheLast", file, 9280, 232});
}

TEST(MpegRunningTime, HeadStartsAtTheGopsFirstPicture) {
    // An open GOP: the I picture is shown third; the B pictures before it have
    // no stamp.
    const Buffer head = cat({mpeg2Sequence(kRate25, true), gop(), picture({.tr = 2})});
    const Buffer bs = pictures({{.tr = 0, .type = 3}, {.tr = 1, .type = 3}});
    const Buffer file = cat({packAt(0), pesAt(kSecond + 2 * kFrame25, head), pesWithout(bs)});
    expectTiming({"OpenGop", file, 120, 3});
}

TEST(MpegRunningTime, Mpeg1ProgramStream) {
    const Buffer video = cat({sequence({}), gop(), pictures({{.tr = 0}, {.tr = 1}})});
    const Buffer file = cat({pack1(), pes1(0xE0, video, stampBytes(kSecond, 0x20)), programEnd()});
    expectTiming({"Mpeg1", file, 80, 2});
}

TEST(MpegRunningTime, ElementaryStreamFromItsTimeCodes) {
    const Buffer seq = sequence({});
    const Buffer two = pictures({{.tr = 0}, {.tr = 1}});
    // User data between the head and the tail, which neither holds: the
    // step between their GOPs is not seen.
    const Buffer far = cat({code(0xB2), Buffer(kTailBytes, 0x11)});
    const auto file = [&](TimeCode first, TimeCode last, const Buffer& after) {
        return cat({seq, gopAt(first), two, far, gopAt(last), after});
    };
    const Buffer ntscDrop = sequence({.rate = kRateNtsc});
    // 1 Mbit/s, the most the stream says it carries.
    const Buffer slow = sequence({.bitRate = 2500});
    const Timing cases[] = {
        {"OneGop", cat({seq, gopAt({}), two}), 80, 2},
        {"FromFirstToLast", file({}, {.hours = 1}, two), 3600080, 90002},
        {"PastMidnight", file({.hours = 23, .minutes = 59, .seconds = 59}, {.seconds = 1}, two),
         2080, 52},
        {"BackwardsIsUnknown", file({.hours = 1}, {}, two), std::nullopt},
        {"BadTimeCode", file({}, {.hours = 25}, two), std::nullopt},
        {"NoGopIsUnknown", cat({seq, two}), std::nullopt},
        {"NoPictureIsUnknown", cat({seq, gopAt({})}), std::nullopt},
        {"LastGopOnlyInTheTail",
         cat({seq, gopAt({}), two, code(0xB2), Buffer(kTailBytes, 0x11), gopAt({.seconds = 4}),
              two}),
         4080, 102},
        {"NoGopInTheTail", cat({seq, gopAt({}), two, code(0xB2), Buffer(kTailBytes + 100, 0x11)}),
         std::nullopt},
        {"DropFrame",
         cat({ntscDrop, gopAt({.dropFrame = true}), pictures({{.tr = 0}}), far,
              gopAt({.dropFrame = true, .minutes = 10}), pictures({{.tr = 0}})}),
         600033, 17983},
        // Parts joined end to end: time codes that do not step by the
        // pictures between them. The pictures of a file held whole are
        // counted; else the time is unknown.
        {"JoinedPartsHeldWhole",
         cat({seq, gopAt({.minutes = 10}), two, gopAt({.minutes = 18, .seconds = 30}), two}), 160,
         4},
        {"JoinedInTheTail", file({}, {.seconds = 4}, cat({gopAt({.seconds = 2}), two})),
         std::nullopt},
        {"JoinedInTheHead",
         cat({seq, gopAt({}), two, gopAt({.seconds = 10}), two, far, gopAt({.seconds = 14}), two}),
         std::nullopt},
        // 300 KB cannot come at 1 Mbit/s in 160 ms.
        {"MoreBytesThanTheStatedRateBrings",
         cat({slow, gopAt({}), two, far, gopAt({.pictures = 2}), two}), std::nullopt},
        {"TheStatedRateAllowsIt", cat({slow, gopAt({}), two, far, gopAt({.seconds = 3}), two}),
         3080, 77},
    };
    for (const Timing& c : cases)
        expectTiming(c);
}

// At DVD rates the bytes open reads hold only the first few pictures; the
// tail's whole GOPs then tell the cadence.
TEST(MpegPulldown, TheTailTellsWhenTheHeadCannot) {
    const Buffer ntsc = mpeg2Sequence(kRateNtsc, false);
    const Buffer far(kCadenceTailBytes + io::kPrefixSize, 0x11); // user data, past both ends
    std::vector<Pic> headBroken = film(3);
    headBroken[2].tff = !headBroken[2].tff;
    std::vector<Pic> tailBroken = film(8);
    tailBroken[6].tff = !tailBroken[6].tff;
    std::vector<Pic> cutGop = film(6);
    cutGop[1].rff = !cutGop[1].rff;
    const Buffer lastGop = gopAt({.seconds = 10});
    const Buffer filmHead = inOrder(film(3));
    struct Case {
        const char* name;
        Buffer head, tail;
        std::optional<bool> pulldown;
    };
    const Case cases[] = {
        {"TheTailIsFilm", filmHead, cat({lastGop, inOrder(film(8, 3))}), true},
        {"TheTailBreaksIt", filmHead, cat({lastGop, inOrder(tailBroken)}), false},
        {"TooFewInTheTailToo", filmHead, cat({lastGop, inOrder(film(5))}), std::nullopt},
        // The tail begins inside a GOP whose picture 1 came before the cut
        // and 2 was lost to it: 3 to 5 follow on unbroken.
        {"TheCutGopsUnbrokenEnd", filmHead,
         cat({coded(cutGop, {1, 5, 3, 4}), lastGop, inOrder(film(8, 2))}), true},
        {"OnlyACutGop", filmHead, coded(film(12), {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), true},
        {"ABreakInTheHeadStands", inOrder(headBroken), cat({lastGop, inOrder(film(8))}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Buffer elementary = cat({ntsc, gopAt({}), c.head, code(0xB2), far, c.tail});
        const Buffer program = cat({packAt(0), pesAt(kSecond, cat({ntsc, gopAt({}), c.head})),
                                    padding(far.size()), packAt(0), pesAt(kSecond, c.tail)});
        for (const Buffer& file : {elementary, program}) {
            const ProbeResult r = run(file, &readMpeg).result;
            ASSERT_TRUE(r.ok()) << r.error;
            EXPECT_EQ(r.video->pulldown, c.pulldown);
        }
    }
}

TEST(MpegRunningTime, PulldownTimeCodesCountFilmOrShownFrames) {
    const Buffer ntsc = mpeg2Sequence(kRateNtsc, false);
    const Buffer gop1 = inOrder(film(8));
    const Buffer gop2 = inOrder(film(8));
    // Eight film frames show twenty fields: ten frames at 30000/1001.
    const Timing cases[] = {
        {"CountingFilmFrames", cat({ntsc, gopAt({}), gop1, gopAt({.pictures = 8}), gop2}), 667, 16},
        {"CountingShownFrames", cat({ntsc, gopAt({}), gop1, gopAt({.pictures = 10}), gop2}), 667},
        // Counting neither way: the film frames of the file, held whole.
        {"CountingNeither", cat({ntsc, gopAt({}), gop1, gopAt({.pictures = 9}), gop2}), 667, 16},
        // Film frames are counted 24 to the second, shown frames 30.
        {"FilmSecondsHoldTwentyFour",
         cat({ntsc, gopAt({}), gop1, gopAt({.pictures = 8}), gop2, gopAt({.pictures = 16}), gop1,
              gopAt({.seconds = 1}), gop2}),
         1335, 32},
        {"ShownSecondsHoldThirty",
         cat({ntsc, gopAt({}), gop1, gopAt({.pictures = 10}), gop2, gopAt({.pictures = 20}), gop1,
              gopAt({.seconds = 1}), gop2}),
         1335},
        // The head's second GOP lies past what open reads: the tail's last
        // two GOPs tell how they count.
        {"TheTailsStepTells",
         cat({ntsc, gopAt({}), gop1, code(0xB2), Buffer(kTailBytes + io::kPrefixSize, 0x11),
              gopAt({.seconds = 1}), gop1, gopAt({.seconds = 1, .pictures = 8}), gop2}),
         1668, 40},
        {"NoStepAnywhere",
         cat({ntsc, gopAt({}), gop1, code(0xB2), Buffer(kTailBytes + io::kPrefixSize, 0x11),
              gopAt({.seconds = 1, .pictures = 8}), gop2}),
         std::nullopt},
    };
    for (const Timing& c : cases)
        expectTiming(c);
}

// ffprobe gives the size, rate, field order; it has no running time for
// elementary streams and leaves the last frame out of a program stream's, so
// the times here are the pictures counted and their time stamps.
TEST(MpegCorpus, RunningTimeScanAndPulldown) {
    const struct {
        const char* file;
        std::optional<std::uint64_t> durationMs, frames;
        std::optional<Scan> scan;
        std::optional<FieldOrder> order;
        bool pulldown;
    } cases[] = {
        {"ps-mpeg2-720x576-dar16x9-25.mpg", 80, 2, Scan::Progressive, std::nullopt, false},
        {"ps-mpeg1-352x288-25.mpg", 80, 2, Scan::Progressive, std::nullopt, false},
        {"es-mpeg2-176x144-24000-1001.m2v", 83, 2, Scan::Progressive, std::nullopt, false},
        {"es-mpeg1-160x120-24.m1v", 83, 2, Scan::Progressive, std::nullopt, false},
        {"ps-mpeg2-720x576-pal-dvd-tff-25.mpg", 120, 3, Scan::Interlaced, FieldOrder::TopFirst,
         false},
        {"ps-mpeg2-720x480-ntsc-dvd-bff-30000-1001.mpg", 100, 3, Scan::Interlaced,
         FieldOrder::BottomFirst, false},
        {"es-mpeg2-176x144-bff-25.m2v", 80, 2, Scan::Interlaced, FieldOrder::BottomFirst, false},
        // Twelve film frames, in two GOPs with B pictures.
        {"es-mpeg2-352x480-pulldown.m2v", 501, 12, Scan::Progressive, std::nullopt, true},
        {"ps-mpeg2-352x480-pulldown.mpg", 501, 12, Scan::Progressive, std::nullopt, true},
        // Two frames at 0.5 s, two at 5525.5 s.
        {"ps-mpeg2-176x144-long-25.mpg", 5525040, 138126, Scan::Progressive, std::nullopt, false},
        // Time codes 00:00:00:00 and 01:32:05:01, two frames after each: two
        // parts joined, whose frames are counted.
        {"es-mpeg2-176x144-long-25.m2v", 160, 4, Scan::Progressive, std::nullopt, false},
        // Two frames at 95440 s, two at 95450 s, which the clock wraps to 6.28 s.
        {"ps-mpeg2-176x144-wrap-25.mpg", 10080, 252, Scan::Progressive, std::nullopt, false},
        // Files joined end to end (cat), the second part's clocks starting
        // again: ffmpeg's -f vob of three frames and of two, whose packs
        // share one clock reference but not the pictures' time stamps; and
        // mpeg2enc's eight film frames twice, alone and through mplex. The
        // frames are counted.
        {"ps-mpeg2-176x144-joined-25.mpg", 200, 5, Scan::Progressive, std::nullopt, false},
        {"es-mpeg2-352x480-joined-pulldown.m2v", 667, 16, Scan::Progressive, std::nullopt, true},
        {"ps-mpeg2-352x480-joined-pulldown.mpg", 667, 16, Scan::Progressive, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Buffer file = mediatest::readCorpus(std::string("mpeg/") + c.file);
        ASSERT_FALSE(file.empty());
        const mediatest::Run r = run(file, &readMpeg);
        ASSERT_TRUE(r.result.ok()) << r.result.error;
        const VideoInfo& v = *r.result.video;
        EXPECT_EQ(v.durationMs, c.durationMs);
        EXPECT_EQ(v.frames, c.frames);
        EXPECT_EQ(v.scan, c.scan);
        EXPECT_EQ(v.fieldOrder, c.order);
        EXPECT_EQ(v.pulldown, c.pulldown);
        EXPECT_EQ(v.filmRate, c.pulldown ? std::optional(Fraction{24000, 1001}) : std::nullopt);
        EXPECT_EQ(r.calls, 1u);
        // From a bare start, one read brings the rest, tail included.
        const mediatest::Run small = run(file, &readMpeg, 12);
        ASSERT_TRUE(small.result.ok()) << small.result.error;
        EXPECT_EQ(small.result.video->durationMs, c.durationMs);
        EXPECT_EQ(small.calls, 2u);
    }
}

// ---- What a probe costs: open's first read, then ours.

// A file of `size` zero bytes with a head and a tail written into it.
class SparseSource final : public io::ByteSource {
public:
    SparseSource(std::uint64_t size, Buffer head, Buffer tail)
        : size_(size), head_(std::move(head)), tail_(std::move(tail)) {}
    std::uint64_t size() const override { return size_; }
    std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                        std::size_t& got) override {
        got = offset >= size_
                  ? 0
                  : static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
        for (std::size_t i = 0; i < got; ++i) {
            const std::uint64_t at = offset + i;
            const std::uint64_t tailAt = size_ - tail_.size();
            out[i] = at < head_.size() ? head_[at] : at >= tailAt ? tail_[at - tailAt] : 0;
        }
        return 0;
    }

private:
    std::uint64_t size_;
    Buffer head_, tail_;
};

struct Cost {
    ProbeResult result;
    std::uint64_t calls = 0, bytes = 0;
};

Cost probeSource(io::ByteSource& source) {
    const io::ReadStats before = io::readStats();
    Buffer prefix(
        static_cast<std::size_t>(std::min<std::uint64_t>(io::kPrefixSize, source.size())));
    std::size_t got = 0;
    io::readFully(source, 0, prefix, got);
    prefix.resize(got);
    Cost c{readMpeg(prefix, source)};
    c.calls = io::readStats().calls - before.calls;
    c.bytes = io::readStats().bytes - before.bytes;
    return c;
}

constexpr std::uint64_t kFourGigabytes = 4ull << 30;

TEST(MpegBudget, AFourGigabyteFileCostsOneReadMoreThanItsHead) {
    const Buffer seq = mpeg2Sequence(kRate25, false);
    // 18 h 38 min of video from 1 s on wrap the clock once, and are more than
    // half of it: no telling that from time going backwards.
    const std::uint64_t last = kSecond + 67108 * kSecond;
    const Buffer programHead = cat({packAt(0), pesAt(kSecond, cat({seq, gop(), picture({})}))});
    const Buffer programTail =
        cat({packAt(last), pesAt(last % kClockRange, cat({gop(), picture({})}))});
    const Buffer esHead = cat({seq, gopAt({}), picture({})});
    const Buffer esTail = cat({gopAt({.hours = 11, .minutes = 30}), picture({})});
    const struct {
        const char* name;
        Buffer head, tail;
        std::optional<std::uint64_t> durationMs;
    } cases[] = {
        {"Program", programHead, programTail, std::nullopt},
        {"ProgramThirteenHours", programHead,
         cat({packAt(0), pesAt(kSecond + 13 * 3600 * kSecond, cat({gop(), picture({})}))}),
         13 * 3600 * 1000 + 40},
        {"Elementary", esHead, esTail, (11 * 3600 + 30 * 60) * 1000 + 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SparseSource big(kFourGigabytes, c.head, c.tail);
        const Cost cost = probeSource(big);
        ASSERT_TRUE(cost.result.ok()) << cost.result.error;
        EXPECT_EQ(cost.result.video->durationMs, c.durationMs);
        EXPECT_EQ(cost.result.video->scan, Scan::Interlaced);
        EXPECT_EQ(cost.calls, 2u) << "open's read and the tail";
        EXPECT_EQ(cost.bytes, io::kPrefixSize + kTailBytes);
        // A file just larger than what open reads costs the same.
        SparseSource small(io::kPrefixSize + 1000, c.head, c.tail);
        const Cost smallCost = probeSource(small);
        ASSERT_TRUE(smallCost.result.ok());
        EXPECT_EQ(smallCost.calls, 2u);
    }
}

TEST(MpegBudget, TheLargerTailOnlyWhileTheCadenceIsOpen) {
    const Pic filmFrame{.progressive = true};
    const struct {
        const char* name;
        Buffer head;
        std::size_t tail;
    } cases[] = {
        {"NtscFilmFrame", cat({mpeg2Sequence(kRateNtsc, false), gop(), picture(filmFrame)}),
         kCadenceTailBytes},
        {"NtscInterlacedFrame", cat({mpeg2Sequence(kRateNtsc, false), gop(), picture({})}),
         kTailBytes},
        {"Pal", cat({mpeg2Sequence(kRate25, false), gop(), picture(filmFrame)}), kTailBytes},
        {"ProgressiveSequence", cat({mpeg2Sequence(kRateNtsc, true), gop(), picture(filmFrame)}),
         kTailBytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SparseSource big(kFourGigabytes, c.head, {});
        const Cost cost = probeSource(big);
        ASSERT_TRUE(cost.result.ok()) << cost.result.error;
        EXPECT_EQ(cost.calls, 2u);
        EXPECT_EQ(cost.bytes, io::kPrefixSize + c.tail);
    }
}

class MpegSparseFile : public avitest::TempDirTest {};

TEST_F(MpegSparseFile, AFourGigabyteProgramStreamOnDisk) {
    // A DVD file's packs at the start, and the same again at the end: the
    // clocks repeat, and 4 GB do not come in their 120 ms.
    const Buffer corpus = mediatest::readCorpus("mpeg/ps-mpeg2-720x576-pal-dvd-tff-25.mpg");
    ASSERT_FALSE(corpus.empty());
    const std::string path = write("big.mpg", corpus);
    {
        std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::in);
        out.seekp(static_cast<std::streamoff>(kFourGigabytes - corpus.size()));
        out.write(reinterpret_cast<const char*>(corpus.data()),
                  static_cast<std::streamsize>(corpus.size()));
    }
    std::unique_ptr<avifile::FileSource> file;
    ASSERT_EQ(avifile::FileSource::open(path.c_str(), file), 0);
    ASSERT_EQ(file->size(), kFourGigabytes);
    const Cost c = probeSource(*file);
    ASSERT_TRUE(c.result.ok()) << c.result.error;
    EXPECT_EQ(c.result.video->durationMs, std::nullopt);
    EXPECT_EQ(c.result.video->fieldOrder, FieldOrder::TopFirst);
    EXPECT_EQ(c.calls, 2u) << "open's read and the tail";
    EXPECT_EQ(c.bytes, io::kPrefixSize + kTailBytes);
}

TEST(MpegBudget, AFailedTailReadLeavesTheTimeUnknown) {
    class Failing final : public io::ByteSource {
    public:
        explicit Failing(Buffer head) : head_(std::move(head)) {}
        std::uint64_t size() const override { return kFourGigabytes; }
        std::int32_t readAt(std::uint64_t o, std::uint8_t* out, std::size_t n,
                            std::size_t& got) override {
            if (o != 0)
                return 5;
            got = std::min(n, head_.size());
            std::copy(head_.begin(), head_.begin() + static_cast<std::ptrdiff_t>(got), out);
            return 0;
        }

    private:
        Buffer head_;
    };
    Failing source(cat({packAt(0), pesAt(kSecond, cat({mpeg2Sequence(kRate25, false), gop(),
                                                       picture({.tff = false})}))}));
    const Cost c = probeSource(source);
    ASSERT_TRUE(c.result.ok()) << c.result.error;
    EXPECT_EQ(c.result.video->durationMs, std::nullopt);
    EXPECT_EQ(c.result.video->fieldOrder, FieldOrder::BottomFirst);
}

} // namespace
} // namespace quorvel::media
