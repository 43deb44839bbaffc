#pragma once

#include "app/layout.h"

#include <QFont>
#include <span>

class QWidget;

namespace quorvel {

// The window's text font: MS Sans Serif 8.25 pt, or the closest face there is.
QFont windowFont();

// Creates one widget per row of `table` inside `window`: in its container, at
// its place (twips to pixels), with its caption, font, alignment and enabled
// state, named after the row. Containers must come before what they hold.
// Labels lie beneath every other control whatever the table's order, so where
// a label overlaps a box, list or option the other control is on top.
void buildControls(QWidget& window, std::span<const ControlSpec> table);

} // namespace quorvel
