#pragma once

// The ffmpeg command that makes one input a stream the disc authoring tools
// take: its argument vector, exact to the byte, and the same as one line for a
// POSIX shell.

#include "disc/budget.h"
#include "disc/rate_plan.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::disc {

// A part of the input, in its own time: ffmpeg's -ss and -t.
struct Clip {
    std::uint64_t startMs = 0;
    std::uint64_t lengthMs = 0;
};

struct CommandInput {
    std::string inputPath; // as given: any bytes
    std::string outputDir; // empty: the current folder
    std::string output;    // the file to write; empty: outputPath's
    Format format = Format::Dvd;
    Standard standard = Standard::Pal;
    FrameSize tv;      // the disc's frame
    FrameSize movie;   // the picture inside it, centred
    bool wide = false; // 16:9, else 4:3
    // The disc pixel the sizes were fitted with; none: the frame's at its aspect.
    std::optional<Fraction> pixel;
    // What of the coded picture is picture, as the file says, and the file's
    // clockwise turn. ffmpeg turns the picture before the filters see it, so the
    // crop is turned with it.
    std::optional<media::Crop> crop;
    int rotation = 0;
    // false: the source has no sound, and the command adds silence.
    std::optional<bool> hasAudio;
    RatePlan plan;
    std::optional<int> videoKbps; // the budget's rate; none: the format's usual
    std::optional<int> audioKbps; // none: the format's default
    std::optional<Clip> clip;     // none: the whole input
    // The stream's running time on the disc: silence added to a source
    // without sound lasts this long when the encode writes it alone.
    std::optional<std::uint64_t> runningMs;
    // Where a stream whose flags are rewritten is encoded to before mplex
    // makes `output` of it; empty: beside the output (streamPaths).
    std::string videoStream, audioStream;
    // The source's video stream goes onto the disc as it is (an MPEG-2 stream
    // a DVD takes); the sound is encoded. The plan's flags then check it.
    bool copyVideo = false;
};

// The elementary streams beside `output`: its name with .m2v, and .ac3 (DVD)
// or .mp2.
struct StreamPaths {
    std::string video, audio;
};
StreamPaths streamPaths(std::string_view output, Format format);

// After an encode into elementary streams: the video's flags rewritten in
// place, then mplex multiplexes both into the disc's file. mplex's own
// multiplex gives a DVD a navigation pack a GOP, which dvdauthor needs for
// seeking and chapters.
struct Remux {
    StreamPaths streams;
    media::mpeg::FlagMode flags = media::mpeg::FlagMode::ProgressiveOnly;
    std::vector<std::string> rewriteArgs; // quorvel-disc --rewrite-flags MODE VIDEO
    std::vector<std::string> mplexArgs;
};

struct FfmpegCommand {
    // The picture the command scales to: the input's movie, or for an
    // interlaced stream its height made a multiple of 4 (see buildCommand).
    FrameSize movie;
    std::string filter;            // the -vf chain
    std::vector<std::string> args; // "ffmpeg" first
    std::string command;           // args as one line for a POSIX shell (commandLine)
    std::string output;            // the file it writes, with remux's steps
    std::optional<Remux> remux;    // the steps after ffmpeg; none: it writes output
    // The steps after the command (remux's), each a POSIX shell line.
    std::vector<std::string> then() const;
    // Every step as a POSIX shell line, in order: command, then then().
    std::vector<std::string> lines() const;
};

struct CommandResult {
    std::optional<FfmpegCommand> command;
    std::string error; // a sentence when the inputs make no command
};

// Where the picture sits in the frame: centred, the odd column or line of
// border on the right and below. An interlaced stream's picture starts on a
// line that is a multiple of 4 and is a multiple of 4 high: in 4:2:0 a chroma
// line holds two luma lines of one field, so 2 lines off are 1 chroma line
// off, and the fields' colours swap.
struct Placement {
    FrameSize movie;
    int left = 0;
    int top = 0;
};
Placement placePicture(FrameSize tv, FrameSize movie, bool interlaced);

CommandResult buildCommand(const CommandInput& input);

// A first pass that measures what the input needs (disc::Need): the picture
// `made` makes of it, coded at kNeedQuantiser without sound into `output`.
std::vector<std::string> needArgs(const CommandInput& input, const FfmpegCommand& made,
                                  const std::string& output);

// The crop on the picture as ffmpeg shows it after turning it `rotation`
// degrees clockwise.
media::Crop turnedCrop(const media::Crop& crop, int rotation);

// The input's name with .mpg, in `outputDir` or the current folder. An input
// that is itself .mpg gets .disc.mpg, so that a command run beside its input
// never writes over it.
std::string outputPath(std::string_view inputPath, std::string_view outputDir);

// The names the flag rewrite takes (quorvel-disc --rewrite-flags NAME).
const char* flagModeName(media::mpeg::FlagMode mode);

// A path as mplex takes it for its output, which it reads as a printf
// pattern: each % doubled.
std::string mplexOutput(std::string_view path);
// A path as an argument of a program that would take "-x" for an option.
std::string plainPath(std::string_view path);

// A path as an ffmpeg argument: one that ffmpeg would take for an option
// ("-x.mkv") or a protocol ("a:b.mkv") is given as file:PATH.
std::string ffmpegPath(std::string_view path);

// One argument for a POSIX shell: as it is when it holds only characters no
// shell treats specially, else in single quotes, each ' written as '\''. Any
// other byte, a newline or one that is not UTF-8, stays itself inside them.
std::string shellQuote(std::string_view arg);
std::string shellLine(const std::vector<std::string>& args);
// shellLine's line when every byte of it is printable UTF-8. Otherwise a line
// that stays on one line and is valid UTF-8 (so it prints and goes into JSON
// as it is) and still runs exactly `args`: eval "$(printf '...')", the line
// written as printf's format with every other byte in octal.
std::string commandLine(const std::vector<std::string>& args);

} // namespace quorvel::disc
