#pragma once

// Small-number handles for widgets, so that the record's window fields and a
// hook's 32-bit wParam can carry them.

#include "chooser/centring.h"

class QWidget;

namespace quorvel::RUVIV_CommonDialog {

// A widget keeps its handle for life; handles are never reused, and a
// destroyed widget's handle resolves to nullptr. windowHandle(nullptr) is 0.
Handle windowHandle(QWidget* widget);
QWidget* windowFromHandle(Handle handle);

} // namespace quorvel::RUVIV_CommonDialog
