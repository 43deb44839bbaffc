#include "info/run.h"

#include "resize/number.h"
#include "source/avi/file_info.h"
#include "source/media/media_probe.h"
#include "source/source_view.h"

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

// Auto follows the file's class as the window does: PAL frames for PAL only.
// A typed size has no class and gets NTSC.
bool palFor(StandardChoice s, std::optional<RateClass> c) {
    switch (s) {
    case StandardChoice::Pal:
        return true;
    case StandardChoice::Ntsc:
        return false;
    case StandardChoice::Auto:
        break;
    }
    return c == RateClass::Pal;
}

Shape shapeOf(const Options& o) {
    return {o.par, o.aspect.value_or(DisplayAspect::Standard), o.mod};
}

// Fills the targets; on a size the window refuses, none and the reason.
ResizeError addTargets(Report& r, std::string_view widthText, std::string_view heightText,
                       const Options& o, const SourceShape& source = {}) {
    const bool pal = palFor(o.standard, r.rateClass);
    for (const int format : formatsOf(o.format)) {
        TargetResult t = computeTarget(widthText, heightText, format, pal, shapeOf(o), source);
        if (!t.ok()) {
            r.targets.clear();
            return t.error;
        }
        // Square pixels give no display aspect: the filter makes a 4:3 disc.
        if (o.ffmpeg && o.par == PixelShape::Square) {
            const Shape plain{PixelShape::Plain, DisplayAspect::Standard, o.mod};
            const TargetSizes f =
                computeTarget(widthText, heightText, format, pal, plain, source).sizes;
            t.sizes.filter = FilterFit{PixelShape::Plain, f.movie, f.pixelAspect};
        }
        r.targets.push_back(t.sizes);
    }
    return ResizeError::None;
}

// Sides beyond this in a pixel shape are no real file's; such a shape is
// taken as unstated, which also keeps the exact arithmetic in range.
constexpr std::int64_t kMaxSarTerm = 65535;

SourceShape shapeOf(const SourceDetails& d) {
    return {d.sar ? Ratio{d.sar->num, d.sar->den} : Ratio{1, 1}, d.rotation};
}

SourceDetails detailsOf(const media::VideoInfo& video, const SourceView& view) {
    SourceDetails d;
    d.container = video.container;
    d.codec = video.codec;
    if (video.sar && video.sar->num > 0 && video.sar->den > 0 && video.sar->num <= kMaxSarTerm &&
        video.sar->den <= kMaxSarTerm)
        d.sar = video.sar;
    d.rotation = video.rotation;
    // Whole pixels, halves to even.
    const ShownSides shown = shownSides(view.width, view.height, shapeOf(d));
    d.displayWidth = roundHalfEven(shown.width);
    d.displayHeight = roundHalfEven(shown.height);
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
    r.source = detailsOf(video, view);
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
    const ResizeError refused = addTargets(r, input.widthText, input.heightText, o);
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
    for (const InputItem& input : o.inputs) {
        if (input.kind == InputItem::Size) {
            report(readTypedSize(input, o));
            continue;
        }
        if (input.kind == InputItem::File) {
            report(readFile(library, input.text, o));
            continue;
        }
        PathReader paths(in, o.nullSeparated ? '\0' : '\n');
        std::string path;
        for (PathReader::Result got; (got = paths.next(path)) != PathReader::End;) {
            if (got == PathReader::Path) {
                report(readFile(library, path, o));
                if (output.flush)
                    output.flush();
                continue;
            }
            status = 1;
            output.err(std::string(kProgramName) + ": -: skipped an entry longer than " +
                       std::to_string(kMaxPathBytes) + " bytes\n");
        }
    }
    return status;
}

} // namespace quorvel::info
