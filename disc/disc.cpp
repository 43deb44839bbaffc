#include "disc/disc.h"

#include <algorithm>

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

int windowFormatCode(Format f) {
    switch (f) {
    case Format::Vcd:
        return kFormatVcd;
    case Format::Svcd:
        return kFormatSvcd;
    case Format::Dvd:
        break;
    }
    return kFormatDvd;
}

FrameSize discFrame(Format f, Standard s, int dvdWidth) {
    FrameSize frame = *tvFrame(windowFormatCode(f), s == Standard::Pal);
    if (f == Format::Dvd && isDvdWidth(dvdWidth))
        frame.width = dvdWidth;
    return frame;
}

bool allowsWide(Format f, int dvdWidth) {
    return f == Format::Dvd && (dvdWidth == 720 || dvdWidth == 704);
}

std::string runningTimeText(std::uint64_t ms) {
    // Appended piece by piece: no false -Wrestrict from GCC's string inserts.
    const auto digits = [](std::string& text, std::uint64_t n, std::size_t width) {
        const std::string number = std::to_string(n);
        text.append(width > number.size() ? width - number.size() : 0, '0');
        text += number;
    };
    const std::uint64_t seconds = ms / 1000;
    std::string text = std::to_string(seconds / 3600);
    text += ':';
    digits(text, seconds / 60 % 60, 2);
    text += ':';
    digits(text, seconds % 60, 2);
    text += '.';
    digits(text, ms % 1000, 3);
    return text;
}

Fraction framePixelAspect(FrameSize frame, bool wide) {
    return reduced(
        {std::int64_t{wide ? 16 : 4} * frame.height, std::int64_t{wide ? 9 : 3} * frame.width});
}

} // namespace quorvel::disc
