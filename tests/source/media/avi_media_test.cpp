#include "source/media/media.h"
#include "tests/source/avi/avi_builder.h"
#include "tests/source/media/media_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::media {
namespace {

using avitest::audioList;
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

// Video properties of `fields` fields to the frame, each described with its
// valid start line; `size` cuts the chunk short.
Bytes fieldVprp(std::uint32_t fields, std::initializer_list<std::uint32_t> startLines,
                std::size_t size = 0) {
    Bytes b;
    for (std::uint32_t v : {0u, 2u, 50u, 864u, 625u, 4u << 16 | 3u, 720u, 576u, fields})
        put32(b, v);
    for (std::uint32_t line : startLines)
        for (std::uint32_t v : {288u, 720u, 288u, 720u, 0u, 0u, 0u, line})
            put32(b, v);
    if (size != 0)
        b.resize(size);
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

struct Timing {
    const char* name;
    Bytes file;
    std::optional<std::uint64_t> frames;
    std::optional<std::uint64_t> durationMs;
};

TEST(AviMedia, RunningTimeFromTheFrameCounts) {
    const Bytes plainStrf = strf(720, 576, "");
    const auto file = [&](Main m, avitest::Stream s, std::optional<std::uint32_t> dmlh = {}) {
        const Bytes streams = list("strl", {strh(s), plainStrf});
        return dmlh ? aviWith({avih(m), streams, avitest::odml(*dmlh)})
                    : aviWith({avih(m), streams});
    };
    const avitest::Stream ntsc{.scale = 1001, .rate = 30000};
    const Timing cases[] = {
        {"StreamLength", file({.totalFrames = 100}, {.length = 250}), 250, 10000},
        {"MainHeaderWhenTheStreamSaysNothing", file({.totalFrames = 100}, {.length = 0}), 100,
         4000},
        {"LargerOpenDmlTotalWins", file({}, {.length = 250}, 1000), 1000, 40000},
        {"SmallerOpenDmlTotalLoses", file({}, {.length = 250}, 10), 250, 10000},
        {"OpenDmlTotalBeforeTheMainHeader", file({.totalFrames = 100}, {.length = 0}, 500), 500,
         20000},
        {"ZeroOpenDmlTotalIsNone", file({.totalFrames = 100}, {.length = 0}, 0), 100, 4000},
        {"NothingCounts", file({.totalFrames = 0}, {.length = 0}), std::nullopt, std::nullopt},
        {"NtscRoundsToTheMillisecond", file({}, {.scale = 1001, .rate = 30000, .length = 1798}),
         1798, 59993},
        // Past a day, or under half a millisecond, a time is no time.
        {"LongestLength", file({}, {.scale = 1001, .rate = 30000, .length = 0xFFFFFFFF}),
         0xFFFFFFFFu, std::nullopt},
        {"ADayIsTheMost", file({}, {.length = 2'160'000}), 2'160'000, 86'400'000},
        {"JustPastADay", file({}, {.length = 2'160'001}), 2'160'001, std::nullopt},
        {"HalfAMillisecondRoundsUp", file({}, {.scale = 1, .rate = 2000, .length = 1}), 1, 1},
        {"LessRoundsToNothing", file({}, {.scale = 1, .rate = 2001, .length = 1}), 1, std::nullopt},
        {"MainHeaderRateWhenTheStreamHasNone",
         file({.microSecPerFrame = 40000}, {.scale = 0, .rate = 0, .length = 250}), 250, 10000},
        {"NoRateNoTime", file({.microSecPerFrame = 0}, {.scale = 0, .length = 250}), 250,
         std::nullopt},
        {"AudioLengthDoesNotCount",
         aviWith(
             {avih({.totalFrames = 0}),
              list("strl", {strh({.type = "auds", .length = 8000}), chunk("strf", Bytes(16, 1))}),
              list("strl", {strh(ntsc), plainStrf})}),
         1, 33},
    };
    for (const Timing& c : cases) {
        SCOPED_TRACE(c.name);
        const ProbeResult r = mediatest::run(c.file, &readAvi).result;
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.video->frames, c.frames);
        EXPECT_EQ(r.video->durationMs, c.durationMs);
    }
}

struct Fields {
    const char* name;
    Bytes vprp;
    std::optional<Scan> scan;
    std::optional<FieldOrder> order = std::nullopt;
};

TEST(AviMedia, FieldsFromTheVideoProperties) {
    const Fields cases[] = {
        {"OneFieldIsProgressive", fieldVprp(1, {0}), Scan::Progressive},
        {"TwoFieldsTopLineFirst", fieldVprp(2, {0, 1}), Scan::Interlaced, FieldOrder::TopFirst},
        {"TwoFieldsBottomLineFirst", fieldVprp(2, {1, 0}), Scan::Interlaced,
         FieldOrder::BottomFirst},
        {"NeighbouringLinesAnywhere", fieldVprp(2, {22, 23}), Scan::Interlaced,
         FieldOrder::TopFirst},
        {"SignalLinesDoNotTellTheOrder", fieldVprp(2, {23, 336}), Scan::Interlaced},
        {"SameLineDoesNotTellTheOrder", fieldVprp(2, {0, 0}), Scan::Interlaced},
        {"FieldsCutShort", fieldVprp(2, {0, 1}, 36 + 32 + 31), Scan::Interlaced},
        {"FieldsNotDescribed", fieldVprp(2, {}), Scan::Interlaced},
        {"ThreeFields", fieldVprp(3, {0, 1, 2}), std::nullopt},
        {"NoFields", fieldVprp(0, {}), std::nullopt},
        {"PropertiesCutBeforeTheCount", fieldVprp(2, {0, 1}, 35), std::nullopt},
        {"NoProperties", {}, std::nullopt},
    };
    for (const Fields& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file =
            c.vprp.empty()
                ? aviWith({avih({}), list("strl", {strh({}), strf(720, 576, "")})})
                : aviWith({avih({}), list("strl", {strh({}), strf(720, 576, ""), c.vprp})});
        const ProbeResult r = mediatest::run(file, &readAvi).result;
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.video->scan, c.scan);
        EXPECT_EQ(r.video->fieldOrder, c.order);
    }
}

