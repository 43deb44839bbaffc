#include "source/avi/avi_platform.h"
#include "source/avi/avifile.h"
#include "source/avi/aviheader.h"
#include "tests/source/avi/avi_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace quorvel::avifile {
namespace {

using namespace avitest;
using io::ByteSource;
using io::kPrefixSize;
using io::MemorySource;
using io::ReadStats;
using io::readStats;
namespace fs = std::filesystem;

struct Expected {
    std::uint32_t width = 320, height = 240, rate = 25, scale = 1, streams = 1;
};
struct Good {
    const char* name;
    Bytes file;
    Expected expected = {}; // what the builder's default video stream says
};

Bytes withRiffSize(Bytes b, std::uint32_t size) {
    b[4] = static_cast<std::uint8_t>(size);
    b[5] = static_cast<std::uint8_t>(size >> 8);
    b[6] = static_cast<std::uint8_t>(size >> 16);
    b[7] = static_cast<std::uint8_t>(size >> 24);
    return b;
}

// `depth` lists, each holding the next, written outside in.
Bytes nested(int depth) {
    const Bytes inner = junk(2);
    Bytes b;
    for (int i = depth; i > 0; --i) {
        putId(b, "LIST");
        put32(b, static_cast<std::uint32_t>(12 * i - 8 + inner.size()));
        putId(b, "deep");
    }
    return cat({b, inner});
}

const Main kMain{};
const Bytes kGood = aviWith({avih(kMain), videoList()});
const Bytes kHdrlBody = cat({avih(kMain), videoList()});

std::vector<Good> goodFiles() {
    const Bytes rect352 = strh({.rect = {10, 20, 362, 308}});
    return {
        {"Plain", kGood},
        {"AudioBeforeVideo",
         aviWith({avih(kMain), audioList(), audioList(), videoList(), audioList()}),
         {.streams = 4}},
        {"FirstVideoStreamCounts",
         aviWith({avih(kMain), videoList(), videoList(352, 288)}),
         {.streams = 2}},
        {"TopDownHeightIsPositive", aviWith({avih(kMain), videoList(320, -240)})},
        {"MostNegativeHeight",
         aviWith({avih(kMain), videoList(320, INT32_MIN)}),
         {.height = 2147483648u}},
        {"SizeFromFrameWithoutFormat",
         aviWith({avih({.width = 1, .height = 1}), list("strl", {rect352})}),
         {.width = 352, .height = 288}},
        {"SizeFromFrameWhenFormatSaysNothing",
         aviWith({avih(kMain), list("strl", {rect352, bitmap(0, 0)})}),
         {.width = 352, .height = 288}},
        {"SizeFromMainHeaderWhenFrameEmpty",
         aviWith(
             {avih({.width = 320, .height = 240}), list("strl", {strh({.rect = {5, 5, 5, 9}})})})},
        {"ShortStreamHeaderWithoutFrame",
         aviWith({avih({.width = 320, .height = 240}), list("strl", {strh({.size = 48})})})},
        {"ZeroRateUsesMicroseconds",
         aviWith({avih({.microSecPerFrame = 33367}), videoList(320, 240, {.rate = 0})}),
         {.rate = 1000000, .scale = 33367}},
        {"ZeroScaleUsesMicroseconds",
         aviWith({avih(kMain), videoList(320, 240, {.scale = 0})}),
         {.rate = 1000000, .scale = 40000}},
        {"ZeroScaleHandedOnWithoutMicroseconds",
         aviWith({avih({.microSecPerFrame = 0}), videoList(320, 240, {.scale = 0, .rate = 30})}),
         {.rate = 30, .scale = 0}},
        {"JunkEverywhere",
         riffAvi(
             {junk(3),
              list("hdrl", {junk(0), avih(kMain), junk(5),
                            list("strl", {junk(1), strh({}), junk(7), bitmap(320, 240)}), junk(9)}),
              junk(11), movi()})},
        {"UnknownChunksAndListsSkipped",
         riffAvi(
             {chunk("ABCD", Bytes(5, 1)), list("INFO", {chunk("ISFT", Bytes(3, 'x'))}),
              list("hdrl",
                   {chunk("xyzw", {}), avih(kMain), list("odml", {chunk("dmlh", Bytes(248, 0))}),
                    list("strl", {chunk("strd", Bytes(3, 0)), strh({}), bitmap(320, 240),
                                  chunk("indx", Bytes(32, 0xFF)), list("strl", {})})}),
              movi()})},
        {"MainHeaderAfterStreams", aviWith({videoList(), avih(kMain)})},
        {"FormatBeforeStreamHeader",
         aviWith({avih(kMain), list("strl", {bitmap(320, 240), strh({})})})},
        {"LastPadByteMissing",
         riffAvi({list("hdrl", {avih(kMain), videoList(), rawChunk("JUNK", 1, {0})})})},
        {"TrailingBytesInList", aviWith({avih(kMain), videoList(), Bytes{1, 2, 3}})},
        {"OverrunAfterVideoStream",
         riffAvi({list("hdrl", {avih(kMain), videoList(), rawChunk("JUNK", 500, {})})})},
        {"RiffSizeZero", withRiffSize(kGood, 0)},
        {"MovieCutShort",
         riffAvi({list("hdrl", {kHdrlBody}), rawChunk("LIST", 0xFFFFFFFF, {'m', 'o', 'v', 'i'})})},
        {"DeepListsSkipped", aviWith({nested(50000), avih(kMain), videoList()})},
        {"DeepTopLevelListSkipped", riffAvi({nested(100000), list("hdrl", {kHdrlBody})})},
        {"ZeroSizedTopLevelChunks",
         riffAvi({chunk("JUNK", {}), rawChunk("LIST", 0, {}), list("hdrl", {kHdrlBody})})},
        {"HeaderListPastPrefix", riffAvi({junk(kPrefixSize + 100), list("hdrl", {kHdrlBody})})},
        {"HeaderListLongerThanPrefix", aviWith({avih(kMain), junk(kPrefixSize * 3), videoList()})},
    };
}

void PrintTo(const Good& c, std::ostream* os) {
    *os << c.name;
}

class GoodFile : public testing::TestWithParam<Good> {};

TEST_P(GoodFile, GivesSizeAndRateWhateverWasPrefetched) {
    const Good& g = GetParam();
    for (std::size_t prefix : {kPrefixSize, std::size_t{12}, std::size_t{100}, g.file.size()}) {
        AVIFILEINFO info{};
        ASSERT_EQ(inspectAvi(g.file, info, prefix), 0) << "prefix " << prefix;
        EXPECT_EQ(info.dwWidth, g.expected.width);
        EXPECT_EQ(info.dwHeight, g.expected.height);
        EXPECT_EQ(info.dwRate, g.expected.rate);
        EXPECT_EQ(info.dwScale, g.expected.scale);
        EXPECT_EQ(info.dwStreams, g.expected.streams);
        EXPECT_EQ(info.dwCaps, AVIFILECAPS_CANREAD);
        EXPECT_STREQ(info.szFileType, "AVI file");
    }
}

INSTANTIATE_TEST_SUITE_P(Avi, GoodFile, testing::ValuesIn(goodFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

struct Bad {
    const char* name;
    Bytes file;
    std::int32_t error;
};

Bytes cut(Bytes b, std::size_t size) {
    b.resize(size);
    return b;
}

std::vector<Bad> badFiles() {
    const Bytes header = riffAvi({});
    Bytes tooMany = cut(header, 12);
    for (int i = 0; i <= kMaxTopLevelChunks; ++i)
        tooMany = cat({tooMany, junk(0)});
    tooMany = cat({tooMany, list("hdrl", {kHdrlBody})});
    return {
        {"Empty", {}, kErrorNotAviFile},
        {"ShorterThanRiffHeader", cut(kGood, 11), kErrorNotAviFile},
        {"WaveFile", cat({Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0}, Bytes{'W', 'A', 'V', 'E'}}),
         kErrorNotAviFile},
        {"RiffHeaderOnly", header, kErrorNoHeaderList},
        {"RiffHeaderOnlyButSaysMore", withRiffSize(header, 5000), kErrorHeaderCutShort},
        {"RiffHeaderOnlySizeNeverSet", withRiffSize(header, 0xFFFFFFFF), kErrorNoHeaderList},
        {"MovieBeforeHeader", riffAvi({movi(), list("hdrl", {kHdrlBody})}), kErrorNoHeaderList},
        {"IndexOnly", riffAvi({chunk("idx1", Bytes(16, 0))}), kErrorNoHeaderList},
        {"OnlyJunk", riffAvi({junk(10), junk(20)}), kErrorNoHeaderList},
        {"TooManyChunksBeforeHeader", tooMany, kErrorNoHeaderList},
        {"ChunkBeforeHeaderPastEnd", riffAvi({rawChunk("JUNK", 0xFFFFFFFF, Bytes(10, 0))}),
         kErrorHeaderCutShort},
        {"EndsInChunkHeader", cat({header, Bytes{'J', 'U', 'N', 'K', 1}}), kErrorHeaderCutShort},
        {"EndsBeforeListType", cat({header, rawChunk("LIST", 100, {})}), kErrorHeaderCutShort},
        {"HeaderListOverOneMebibyte",
         cat({header, rawChunk("LIST", kMaxHeaderListSize + 1, {'h', 'd', 'r', 'l'})}),
         kErrorDamagedHeader},
        {"HeaderListCutShort", cut(kGood, 60), kErrorHeaderCutShort},
        {"NoMainHeader", aviWith({videoList()}), kErrorNoMainHeader},
        {"MainHeaderTooShort", aviWith({avih({.size = 20}), videoList()}), kErrorDamagedHeader},
        {"NoStreams", aviWith({avih(kMain)}), kErrorNoVideoStream},
        {"AudioOnly", aviWith({avih(kMain), audioList()}), kErrorNoVideoStream},
        {"VideoHeaderTooShort",
         aviWith({avih(kMain), list("strl", {strh({.size = 30}), bitmap(1, 1)})}),
         kErrorDamagedHeader},
        {"VideoFormatTooShort", aviWith({avih(kMain), list("strl", {strh({}), bitmap(1, 1, 12)})}),
         kErrorDamagedHeader},
        {"StreamTypeCut", aviWith({avih(kMain), list("strl", {chunk("strh", {'v', 'i'})})}),
         kErrorDamagedHeader},
        {"ListContainingItself",
         riffAvi({rawChunk(
             "LIST", 16,
             cat({Bytes{'h', 'd', 'r', 'l'}, rawChunk("LIST", 16, {'h', 'd', 'r', 'l'})}))}),
         kErrorDamagedHeader},
        {"OverrunHidesMainHeader",
         riffAvi({list("hdrl", {rawChunk("JUNK", 0xFFFFFFF8, {}), avih(kMain)})}),
         kErrorDamagedHeader},
        {"OverrunHidesStreams",
         riffAvi({list("hdrl", {avih(kMain), rawChunk("LIST", 900, {'s', 't', 'r', 'l'})})}),
         kErrorDamagedHeader},
        {"OverrunHidesVideoFormat",
         aviWith({avih(kMain), list("strl", {strh({}), rawChunk("JUNK", 900, {}), bitmap(1, 1)})}),
         kErrorDamagedHeader},
    };
}

void PrintTo(const Bad& c, std::ostream* os) {
    *os << c.name;
}

class BadFile : public testing::TestWithParam<Bad> {};

TEST_P(BadFile, FailsWithItsOwnCodeWhateverWasPrefetched) {
    const Bad& b = GetParam();
    for (std::size_t prefix : {kPrefixSize, std::size_t{12}, std::size_t{100}}) {
        AVIFILEINFO info{};
        info.dwWidth = 77;
        EXPECT_EQ(inspectAvi(b.file, info, prefix), b.error) << "prefix " << prefix;
        EXPECT_EQ(info.dwWidth, 77u) << "the record is left alone on failure";
    }
}

INSTANTIATE_TEST_SUITE_P(Avi, BadFile, testing::ValuesIn(badFiles()),
                         [](const auto& p) { return std::string(p.param.name); });

// A source whose reads fail past its first bytes, as a disk error would.
class FailingSource final : public ByteSource {
public:
    explicit FailingSource(const Bytes& b) : memory_(b) {}
    std::uint64_t size() const override { return memory_.size(); }
    std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                        std::size_t& got) override {
        return offset < 12 ? memory_.readAt(offset, out, size, got) : EIO;
    }

private:
    MemorySource memory_;
};

TEST(AviHeader, ReadErrorCarriesErrno) {
    const Bytes file = riffAvi({junk(200), list("hdrl", {kHdrlBody})});
    FailingSource source(file);
    AVIFILEINFO info{};
    EXPECT_EQ(readAviInfo(std::span(file).first(12), source, info), EIO);
}

TEST(AviHeader, HeaderPastPrefixCostsFewSmallReads) {
    const Bytes file = riffAvi({junk(kPrefixSize + 100), list("hdrl", {kHdrlBody}), movi()});
    MemorySource source(file);
    const ReadStats before = readStats();
    AVIFILEINFO info{};
    ASSERT_EQ(readAviInfo(std::span(file).first(kPrefixSize), source, info), 0);
    EXPECT_EQ(readStats().calls - before.calls, 2u); // the next chunk's header, then the list
    EXPECT_EQ(readStats().bytes - before.bytes, 12 + 4 + kHdrlBody.size());
}

#ifdef _WIN32
constexpr std::int32_t kFileNotFound = ERROR_FILE_NOT_FOUND;
#else
constexpr std::int32_t kFileNotFound = ENOENT;
#endif

// Files on disk, in a folder of their own that goes away after each test.
class AviFileCalls : public TempDirTest {
protected:
#ifdef _WIN32
    // How many of the folder's files are held open. We deny others writing, so
    // a file we hold is one that no writer can open; this needs no handle
    // count, which not every Windows implementation keeps.
    std::size_t openFiles() const {
        std::size_t held = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir_)) {
            if (!entry.is_regular_file())
                continue;
            const HANDLE writer =
                ::CreateFileW(entry.path().c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (writer == INVALID_HANDLE_VALUE)
                ++held;
            else
                ::CloseHandle(writer);
        }
        return held;
    }
#else
    // The descriptors the process holds open now.
    static std::size_t openFiles() {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
    }
#endif
};

