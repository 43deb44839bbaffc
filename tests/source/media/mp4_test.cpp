#include "source/avi/avi_platform.h"
#include "source/avi/avifile.h"
#include "source/media/h26x.h"
#include "source/media/mp4.h"
#include "tests/source/media/media_print.h"
#include "tests/source/media/media_test_support.h"
#include "tests/source/media/mp4_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace quorvel::media {

namespace {

using namespace mp4test;
using Bytes = mp4test::Bytes;
using Track = mp4test::Track;
using io::readStats;
using io::ReadStats;
namespace fs = std::filesystem;

Bytes readFile(const std::string& name) {
    std::ifstream in(std::string(QUORVEL_TEST_DATA) + "/mp4/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// ---- The corpus, with what ffprobe says of each file.

struct Expected {
    const char* file;
    const char* codec;
    std::uint32_t width, height;
    std::optional<Fraction> rate;
    bool variable;
    std::optional<Fraction> sar;
    int rotation;
    // ffprobe's stream duration, to the millisecond, and its nb_frames.
    std::optional<std::uint64_t> durationMs;
    std::optional<std::uint64_t> frames;
    std::optional<Scan> scan = std::nullopt;
    std::optional<FieldOrder> order = std::nullopt;
    std::optional<Crop> crop = std::nullopt;
};

const std::optional<Fraction> kSquare = Fraction{1, 1};
const std::optional<Fraction> kNoSar = std::nullopt;
constexpr auto kProgressive = Scan::Progressive;
constexpr auto kInterlaced = Scan::Interlaced;

void PrintTo(const Expected& c, std::ostream* os) {
    *os << c.file;
}

class Mp4CorpusFile : public testing::TestWithParam<Expected> {};

TEST_P(Mp4CorpusFile, ReadsWhatFfprobeReports) {
    const Expected& e = GetParam();
    const Bytes file = readFile(e.file);
    ASSERT_FALSE(file.empty()) << e.file;
    for (const std::size_t prefix : {io::kPrefixSize, std::size_t{64}, file.size() / 2}) {
        const ProbeResult r = mp4::inspectMp4(file, prefix);
        ASSERT_TRUE(r.ok()) << e.file << ": " << r.error;
        EXPECT_EQ(r.error, "");
        const VideoInfo& v = *r.video;
        EXPECT_EQ(v.container, Container::Mp4);
        EXPECT_EQ(v.codec, e.codec);
        EXPECT_EQ(v.width, e.width);
        EXPECT_EQ(v.height, e.height);
        EXPECT_EQ(v.rate, e.rate) << "prefix " << prefix;
        EXPECT_EQ(v.variableRate, e.variable);
        EXPECT_EQ(v.sar, e.sar);
        EXPECT_EQ(v.rotation, e.rotation);
        EXPECT_EQ(v.durationMs, e.durationMs) << "prefix " << prefix;
        EXPECT_EQ(v.frames, e.frames) << "prefix " << prefix;
        EXPECT_EQ(v.scan, e.scan);
        EXPECT_EQ(v.fieldOrder, e.order);
        EXPECT_EQ(v.crop, e.crop);
    }
}

// ffprobe says progressive for H.264 from the stream itself; the file's
// boxes say nothing there, and the scan stays unknown.
INSTANTIATE_TEST_SUITE_P(
    Mp4, Mp4CorpusFile,
    testing::Values(
        Expected{"avc1-64x48-25.mp4", "avc1", 64, 48, Fraction{25, 1}, false, kSquare, 0, 120, 3,
                 kProgressive},
        Expected{"avc1-64x48-25-faststart.mp4", "avc1", 64, 48, Fraction{25, 1}, false, kSquare, 0,
                 120, 3, kProgressive},
        Expected{"avc1-64x48-24000-1001.mp4", "avc1", 64, 48, Fraction{24000, 1001}, false, kSquare,
                 0, 125, 3, kProgressive},
        Expected{"avc1-64x48-30000-1001.mp4", "avc1", 64, 48, Fraction{30000, 1001}, false, kSquare,
                 0, 100, 3, kProgressive},
        // ffprobe counts no frames in a fragmented file; its fragments hold 3.
        Expected{"avc1-64x48-24-fragmented.mp4", "avc1", 64, 48, Fraction{24, 1}, false, kSquare, 0,
                 125, 3, kProgressive},
        Expected{"avc1-64x48-25-sar16-11.mp4", "avc1", 64, 48, Fraction{25, 1}, false,
                 Fraction{16, 11}, 0, 120, 3, kProgressive},
        Expected{"avc1-64x48-25-sps-sar16-11.mp4", "avc1", 64, 48, Fraction{25, 1}, false,
                 Fraction{16, 11}, 0, 120, 3, kProgressive},
        Expected{"avc1-64x48-25-nosar.mp4", "avc1", 64, 48, Fraction{25, 1}, false, kNoSar, 0, 120,
                 3, kProgressive},
        Expected{"avc1-64x48-25-audio-first.mp4", "avc1", 64, 48, Fraction{25, 1}, false, kSquare,
                 0, 120, 3, kProgressive},
        Expected{"avc1-64x48-25-rotate90.mp4", "avc1", 64, 48, Fraction{25, 1}, false, kSquare, 90,
                 120, 3, kProgressive},
        Expected{"avc1-64x48-vfr-avg-20.mp4", "avc1", 64, 48, Fraction{20, 1}, true, kSquare, 0,
                 200, 4, kProgressive},
        Expected{"avc1-64x48-25.mov", "avc1", 64, 48, Fraction{25, 1}, false, kSquare, 0, 120, 3,
                 kProgressive},
        Expected{"hev1-64x48-25.mp4", "hev1", 64, 48, Fraction{25, 1}, false, kSquare, 0, 80, 2,
                 kProgressive},
        Expected{"hvc1-64x48-50-sps-sar4-3.mp4", "hvc1", 64, 48, Fraction{50, 1}, false,
                 Fraction{4, 3}, 0, 40, 2, kProgressive},
        // ffprobe: field order unknown; the muxer wrote no fiel.
        Expected{"mp4v-64x48-25.mp4", "mp4v", 64, 48, Fraction{25, 1}, false, kSquare, 0, 120, 3},
        Expected{"jpeg-64x48-30.mov", "jpeg", 64, 48, Fraction{30, 1}, false, kSquare, 0, 67, 2,
                 kProgressive},
        Expected{"s263-128x96-15.3gp", "s263", 128, 96, Fraction{15, 1}, false, kSquare, 0, 133, 2,
                 kProgressive},
        // fiel 2 1 and 2 6; ffprobe: tt and bb.
        Expected{"m2v1-64x48-30000-1001-tff.mov", "m2v1", 64, 48, Fraction{30000, 1001}, false,
                 kSquare, 0, 67, 2, kInterlaced, FieldOrder::TopFirst},
        Expected{"mp4v-64x48-25-bff.mp4", "mp4v", 64, 48, Fraction{25, 1}, false, kSquare, 0, 80, 2,
                 kInterlaced, FieldOrder::BottomFirst},
        // fiel 2 9, ffprobe's tb: the top field stored first, the bottom shown
        // first. A 24x20 clean aperture 2 pixels left of the centre.
        Expected{"2vuy-32x24-25-tb-clap.mov", "2vuy", 32, 24, Fraction{25, 1}, false, kSquare, 0,
                 80, 2, kInterlaced, FieldOrder::BottomFirst, Crop{2, 2, 6, 2}},
        // Durations of 1921 and 1922 ticks: ffprobe's r_frame_rate.
        Expected{"avc1-64x48-30000-1001-ts57600.mp4", "avc1", 64, 48, Fraction{30000, 1001}, false,
                 kSquare, 0, 267, 8, kProgressive},
        Expected{"jpeg-64x48-1-1800.mov", "jpeg", 64, 48, Fraction{1, 1800}, false, kSquare, 0,
                 5'400'000, 3, kProgressive},
        // An empty edit of 2 s before the media: ffprobe's start_time, not
        // the stream's duration.
        Expected{"avc1-64x48-25-delay2s.mp4", "avc1", 64, 48, Fraction{25, 1}, false, kSquare, 0,
                 120, 3, kProgressive},
        Expected{"avc1-64x48-25-bframes.mp4", "avc1", 64, 48, Fraction{25, 1}, false, kSquare, 0,
                 200, 5, kProgressive}),
    [](const auto& p) {
        std::string name = p.param.file;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST(Mp4Corpus, ARecordingCutBeforeItsIndexSaysSo) {
    const Bytes file = readFile("avc1-64x48-25-cut.mp4");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(mp4::inspectMp4(file).error, mp4::kErrorNoIndex);
}

// ---- Built files that read well.

struct Read {
    std::optional<Fraction> rate = Fraction{25, 1};
    bool variable = false;
    std::optional<Fraction> sar = std::nullopt;
    int rotation = 0;
    std::string codec = "avc1";
};
struct Good {
    const char* name;
    Bytes file;
    Read expected = {};
};

Track with(void (*change)(Track&)) {
    Track t;
    change(t);
    return t;
}
Track matrix(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    Track t;
    t.matrix[0] = a;
    t.matrix[1] = b;
    t.matrix[2] = c;
    t.matrix[3] = d;
    return t;
}
Track withEntryChildren(Bytes children) {
    Track t;
    t.entryChildren = std::move(children);
    return t;
}

// A fragmented movie: empty stts and mdhd duration, trex (and `mvexMore`),
// then moof(s) holding `trafs`.
Bytes fragmented(std::uint32_t trexDuration, const std::vector<Bytes>& moofs,
                 const Bytes& mvexMore = {}, const Bytes& trakChildren = {}) {
    Track t;
    t.stts = {};
    t.mediaDuration = 0;
    t.trakChildren = trakChildren;
    const Bytes mvex =
        box("mvex", {mvexMore, box("trex", full(0, 0, words({1, 1, trexDuration, 0, 0})))});
    std::vector<Bytes> parts{ftyp(), box("moov", {mvhd(1000), trak(t), mvex})};
    for (const Bytes& m : moofs)
        parts.insert(parts.end(), {m, mdat()});
    return cat(parts);
}
Bytes tfhd(std::uint32_t track, std::optional<std::uint32_t> duration) {
    // base data offset and a default size too, so that the duration is not first
    const std::uint32_t flags = 0x1 | 0x10 | (duration ? 0x8 : 0);
    Bytes b = words({track, 0, 1000});
    if (duration)
        b = cat({b, words({*duration})});
    return box("tfhd", full(0, flags, cat({b, words({100})})));
}
// trun with data offset, first-sample flags and per-sample (duration, size).
Bytes trun(const std::vector<std::uint32_t>& durations) {
    Bytes b = words({static_cast<std::uint32_t>(durations.size()), 8, 0});
    for (const std::uint32_t d : durations)
        b = cat({b, words({d, 100})});
    return box("trun", full(0, 0x1 | 0x4 | 0x100 | 0x200, b));
}
Bytes trunWithoutDurations(std::uint32_t count) {
    Bytes b = words({count});
    for (std::uint32_t i = 0; i < count; ++i)
        b = cat({b, words({100})});
    return box("trun", full(0, 0x200, b));
}
Bytes moof(std::initializer_list<Bytes> trafs) {
    return box("moof", cat({box("mfhd", full(0, 0, words({1}))), cat(trafs)}));
}

// The avcC of a corpus file whose SPS says 16:11.
Bytes corpusAvcC() {
    const Bytes file = readFile("avc1-64x48-25-sps-sar16-11.mp4");
    const std::string text(file.begin(), file.end());
    const std::size_t at = text.find("avcC") - 4;
    return Bytes(file.begin() + at, file.begin() + at + be32(file, at));
}

std::vector<Good> goodFiles() {
    const Track plain;
    Track audio;
    audio.id = 2;
    audio.handler = "soun";
    audio.codec = "mp4a";
    Track mjpeg = plain;
    mjpeg.codec = "jpeg";
    return {
        {"Plain", movie(plain)},
        {"MoovFirst", cat({ftyp(), box("moov", {trak(plain)}), mdat()})},
        {"Version1Headers", movie(with([](Track& t) { t.tkhdVersion = t.mdhdVersion = 1; }))},
        {"Rotate90", movie(matrix(0, 0x10000, -0x10000, 0)), {.rotation = 90}},
        {"Version1Rotate90",
         movie(with([](Track& t) {
             t.tkhdVersion = 1;
             t.matrix[0] = t.matrix[3] = 0;
             t.matrix[1] = 0x10000;
             t.matrix[2] = -0x10000;
         })),
         {.rotation = 90}},
        {"Rotate180", movie(matrix(-0x10000, 0, 0, -0x10000)), {.rotation = 180}},
        {"Rotate270", movie(matrix(0, -0x10000, 0x10000, 0)), {.rotation = 270}},
        {"ScaledRotation", movie(matrix(0, 0x20000, -0x20000, 0)), {.rotation = 90}},
        {"MirrorIsNoTurn", movie(matrix(0x10000, 0, 0, -0x10000))},
        {"MostNegativeMatrix", movie(matrix(INT32_MIN, 0, 0, INT32_MIN)), {.rotation = 180}},
        {"PaspReduced", movie(withEntryChildren(pasp(32, 22))), {.sar = Fraction{16, 11}}},
        {"PaspSquareIsStated", movie(withEntryChildren(pasp(1, 1))), {.sar = Fraction{1, 1}}},
        {"PaspZeroStatesNothing", movie(withEntryChildren(pasp(0, 1)))},
        {"JitteredStampsSnap",
         movie(with([](Track& t) {
             t.stts = {{2, 1921}, {23, 1922}};
             t.timescale = 57600;
         })),
         {.rate = Fraction{30000, 1001}}},
        {"ConstantRoundedDeltaSnaps",
         movie(with([](Track& t) {
             t.stts = {{3, 3754}};
             t.timescale = 90000;
         })),
         {.rate = Fraction{24000, 1001}}},
        {"ExactRate",
         movie(with([](Track& t) {
             t.stts = {{1, 1001}, {2, 1001}};
             t.timescale = 30000;
         })),
         {.rate = Fraction{30000, 1001}}},
        {"SeveralDeltasAverage",
         movie(with([](Track& t) {
             t.stts = {{2, 1000}, {1, 2000}};
             t.timescale = 1000;
         })),
         {.rate = Fraction{3, 4}, .variable = true}},
        {"EmptyEntriesIgnored", movie(with([](Track& t) {
             t.stts = {{0, 7}, {3, 512}, {0, 9}};
         }))},
        {"TimescaleZeroRateUnknown",
         movie(with([](Track& t) { t.timescale = 0; })),
         {.rate = std::nullopt}},
        {"DeltaZeroRateUnknown",
         movie(with([](Track& t) {
             t.stts = {{3, 0}};
         })),
         {.rate = std::nullopt}},
        {"NoSttsRateUnknown", movie(with([](Track& t) { t.stts = {}; })), {.rate = std::nullopt}},
        {"LargestExactSums",
         movie(with([](Track& t) {
             t.stts = {{0xffffffff, 0xffffffff}};
             t.timescale = 0xffffffff;
         })),
         {.rate = Fraction{1, 1}}},
        {"OverflowingDurationRateUnknown",
         movie(with([](Track& t) {
             t.stts = {{0xffffffff, 0xffffffff}, {0xffffffff, 0xffffffff}};
         })),
         {.rate = std::nullopt}},
        {"OverflowingProductApproximated",
         movie(with([](Track& t) {
             t.stts = {{0xffffffff, 1}, {0xffffffff, 1}, {1, 2}};
             t.timescale = 0xffffffff;
         })),
         {.rate = Fraction{4294967294, 1}, .variable = true}},
        {"AudioTrackFirst", movie(std::vector<Bytes>{trak(audio), trak(plain)})},
        {"FirstVideoTrackCounts", movie(std::vector<Bytes>{trak(plain), trak(mjpeg)})},
        {"LargeSizeBoxes",
         cat({ftyp(), largeBox("mdat", Bytes(8, 0)), largeBox("moov", trak(plain))})},
        {"MoovSizeZeroRunsToTheEnd", cat({ftyp(), mdat(), rawBox(0, "moov", trak(plain))})},
        {"ZeroWordPaddingInMoov", movie(std::vector<Bytes>{trak(plain), words({0})})},
        {"UuidAndFreeBoxesSkipped",
         cat({ftyp(), box("uuid", Bytes(20, 0xab)), box("free", Bytes{}), mdat(),
              box("moov", {box("uuid", Bytes(16, 0)), trak(plain)})})},
        {"PrintableCodecKept", movie(with([](Track& t) { t.codec = "3IV2"; })), {.codec = "3IV2"}},
        {"UnprintableCodecMasked",
         movie(with([](Track& t) { t.codec = std::string("ab\x01\x7f", 4); })),
         {.codec = "ab??"}},
        {"DamagedEntryChildHidesOnlyTheShape",
         movie(withEntryChildren(rawBox(200, "pasp", words({4, 3}))))},
        {"LargeSizeEntryChild",
         movie(withEntryChildren(largeBox("pasp", words({4, 3})))),
         {.sar = Fraction{4, 3}}},
        {"LargeSizeEntryChildBeforePasp",
         movie(withEntryChildren(cat({largeBox("colr", Bytes(11, 0)), pasp(4, 3)}))),
         {.sar = Fraction{4, 3}}},
        {"LargeSizeEntryChildBeforeAvcC",
         movie(withEntryChildren(cat({largeBox("btrt", Bytes(12, 0)), corpusAvcC()}))),
         {.sar = Fraction{16, 11}}},
        {"SizeZeroEntryChildRunsToTheEntryEnd",
         movie(withEntryChildren(rawBox(0, "pasp", words({4, 3})))),
         {.sar = Fraction{4, 3}}},
        {"UuidEntryChildSkipped",
         movie(withEntryChildren(cat({box("uuid", Bytes(20, 0xab)), pasp(4, 3)}))),
         {.sar = Fraction{4, 3}}},
        {"FragmentTrexDefault", fragmented(512, {}), {}},
        {"FragmentTfhdDefault",
         fragmented(0, {moof({box("traf", {tfhd(1, 1001)})})}),
         {.rate = Fraction{12800, 1001}}},
        {"FragmentTfhdOverridesTrex",
         fragmented(1, {moof({box("traf", {tfhd(1, 256), trunWithoutDurations(2)})})}),
         {.rate = Fraction{50, 1}}},
        {"FragmentTrunDurations",
         fragmented(0, {moof({box("traf", {tfhd(1, std::nullopt), trun({512, 512, 512})})})})},
        {"FragmentTrunVariable",
         fragmented(0, {moof({box("traf", {tfhd(1, std::nullopt), trun({512, 1024, 512})})})}),
         {.rate = Fraction{75, 4}, .variable = true}},
        {"FragmentOtherTrackSkipped",
         fragmented(
             0, {moof({box("traf", {tfhd(2, 1000), trun({1000})}), box("traf", {tfhd(1, 512)})})})},
        {"FragmentOnlyTheFirstMoof",
         fragmented(0, {moof({box("traf", {tfhd(1, 512)})}), moof({box("traf", {tfhd(1, 1)})})})},
        {"FragmentNeverFoundLeavesTheRateUnknown", fragmented(0, {}), {.rate = std::nullopt}},
        {"FragmentDamageLeavesTheRateUnknown",
         cat({fragmented(0, {}), rawBox(100000, "moof", Bytes(20, 0))}),
         {.rate = std::nullopt}},
    };
}

void PrintTo(const Good& c, std::ostream* os) {
    *os << c.name;
}

class Mp4GoodFile : public testing::TestWithParam<Good> {};

TEST_P(Mp4GoodFile, ReadsTheVideoTrack) {
    const Good& g = GetParam();
    // However much the first read happened to hold, the answer is the same.
    for (const std::size_t prefix :
         {io::kPrefixSize, std::size_t{0}, std::size_t{20}, g.file.size() / 2, g.file.size() - 1}) {
        const ProbeResult r = mp4::inspectMp4(g.file, prefix);
        ASSERT_TRUE(r.ok()) << r.error << " (prefix " << prefix << ")";
        const VideoInfo& v = *r.video;
        EXPECT_EQ(v.codec, g.expected.codec);
        EXPECT_EQ(v.width, 64u);
        EXPECT_EQ(v.height, 48u);
        EXPECT_EQ(v.rate, g.expected.rate) << "prefix " << prefix;
        EXPECT_EQ(v.variableRate, g.expected.variable);
        EXPECT_EQ(v.sar, g.expected.sar);
        EXPECT_EQ(v.rotation, g.expected.rotation);
    }
}

INSTANTIATE_TEST_SUITE_P(Mp4, Mp4GoodFile, testing::ValuesIn(goodFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Running time and frame count.

struct Timed {
    const char* name;
    Bytes file;
    std::optional<std::uint64_t> durationMs;
    std::optional<std::uint64_t> frames = 3;
};

Track withEdits(const Bytes& edits) {
    Track t;
    t.trakChildren = edits;
    return t;
}
Bytes edited(const Bytes& edits, std::uint32_t movieTimescale = 1000) {
    return movie(std::vector<Bytes>{mvhd(movieTimescale), trak(withEdits(edits))});
}
Bytes tfdt(std::uint64_t time) {
    Bytes b;
    put(b, time, 8);
    return box("tfdt", full(1, 0, b));
}
Bytes ourFragment(std::initializer_list<Bytes> boxes) {
    return moof({box("traf", cat(boxes))});
}

std::vector<Timed> timedFiles() {
    std::vector<std::pair<std::uint64_t, std::int64_t>> tooMany(mp4::kMaxEdits + 1, {1, 0});
    std::vector<std::pair<std::uint64_t, std::int64_t>> most(mp4::kMaxEdits, {1, 0});
    return {
        // The builder's track: 3 samples of 512 at 12800, mdhd 1536.
        {"MdhdDuration", movie(Track{}), 120},
        {"Version1Mdhd", movie(with([](Track& t) { t.mdhdVersion = 1; })), 120},
        {"MdhdAllOnesFallsBackToStts", movie(with([](Track& t) { t.mediaDuration = 0xffffffff; })),
         120},
        {"MdhdZeroFallsBackToStts", movie(with([](Track& t) { t.mediaDuration = 0; })), 120},
        {"MdhdRoundsToTheNearestMillisecond", movie(with([](Track& t) {
             t.timescale = 30000;
             t.mediaDuration = 3003;
             t.stts = {{3, 1001}};
         })),
         100},
        {"ADayIsTheMost", movie(with([](Track& t) {
             t.timescale = 1;
             t.mediaDuration = 86400;
             t.stts = {{3, 28800}};
         })),
         86'400'000},
        {"HundredHoursIsUnknown", movie(with([](Track& t) {
             t.timescale = 1;
             t.mediaDuration = 360000;
             t.stts = {{3, 120000}};
         })),
         std::nullopt},
        {"RoundsToNothing", movie(with([](Track& t) {
             t.timescale = 10000;
             t.mediaDuration = 4;
             t.stts = {{3, 1}};
         })),
         std::nullopt},
        {"BeyondTenYearsIsUnknown", movie(with([](Track& t) {
             t.mdhdVersion = 1;
             t.timescale = 1;
             t.mediaDuration = 1ull << 40;
         })),
         std::nullopt},
        // 2^62 s is 2^65 * 125 ms: a product that wraps to 0.
        {"MillisecondsPastSixtyFourBits", movie(with([](Track& t) {
             t.mdhdVersion = 1;
             t.timescale = 1;
             t.mediaDuration = 1ull << 62;
         })),
         std::nullopt},
        {"NoTimescaleNoDuration", movie(with([](Track& t) { t.timescale = 0; })), std::nullopt},
        {"NoSamplesNoFrames", movie(with([](Track& t) {
             t.stts = {};
             t.mediaDuration = 0;
         })),
         std::nullopt, std::nullopt},
        {"EditShowsPartOfTheMedia", edited(edts({{100, 0}})), 100},
        {"EditInAnotherTimescale", edited(edts({{9000, 0}}), 90000), 100},
        {"EmptyEditIsADelayNotRunningTime", edited(edts({{2000, -1}, {120, 0}})), 120},
        {"EditsAreSummed", edited(edts({{50, 0}, {30, 512}})), 80},
        {"Version1Edits", edited(edts({{50, 0}, {30, 512}}, 1)), 80},
        // Writers round an edit up to the movie's milliseconds.
        {"EditOneTickPastTheMediaIsTheMedia", edited(edts({{121, 0}})), 120},
        {"EditTwoTicksPastTheMediaStands", edited(edts({{122, 0}})), 122},
        {"EditOfNoLengthRunsToTheMediaEnd", edited(edts({{0, 1024}})), 120},
        {"OnlyEmptyEditsLeaveTheMedia", edited(edts({{500, -1}})), 120},
        {"AsManyEditsAsRead", edited(edts(most)), mp4::kMaxEdits},
        {"TooManyEditsAreUnknown", edited(edts(tooMany)), std::nullopt},
        {"EditCountPastItsBox", edited(edts({{100, 0}}, 0, 2)), std::nullopt},
        {"EditMediaTimeBelowMinusOne", edited(edts({{100, -2}})), std::nullopt},
        {"EditSumOverflows", edited(edts({{UINT64_MAX, 0}, {2, 0}}, 1)), std::nullopt},
        {"EditsWithoutMovieTimescale", movie(withEdits(edts({{100, 0}}))), std::nullopt},
        // Fragments: 12800 ticks a second, the moov holding no samples.
        {"FragmentsAreSummed",
         fragmented(0, {ourFragment({tfhd(1, std::nullopt), trun({512, 512, 512})}),
                        ourFragment({tfhd(1, 512), trunWithoutDurations(2)})}),
         200, 5},
        {"FragmentsTakeTrexDefault",
         fragmented(512, {ourFragment({tfhd(1, std::nullopt), trunWithoutDurations(4)})}), 160, 4},
        {"FragmentsOfOtherTracksSkipped",
         fragmented(0, {moof({box("traf", {tfhd(2, 1000), trunWithoutDurations(9)}),
                              box("traf", {tfhd(1, 512), trunWithoutDurations(2)})})}),
         80, 2},
        {"DecodeTimesGoingBackDoNotMatter",
         fragmented(0, {ourFragment({tfhd(1, 512), tfdt(5000), trunWithoutDurations(2)}),
                        ourFragment({tfhd(1, 512), tfdt(0), trunWithoutDurations(2)})}),
         160, 4},
        {"FragmentWithoutDurationsIsUnknown",
         fragmented(0, {ourFragment({tfhd(1, std::nullopt), trunWithoutDurations(2)})}),
         std::nullopt, std::nullopt},
        {"FragmentRunPastItsBoxIsUnknown",
         fragmented(0,
                    {ourFragment({tfhd(1, 512), trunWithoutDurations(2)}),
                     ourFragment({tfhd(1, 512), box("trun", full(0, 0x100, words({1000, 512})))})}),
         std::nullopt, std::nullopt},
        {"LastFragmentCutShortIsUnknown",
         cat({fragmented(0, {ourFragment({tfhd(1, 512), trunWithoutDurations(2)})}),
              rawBox(100000, "moof", Bytes(20, 0))}),
         std::nullopt, std::nullopt},
        {"MehdGivesTheTime",
         fragmented(0, {ourFragment({tfhd(1, 512), trunWithoutDurations(2)})}, mehd(4500)), 4500,
         std::nullopt},
        {"Version1Mehd",
         fragmented(0, {ourFragment({tfhd(1, 512), trunWithoutDurations(2)})}, mehd(4500, 1)), 4500,
         std::nullopt},
        {"MehdAllOnesIsUnknown",
         fragmented(0, {ourFragment({tfhd(1, 512), trunWithoutDurations(2)})}, mehd(UINT64_MAX, 1)),
         std::nullopt, std::nullopt},
        {"FragmentedEditListGivesTheTime",
         fragmented(0, {ourFragment({tfhd(1, 512), trunWithoutDurations(2)})}, {},
                    edts({{300, 0}})),
         300, std::nullopt},
        {"FragmentedOpenEndedEditWalks",
         fragmented(0, {ourFragment({tfhd(1, 512), trunWithoutDurations(2)})}, {}, edts({{0, 0}})),
         80, 2},
    };
}

class Mp4RunningTime : public testing::TestWithParam<Timed> {};

TEST_P(Mp4RunningTime, ComesFromEditsMediaOrFragments) {
    const Timed& t = GetParam();
    for (const std::size_t prefix : {io::kPrefixSize, std::size_t{0}, t.file.size() / 2}) {
        const ProbeResult r = mp4::inspectMp4(t.file, prefix);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.video->durationMs, t.durationMs) << "prefix " << prefix;
        EXPECT_EQ(r.video->frames, t.frames) << "prefix " << prefix;
    }
}

INSTANTIATE_TEST_SUITE_P(Mp4, Mp4RunningTime, testing::ValuesIn(timedFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Mp4RunningTime, FragmentsBeyondTheirReadsAreUnknown) {
    // Each moof a read-ahead past the last: one read each.
    const auto spread = [](int fragments) {
        std::vector<Bytes> moofs;
        for (int i = 0; i < fragments; ++i)
            moofs.push_back(ourFragment({tfhd(1, 512), trunWithoutDurations(2)}));
        Bytes file = fragmented(0, {});
        for (const Bytes& m : moofs)
            file = cat({file, m, mdat(mp4::kReadAhead)});
        return file;
    };
    const ProbeResult within = mp4::inspectMp4(spread(mp4::kMaxFragmentReads));
    ASSERT_TRUE(within.ok()) << within.error;
    EXPECT_EQ(within.video->durationMs, 80u * mp4::kMaxFragmentReads);
    const ProbeResult beyond = mp4::inspectMp4(spread(mp4::kMaxFragmentReads + 2));
    ASSERT_TRUE(beyond.ok()) << beyond.error;
    EXPECT_EQ(beyond.video->durationMs, std::nullopt);
    EXPECT_EQ(beyond.video->frames, std::nullopt);
    EXPECT_EQ(beyond.video->rate, (Fraction{25, 1})) << "the first fragment still gives the rate";
}

// ---- Scan, field order and crop from the sample entry.

struct Entry {
    const char* name;
    Bytes children;
    std::optional<Scan> scan;
    std::optional<FieldOrder> order = std::nullopt;
    std::optional<Crop> crop = std::nullopt;
};

class Mp4SampleEntry : public testing::TestWithParam<Entry> {};

TEST_P(Mp4SampleEntry, SaysHowThePictureIsMade) {
    const Entry& e = GetParam();
    const ProbeResult r = mp4::inspectMp4(movie(withEntryChildren(e.children)));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.video->scan, e.scan);
    EXPECT_EQ(r.video->fieldOrder, e.order);
    EXPECT_EQ(r.video->crop, e.crop);
}

INSTANTIATE_TEST_SUITE_P(
    Mp4, Mp4SampleEntry,
    testing::Values(
        Entry{"NoFiel", {}, std::nullopt}, Entry{"Progressive", fiel({1, 0}), Scan::Progressive},
        Entry{"TopShownAndStoredFirst", fiel({2, 1}), Scan::Interlaced, FieldOrder::TopFirst},
        Entry{"BottomShownAndStoredFirst", fiel({2, 6}), Scan::Interlaced, FieldOrder::BottomFirst},
        Entry{"BottomShownTopStoredFirst", fiel({2, 9}), Scan::Interlaced, FieldOrder::BottomFirst},
        Entry{"TopShownBottomStoredFirst", fiel({2, 14}), Scan::Interlaced, FieldOrder::TopFirst},
        Entry{"InterlacedOrderUnstated", fiel({2, 0}), Scan::Interlaced},
        Entry{"ThreeFieldsStateNothing", fiel({3, 1}), std::nullopt},
        Entry{"OneByteFiel", fiel({2}), std::nullopt}, Entry{"EmptyFiel", fiel({}), std::nullopt},
        // The entry is 64x48.
        Entry{"CentredAperture", clap(48, 1, 36, 1, 0, 1, 0, 1), std::nullopt, std::nullopt,
              Crop{8, 6, 8, 6}},
        Entry{"ApertureOfTheWholeFrame", clap(64, 1, 48, 1, 0, 1, 0, 1), std::nullopt, std::nullopt,
              Crop{0, 0, 0, 0}},
        Entry{"ApertureZeroDenominator", clap(48, 0, 36, 1, 0, 1, 0, 1), std::nullopt},
        Entry{"ApertureWiderThanTheFrame", clap(80, 1, 36, 1, 0, 1, 0, 1), std::nullopt},
        Entry{"ShortClap", box("clap", words({48, 1, 36, 1})), std::nullopt},
        Entry{"FielAndClapTogether", cat({fiel({2, 6}), clap(60, 1, 44, 1, 0, 1, 0, 1)}),
              Scan::Interlaced, FieldOrder::BottomFirst, Crop{2, 2, 2, 2}}),
    [](const auto& p) { return std::string(p.param.name); });

struct Aperture {
    const char* name;
    mp4::CleanAperture clap;
    std::optional<Crop> crop;
    std::uint32_t width = 720, height = 576;
};

class Mp4CleanAperture : public testing::TestWithParam<Aperture> {};

TEST_P(Mp4CleanAperture, GivesWholePixelsOrNothing) {
    const Aperture& a = GetParam();
    EXPECT_EQ(mp4::cropFromCleanAperture(a.clap, a.width, a.height), a.crop);
}

INSTANTIATE_TEST_SUITE_P(
    Mp4, Mp4CleanAperture,
    testing::Values(
        Aperture{"Centred", {704, 1, 576, 1, 0, 1, 0, 1}, Crop{8, 0, 8, 0}},
        Aperture{"MovedLeftAndDown", {704, 1, 480, 1, -8, 1, 10, 1}, Crop{0, 58, 16, 38}},
        Aperture{"FractionsRoundToTheNearestPixel",
                 {1405, 2, 1141, 2, 1, 4, -1, 4},
                 Crop{9, 3, 8, 3}}, // 9.0, 711.5; 2.5, 573.0
        Aperture{"OffsetsInHalves", {702, 1, 574, 1, 3, 2, -3, 2}, Crop{11, 0, 7, 2}},
        Aperture{"WidthZeroDenominator", {704, 0, 576, 1, 0, 1, 0, 1}, std::nullopt},
        Aperture{"HeightZeroDenominator", {704, 1, 576, 0, 0, 1, 0, 1}, std::nullopt},
        Aperture{"OffsetZeroDenominator", {704, 1, 576, 1, 0, 0, 0, 1}, std::nullopt},
        Aperture{"VerticalOffsetZeroDenominator", {704, 1, 576, 1, 0, 1, 0, 0}, std::nullopt},
        Aperture{"LargerThanTheFrame", {722, 1, 576, 1, 0, 1, 0, 1}, std::nullopt},
        Aperture{"MovedOutOfTheFrame", {704, 1, 576, 1, 9, 1, 0, 1}, std::nullopt},
        Aperture{"NoWidth", {0, 1, 576, 1, 0, 1, 0, 1}, std::nullopt},
        Aperture{"LargestNumbers",
                 {UINT32_MAX, UINT32_MAX, UINT32_MAX, 1, INT32_MIN, 1, INT32_MAX, 1},
                 std::nullopt},
        Aperture{"FrameOfNoWidth", {0, 1, 0, 1, 0, 1, 0, 1}, std::nullopt, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Hostile and damaged files: a sentence, never a crash.

struct Bad {
    const char* name;
    Bytes file;
    const char* error;
};

// `depth` boxes of `type`, each holding the next, written outside in.
Bytes nested(const char* type, int depth) {
    Bytes b;
    for (int i = depth; i > 0; --i) {
        put(b, static_cast<std::uint32_t>(8 * i), 4);
        putId(b, type);
    }
    return b;
}

Bytes movieWithStbl(const Bytes& stblBody) {
    const Track t;
    return movie(std::vector<Bytes>{box("trak", {tkhd(t), mdia(t, box("stbl", stblBody))})});
}

std::vector<Bad> badFiles() {
    using namespace mp4;
    const Track plain;
    const Bytes entry = visualEntry("avc1", 64, 48, {});
    Track audio;
    audio.handler = "soun";
    std::vector<Bytes> manyFree(kMaxTopLevelBoxes, box("free", Bytes{}));
    return {
        {"Empty", {}, kErrorNoMovie},
        {"NoMoovAfterTheMdat", cat({ftyp(), mdat()}), kErrorNoIndex},
        {"NoMoovAfterAnMdatToTheEnd", cat({ftyp(), rawBox(0, "mdat", Bytes(100, 0))}),
         kErrorNoIndex},
        {"NoMoovAfterAnMdatPastTheEnd", cat({ftyp(), rawBox(5000, "mdat", Bytes(100, 0))}),
         kErrorNoIndex},
        {"NoMdatNoMoov", cat({ftyp(), box("free", Bytes(8, 0))}), kErrorNoMovie},
        {"MoovPastTheEndAfterTheMdat", cat({ftyp(), mdat(), rawBox(4000, "moov", trak(plain))}),
         kErrorCutShort},
        {"FragmentsWithoutMoov",
         cat({ftyp(), box("moof", {box("mfhd", full(0, 0, words({1})))}), mdat()}), kErrorNoMovie},
        {"SizeBelowHeader", cat({ftyp(), rawBox(7, "moov", Bytes(40, 0))}), kErrorBoxTooSmall},
        {"LargeSizeBelowHeader", cat({ftyp(), largeBox("moov", trak(plain), 15)}),
         kErrorBoxTooSmall},
        {"LargeSizeCutShort", cat({ftyp(), rawBox(1, "moov", {0, 0, 0})}), kErrorCutShort},
        {"LargeSizePastTheEnd", cat({ftyp(), largeBox("mdat", Bytes(8, 0), 1ull << 63)}),
         kErrorNoIndex},
        {"LargestSizePastTheEnd", cat({ftyp(), largeBox("moov", trak(plain), UINT64_MAX)}),
         kErrorCutShort},
        {"UuidBelowItsHeader", cat({ftyp(), rawBox(20, "uuid", Bytes(40, 0))}), kErrorBoxTooSmall},
        {"MoovPastTheEnd", cat({ftyp(), rawBox(4000, "moov", trak(plain))}), kErrorCutShort},
        {"TrakPastItsParent", movie(std::vector<Bytes>{rawBox(9000, "trak", Bytes(100, 0))}),
         kErrorPastParent},
        {"StsdPastItsParent", movieWithStbl(rawBox(1u << 30, "stsd", Bytes(8, 0))),
         kErrorPastParent},
        {"NestedHundredThousandDeep", movie(std::vector<Bytes>{nested("trak", 100000)}),
         kErrorNoVideo},
        {"NoVideoTrack", movie(audio), kErrorNoVideo},
        {"EmptyMoov", movie(std::vector<Bytes>{}), kErrorNoVideo},
        {"TooManyTopLevelBoxes", cat({ftyp(), cat(manyFree), box("moov", {trak(plain)})}),
         kErrorTooManyBoxes},
        {"TooManyBoxesInMoov",
         movie(std::vector<Bytes>{cat(std::vector<Bytes>(kMaxBoxes, box("free", Bytes{}))),
                                  trak(plain)}),
         kErrorTooManyBoxes},
        {"SttsClaimsFourBillionEntries",
         movieWithStbl(cat({stsd(entry), stts({{3, 512}}, 0xffffffff)})), kErrorTableTooLong},
        {"SttsOneEntryShort", movieWithStbl(cat({stsd(entry), stts({{3, 512}}, 2)})),
         kErrorTableTooLong},
        {"SttsWithoutCount", movieWithStbl(cat({stsd(entry), box("stts", words({0}))})),
         kErrorShortBox},
        {"NoStsd", movieWithStbl(stts({{3, 512}})), kErrorNoSampleEntry},
        {"StsdWithoutEntries", movieWithStbl(cat({stsd({}, 0), stts({{3, 512}})})),
         kErrorNoSampleEntry},
        {"StsdCountButNoEntry", movieWithStbl(cat({stsd({}, 1), stts({{3, 512}})})),
         kErrorNoSampleEntry},
        {"EntryTooShortToBeVisual",
         movieWithStbl(cat({stsd(box("avc1", Bytes(40, 0))), stts({{3, 512}})})),
         kErrorNoSampleEntry},
        {"EntryPastItsStsd",
         movieWithStbl(cat({stsd(rawBox(500, "avc1", Bytes(80, 0))), stts({{3, 512}})})),
         kErrorNoSampleEntry},
        {"TkhdCutShort",
         movie(std::vector<Bytes>{
             box("trak", {box("tkhd", full(0, 0, Bytes(60, 0))), mdia(plain, stbl(plain))})}),
         kErrorShortBox},
        {"TkhdCutInTheDisplaySize",
         movie(std::vector<Bytes>{
             box("trak", {box("tkhd", full(0, 0, Bytes(76, 0))), mdia(plain, stbl(plain))})}),
         kErrorShortBox},
        {"MdhdCutShort",
         movie(std::vector<Bytes>{
             box("trak", {tkhd(plain), box("mdia", {box("mdhd", full(0, 0, Bytes(4, 0))),
                                                    hdlr("vide"), box("minf", stbl(plain))})})}),
         kErrorShortBox},
        {"CodedWidthZero", movie(with([](Track& t) { t.width = 0; })), kErrorZeroSize},
        {"CodedHeightZero", movie(with([](Track& t) { t.height = 0; })), kErrorZeroSize},
        {"HdlrCutShort",
         movie(std::vector<Bytes>{
             box("trak", {tkhd(plain), box("mdia", {mdhd(plain), box("hdlr", words({0, 0}))})})}),
         kErrorShortBox},
    };
}

void PrintTo(const Bad& c, std::ostream* os) {
    *os << c.name;
}

class Mp4BadFile : public testing::TestWithParam<Bad> {};

TEST_P(Mp4BadFile, SaysWhatIsWrong) {
    const Bad& b = GetParam();
    for (const std::size_t prefix : {io::kPrefixSize, std::size_t{16}, b.file.size() / 2}) {
        const ProbeResult r = mp4::inspectMp4(b.file, prefix);
        EXPECT_FALSE(r.ok()) << "prefix " << prefix;
        EXPECT_EQ(r.error, b.error) << "prefix " << prefix;
    }
}

INSTANTIATE_TEST_SUITE_P(Mp4, Mp4BadFile, testing::ValuesIn(badFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Mp4Shape, PaspComesBeforeTheSps) {
    const Bytes avcC = corpusAvcC();
    ASSERT_EQ(mp4::inspectMp4(movie(withEntryChildren(avcC))).video->sar, (Fraction{16, 11}));
    EXPECT_EQ(mp4::inspectMp4(movie(withEntryChildren(cat({avcC, pasp(4, 3)})))).video->sar,
              (Fraction{4, 3}));
    EXPECT_EQ(mp4::inspectMp4(movie(withEntryChildren(cat({pasp(0, 0), avcC})))).video->sar,
              (Fraction{16, 11}))
        << "an empty pasp states nothing";
}

TEST(Mp4Rate, LongSttsIsAveragedOverThePartRead) {
    // The entries past kMaxTableRead would make the rate variable.
    Track t;
    const std::size_t read = (mp4::kMaxTableRead - 8) / 8;
    t.stts.assign(read, {1, 512});
    t.stts.resize(read + 1000, {1, 1024});
    const ProbeResult r = mp4::inspectMp4(movie(t));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.video->rate, (Fraction{25, 1}));
    EXPECT_FALSE(r.video->variableRate);
    EXPECT_EQ(r.video->durationMs, 120u) << "from mdhd";
    EXPECT_EQ(r.video->frames, std::nullopt) << "the table was not read whole";
}

TEST(Mp4Damage, InANonVideoTrackIsIgnored) {
    Track audio;
    audio.handler = "soun";
    const Bytes damagedAudio =
        box("trak", {box("tkhd", Bytes(10, 0)), mdia(audio, box("stbl", {stts({}, 9)}))});
    const ProbeResult r = mp4::inspectMp4(movie(std::vector<Bytes>{damagedAudio, trak(Track{})}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.video->rate, (Fraction{25, 1}));
}

// A sound sample entry stating `channels`; QuickTime's version 2 states 3
// there and `v2Channels` in its own field.
Bytes soundEntry(int version, std::uint16_t channels, std::uint32_t v2Channels = 0,
                 const Bytes& children = {}) {
    Bytes b = words({0, 1, static_cast<std::uint32_t>(version) << 16, 0,
                     std::uint32_t{version == 2 ? 3u : channels} << 16, 0, 0});
    if (version == 2)
        b = cat({b, words({72, 0, 0, v2Channels, 0x7F000000, 16, 0, 0, 0})});
    return box("mp4a", cat({b, children}));
}

TEST(Mp4Sound, SoundTracksAndTheirChannels) {
    using mediatest::Sound;
    Track sound;
    sound.handler = "soun";
    const auto trakOf = [&sound](const Bytes& entry) {
        return box("trak", {tkhd(sound), mdia(sound, box("stbl", {stsd(entry)}))});
    };
    const auto read = [](std::vector<Bytes> traks) {
        return mediatest::sound(movie(traks), &readMp4);
    };
    // AAC LC, 48 kHz, 6 channels.
    const Bytes esds = box("esds", full(0, 0, {3, 25, 0, 2, 0, 4, 17, 0x40, 0x15, 0, 0,    0,
                                               0, 0,  0, 0, 0, 0, 0,  0,    5,    2, 0x11, 0xB0}));
    EXPECT_EQ(read({trak({}), trakOf(soundEntry(0, 1)), trakOf(soundEntry(1, 6))}),
              (Sound{true, 6}));
    EXPECT_EQ(read({trak({}), trakOf(soundEntry(0, 2))}), (Sound{true, {}})); // ISO's template
    EXPECT_EQ(read({trak({}), trakOf(soundEntry(0, 2, 0, esds))}), (Sound{true, 6}));
    EXPECT_EQ(read({trakOf(soundEntry(2, 0, 8)), trak({})}), (Sound{true, 8}));
    sound.handler = "abcd"; // might be taken for sound
    EXPECT_EQ(read({trak({}), trakOf(soundEntry(0, 1))}), Sound{});
    EXPECT_EQ(read({trak({}), box("trak", {rawBox(4000, "mdia", {})})}), Sound{});
}

TEST(Mp4Sound, LanguageFromMdhd) {
    Track sound;
    sound.handler = "soun";
    const auto language = [&sound](std::uint16_t packed) {
        sound.language = packed;
        const Bytes soundTrak =
            box("trak", {tkhd(sound), mdia(sound, box("stbl", {stsd(soundEntry(0, 1))}))});
        return mp4::inspectMp4(movie({trak({}), soundTrak})).video->audioLanguage;
    };
    EXPECT_EQ(language(4 << 10 | 5 << 5 | 21), "deu");
    EXPECT_EQ(language(0x55c4), std::nullopt); // und
    EXPECT_EQ(language(0), std::nullopt);      // an old QuickTime code
}

TEST(Mp4Chapters, NerosListElseTheTextTrackTheVideoNames) {
    using Ms = std::vector<std::uint64_t>;
    Track video;
    Track text;
    text.id = 2;
    text.handler = "text";
    text.timescale = 1000;
    text.stts = {{1, 80}, {2, 40}};
    const auto chapters = [](std::vector<Bytes> boxes) {
        const ProbeResult r = mp4::inspectMp4(movie(boxes));
        return r.ok() ? r.video->chaptersMs : Ms{9};
    };
    const auto naming = [&video](std::uint32_t id) {
        Track t = video;
        t.trakChildren = box("tref", box("chap", words({id})));
        return trak(t);
    };
    Bytes entries = {2}; // Nero's: a count, then each start (100 ns units) and name
    for (const std::uint64_t start : {0, 15'000'000}) {
        put(entries, start, 8);
        entries.push_back(1);
        entries.push_back('c');
    }
    const Bytes list = box("udta", box("chpl", full(0, 0, entries)));
    EXPECT_EQ(chapters({naming(2), trak(text)}), (Ms{0, 80, 120}));
    EXPECT_EQ(chapters({trak(text), naming(2)}), (Ms{0, 80, 120}));
    EXPECT_EQ(chapters({naming(3), trak(text)}), Ms{});
    EXPECT_EQ(chapters({naming(2), trak(text), list}), (Ms{0, 1500}));
}

// ---- What a probe costs: the caller's first read, then ours.

using mp4::kBudgetBytesMoovFirst;
using mp4::kBudgetReadsMoovFirst;
using mp4::kBudgetReadsMoovLast;
constexpr std::uint64_t kFourGigabytes = 4ull << 30;

// A file of `size` zero bytes with some pieces written into it.
class SparseSource final : public io::ByteSource {
public:
    explicit SparseSource(std::uint64_t size) : size_(size) {}
    void place(std::uint64_t at, Bytes bytes) { pieces_[at] = std::move(bytes); }
    std::uint64_t size() const override { return size_; }
    std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                        std::size_t& got) override {
        got = offset >= size_
                  ? 0
                  : static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
        std::fill(out, out + got, 0);
        for (const auto& [at, bytes] : pieces_)
            for (std::size_t i = 0; i < bytes.size(); ++i)
                if (at + i >= offset && at + i < offset + got)
                    out[at + i - offset] = bytes[i];
        return 0;
    }

private:
    std::uint64_t size_;
    std::map<std::uint64_t, Bytes> pieces_;
};

struct Cost {
    ProbeResult result;
    std::uint64_t firstReads = 0; // open's, before the reader starts
    std::uint64_t reads = 0;
    std::uint64_t bytes = 0;
};

// Open's first read, then the reader, as quorvel-info does them.
Cost probe(io::ByteSource& source) {
    const ReadStats before = readStats();
    Bytes prefix(io::kPrefixSize);
    std::size_t got = 0;
    io::readFully(source, 0, prefix, got);
    prefix.resize(got);
    const std::uint64_t firstReads = readStats().calls - before.calls;
    Cost c{readMp4(prefix, source), firstReads};
    c.reads = readStats().calls - before.calls;
    c.bytes = readStats().bytes - before.bytes;
    return c;
}

Bytes mdatHeader(std::uint64_t size) {
    Bytes b = rawBox(1, "mdat", {});
    put(b, size, 8);
    return b;
}

TEST(Mp4Budget, SmallFileIsOneRead) {
    const Bytes file = readFile("avc1-64x48-25.mp4");
    io::MemorySource source(file);
    const Cost c = probe(source);
    ASSERT_TRUE(c.result.ok()) << c.result.error;
    EXPECT_EQ(c.reads, c.firstReads) << "nothing past the first read";
    EXPECT_EQ(c.bytes, file.size());
}

TEST(Mp4Budget, LargeMoovAtTheStartOfAFourGigabyteFile) {
    // The video track's tables end in a 150 KiB sample size table that is
    // skipped, not read; an audio track follows.
    Track video;
    Track audio;
    audio.id = 2;
    audio.handler = "soun";
    const Bytes stsz = box("stsz", Bytes(150 * 1024, 0));
    const Bytes stblBox =
        box("stbl", {stsd(visualEntry("avc1", 64, 48, {})), stts(video.stts), stsz});
    const Bytes moov = box("moov", {box("trak", {tkhd(video), mdia(video, stblBox)}), trak(audio)});
    const Bytes head = cat({ftyp(), moov});
    SparseSource source(kFourGigabytes);
    source.place(0, cat({head, mdatHeader(kFourGigabytes - head.size())}));
    const Cost c = probe(source);
    ASSERT_TRUE(c.result.ok()) << c.result.error;
    EXPECT_EQ(c.result.video->rate, (Fraction{25, 1}));
    EXPECT_LE(c.reads, kBudgetReadsMoovFirst);
    EXPECT_LE(c.bytes, kBudgetBytesMoovFirst);
}

TEST(Mp4Budget, MoovAfterAFourGigabyteMdat) {
    Track audio;
    audio.handler = "soun";
    // An audio track with a large table first, so that the walk has to jump.
    const Bytes bigAudio =
        box("trak", {tkhd(audio), mdia(audio, box("stbl", {box("stsz", Bytes(300 * 1024, 0))}))});
    const Bytes moov = box("moov", {bigAudio, trak(Track{})});
    const std::uint64_t mdatSize = kFourGigabytes;
    SparseSource source(ftyp().size() + mdatSize + moov.size());
    source.place(0, cat({ftyp(), mdatHeader(mdatSize)}));
    source.place(ftyp().size() + mdatSize, moov);
    const Cost c = probe(source);
    ASSERT_TRUE(c.result.ok()) << c.result.error;
    EXPECT_EQ(c.result.video->rate, (Fraction{25, 1}));
    EXPECT_LE(c.reads, kBudgetReadsMoovLast);
    EXPECT_LE(c.bytes, io::kPrefixSize + 3 * mp4::kReadAhead);
}

TEST(Mp4Budget, SmallFragmentedFileIsOneRead) {
    const Bytes file = readFile("avc1-64x48-24-fragmented.mp4");
    io::MemorySource source(file);
    const Cost c = probe(source);
    ASSERT_TRUE(c.result.ok()) << c.result.error;
    EXPECT_EQ(c.result.video->durationMs, 125u) << "every fragment walked";
    EXPECT_EQ(c.reads, c.firstReads);
}

TEST(Mp4Budget, FragmentsOfAFourGigabyteFileStopAtTheirReads) {
    // Ten fragments half a gigabyte apart: the first gives the rate, the walk
    // gives up after kMaxFragmentReads more.
    Bytes head = fragmented(0, {});
    SparseSource source(kFourGigabytes + 4096);
    const std::uint64_t step = kFourGigabytes / 8;
    const Bytes fragment = ourFragment({tfhd(1, 512), trunWithoutDurations(2)});
    source.place(0, cat({head, fragment, mdatHeader(step - head.size() - fragment.size())}));
    for (std::uint64_t at = step; at + step <= kFourGigabytes; at += step)
        source.place(at, cat({fragment, mdatHeader(step - fragment.size())}));
    const Cost c = probe(source);
    ASSERT_TRUE(c.result.ok()) << c.result.error;
    EXPECT_EQ(c.result.video->rate, (Fraction{25, 1}));
    EXPECT_EQ(c.result.video->durationMs, std::nullopt);
    EXPECT_LE(c.reads, c.firstReads + mp4::kMaxFragmentReads);
    EXPECT_LE(c.bytes, io::kPrefixSize + mp4::kMaxFragmentReads * mp4::kReadAhead);
}

class Mp4SparseFile : public avitest::TempDirTest {};

TEST_F(Mp4SparseFile, MoovAtTheEndOfAFourGigabyteFileOnDisk) {
    const Bytes corpus = readFile("avc1-64x48-25.mp4"); // ftyp, free, mdat, moov
    const std::string text(corpus.begin(), corpus.end());
    ASSERT_NE(text.find("mdat"), std::string::npos);
    const std::size_t moovAt = text.find("moov", text.find("mdat")) - 4;
    const Bytes head = cat({ftyp(), mdatHeader(kFourGigabytes)});
    const std::string path = write("big.mp4", head);
    {
        std::ofstream out(fs::path(path), std::ios::binary | std::ios::in);
        out.seekp(static_cast<std::streamoff>(ftyp().size() + kFourGigabytes));
        out.write(reinterpret_cast<const char*>(corpus.data() + moovAt),
                  static_cast<std::streamsize>(corpus.size() - moovAt));
    }
    std::unique_ptr<avifile::FileSource> file;
    ASSERT_EQ(avifile::FileSource::open(path.c_str(), file), 0);
    const Cost c = probe(*file);
    ASSERT_TRUE(c.result.ok()) << c.result.error;
    EXPECT_EQ(c.result.video->rate, (Fraction{25, 1}));
    EXPECT_EQ(c.result.video->sar, (Fraction{1, 1}));
    EXPECT_EQ(c.reads, c.firstReads + 1) << "the moov and its header in one read";
    EXPECT_LE(c.reads, kBudgetReadsMoovLast);
}

TEST(Mp4Budget, ReadsStopAtTheirLimit) {
    // Top-level boxes spread a read-ahead apart, none of them a moov.
    const std::uint64_t step = mp4::kReadAhead + 8;
    SparseSource source(step * (mp4::kMaxReads + 4));
    for (int i = 0; i < mp4::kMaxReads + 4; ++i)
        source.place(i * step, rawBox(static_cast<std::uint32_t>(step), "free", {}));
    const Cost c = probe(source);
    EXPECT_EQ(c.result.error, mp4::kErrorTooLarge);
    EXPECT_EQ(c.reads, c.firstReads + mp4::kMaxReads);
}

TEST(Mp4Budget, ShrunkFileIsCutShort) {
    // The source says it is larger than it reads.
    class Shrunk final : public io::ByteSource {
    public:
        explicit Shrunk(Bytes b) : bytes_(std::move(b)), inner_(bytes_) {}
        std::uint64_t size() const override { return bytes_.size() + 100000; }
        std::int32_t readAt(std::uint64_t o, std::uint8_t* out, std::size_t n,
                            std::size_t& got) override {
            return inner_.readAt(o, out, n, got);
        }
        Bytes bytes_;
        io::MemorySource inner_;
    };
    Shrunk source(cat({ftyp(), rawBox(100000, "mdat", {}), box("moov", {trak(Track{})})}));
    const Cost c = probe(source);
    EXPECT_EQ(c.result.error, mp4::kErrorCutShort);
}

TEST(Mp4Budget, ReadErrorIsReported) {
    class Failing final : public io::ByteSource {
    public:
        std::uint64_t size() const override { return 1 << 20; }
        std::int32_t readAt(std::uint64_t o, std::uint8_t*, std::size_t,
                            std::size_t& got) override {
            got = 0;
            return o == 0 ? 0 : 5;
        }
    };
    const Bytes head = cat({ftyp(), rawBox(100000, "mdat", {})});
    Failing source;
    EXPECT_EQ(readMp4(head, source).error, mp4::kErrorUnreadable);
}

} // namespace
} // namespace quorvel::media
