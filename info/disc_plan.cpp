#include "info/disc_plan.h"

#include "info/report.h"

#include <nlohmann/json.hpp>

namespace quorvel::info {

disc::Format discFormat(int format) {
    switch (format) {
    case kFormatVcd:
        return disc::Format::Vcd;
    case kFormatSvcd:
        return disc::Format::Svcd;
    default:
        return disc::Format::Dvd;
    }
}

disc::Standard discStandard(bool pal) {
    return pal ? disc::Standard::Pal : disc::Standard::Ntsc;
}

disc::RatePlan ratePlanFor(const DiscFacts& facts, const TargetSizes& t) {
    return disc::planRate(facts.timing, discFormat(t.format), discStandard(t.pal));
}

std::optional<TargetCommand> commandFor(const std::string& path, const DiscFacts& facts,
                                        const std::optional<media::Crop>& crop, int rotation,
                                        const TargetSizes& t, const Options& o) {
    if (!t.aspect)
        return std::nullopt; // square pixels: a disc has no such frame
    disc::CommandInput in;
    in.inputPath = path;
    in.outputDir = o.outputDir;
    in.format = discFormat(t.format);
    in.standard = discStandard(t.pal);
    in.tv = t.tv;
    in.movie = t.movie;
    in.wide = t.aspect == DisplayAspect::Wide;
    in.crop = crop;
    in.rotation = rotation;
    in.plan = ratePlanFor(facts, t);
    in.videoKbps = facts.videoKbps;
    in.audioKbps = o.audioKbps;
    return TargetCommand{in.plan, disc::buildCommand(in)};
}

BatchBudget planBatch(std::vector<Report>& reports, const Options& o) {
    BatchBudget b;
    disc::BudgetRequest& q = b.request;
    q.format = o.format == FormatChoice::Vcd    ? disc::Format::Vcd
               : o.format == FormatChoice::Svcd ? disc::Format::Svcd
                                                : disc::Format::Dvd;
    // One standard for the disc: the one asked for, else the first input's.
    q.standard = o.standard == StandardChoice::Pal ? disc::Standard::Pal : disc::Standard::Ntsc;
    if (o.standard == StandardChoice::Auto)
        for (const Report& r : reports)
            if (!r.targets.empty()) {
                q.standard = discStandard(r.targets.front().pal);
                break;
            }
    q.disc = o.disc.value_or(disc::DiscChoice{});
    q.audioKbps = o.audioKbps.value_or(0);
    q.dvdWidth = o.dvdWidth;
    for (const Report& r : reports) {
        disc::BudgetInput in;
        in.name = r.name;
        // A file that could not be read has no running time: the budget says so.
        if (r.ok() && r.kind == InputItem::File && !r.targets.empty()) {
            in.durationMs = r.discFacts.durationMs;
            in.speed = ratePlanFor(r.discFacts, r.targets.front()).speed;
        }
        q.inputs.push_back(std::move(in));
    }
    b.budget = disc::planBudget(q);
    for (const disc::DiscPlan& d : b.budget.discs)
        if (d.planned && d.discsNeeded == 1 && d.videoKbps > 0)
            for (const std::size_t i : d.inputs)
                reports[i].discFacts.videoKbps = d.videoKbps;
    return b;
}

std::string budgetText(const BatchBudget& b) {
    const std::size_t n = b.request.inputs.size();
    std::string out = "budget: " + std::to_string(n) + (n == 1 ? " input as " : " inputs as ") +
                      disc::aFormat(b.request.format) + " " +
                      disc::standardName(b.request.standard) + "\n";
    for (const std::string& line : disc::describeBudget(b.budget, b.request, textEscaped))
        out += line + "\n";
    return out;
}

std::string budgetJson(const BatchBudget& b) {
    const disc::BudgetRequest& q = b.request;
    const auto names = [&q](const std::vector<std::size_t>& indices) {
        Json list = Json::array();
        for (const std::size_t i : indices)
            list.push_back(validUtf8(q.inputs[i].name));
        return list;
    };
    const auto capName = [](disc::Cap c) -> Json {
        switch (c) {
        case disc::Cap::Constant:
            return "constant";
        case disc::Cap::VideoLimit:
            return "video";
        case disc::Cap::StreamsLimit:
            return "streams";
        case disc::Cap::MuxLimit:
            return "mux";
        case disc::Cap::None:
            break;
        }
        return nullptr;
    };
    Json j;
    j["format"] = disc::formatName(q.format);
    j["standard"] = disc::standardName(q.standard);
    const bool each = q.disc.kind == disc::DiscChoice::Kind::Each;
    j["disc"] = disc::discName(each ? disc::usualDisc(q.format) : q.disc, q.format);
    j["each"] = each;
    const disc::AudioResult audio =
        disc::audioFor(q.format, q.audioKbps ? std::optional<int>(q.audioKbps) : std::nullopt);
    j["audio_kbps"] = audio.audio ? Json(audio.audio->kbps) : Json();
    j["dvd_width"] = q.dvdWidth;
    j["discs"] = Json::array();
    for (const disc::DiscPlan& d : b.budget.discs) {
        Json p;
        p["inputs"] = names(d.inputs);
        p["planned"] = d.planned;
        p["running_ms"] = d.runningMs;
        p["capacity_bytes"] = d.capacityBytes;
        p["usable_bytes"] = d.usableBytes;
        p["video_kbps"] = d.videoKbps;
        p["peak_kbps"] = d.peakKbps;
        p["cap"] = capName(d.cap);
        p["leftover_bytes"] = d.leftoverBytes;
        p["fits"] = d.planned && d.discsNeeded == 1;
        p["discs_needed"] = d.discsNeeded;
        p["fit_ms"] = q.format == disc::Format::Vcd ? Json(d.fitMs) : Json();
        p["half_width"] = d.halfWidthFrame ? Json{{"width", d.halfWidthFrame->width},
                                                  {"height", d.halfWidthFrame->height}}
                                           : Json();
        j["discs"].push_back(std::move(p));
    }
    j["without_time"] = names(b.budget.withoutTime);
    j["error"] = b.budget.ok() ? Json() : Json(b.budget.error);
    Json line;
    line["schema"] = kJsonSchema;
    line["budget"] = std::move(j);
    return dumpJson(line) + "\n";
}

std::string portableShellLine(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        if (validUtf8(arg) == arg) {
            line += disc::shellQuote(arg);
            continue;
        }
        // Runs of text quoted as usual, each other byte from printf; one word.
        std::string_view rest = arg;
        std::string run;
        const auto flush = [&] {
            if (!run.empty())
                line += disc::shellQuote(run);
            run.clear();
        };
        while (!rest.empty()) {
            // The character at the front: the shortest prefix that is valid.
            std::size_t n = 1;
            while (n <= 4 && n <= rest.size() && validUtf8(rest.substr(0, n)) != rest.substr(0, n))
                ++n;
            if (n <= 4 && n <= rest.size()) {
                run += rest.substr(0, n);
                rest.remove_prefix(n);
                continue;
            }
            flush();
            const auto c = static_cast<unsigned char>(rest.front());
            const char octal[] = {'\\', static_cast<char>('0' + (c >> 6)),
                                  static_cast<char>('0' + ((c >> 3) & 7)),
                                  static_cast<char>('0' + (c & 7)), 0};
            line += std::string("\"$(printf '") + octal + "')\"";
            rest.remove_prefix(1);
        }
        flush();
    }
    return line;
}

} // namespace quorvel::info