TEST_F(AviFileCalls, EachFailingCallSetsLastErrorToItsResult) {
    const std::string good = write("good.avi", kGood);
    const std::string noVideo = write("audio.avi", aviWith({avih(kMain), audioList()}));
    const std::string cutShort = write("cut.avi", cut(kGood, 60));
    const std::string wave =
        write("wave.avi", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    const std::string folder = utf8(dir_);
#ifdef _WIN32
    // A pipe with a server but no client yet: opening it must not wait.
    const std::string pipe = "\\\\.\\pipe\\" + dir_.filename().string();
    const HANDLE server =
        ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
#else
    const std::string pipe = path("fifo");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
#endif
    AviFile* const invented = reinterpret_cast<AviFile*>(&dir_);

    const std::size_t descriptors = openFiles();
    struct Case {
        const char* name;
        std::function<std::int32_t()> call;
        std::int32_t error;
    };
    auto open = [](const char* path, std::uint32_t mode = OF_SHARE_DENY_WRITE) {
        PAVIFILE file = reinterpret_cast<PAVIFILE>(1);
        const std::int32_t rc = AVIFileOpen(&file, path, mode);
        EXPECT_EQ(file, nullptr);
        return rc;
    };
    auto info = [](const std::string& path, std::int32_t size = 108, bool noRecord = false) {
        PAVIFILE file = nullptr;
        EXPECT_EQ(AVIFileOpen(&file, path.c_str(), OF_SHARE_DENY_WRITE), 0);
        AVIFILEINFO record{};
        const std::int32_t rc = AVIFileInfo(file, noRecord ? nullptr : &record, size);
        const std::int32_t error = lastError();
        AVIFileRelease(file);
        setLastError(error);
        return rc;
    };
    const std::string missing = path("none.avi");
    AVIFILEINFO r{};
    const std::vector<Case> cases = {
        {"Missing", [&] { return open(missing.c_str()); }, kFileNotFound},
        {"Folder", [&] { return open(folder.c_str()); }, kErrorNotRegularFile},
        {"PipeWithoutWriter", [&] { return open(pipe.c_str()); }, kErrorNotRegularFile},
        {"NotAvi", [&] { return open(wave.c_str()); }, kErrorNotAviFile},
        {"WriteMode", [&] { return open(good.c_str(), OF_WRITE); }, kErrorInvalidArgument},
        {"NullPath", [&] { return open(nullptr); }, kErrorInvalidArgument},
        {"NullHandlePointer", [&] { return AVIFileOpen(nullptr, good.c_str(), 0); },
         kErrorInvalidArgument},
        {"NoVideo", [&] { return info(noVideo); }, kErrorNoVideoStream},
        {"CutShort", [&] { return info(cutShort); }, kErrorHeaderCutShort},
        {"RecordTooSmall", [&] { return info(good, 107); }, kErrorRecordTooSmall},
        {"NullRecord", [&] { return info(good, 108, true); }, kErrorInvalidArgument},
        {"NullHandle", [&] { return AVIFileInfo(nullptr, &r, sizeof r); }, kErrorInvalidHandle},
        {"InventedHandle", [&] { return AVIFileInfo(invented, &r, sizeof r); },
         kErrorInvalidHandle},
#ifdef _WIN32
        {"Device", [&] { return open("NUL"); }, kErrorNotRegularFile},
#endif
    };
    for (const Case& c : cases) {
        setLastError(0x1234);
        EXPECT_EQ(c.call(), c.error) << c.name;
        EXPECT_EQ(lastError(), c.error) << c.name;
    }
    EXPECT_EQ(openFiles(), descriptors) << "every failure path closes the file";
#ifdef _WIN32
    ::CloseHandle(server);
#endif
}

TEST_F(AviFileCalls, ReadsAtAndPastTheEndGiveWhatIsThere) {
    const std::string path = write("good.avi", kGood);
    std::unique_ptr<FileSource> source;
    ASSERT_EQ(FileSource::open(path.c_str(), source), 0);
    ASSERT_EQ(source->size(), kGood.size());
    Bytes buffer(16, 0xAA);
    std::size_t got = 99;
    EXPECT_EQ(source->readAt(kGood.size() - 4, buffer.data(), buffer.size(), got), 0);
    ASSERT_EQ(got, 4u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 4, kGood.end() - 4));
    for (std::uint64_t offset : {std::uint64_t{kGood.size()}, std::uint64_t{1} << 32,
                                 std::uint64_t{1} << 62, ~std::uint64_t{0}}) {
        got = 99;
        EXPECT_EQ(source->readAt(offset, buffer.data(), buffer.size(), got), 0) << offset;
        EXPECT_EQ(got, 0u) << offset;
    }
    got = 99;
    EXPECT_EQ(source->readAt(8, buffer.data(), 4, got), 0);
    EXPECT_EQ(got, 4u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 4, kGood.begin() + 8))
        << "a read at an offset does not depend on the reads before it";
}

