#pragma once

// The TV and Movie sizes quorvel-info reports: the window's own arithmetic by
// default, and on request pixel shapes, a display aspect and side multiples,
// worked out in exact fractions so that no rounding depends on a double.

#include "info/options.h"
#include "resize/calc.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvel::info {

// A fraction with a positive denominator.
struct Ratio {
    std::int64_t num = 0;
    std::int64_t den = 1;
    friend bool operator==(const Ratio&, const Ratio&) = default;
};

Ratio reduced(Ratio r);
// Nearest whole number, halves to the even neighbour: the window's rule.
std::int64_t roundHalfEven(Ratio r);

struct Shape {
    PixelShape par = PixelShape::Square;
    DisplayAspect aspect = DisplayAspect::Standard;
    int mod = 0;
};

// One disc pixel's width over its height, and how many samples of a line the
// picture may fill (the whole frame, or BT.601's central part).
struct PixelGeometry {
    Ratio pixelAspect;
    Ratio pictureWidth;
};
PixelGeometry pixelGeometry(const Shape& shape, FrameSize tv, int format, bool pal);

// How the source's picture shows: the shape of one of its pixels and how far
// it is turned.
struct SourceShape {
    Ratio sar{1, 1};  // positive
    int rotation = 0; // clockwise degrees
};
// The picture's sides as it shows: the width takes the pixel shape, and a
// quarter turn (90 or 270 degrees) swaps the sides.
struct ShownSides {
    Ratio width;
    Ratio height;
};
ShownSides shownSides(std::int64_t width, std::int64_t height, const SourceShape& source);
// The shown width over the shown height; the denominator may be 0 or
// negative, as the sides may be.
Ratio displayRatio(std::int64_t width, std::int64_t height, const SourceShape& source);

// The ffmpeg filter's own fit, when it is not the target's: a disc stream
// needs a display aspect, which square pixels do not give.
struct FilterFit {
    PixelShape par = PixelShape::Plain;
    FrameSize movie;
    Ratio pixelAspect{1, 1};
};

struct TargetSizes {
    int format = kFormatDvd;
    bool pal = false;
    FrameSize tv;
    FrameSize movie;
    Ratio pixelAspect{1, 1}; // reduced
    // With --mod: how much wider (positive) or narrower the Movie shows than
    // the source, as a fraction of the source's aspect; none when undefined.
    std::optional<double> aspectError;
    std::optional<FilterFit> filter; // none: the filter uses the sizes above
};

struct TargetResult {
    ResizeError error = ResizeError::None;
    TargetSizes sizes;
    bool ok() const { return error == ResizeError::None; }
};

// The sizes for one format and standard, from the source sides as text (read
// exactly as the window reads its boxes). Square pixels count the source's
// pixels; plain and itu fit the picture as `source` shows it.
TargetResult computeTarget(std::string_view widthText, std::string_view heightText, int format,
                           bool pal, const Shape& shape, const SourceShape& source = {});

} // namespace quorvel::info
