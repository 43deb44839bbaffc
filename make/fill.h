#pragma once

// What a planned batch makes of its disc, in the words quorvel-disc and the
// disc window show: how full, at what video rate, on how many discs.
// Platform-free.

#include "disc/plan.h"

#include <string>
#include <vector>

namespace quorvel::make {

struct DiscFill {
    bool planned = false; // a budget with a running time to fill
    int percent = 0;      // of one disc, rounded up; over 100 when it does not fit
    int discsNeeded = 1;
    int videoKbps = 0;
    bool fits() const { return planned && discsNeeded == 1; }
    // "74% of a DVD-5, video 5,210 kbit/s", "212% of a DVD-5: needs 3 discs",
    // or why there is no plan.
    std::string text;
};
DiscFill discFill(const disc::Plan& plan);

// Why an input has no ffmpeg command, "name: reason"; empty when every one has.
std::string unplanned(const disc::Plan& plan, const std::vector<std::string>& names);

} // namespace quorvel::make
