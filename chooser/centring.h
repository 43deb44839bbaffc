#pragma once

// The two hook procedures ShowOpen installs. Each waits for the first window
// activation in the thread (code 5, HCBT_ACTIVATE, with the window in wParam),
// moves that window to the middle of the screen or of the owner window, then
// removes its own hook. The windowing calls go through WindowOps.

#include <cstdint>

namespace quorvel::RUVIV_CommonDialog {

// Window and hook handles. The Qt adapter hands out small numbers, so a
// handle also fits the 32-bit wParam of a hook call.
using Handle = std::intptr_t;

using HookProc = std::int32_t (*)(std::int32_t nCode, std::int32_t wParam, std::int32_t lParam);

inline constexpr std::int32_t kHcbtActivate = 5;

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct ScreenSize {
    double width = 0;
    double height = 0;
};

class WindowOps {
public:
    virtual ~WindowOps() = default;
    // The window's outer rectangle in screen coordinates; false (and `rect`
    // untouched) when there is no such window.
    virtual bool windowRect(Handle window, Rect& rect) = 0;
    virtual ScreenSize primaryScreenSize() = 0;
    // Moves the outer top-left corner; size and stacking stay, nothing activates.
    virtual void moveWindow(Handle window, std::int32_t x, std::int32_t y) = 0;
    virtual void unhook(Handle hook) = 0;
};

// Not owned; nullptr uninstalls (the hooks then do nothing).
void setWindowOps(WindowOps* ops);

// The hook in place (ShowOpen sets it) and the window to centre on.
extern Handle hookHandle;
extern Handle hookOwner;

std::int32_t CenterOnScreenHook(std::int32_t nCode, std::int32_t wParam, std::int32_t lParam);
std::int32_t CenterOnOwnerHook(std::int32_t nCode, std::int32_t wParam, std::int32_t lParam);

} // namespace quorvel::RUVIV_CommonDialog
