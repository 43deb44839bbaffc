#pragma once

// The command line of quorvel-info, read into a plain struct. Nothing here
// prints or exits: a bad command line comes back as a sentence.

#include "disc/budget.h"
#include "disc/targets.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::info {

enum class FormatChoice { Vcd, Svcd, Dvd, All };
enum class StandardChoice { Auto, Pal, Ntsc };
// --window is --par square.
using disc::DisplayAspect;
using disc::PixelShape;

// Largest accepted --mod: every frame side is a larger multiple of it.
inline constexpr int kMaxMod = 64;
// Largest term of a typed --sar or --dar, as of a pixel shape read from a file.
inline constexpr std::int64_t kMaxRatioTerm = 65535;

// One thing to report on, in command-line order. Stdin stands for the paths
// read from standard input, one per line (NUL-separated with --null).
struct InputItem {
    enum Kind { File, Size, Stdin };
    Kind kind = File;
    std::string text;       // the path, or the size as typed
    std::string widthText;  // for a size: the part before the 'x'
    std::string heightText; // for a size: the part after it
};

struct Options {
    FormatChoice format = FormatChoice::Dvd;
    StandardChoice standard = StandardChoice::Auto;
    PixelShape par = PixelShape::Plain;
    std::optional<DisplayAspect> aspect; // none: DVD follows the source
    int mod = 0;                         // 0: sides stay as computed
    // The source's shape, over what a file says: one pixel's, or the
    // (cropped) picture's display aspect. At most one of them.
    // Typed as N:D, both terms from 1 to kMaxRatioTerm.
    std::optional<Fraction> sar;
    std::optional<Fraction> dar;
    bool json = false;
    bool ffmpeg = false;
    bool nullSeparated = false; // paths on standard input end in NUL, not newline
    // From source to disc: where the commands write, the disc the inputs go
    // on, the audio's rate (none: the format's) and the DVD frame's width.
    std::string outputDir;
    std::optional<disc::DiscChoice> disc;
    std::optional<int> audioKbps;
    int dvdWidth = 720;
    bool help = false;
    bool version = false;
    std::vector<InputItem> inputs;
};

struct ParsedArguments {
    Options options;
    std::string error; // empty when the command line is good

    bool ok() const { return error.empty(); }
};

// `args` excludes the program name. --help and --version win over anything
// else on the line, even over mistakes.
ParsedArguments parseArguments(std::span<const std::string_view> args);

// The --help text.
std::string helpText();

} // namespace quorvel::info
