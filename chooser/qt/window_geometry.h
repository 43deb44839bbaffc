#pragma once

// Widget geometry in the terms the centring hooks use: outer (frame)
// rectangles and top-left corners in screen pixels.

#include "chooser/centring.h"

class QWidget;

namespace quorvel::RUVIV_CommonDialog {

// A window's frame, or a child widget's rectangle, in screen coordinates.
Rect outerRect(const QWidget& widget);
// Zero when there is no screen.
ScreenSize primaryScreenPixels();
// Moves the frame's (or the child's) top-left corner to (x, y) on the screen.
void moveOuterTo(QWidget& widget, std::int32_t x, std::int32_t y);

} // namespace quorvel::RUVIV_CommonDialog
