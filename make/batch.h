#pragma once

// A batch as quorvel-disc and the disc window take it: each file read as
// quorvel-info reads it, and the request for the plan of a disc that
// `quorvel-info --disc --ffmpeg` would make.

#include "disc/plan.h"

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

} // namespace quorvel::make
