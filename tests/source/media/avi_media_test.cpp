#include "source/media/media.h"
#include "tests/source/avi/avi_builder.h"
#include "tests/source/media/media_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::media {
namespace {

using avitest::avih;
using avitest::aviWith;
using avitest::chunk;
using avitest::list;
using avitest::Main;
using avitest::put16;
using avitest::put32;
using avitest::putId;
using avitest::strh;
using avitest::videoList;
using Bytes = avitest::Bytes;

// The OpenDML video properties: nine words, the aspect in the sixth.
Bytes vprp(std::uint16_t x, std::uint16_t y, std::uint32_t width, std::uint32_t height,
           std::size_t size = 36) {
    Bytes b;
    for (std::uint32_t v :
         {0u, 0u, 25u, width, height, std::uint32_t{x} << 16 | y, width, height, 1u})
        put32(b, v);
    b.resize(size, 0);
    return chunk("vprp", b);
}

Bytes strf(std::int32_t width, std::int32_t height, std::string_view compression) {
    Bytes b;
    for (std::int32_t v : {40, width, height})
        put32(b, static_cast<std::uint32_t>(v));
    put16(b, 1);
    put16(b, 24);
    if (compression.empty())
        put32(b, 0);
    else
        putId(b, compression);
    b.resize(40, 0);
    return chunk("strf", b);
}

struct Case {
    const char* name;
    Bytes file;
    std::string codec = "RGB";
    std::optional<Fraction> sar = std::nullopt;
    std::uint32_t width = 720, height = 576;
};

TEST(AviMedia, ShapeFromTheVideoProperties) {
    const Main m{};
    const Bytes plainStrf = strf(720, 576, "");
    const Case cases[] = {
        {"NoProperties", aviWith({avih(m), list("strl", {strh({}), plainStrf})})},
        {"Wide", aviWith({avih(m), list("strl", {strh({}), plainStrf, vprp(16, 9, 720, 576)})}),
         "RGB", Fraction{64, 45}},
        {"NarrowOnTheActivePicture",
         aviWith({avih(m), list("strl", {strh({}), plainStrf, vprp(4, 3, 704, 576)})}), "RGB",
         Fraction{12, 11}},
        {"ShortPropertiesAreIgnored",
         aviWith({avih(m), list("strl", {strh({}), plainStrf, vprp(16, 9, 720, 576, 35)})})},
        {"ZeroFrameWidth",
         aviWith({avih(m), list("strl", {strh({}), plainStrf, vprp(16, 9, 0, 576)})})},
        {"ZeroAspect",
         aviWith({avih(m), list("strl", {strh({}), plainStrf, vprp(0, 9, 720, 576)})})},
        {"AudioPropertiesDoNotCount",
         aviWith({avih(m),
                  list("strl", {strh({.type = "auds"}), chunk("strf", Bytes(16, 1)),
                                vprp(16, 9, 720, 576)}),
                  list("strl", {strh({}), plainStrf})})},
        {"FirstVideoStreamOnly",
         aviWith({avih(m), list("strl", {strh({}), plainStrf, vprp(4, 3, 720, 576)}),
                  list("strl", {strh({}), plainStrf, vprp(16, 9, 720, 576)})}),
         "RGB", Fraction{16, 15}},
        {"CompressionNamesTheCodec",
         aviWith({avih(m), list("strl", {strh({}), strf(720, 576, "H264")})}), "H264"},
        {"TrailingSpacesDropped",
         aviWith({avih(m), list("strl", {strh({}), strf(720, 576, "DIV ")})}), "DIV"},
        {"UnprintableCompressionFallsBackToTheHandler",
         aviWith({avih(m), list("strl", {strh({}), strf(720, 576, "\x01\x02\x03\x04")})}), "MJPG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProbeResult r = mediatest::run(c.file, &readAvi).result;
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.video->container, Container::Avi);
        EXPECT_EQ(r.video->codec, c.codec);
        EXPECT_EQ(r.video->width, c.width);
        EXPECT_EQ(r.video->height, c.height);
        EXPECT_EQ(r.video->rate, (Fraction{25, 1}));
        EXPECT_EQ(r.video->sar, c.sar);
    }
}

// ffprobe: MJPG, the size, r_frame_rate and sample_aspect_ratio.
TEST(AviMedia, CorpusShapes) {
    const struct {
        const char* file;
        std::uint32_t width, height;
        Fraction rate, sar;
    } cases[] = {
        {"wide-352x288-sar16x11-25.avi", 352, 288, {25, 1}, {16, 11}},
        {"pal-720x576-25.avi", 720, 576, {25, 1}, {1, 1}},
        {"ntsc-640x480-30000-1001.avi", 640, 480, {30000, 1001}, {1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const mediatest::Run r =
            mediatest::run(mediatest::readCorpus(std::string("avi/") + c.file), &readAvi);
        ASSERT_TRUE(r.result.ok()) << r.result.error;
        const VideoInfo& v = *r.result.video;
        EXPECT_EQ(v.codec, "MJPG");
        EXPECT_EQ(v.width, c.width);
        EXPECT_EQ(v.height, c.height);
        EXPECT_EQ(v.rate, c.rate);
        EXPECT_EQ(v.sar, c.sar);
        EXPECT_EQ(r.calls, 1u);
    }
}

TEST(AviMedia, FailuresCarryTheReadersSentence) {
    const Bytes notAvi = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
    const ProbeResult r = mediatest::run(notAvi, &readAvi).result;
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error, "The file is not an AVI file.");
    const Bytes zeroScale =
        aviWith({avih({.microSecPerFrame = 0}), videoList(320, 240, {.scale = 0})});
    const ProbeResult rate = mediatest::run(zeroScale, &readAvi).result;
    ASSERT_TRUE(rate.ok()) << rate.error;
    EXPECT_EQ(rate.video->rate, std::nullopt);
}

} // namespace
} // namespace quorvel::media
