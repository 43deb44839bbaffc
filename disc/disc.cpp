#include "disc/disc.h"

#include <algorithm>
#include <numeric>

namespace quorvel::disc {

const char* formatName(Format f) {
    switch (f) {
    case Format::Vcd:
        return "VCD";
    case Format::Svcd:
        return "SVCD";
    case Format::Dvd:
        break;
    }
    return "DVD";
}

std::string aFormat(Format f) {
    return std::string(f == Format::Svcd ? "an " : "a ") + formatName(f);
}

const char* standardName(Standard s) {
    return s == Standard::Pal ? "PAL" : "NTSC";
}

std::string targetName(Format f, Standard s) {
    std::string name = s == Standard::Pal ? "pal-" : "ntsc-";
    switch (f) {
    case Format::Vcd:
        return name + "vcd";
    case Format::Svcd:
        return name + "svcd";
    case Format::Dvd:
        break;
    }
    return name + "dvd";
}

bool isDvdWidth(int width) {
    return std::find(std::begin(kDvdWidths), std::end(kDvdWidths), width) != std::end(kDvdWidths);
}

FrameSize discFrame(Format f, Standard s, int dvdWidth) {
    const bool pal = s == Standard::Pal;
    switch (f) {
    case Format::Vcd:
        return {352, pal ? 288 : 240};
    case Format::Svcd:
        return {480, pal ? 576 : 480};
    case Format::Dvd:
        break;
    }
    return {isDvdWidth(dvdWidth) ? dvdWidth : 720, pal ? 576 : 480};
}

bool allowsWide(Format f, int dvdWidth) {
    return f == Format::Dvd && (dvdWidth == 720 || dvdWidth == 704);
}

Fraction reduce(std::int64_t a, std::int64_t b) {
    if (b < 0) {
        a = -a;
        b = -b;
    }
    const std::int64_t g = std::gcd(a, b);
    return g == 0 ? Fraction{a, b} : Fraction{a / g, b / g};
}

Fraction framePixelAspect(FrameSize frame, bool wide) {
    return reduce(std::int64_t{wide ? 16 : 4} * frame.height,
                  std::int64_t{wide ? 9 : 3} * frame.width);
}

} // namespace quorvel::disc
