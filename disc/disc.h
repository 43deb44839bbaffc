#pragma once

// What the disc side shares: the three formats, the two standards and the
// frames they allow. The budget, the rate plan and the ffmpeg command all
// speak of them; the source's facts come in as media's own types.

#include "resize/calc.h"
#include "source/fraction.h"
#include "source/media/media.h"

#include <string>

namespace quorvel::disc {

enum class Format { Vcd, Svcd, Dvd };
enum class Standard { Pal, Ntsc };

using quorvel::Fraction;

// "VCD", "SVCD", "DVD"; "PAL", "NTSC".
const char* formatName(Format f);
// "a VCD", "an SVCD", "a DVD": the name as a sentence says it.
std::string aFormat(Format f);
const char* standardName(Standard s);
// ffmpeg's -target value: "pal-vcd" ... "ntsc-dvd".
std::string targetName(Format f, Standard s);

// The widths a DVD frame may have: the full frame, BT.601's picture area
// without its side margins, and the half frame.
inline constexpr int kDvdWidths[] = {720, 704, 352};
bool isDvdWidth(int width);

// The window's code for a format (kFormatVcd ...): its table of frames is the
// one table of the disc's frames.
int windowFormatCode(Format f);

// The frame of a format and standard; `dvdWidth` only matters for DVD and must
// be one of kDvdWidths.
FrameSize discFrame(Format f, Standard s, int dvdWidth = 720);

// 16:9 is a DVD frame of full width only (720 or 704); everything else is 4:3.
bool allowsWide(Format f, int dvdWidth = 720);

// A running time as h:mm:ss.mmm, "1:32:05.120": the one form of every output.
std::string runningTimeText(std::uint64_t ms);

// The pixel shape that spreads a display aspect over the whole frame:
// aspect * height / width, reduced.
Fraction framePixelAspect(FrameSize frame, bool wide);

} // namespace quorvel::disc