TEST_F(AviFileCalls, ReadsTheHeaderAndClosesOnRelease) {
    const std::string path = write("good.avi", kGood);
    const std::size_t descriptors = openFiles();
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpen(&file, path.c_str(), OF_SHARE_DENY_WRITE), 0);
    EXPECT_EQ(openFiles(), descriptors + 1);
    AVIFILEINFO info{};
    ASSERT_EQ(AVIFileInfo(file, &info, sizeof info), 0);
    EXPECT_EQ(info.dwWidth, 320u);
    EXPECT_EQ(info.dwLength, 1u);
    EXPECT_EQ(info.dwFlags, 0x10u);
    EXPECT_EQ(AVIFileRelease(file), 0u);
    EXPECT_EQ(openFiles(), descriptors);
    AVIFILEINFO again{};
    EXPECT_EQ(AVIFileInfo(file, &again, sizeof again), kErrorInvalidHandle) << "released handle";
    EXPECT_EQ(AVIFileRelease(nullptr), 0u);
}

TEST_F(AviFileCalls, FourGigabyteFileCostsWhatASmallOneDoes) {
    const std::string small = write("small.avi", kGood);
    const std::string big = write("big.avi", kGood);
    fs::resize_file(big, 4ull << 30); // sparse
    auto cost = [](const std::string& path) {
        const ReadStats before = readStats();
        PAVIFILE file = nullptr;
        AVIFILEINFO info{};
        EXPECT_EQ(AVIFileOpen(&file, path.c_str(), 0), 0);
        EXPECT_EQ(AVIFileInfo(file, &info, sizeof info), 0);
        AVIFileRelease(file);
        return std::pair(readStats().calls - before.calls, readStats().bytes - before.bytes);
    };
    EXPECT_EQ(cost(small), std::pair(std::uint64_t{1}, std::uint64_t{kGood.size()}));
    EXPECT_EQ(cost(big), std::pair(std::uint64_t{1}, std::uint64_t{kPrefixSize}));
}

