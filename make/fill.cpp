#include "make/fill.h"

namespace quorvel::make {

namespace {

int percentOf(std::uint64_t used, std::uint64_t capacity) {
    return static_cast<int>((used * 100 + capacity - 1) / capacity);
}

} // namespace

DiscFill discFill(const disc::Plan& plan) {
    DiscFill fill;
    if (!plan.budget) {
        fill.text = "no disc planned";
        return fill;
    }
    const disc::BatchBudget& b = *plan.budget;
    if (!b.budget.ok()) {
        fill.text = b.budget.error;
        return fill;
    }
    const std::string disc = disc::discName(b.request.disc, b.request.format);
    const std::string ofDisc = "% of a " + disc;
    if (b.budget.discs.empty() || !b.budget.discs.front().planned || !b.budget.audio) {
        fill.text = "0" + ofDisc;
        return fill;
    }
    const disc::DiscPlan& d = b.budget.discs.front();
    fill.planned = true;
    fill.discsNeeded = d.discsNeeded;
    fill.videoKbps = d.videoKbps;
    if (d.capacityBytes == 0)
        return fill;
    if (d.discsNeeded == 1) {
        fill.percent = percentOf(d.capacityBytes - d.leftoverBytes, d.capacityBytes);
        fill.text = std::to_string(fill.percent) + ofDisc + ", video " +
                    disc::groupedNumber(static_cast<std::uint64_t>(d.videoKbps)) + " kbit/s";
        return fill;
    }
    // Over the disc: what the lowest rate worth a disc would take.
    const disc::Format f = b.request.format;
    const int floorKbps = f == disc::Format::Dvd    ? disc::kDvdFloorKbps
                          : f == disc::Format::Svcd ? disc::kSvcdFloorKbps
                                                    : disc::kVcdVideoKbps;
    const std::uint64_t used = disc::streamBytes(f, floorKbps + b.budget.audio->kbps, d.runningMs) +
                               (d.capacityBytes - d.usableBytes);
    fill.percent = percentOf(used, d.capacityBytes);
    fill.text = std::to_string(fill.percent) + ofDisc + ": needs " + std::to_string(d.discsNeeded) +
                " discs";
    return fill;
}

std::string unplanned(const disc::Plan& plan, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < plan.inputs.size() && i < names.size(); ++i) {
        const auto& targets = plan.inputs[i].targets;
        if (targets.empty() || !targets.front().command || !targets.front().command->command)
            return names[i] + ": " +
                   (!targets.empty() && targets.front().command ? targets.front().command->error
                                                                : "the picture has no disc size");
    }
    return {};
}

} // namespace quorvel::make
