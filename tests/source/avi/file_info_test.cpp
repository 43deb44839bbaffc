#include "source/avi/file_info.h"
#include "tests/support/fake_avi_library.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>

namespace quorvel {
namespace {

using fakes::FakeAviLibrary;
using Calls = std::vector<std::string>;

struct Inspection {
    std::vector<std::string> messages;
    int openAtMessage = -1;
    bool shown = false;
    int openWhileShowing = -1;
    SourceOutcome outcome;
};

Inspection inspect(FakeAviLibrary& lib, SourceOutcome showResult = {}) {
    Inspection run;
    run.outcome = inspectFile(
        lib, "/videos/clip.avi",
        [&](const std::string& text) {
            run.messages.push_back(text);
            run.openAtMessage = lib.openHandles;
        },
        [&](const avifile::AVIFILEINFO&) {
            run.shown = true;
            run.openWhileShowing = lib.openHandles;
            return showResult;
        });
    return run;
}

TEST(InspectFile, ReadsTheRecordAndReleasesAfterShowingIt) {
    FakeAviLibrary lib;
    lib.record = FakeAviLibrary::makeRecord(640, 480, 30000, 1001);
    const Inspection run = inspect(lib);
    EXPECT_TRUE(run.shown);
    EXPECT_EQ(run.openWhileShowing, 1);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_TRUE(run.outcome.ok());
    EXPECT_EQ(lib.calls, (Calls{"init", "open", "info", "release", "exit"}));
    EXPECT_EQ(lib.openHandles, 0);
    EXPECT_EQ(lib.openedPath, "/videos/clip.avi");
    EXPECT_EQ(lib.lastMode(), avifile::OF_SHARE_DENY_WRITE);
}

TEST(InspectFile, OpenFailureIsToldWithTheSystemText) {
    FakeAviLibrary lib;
    lib.openResult = -1;
    lib.openError = ENOENT;
    const Inspection run = inspect(lib);
    EXPECT_FALSE(run.shown);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0], kOpenFailedText + avifile::sysErrorText(ENOENT));
    EXPECT_EQ(lib.calls, (Calls{"init", "open", "exit"}));
}

TEST(InspectFile, InfoFailureIsToldWhileTheFileIsStillOpen) {
    FakeAviLibrary lib;
    lib.infoResult = -1;
    lib.infoError = avifile::kErrorNoVideoStream;
    const Inspection run = inspect(lib);
    EXPECT_FALSE(run.shown);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0],
              kInfoFailedText + avifile::sysErrorText(avifile::kErrorNoVideoStream));
    EXPECT_EQ(run.openAtMessage, 1);
    EXPECT_EQ(lib.calls, (Calls{"init", "open", "info", "release", "exit"}));
    EXPECT_EQ(lib.openHandles, 0);
}

TEST(InspectFile, FailureWithoutErrorCodeIsNotReportedAsSuccess) {
    FakeAviLibrary lib;
    lib.openResult = 0x80044065; // a failure that left no last-error code
    lib.openError = 0;
    const Inspection run = inspect(lib);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0], kOpenFailedText + avifile::sysErrorText(lib.openResult));
    EXPECT_NE(run.messages[0], kOpenFailedText + avifile::sysErrorText(0));
}

TEST(InspectFile, ShowFailureComesBackAfterTheCleanUp) {
    FakeAviLibrary lib;
    const Inspection run = inspect(lib, {SourceOutcome::RateDivisorZero, ResizeError::None});
    EXPECT_EQ(run.outcome.kind, SourceOutcome::RateDivisorZero);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(lib.calls, (Calls{"init", "open", "info", "release", "exit"}));
}

TEST(InspectFile, EveryCallBalancesInitAndExit) {
    FakeAviLibrary lib;
    for (int i = 0; i < 3; ++i) {
        lib.openResult = i == 1 ? -1 : 0;
        lib.infoResult = i == 2 ? -1 : 0;
        inspect(lib);
    }
    EXPECT_EQ(std::count(lib.calls.begin(), lib.calls.end(), "init"), 3);
    EXPECT_EQ(std::count(lib.calls.begin(), lib.calls.end(), "exit"), 3);
    EXPECT_EQ(lib.openHandles, 0);
}

TEST(DescribeSourceOutcome, NamesTheCause) {
    EXPECT_NE(
        describeSourceOutcome({SourceOutcome::RateDivisorZero, ResizeError::None}).find("divisor"),
        std::string::npos);
    EXPECT_NE(describeSourceOutcome({SourceOutcome::SizeRefused, ResizeError::HeightZero})
                  .find("must not be 0"),
              std::string::npos);
    EXPECT_TRUE(describeSourceOutcome({}).empty());
}

} // namespace
} // namespace quorvel
