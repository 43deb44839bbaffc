#include "disc/plan.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace quorvel::disc {

namespace {

// Rate terms up to this are compared exactly; all that 32-bit fields give.
constexpr std::int64_t kMaxExactRateTerm = std::int64_t{1} << 40;

// Within a fifth of a frame per second of 25 or 50 (a camcorder's 50 fps is
// PAL too); open at the ends, as the window's rate windows are.
bool nearPalRate(Fraction rate, std::optional<double> fps) {
    for (const std::int64_t reference : {25, 50}) {
        if (std::abs(rate.num) > kMaxExactRateTerm || std::abs(rate.den) > kMaxExactRateTerm) {
            if (fps && std::abs(*fps - static_cast<double>(reference)) < 0.2)
                return true;
            continue;
        }
        if (5 * std::abs(rate.num - reference * rate.den) < std::abs(rate.den))
            return true;
    }
    return false;
}

bool hasTime(const PlanSource& s) {
    return s.file && s.readable && s.durationMs.has_value();
}

// One disc holds one standard: the one asked for, else the one of the larger
// share of the running time; a tie, or no time at all, goes to the first
// readable input's.
Standard discStandard(const PlanRequest& q, std::span<const PlanSource> sources) {
    if (q.standard)
        return *q.standard;
    std::uint64_t palMs = 0, ntscMs = 0;
    std::optional<Standard> first;
    for (const PlanSource& s : sources) {
        if (!s.readable)
            continue;
        const Standard own = sourceStandard(s, q.shape.par);
        first = first.value_or(own);
        if (hasTime(s))
            (own == Standard::Pal ? palMs : ntscMs) += *s.durationMs;
    }
    if (palMs != ntscMs)
        return palMs > ntscMs ? Standard::Pal : Standard::Ntsc;
    return first.value_or(Standard::Ntsc);
}

InputPlan planSizes(const PlanRequest& q, const PlanSource& s, Standard standard) {
    InputPlan in;
    in.standard = standard;
    if (!s.readable)
        return in;
    for (const Format format : q.formats) {
        const TargetResult t =
            computeTarget(s.widthText, s.heightText, format, standard, q.shape, s.shape);
        if (!t.ok()) {
            in.targets.clear();
            in.refused = t.error;
            return in;
        }
        TargetPlan target(t.sizes);
        if (s.file) {
            target.rate = planRate(s.timing, format, standard, s.audio);
            // The Movie is what the command scales to: fields keep their colour.
            // Square pixels make no command and keep the window's Movie.
            if (target.aspect)
                target.movie = placePicture(target.tv, target.movie, target.rate->interlaced).movie;
        }
        in.targets.push_back(std::move(target));
    }
    return in;
}

Format budgetFormat(const PlanRequest& q) {
    return q.formats.size() == 1 ? q.formats.front() : Format::Dvd;
}

BatchBudget planDisc(const PlanRequest& q, std::span<const PlanSource> sources,
                     const std::vector<InputPlan>& inputs, Standard standard) {
    BatchBudget b;
    BudgetRequest& r = b.request;
    r.format = budgetFormat(q);
    r.standard = standard;
    r.disc = *q.disc;
    r.audioKbps = q.audioKbps.value_or(0);
    r.dvdWidth = q.shape.dvdWidth;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        BudgetInput in;
        in.name = sources[i].name;
        // A file that could not be read has no running time: the budget says so.
        if (hasTime(sources[i]) && !inputs[i].targets.empty()) {
            in.durationMs = sources[i].durationMs;
            in.speed = inputs[i].targets.front().rate->speed;
        }
        r.inputs.push_back(std::move(in));
    }
    b.budget = planBudget(r);
    return b;
}

std::string defaultRealPath(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path real = fs::weakly_canonical(fs::path(path), error);
    if (!error)
        return real.string();
    const fs::path absolute = fs::absolute(fs::path(path), error);
    return (error ? fs::path(path) : absolute).lexically_normal().string();
}

