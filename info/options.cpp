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
    // Appended, not "'" + std::string(s): GCC 12 takes that insert at the
    // front for a copy that may overlap (a false -Wrestrict).
    std::string text = "'";
    text.append(s).append("'");
    return text;
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

// N:D (or N/D) with whole terms from 1 to kMaxRatioTerm.
std::string checkRatio(std::string_view v, std::optional<Fraction>& out, std::string_view name,
                       std::string_view example) {
    const auto colon = v.find_first_of(":/");
    const auto term = [](std::string_view t, std::int64_t& n) {
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
        return !t.empty() && ec == std::errc{} && end == t.data() + t.size() && n >= 1 &&
               n <= kMaxRatioTerm;
    };
    Fraction r;
    if (colon == std::string_view::npos || !term(v.substr(0, colon), r.num) ||
        !term(v.substr(colon + 1), r.den))
        return std::string(name) + " wants N:D with whole numbers from 1 to " +
               std::to_string(kMaxRatioTerm) + ", as in " + std::string(example) + ", not " +
               quoted(v);
    out = r;
    return {};
}

std::string checkSar(std::string_view v, Options& o) {
    return checkRatio(v, o.sar, "--sar", "64:45");
}

std::string checkDar(std::string_view v, Options& o) {
    return checkRatio(v, o.dar, "--dar", "16:9");
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

std::string checkOutput(std::string_view v, Options& o) {
    if (v.empty())
        return "--output wants a folder, not an empty name";
    o.outputDir = std::string(v);
    return {};
}

std::string checkDisc(std::string_view v, Options& o) {
    const disc::DiscChoiceResult r = disc::parseDisc(v);
    if (!r.disc)
        return "--disc " + quoted(v) + ": " + r.error;
    o.disc = r.disc;
    return {};
}

// A whole number within [lo, hi]; whether the format takes it is checked
// once the whole line is read.
std::optional<int> wholeNumber(std::string_view v, int lo, int hi) {
    int n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (v.empty() || ec != std::errc{} || end != v.data() + v.size() || n < lo || n > hi)
        return std::nullopt;
    return n;
}

std::string checkAudioKbps(std::string_view v, Options& o) {
    // Any whole number here: the format's own list, named when it refuses one,
    // decides once the whole line is read.
    constexpr int kMaxAudioKbps = 1'000'000;
    o.audioKbps = wholeNumber(v, 1, kMaxAudioKbps);
    if (!o.audioKbps)
        return "--audio-kbps wants a whole number of kbit/s, as in 192, not " + quoted(v);
    return {};
}

std::string checkDvdWidth(std::string_view v, Options& o) {
    const auto n = wholeNumber(v, 1, 720);
    if (!n || !disc::isDvdWidth(*n))
        return "--dvd-width wants 720, 704 or 352, not " + quoted(v);
    o.dvdWidth = *n;
    return {};
}

disc::Format discFormatOf(FormatChoice f) {
    return f == FormatChoice::Vcd    ? disc::Format::Vcd
           : f == FormatChoice::Svcd ? disc::Format::Svcd
                                     : disc::Format::Dvd;
}

std::string checkDiscCombination(const Options& o) {
    if ((o.disc || o.audioKbps) && o.format == FormatChoice::All)
        return std::string(o.disc ? "--disc" : "--audio-kbps") +
               " plans one format: give --format vcd, svcd or dvd";
    if (o.disc)
        if (std::string why = disc::discRefusal(*o.disc, discFormatOf(o.format)); !why.empty())
            return "--disc: " + why;
    if (o.audioKbps) {
        const disc::AudioResult audio = disc::audioFor(discFormatOf(o.format), o.audioKbps);
        if (!audio.audio)
            return "--audio-kbps: " + audio.error;
    }
    if (o.dvdWidth != 720 && o.par == PixelShape::Square)
        return "--dvd-width has no use with --window: the window's DVD frame is 720 wide";
    if (o.dvdWidth != 720 && o.format != FormatChoice::Dvd && o.format != FormatChoice::All)
        return "--dvd-width is for DVD only: use it with --format dvd or all";
    if (o.aspect == DisplayAspect::Wide && !disc::allowsWide(disc::Format::Dvd, o.dvdWidth))
        return "--aspect 16:9 needs a DVD frame 720 or 704 wide, not --dvd-width " +
               std::to_string(o.dvdWidth);
    if (o.disc && o.par == PixelShape::Square)
        return "--disc has no use with --window: a disc has no square pixels";
    return {};
}

using Checker = std::string (*)(std::string_view, Options&);

struct ValueOption {
    std::string_view name;
    Checker check;
};

constexpr ValueOption kValueOptions[] = {
    {"--format", checkFormat},
    {"--standard", checkStandard},
    {"--par", checkPar},
    {"--aspect", checkAspect},
    {"--mod", checkMod},
    {"--size", checkSize},
    {"--sar", checkSar},
    {"--dar", checkDar},
    {"--output", checkOutput},
    {"--disc", checkDisc},
    {"--audio-kbps", checkAudioKbps},
    {"--dvd-width", checkDvdWidth},
};

// Options that take no value, and what each sets.
struct Flag {
    std::string_view name;
    std::string_view shortName;
    void (*set)(Options&);
};

constexpr Flag kFlags[] = {
    {"--help", "-h", [](Options& o) { o.help = true; }},
    {"--version", {}, [](Options& o) { o.version = true; }},
    {"--json", {}, [](Options& o) { o.json = true; }},
    {"--ffmpeg", {}, [](Options& o) { o.ffmpeg = true; }},
    {"--null", "-0", [](Options& o) { o.nullSeparated = true; }},
    {"--window", {}, [](Options& o) { o.par = PixelShape::Square; }},
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
    if (o.aspect == DisplayAspect::Wide && o.format != FormatChoice::Dvd &&
        o.format != FormatChoice::All)
        return "--aspect 16:9 is for DVD only: use it with --format dvd or all";
    if (o.sar && o.dar)
        return "--sar and --dar both give the source's shape: give one of them";
    if ((o.sar || o.dar) && o.par == PixelShape::Square)
        return std::string(o.sar ? "--sar" : "--dar") +
               " has no use with --window: square pixels count the source's pixels";
    return checkDiscCombination(o);
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
        const Flag* flag = nullptr;
        for (const Flag& f : kFlags)
            if (spelled.name == f.name || (!spelled.value && arg == f.shortName))
                flag = &f;
        if (flag && !spelled.value) {
            flag->set(o);
            continue;
        }
        if (flag) {
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
Matroska, MPEG program or elementary stream) and what it becomes on a disc:
the TV frame, the Movie (the picture in it; the rest is border) and the disc's
pixel shape, so that the picture shows on the disc as it shows from the file
(its pixel shape, crop and rotation). DVD is 16:9 for a source wider than
about 1.54:1, else 4:3; VCD and SVCD are 4:3. --window prints the Quorvel
window's sizes instead, which count the source's pixels as square. --size does
the same for a typed size. Inputs are reported in the order given, each as
soon as it is read.

Options:
      --format=FORMAT      disc format: vcd, svcd, dvd or all (default: dvd)
      --standard=STANDARD  TV standard: pal, ntsc or auto (default: auto, PAL
                           for a rate within 0.2 of 25 or 50, else NTSC, also
                           for an unknown rate and a typed size; with --window
                           the window's rule: PAL for the PAL class only)
      --aspect=ASPECT      the DVD's display aspect: 4:3 or 16:9 (default: the
                           source's; VCD and SVCD are always 4:3)
      --size=WIDTHxHEIGHT  report a typed size, read as the window's boxes
      --sar=N:D            the source's pixel shape (one pixel's width:height),
                           for a typed size or over what a file says
      --dar=N:D            the source's display aspect, instead of --sar
      --mod=N              round the Movie sides to multiples of N (1-64) and
                           print the aspect error that leaves
      --ffmpeg             add the ffmpeg command that makes each file a disc
                           stream: crop, rate and field plan, scale to the
                           Movie size, pad to the TV size, the disc's pixel
                           shape and bitrate (for a typed size the filter)
      --output=DIR         the folder the commands write to, which must
                           exist (default: the current one); each output is
                           the input's name with .mpg, never an input's file
      --disc=DISC          plan all inputs, in order, onto one disc: dvd5,
                           dvd9, cd74, cd80 or a SIZE in bytes (K, M, G as
                           powers of 1024), or each for one usual disc per
                           input; prints the running time, the video bitrate
                           that fills it and whether it fits, and the
                           commands use that bitrate and the disc's one
                           standard
      --audio-kbps=N       the audio's bitrate, one the format allows
                           (default: VCD and SVCD MP2 224, DVD AC-3 192)
      --dvd-width=WIDTH    the DVD frame's width: 720 (default), 704 or 352
                           (352 is 4:3 only)
      --json               one JSON object per line and input
      --window             the window's sizes: the source's pixel counts in
                           square pixels (--par square); no filter, as a disc
                           has no square pixels
      --par=SHAPE          the disc's pixels: plain (default), itu or square
  -0, --null               paths on standard input end in a NUL byte, not a
                           newline (for find -print0)
  -h, --help               display this help and exit
      --version            output version information and exit

With - the paths are read from standard input, one per line (or NUL-separated
with --null), and each is reported as soon as it is read; empty entries are
skipped. - may stand among other inputs, once; "./-" names a file called "-".
"--" ends the options.

Pixel shapes (width:height of one disc pixel):
  plain   the display aspect spread over the whole TV frame:
          aspect x TVheight / TVwidth, e.g. DVD NTSC 4:3 8:9, PAL 4:3 16:15,
          NTSC 16:9 32:27, PAL 16:9 64:45.
  itu     ITU-R BT.601: DVD PAL 12:11 (4:3) and 16:11 (16:9), NTSC 10:11 (4:3)
          and 40:33 (16:9); the picture fills the central 704 of 720 samples.
          VCD halves both directions: the same ratios, the picture fills all
          352 samples. SVCD samples at 2/3 of the DVD rate: PAL 18:11,
          NTSC 15:11, the picture fills the central 469 1/3 of 480 samples.
  square  1:1, the window's: the Movie keeps the source's ratio in pixel
          counts, which a disc shows stretched.
  The Movie is the largest picture that shows the source's display shape and
  fits in the picture area, worked out in exact fractions, halves to even.

Exit status:
  0  every input was read
  1  a file could not be read (its error goes to standard error, the other
     inputs are still reported), or the output could not be written
  2  a bad command line

Examples:
  quorvel-info film.avi
  quorvel-info --ffmpeg clip.mkv
  quorvel-info --disc dvd5 --ffmpeg --output discs a.mkv b.mp4 c.avi
  quorvel-info --format all --standard pal --size 720x576
  quorvel-info --standard ntsc --size 720x576 --dar 16:9
  find videos -type f -print0 | quorvel-info --json -0 - > sizes.jsonl
  quorvel-info --window film.avi)";
}

} // namespace quorvel::info
