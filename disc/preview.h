#pragma once

// Where a disc's picture shows on a TV: the frame at its display aspect, as
// large as a view allows, and the picture inside it where the encode's pad
// puts it. Integer arithmetic, so a window's pixels can be checked exactly.

#include "disc/targets.h"

#include <optional>

namespace quorvel::disc {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct PreviewGeometry {
    Rect frame;   // the TV's frame, centred in the view
    Rect picture; // inside `frame`; the rest of the frame is black
};

// None when the view or the target has no area. Square pixels (no disc
// aspect) show the frame as its pixels count. `interlaced`: the picture sits
// as an interlaced encode places it.
std::optional<PreviewGeometry> previewGeometry(const TargetSizes& t, int viewWidth, int viewHeight,
                                               bool interlaced = false);

} // namespace quorvel::disc
