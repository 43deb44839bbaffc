#include "info/run.h"

#include "resize/number.h"
#include "source/avi/file_info.h"
#include "source/media/media_probe.h"
#include "source/source_view.h"

#include <cstdlib>
#include <vector>

namespace quorvel::info {

namespace {

std::vector<int> formatsOf(FormatChoice f) {
    switch (f) {
    case FormatChoice::Vcd:
        return {kFormatVcd};
    case FormatChoice::Svcd:
        return {kFormatSvcd};
    case FormatChoice::Dvd:
        return {kFormatDvd};
    case FormatChoice::All:
        break;
    }
    return {kFormatVcd, kFormatSvcd, kFormatDvd};
}

// Rate terms up to this are compared exactly; all that 32-bit fields give.
constexpr std::int64_t kMaxExactRateTerm = std::int64_t{1} << 40;

// Within a fifth of a frame per second of 25 or 50 (a camcorder's 50 fps is
// PAL too); open at the ends, as the window's rate windows are.
bool nearPalRate(const RateInfo& rate) {
    for (const std::int64_t reference : {25, 50}) {
        if (std::abs(rate.num) > kMaxExactRateTerm || std::abs(rate.den) > kMaxExactRateTerm) {
            if (rate.fps && std::abs(*rate.fps - static_cast<double>(reference)) < 0.2)
                return true;
            continue;
        }
        if (5 * std::abs(rate.num - reference * rate.den) < std::abs(rate.den))
            return true;
    }
    return false;
}

// Auto: the disc's answer goes by the rate, and NTSC for an unknown rate and a
// typed size; the window's (--window) by the class, PAL frames for PAL only.
bool palFor(const Options& o, const Report& r) {
    switch (o.standard) {
    case StandardChoice::Pal:
        return true;
    case StandardChoice::Ntsc:
        return false;
    case StandardChoice::Auto:
        break;
    }
    if (o.par == PixelShape::Square)
        return r.rateClass == RateClass::Pal;
    return r.rate && r.rate->den != 0 && nearPalRate(*r.rate);
}

// Fills the targets; on a size the window refuses, none and the reason.
ResizeError addTargets(Report& r, std::string_view widthText, std::string_view heightText,
                       const Options& o, const SourceShape& source = {}) {
    const bool pal = palFor(o, r);
    for (const int format : formatsOf(o.format)) {
        const TargetResult t = computeTarget(widthText, heightText, format, pal,
                                             {o.par, o.aspect, o.mod, o.dvdWidth}, source);
        if (!t.ok()) {
            r.targets.clear();
            return t.error;
        }
        r.targets.push_back(t.sizes);
    }
    return ResizeError::None;
}

// Terms beyond this in a file's pixel shape are no real file's; such a shape
// is taken as unstated, which also keeps the exact arithmetic in range.
constexpr std::int64_t kMaxSarTerm = kMaxRatioTerm;

SourceShape shapeOf(const SourceDetails& d) {
    SourceShape s{d.sar ? Ratio{d.sar->num, d.sar->den} : Ratio{1, 1}, d.rotation};
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
        return media::Fraction{o.sar->num, o.sar->den};
    if (!o.dar || width <= 0 || height <= 0)
        return std::nullopt;
    const Ratio sar = reduced({o.dar->num * height, o.dar->den * width});
    return media::Fraction{sar.num, sar.den};
}

void setDisplay(SourceDetails& d, std::int64_t width, std::int64_t height) {
    // Whole pixels, halves to even.
    const ShownSides shown = shownSides(width, height, shapeOf(d));
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
    const SourceShape cropped = shapeOf(d);
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

} // namespace

Report readVideo(const std::string& path, const media::VideoInfo& video, const SourceView& view,
                 const Options& o) {
    Report r;
    r.kind = InputItem::File;
    r.name = path;
    r.width = view.width;
    r.height = view.height;
    r.source = detailsOf(video, view, o);
    r.discFacts.timing = disc::timingOf(video);
    r.discFacts.durationMs = video.durationMs;
    // An unknown rate has no class: the standard is then NTSC, as for a typed size.
    if (view.rate) {
        r.rate = RateInfo{view.rate->num, view.rate->den, view.fps, video.variableRate};
        if (!view.rateClass) {
            r.error = describeSourceOutcome({SourceOutcome::RateDivisorZero});
            return r;
        }
        r.rateClass = view.rateClass;
    }
    const ResizeError refused =
        addTargets(r, decimalText(view.width), decimalText(view.height), o, shapeOf(*r.source));
    if (refused != ResizeError::None)
        r.error = describeSourceOutcome({SourceOutcome::SizeRefused, refused});
    return r;
}

Report readFile(avifile::AviLibrary& library, const std::string& path, const Options& o) {
    const media::FileProbe probe = media::probeFile(library, path);
    if (!probe.ok()) {
        Report r;
        r.kind = InputItem::File;
        r.name = path;
        r.error = probe.error;
        return r;
    }
    // An AVI file's numbers are read from its record, as the window reads them.
    const SourceView view =
        probe.aviRecord ? sourceView(*probe.aviRecord) : sourceView(*probe.video);
    return readVideo(path, *probe.video, view, o);
}

Report readTypedSize(const InputItem& input, const Options& o) {
    Report r;
    r.kind = InputItem::Size;
    r.name = input.text;
    r.width = parseSourceNumber(input.widthText).value;
    r.height = parseSourceNumber(input.heightText).value;
    SourceShape shape;
    // A typed shape is reported like a file's; a typed size alone has none.
    if (o.sar || o.dar) {
        SourceDetails d;
        d.shapeGiven = true;
        d.sar = typedSar(o, *r.width, *r.height);
        setDisplay(d, *r.width, *r.height);
        shape = shapeOf(d);
        r.source = d;
    }
    const ResizeError refused = addTargets(r, input.widthText, input.heightText, o, shape);
    if (refused != ResizeError::None)
        r.error = describeResizeError(refused);
    return r;
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
            output.out((first ? "" : "\n") + formatText(r, o));
        }
        first = false;
    };
    // With --disc every report waits for the budget, which sets their rates.
    std::vector<Report> held;
    const auto take = [&](Report r) {
        if (o.disc)
            held.push_back(std::move(r));
        else
            report(r);
    };
    for (const InputItem& input : o.inputs) {
        if (input.kind == InputItem::Size) {
            take(readTypedSize(input, o));
            continue;
        }
        if (input.kind == InputItem::File) {
            take(readFile(library, input.text, o));
            continue;
        }
        PathReader paths(in, o.nullSeparated ? '\0' : '\n');
        std::string path;
        for (PathReader::Result got; (got = paths.next(path)) != PathReader::End;) {
            if (got == PathReader::Path) {
                take(readFile(library, path, o));
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
        const BatchBudget budget = planBatch(held, o);
        for (const Report& r : held)
            report(r);
        if (o.json)
            output.out(budgetJson(budget));
        else
            output.out((first ? "" : "\n") + budgetText(budget));
        if (!budget.budget.ok()) {
            status = 1;
            output.err(std::string(kProgramName) + ": " + budget.budget.error + "\n");
        }
    }
    return status;
}

} // namespace quorvel::info