TEST(AviFileInit, CountsAndNeverGoesBelowZero) {
    const int start = initCount();
    AVIFileInit();
    AVIFileInit();
    EXPECT_EQ(initCount(), start + 2);
    AVIFileExit();
    AVIFileExit();
    EXPECT_EQ(initCount(), start);
    for (int i = 0; i <= start; ++i)
        AVIFileExit();
    EXPECT_EQ(initCount(), 0);
}

TEST(SysErrorText, EachOwnCodeHasItsOwnSentence) {
    EXPECT_EQ(sysErrorText(kErrorNotAviFile), "The file is not an AVI file.");
    std::set<std::string> seen;
    for (std::int32_t code = kErrorNotAviFile; code <= kErrorInvalidArgument; ++code) {
        const std::string text = sysErrorText(code);
        EXPECT_TRUE(text.starts_with("The ") && text.ends_with(".")) << text;
        EXPECT_TRUE(seen.insert(text).second) << text;
    }
}

TEST(SysErrorText, OtherCodesGetTheSystemsTextOrUnknown) {
#ifndef _WIN32
    EXPECT_EQ(sysErrorText(ENOENT), std::strerror(ENOENT));
#endif
    EXPECT_EQ(sysErrorText(kErrorInvalidArgument + 1),
              "Unknown error " + std::to_string(kErrorInvalidArgument + 1));
    for (std::int32_t code : {-1, 0x7FFFFFF0, INT32_MIN}) {
        const std::string text = sysErrorText(code);
        EXPECT_NE(text.find_first_not_of(" \t\r\n"), std::string::npos) << code;
#ifdef __GLIBC__
        EXPECT_EQ(text, "Unknown error " + std::to_string(code));
#endif
    }
}

