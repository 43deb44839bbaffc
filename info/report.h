#pragma once

// What quorvel-info knows about one input and what the plan made of it, and
// their text and JSON forms. Nothing here decides: it prints.

#include "disc/plan.h"
#include "info/options.h"
#include "source/media/media.h"
#include "source/rate.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::info {

struct RateInfo {
    std::int64_t num = 0; // the header's rate and scale, read as the window reads them
    std::int64_t den = 0;
    std::optional<double> fps; // none when den is 0
    bool variable = false;     // the file's rate is then the average
};

// What the container says beyond the window's numbers, and how the picture
// shows. A typed size has it only with --sar or --dar.
struct SourceDetails {
    std::optional<media::Container> container; // none for a typed size
    std::string codec;                         // empty when the file does not say
    std::optional<media::Fraction> sar;        // one (cropped) source pixel's width:height
    bool shapeGiven = false;                   // sar from --sar or --dar, not from the file
    int rotation = 0;                          // clockwise degrees
    std::optional<media::Crop> crop;           // only one that leaves a picture
    std::int64_t displayWidth = 0;             // after the crop, the pixel shape and the rotation
    std::int64_t displayHeight = 0;
    // What an encode needs beyond the sizes; none when the file does not say.
    std::optional<std::uint64_t> durationMs;
    std::optional<std::uint64_t> frames;
    std::optional<media::Scan> scan;
    std::optional<media::FieldOrder> fieldOrder;
    std::optional<bool> pulldown;
    std::optional<media::Fraction> filmRate; // the rate before pulldown
    // Not square pixels, turned or cropped: the picture is not its pixel counts.
    bool shaped() const {
        return (sar && !(sar->num == sar->den)) || rotation != 0 ||
               (crop && !(*crop == media::Crop{}));
    }
};

struct Report {
    InputItem::Kind kind = InputItem::File;
    std::string name; // the path, or the size as typed
    std::optional<std::int32_t> width;
    std::optional<std::int32_t> height;
    std::optional<RateInfo> rate;
    std::optional<RateClass> rateClass;
    std::optional<SourceDetails> source;   // for a file that was read
    std::vector<disc::TargetPlan> targets; // the plan's, once planned
    std::string error;                     // empty when the input was read and planned

    bool ok() const { return error.empty(); }
};

const char* rateClassName(RateClass c);

// The members' meaning: 2 since the sizes are the disc's by default, 3 since
// a target's ffmpeg is an object with the whole command.
inline constexpr int kJsonSchema = 3;

// The report as lines of text; the path's control bytes and backslashes are
// escaped C-style so that every report keeps to its lines.
std::string formatText(const Report& r, const Options& o);
// The report as one JSON object on one line, with the newline.
std::string formatJson(const Report& r, const Options& o);

// The budget after the reports: "budget:" and disc::describeBudget's lines,
// or one JSON line {"schema": 3, "budget": {...}}.
std::string budgetText(const disc::BatchBudget& b);
std::string budgetJson(const disc::BatchBudget& b);

std::string textEscaped(std::string_view bytes);

} // namespace quorvel::info
