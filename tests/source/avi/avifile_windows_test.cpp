// What only Windows has: share modes, wide file names and FormatMessageW's
// texts. The file is empty elsewhere.
#ifdef _WIN32

#include "source/avi/avifile.h"
#include "tests/source/avi/avi_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quorvel::avifile {
namespace {

using namespace avitest;

const Bytes kAvi = aviWith({avih({}), videoList()});

// The system's own text, trimmed, for comparing with ours after UTF-8.
std::wstring systemText(std::int32_t code) {
    wchar_t buffer[2048] = {};
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(code), 0, buffer, std::size(buffer), nullptr);
    std::wstring text(buffer, n);
    while (!text.empty() && std::iswspace(text.back()))
        text.pop_back();
    return text;
}

std::wstring fromUtf8(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                        static_cast<int>(text.size()), out.data(),
                                        static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

TEST(WindowsErrorText, IsTheSystemsTextInUtf8WithoutItsLineBreak) {
    for (std::int32_t code :
         {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
          ERROR_NOT_ENOUGH_MEMORY, ERROR_NO_UNICODE_TRANSLATION}) {
        const std::wstring expected = systemText(code);
        ASSERT_FALSE(expected.empty()) << code;
        const std::string text = sysErrorText(code);
        EXPECT_EQ(fromUtf8(text), expected) << code;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code;
    }
}

TEST(WindowsErrorText, CodeWithoutTextIsUnknown) {
    for (std::int32_t code : {0xFFFF, 0x1FFFFFFF, -1}) {
        ASSERT_TRUE(systemText(code).empty()) << code << " has a text after all";
        EXPECT_EQ(sysErrorText(code), "Unknown error " + std::to_string(code));
    }
}

class WindowsFiles : public TempDirTest {
protected:
    // Another handle on one of our files, as another program would hold it.
    HANDLE other(const std::string& name, DWORD access, DWORD share) const {
        const std::string whole = path(name);
        const std::filesystem::path p(std::u8string(whole.begin(), whole.end()));
        return ::CreateFileW(p.c_str(), access, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    static std::int32_t open(const std::string& path, PAVIFILE& file) {
        file = nullptr;
        return AVIFileOpen(&file, path.c_str(), OF_SHARE_DENY_WRITE);
    }
};

TEST_F(WindowsFiles, NameOutsideTheAnsiCodePageOpens) {
    // "prüfung-日本.avi", created through the wide call, opened by its UTF-8 bytes.
    const std::wstring wideName = L"pr\u00fcfung-\u65e5\u672c.avi";
    const HANDLE made = ::CreateFileW((dir_ / wideName).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(made, kAvi.data(), static_cast<DWORD>(kAvi.size()), &written, nullptr));
    ::CloseHandle(made);

    PAVIFILE file = nullptr;
    ASSERT_EQ(open(path("pr\xC3\xBC"
                        "fung-\xE6\x97\xA5\xE6\x9C\xAC.avi"),
                   file),
              0)
        << sysErrorText(lastError());
    AVIFILEINFO info{};
    EXPECT_EQ(AVIFileInfo(file, &info, sizeof info), 0);
    EXPECT_EQ(info.dwWidth, 320u);
    AVIFileRelease(file);
}

TEST_F(WindowsFiles, PathThatIsNotUtf8IsRefusedWithTheSystemsCode) {
    write("bad-\xC3\xBF.avi", kAvi); // the same name with "\xFF" read as Latin-1
    PAVIFILE file = nullptr;
    EXPECT_EQ(open(path("bad-") + "\xFF.avi", file), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(lastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(file, nullptr);
}

TEST_F(WindowsFiles, MissingFileAndFolderGiveTheSystemsCodes) {
    PAVIFILE file = nullptr;
    EXPECT_EQ(open(path("none.avi"), file), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(fromUtf8(sysErrorText(lastError())), systemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(open(path("none") + "\\clip.avi", file), ERROR_PATH_NOT_FOUND);
}

TEST_F(WindowsFiles, FileBeingWrittenElsewhereIsRefusedUntilClosed) {
    write("busy.avi", kAvi);
    const HANDLE writer = other("busy.avi", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    PAVIFILE file = nullptr;
    EXPECT_EQ(open(path("busy.avi"), file), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(lastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(fromUtf8(sysErrorText(ERROR_SHARING_VIOLATION)), systemText(ERROR_SHARING_VIOLATION));
    ::CloseHandle(writer);
    EXPECT_EQ(open(path("busy.avi"), file), 0);
    AVIFileRelease(file);
}

TEST_F(WindowsFiles, WhileOpenOthersMayReadButNotWrite) {
    write("shared.avi", kAvi);
    // A reader that lets others read does not keep us out.
    const HANDLE before = other("shared.avi", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(before, INVALID_HANDLE_VALUE);
    PAVIFILE file = nullptr;
    ASSERT_EQ(open(path("shared.avi"), file), 0) << sysErrorText(lastError());
    ::CloseHandle(before);

    const HANDLE reader = other("shared.avi", GENERIC_READ, FILE_SHARE_READ);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "a second reader";
    ::CloseHandle(reader);
    const HANDLE writer = other("shared.avi", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "a writer while we read";
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE)
        ::CloseHandle(writer);

    AVIFileRelease(file);
    const HANDLE after = other("shared.avi", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_NE(after, INVALID_HANDLE_VALUE) << "released means closed";
    ::CloseHandle(after);
}

} // namespace
} // namespace quorvel::avifile

#endif // _WIN32
