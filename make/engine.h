#pragma once

// From planned inputs to a disc image: encode each input with ffmpeg (jobs at
// a time, resuming finished encodes), check that the streams fit and make
// the largest smaller while they do not, author (dvdauthor, or vcdimager's
// vcdxbuild), image (genisoimage for a DVD; vcdxbuild writes the CD's BIN and
// CUE) and read the image back with a reader of its own (lsdvd, vcd-info).
// Every disc decision comes from disc/: the plan, the layout, the fit.

#include "disc/authoring.h"
#include "disc/plan.h"
#include "make/progress.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::make {

// A program the engine runs, and the Debian package that has it.
struct Tool {
    const char* program;
    const char* package;
};
std::vector<Tool> toolsFor(disc::Format format, bool menu = false);
// "dvdauthor is needed: install the Debian package dvdauthor"; empty when
// every tool is on PATH.
std::string missingTools(disc::Format format, bool menu = false);

struct MakeRequest {
    disc::PlanRequest plan;                // one format; its disc
    std::vector<disc::PlanSource> sources; // readable files, in order
    std::string image;                     // the ISO, or the CUE with its BIN beside it
    std::string work;                      // the work folder
    int jobs = 1;
    std::uint64_t chapterMs = 5 * 60'000; // 0: one chapter a title
    bool keep = false;                    // the work folder stays
    // A DVD's title menu, a button a title with these names; none: the disc
    // starts the first title.
    bool menu = false;
    std::vector<std::string> titleNames;
};

// A title as the image holds it, read back by lsdvd or vcd-info.
struct ReadTitle {
    int titleSet = 0;
    bool wide = false;
    std::uint64_t runningMs = 0; // 0: unknown
    int chapters = 0;
};

struct Event {
    enum class Kind {
        Progress, // an encode moved on: see Engine::jobs()
        Encoded,  // input `input` is encoded (`kept`: by an earlier run)
        Fit,      // `text`: the streams' fill in percent; `fits`
        Refit,    // input `input` is encoded again at `kbps`
        Share,    // input `input` is encoded at `kbps`, its share of the disc by need
        Step,     // `text`: "measure", "menu", "author", "image" or "check"
        Done,     // `text`: the image; `titles`: as read back
        Error,    // `text`: a sentence
    };
    Kind kind = Kind::Progress;
    int input = -1;
    bool kept = false;
    bool fits = false;
    int kbps = 0;
    std::string text;
    std::vector<ReadTitle> titles;
};

class Engine {
public:
    using Listener = std::function<void(const Event&)>;
    Engine(MakeRequest request, disc::Plan plan, Listener listener);

    // Runs to the end: 0 done, 1 failed, 130 stopped by `stop`.
    int run(const std::atomic<bool>& stop);

    // The ffmpeg command that encodes input `i` into the work folder, as a
    // POSIX shell line, and the steps after it on lines of their own; empty
    // when the plan made none.
    std::string commandLine(std::size_t i) const;

    const std::vector<JobProgress>& jobs() const { return jobs_; }
    std::uint64_t elapsedMs() const;
    // The image's fill once the streams are known.
    const disc::Fit& fit() const { return fit_; }

private:
    struct Encode;
    // `need`: the first pass that measures what each input needs.
    bool encodeAll(const std::vector<std::size_t>& which, const std::atomic<bool>& stop,
                   bool need = false);
    // A full disc is shared by need: a first pass measures each input, and
    // each encode gets its share of what the finished ones left.
    bool sharesByNeed() const;
    void share(std::size_t input);
    std::string needPath(std::size_t i) const;
    bool copied(std::size_t i) const; // input i's video goes onto the disc as it is
    bool startEncode(Encode& e);
    // Multiplexes a remuxed encode, then checks and keeps the stream.
    bool finishEncode(Encode& e, const std::atomic<bool>& stop);
    // An unfinished encode's files; `stream`: the disc's stream too, else
    // only the elementary streams it was made of.
    void removeParts(const Encode& e, bool stream = true) const;
    bool fitDisc(const std::atomic<bool>& stop);
    // Each input as the disc holds it, for the layout and its check.
    std::vector<disc::DiscTitle> discTitles() const;
    bool makeMenu(const std::atomic<bool>& stop);
    bool author(const std::atomic<bool>& stop);
    bool image(const std::atomic<bool>& stop);
    bool check(const std::atomic<bool>& stop);
    // `input` and `output`: files for its standard input and output.
    bool runTool(std::vector<std::string> args, const std::string& dir,
                 const std::atomic<bool>& stop, std::string* out = nullptr,
                 const std::string& input = {}, const std::string& output = {});
    bool writeSpumux(const std::vector<disc::MenuButton>& buttons);
    bool fail(std::string sentence);
    std::string workPath(const std::string& name) const;
    std::string trackName(std::size_t i) const;
    std::optional<disc::CommandResult> command(std::size_t i) const;

    MakeRequest request_;
    disc::Plan plan_;
    Listener listener_;
    disc::Format format_ = disc::Format::Dvd;
    std::vector<JobProgress> jobs_;
    std::vector<int> videoKbps_;           // per input, lowered by a refit
    std::vector<std::uint64_t> runningMs_; // per input, on the disc
    std::vector<std::uint64_t> streamBytes_;
    std::vector<int> needKbps_; // per input, from the first pass; 0: not measured
    std::vector<bool> begun_;   // per input, its encode began
    bool sharing_ = false;
    disc::Fit fit_;
    bool stopped_ = false;
    std::chrono::steady_clock::time_point started_;
};

} // namespace quorvel::make
