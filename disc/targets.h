#pragma once

// The TV and Movie sizes of a target: by default the picture as it will show
// on the disc, with square pixels the window's own arithmetic; worked out in
// exact fractions so that no rounding depends on a double.

#include "disc/disc.h"
#include "resize/calc.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvel::disc {

// How the disc's pixels are taken: shaped (the disc's answer), or as they
// count (the window's).
enum class PixelShape { Square, Plain, Itu };
enum class DisplayAspect { Standard, Wide }; // 4:3, 16:9

struct Shape {
    PixelShape par = PixelShape::Square;
    // The DVD's display aspect; none: the source's (see dvdAspectFor). VCD and
    // SVCD are always 4:3.
    std::optional<DisplayAspect> aspect;
    int mod = 0;
    // The DVD frame's width (disc::kDvdWidths); square pixels keep the window's 720.
    int dvdWidth = 720;
};

// 16:9 for a picture wider than the geometric middle of 4:3 and 16:9 (its
// aspect squared above 64/27, about 1.54), else 4:3.
DisplayAspect dvdAspectFor(Fraction display);

// One disc pixel's width over its height, and how many samples of a line the
// picture may fill (the whole frame, or BT.601's central part).
struct PixelGeometry {
    Fraction pixelAspect;
    Fraction pictureWidth;
};
PixelGeometry pixelGeometry(PixelShape par, DisplayAspect aspect, FrameSize tv, Format format,
                            Standard standard);

// How the source's picture shows: the shape of one of its pixels, how far it
// is turned, and how much of the coded picture is not picture.
struct SourceShape {
    Fraction sar{1, 1};          // positive; the cropped picture's pixel
    int rotation = 0;            // clockwise degrees
    std::int64_t cropWidth = 0;  // columns left and right together
    std::int64_t cropHeight = 0; // lines above and below together
};
// The picture's sides as it shows: the crop comes off, the width takes the
// pixel shape, and a quarter turn (90 or 270 degrees) swaps the sides.
struct ShownSides {
    Fraction width;
    Fraction height;
};
ShownSides shownSides(std::int64_t width, std::int64_t height, const SourceShape& source);
// The shown width over the shown height; the denominator may be 0 or
// negative, as the sides may be.
Fraction displayRatio(std::int64_t width, std::int64_t height, const SourceShape& source);

struct TargetSizes {
    Format format = Format::Dvd;
    Standard standard = Standard::Ntsc;
    FrameSize tv;
    FrameSize movie;
    Fraction pixelAspect{1, 1}; // reduced
    // With --mod: how much wider (positive) or narrower the Movie shows than
    // the source, as a fraction of the source's aspect; none when undefined.
    std::optional<double> aspectError;
    std::optional<DisplayAspect> aspect; // the disc's; none for square pixels
    FrameSize windowMovie;               // what the window shows for the same frame
};

struct TargetResult {
    ResizeError error = ResizeError::None;
    TargetSizes sizes;
    bool ok() const { return error == ResizeError::None; }
};

// The sizes for one format and standard, from the source sides as text (read
// exactly as the window reads its boxes). Square pixels count the source's
// pixels, and without a multiple they are the window's answer itself; plain
// and itu fit the picture as `source` shows it.
TargetResult computeTarget(std::string_view widthText, std::string_view heightText, Format format,
                           Standard standard, const Shape& shape, const SourceShape& source = {});

} // namespace quorvel::disc
