#include "make/options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

namespace quorvel::make {

namespace {

std::optional<int> wholeNumber(std::string_view v, int max) {
    int n = 0;
    const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (error != std::errc() || end != v.data() + v.size() || n < 0 || n > max)
        return std::nullopt;
    return n;
}

std::string lower(std::string_view v) {
    std::string out(v);
    for (char& c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

// The value's error, or empty.
std::string take(DiscOptions& o, std::string_view name, std::string_view v) {
    if (name == "--format") {
        const std::string f = lower(v);
        if (f == "dvd")
            o.format = disc::Format::Dvd;
        else if (f == "svcd")
            o.format = disc::Format::Svcd;
        else if (f == "vcd")
            o.format = disc::Format::Vcd;
        else
            return "--format wants dvd, svcd or vcd";
    } else if (name == "--standard") {
        const std::string s = lower(v);
        if (s == "pal")
            o.standard = disc::Standard::Pal;
        else if (s == "ntsc")
            o.standard = disc::Standard::Ntsc;
        else
            return "--standard wants pal or ntsc";
    } else if (name == "--disc") {
        const disc::DiscChoiceResult r = disc::parseDisc(v);
        if (!r.disc || r.disc->kind == disc::DiscChoice::Kind::Each)
            return "--disc wants dvd5, dvd9, cd74, cd80 or a size such as 4480M";
        o.disc = r.disc;
    } else if (name == "--output" || name == "--work") {
        if (v.empty())
            return std::string(name) + " wants a path";
        (name == "--output" ? o.output : o.work) = v;
    } else if (name == "--jobs") {
        const std::optional<int> n = wholeNumber(v, kMaxJobs);
        if (!n || *n == 0)
            return "--jobs wants a number from 1 to " + std::to_string(kMaxJobs);
        o.jobs = *n;
    } else if (name == "--rewrite-flags") {
        if (v == "pulldown")
            o.rewriteFlags = media::mpeg::FlagMode::SoftPulldown;
        else if (v == "progressive")
            o.rewriteFlags = media::mpeg::FlagMode::ProgressiveOnly;
        else
            return "--rewrite-flags wants pulldown or progressive";
    } else if (name == "--chapters") {
        const std::optional<int> n = wholeNumber(v, kMaxChapterMinutes);
        if (!n)
            return "--chapters wants whole minutes from 0 to " + std::to_string(kMaxChapterMinutes);
        o.chapterMinutes = *n;
    }
    return {};
}

constexpr std::string_view kValued[] = {"--format", "--standard", "--disc",     "--output",
                                        "--work",   "--jobs",     "--chapters", "--rewrite-flags"};

} // namespace

ParsedDiscArguments parseDiscArguments(std::span<const std::string_view> args) {
    ParsedDiscArguments parsed;
    DiscOptions& o = parsed.options;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (optionsEnd || a.empty() || a.front() != '-' || a == "-") {
            o.inputs.emplace_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        const std::size_t eq = a.find('=');
        const std::string_view name = a.substr(0, eq);
        if (std::find(std::begin(kValued), std::end(kValued), name) != std::end(kValued)) {
            std::string_view value;
            if (eq != std::string_view::npos) {
                value = a.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                parsed.error = std::string(name) + " wants a value";
                continue;
            }
            if (std::string why = take(o, name, value); !why.empty() && parsed.error.empty())
                parsed.error = std::move(why);
            continue;
        }
        if (a == "--keep")
            o.keep = true;
        else if (a == "--menu")
            o.menu = true;
        else if (a == "--split")
            o.split = true;
        else if (a == "--keep-going")
            o.keepGoing = true;
        else if (a == "--dry-run")
            o.dryRun = true;
        else if (a == "--json")
            o.json = true;
        else if (a == "--help" || a == "-h")
            o.help = true;
        else if (a == "--version")
            o.version = true;
        else if (parsed.error.empty())
            parsed.error = "unknown option " + std::string(name);
    }
    if (o.help || o.version)
        parsed.error.clear();
    else if (parsed.error.empty() && o.inputs.empty())
        parsed.error = "no video files given";
    else if (parsed.error.empty() && o.rewriteFlags && o.inputs.size() != 1)
        parsed.error = "--rewrite-flags takes one MPEG-2 video stream";
    else if (o.menu && o.format != disc::Format::Dvd)
        parsed.error = "--menu is for a DVD";
    else if (parsed.error.empty() && o.disc) {
        if (std::string why = disc::discRefusal(*o.disc, o.format); !why.empty())
            parsed.error = why;
    }
    return parsed;
}

std::string imagePath(const DiscOptions& o) {
    const char* extension = o.format == disc::Format::Dvd ? ".iso" : ".cue";
    if (o.output.empty())
        return std::string("disc") + extension;
    std::filesystem::path p(o.output);
    // A CD's image is named by either of its files.
    if (o.format != disc::Format::Dvd && p.extension() == ".bin")
        p.replace_extension(extension);
    else if (p.extension() != extension)
        p += extension;
    return p.string();
}

std::string binPath(const std::string& image) {
    return std::filesystem::path(image).replace_extension(".bin").string();
}

std::string workFolder(const DiscOptions& o, const std::string& image) {
    if (!o.work.empty())
        return o.work;
    return std::filesystem::path(image).replace_extension(".work").string();
}

std::string cueNameProblem(const std::string& image) {
    const std::string name = std::filesystem::path(image).filename().string();
    for (const char c : name)
        if (c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "a CUE sheet cannot name a file with a '\"' or a control character: give "
                   "--output another name";
    return {};
}

std::string discHelpText() {
    return R"(Usage: quorvel-disc [OPTION]... FILE...
Encodes video files for a DVD, SVCD or VCD, authors the disc and writes its
image: an ISO for a DVD, a CUE sheet and its BIN for a VCD or SVCD. The image
is read back before it is called done.

  --format=FORMAT     dvd, svcd or vcd (default: dvd)
  --standard=STD      pal or ntsc (default: the standard of the larger share
                      of the running time; every input follows it)
  --disc=DISC         dvd5, dvd9, cd74, cd80 or a size such as 4480M
                      (default: dvd5 for a DVD, cd80 for a VCD or SVCD)
  --output=IMAGE      the image (default: disc.iso or disc.cue here)
  --work=DIR          the encoded streams and authoring files (default: the
                      image's name with .work); removed after success
  --keep              keep the work folder
  --jobs=N            encodes at a time (default: the cores)
  --chapters=MIN      a chapter every MIN minutes on a DVD (default: 5;
                      0: none), besides the file's own chapter marks
  --menu              a DVD title menu: a button a title, with its file name
                      (without it the disc starts the first title)
  --split             a batch that needs more discs goes on several images
                      (IMAGE-1, IMAGE-2 ...): whole inputs, in order, and
                      an input longer than a disc cut into equal parts
  --keep-going        go on without inputs that cannot be read
  --dry-run           show the plan; encode nothing
  --json              events as JSON lines
  --rewrite-flags=MODE FILE
                      only rewrite an MPEG-2 video stream's flags in place,
                      as the encodes do: pulldown (film at 23.976 shown at
                      29.97) or progressive (a DVD's progressive frames)
  -h, --help          this text
      --version       the version

A stopped run resumes: run it again and the encodes that finished are kept.

Exit status:
  0  the image is written and reads back as planned
  1  it could not be made (the reason is on standard error)
  2  a mistake in the command line
  3  a program it needs is missing (the message names its Debian package)
  130 stopped (Ctrl-C)
)";
}

} // namespace quorvel::make
