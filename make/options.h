#pragma once

// The command line of quorvel-disc, read into a plain struct; a bad one comes
// back as a sentence.

#include "disc/budget.h"
#include "disc/disc.h"
#include "source/media/mpeg_flags.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::make {

// No machine this runs on has more cores to give ffmpeg than this.
inline constexpr int kMaxJobs = 64;
// A chapter every 2 hours at most: a title's chapters are then just its start.
inline constexpr int kMaxChapterMinutes = 120;

struct DiscOptions {
    disc::Format format = disc::Format::Dvd;
    std::optional<disc::Standard> standard; // none: the larger share of the running time
    std::optional<disc::DiscChoice> disc;   // none: the format's usual disc
    std::string output;                     // none given: disc.iso or disc.cue
    std::string work;                       // none given: beside the image
    int jobs = 0;                           // 0: what the cores allow
    int chapterMinutes = 5;                 // 0: one chapter a title
    bool keep = false;
    bool menu = false;
    bool split = false; // a batch over one disc goes on several
    bool keepGoing = false;
    bool dryRun = false;
    bool json = false;
    bool help = false;
    bool version = false;
    // Rewrites one MPEG-2 video stream's flags, as the encodes' printed
    // steps do, and nothing else.
    std::optional<media::mpeg::FlagMode> rewriteFlags;
    std::vector<std::string> inputs;
};

struct ParsedDiscArguments {
    DiscOptions options;
    std::string error;
    bool ok() const { return error.empty(); }
};

// `args` excludes the program name.
ParsedDiscArguments parseDiscArguments(std::span<const std::string_view> args);

// The image's path: --output with .iso (DVD) or .cue (VCD, SVCD) added when
// it has another extension or none (a CD's .bin becomes .cue); disc.iso or
// disc.cue without it.
std::string imagePath(const DiscOptions& o);
// A CD image's BIN, beside its CUE sheet.
std::string binPath(const std::string& image);
// The work folder: --work, else the image's path without its extension and
// with ".work".
std::string workFolder(const DiscOptions& o, const std::string& image);
// Why a CUE sheet cannot name this image's BIN (a '"' or a control byte in
// its file name); empty when it can.
std::string cueNameProblem(const std::string& image);

std::string discHelpText();

} // namespace quorvel::make
