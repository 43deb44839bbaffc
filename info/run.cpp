#include "info/run.h"

#include "resize/number.h"
#include "source/avi/file_info.h"
#include "source/media/media_probe.h"
#include "source/source_view.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace quorvel::info {

namespace {

bool writable(const std::string& dir) {
#ifdef _WIN32
    return _access(dir.c_str(), 2) == 0;
#else
    return access(dir.c_str(), W_OK) == 0;
#endif
}

std::vector<disc::Format> formatsOf(FormatChoice f) {
    switch (f) {
    case FormatChoice::Vcd:
        return {disc::Format::Vcd};
    case FormatChoice::Svcd:
        return {disc::Format::Svcd};
    case FormatChoice::Dvd:
        return {disc::Format::Dvd};
    case FormatChoice::All:
        break;
    }
    return {disc::Format::Vcd, disc::Format::Svcd, disc::Format::Dvd};
}

std::optional<disc::Standard> standardOf(StandardChoice s) {
    switch (s) {
    case StandardChoice::Pal:
        return disc::Standard::Pal;
    case StandardChoice::Ntsc:
        return disc::Standard::Ntsc;
    case StandardChoice::Auto:
        break;
    }
    return std::nullopt;
}

// Terms beyond this in a file's pixel shape are no real file's; such a shape
// is taken as unstated, which also keeps the exact arithmetic in range.
constexpr std::int64_t kMaxSarTerm = kMaxRatioTerm;

disc::SourceShape shapeOf(const SourceDetails& d) {
    disc::SourceShape s{d.sar.value_or(Fraction{1, 1}), d.rotation};
    if (d.crop) {
        s.cropWidth = std::int64_t{d.crop->left} + d.crop->right;
        s.cropHeight = std::int64_t{d.crop->top} + d.crop->bottom;
    }
    return s;
}

// The pixel shape typed on the command line: --sar as it is, --dar spread
// over the (cropped) picture. None for a picture with no area.
std::optional<media::Fraction> typedSar(const Options& o, std::int64_t width, std::int64_t height) {
    if (o.sar)
        return o.sar;
    if (!o.dar || width <= 0 || height <= 0)
        return std::nullopt;
    return reduced({o.dar->num * height, o.dar->den * width});
}

void setDisplay(SourceDetails& d, std::int64_t width, std::int64_t height) {
    // Whole pixels, halves to even.
    const disc::ShownSides shown = disc::shownSides(width, height, shapeOf(d));
    d.displayWidth = roundHalfEven(shown.width);
    d.displayHeight = roundHalfEven(shown.height);
}

// The running time, scan and pulldown pass as the reader found them; a film
// rate that is no rate is taken as unstated.
void copyEncodeFacts(SourceDetails& d, const media::VideoInfo& video) {
    d.durationMs = video.durationMs;
    d.frames = video.frames;
    d.scan = video.scan;
    d.fieldOrder = video.fieldOrder;
    d.pulldown = video.pulldown;
    if (video.filmRate && video.filmRate->num > 0 && video.filmRate->den > 0)
        d.filmRate = video.filmRate;
}

SourceDetails detailsOf(const media::VideoInfo& video, const SourceView& view, const Options& o) {
    SourceDetails d;
    d.container = video.container;
    d.codec = video.codec;
    // A crop that leaves no picture is no real file's: taken as unstated.
    if (video.crop && std::int64_t{video.crop->left} + video.crop->right < view.width &&
        std::int64_t{video.crop->top} + video.crop->bottom < view.height)
        d.crop = video.crop;
    const disc::SourceShape cropped = shapeOf(d);
    d.shapeGiven = o.sar || o.dar;
    if (d.shapeGiven)
        d.sar = typedSar(o, view.width - cropped.cropWidth, view.height - cropped.cropHeight);
    else if (video.sar && video.sar->num > 0 && video.sar->den > 0 &&
             video.sar->num <= kMaxSarTerm && video.sar->den <= kMaxSarTerm)
        d.sar = video.sar;
    d.rotation = video.rotation;
    setDisplay(d, view.width, view.height);
    copyEncodeFacts(d, video);
    return d;
}

Read readVideoFacts(const std::string& path, const media::VideoInfo& video, const SourceView& view,
                    const Options& o) {
    Read read;
    Report& r = read.report;
    r.kind = InputItem::File;
    r.name = path;
    r.width = view.width;
    r.height = view.height;
    r.source = detailsOf(video, view, o);
    disc::PlanSource& s = read.source;
    s.name = path;
    s.file = true;
    s.widthText = decimalText(view.width);
    s.heightText = decimalText(view.height);
    s.shape = shapeOf(*r.source);
    s.crop = r.source->crop;
    s.timing = disc::timingOf(video);
    s.audio = disc::audioOf(video);
    s.durationMs = video.durationMs;
    s.chaptersMs = video.chaptersMs;
    if (video.codec == "mpeg2video" && video.peakBitsPerSecond) {
        std::error_code error;
        const std::uintmax_t bytes = std::filesystem::file_size(path, error);
        if (!error)
            s.mpeg2 = disc::PlanSource::Mpeg2{
                {static_cast<int>(video.width), static_cast<int>(video.height)},
                *video.peakBitsPerSecond,
                static_cast<std::uint64_t>(bytes)};
    }
    // An unknown rate has no class: the standard is then NTSC, as for a typed size.
    if (view.rate) {
        r.rate = RateInfo{view.rate->num, view.rate->den, view.fps, video.variableRate};
        s.rate = Fraction{view.rate->num, view.rate->den};
        s.fps = view.fps;
        if (!view.rateClass) {
            r.error = describeSourceOutcome({SourceOutcome::RateDivisorZero});
            s.readable = false;
            return read;
        }
        r.rateClass = view.rateClass;
        s.rateClass = view.rateClass;
    }
    return read;
}

} // namespace

