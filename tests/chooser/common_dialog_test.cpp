#include "chooser/common_dialog.h"
#include "chooser/dialog_answer.h"
#include "chooser/name_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace quorvel::RUVIV_CommonDialog {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

// Logs the calls, keeps each record it is shown, and answers with `file`
// (NUL-padded to nMaxFile) and, when there is one, `title`.
struct FakePlatform final : Platform {
    std::vector<std::string> calls;
    std::vector<OpenFileName> shown;
    HookProc hook = nullptr;
    std::int32_t ok = 1;
    std::string file, title;
    std::int16_t offset = 0;

    Handle windowInstance(Handle w) override { return log("instance " + std::to_string(w), 500); }
    std::int32_t currentThreadId() override { return log("thread", 9); }
    Handle installHook(HookProc h, Handle instance, std::int32_t thread) override {
        hook = h;
        return log("hook " + std::to_string(instance) + " " + std::to_string(thread), 42);
    }
    std::int32_t getOpenFileName(OpenFileName& p) override {
        shown.push_back(p);
        p.lpstrFile = file;
        p.lpstrFile.resize(std::max(file.size(), std::size_t(p.nMaxFile)), '\0');
        if (!title.empty())
            p.lpstrFileTitle = title + '\0';
        p.nFileOffset = offset;
        return log("dialog, hook " + std::to_string(hookHandle), ok);
    }
    template <class T> T log(std::string call, T value) {
        calls.push_back(std::move(call));
        return value;
    }
};

class ShowOpenTest : public testing::Test {
protected:
    void SetUp() override {
        dialogParams = {};
        setPlatform(&fake);
    }
    void TearDown() override { setPlatform(nullptr); }
    FakePlatform fake;
};

// folder NUL name NUL ... name NUL NUL
std::string list(const std::string& folder, const Names& names) {
    std::string text = folder + '\0';
    for (const auto& name : names)
        text += name + '\0';
    return text + '\0';
}

Names numbered(int count) {
    Names names;
    for (int i = 1; i <= count; ++i)
        names.push_back("f" + std::to_string(i) + ".avi");
    return names;
}

enum class Fails { No, Overflow, TooMany, Unended };

struct AnswerCase {
    const char* behaviour;
    std::int32_t ok;
    std::string file, title;
    std::int16_t offset;
    std::string folder;
    Names files;
    Fails fails;
};

const std::string kBlank(2048, ' ');
const std::string kD32765(32765, 'd'), kD32766(32766, 'd'), kD32767(32767, 'd'),
    kN40000(40000, 'n');
const Names kAB{"a.avi", "b.avi"};
using enum Fails;

// clang-format off
const AnswerCase kAnswers[] = {
    {"OneFile",        1, "C:\\Video\\clip.avi\0"s, "clip.avi", 9, "C:\\Video\\", {"clip.avi"}, No},
    {"OneFileAtRoot",  1, "D:\\x.avi\0"s, "x.avi", 3, "D:\\", {"x.avi"}, No},
    {"Several",        1, list("C:\\Video", kAB), "", 0, "C:\\Video\\", kAB, No},
    {"SeveralAtRoot",  1, list("D:\\", kAB), "", 0, "D:\\", kAB, No},
    {"Cancelled",      0, "C:\\Video\\clip.avi\0"s, "clip.avi", 9, "", {}, No},
    {"200Names",       1, list("C:\\V", numbered(200)), "", 0, "C:\\V\\", numbered(200), No},
    {"201Names",       1, list("C:\\V", numbered(201)), "", 0, "", {}, TooMany},
    {"FolderEndAt32766",  1, list(kD32765, {"a"}), "", 0, kD32765 + "\\", {"a"}, No},
    {"FolderEndAt32767",  1, list(kD32766, {"a"}), "", 0, "", {}, Overflow},
    {"NameNotLastEndAt32767", 1, list("C:\\V", {kD32765.substr(4), "b"}), "", 0, "", {}, Overflow},
    {"LastNameEndFarOn",  1, list("C:\\V", {"a", kN40000}), "", 0, "C:\\V\\", {"a", kN40000}, No},
    {"NoNulPairAfterLastName", 1, "C:\\V\0a.avi\0b.avi\0"s + kBlank, "", 0, "", {}, Unended},
    {"NoNulAfterOneFile", 1, "C:\\V\\clip.avi" + kBlank, "clip.avi", 5, "", {}, Unended},
    {"OffsetAt32766",     1, kD32766 + "x\0"s, "x", 32766, kD32766, {"x"}, No},
    {"OffsetAt32767",     1, kD32767 + "x\0"s, "x", 32767, "", {}, Overflow},
    {"OffsetPast32767",   1, kN40000 + "x\0"s, "x", -25536, "", {}, Overflow},
};
// clang-format on

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.behaviour;
}