TEST(AviMedia, StandardDvIsBottomFieldFirst) {
    struct Case {
        const char* name;
        std::int32_t width, height;
        const char* codec;
        Bytes vprp;
        std::optional<Scan> scan;
        std::optional<FieldOrder> order;
    };
    const Case cases[] = {
        {"Pal", 720, 576, "dvsd", {}, Scan::Interlaced, FieldOrder::BottomFirst},
        {"NtscUpperCase", 720, 480, "DVSD", {}, Scan::Interlaced, FieldOrder::BottomFirst},
        {"Dvcpro50", 720, 576, "dv50", {}, Scan::Interlaced, FieldOrder::BottomFirst},
        {"OverAOneFieldVprp", 720, 576, "dvsd", fieldVprp(1, {0}), Scan::Interlaced,
         FieldOrder::BottomFirst},
        {"OverATopFirstVprp", 720, 480, "dvsd", fieldVprp(2, {0, 1}), Scan::Interlaced,
         FieldOrder::BottomFirst},
        {"NotAStandardSize", 1440, 1080, "dvsd", {}, std::nullopt, std::nullopt},
        {"NotDv", 720, 576, "MJPG", {}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes format = strf(c.width, c.height, c.codec);
        const Bytes file = c.vprp.empty()
                               ? aviWith({avih({}), list("strl", {strh({}), format})})
                               : aviWith({avih({}), list("strl", {strh({}), format, c.vprp})});
        const ProbeResult r = mediatest::run(file, &readAvi).result;
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.video->scan, c.scan);
        EXPECT_EQ(r.video->fieldOrder, c.order);
    }
}

// ffprobe's duration and nb_frames; it reads no field order from AVI, so the
// order is what the file was made with (-field_order).
TEST(AviMedia, CorpusRunningTimeAndFields) {
    const struct {
        const char* file;
        std::uint64_t frames, durationMs;
        std::optional<Scan> scan;
        std::optional<FieldOrder> order;
    } cases[] = {
        {"pal-720x576-25.avi", 1, 40, Scan::Progressive, std::nullopt},
        {"wide-352x288-sar16x11-25.avi", 1, 40, Scan::Progressive, std::nullopt},
        {"audio-first-320x240-30000-1001.avi", 1, 33, Scan::Progressive, std::nullopt},
        {"interlaced-tt-64x48-25.avi", 3, 120, Scan::Interlaced, FieldOrder::TopFirst},
        {"interlaced-bb-64x48-30000-1001.avi", 3, 100, Scan::Interlaced, FieldOrder::BottomFirst},
        // DV cut after its headers; its frames decode as interlaced, bottom first.
        {"dv-720x576-25-cut.avi", 1, 40, Scan::Interlaced, FieldOrder::BottomFirst},
        {"dv-720x480-30000-1001-cut.avi", 1, 33, Scan::Interlaced, FieldOrder::BottomFirst},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const mediatest::Run r =
            mediatest::run(mediatest::readCorpus(std::string("avi/") + c.file), &readAvi);
        ASSERT_TRUE(r.result.ok()) << r.result.error;
        const VideoInfo& v = *r.result.video;
        EXPECT_EQ(v.frames, c.frames);
        EXPECT_EQ(v.durationMs, c.durationMs);
        EXPECT_EQ(v.scan, c.scan);
        EXPECT_EQ(v.fieldOrder, c.order);
        EXPECT_EQ(r.calls, 1u);
    }
}

TEST(AviMedia, SoundFromTheAudioStreams) {
    using mediatest::Sound;
    const auto sound = [](const Bytes& file) { return mediatest::sound(file, &readAvi); };
    const auto audio = [](std::uint16_t channels) {
        Bytes wave;
        for (const std::uint16_t v : {1, int{channels}, 0, 0, 0, 0, 0, 0})
            put16(wave, v);
        return list("strl", {strh({.type = "auds"}), chunk("strf", wave)});
    };
    EXPECT_EQ(sound(aviWith({avih({}), audio(2), videoList(), audio(6)})), (Sound{true, 6}));
    EXPECT_EQ(sound(aviWith({avih({}), videoList(), audioList()})), (Sound{true, {}})); // 257
    // DV's interleaved stream carries sound that ffmpeg finds.
    EXPECT_EQ(sound(aviWith({avih({}), videoList(), list("strl", {strh({.type = "iavs"})})})),
              Sound{});
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
