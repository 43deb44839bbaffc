#pragma once

#include "app/layout.h"

#include <initializer_list>
#include <span>

class QRadioButton;
class QWidget;

namespace quorvel {

// Tab order by the table's tab positions; labels and group boxes take no focus
// (disabled controls are passed over by Qt itself).
void applyTabOrder(QWidget& window, std::span<const ControlSpec> table);

// An option group is one tab stop, entered at its selected option, or at the
// first in tab order while none is selected; the arrow keys still move
// between all of them. Call again whenever the selection changes.
void enterGroupAtSelected(std::initializer_list<QRadioButton*> optionsInTabOrder);

} // namespace quorvel
