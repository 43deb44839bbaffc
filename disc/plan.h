#pragma once

// The one plan of a batch: for every input its targets (sizes, rate plan,
// stream rates and ffmpeg command) and, for a disc, the budget. Every disc
// decision is made here, once; the fronts read their options into a
// PlanRequest, their files into PlanSources, and print or drive the Plan.

#include "disc/budget.h"
#include "disc/ffmpeg_command.h"
#include "disc/rate_plan.h"
#include "disc/targets.h"
#include "source/rate.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace quorvel::disc {

struct PlanRequest {
    std::vector<Format> formats{Format::Dvd}; // in the order they are printed
    std::optional<Standard> standard;         // none: from the sources
    Shape shape;
    bool commands = false;          // an ffmpeg command for each file's target
    std::string outputDir;          // where the commands write; empty: here
    std::optional<DiscChoice> disc; // the batch goes on discs of this size
    std::optional<int> audioKbps;   // none: the format's default
};

// One input as the plan sees it.
struct PlanSource {
    std::string name;      // the path, or the size as typed
    bool file = false;     // a typed size has no file, so no command
    bool readable = true;  // a file that could not be read has no targets
    std::string widthText; // the coded sides, read as the window reads them
    std::string heightText;
    SourceShape shape;               // pixel, turn and crop as the picture shows
    std::optional<media::Crop> crop; // the file's crop, for the command
    SourceTiming timing;
    SourceAudio audio;
    std::optional<std::uint64_t> durationMs;
    // The rate as the header gives it, for the standard; fps when den is not 0.
    std::optional<Fraction> rate;
    std::optional<double> fps;
    std::optional<RateClass> rateClass;
    // A part of the file only (a long input cut over discs): from startMs,
    // durationMs long.
    std::optional<std::uint64_t> startMs;
    // The file's own chapter starts, in its running time.
    std::vector<std::uint64_t> chaptersMs;
    // An MPEG-2 video file, which a DVD may take as it is: its coded frame,
    // the most its video says it carries, and the file's bytes.
    struct Mpeg2 {
        FrameSize frame;
        std::uint64_t peakBitsPerSecond = 0;
        std::uint64_t fileBytes = 0;
    };
    std::optional<Mpeg2> mpeg2;
};

// The rates one target's stream is encoded at.
struct StreamRates {
    Audio audio;
    int videoKbps = 0;
    int peakKbps = 0;
    bool fromBudget = false; // the video rate fills the batch's disc
};

// A target's sizes and what the disc makes of them.
struct TargetPlan : TargetSizes {
    TargetPlan(const TargetSizes& sizes = {}) : TargetSizes(sizes) {}
    std::optional<RatePlan> rate;         // for a file
    std::optional<StreamRates> streams;   // none when the audio rate is not legal
    std::optional<CommandResult> command; // asked for, for a file with a disc aspect
    // What the command was built from: a front that runs it may build it again
    // to write elsewhere, or at a lower rate that fits the disc.
    std::optional<CommandInput> commandInput;
    std::optional<std::string> filter; // a typed size's scale, pad and setsar
    // Why the source's video goes onto the disc as it is; empty: encoded.
    std::string copied;
};

struct InputPlan {
    Standard standard = Standard::Ntsc;
    std::vector<TargetPlan> targets;
    ResizeError refused = ResizeError::None; // the sides were refused: no targets
};

struct BatchBudget {
    BudgetRequest request;
    Budget budget;
};

struct Plan {
    std::vector<InputPlan> inputs;     // one per source, in order
    std::optional<BatchBudget> budget; // with a disc
};

// The files one run writes: each distinct from the others and from every
// input, compared by real path (links and dots resolved), so that no command
// writes over an input or another command's output.
class OutputNames {
public:
    using RealPath = std::function<std::string(const std::string&)>;
    // The real path of a file that may not exist yet; by default the file
    // system's.
    explicit OutputNames(RealPath realPath = {});
    void addInput(const std::string& path);
    // `wanted`, or with -2, -3 ... before its extension, the first name that is
    // neither an input nor claimed before.
    std::string claim(const std::string& wanted);

private:
    RealPath realPath_;
    std::set<std::string> inputs_;
    std::set<std::string> claimed_;
};

// `names` keeps the outputs of several plans of one run apart; none: this
// plan's alone.
Plan makePlan(const PlanRequest& request, std::span<const PlanSource> sources,
              OutputNames* names = nullptr);

// The standard a source asks for alone: by its rate (within a fifth of a
// frame per second of 25 or 50), NTSC when unknown; with square pixels by the
// window's rate class.
Standard sourceStandard(const PlanSource& source, PixelShape par);

// The format and video rate the stream rates are reckoned from; none when
// the audio rate is not one of the format's.
std::optional<StreamRates> streamRates(Format format, std::optional<int> budgetKbps,
                                       std::optional<int> audioKbps);

// Why the source's video goes onto a DVD as it is, or empty: an MPEG-2
// stream in the disc's frame, at the disc's rate and aspect with nothing to
// crop, turn or cut, that states a peak within the DVD's and whose average
// (sound and all) is within `budgetKbps` and the audio's, when a disc is
// planned.
std::string copyReason(const PlanSource& source, const TargetPlan& target,
                       std::optional<int> budgetKbps);

// "scale=W:H,pad=TW:TH:X:Y,setsar=N/D", or none when the Movie has a side
// that is not positive, or for square pixels, which give a disc no aspect.
std::optional<std::string> pictureFilter(const TargetSizes& t);

} // namespace quorvel::disc
