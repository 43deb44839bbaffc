#include "disc/targets.h"

#include "resize/number.h"

#include <compare>
#include <numeric>

namespace quorvel::disc {

namespace {

Fraction times(Fraction a, Fraction b) {
    return reduced({a.num * b.num, a.den * b.den});
}

Fraction over(Fraction a, Fraction b) {
    // b is never 0 here; keep the denominator positive.
    const std::int64_t den = a.den * b.num;
    const std::int64_t num = a.num * b.den;
    return reduced(den < 0 ? Fraction{-num, -den} : Fraction{num, den});
}

bool greater(Fraction a, Fraction b) {
    return a.num * b.den > b.num * a.den;
}

// a x b > c x d for terms from 0 to 2^63, in 128 bits made of two halves.
bool productGreater(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
    struct Wide {
        std::uint64_t high, low;
        auto operator<=>(const Wide&) const = default;
    };
    const auto times = [](std::uint64_t x, std::uint64_t y) {
        constexpr std::uint64_t kHalf = 0xFFFFFFFF;
        const std::uint64_t ll = (x & kHalf) * (y & kHalf), lh = (x & kHalf) * (y >> 32),
                            hl = (x >> 32) * (y & kHalf), hh = (x >> 32) * (y >> 32);
        const std::uint64_t middle = (ll >> 32) + (lh & kHalf) + (hl & kHalf);
        return Wide{hh + (lh >> 32) + (hl >> 32) + (middle >> 32), (middle << 32) | (ll & kHalf)};
    };
    return times(a, b) > times(c, d);
}

// BT.601 pixel shapes at the DVD's 13.5 MHz sampling.
Fraction ituPixel(Standard standard, DisplayAspect aspect) {
    if (standard == Standard::Pal)
        return aspect == DisplayAspect::Wide ? Fraction{16, 11} : Fraction{12, 11};
    return aspect == DisplayAspect::Wide ? Fraction{40, 33} : Fraction{10, 11};
}

// The largest picture showing the source's shape inside pictureWidth x
// tvHeight, before rounding. As in the window, a tie and every negative ratio
// are held by the height.
struct ExactMovie {
    Fraction width;
    Fraction height;
};

ExactMovie fitExactly(Fraction source, const PixelGeometry& g, int tvHeight) {
    if (source.den < 0)
        source = {-source.num, -source.den};
    const Fraction height{tvHeight, 1};
    // A source with no height left after a quarter turn: a picture with none.
    if (source.den == 0)
        return {g.pictureWidth, {0, 1}};
    // The ratio of pixel counts that shows as the source's ratio.
    const Fraction counts = over(reduced(source), g.pixelAspect);
    if (greater(times(counts, height), g.pictureWidth))
        return {g.pictureWidth, over(g.pictureWidth, counts)};
    return {times(counts, height), height};
}

// The nearest multiple of `mod` that still fits under `limit`; never 0 for a
// side that was not.
int roundToMultiple(Fraction exact, Fraction limit, int mod) {
    std::int64_t m = roundHalfEven({exact.num, exact.den * mod}) * mod;
    if (greater({m, 1}, limit))
        m -= mod;
    if (exact.num > 0 && m <= 0)
        m = mod;
    return static_cast<int>(m);
}

} // namespace

DisplayAspect dvdAspectFor(Fraction display) {
    if (display.den < 0)
        display = {-display.num, -display.den};
    if (display.num <= 0 || display.den == 0)
        return DisplayAspect::Standard;
    // (num/den)^2 > 64/27, with no tie: the middle is no fraction.
    const auto n = static_cast<std::uint64_t>(display.num);
    const auto d = static_cast<std::uint64_t>(display.den);
    return productGreater(27 * n, n, 64 * d, d) ? DisplayAspect::Wide : DisplayAspect::Standard;
}

PixelGeometry pixelGeometry(PixelShape par, DisplayAspect aspect, FrameSize tv, Format format,
                            Standard standard) {
    const Fraction fullWidth{tv.width, 1};
    switch (par) {
    case PixelShape::Square:
        return {{1, 1}, fullWidth};
    case PixelShape::Plain: {
        const Fraction display = aspect == DisplayAspect::Wide ? Fraction{16, 9} : Fraction{4, 3};
        return {times(display, {tv.height, tv.width}), fullWidth};
    }
    case PixelShape::Itu:
        break;
    }
    const Fraction dvd = ituPixel(standard, aspect);
    // VCD samples at half the rate and keeps every other line: same shape,
    // 352 = 704 / 2. SVCD samples at 2/3 of the rate on every line.
    if (format == Format::Svcd)
        return {times(dvd, {3, 2}), {704 * 2, 3}};
    if (format == Format::Vcd)
        return {dvd, {352, 1}};
    return {dvd, {704, 1}};
}

namespace {

// A DVD frame 704 or 352 wide. 704 is BT.601's picture area without the side
// margins, so its samples keep the full frame's shape and the picture fills it;
// 352 samples at half that rate, its pixels twice as wide, and is 4:3 only.
PixelGeometry narrowDvd(const Shape& shape, DisplayAspect& aspect, TargetSizes& s) {
    if (!disc::allowsWide(disc::Format::Dvd, shape.dvdWidth)) {
        aspect = DisplayAspect::Standard;
        s.aspect = aspect;
    }
    s.tv.width = shape.dvdWidth;
    if (shape.par == PixelShape::Plain)
        return pixelGeometry(shape.par, aspect, s.tv, Format::Dvd, s.standard);
    const Fraction itu = ituPixel(s.standard, aspect);
    const Fraction pixel = shape.dvdWidth == 352 ? times(itu, {2, 1}) : itu;
    return {pixel, {shape.dvdWidth, 1}};
}

} // namespace

ShownSides shownSides(std::int64_t width, std::int64_t height, const SourceShape& source) {
    const Fraction across{(width - source.cropWidth) * source.sar.num, source.sar.den};
    const Fraction down{height - source.cropHeight, 1};
    if (source.rotation % 180 != 0)
        return {down, across};
    return {across, down};
}

Fraction displayRatio(std::int64_t width, std::int64_t height, const SourceShape& source) {
    const ShownSides s = shownSides(width, height, source);
    return {s.width.num * s.height.den, s.width.den * s.height.num};
}

TargetResult computeTarget(std::string_view widthText, std::string_view heightText, Format format,
                           Standard standard, const Shape& shape, const SourceShape& source) {
    ResizeInput input;
    input.widthText = widthText;
    input.heightText = heightText;
    input.palSelected = standard == Standard::Pal;
    input.format = windowFormatCode(format);
    const ResizeResult window = computeResize(input);
    TargetResult result;
    if (!window.ok()) {
        result.error = window.error;
        return result;
    }
    TargetSizes& s = result.sizes;
    s.format = format;
    s.standard = standard;
    // Every format quorvel-info asks for has a frame, so the window gave sizes.
    s.tv = window.sizes->tv;
    s.windowMovie = window.sizes->movie;
    s.movie = s.windowMovie;
    // Square pixels without a multiple are the window's answer as it stands.
    if (shape.par == PixelShape::Square && shape.mod == 0)
        return result;

    const int sourceWidth = parseSourceNumber(widthText).value;
    const int sourceHeight = parseSourceNumber(heightText).value;
    // Square pixels count the source's pixels; shaped ones show its picture.
    const Fraction wanted = shape.par == PixelShape::Square
                                ? Fraction{sourceWidth, sourceHeight}
                                : displayRatio(sourceWidth, sourceHeight, source);
    DisplayAspect aspect = DisplayAspect::Standard;
    if (shape.par != PixelShape::Square) {
        if (format == Format::Dvd)
            aspect = shape.aspect.value_or(dvdAspectFor(wanted));
        s.aspect = aspect;
    }
    PixelGeometry g = pixelGeometry(shape.par, aspect, s.tv, format, standard);
    if (format == Format::Dvd && shape.par != PixelShape::Square && shape.dvdWidth != s.tv.width)
        g = narrowDvd(shape, aspect, s);
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

} // namespace quorvel::disc