// name.mpg becomes name.dvd.mpg: with several formats each writes its own.
std::string withFormat(const std::string& path, Format f) {
    std::string suffix = formatName(f);
    for (char& c : suffix)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t dot = path.rfind('.');
    return path.substr(0, dot) + "." + suffix + path.substr(dot);
}

CommandInput commandInput(const PlanRequest& q, const PlanSource& s, const TargetPlan& t) {
    CommandInput in;
    in.inputPath = s.name;
    in.outputDir = q.outputDir;
    in.format = t.format;
    in.standard = t.standard;
    in.tv = t.tv;
    in.movie = t.movie;
    in.wide = t.aspect == DisplayAspect::Wide;
    in.pixel = t.pixelAspect;
    in.crop = s.crop;
    in.rotation = s.shape.rotation;
    in.hasAudio = s.audio.present;
    in.plan = *t.rate;
    in.videoKbps = t.streams->videoKbps;
    in.audioKbps = t.streams->audio.kbps;
    if (s.startMs && s.durationMs)
        in.clip = Clip{*s.startMs, *s.durationMs};
    if (s.durationMs)
        in.runningMs = discRunningMs(*s.durationMs, t.rate->speed);
    return in;
}

} // namespace

std::string copyReason(const PlanSource& s, const TargetPlan& t, std::optional<int> budgetKbps) {
    if (!s.mpeg2 || t.format != Format::Dvd || !t.rate || !t.streams || s.startMs || s.crop ||
        s.shape.rotation != 0 || !(s.mpeg2->frame == t.tv) || !(t.movie == t.tv))
        return {};
    const RatePlan& r = *t.rate;
    // Kept fields only name their order; a stream under pulldown flags shows
    // at NTSC's rate as it is.
    bool asIs = r.afterScale.empty() && !r.changesSpeed();
    for (const std::string& step : r.steps)
        asIs = asIs && step.starts_with("setfield=");
    if (r.row == Row::Pulldown)
        asIs = t.standard == Standard::Ntsc;
    const std::uint64_t peak = s.mpeg2->peakBitsPerSecond;
    if (!asIs || peak == 0 || peak > std::uint64_t(t.streams->peakKbps) * 1000)
        return {};
    if (budgetKbps && (!s.durationMs || *s.durationMs == 0 ||
                       s.mpeg2->fileBytes * 8 / *s.durationMs >
                           std::uint64_t(*budgetKbps + t.streams->audio.kbps)))
        return {};
    return "copied: an MPEG-2 stream a DVD takes as it is (" + std::to_string(t.tv.width) + "x" +
           std::to_string(t.tv.height) + ", at most " + groupedNumber(peak / 1000) +
           " kbit/s); the sound is made AC-3";
}

Standard sourceStandard(const PlanSource& s, PixelShape par) {
    if (par == PixelShape::Square)
        return s.rateClass == RateClass::Pal ? Standard::Pal : Standard::Ntsc;
    return s.rate && s.rate->den != 0 && nearPalRate(*s.rate, s.fps) ? Standard::Pal
                                                                     : Standard::Ntsc;
}

std::optional<StreamRates> streamRates(Format format, std::optional<int> budgetKbps,
                                       std::optional<int> audioKbps) {
    const AudioResult audio = audioFor(format, audioKbps);
    if (!audio.audio)
        return std::nullopt;
    StreamRates r;
    r.audio = *audio.audio;
    r.peakKbps = peakVideoKbps(format, r.audio.kbps);
    // VCD runs at its one rate, whatever the disc.
    r.fromBudget = budgetKbps.has_value();
    r.videoKbps =
        format == Format::Vcd ? kVcdVideoKbps : budgetKbps.value_or(usualVideoKbps(format));
    return r;
}

std::optional<std::string> pictureFilter(const TargetSizes& t) {
    const FrameSize m = t.movie;
    const Fraction pixel = t.pixelAspect;
    if (!t.aspect || m.width <= 0 || m.height <= 0 || m.width > t.tv.width ||
        m.height > t.tv.height)
        return std::nullopt;
    const Placement place = placePicture(t.tv, m, false);
    return "scale=" + std::to_string(m.width) + ":" + std::to_string(m.height) +
           ",pad=" + std::to_string(t.tv.width) + ":" + std::to_string(t.tv.height) + ":" +
           std::to_string(place.left) + ":" + std::to_string(place.top) +
           ",setsar=" + std::to_string(pixel.num) + "/" + std::to_string(pixel.den);
}

