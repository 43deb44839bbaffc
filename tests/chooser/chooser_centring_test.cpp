#include "chooser/common_dialog.h"

#include <gtest/gtest.h>

#include <map>

namespace quorvel::RUVIV_CommonDialog {
namespace {

constexpr Handle kOwner = 3, kDialog = 4;

// A 1024x768 screen whose known windows are in `rects`; logs moves and unhooks.
struct FakeWindows final : WindowOps {
    std::map<Handle, Rect> rects;
    std::vector<std::string> calls;

    bool windowRect(Handle window, Rect& rect) override {
        const auto found = rects.find(window);
        if (found != rects.end())
            rect = found->second;
        return found != rects.end();
    }
    ScreenSize primaryScreenSize() override { return {1024, 768}; }
    void moveWindow(Handle window, std::int32_t x, std::int32_t y) override {
        calls.push_back("move " + std::to_string(window) + " to " + std::to_string(x) + "," +
                        std::to_string(y));
    }
    void unhook(Handle hook) override { calls.push_back("unhook " + std::to_string(hook)); }
};

struct CentringCase {
    const char* behaviour;
    HookProc hook;
    std::map<Handle, Rect> rects;
    const char* move;
};

const CentringCase kCases[] = {
    {"ScreenHalfGoesToEven",
     CenterOnScreenHook,
     {{kDialog, {0, 0, 427, 300}}},
     "move 4 to 298,234"},
    {"ScreenOddHalfGoesUp", CenterOnScreenHook, {{kDialog, {0, 0, 425, 300}}}, "move 4 to 300,234"},
    {"ScreenOnlySizeCounts",
     CenterOnScreenHook,
     {{kDialog, {-70, 900, 357, 1200}}},
     "move 4 to 298,234"},
    {"ScreenUnknownDialogIsEmpty", CenterOnScreenHook, {}, "move 4 to 512,384"},
    {"OwnerOddWidthKeepsItsHalf",
     CenterOnOwnerHook,
     {{kOwner, {100, 50, 901, 650}}, {kDialog, {0, 0, 500, 300}}},
     "move 4 to 250,200"},
    // Each half below is lost by integer halving or by truncation.
    {"OwnerHalfGoesToEvenAbove",
     CenterOnOwnerHook,
     {{kOwner, {100, 50, 903, 651}}, {kDialog, {0, 0, 500, 300}}},
     "move 4 to 252,200"},
    {"OwnerHalvesOfBothSides",
     CenterOnOwnerHook,
     {{kOwner, {0, 0, 803, 603}}, {kDialog, {0, 0, 500, 300}}},
     "move 4 to 152,152"},
    {"OwnerOddDialogHalf",
     CenterOnOwnerHook,
     {{kOwner, {0, 0, 800, 600}}, {kDialog, {0, 0, 501, 301}}},
     "move 4 to 150,150"},
    {"OwnerNegativeHalfGoesToEven",
     CenterOnOwnerHook,
     {{kOwner, {0, 0, 201, 101}}, {kDialog, {0, 0, 500, 300}}},
     "move 4 to -150,-100"},
    {"ScreenOddHeightHalves",
     CenterOnScreenHook,
     {{kDialog, {0, 0, 400, 301}}},
     "move 4 to 312,234"},
    {"ScreenOddHeightHalvesUp",
     CenterOnScreenHook,
     {{kDialog, {0, 0, 400, 299}}},
     "move 4 to 312,234"},
    {"OwnerSmallerIsNotClamped",
     CenterOnOwnerHook,
     {{kOwner, {0, 0, 200, 100}}, {kDialog, {0, 0, 500, 300}}},
     "move 4 to -150,-100"},
    {"OwnerUnknownIsEmptyAtOrigin",
     CenterOnOwnerHook,
     {{kDialog, {0, 0, 500, 300}}},
     "move 4 to -250,-150"},
};

void PrintTo(const CentringCase& c, std::ostream* os) {
    *os << c.behaviour;
}

class CentringHooks : public testing::TestWithParam<CentringCase> {
protected:
    void SetUp() override {
        windows.rects = GetParam().rects;
        setWindowOps(&windows);
        hookHandle = 42;
        hookOwner = kOwner;
    }
    void TearDown() override { setWindowOps(nullptr); }
    FakeWindows windows;
};

TEST_P(CentringHooks, PlaceTheActivatedWindowThenUnhook) {
    EXPECT_EQ(GetParam().hook(kHcbtActivate, kDialog, 0), 0);
    EXPECT_EQ(windows.calls, (std::vector<std::string>{GetParam().move, "unhook 42"}));
}

TEST_P(CentringHooks, LeaveEverythingAloneOnOtherCodes) {
    for (const std::int32_t code : {0, 3, 4, 6, -1})
        EXPECT_EQ(GetParam().hook(code, kDialog, 0), 0);
    EXPECT_TRUE(windows.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, CentringHooks, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.behaviour); });

} // namespace
} // namespace quorvel::RUVIV_CommonDialog
