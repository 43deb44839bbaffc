#include "chooser/browse.h"
#include "tests/support/fake_dialog.h"

#include <gtest/gtest.h>

#include <stdexcept>

// The browse road speaks POSIX paths; the Windows build has no window to browse from.
#ifndef _WIN32

namespace quorvel {
namespace {

using namespace RUVIV_CommonDialog;
using namespace std::string_literals;

class ChooseAviFile : public testing::Test {
protected:
    void SetUp() override { dialogParams = {}; }
    fakes::FakeDialog dialog;
};

TEST_F(ChooseAviFile, AsksCentredOverTheOwnerForAviFilesInTheProgramFolder) {
    dialog.folder = "/videos";
    dialog.names = {"clip.avi"};
    EXPECT_EQ(chooseAviFile(5, "/opt/quorvel"), "/videos/clip.avi");
    EXPECT_EQ(dialog.shown, 1);
    EXPECT_EQ(dialog.hook, &CenterOnOwnerHook);
    EXPECT_EQ(dialog.asked.hwndOwner, 5);
    EXPECT_EQ(hookOwner, 5);
    EXPECT_EQ(dialog.asked.lpstrFilter, "AVI Files (*.avi)\0*.avi\0\0"s);
    EXPECT_EQ(dialog.asked.lpstrTitle, "Show Open");
    EXPECT_EQ(dialog.asked.lpstrInitialDir, "/opt/quorvel"s + kPathSeparator);
}

TEST_F(ChooseAviFile, GivesTheFirstOfSeveralAsTheDialogsBytes) {
    dialog.folder = "/v\xe9";
    dialog.names = {"caf\xe9.avi", "b.avi"};
    EXPECT_EQ(chooseAviFile(5, "/opt"), "/v\xe9/caf\xe9.avi");
}

TEST_F(ChooseAviFile, GivesNothingWhenCancelled) {
    EXPECT_EQ(chooseAviFile(5, "/opt"), std::nullopt);
    EXPECT_EQ(dialog.shown, 1);
}

TEST(RunTrapped, EndsTheCommandAtTheErrorAndGivesItsText) {
    int steps = 0;
    const auto trapped = runTrapped([&] {
        ++steps;
        throw std::out_of_range("More than 200 files were chosen.");
    });
    EXPECT_EQ(trapped, "More than 200 files were chosen.");
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(runTrapped([&] { ++steps; }), std::nullopt);
    EXPECT_EQ(steps, 2);
}

} // namespace
} // namespace quorvel

#endif