OutputNames::OutputNames(RealPath realPath)
    : realPath_(realPath ? std::move(realPath) : defaultRealPath) {}

void OutputNames::addInput(const std::string& path) {
    inputs_.insert(realPath_(path));
}

std::string OutputNames::claim(const std::string& wanted) {
    const std::size_t slash = wanted.rfind('/');
    const std::size_t dot = wanted.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::size_t cut = hasExtension ? dot : wanted.size();
    std::string name = wanted;
    for (int n = 2;; ++n) {
        const std::string real = realPath_(name);
        if (!inputs_.contains(real) && claimed_.insert(real).second)
            return name;
        name = wanted.substr(0, cut) + "-" + std::to_string(n) + wanted.substr(cut);
    }
}

Plan makePlan(const PlanRequest& q, std::span<const PlanSource> sources, OutputNames* names) {
    OutputNames own;
    OutputNames& outputs = names ? *names : own;
    for (const PlanSource& s : sources)
        if (s.file && q.commands)
            outputs.addInput(s.name);
    Plan plan;
    // One disc holds one standard; with a disc for each input, each keeps its own.
    const bool each = q.disc && q.disc->kind == DiscChoice::Kind::Each;
    const std::optional<Standard> shared = q.disc && !each ? discStandard(q, sources) : q.standard;
    for (const PlanSource& s : sources)
        plan.inputs.push_back(planSizes(q, s, shared.value_or(sourceStandard(s, q.shape.par))));

    // The budget's rate goes to the inputs of a disc that fits, in its format.
    std::vector<std::optional<int>> budgetKbps(sources.size());
    if (q.disc) {
        plan.budget = planDisc(q, sources, plan.inputs, shared.value_or(discStandard(q, sources)));
        for (const DiscPlan& d : plan.budget->budget.discs)
            if (d.planned && d.discsNeeded == 1 && d.videoKbps > 0)
                for (const std::size_t i : d.inputs)
                    budgetKbps[i] = d.videoKbps;
    }
    const Format onDisc = budgetFormat(q);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const PlanSource& s = sources[i];
        for (TargetPlan& t : plan.inputs[i].targets) {
            const bool budgeted = t.format == onDisc;
            t.streams = streamRates(t.format, budgeted ? budgetKbps[i] : std::nullopt, q.audioKbps);
            if (!s.file) {
                t.filter = pictureFilter(t);
                continue;
            }
            if (!q.commands || !t.aspect)
                continue;
            if (!t.streams) {
                t.command = CommandResult{std::nullopt, audioFor(t.format, q.audioKbps).error};
                continue;
            }
            t.copied = copyReason(s, t, budgeted ? budgetKbps[i] : std::nullopt);
            if (!t.copied.empty()) {
                t.rate->note = t.copied + (t.rate->note.empty() ? "" : "; ") + t.rate->note;
                // The flag rewrite checks the stream a disc takes: its GOPs
                // and frame pictures (a pulldown stream is left as it is).
                if (!t.rate->flags)
                    t.rate->flags = media::mpeg::FlagMode::ProgressiveOnly;
            }
            CommandInput in = commandInput(q, s, t);
            in.copyVideo = !t.copied.empty();
            const std::string wanted = outputPath(s.name, q.outputDir);
            in.output = outputs.claim(q.formats.size() > 1 ? withFormat(wanted, t.format) : wanted);
            if (in.plan.flags) {
                const StreamPaths streams = streamPaths(in.output, t.format);
                in.videoStream = outputs.claim(streams.video);
                in.audioStream = outputs.claim(streams.audio);
            }
            t.command = buildCommand(in);
            t.commandInput = std::move(in);
        }
    }
    return plan;
}

} // namespace quorvel::disc