Read readFileFacts(avifile::AviLibrary& library, const std::string& path, const Options& o) {
    const media::FileProbe probe = media::probeFile(library, path);
    if (!probe.ok()) {
        Read read;
        read.report.kind = InputItem::File;
        read.report.name = path;
        read.report.error = probe.error;
        read.source.name = path;
        read.source.file = true;
        read.source.readable = false;
        return read;
    }
    // An AVI file's numbers are read from its record, as the window reads them.
    const SourceView view =
        probe.aviRecord ? sourceView(*probe.aviRecord) : sourceView(*probe.video);
    return readVideoFacts(path, *probe.video, view, o);
}

namespace {

Read readTypedFacts(const InputItem& input, const Options& o) {
    Read read;
    Report& r = read.report;
    r.kind = InputItem::Size;
    r.name = input.text;
    r.width = parseSourceNumber(input.widthText).value;
    r.height = parseSourceNumber(input.heightText).value;
    read.source.name = input.text;
    read.source.widthText = input.widthText;
    read.source.heightText = input.heightText;
    // A typed shape is reported like a file's; a typed size alone has none.
    if (o.sar || o.dar) {
        SourceDetails d;
        d.shapeGiven = true;
        d.sar = typedSar(o, *r.width, *r.height);
        setDisplay(d, *r.width, *r.height);
        read.source.shape = shapeOf(d);
        r.source = d;
    }
    return read;
}

// The plan's targets go into the report; sides the window refuses are its error.
void takePlan(Report& r, const disc::InputPlan& plan) {
    r.targets = plan.targets;
    if (plan.refused == ResizeError::None)
        return;
    r.error = r.kind == InputItem::Size
                  ? describeResizeError(plan.refused)
                  : describeSourceOutcome({SourceOutcome::SizeRefused, plan.refused});
}

Report plannedAlone(Read read, const Options& o, disc::OutputNames* outputs = nullptr) {
    const disc::Plan plan = disc::makePlan(planRequest(o), std::span(&read.source, 1), outputs);
    takePlan(read.report, plan.inputs.front());
    return std::move(read.report);
}

// A blank line between reports; appended, not "\n" + text, which GCC 12
// takes for a copy that may overlap (a false -Wrestrict).
std::string blankLineBefore(const std::string& text, bool blank) {
    std::string out = blank ? "\n" : "";
    out += text;
    return out;
}

} // namespace

disc::PlanRequest planRequest(const Options& o) {
    disc::PlanRequest q;
    q.formats = formatsOf(o.format);
    q.standard = standardOf(o.standard);
    q.shape = {o.par, o.aspect, o.mod, o.dvdWidth};
    q.commands = o.ffmpeg;
    q.outputDir = o.outputDir;
    q.disc = o.disc;
    q.audioKbps = o.audioKbps;
    return q;
}

