#pragma once

// From a report to the disc: the rate plan and the whole ffmpeg command for
// each target, and the budget of a batch. Kept apart from the sizes so that
// each side reads on its own.

#include "disc/budget.h"
#include "disc/ffmpeg_command.h"
#include "disc/rate_plan.h"
#include "info/options.h"
#include "info/targets.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::info {

// What a file's reader said that the disc side needs.
struct DiscFacts {
    disc::SourceTiming timing;
    std::optional<std::uint64_t> durationMs;
    // The budget's video rate for this input, when its disc fits.
    std::optional<int> videoKbps;
};

disc::Format discFormat(int format);
disc::Standard discStandard(bool pal);

disc::RatePlan ratePlanFor(const DiscFacts& facts, const TargetSizes& t);

// The command for one file and target; none for square pixels.
struct TargetCommand {
    disc::RatePlan plan;
    disc::CommandResult result;
};
std::optional<TargetCommand> commandFor(const std::string& path, const DiscFacts& facts,
                                        const std::optional<media::Crop>& crop, int rotation,
                                        const TargetSizes& t, const Options& o);

struct Report;

// The budget of a batch: every report in order, with its running time on the
// disc (its duration over the rate plan's speed). Reports whose disc fits get
// that disc's video rate for their commands.
struct BatchBudget {
    disc::BudgetRequest request;
    disc::Budget budget;
};
BatchBudget planBatch(std::vector<Report>& reports, const Options& o);
// The budget after the reports: "budget:" and disc::describeBudget's lines.
std::string budgetText(const BatchBudget& b);
// One JSON line: {"schema": 3, "budget": {...}}.
std::string budgetJson(const BatchBudget& b);

// The command line with each byte that is not UTF-8 written as
// "$(printf '\ooo')": ASCII where the bytes are not text, so that a JSON
// string (which must be UTF-8) still runs exactly the argument vector.
std::string portableShellLine(const std::vector<std::string>& args);

} // namespace quorvel::info
