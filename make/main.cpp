// quorvel-disc: video files to a disc image that plays. Reading, planning and
// the engine live in info/, disc/ and make/; this is the process: options,
// the progress display and Ctrl-C.
#include "info/report.h"
#include "make/batch.h"
#include "make/engine.h"
#include "make/fill.h"
#include "make/options.h"
#include "source/media/mpeg_flags.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace quorvel;
using Json = nlohmann::ordered_json;
constexpr const char* kProgram = "quorvel-disc";
// How often a plain (not a terminal) output prints the totals.
constexpr std::uint64_t kPlainEveryMs = 5000;
// How often a terminal's lines are redrawn.
constexpr std::uint64_t kRedrawEveryMs = 200;

std::atomic<bool> stopAsked{false};

extern "C" void onSignal(int) {
    stopAsked = true;
}

void put(std::FILE* f, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
}

void complain(std::string_view text) {
    put(stderr, std::string(kProgram) + ": " + std::string(text) + "\n");
}

std::string shown(const std::string& path) {
    return info::textEscaped(std::filesystem::path(path).filename().string());
}

// JSON text for any bytes: a name that is not UTF-8 is replaced where it is not.
std::string dump(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

// Shows the engine's events: JSON lines, a terminal's lines redrawn in place,
// or for a log a line a step and the totals every few seconds.
class Display {
public:
    Display(bool json, std::vector<std::string> names, const make::Engine*& engine)
        : json_(json), tty_(!json && ::isatty(1)), names_(std::move(names)), engine_(engine) {}

    void operator()(const make::Event& e) {
        using Kind = make::Event::Kind;
        if (json_) {
            jsonEvent(e);
            return;
        }
        switch (e.kind) {
        case Kind::Progress:
            progress(false);
            return;
        case Kind::Encoded:
            if (tty_)
                progress(true);
            else
                line("encoded " + title(e.input) + (e.kept ? ": kept from an earlier run" : ""));
            return;
        case Kind::Fit:
            endLines();
            line(make::fitText(e.text, e.fits));
            return;
        case Kind::Refit:
            line("encoding " + title(e.input) + " again at " + std::to_string(e.kbps) +
                 " kbit/s to fit");
            drawn_ = 0;
            return;
        case Kind::Share:
            line(make::shareText(title(e.input), e.kbps));
            drawn_ = 0;
            return;
        case Kind::Step:
            endLines();
            line(make::stepText(e.text));
            return;
        case Kind::Done:
            line("done: " + info::textEscaped(e.text) + ", " + std::to_string(e.titles.size()) +
                 (e.titles.size() == 1 ? " title, " : " titles, ") + engine_->fit().fillText() +
                 "% of the disc");
            return;
        case Kind::Error:
            endLines();
            complain(e.text);
            return;
        }
    }

private:
    std::string title(int i) const {
        return std::to_string(i + 1) + "/" + std::to_string(names_.size()) + " " +
               names_[static_cast<std::size_t>(i)];
    }

    void line(const std::string& text) { put(stdout, text + "\n"); }

    // "[#########-----------]  45%"
    static std::string bar(int percent) {
        constexpr int kWidth = 20;
        const auto filled = static_cast<std::size_t>(percent * kWidth / 100);
        std::string pct = std::to_string(percent) + "%";
        // Appended piece by piece: GCC 12 takes a prepend for an overlapping copy.
        std::string text = "[";
        text.append(filled, '#');
        text.append(kWidth - filled, '-');
        text += "] ";
        text.append(4 - std::min<std::size_t>(4, pct.size()), ' ');
        text += pct;
        return text;
    }

    // A terminal's progress lines stay where they are once encoding ends.
    void endLines() {
        if (tty_ && drawn_ > 0)
            progress(true);
        drawn_ = 0;
    }

    void progress(bool force) {
        const std::uint64_t now = engine_->elapsedMs();
        const auto& jobs = engine_->jobs();
        const make::Totals t = make::totals(jobs, now);
        std::string total =
            (tty_ ? bar(t.percent) + " total, " : "total " + std::to_string(t.percent) + "%, ") +
            make::clockText(now) + " elapsed" +
            (t.remainingMs ? ", about " + make::clockText(*t.remainingMs) + " left"
                           : std::string());
        if (!tty_) {
            if (force || now >= lastMs_ + kPlainEveryMs) {
                lastMs_ = now;
                line("encoding: " + total);
            }
            return;
        }
        if (!force && drawn_ > 0 && now < lastMs_ + kRedrawEveryMs)
            return;
        lastMs_ = now;
        std::string text;
        if (drawn_ > 0)
            text += "\x1b[" + std::to_string(drawn_) + "F";
        for (std::size_t i = 0; i < jobs.size(); ++i)
            text +=
                "\x1b[2K" + bar(make::percentOf(jobs[i])) + " " + title(static_cast<int>(i)) + "\n";
        text += "\x1b[2K" + total + "\n";
        drawn_ = static_cast<int>(jobs.size()) + 1;
        put(stdout, text);
    }

    void jsonEvent(const make::Event& e) {
        using Kind = make::Event::Kind;
        Json j;
        switch (e.kind) {
        case Kind::Progress: {
            const std::uint64_t now = engine_->elapsedMs();
            if (now < lastMs_ + kRedrawEveryMs)
                return;
            lastMs_ = now;
            const make::Totals t = make::totals(engine_->jobs(), now);
            j["event"] = "progress";
            j["input"] = e.input;
            j["percent"] = make::percentOf(engine_->jobs()[static_cast<std::size_t>(e.input)]);
            j["total_percent"] = t.percent;
            j["elapsed_ms"] = now;
            j["remaining_ms"] = t.remainingMs ? Json(*t.remainingMs) : Json(nullptr);
            break;
        }
        case Kind::Encoded:
            j = {{"event", "encoded"}, {"input", e.input}, {"kept", e.kept}};
            break;
        case Kind::Fit:
            j = {{"event", "fit"}, {"fill_percent", e.text}, {"fits", e.fits}};
            break;
        case Kind::Refit:
            j = {{"event", "refit"}, {"input", e.input}, {"video_kbps", e.kbps}};
            break;
        case Kind::Share:
            j = {{"event", "share"}, {"input", e.input}, {"video_kbps", e.kbps}};
            break;
        case Kind::Step:
            j = {{"event", "step"}, {"step", e.text}};
            break;
        case Kind::Done: {
            j = {{"event", "done"}, {"image", e.text}, {"fill_percent", engine_->fit().fillText()}};
            Json titles = Json::array();
            for (std::size_t i = 0; i < e.titles.size(); ++i)
                titles.push_back({{"title", i + 1},
                                  {"titleset", e.titles[i].titleSet},
                                  {"aspect", e.titles[i].wide ? "16:9" : "4:3"},
                                  {"running_ms", e.titles[i].runningMs},
                                  {"chapters", e.titles[i].chapters}});
            j["titles"] = titles;
            break;
        }
        case Kind::Error:
            j = {{"event", "error"}, {"message", e.text}};
            complain(e.text);
            break;
        }
        put(stdout, dump(j));
    }

    bool json_;
    bool tty_;
    std::vector<std::string> names_;
    const make::Engine*& engine_;
    std::uint64_t lastMs_ = 0;
    int drawn_ = 0;
};

struct Batch {
    std::vector<disc::PlanSource> sources;
    std::vector<std::string> names;
};

// The n-th image of a set: holiday.iso gives holiday-2.iso.
std::string numbered(const std::string& image, std::size_t n) {
    std::filesystem::path p(image);
    const std::string extension = p.extension().string();
    p.replace_extension();
    return p.string() + "-" + std::to_string(n) + extension;
}

// --work for the n-th disc of a set: a folder of its own inside it.
make::DiscOptions withWork(make::DiscOptions o, std::size_t n) {
    o.work = (std::filesystem::path(o.work) / ("disc-" + std::to_string(n))).string();
    return o;
}

// Shows the plan of one disc and, unless it is a dry run, makes it.
int makeOne(const make::DiscOptions& o, const disc::PlanRequest& planRequest,
            const disc::Plan& plan, const Batch& batch, const std::string& image,
            const std::string& work) {
    const std::vector<disc::PlanSource>& sources = batch.sources;
    const std::vector<std::string>& names = batch.names;
    const disc::DiscChoice discChoice = planRequest.disc.value_or(disc::usualDisc(o.format));
    make::MakeRequest request = make::makeRequest(o, planRequest, sources, image, work);

    const make::Engine* shownEngine = nullptr;
    Display display(o.json, names, shownEngine);
    make::Engine engine(std::move(request), plan, [&](const make::Event& e) { display(e); });
    shownEngine = &engine;
    // The plan, as quorvel-info --disc --ffmpeg gives it.
    if (o.json) {
        Json inputs = Json::array();
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const disc::TargetPlan& t = plan.inputs[i].targets.front();
            // The file's own name, not the text form's escaped one.
            inputs.push_back(
                {{"name", std::filesystem::path(sources[i].name).filename().string()},
                 {"start_ms", sources[i].startMs ? Json(*sources[i].startMs) : Json(nullptr)},
                 {"frame", std::to_string(t.tv.width) + "x" + std::to_string(t.tv.height)},
                 {"aspect", t.aspect == disc::DisplayAspect::Wide ? "16:9" : "4:3"},
                 {"video_kbps", t.streams->videoKbps},
                 {"note", t.rate->note},
                 {"command", engine.commandLine(i)}});
        }
        put(stdout, dump({{"event", "plan"},
                          {"format", disc::formatName(o.format)},
                          {"standard", disc::standardName(plan.inputs.front().standard)},
                          {"image", image},
                          {"inputs", inputs}}));
    } else {
        put(stdout, std::string(disc::formatName(o.format)) + " " +
                        disc::standardName(plan.inputs.front().standard) + ", " +
                        disc::discName(discChoice, o.format) + ", " +
                        std::to_string(sources.size()) +
                        (sources.size() == 1 ? " title:\n" : " titles:\n"));
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const disc::TargetPlan& t = plan.inputs[i].targets.front();
            put(stdout, "  " + std::to_string(i + 1) + " " + names[i] + ": " +
                            std::to_string(t.movie.width) + "x" + std::to_string(t.movie.height) +
                            " in " + std::to_string(t.tv.width) + "x" +
                            std::to_string(t.tv.height) +
                            (t.aspect == disc::DisplayAspect::Wide ? " 16:9" : " 4:3") + ", " +
                            std::to_string(t.streams->videoKbps) + " kbit/s" +
                            (t.rate->note.empty() ? "" : "; " + t.rate->note) + "\n");
            if (o.dryRun) {
                std::string lines = engine.commandLine(i);
                for (std::size_t nl = lines.find('\n'); nl != std::string::npos;
                     nl = lines.find('\n', nl + 5))
                    lines.replace(nl, 1, "\n    ");
                put(stdout, "    " + lines + "\n");
            }
        }
    }
    if (o.dryRun)
        return 0;

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const int status = engine.run(stopAsked);
    if (status == 130)
        complain("stopped; run the same command again to go on");
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const make::ParsedDiscArguments parsed = make::parseDiscArguments(args);
    if (!parsed.ok()) {
        complain(parsed.error + "\nTry 'quorvel-disc --help'.");
        return 2;
    }
    const make::DiscOptions& o = parsed.options;
    if (o.help || o.version) {
        put(stdout, o.help ? make::discHelpText() : "quorvel-disc " QUORVEL_VERSION "\n");
        return 0;
    }
    if (o.rewriteFlags) {
        const auto done = media::mpeg::rewriteFlagsInFile(o.inputs.front(), *o.rewriteFlags);
        const std::string failure =
            done.ok() ? media::mpeg::endSequence(o.inputs.front()) : done.summary(*o.rewriteFlags);
        if (!failure.empty())
            return complain(info::textEscaped(o.inputs.front()) + ": " + failure), 1;
        put(stdout, done.summary(*o.rewriteFlags) + "\n");
        return 0;
    }
    const std::string image = make::imagePath(o);
    std::error_code ec;
    if (const std::string why = make::imageProblem(o, image); !why.empty())
        return complain(why), 2;
    if (!o.dryRun)
        if (const std::string missing = make::missingTools(o.format, o.menu); !missing.empty())
            return complain(missing), 3;

    // Read every input; one that cannot be read stops the run unless asked not to.
    std::vector<disc::PlanSource> sources;
    std::vector<std::string> names;
    bool unread = false;
    for (const std::string& input : o.inputs) {
        make::ReadInput read = make::readInput(input);
        if (!read.ok()) {
            complain(info::textEscaped(input) + ": " + read.error);
            unread = true;
            continue;
        }
        sources.push_back(std::move(read.source));
        names.push_back(shown(input));
    }
    if ((unread && !o.keepGoing) || sources.empty()) {
        if (unread && !o.keepGoing)
            complain("nothing encoded: give --keep-going to make the disc without these");
        return 1;
    }

    disc::PlanRequest request = make::discRequest(o.format, o.standard, o.disc);
    const disc::Plan plan = disc::makePlan(request, sources);
    if (const std::string why = make::unplanned(plan, names); !why.empty())
        return complain(why), 1;
    const disc::BatchBudget& budget = *plan.budget;
    if (!budget.budget.ok())
        return complain(budget.budget.error), 1;
    const int needed = budget.budget.discs.front().discsNeeded;
    if (needed == 1)
        return makeOne(o, request, plan, {sources, names}, image, make::workFolder(o, image));
    const std::string discs = disc::discName(budget.request.disc, o.format);
    if (!o.split)
        return complain("the inputs need " + std::to_string(needed) + " discs (" + discs +
                        "): give --split, fewer inputs or a bigger --disc"),
               1;

    // Every disc of the set in the standard the whole batch takes.
    request.standard = plan.inputs.front().standard;
    std::vector<disc::BudgetInput> times;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (!sources[i].durationMs)
            return complain(names[i] + ": its running time is unknown, so it cannot be split"), 1;
        times.push_back(
            {names[i], sources[i].durationMs, plan.inputs[i].targets.front().rate->speed});
    }
    const int audioKbps = plan.inputs.front().targets.front().streams->audio.kbps;
    const std::vector<disc::DiscPieces> set =
        disc::discSet(o.format, budget.request.disc, audioKbps, times);
    if (set.empty())
        return complain(disc::discName(budget.request.disc, o.format) + " holds no video"), 1;
    put(stdout, "the inputs go on " + std::to_string(set.size()) + " discs (" + discs + ")\n");
    for (std::size_t d = 0; d < set.size(); ++d) {
        Batch batch;
        for (const disc::Piece& piece : set[d]) {
            disc::PlanSource s = sources[piece.input];
            std::string name = names[piece.input];
            if (!piece.whole) {
                s.startMs = piece.startMs;
                s.durationMs = piece.lengthMs;
                name += " from " + disc::runningTimeText(piece.startMs);
            }
            batch.sources.push_back(std::move(s));
            batch.names.push_back(std::move(name));
        }
        const std::string one = numbered(image, d + 1);
        if (!o.dryRun && std::filesystem::exists(one, ec))
            return complain(info::textEscaped(one) + " exists: remove it or give another --output"),
                   2;
        const disc::Plan part = disc::makePlan(request, batch.sources);
        if (const std::string why = make::unplanned(part, batch.names); !why.empty())
            return complain(why), 1;
        if (const int status =
                makeOne(o, request, part, batch, one,
                        make::workFolder(o.work.empty() ? o : withWork(o, d + 1), one));
            status != 0)
            return status;
    }
    return 0;
}