struct CorpusFile {
    const char* name;
    std::uint32_t width, height, rate, scale, streams;
};

void PrintTo(const CorpusFile& c, std::ostream* os) {
    *os << c.name;
}

class Corpus : public testing::TestWithParam<CorpusFile> {};

TEST_P(Corpus, ReadsWhatTheWriterStored) {
    const CorpusFile& c = GetParam();
    const std::string path = std::string(QUORVEL_TEST_DATA) + "/avi/" + c.name;
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpen(&file, path.c_str(), OF_SHARE_DENY_WRITE), 0)
        << sysErrorText(lastError());
    AVIFILEINFO info{};
    EXPECT_EQ(AVIFileInfo(file, &info, sizeof info), 0) << sysErrorText(lastError());
    AVIFileRelease(file);
    EXPECT_EQ(info.dwWidth, c.width);
    EXPECT_EQ(info.dwHeight, c.height);
    EXPECT_EQ(info.dwRate, c.rate);
    EXPECT_EQ(info.dwScale, c.scale);
    EXPECT_EQ(info.dwStreams, c.streams);
    EXPECT_EQ(info.dwLength, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Avi, Corpus,
    testing::Values(CorpusFile{"ntsc-640x480-30000-1001.avi", 640, 480, 30000, 1001, 1},
                    CorpusFile{"cif-352x288-25.avi", 352, 288, 25, 1, 1},
                    CorpusFile{"hd-1280x720-24000-1001.avi", 1280, 720, 24000, 1001, 1},
                    CorpusFile{"pal-720x576-25.avi", 720, 576, 25, 1, 1},
                    CorpusFile{"film-640x272-24.avi", 640, 272, 24, 1, 1},
                    CorpusFile{"rate-320x240-15.avi", 320, 240, 15, 1, 1},
                    CorpusFile{"rate-320x240-50.avi", 320, 240, 50, 1, 1},
                    CorpusFile{"rate-320x240-60.avi", 320, 240, 60, 1, 1},
                    CorpusFile{"odd-102x128-25.avi", 102, 128, 25, 1, 1},
                    CorpusFile{"odd-101x75-30.avi", 101, 75, 30, 1, 1},
                    CorpusFile{"audio-after-352x288-25.avi", 352, 288, 25, 1, 2},
                    CorpusFile{"audio-first-320x240-30000-1001.avi", 320, 240, 30000, 1001, 2}),
    [](const auto& p) {
        std::string name = p.param.name;
        std::erase_if(name, [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); });
        return name;
    });

} // namespace
} // namespace quorvel::avifile
