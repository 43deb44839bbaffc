#include "chooser/centring.h"

#include "resize/rounding.h"

#include <algorithm>
#include <limits>

namespace quorvel::RUVIV_CommonDialog {

Handle hookHandle = 0;
Handle hookOwner = 0;

namespace {

WindowOps* windowOps = nullptr;

// Sides are subtracted in 64 bits so a nonsense rectangle cannot overflow.
double width(const Rect& r) {
    return static_cast<double>(std::int64_t{r.right} - r.left);
}

double height(const Rect& r) {
    return static_cast<double>(std::int64_t{r.bottom} - r.top);
}

// Only a window far larger than any screen could leave the 32-bit range.
std::int32_t toCoordinate(double x) {
    const std::int64_t whole = roundHalfEvenToInt(x);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        whole, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The hook gives itself up only once the window is in place.
void placeAndUnhook(Handle window, double x, double y) {
    windowOps->moveWindow(window, toCoordinate(x), toCoordinate(y));
    windowOps->unhook(hookHandle);
}

} // namespace

void setWindowOps(WindowOps* ops) {
    windowOps = ops;
}

std::int32_t CenterOnScreenHook(std::int32_t nCode, std::int32_t wParam, std::int32_t /*lParam*/) {
    if (nCode != kHcbtActivate || windowOps == nullptr)
        return 0;
    Rect dialog;
    windowOps->windowRect(wParam, dialog);
    const ScreenSize screen = windowOps->primaryScreenSize();
    placeAndUnhook(wParam, screen.width / 2 - width(dialog) / 2,
                   screen.height / 2 - height(dialog) / 2);
    return 0;
}

std::int32_t CenterOnOwnerHook(std::int32_t nCode, std::int32_t wParam, std::int32_t /*lParam*/) {
    if (nCode != kHcbtActivate || windowOps == nullptr)
        return 0;
    Rect owner;
    Rect dialog;
    windowOps->windowRect(hookOwner, owner);
    windowOps->windowRect(wParam, dialog);
    // Left to right in doubles, so an odd owner width keeps its half.
    placeAndUnhook(wParam, width(owner) / 2 + owner.left - width(dialog) / 2,
                   height(owner) / 2 + owner.top - height(dialog) / 2);
    return 0;
}

} // namespace quorvel::RUVIV_CommonDialog