Report readVideo(const std::string& path, const media::VideoInfo& video, const SourceView& view,
                 const Options& o) {
    return plannedAlone(readVideoFacts(path, video, view, o), o);
}

Report readFile(avifile::AviLibrary& library, const std::string& path, const Options& o) {
    return plannedAlone(readFileFacts(library, path, o), o);
}

Report readTypedSize(const InputItem& input, const Options& o) {
    return plannedAlone(readTypedFacts(input, o), o);
}

std::string checkOutputFolder(const std::string& dir) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(fs::path(dir), error);
    if (!fs::exists(status))
        return "--output " + textEscaped(dir) + ": no such folder";
    if (!fs::is_directory(status))
        return "--output " + textEscaped(dir) + ": not a folder";
    if (!writable(dir))
        return "--output " + textEscaped(dir) + ": the folder is not writable";
    return {};
}

PathReader::Result PathReader::next(std::string& path) {
    for (;;) {
        path.clear();
        bool tooLong = false;
        bool separated = false;
        for (int c = in_.get(); c != std::istream::traits_type::eof(); c = in_.get()) {
            if (static_cast<char>(c) == separator_) {
                separated = true;
                break;
            }
            if (path.size() < kMaxPathBytes)
                path += static_cast<char>(c);
            else
                tooLong = true;
        }
        if (tooLong) {
            path.clear();
            return TooLong;
        }
        if (!path.empty())
            return Path;
        if (!separated)
            return End;
        // An empty entry, as from a blank line: nothing to report.
    }
}

int runInfo(const Options& o, avifile::AviLibrary& library, const Output& output,
            std::istream& in) {
    int status = 0;
    bool first = true;
    auto report = [&](const Report& r) {
        if (!r.ok()) {
            status = 1;
            output.err(std::string(kProgramName) + ": " + textEscaped(r.name) + ": " + r.error +
                       "\n");
        }
        if (o.json) {
            output.out(formatJson(r, o));
        } else {
            // A blank line between reports.
            output.out(blankLineBefore(formatText(r, o), !first));
        }
        first = false;
    };
    // With --disc every input waits for the one plan of the batch, which sets
    // the disc's standard and the rates; else each is planned alone, as it comes.
    std::vector<Read> held;
    // The run's outputs stay apart from each other and from every input named.
    disc::OutputNames outputs;
    for (const InputItem& input : o.inputs)
        if (input.kind == InputItem::File && o.ffmpeg)
            outputs.addInput(input.text);
    const auto take = [&](Read read) {
        if (o.disc)
            held.push_back(std::move(read));
        else
            report(plannedAlone(std::move(read), o, &outputs));
    };
    for (const InputItem& input : o.inputs) {
        if (input.kind == InputItem::Size) {
            take(readTypedFacts(input, o));
            continue;
        }
        if (input.kind == InputItem::File) {
            take(readFileFacts(library, input.text, o));
            continue;
        }
        PathReader paths(in, o.nullSeparated ? '\0' : '\n');
        std::string path;
        for (PathReader::Result got; (got = paths.next(path)) != PathReader::End;) {
            if (got == PathReader::Path) {
                take(readFileFacts(library, path, o));
                if (output.flush)
                    output.flush();
                continue;
            }
            status = 1;
            output.err(std::string(kProgramName) + ": -: skipped an entry longer than " +
                       std::to_string(kMaxPathBytes) + " bytes\n");
        }
    }
    if (o.disc) {
        std::vector<disc::PlanSource> sources;
        for (const Read& read : held)
            sources.push_back(read.source);
        const disc::Plan plan = disc::makePlan(planRequest(o), sources, &outputs);
        for (std::size_t i = 0; i < held.size(); ++i) {
            takePlan(held[i].report, plan.inputs[i]);
            report(held[i].report);
        }
        const disc::BatchBudget& budget = *plan.budget;
        if (o.json)
            output.out(budgetJson(budget));
        else
            output.out(blankLineBefore(budgetText(budget), !first));
        if (!budget.budget.ok()) {
            status = 1;
            output.err(std::string(kProgramName) + ": " + budget.budget.error + "\n");
        }
    }
    return status;
}

} // namespace quorvel::info
