#include "info/options.h"

#include "resize/calc.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <utility>

namespace quorvel::info {

namespace {

// A long option's name and, when written as --name=value, its value.
struct Spelled {
    std::string_view name;
    std::optional<std::string_view> value;
};

Spelled splitOption(std::string_view arg) {
    const auto eq = arg.find('=');
    if (eq == std::string_view::npos)
        return {arg, std::nullopt};
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

std::string quoted(std::string_view s) {
    return "'" + std::string(s) + "'";
}

// Sets `out` from the word that names one of its values, or says what is wanted.
template <typename T, typename Out>
std::string pickWord(std::string_view v,
                     std::initializer_list<std::pair<std::string_view, T>> words, Out& out,
                     std::string_view wanted) {
    for (const auto& [word, value] : words)
        if (v == word) {
            out = value;
            return {};
        }
    return std::string(wanted) + ", not " + quoted(v);
}

std::string checkFormat(std::string_view v, Options& o) {
    return pickWord<FormatChoice>(v,
                                  {{"vcd", FormatChoice::Vcd},
                                   {"svcd", FormatChoice::Svcd},
                                   {"dvd", FormatChoice::Dvd},
                                   {"all", FormatChoice::All}},
                                  o.format, "--format wants vcd, svcd, dvd or all");
}

std::string checkStandard(std::string_view v, Options& o) {
    return pickWord<StandardChoice>(v,
                                    {{"pal", StandardChoice::Pal},
                                     {"ntsc", StandardChoice::Ntsc},
                                     {"auto", StandardChoice::Auto}},
                                    o.standard, "--standard wants pal, ntsc or auto");
}

std::string checkPar(std::string_view v, Options& o) {
    return pickWord<PixelShape>(
        v, {{"square", PixelShape::Square}, {"plain", PixelShape::Plain}, {"itu", PixelShape::Itu}},
        o.par, "--par wants square, plain or itu");
}

std::string checkAspect(std::string_view v, Options& o) {
    return pickWord<DisplayAspect>(
        v, {{"4:3", DisplayAspect::Standard}, {"16:9", DisplayAspect::Wide}}, o.aspect,
        "--aspect wants 4:3 or 16:9");
}

std::string checkMod(std::string_view v, Options& o) {
    int n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (v.empty() || ec != std::errc{} || end != v.data() + v.size() || n < 1 || n > kMaxMod)
        return "--mod wants a whole number from 1 to " + std::to_string(kMaxMod) + ", not " +
               quoted(v);
    o.mod = n;
    return {};
}

// The same reading and the same refusals as the window's source boxes.
std::string checkSize(std::string_view v, Options& o) {
    const auto x = v.find_first_of("xX");
    if (x == std::string_view::npos)
        return "--size wants WIDTHxHEIGHT, as in 640x480, not " + quoted(v);
    InputItem item{InputItem::Size, std::string(v), std::string(v.substr(0, x)),
                   std::string(v.substr(x + 1))};
    ResizeInput probe;
    probe.widthText = item.widthText;
    probe.heightText = item.heightText;
    probe.format = kFormatDvd;
    const ResizeResult result = computeResize(probe);
    if (!result.ok())
        return "--size " + quoted(v) + ": " + describeResizeError(result.error);
    o.inputs.push_back(std::move(item));
    return {};
}

using Checker = std::string (*)(std::string_view, Options&);

struct ValueOption {
    std::string_view name;
    Checker check;
};

constexpr ValueOption kValueOptions[] = {
    {"--format", checkFormat}, {"--standard", checkStandard}, {"--par", checkPar},
    {"--aspect", checkAspect}, {"--mod", checkMod},           {"--size", checkSize},
};

std::string checkCombination(const Options& o) {
    if (o.inputs.empty())
        return "nothing to do: give one or more video files, - or --size WIDTHxHEIGHT";
    const bool hasStdin = std::any_of(o.inputs.begin(), o.inputs.end(), [](const InputItem& i) {
        return i.kind == InputItem::Stdin;
    });
    if (o.nullSeparated && !hasStdin)
        return "--null is for paths read from standard input: give - as well";
    if (o.aspect && o.par == PixelShape::Square)
        return "--aspect needs --par plain or --par itu: square pixels have no display aspect";
    if (o.aspect == DisplayAspect::Wide && o.format != FormatChoice::Dvd)
        return "--aspect 16:9 is for DVD only: use it with --format dvd";
    return {};
}

} // namespace

// Hand-written rather than CLI11: keeping files and sizes in their order, "-"
// after "--", these sentences and --help winning over mistakes would need as
// much code around CLI11 as this loop.
ParsedArguments parseArguments(std::span<const std::string_view> args) {
    ParsedArguments parsed;
    Options& o = parsed.options;
    bool filesOnly = false;
    bool hasStdin = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        // "-" is standard input even after "--"; "./-" names a file called "-".
        if (arg == "-") {
            if (hasStdin && parsed.error.empty())
                parsed.error = "- may be given once: standard input is read to its end";
            hasStdin = true;
            o.inputs.push_back({InputItem::Stdin, "-", {}, {}});
            continue;
        }
        if (filesOnly || arg.size() < 2 || arg.front() != '-') {
            o.inputs.push_back({InputItem::File, std::string(arg), {}, {}});
            continue;
        }
        if (arg == "--") {
            filesOnly = true;
            continue;
        }
        const Spelled spelled = splitOption(arg);
        if (!spelled.value && (arg == "--help" || arg == "-h")) {
            o.help = true;
            continue;
        }
        if (!spelled.value && arg == "--version") {
            o.version = true;
            continue;
        }
        if (!spelled.value && arg == "--json") {
            o.json = true;
            continue;
        }
        if (!spelled.value && arg == "--ffmpeg") {
            o.ffmpeg = true;
            continue;
        }
        if (!spelled.value && (arg == "--null" || arg == "-0")) {
            o.nullSeparated = true;
            continue;
        }
        if (spelled.value &&
            (spelled.name == "--help" || spelled.name == "--version" || spelled.name == "--json" ||
             spelled.name == "--ffmpeg" || spelled.name == "--null")) {
            if (parsed.error.empty())
                parsed.error = std::string(spelled.name) + " takes no value";
            continue;
        }
        const ValueOption* known = nullptr;
        for (const ValueOption& v : kValueOptions)
            if (v.name == spelled.name)
                known = &v;
        // Keep the first mistake, but read on so --help anywhere still wins.
        if (!known) {
            if (parsed.error.empty())
                parsed.error = "unknown option " + quoted(spelled.name);
            continue;
        }
        std::string_view value;
        if (spelled.value) {
            value = *spelled.value;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            if (parsed.error.empty())
                parsed.error = std::string(known->name) + " needs a value";
            continue;
        }
        std::string problem = known->check(value, o);
        if (parsed.error.empty())
            parsed.error = std::move(problem);
    }
    if (o.help || o.version) {
        parsed.error.clear();
        return parsed;
    }
    if (parsed.error.empty())
        parsed.error = checkCombination(o);
    return parsed;
}

std::string helpText() {
    // help2man makes the manual page from this text: keep its layout (a usage
    // line, sections ending in ':', options indented with their text beside).
    return R"(Usage: quorvel-info [OPTION]... FILE...
  or:  quorvel-info [OPTION]... --size WIDTHxHEIGHT
  or:  quorvel-info [OPTION]... -

Print the size, frame rate and rate class of each video file (AVI, MP4,
Matroska, MPEG program or elementary stream), and the TV and Movie sizes for a
disc format, exactly as the Quorvel window shows them after reading the file.
--size does the same for a typed size. Inputs are reported in the order given,
each as soon as it is read.

Options:
      --format=FORMAT      disc format: vcd, svcd, dvd or all (default: dvd)
      --standard=STANDARD  TV standard: pal, ntsc or auto (default: auto, the
                           file's class: PAL for PAL, NTSC for film, video and
                           an unknown rate; a typed size is NTSC, as in the
                           window)
      --size=WIDTHxHEIGHT  report a typed size, read as the window's boxes
      --json               one JSON object per line and input
      --ffmpeg             add an ffmpeg filter that scales to the Movie size,
                           pads to the TV size with the borders centred and
                           sets the pixel shape; without --par it uses plain
                           4:3 pixels, so that the frame shows a disc's aspect
      --par=SHAPE          the shape of the disc's pixels: square, plain or itu
                           (default: square, the window's pixel counts); plain
                           and itu fit the source as it shows (its pixel shape
                           and rotation)
      --aspect=ASPECT      display aspect for --par plain or itu: 4:3 or 16:9
                           (default: 4:3; 16:9 for DVD only)
      --mod=N              round the Movie sides to multiples of N (1-64) and
                           print the aspect error that leaves
  -0, --null               paths on standard input end in a NUL byte, not a
                           newline (for find -print0)
  -h, --help               display this help and exit
      --version            output version information and exit

With - the paths are read from standard input, one per line (or NUL-separated
with --null), and each is reported as soon as it is read; empty entries are
skipped. - may stand among other inputs, once; "./-" names a file called "-".
"--" ends the options.

Pixel shapes (width:height of one disc pixel):
  square  1:1; the Movie keeps the source's ratio in pixel counts.
  plain   the display aspect spread over the whole TV frame:
          aspect x TVheight / TVwidth, e.g. DVD NTSC 4:3 8:9, PAL 4:3 16:15,
          NTSC 16:9 32:27, PAL 16:9 64:45.
  itu     ITU-R BT.601: DVD PAL 12:11 (4:3) and 16:11 (16:9), NTSC 10:11 (4:3)
          and 40:33 (16:9); the picture fills the central 704 of 720 samples.
          VCD halves both directions: the same ratios, the picture fills all
          352 samples. SVCD samples at 2/3 of the DVD rate: PAL 18:11,
          NTSC 15:11, the picture fills the central 469 1/3 of 480 samples.
  With plain or itu the Movie is the largest picture that shows the source's
  display shape and fits in the picture area.

Exit status:
  0  every input was read
  1  a file could not be read (its error goes to standard error, the other
     inputs are still reported), or the output could not be written
  2  a bad command line

Examples:
  quorvel-info film.avi
  quorvel-info --format all --standard pal --size 720x576
  find videos -type f -print0 | quorvel-info --json -0 - > sizes.jsonl
  quorvel-info --ffmpeg --par itu --aspect 16:9 clip.mkv
)";
}

} // namespace quorvel::info