std::string withSeparator(std::string text, char separator) {
    std::replace(text.begin(), text.end(), '\\', separator);
    return text;
}

class ShowOpenAnswers : public ShowOpenTest,
                        public testing::WithParamInterface<std::tuple<AnswerCase, char>> {};

TEST_P(ShowOpenAnswers, ReadFolderAndNamesOrRefuseTheAnswer) {
    const auto& [c, separator] = GetParam();
    fake.ok = c.ok;
    fake.file = withSeparator(c.file, separator);
    fake.title = c.title;
    fake.offset = c.offset;
    try {
        const OpenResult r = ShowOpen(7, kCenterOnScreen, separator);
        EXPECT_EQ(c.fails, No);
        EXPECT_EQ(r.folder, withSeparator(c.folder, separator));
        EXPECT_EQ(Names(r.files.begin(), r.files.end()), c.files);
        EXPECT_EQ(r.fileCount, std::int16_t(c.files.size()));
        EXPECT_EQ(r.cancelled, c.ok == 0 ? -1 : 0);
    } catch (const std::overflow_error&) {
        EXPECT_EQ(c.fails, Overflow);
    } catch (const std::out_of_range& e) {
        EXPECT_EQ(c.fails, TooMany);
        EXPECT_STREQ(e.what(), "More than 200 files were chosen.");
    } catch (const std::invalid_argument&) {
        EXPECT_EQ(c.fails, Unended);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ShowOpenAnswers,
                         testing::Combine(testing::ValuesIn(kAnswers), testing::Values('\\', '/')),
                         [](const auto& info) {
                             return std::get<0>(info.param).behaviour +
                                    std::string(std::get<1>(info.param) == '/' ? "Slash" : "");
                         });

TEST_F(ShowOpenTest, PreparesTheRecordAndHooksBeforeTheDialogRuns) {
    dialogParams.Flags = 0x8; // the caller's own flags never reach the dialog
    dialogParams.lpstrTitle = "Open AVI";
    fake.file = "C:\\Video\\clip.avi\0"s;
    fake.title = "clip.avi";
    fake.offset = 9;
    ShowOpen(7, kCenterOnOwner, '\\');
    ShowOpen(8, kCenterOnOwner, '\\');

    EXPECT_EQ(fake.calls, (Names{"instance 7", "thread", "hook 500 9", "dialog, hook 42",
                                 "instance 8", "thread", "hook 500 9", "dialog, hook 42"}));
    const OpenFileName& first = fake.shown[0];
    EXPECT_EQ(std::tie(first.lStructSize, first.hwndOwner, first.Flags, first.lpstrTitle),
              std::make_tuple(76, Handle{7}, 0x382204, "Open AVI"s));
    EXPECT_EQ(std::tie(first.lpstrFileTitle, first.nMaxFileTitle), std::make_tuple(kBlank, 2048));
    EXPECT_EQ(std::tie(first.lpstrFile, first.nMaxFile),
              std::make_tuple(kBlank.substr(1) + '\0', 2048));
    EXPECT_EQ(hookOwner, 8);
    // The second dialog starts on the whole of the first one's answer.
    std::string firstAnswer = fake.file;
    firstAnswer.resize(2048, '\0');
    EXPECT_EQ(fake.shown[1].lpstrFile, firstAnswer + kBlank.substr(1) + '\0');
    EXPECT_EQ(fake.shown[1].nMaxFile, 4096);
    EXPECT_EQ(fake.shown[1].lpstrFileTitle, kBlank);
}

TEST_F(ShowOpenTest, TheBufferStopsGrowingOnceItHoldsOnlyPadding) {
    fake.file = list("C:\\Video", kAB);
    const int calls = kMaxFileBuffer / kBufferGrowth + 3;
    for (int i = 0; i < calls; ++i) {
        const OpenResult r = ShowOpen(7, kCenterOnOwner, '\\');
        ASSERT_EQ(Names(r.files.begin(), r.files.end()), kAB) << "call " << i;
    }
    for (int i = 0; i < calls; ++i) {
        const OpenFileName& shown = fake.shown[static_cast<std::size_t>(i)];
        const int length = std::min((i + 1) * kBufferGrowth, kMaxFileBuffer);
        EXPECT_EQ(shown.nMaxFile, length) << "call " << i;
        EXPECT_EQ(shown.lpstrFile.size(), std::size_t(length)) << "call " << i;
    }
    // The dialog still opens on the last answer, and the room behind it is blank.
    const std::string& last = fake.shown.back().lpstrFile;
    EXPECT_EQ(last.substr(0, fake.file.size()), fake.file);
    EXPECT_EQ(last.substr(last.size() - kBufferGrowth), kBlank.substr(1) + '\0');
}

TEST_F(ShowOpenTest, OnlyMinusOneCentresOnTheOwner) {
    fake.ok = 0;
    for (const std::int16_t center : {-1, 0, 1, -2, 32767}) {
        ShowOpen(7, center);
        EXPECT_EQ(fake.hook, center == -1 ? &CenterOnOwnerHook : &CenterOnScreenHook) << center;
    }
}

TEST(ShowOpenWithoutPlatform, Refuses) {
    EXPECT_THROW(ShowOpen(7, kCenterOnScreen), std::logic_error);
}

TEST(WriteAnswer, WritesWhatReadAnswerReadsBackUnlessItDoesNotFit) {
    struct Case {
        std::string folder;
        Names names;
        std::int32_t room;
        const char* folderRead; // nullptr: does not fit
    } const cases[] = {
        {"/v", {"abcde"}, 9, "/v/"}, // "/v/abcde" NUL fills it exactly
        {"/v", {"abcdef"}, 9, nullptr},
        {"/v", {"a", "b"}, 8, "/v/"}, // "/v" NUL "a" NUL "b" NUL NUL
        {"/v", {"a", "bc"}, 8, nullptr},
        {"/", {"x.avi"}, 2048, "/"},
        {"/\xc3\xa9t\xc3\xa9", {"\xc3\xa9.avi"}, 2048, "/\xc3\xa9t\xc3\xa9/"}, // offset in bytes
        {"/v", {}, 2048, nullptr},
    };
    for (const Case& c : cases) {
        OpenFileName p;
        p.lpstrFile = kBlank.substr(0, std::size_t(c.room - 1)) + '\0';
        p.nMaxFile = c.room;
        p.lpstrFileTitle = kBlank;
        p.nMaxFileTitle = 2048;
        const std::string before = p.lpstrFile;
        ASSERT_EQ(writeAnswer(c.folder, c.names, '/', p), c.folderRead != nullptr) << c.room;
        if (c.folderRead == nullptr) {
            EXPECT_EQ(p.lpstrFile, before);
            continue;
        }
        EXPECT_EQ(p.lpstrFile.size(), std::size_t(c.room));
        const OpenResult r = readAnswer(p, 1, '/');
        EXPECT_EQ(r.folder, c.folderRead);
        EXPECT_EQ(Names(r.files.begin(), r.files.end()), c.names);
    }
}

TEST(NameFilters, ShowEachDescriptionWithItsPatternsOnce) {
    const std::pair<std::string, Names> cases[] = {
        {"AVI Files (*.avi)\0*.avi\0\0"s, {"AVI Files (*.avi)"}},
        {"Video\0*.avi;*.mpg\0All Files (*.*)\0*.*\0\0"s, {"Video (*.avi *.mpg)", "All Files (*)"}},
        {"Video (*.avi, *.mpg)\0 *.avi ; *.mpg \0"s, {"Video (*.avi *.mpg)"}},
        {"Movies (*.AVI)\0*.avi"s, {"Movies (*.AVI) (*.avi)"}},
        {"A\0*.a\0\0B\0*.b\0"s, {"A (*.a)"}},
        {"Blank\0 ; \0B\0*.b\0"s, {"B (*.b)"}},
        {"", {}},
    };
    for (const auto& [filter, expected] : cases)
        EXPECT_EQ(nameFiltersFrom(filter), expected);
}

} // namespace
} // namespace quorvel::RUVIV_CommonDialog
