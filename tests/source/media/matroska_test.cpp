#include "source/media/matroska.h"
#include "tests/source/media/media_print.h"
#include "tests/source/media/media_test_support.h"
#include "tests/support/byte_builder.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

namespace quorvel::media {
namespace {

using namespace matroska;
using bytetest::cat;
using mediatest::Buffer;
using mediatest::run;

// An ID as Matroska writes it, its marker included.
Buffer idBytes(std::uint32_t id) {
    Buffer b;
    for (int shift = 24; shift >= 0; shift -= 8)
        if (id >> shift || !b.empty() || shift == 0)
            b.push_back(static_cast<std::uint8_t>(id >> shift));
    return b;
}

// A size in `length` bytes (0: the fewest that hold it).
Buffer sizeBytes(std::uint64_t n, int length = 0) {
    if (length == 0)
        for (length = 1; length < 8 && n >= (std::uint64_t{1} << (7 * length)) - 1; ++length) {
        }
    Buffer b(static_cast<std::size_t>(length));
    for (int i = length - 1; i >= 0; --i, n >>= 8)
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(n);
    b[0] |= static_cast<std::uint8_t>(0x80u >> (length - 1));
    return b;
}

Buffer el(std::uint32_t id, const Buffer& body, int sizeLength = 0) {
    return cat({idBytes(id), sizeBytes(body.size(), sizeLength), body});
}
// All value bits of a one-byte size set: unknown.
Buffer unknownEl(std::uint32_t id, const Buffer& body) {
    return cat({idBytes(id), {0xFF}, body});
}
Buffer uintEl(std::uint32_t id, std::uint64_t v) {
    Buffer b;
    do
        b.insert(b.begin(), static_cast<std::uint8_t>(v));
    while (v >>= 8);
    return el(id, b);
}
Buffer strEl(std::uint32_t id, const std::string& s) {
    return el(id, Buffer(s.begin(), s.end()));
}

constexpr std::uint32_t kIdVoid = 0xEC;

Buffer ebml(const std::string& docType = "webm") {
    return el(kIdEbml, cat({uintEl(0x4286, 1), strEl(kIdDocType, docType)}));
}

struct Track {
    std::uint64_t type = 1;
    std::string codec = "V_VP9";
    std::uint64_t width = 640, height = 480;
    std::optional<std::uint64_t> duration = 40'000'000; // 25 fps
    std::optional<std::uint64_t> displayWidth = std::nullopt, displayHeight = std::nullopt,
                                 unit = std::nullopt;
    std::uint64_t crop[4] = {0, 0, 0, 0}; // top, bottom, left, right
    std::size_t codecPrivate = 0;         // bytes of it, before the Video element
    std::optional<std::uint64_t> interlaced = std::nullopt, fieldOrder = std::nullopt;
};

Buffer entry(const Track& t) {
    Buffer video;
    if (t.width)
        video = cat({video, uintEl(kIdPixelWidth, t.width)});
    if (t.height)
        video = cat({video, uintEl(kIdPixelHeight, t.height)});
    const std::uint32_t crops[] = {kIdPixelCropTop, kIdPixelCropBottom, kIdPixelCropLeft,
                                   kIdPixelCropRight};
    for (int i = 0; i < 4; ++i)
        if (t.crop[i])
            video = cat({video, uintEl(crops[i], t.crop[i])});
    if (t.displayWidth)
        video = cat({video, uintEl(kIdDisplayWidth, *t.displayWidth)});
    if (t.displayHeight)
        video = cat({video, uintEl(kIdDisplayHeight, *t.displayHeight)});
    if (t.unit)
        video = cat({video, uintEl(kIdDisplayUnit, *t.unit)});
    if (t.interlaced)
        video = cat({video, uintEl(kIdFlagInterlaced, *t.interlaced)});
    if (t.fieldOrder)
        video = cat({video, uintEl(kIdFieldOrder, *t.fieldOrder)});
    Buffer b = cat({uintEl(0xD7, 1), uintEl(kIdTrackType, t.type), strEl(kIdCodecId, t.codec)});
    if (t.duration)
        b = cat({b, uintEl(kIdDefaultDuration, *t.duration)});
    if (t.codecPrivate)
        b = cat({b, el(kIdCodecPrivate, Buffer(t.codecPrivate, 0x2A))});
    return el(kIdTrackEntry, cat({b, el(kIdVideo, video)}));
}

Buffer tracks(std::initializer_list<Buffer> entries) {
    return el(kIdTracks, cat(entries));
}
Buffer info() {
    return el(kIdInfo, uintEl(kIdTimestampScale, 1000000));
}
// A Duration of 8 bytes, or of 4 as a float.
Buffer durationEl(double d) {
    const auto bits = std::bit_cast<std::uint64_t>(d);
    Buffer b;
    for (int shift = 56; shift >= 0; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(bits >> shift));
    return el(kIdDuration, b);
}
Buffer durationEl4(float d) {
    const auto bits = std::bit_cast<std::uint32_t>(d);
    Buffer b;
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(bits >> shift));
    return el(kIdDuration, b);
}
Buffer infoOf(const Buffer& duration, std::optional<std::uint64_t> scale = std::nullopt) {
    return el(kIdInfo, cat({scale ? uintEl(kIdTimestampScale, *scale) : Buffer{}, duration}));
}
Buffer cluster() {
    return el(kIdCluster, uintEl(0xE7, 0));
}
Buffer mkv(std::initializer_list<Buffer> segmentChildren, const std::string& docType = "webm") {
    return cat({ebml(docType), el(kIdSegment, cat(segmentChildren))});
}
// A SeekHead naming the track list at `position` from the Segment's data.
Buffer seekHead(std::uint64_t position, int positionLength = 0) {
    Buffer pos = sizeBytes(position, positionLength);
    pos[0] &= static_cast<std::uint8_t>(0xFF >> (pos.size())); // a plain integer, no marker
    return el(kIdSeekHead,
              el(kIdSeek, cat({el(kIdSeekId, idBytes(kIdTracks)), el(kIdSeekPosition, pos)})));
}
// A SeekHead naming the Info and the track list, both 4-byte positions.
Buffer seekHeadBoth(std::uint64_t info, std::uint64_t tracks) {
    auto seek = [](std::uint32_t id, std::uint64_t position) {
        Buffer pos = sizeBytes(position, 4);
        pos[0] &= 0x0F;
        return el(kIdSeek, cat({el(kIdSeekId, idBytes(id)), el(kIdSeekPosition, pos)}));
    };
    return el(kIdSeekHead, cat({seek(kIdInfo, info), seek(kIdTracks, tracks)}));
}
Buffer voidOf(std::size_t n) {
    return el(kIdVoid, Buffer(n, 0), 4);
}

struct Expect {
    std::string codec = "V_VP9";
    std::uint32_t width = 640, height = 480;
    std::optional<Fraction> rate = Fraction{25, 1};
    std::optional<Fraction> sar = std::nullopt;
    std::optional<std::uint64_t> durationMs = std::nullopt;
    std::optional<Scan> scan = std::nullopt;
    std::optional<FieldOrder> order = std::nullopt;
    std::optional<Crop> crop = std::nullopt;
};

void expectVideo(const ProbeResult& r, const Expect& e) {
    ASSERT_TRUE(r.ok()) << r.error;
    const VideoInfo& v = *r.video;
    EXPECT_EQ(v.container, Container::Matroska);
    EXPECT_EQ(v.codec, e.codec);
    EXPECT_EQ(v.width, e.width);
    EXPECT_EQ(v.height, e.height);
    EXPECT_EQ(v.rate, e.rate);
    EXPECT_EQ(v.sar, e.sar);
    EXPECT_FALSE(v.variableRate);
    EXPECT_EQ(v.durationMs, e.durationMs);
    EXPECT_EQ(v.frames, std::nullopt);
    EXPECT_EQ(v.scan, e.scan);
    EXPECT_EQ(v.fieldOrder, e.order);
    EXPECT_EQ(v.crop, e.crop);
}

// Checked against ffprobe's width, height, r_frame_rate and sample_aspect_ratio
// (which says 1:1 where the file gives no display size, and we say nothing),
// its format duration and field_order (which it takes from an H.264 stream
// over the file's flags).
struct CorpusCase {
    const char* file;
    Expect expect;
};

TEST(MatroskaCorpus, ReadsEachFileFromItsPrefixAlone) {
    const CorpusCase cases[] = {
        {"vp9-160x120-25.webm",
         {"V_VP9", 160, 120, Fraction{25, 1}, std::nullopt, 80, Scan::Progressive}},
        // Live: no Duration.
        {"live-160x90-50.webm",
         {"V_VP9", 160, 90, Fraction{50, 1}, std::nullopt, std::nullopt, Scan::Progressive}},
        {"h264-320x240-sar4x3-30000-1001.mkv",
         {"V_MPEG4/ISO/AVC", 320, 240, Fraction{30000, 1001}, Fraction{4, 3}, 66,
          Scan::Progressive}},
        {"h264-176x144-sar12x11-24000-1001.mkv",
         {"V_MPEG4/ISO/AVC", 176, 144, Fraction{24000, 1001}, Fraction{12, 11}, 125,
          Scan::Progressive}},
        // 720x432 of picture shown at 720x576: a 5:4 picture of 3:4 pixels.
        {"h264-720x576-25-crop0-72-0-72.mkv",
         {"V_MPEG4/ISO/AVC", 720, 576, Fraction{25, 1}, Fraction{3, 4}, 80, std::nullopt,
          std::nullopt, Crop{0, 72, 0, 72}}},
        // mkvmerge's --field-order alone; ffprobe goes by the stream.
        {"h264-64x48-25-tff.mkv",
         {"V_MPEG4/ISO/AVC", 64, 48, Fraction{25, 1}, Fraction{1, 1}, 80, Scan::Interlaced,
          FieldOrder::TopFirst}},
        {"h264-64x48-25-bff-interlaced.mkv",
         {"V_MPEG4/ISO/AVC", 64, 48, Fraction{25, 1}, Fraction{1, 1}, 80, Scan::Interlaced,
          FieldOrder::BottomFirst}},
        {"mpeg2-64x48-30000-1001-bff.mkv",
         {"V_MPEG2", 64, 48, Fraction{30000, 1001}, std::nullopt, 66, Scan::Interlaced,
          FieldOrder::BottomFirst}},
    };
    for (const CorpusCase& c : cases) {
        SCOPED_TRACE(c.file);
        const Buffer file = mediatest::readCorpus(std::string("mkv/") + c.file);
        ASSERT_FALSE(file.empty());
        const mediatest::Run r = run(file, &readMatroska);
        expectVideo(r.result, c.expect);
        EXPECT_EQ(r.calls, 1u); // open's read only
        EXPECT_LE(r.bytes, 256u * 1024);
        // A bare few bytes first: the rest is read, the answer is the same.
        const mediatest::Run small = run(file, &readMatroska, 12);
        expectVideo(small.result, c.expect);
        EXPECT_LE(small.calls, 3u);
        EXPECT_LE(small.bytes, 256u * 1024);
    }
}

TEST(MatroskaCorpus, WithoutDefaultDurationTheRateIsUnknown) {
    Buffer file = mediatest::readCorpus("mkv/h264-320x240-sar4x3-30000-1001.mkv");
    // Turn DefaultDuration into an element the reader does not know.
    const Buffer id = idBytes(kIdDefaultDuration);
    const auto at = std::search(file.begin(), file.end(), id.begin(), id.end());
    ASSERT_NE(at, file.end());
    at[2] ^= 0x01;
    expectVideo(run(file, &readMatroska).result,
                {"V_MPEG4/ISO/AVC", 320, 240, std::nullopt, Fraction{4, 3}, 66, Scan::Progressive});
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
    const Buffer plain = tracks({entry({})});
    return {
        {"Plain", mkv({info(), plain})},
        {"MatroskaDocType", mkv({plain}, "matroska")},
        {"NoDocTypeMeansMatroska", cat({el(kIdEbml, uintEl(0x4286, 1)), el(kIdSegment, plain)})},
        {"AudioTrackFirst",
         mkv({tracks({entry({.type = 2, .codec = "A_OPUS"}), entry({.codec = "V_AV1"})})}),
         {.codec = "V_AV1"}},
        {"OnlyTheFirstVideoTrack",
         mkv({tracks({entry({.width = 320, .height = 240}), entry({})})}),
         {.width = 320, .height = 240}},
        {"DisplayInPixels",
         mkv({tracks({entry({.width = 720, .displayWidth = 853, .displayHeight = 480})})}),
         {.width = 720, .sar = Fraction{853, 720}}},
        {"DisplayAspectRatio",
         mkv({tracks({entry(
             {.width = 720, .height = 576, .displayWidth = 16, .displayHeight = 9, .unit = 3})})}),
         {.width = 720, .height = 576, .sar = Fraction{64, 45}}},
        {"CropNarrowsThePicture",
         mkv({tracks({entry({.width = 720,
                             .height = 576,
                             .displayWidth = 4,
                             .displayHeight = 3,
                             .unit = 3,
                             .crop = {0, 0, 8, 8}})})}),
         {.width = 720, .height = 576, .sar = Fraction{12, 11}, .crop = Crop{8, 0, 8, 0}}},
        {"CropTopAndBottom",
         mkv({tracks({entry({.width = 640,
                             .height = 480,
                             .displayWidth = 16,
                             .displayHeight = 9,
                             .unit = 3,
                             .crop = {60, 60, 0, 0}})})}),
         {.sar = Fraction{1, 1}, .crop = Crop{0, 60, 0, 60}}},
        {"Centimetres",
         mkv({tracks({entry({.displayWidth = 32, .displayHeight = 18, .unit = 1})})}),
         {.sar = Fraction{4, 3}}},
        {"Inches",
         mkv({tracks({entry({.displayWidth = 16, .displayHeight = 9, .unit = 2})})}),
         {.sar = Fraction{4, 3}}},
        {"UnknownUnitGivesNoShape",
         mkv({tracks({entry({.displayWidth = 16, .displayHeight = 9, .unit = 4})})})},
        {"DisplayWidthAloneKeepsThePictureHeight",
         mkv({tracks({entry({.displayWidth = 960})})}),
         {.sar = Fraction{3, 2}}},
        {"ZeroDisplaySizeGivesNoShape",
         mkv({tracks({entry({.displayWidth = 0, .displayHeight = 9, .unit = 3})})})},
        {"CropWiderThanThePictureGivesNoShape",
         mkv({tracks({entry(
             {.displayWidth = 4, .displayHeight = 3, .unit = 3, .crop = {0, 0, 320, 320}})})})},
        {"NoDefaultDuration",
         mkv({tracks({entry({.duration = std::nullopt})})}),
         {.rate = std::nullopt}},
        {"UnknownSizeSegment",
         cat({ebml(), unknownEl(kIdSegment, cat({info(), plain, unknownEl(kIdCluster, {})}))})},
        {"UnknownSizeTracksRunsToTheSegmentEnd", mkv({unknownEl(kIdTracks, entry({}))})},
        {"EightByteSizes",
         cat({el(kIdEbml, strEl(kIdDocType, "webm"), 8),
              el(kIdSegment,
                 el(kIdTracks,
                    el(kIdTrackEntry,
                       cat({uintEl(kIdTrackType, 1),
                            el(kIdVideo,
                               cat({uintEl(kIdPixelWidth, 640), uintEl(kIdPixelHeight, 480)}), 8)}),
                       8),
                    8),
                 8)}),
         {.codec = "", .rate = std::nullopt}},
        {"VoidBeforeTheSegment", cat({ebml(), voidOf(10), el(kIdSegment, plain)})},
        {"WrongSeekHeadIsIgnored", mkv({seekHead(0), info(), plain})},
        {"SeekHeadPastTheEndIsIgnored", mkv({seekHead(1u << 30), plain})},
        {"CodecIdKeepsPrintableText",
         mkv({tracks({entry({.codec = std::string("V_\x01X\0tail", 8)})})}),
         {.codec = "V_?X"}},
    };
}

class MatroskaGoodFile : public testing::TestWithParam<Good> {};

TEST_P(MatroskaGoodFile, ReadsTheFirstVideoTrack) {
    const Good& c = GetParam();
    expectVideo(run(c.file, &readMatroska).result, c.expect);
    // A bare few bytes first: the rest is read, the answer is the same.
    expectVideo(run(c.file, &readMatroska, 12).result, c.expect);
}

INSTANTIATE_TEST_SUITE_P(Matroska, MatroskaGoodFile, testing::ValuesIn(goodFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Matroska, FollowsTheSeekHeadToATrackListPastThePrefix) {
    // SeekHead, 100 KiB of Void, then Tracks: one read at the track list.
    const Buffer gap = voidOf(100 * 1024);
    const Buffer probe = seekHead(0, 4);
    const Buffer file = mkv({seekHead(probe.size() + gap.size(), 4), gap, tracks({entry({})})});
    const mediatest::Run r = run(file, &readMatroska);
    expectVideo(r.result, {});
    EXPECT_EQ(r.calls, 2u);
    EXPECT_LE(r.bytes, io::kPrefixSize + kTracksFirstRead);
}

TEST(Matroska, WalksPastAnElementBiggerThanThePrefix) {
    const Buffer file = mkv({voidOf(100 * 1024), tracks({entry({})})});
    const mediatest::Run r = run(file, &readMatroska);
    expectVideo(r.result, {});
    EXPECT_EQ(r.calls, 3u); // open, the next header, the track list
}

Buffer repeated(const Buffer& element, int count) {
    Buffer b;
    for (int i = 0; i < count; ++i)
        b = cat({b, element});
    return b;
}

// What real files put before the track list, and track lists that real
// files make large, read within the limits.
struct Bounded {
    const char* name;
    Buffer file;
    std::string error; // empty: the video is read
    std::uint64_t maxCalls;
    std::uint64_t maxBytes; // past the prefix
};

void PrintTo(const Bounded& c, std::ostream* os) {
    *os << c.name;
}

class MatroskaWithinLimits : public testing::TestWithParam<Bounded> {};

TEST_P(MatroskaWithinLimits, ReadsOrSaysWhichLimitStoppedIt) {
    const Bounded& c = GetParam();
    const mediatest::Run r = run(c.file, &readMatroska);
    if (c.error.empty())
        expectVideo(r.result, {});
    else
        EXPECT_EQ(r.result.error, c.error);
    EXPECT_LE(r.calls, c.maxCalls);
    EXPECT_LE(r.bytes, io::kPrefixSize + c.maxBytes);
    EXPECT_EQ(run(c.file, &readMatroska, 12).result.error, r.result.error);
}

constexpr std::size_t kMiB = 1024 * 1024;
const std::string kTooManyBefore = "The Matroska file has too many elements before its track list.";
const std::string kTracksTooLarge = "The Matroska track list is too large to read.";

// A subtitle track whose CodecPrivate holds `size` bytes.
Buffer subtitles(std::size_t size) {
    return entry({.type = 17, .codec = "S_TEXT/ASS", .codecPrivate = size});
}

INSTANTIATE_TEST_SUITE_P(
    Matroska, MatroskaWithinLimits,
    testing::Values(
        Bounded{"SixtyThreeVoids", mkv({repeated(el(kIdVoid, {}), 63), tracks({entry({})})}), "", 1,
                0},
        Bounded{"ThousandVoids", mkv({repeated(el(kIdVoid, {}), 1000), tracks({entry({})})}), "", 1,
                0},
        Bounded{"TenThousandSeekHeads",
                mkv({repeated(el(kIdSeekHead, {}), 10000), tracks({entry({})})}), kTooManyBefore, 1,
                0},
        // Elements larger than a read-ahead: a read for each header past the prefix.
        Bounded{"TwentyLargeElements", mkv({repeated(voidOf(8 * 1024), 20), tracks({entry({})})}),
                "", 2 + 20, 20 * kHeaderReadAhead + kTracksFirstRead},
        Bounded{"SixtyLargeElements", mkv({repeated(voidOf(8 * 1024), 60), tracks({entry({})})}),
                kTooManyBefore, 1 + kMaxHeaderReads, kMaxHeaderReads* kHeaderReadAhead},
        // The small elements behind a large one come with one read-ahead.
        Bounded{"SmallElementsAfterALargeOne",
                mkv({voidOf(100 * 1024), repeated(el(kIdVoid, {}), 500), tracks({entry({})})}), "",
                3, kHeaderReadAhead + kTracksFirstRead},
        // A track list over kMaxTracksSize: large bodies skipped, a read for each.
        Bounded{"LargeCodecPrivateBeforeTheVideoTrack",
                mkv({tracks({subtitles(2 * kMiB), entry({})})}), "", 3, 2 * kTracksFirstRead},
        Bounded{"LargeCodecPrivateInTheVideoTrack",
                mkv({tracks({entry({.codecPrivate = 3 * kMiB})})}), "", 3, 2 * kTracksFirstRead},
        Bounded{"SeveralLargeCodecPrivates",
                mkv({tracks({subtitles(kMiB), subtitles(kMiB), subtitles(kMiB), entry({})})}), "",
                5, 4 * kTracksFirstRead},
        Bounded{"TooManyLargeBodiesInTheTrackList",
                mkv({tracks({repeated(subtitles(kTracksFirstRead), 20), entry({})})}),
                kTracksTooLarge, 2 + kMaxTrackListReads,
                (1 + kMaxTrackListReads) * kTracksFirstRead}),
    [](const auto& info) { return std::string(info.param.name); });

Buffer withFirstSizeByte(Buffer b, std::size_t at, std::uint8_t v) {
    b[at] = v;
    return b;
}

struct Bad {
    const char* name;
    Buffer file;
    std::string error; // a part of the sentence
};

void PrintTo(const Bad& c, std::ostream* os) {
    *os << c.name;
}

std::vector<Bad> badFiles() {
    const Buffer good = mkv({tracks({entry({})})});
    const std::size_t segmentSize = ebml().size() + 4; // the Segment's size byte
    Buffer manyVoids;
    for (int i = 0; i < kMaxLevel1Elements; ++i)
        manyVoids = cat({manyVoids, el(kIdVoid, {})});
    Buffer manyChildren;
    for (int i = 0; i < kMaxElements; ++i)
        manyChildren = cat({manyChildren, el(kIdVoid, {})});
    return {
        {"LengthWithoutMarker", withFirstSizeByte(good, segmentSize, 0x00), "byte 16 has"},
        {"IdLongerThanFourBytes", withFirstSizeByte(good, ebml().size(), 0x08), "byte 16 has"},
        {"OtherDocType", mkv({tracks({entry({})})}, "mka-notes"),
         "EBML file of type \"mka-notes\""},
        {"NotEbml", Buffer{0x1A, 0x45, 0xDF, 0xA4, 0x80}, "not a Matroska"},
        {"EbmlHeaderCutShort",
         [] {
             Buffer b = ebml();
             b.resize(10);
             return b;
         }(),
         "cut short"},
        {"EbmlHeaderTooLarge", el(kIdEbml, Buffer(kMaxEbmlHeaderSize + 1, 0)), "damaged"},
        {"NothingAfterTheHeader", ebml(), "cut short"},
        {"NoSegment",
         cat({ebml(), voidOf(1), voidOf(1), voidOf(1), voidOf(1), voidOf(1), voidOf(1), voidOf(1),
              voidOf(1), voidOf(1)}),
         "damaged"},
        {"NoVideoTrack", mkv({tracks({entry({.type = 2})})}), "no video track"},
        {"NoFrameSize", mkv({tracks({entry({.width = 0})})}), "frame size"},
        {"NoTracksBeforeTheCluster", mkv({info(), cluster(), tracks({entry({})})}),
         "no track list"},
        {"NoTracksAtAll", mkv({info()}), "no track list"},
        {"TooManyElementsBeforeTheTracks", mkv({manyVoids, tracks({entry({})})}),
         "too many elements before its track list"},
        {"TooManyElementsInTheTracks", mkv({el(kIdTracks, cat({manyChildren, entry({})}))}),
         "too many elements"},
        {"TrackEntryRunsPastTracks", mkv({cat({idBytes(kIdTracks), sizeBytes(3), entry({})})}),
         "damaged"},
        {"NineByteInteger", mkv({tracks({el(kIdTrackEntry, el(kIdTrackType, Buffer(9, 1)))})}),
         "damaged"},
        {"TracksCutShort",
         [] {
             Buffer b = mkv({tracks({entry({})})});
             b.resize(b.size() - 5);
             return b;
         }(),
         "cut short"},
        {"LargeTracksCutShortBeforeTheVideo",
         mkv({cat({idBytes(kIdTracks), sizeBytes(kMaxTracksSize + 1, 4),
                   entry({.type = 2, .codec = "S_VOBSUB"})})}),
         "cut short"},
        {"WidthAbove32Bits", mkv({tracks({entry({.width = std::uint64_t{1} << 32})})}), "damaged"},
    };
}

class MatroskaBadFile : public testing::TestWithParam<Bad> {};

TEST_P(MatroskaBadFile, IsRefusedWithItsSentence) {
    const Bad& c = GetParam();
    const mediatest::Run r = run(c.file, &readMatroska);
    ASSERT_FALSE(r.result.ok());
    EXPECT_NE(r.result.error.find(c.error), std::string::npos) << r.result.error;
    EXPECT_EQ(run(c.file, &readMatroska, 12).result.error, r.result.error);
}

INSTANTIATE_TEST_SUITE_P(Matroska, MatroskaBadFile, testing::ValuesIn(badFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Matroska, ATrackListTooLargeIsNotRead) {
    const Buffer file =
        mkv({voidOf(100 * 1024), cat({idBytes(kIdTracks), sizeBytes(kMaxTracksSize + 1, 4)}),
             Buffer(kMaxTracksSize + 1, 0)});
    const mediatest::Run r = run(file, &readMatroska);
    EXPECT_FALSE(r.result.ok());
    EXPECT_LE(r.bytes, io::kPrefixSize + kHeaderReadAhead + kTracksFirstRead);
}

TEST(Matroska, RateFromNanosecondsPerFrame) {
    const struct {
        std::uint64_t duration;
        std::optional<Fraction> rate;
    } cases[] = {
        {40'000'000, Fraction{25, 1}},
        {41'666'666, Fraction{24, 1}}, // truncated
        {41'666'667, Fraction{24, 1}}, // rounded
        {41'708'333, Fraction{24000, 1001}},
        {33'366'666, Fraction{30000, 1001}},
        {33'366'667, Fraction{30000, 1001}},
        {16'683'333, Fraction{60000, 1001}},
        {20'854'166, Fraction{48000, 1001}},
        {33'366'668, Fraction{1'000'000'000 / 4, 33'366'668 / 4}}, // 2 ns off: as stored
        {41'708'000, Fraction{250000, 10427}},
        {1'000'000'000, Fraction{1, 1}},
        {2'000'000'000, Fraction{1, 2}},
        {3, Fraction{1'000'000'000, 3}},
        {0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.duration);
        EXPECT_EQ(frameRate(c.duration), c.rate);
    }
}

// ---- Running time from Info.

struct Timed {
    const char* name;
    Buffer file;
    std::optional<std::uint64_t> durationMs;
};

class MatroskaRunningTime : public testing::TestWithParam<Timed> {};

TEST_P(MatroskaRunningTime, IsInfosDurationOrUnknown) {
    const Timed& t = GetParam();
    for (const std::size_t prefix : {io::kPrefixSize, std::size_t{12}}) {
        const mediatest::Run r = run(t.file, &readMatroska, prefix);
        ASSERT_TRUE(r.result.ok()) << r.result.error;
        EXPECT_EQ(r.result.video->durationMs, t.durationMs) << "prefix " << prefix;
    }
}

std::vector<Timed> timedFiles() {
    const Buffer plain = tracks({entry({})});
    const Buffer bigInfo = el(kIdInfo, cat({durationEl(5000), voidOf(kMaxInfoSize)}));
    const Buffer infoFirst = infoOf(durationEl(8000));
    // SeekHead, a gap, the track list, then Info past it.
    const Buffer gap = voidOf(100 * 1024);
    const std::size_t seekSize = seekHeadBoth(0, 0).size();
    const Buffer farInfo =
        mkv({seekHeadBoth(seekSize + gap.size() + plain.size(), seekSize + gap.size()), gap, plain,
             infoOf(durationEl(7000))});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    return {
        {"EightByteFloat", mkv({infoOf(durationEl(1234.4)), plain}), 1234},
        {"FourByteFloat", mkv({infoOf(durationEl4(1500.5f)), plain}), 1501},
        {"TimestampScaleOfMicroseconds", mkv({infoOf(durationEl(2'500'000), 1000), plain}), 2500},
        {"TimestampScaleOfSeconds", mkv({infoOf(durationEl(5520), 1'000'000'000), plain}),
         5'520'000},
        {"NinetyMinutes", mkv({infoOf(durationEl(5'400'000)), plain}), 5'400'000},
        {"NoDuration", mkv({info(), plain}), std::nullopt},
        {"NoInfo", mkv({plain}), std::nullopt},
        {"NotANumber", mkv({infoOf(durationEl(nan)), plain}), std::nullopt},
        {"Infinite", mkv({infoOf(durationEl(inf)), plain}), std::nullopt},
        {"Negative", mkv({infoOf(durationEl(-40)), plain}), std::nullopt},
        {"Zero", mkv({infoOf(durationEl(0)), plain}), std::nullopt},
        {"Absurd", mkv({infoOf(durationEl(1e308)), plain}), std::nullopt},
        {"ADayIsTheMost", mkv({infoOf(durationEl(86'400'000)), plain}), 86'400'000},
        {"JustPastADay", mkv({infoOf(durationEl(86'400'001)), plain}), std::nullopt},
        {"RoundsToNothing", mkv({infoOf(durationEl(0.4)), plain}), std::nullopt},
        {"TimestampScaleZero", mkv({infoOf(durationEl(40), 0), plain}), std::nullopt},
        {"TimestampScaleHuge", mkv({infoOf(durationEl(40), UINT64_MAX), plain}), std::nullopt},
        {"TenByteFloat", mkv({el(kIdInfo, el(kIdDuration, Buffer(10, 0x40))), plain}),
         std::nullopt},
        {"DamagedInfoSaysNothing",
         mkv({el(kIdInfo, cat({durationEl(40), Buffer{0x00, 0x81}})), plain}), std::nullopt},
        {"InfoTooLargeIsSkipped", mkv({bigInfo, plain}), std::nullopt},
        // A SeekHead that names the track list and not Info sends the reader
        // past it (writers name both).
        {"InfoTheSeekHeadSkips",
         mkv({seekHead(seekHead(0, 4).size() + infoFirst.size() + voidOf(20).size(), 4), infoFirst,
              voidOf(20), plain}),
         std::nullopt},
        {"InfoBeforeTheTracksInTheWalk", mkv({seekHead(0, 4), infoFirst, voidOf(20), plain}), 8000},
        {"InfoWhereTheSeekHeadSays", farInfo, 7000},
        {"InfoAfterTheTracksWithoutSeekHead", mkv({plain, infoOf(durationEl(40))}), std::nullopt},
        {"SeekHeadInfoPointingElsewhere",
         mkv({seekHeadBoth(0, seekSize + 10), voidOf(10 - 4 - 1), plain}), std::nullopt},
    };
}

INSTANTIATE_TEST_SUITE_P(Matroska, MatroskaRunningTime, testing::ValuesIn(timedFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(MatroskaRunningTime, InfoPastThePrefixCostsOneReadEach) {
    const Buffer plain = tracks({entry({})});
    const Buffer gap = voidOf(100 * 1024);
    const std::size_t seekSize = seekHeadBoth(0, 0).size();
    const Buffer file =
        mkv({seekHeadBoth(seekSize + gap.size() + plain.size(), seekSize + gap.size()), gap, plain,
             infoOf(durationEl(7000))});
    const mediatest::Run r = run(file, &readMatroska);
    ASSERT_TRUE(r.result.ok()) << r.result.error;
    EXPECT_EQ(r.result.video->durationMs, 7000u);
    EXPECT_EQ(r.calls, 3u); // open, the Info (header and body together), the track list
}

// ---- Scan and field order.

struct Interlacing {
    const char* name;
    std::optional<std::uint64_t> flag, order;
    std::optional<Scan> scan;
    std::optional<FieldOrder> fieldOrder = std::nullopt;
};

class MatroskaInterlacing : public testing::TestWithParam<Interlacing> {};

TEST_P(MatroskaInterlacing, FollowsTheFlagAndTheOrder) {
    const Interlacing& c = GetParam();
    const Buffer file = mkv({tracks({entry({.interlaced = c.flag, .fieldOrder = c.order})})});
    const mediatest::Run r = run(file, &readMatroska);
    ASSERT_TRUE(r.result.ok()) << r.result.error;
    EXPECT_EQ(r.result.video->scan, c.scan);
    EXPECT_EQ(r.result.video->fieldOrder, c.fieldOrder);
}

INSTANTIATE_TEST_SUITE_P(
    Matroska, MatroskaInterlacing,
    testing::Values(
        Interlacing{"Unstated", std::nullopt, std::nullopt, std::nullopt},
        Interlacing{"Progressive", 2, std::nullopt, Scan::Progressive},
        Interlacing{"ProgressiveIgnoresAnOrder", 2, 1, Scan::Progressive},
        Interlacing{"InterlacedOrderUnstated", 1, std::nullopt, Scan::Interlaced},
        Interlacing{"InterlacedOrderUndetermined", 1, 2, Scan::Interlaced},
        Interlacing{"InterlacedOrderSaysProgressive", 1, 0, Scan::Interlaced},
        Interlacing{"TopFirst", 1, 1, Scan::Interlaced, FieldOrder::TopFirst},
        Interlacing{"BottomFirst", 1, 6, Scan::Interlaced, FieldOrder::BottomFirst},
        Interlacing{"TopStoredBottomShownFirst", 1, 9, Scan::Interlaced, FieldOrder::BottomFirst},
        Interlacing{"BottomStoredTopShownFirst", 1, 14, Scan::Interlaced, FieldOrder::TopFirst},
        Interlacing{"OtherOrder", 1, 7, Scan::Interlaced},
        Interlacing{"OrderAloneSaysInterlaced", 0, 6, Scan::Interlaced, FieldOrder::BottomFirst},
        Interlacing{"OrderWithoutFlag", std::nullopt, 1, Scan::Interlaced, FieldOrder::TopFirst},
        Interlacing{"UndeterminedFlagAndOrder", 0, 2, std::nullopt},
        Interlacing{"OtherFlag", 3, std::nullopt, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(MatroskaCrop, OnlyWhenGivenAndLeavingAPicture) {
    const struct {
        const char* name;
        Track track;
        std::optional<Crop> crop;
    } cases[] = {
        {"NoneGiven", {}, std::nullopt},
        {"Sides", {.crop = {0, 0, 10, 20}}, Crop{10, 0, 20, 0}},
        {"AllFour", {.crop = {1, 2, 3, 4}}, Crop{3, 1, 4, 2}},
        {"WholeWidth", {.crop = {0, 0, 320, 320}}, std::nullopt},
        {"TallerThanThePicture", {.crop = {480, 1, 0, 0}}, std::nullopt},
        {"Huge", {.crop = {0, 0, UINT64_MAX, 1}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const mediatest::Run r = run(mkv({tracks({entry(c.track)})}), &readMatroska);
        ASSERT_TRUE(r.result.ok()) << r.result.error;
        EXPECT_EQ(r.result.video->crop, c.crop);
    }
}

// An audio entry; `channels` 0 leaves Channels out of its Audio element.
Buffer audioEntry(std::optional<std::uint64_t> channels) {
    Buffer b = cat({uintEl(kIdTrackType, 2), strEl(kIdCodecId, "A_OPUS")});
    if (channels)
        b = cat({b, el(kIdAudio, *channels ? uintEl(kIdChannels, *channels) : Buffer{})});
    return el(kIdTrackEntry, b);
}

TEST(MatroskaSound, TrackTypeTwoWithItsChannels) {
    using mediatest::Sound;
    const auto sound = [](const Buffer& file) { return mediatest::sound(file, &readMatroska); };
    EXPECT_EQ(sound(mkv({tracks({entry({}), audioEntry(6), audioEntry(0)})})), (Sound{true, 6}));
    EXPECT_EQ(sound(mkv({tracks({audioEntry(0), entry({})})})), (Sound{true, 1}));
    EXPECT_EQ(sound(mkv({tracks({entry({}), audioEntry(std::nullopt)})})), (Sound{true, {}}));
    EXPECT_EQ(sound(mkv({tracks({entry({}), subtitles(10)})})), (Sound{false, {}}));
    // The entries after the video's damaged, or not kept of a large list.
    EXPECT_EQ(sound(mkv({tracks({entry({}), el(kIdTrackEntry, el(kIdTrackType, Buffer(9, 0)))})})),
              Sound{});
    EXPECT_EQ(sound(mkv({tracks({subtitles(2 * kMiB), entry({})})})), Sound{});
}

Buffer languageEntry(std::uint64_t channels, const std::string& language,
                     const std::string& bcp47 = "") {
    Buffer b = cat({uintEl(kIdTrackType, 2), el(kIdAudio, uintEl(kIdChannels, channels))});
    if (!language.empty())
        b = cat({b, strEl(kIdLanguage, language)});
    if (!bcp47.empty())
        b = cat({b, strEl(kIdLanguageBcp47, bcp47)});
    return el(kIdTrackEntry, b);
}

TEST(MatroskaSound, LanguageOfTheTrackFfmpegTakes) {
    const auto language = [](std::initializer_list<Buffer> entries) {
        const ProbeResult r = run(mkv({tracks(entries)}), &readMatroska).result;
        return r.ok() ? r.video->audioLanguage : "damaged";
    };
    using L = std::optional<std::string>;
    EXPECT_EQ(language({entry({}), languageEntry(2, "")}), L{"eng"}); // the format's default
    EXPECT_EQ(language({entry({}), languageEntry(2, "ger", "de-CH")}), L{"de"});
    EXPECT_EQ(language({entry({}), languageEntry(2, "und")}), L{});
    EXPECT_EQ(language({entry({}), languageEntry(2, "fre"), languageEntry(6, "ger"),
                        languageEntry(6, "ita")}),
              L{"ger"});
}

Buffer atom(std::uint64_t startNs, std::uint64_t hidden = 0, std::uint64_t enabled = 1,
            const Buffer& inner = {}) {
    return el(kIdChapterAtom,
              cat({uintEl(kIdChapterTimeStart, startNs), uintEl(kIdChapterFlagHidden, hidden),
                   uintEl(kIdChapterFlagEnabled, enabled), inner}));
}
Buffer edition(std::initializer_list<Buffer> atoms, std::uint64_t isDefault = 0,
               std::uint64_t ordered = 0) {
    return el(kIdEditionEntry, cat({uintEl(kIdEditionFlagDefault, isDefault),
                                    uintEl(kIdEditionFlagOrdered, ordered), cat(atoms)}));
}

TEST(MatroskaChapters, TheShownStartsOfTheDefaultEdition) {
    using Ms = std::vector<std::uint64_t>;
    const struct {
        Buffer chapters;
        Ms want;
    } cases[] = {
        {edition({atom(2'000'499'999), atom(0), atom(1'500'000'000), atom(9'000'000'000, 1),
                  atom(8'000'000'000, 0, 0), atom(1'500'000'000)}),
         {0, 1500, 2000}},
        {cat({edition({atom(0), atom(1'000'000'000)}), edition({atom(5'000'000'000)}, 1)}), {5000}},
        {edition({atom(0), atom(60'000'000'000)}, 1, 1), {}}, // ordered: another timeline
        {edition({atom(0, 0, 1, atom(3'000'000'000))}), {0}}, // nested atoms are parts
        {edition({atom(0), el(kIdChapterAtom, el(kIdChapterTimeStart, Buffer(9, 1)))}), {}},
    };
    for (const auto& c : cases) {
        int elements = matroska::kMaxElements;
        EXPECT_EQ(matroska::parseChapters(c.chapters, elements), c.want);
    }
    // Before the track list, or right after it.
    const Buffer chapters = el(kIdChapters, edition({atom(0), atom(7'000'000'000)}));
    for (const Buffer& file : {mkv({chapters, tracks({entry({})})}),
                               mkv({tracks({entry({})}), el(kIdVoid, {}), chapters}),
                               mkv({tracks({entry({})}), chapters})}) {
        const ProbeResult r = run(file, &readMatroska).result;
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.video->chaptersMs, (Ms{0, 7000}));
    }
}

TEST(MatroskaHeader, ReadsIdsAndSizes) {
    const struct {
        const char* name;
        Buffer bytes;
        HeaderStatus status;
        std::uint32_t id = 0;
        std::uint64_t size = 0;
        std::size_t length = 0;
    } cases[] = {
        {"OneByte", {0xEC, 0x85}, HeaderStatus::Ok, 0xEC, 5, 2},
        {"FourByteId", {0x1A, 0x45, 0xDF, 0xA3, 0x42, 0x00}, HeaderStatus::Ok, kIdEbml, 0x200, 6},
        {"EightByteSize", {0xEC, 0x01, 0, 0, 0, 0, 0, 1, 0}, HeaderStatus::Ok, 0xEC, 256, 9},
        {"UnknownOneByte", {0xEC, 0xFF}, HeaderStatus::Ok, 0xEC, kUnknownSize, 2},
        {"UnknownEightBytes",
         {0xEC, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         HeaderStatus::Ok,
         0xEC,
         kUnknownSize,
         9},
        {"AllOnesButOneIsKnown", {0xEC, 0x7F, 0xFE}, HeaderStatus::Ok, 0xEC, 0x3FFE, 3},
        {"SizeWithoutMarker", {0xEC, 0x00, 0x01}, HeaderStatus::Invalid},
        {"IdWithoutMarker", {0x00, 0x81}, HeaderStatus::Invalid},
        {"FiveByteId", {0x08, 0, 0, 0, 1, 0x80}, HeaderStatus::Invalid},
        {"Empty", {}, HeaderStatus::CutShort},
        {"SizeCutShort", {0xEC, 0x40}, HeaderStatus::CutShort},
        {"IdCutShort", {0x1A, 0x45}, HeaderStatus::CutShort},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ElementHeader h;
        ASSERT_EQ(readHeader(c.bytes, 0, h), c.status);
        if (c.status != HeaderStatus::Ok)
            continue;
        EXPECT_EQ(h.id, c.id);
        EXPECT_EQ(h.size, c.size);
        EXPECT_EQ(h.length, c.length);
    }
}

} // namespace
} // namespace quorvel::media
