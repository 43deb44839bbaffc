#pragma once

// A batch as quorvel-disc and the disc window take it: each file read as
// quorvel-info reads it, and the request for the plan of a disc that
// `quorvel-info --disc --ffmpeg` would make.

#include "disc/plan.h"
#include "make/engine.h"
#include "make/options.h"

#include <optional>
#include <string>

namespace quorvel::make {

struct ReadInput {
    disc::PlanSource source; // readable unless `error` says
    std::string error;       // a sentence when the file cannot be read
    bool ok() const { return error.empty(); }
};
ReadInput readInput(const std::string& path);

// One format on one disc (none: the format's usual disc), the standard
// asked for or none.
disc::PlanRequest discRequest(disc::Format format, std::optional<disc::Standard> standard,
                              std::optional<disc::DiscChoice> disc);

// What the engine is asked to make of planned `sources`, with the options'
// jobs (0: the cores), chapters, keep and menu.
MakeRequest makeRequest(const DiscOptions& o, const disc::PlanRequest& plan,
                        std::vector<disc::PlanSource> sources, const std::string& image,
                        const std::string& work);

// Why the image cannot be written there: a CUE sheet that cannot name its
// BIN, an image (or its BIN) that would write over an input, or one that
// exists already (unless `dryRun`). Empty when it can.
std::string imageProblem(const DiscOptions& o, const std::string& image);

} // namespace quorvel::make
