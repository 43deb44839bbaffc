#include "info/targets.h"

#include "resize/number.h"

#include <numeric>

namespace quorvel::info {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

Ratio times(Ratio a, Ratio b) {
    return reduced({a.num * b.num, a.den * b.den});
}

Ratio over(Ratio a, Ratio b) {
    // b is never 0 here; keep the denominator positive.
    const std::int64_t den = a.den * b.num;
    const std::int64_t num = a.num * b.den;
    return reduced(den < 0 ? Ratio{-num, -den} : Ratio{num, den});
}

bool greater(Ratio a, Ratio b) {
    return a.num * b.den > b.num * a.den;
}

// BT.601 pixel shapes at the DVD's 13.5 MHz sampling.
Ratio ituPixel(bool pal, DisplayAspect aspect) {
    if (pal)
        return aspect == DisplayAspect::Wide ? Ratio{16, 11} : Ratio{12, 11};
    return aspect == DisplayAspect::Wide ? Ratio{40, 33} : Ratio{10, 11};
}

// The largest picture showing the source's shape inside pictureWidth x
// tvHeight, before rounding. As in the window, a tie and every negative ratio
// are held by the height.
struct ExactMovie {
    Ratio width;
    Ratio height;
};

ExactMovie fitExactly(Ratio source, const PixelGeometry& g, int tvHeight) {
    if (source.den < 0)
        source = {-source.num, -source.den};
    const Ratio height{tvHeight, 1};
    // A source with no height left after a quarter turn: a picture with none.
    if (source.den == 0)
        return {g.pictureWidth, {0, 1}};
    // The ratio of pixel counts that shows as the source's ratio.
    const Ratio counts = over(reduced(source), g.pixelAspect);
    if (greater(times(counts, height), g.pictureWidth))
        return {g.pictureWidth, over(g.pictureWidth, counts)};
    return {times(counts, height), height};
}

// The nearest multiple of `mod` that still fits under `limit`; never 0 for a
// side that was not.
int roundToMultiple(Ratio exact, Ratio limit, int mod) {
    std::int64_t m = roundHalfEven({exact.num, exact.den * mod}) * mod;
    if (greater({m, 1}, limit))
        m -= mod;
    if (exact.num > 0 && m <= 0)
        m = mod;
    return static_cast<int>(m);
}

} // namespace

Ratio reduced(Ratio r) {
    const std::int64_t g = std::gcd(r.num, r.den);
    return g > 1 ? Ratio{r.num / g, r.den / g} : r;
}

std::int64_t roundHalfEven(Ratio r) {
    const std::int64_t q = floorDiv(r.num, r.den);
    const std::int64_t twiceRest = 2 * (r.num - q * r.den);
    if (twiceRest > r.den)
        return q + 1;
    if (twiceRest < r.den)
        return q;
    return q % 2 == 0 ? q : q + 1;
}

PixelGeometry pixelGeometry(const Shape& shape, FrameSize tv, int format, bool pal) {
    const Ratio fullWidth{tv.width, 1};
    switch (shape.par) {
    case PixelShape::Square:
        return {{1, 1}, fullWidth};
    case PixelShape::Plain: {
        const Ratio display = shape.aspect == DisplayAspect::Wide ? Ratio{16, 9} : Ratio{4, 3};
        return {times(display, {tv.height, tv.width}), fullWidth};
    }
    case PixelShape::Itu:
        break;
    }
    const Ratio dvd = ituPixel(pal, shape.aspect);
    // VCD samples at half the rate and keeps every other line: same shape,
    // 352 = 704 / 2. SVCD samples at 2/3 of the rate on every line.
    if (format == kFormatSvcd)
        return {times(dvd, {3, 2}), {704 * 2, 3}};
    if (format == kFormatVcd)
        return {dvd, {352, 1}};
    return {dvd, {704, 1}};
}

ShownSides shownSides(std::int64_t width, std::int64_t height, const SourceShape& source) {
    const Ratio across{width * source.sar.num, source.sar.den};
    const Ratio down{height, 1};
    if (source.rotation % 180 != 0)
        return {down, across};
    return {across, down};
}

Ratio displayRatio(std::int64_t width, std::int64_t height, const SourceShape& source) {
    const ShownSides s = shownSides(width, height, source);
    return {s.width.num * s.height.den, s.width.den * s.height.num};
}

TargetResult computeTarget(std::string_view widthText, std::string_view heightText, int format,
                           bool pal, const Shape& shape, const SourceShape& source) {
    ResizeInput input;
    input.widthText = widthText;
    input.heightText = heightText;
    input.palSelected = pal;
    input.format = format;
    const ResizeResult window = computeResize(input);
    TargetResult result;
    if (!window.ok()) {
        result.error = window.error;
        return result;
    }
    TargetSizes& s = result.sizes;
    s.format = format;
    s.pal = pal;
    // Every format quorvel-info asks for has a frame, so the window gave sizes.
    s.tv = window.sizes->tv;
    s.movie = window.sizes->movie;
    // Square pixels without a multiple are the window's answer as it stands.
    if (shape.par == PixelShape::Square && shape.mod == 0)
        return result;

    const int sourceWidth = parseSourceNumber(widthText).value;
    const int sourceHeight = parseSourceNumber(heightText).value;
    // Square pixels count the source's pixels; shaped ones show its picture.
    const Ratio wanted = shape.par == PixelShape::Square
                             ? Ratio{sourceWidth, sourceHeight}
                             : displayRatio(sourceWidth, sourceHeight, source);
    const PixelGeometry g = pixelGeometry(shape, s.tv, format, pal);
    s.pixelAspect = reduced(g.pixelAspect);
    const ExactMovie exact = fitExactly(wanted, g, s.tv.height);
    if (shape.mod == 0) {
        s.movie = {static_cast<int>(roundHalfEven(exact.width)),
                   static_cast<int>(roundHalfEven(exact.height))};
        return result;
    }
    s.movie = {roundToMultiple(exact.width, g.pictureWidth, shape.mod),
               roundToMultiple(exact.height, {s.tv.height, 1}, shape.mod)};
    if (s.movie.height != 0 && wanted.num != 0 && wanted.den != 0) {
        const double shown = static_cast<double>(s.movie.width) * g.pixelAspect.num /
                             (static_cast<double>(s.movie.height) * g.pixelAspect.den);
        s.aspectError =
            shown / (static_cast<double>(wanted.num) / static_cast<double>(wanted.den)) - 1.0;
    }
    return result;
}

} // namespace quorvel::info
