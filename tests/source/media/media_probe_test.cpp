#include "source/avi/file_info.h"
#include "source/media/media_probe.h"
#include "tests/support/fake_avi_library.h"
#include "tests/support/temp_dir.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace quorvel {
namespace {

using fakes::FakeAviLibrary;
using Calls = std::vector<std::string>;

class ProbeFile : public avitest::TempDirTest {};

TEST_F(ProbeFile, AnAviFileGoesTheWindowsWay) {
    FakeAviLibrary lib;
    lib.record = FakeAviLibrary::makeRecord(640, 0xFFFFFFFF, 25, 0);
    const std::string path = write("a.avi", avitest::aviWith({avitest::videoList()}));
    const media::FileProbe probe = media::probeFile(lib, path);
    ASSERT_TRUE(probe.ok()) << probe.error;
    EXPECT_EQ(lib.calls, (Calls{"init", "open", "info", "release", "exit"}));
    EXPECT_EQ(lib.openedPath, path);
    // The library's record, not the file's own header, is what counts.
    ASSERT_TRUE(probe.aviRecord);
    EXPECT_EQ(probe.aviRecord->dwWidth, 640u);
    EXPECT_EQ(probe.video->container, media::Container::Avi);
    EXPECT_EQ(probe.video->height, 0xFFFFFFFFu);
    EXPECT_EQ(probe.video->rate, (media::Fraction{25, 0}));
}

// Nothing was seen of a file that cannot be opened: whatever its name, the
// sentence names no container, and the window's library is not asked.
struct Unopenable {
    const char* name;
    const char* path; // in the test's folder; an absolute path as it is; none: the folder
    std::int32_t error;
};

const Unopenable kUnopenable[] = {
    {"MissingMkv", "missing.mkv", ENOENT},
    {"MissingAvi", "missing.avi", ENOENT},
    {"Folder", nullptr, avifile::kErrorNotRegularFile},
#ifndef _WIN32
    {"Device", "/dev/zero", avifile::kErrorNotRegularFile},
#endif
};

void PrintTo(const Unopenable& c, std::ostream* os) {
    *os << c.name;
}

class ProbeFileUnopenable : public ProbeFile, public testing::WithParamInterface<Unopenable> {};

TEST_P(ProbeFileUnopenable, IsToldWithoutNamingAContainer) {
    const Unopenable& c = GetParam();
    const std::string where = !c.path            ? avitest::utf8(dir_)
                              : c.path[0] == '/' ? c.path
                                                 : path(c.path);
    FakeAviLibrary lib;
    const media::FileProbe probe = media::probeFile(lib, where);
    EXPECT_FALSE(probe.ok());
    EXPECT_EQ(probe.error, media::kOpenFileFailedText + avifile::sysErrorText(c.error));
    EXPECT_TRUE(lib.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, ProbeFileUnopenable, testing::ValuesIn(kUnopenable),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProbeFile, AnAviFilesRunningTimeAndFieldsComeFromItsHeaders) {
    FakeAviLibrary lib;
    lib.record = FakeAviLibrary::makeRecord(720, 576, 25, 1);
    avitest::Bytes vprp;
    for (std::uint32_t v : {0u, 0u, 25u, 720u, 576u, 4u << 16 | 3u, 720u, 576u, 2u})
        avitest::put32(vprp, v);
    for (std::uint32_t line : {1u, 0u})
        for (std::uint32_t v : {288u, 720u, 288u, 720u, 0u, 0u, 0u, line})
            avitest::put32(vprp, v);
    const std::string path =
        write("fields.avi",
              avitest::aviWith(
                  {avitest::avih({}),
                   avitest::list("strl", {avitest::strh({.length = 75}), avitest::bitmap(720, 576),
                                          avitest::chunk("vprp", vprp)})}));
    const media::FileProbe probe = media::probeFile(lib, path);
    ASSERT_TRUE(probe.ok()) << probe.error;
    EXPECT_EQ(probe.video->frames, 75u);
    EXPECT_EQ(probe.video->durationMs, 3000u);
    EXPECT_EQ(probe.video->scan, media::Scan::Interlaced);
    EXPECT_EQ(probe.video->fieldOrder, media::FieldOrder::BottomFirst);
    EXPECT_EQ(probe.video->hasAudio, false);
}

TEST_F(ProbeFile, AnAviFileTheWindowCannotOpenIsToldInTheWindowsWords) {
    FakeAviLibrary lib;
    lib.openResult = -1;
    lib.openError = EACCES;
    const std::string path = write("a.avi", avitest::aviWith({avitest::videoList()}));
    const media::FileProbe probe = media::probeFile(lib, path);
    EXPECT_FALSE(probe.ok());
    EXPECT_EQ(probe.error, kOpenFailedText + avifile::sysErrorText(EACCES));
    EXPECT_EQ(lib.calls.at(1), "open");
}

struct Unreadable {
    const char* name;
    avitest::Bytes bytes;
    const char* says;
};

TEST_F(ProbeFile, NamesContentThatIsNoContainerAndLeavesTheLibraryAlone) {
    avitest::Bytes ts(188 * 3, 0);
    ts[0] = ts[188] = ts[376] = 0x47;
    const avitest::Bytes h264 = {0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x0A};
    const avitest::Bytes mp2 = {0xFF, 0xFD, 0x18, 0xC4};
    for (const Unreadable& c :
         {Unreadable{"ts", ts, "The file is an MPEG transport stream, which"},
          Unreadable{"h264", h264, "The file is a raw H.264 video stream, which is not one"},
          Unreadable{"mp2", mp2, "The file is an MP2 file, which is not one"},
          Unreadable{"text", {'h', 'e', 'l', 'l', 'o'}, "not a video file"},
          Unreadable{"empty", {}, "not a video file"}}) {
        FakeAviLibrary lib;
        const media::FileProbe probe = media::probeFile(lib, write(c.name, c.bytes));
        EXPECT_FALSE(probe.ok()) << c.name;
        EXPECT_NE(probe.error.find(c.says), std::string::npos) << probe.error;
        EXPECT_TRUE(lib.calls.empty()) << c.name;
    }
}

TEST(AviVideoInfo, KeepsTheRecordsBits) {
    const media::VideoInfo v =
        media::aviVideoInfo(FakeAviLibrary::makeRecord(720, 576, 0xFFFFFFFF, 1));
    EXPECT_EQ(v.container, media::Container::Avi);
    EXPECT_EQ(v.width, 720u);
    EXPECT_EQ(v.rate, (media::Fraction{-1, 1})) << "signed, as the window divides";
    EXPECT_FALSE(v.sar);
    EXPECT_EQ(v.rotation, 0);
}

} // namespace
} // namespace quorvel
