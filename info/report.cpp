#include "info/report.h"

#include "info/json.h"
#include "source/utf8.h"

#include <utility>

namespace quorvel::info {

namespace {

const char* parName(PixelShape p) {
    switch (p) {
    case PixelShape::Plain:
        return "plain";
    case PixelShape::Itu:
        return "itu";
    case PixelShape::Square:
        break;
    }
    return "square";
}

const char* aspectName(const disc::TargetSizes& t) {
    if (!t.aspect)
        return nullptr;
    return t.aspect == DisplayAspect::Wide ? "16:9" : "4:3";
}

std::string ratioText(std::int64_t num, std::int64_t den) {
    return std::to_string(num) + ":" + std::to_string(den);
}

std::string size(std::int64_t w, std::int64_t h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

std::string hexByte(unsigned char c, const char* prefix) {
    static constexpr char kDigits[] = "0123456789abcdef";
    return std::string(prefix) + kDigits[c >> 4] + kDigits[c & 15];
}

// "DVD NTSC 16:9: TV 720x480, Movie 720x480, pixel 32:27"; square pixels
// keep the window's "DVD NTSC: TV 720x480, Movie 720x306".
std::string targetLine(const disc::TargetSizes& t, const Options& o) {
    std::string line =
        std::string(disc::formatName(t.format)) + " " + disc::standardName(t.standard);
    if (const char* aspect = aspectName(t))
        line += std::string(" ") + aspect;
    line +=
        ": TV " + size(t.tv.width, t.tv.height) + ", Movie " + size(t.movie.width, t.movie.height);
    if (t.aspect)
        line += ", pixel " + ratioText(t.pixelAspect.num, t.pixelAspect.den);
    std::string note = o.par == PixelShape::Itu ? "ITU" : "";
    if (o.mod != 0)
        note += (note.empty() ? "" : ", ") + std::string("mod ") + std::to_string(o.mod);
    return line + (note.empty() ? "" : " (" + note + ")") + "\n";
}

// How the picture shows, when that is not its pixel counts: "pixel 64:45,
// turned 90 degrees".
std::string shapeText(const SourceDetails& s, std::int64_t width, std::int64_t height) {
    std::string how;
    const auto add = [&how](const std::string& part) { how += (how.empty() ? "" : ", ") + part; };
    if (s.sar && (s.sar->num != s.sar->den || s.shapeGiven))
        add("pixel " + ratioText(s.sar->num, s.sar->den) + (s.shapeGiven ? " as given" : ""));
    if (s.crop && !(*s.crop == media::Crop{}))
        add("cropped to " +
            size(width - s.crop->left - s.crop->right, height - s.crop->top - s.crop->bottom));
    if (s.rotation != 0)
        add("turned " + std::to_string(s.rotation) + " degrees");
    return size(s.displayWidth, s.displayHeight) + (how.empty() ? "" : " (" + how + ")");
}

Json twoNumbers(const char* a, std::int64_t x, const char* b, std::int64_t y) {
    Json j;
    j[a] = x;
    j[b] = y;
    return j;
}

Json sizeJson(std::int64_t width, std::int64_t height) {
    return twoNumbers("width", width, "height", height);
}

Json orNull(std::string_view s) {
    return s.empty() ? Json() : Json(validUtf8(s));
}

void addSource(Json& j, const std::optional<SourceDetails>& s) {
    if (!s) {
        for (const char* name : {"container", "codec", "sar", "display", "rotation"})
            j[name] = nullptr;
        return;
    }
    j["container"] = s->container ? Json(media::containerName(*s->container)) : Json();
    j["codec"] = orNull(s->codec);
    j["sar"] = s->sar ? twoNumbers("num", s->sar->num, "den", s->sar->den) : Json();
    j["display"] = sizeJson(s->displayWidth, s->displayHeight);
    j["rotation"] = s->rotation;
}

const char* fieldsName(const disc::RatePlan& plan) {
    if (!plan.interlaced)
        return "progressive";
    return plan.fieldOrder == media::FieldOrder::TopFirst ? "tt" : "bb";
}

// {filter, args, command, note, warning, error}. JSON strings are UTF-8: a
// path's other bytes show as U+FFFD in args, and command writes them in octal
// so that it runs exactly what the file's name is.
Json ffmpegJson(const disc::TargetPlan& t) {
    Json j;
    if (!t.command) {
        if (!t.filter)
            return Json();
        j["filter"] = *t.filter;
        j["args"] = nullptr;
        j["command"] = nullptr;
        j["output"] = nullptr;
        return j;
    }
    const auto& made = t.command->command;
    j["filter"] = made ? Json(made->filter) : Json();
    Json args = Json::array();
    bool exact = true;
    if (made)
        for (const std::string& a : made->args) {
            args.push_back(validUtf8(a));
            exact = exact && args.back() == a;
        }
    j["args"] = made ? args : Json();
    j["args_exact"] = made && exact;
    j["command"] = made ? Json(made->command) : Json();
    // The steps after the command, each a shell line: the flags rewritten,
    // then the streams multiplexed into output.
    j["then"] = made ? Json(made->then()) : Json::array();
    j["flags"] = made && made->remux ? Json(disc::flagModeName(made->remux->flags)) : Json();
    j["copied"] = orNull(t.copied);
    j["output"] = made ? Json(validUtf8(made->output)) : Json();
    const disc::RatePlan& plan = *t.rate;
    j["rate_row"] = disc::rowName(plan.row);
    j["rate"] = disc::rateText(plan.outputRate);
    j["field_order"] = fieldsName(plan);
    j["speed"] = disc::rateText(plan.speed);
    if (t.streams) {
        j["video_kbps"] = t.streams->videoKbps;
        j["from_budget"] = t.streams->fromBudget;
        j["peak_kbps"] = t.streams->peakKbps;
        j["audio"] = Json{{"codec", t.streams->audio.codec},
                          {"kbps", t.streams->audio.kbps},
                          {"sample_rate", t.streams->audio.sampleRate}};
    }
    j["note"] = orNull(plan.note);
    j["warning"] = orNull(plan.warning);
    j["error"] = orNull(t.command->error);
    return j;
}

// "  ffmpeg: FILTER", then the command and the rate plan's note and warning.
std::string ffmpegText(const disc::TargetPlan& t) {
    if (t.command && t.command->command) {
        const disc::FfmpegCommand& made = *t.command->command;
        // A copied stream has no filters.
        std::string out = "  ffmpeg: " + (made.filter.empty() ? "copy" : made.filter) + "\n";
        // One line that runs exactly the arguments: printed as it is.
        out += "  command: " + made.command + "\n";
        for (const std::string& line : made.then())
            out += "  then: " + line + "\n";
        if (!t.rate->note.empty())
            out += "  note: " + t.rate->note + "\n";
        if (!t.rate->warning.empty())
            out += "  warning: " + t.rate->warning + "\n";
        return out;
    }
    if (t.command)
        return "  ffmpeg: none (" + t.command->error + ")\n";
    if (t.filter)
        return "  ffmpeg: " + *t.filter + "\n";
    if (!t.aspect)
        return "  ffmpeg: none (square pixels give a disc no display aspect: leave out --window)\n";
    return "  ffmpeg: none (no picture)\n";
}

const char* scanName(media::Scan s) {
    return s == media::Scan::Interlaced ? "interlaced" : "progressive";
}

const char* fieldOrderName(media::FieldOrder f) {
    return f == media::FieldOrder::BottomFirst ? "bottom first" : "top first";
}

double fps(const media::Fraction& rate) {
    return static_cast<double>(rate.num) / static_cast<double>(rate.den);
}

// Running time, scan, pulldown and crop, after the source's other members;
// null for what the file does not say, and for a typed size.
void addEncodeFacts(Json& j, const std::optional<SourceDetails>& s) {
    const SourceDetails none;
    const SourceDetails& d = s ? *s : none;
    j["duration"] = d.durationMs ? jsonNumber(static_cast<double>(*d.durationMs) / 1000.0) : Json();
    j["frames"] = d.frames ? Json(*d.frames) : Json();
    j["scan"] = d.scan ? Json(scanName(*d.scan)) : Json();
    j["field_order"] = d.fieldOrder ? Json(fieldOrderName(*d.fieldOrder)) : Json();
    j["pulldown"] = d.pulldown ? Json(*d.pulldown) : Json();
    if (d.filmRate) {
        Json rate = twoNumbers("num", d.filmRate->num, "den", d.filmRate->den);
        rate["fps"] = jsonNumber(fps(*d.filmRate));
        j["film_rate"] = std::move(rate);
    } else {
        j["film_rate"] = nullptr;
    }
    if (d.crop) {
        Json crop = twoNumbers("left", d.crop->left, "top", d.crop->top);
        crop["right"] = d.crop->right;
        crop["bottom"] = d.crop->bottom;
        j["crop"] = std::move(crop);
    } else {
        j["crop"] = nullptr;
    }
}

// One line for each of those facts the file states.
std::string encodeFactLines(const SourceDetails& d) {
    std::string out;
    if (d.durationMs)
        out += "duration: " + disc::runningTimeText(*d.durationMs) + "\n";
    if (d.frames)
        out += "frames: " + std::to_string(*d.frames) + "\n";
    if (d.scan || d.fieldOrder) {
        out += "scan: ";
        out += d.scan ? scanName(*d.scan) : "unknown";
        if (d.fieldOrder)
            out += d.fieldOrder == media::FieldOrder::BottomFirst ? ", bottom field first"
                                                                  : ", top field first";
        out += "\n";
    }
    if (d.pulldown) {
        out += "pulldown: ";
        if (!*d.pulldown)
            out += "none";
        else
            out += d.filmRate ? "film at " + fixed(fps(*d.filmRate), 3) : "film";
        out += "\n";
    }
    if (d.crop)
        out += "crop: left " + std::to_string(d.crop->left) + ", top " +
               std::to_string(d.crop->top) + ", right " + std::to_string(d.crop->right) +
               ", bottom " + std::to_string(d.crop->bottom) + "\n";
    return out;
}

Json targetJson(const disc::TargetPlan& t, const Options& o) {
    Json j;
    j["format"] = disc::formatName(t.format);
    j["standard"] = disc::standardName(t.standard);
    j["par"] = parName(o.par);
    const char* aspect = aspectName(t);
    j["aspect"] = aspect ? Json(aspect) : Json();
    j["sar"] = twoNumbers("num", t.pixelAspect.num, "den", t.pixelAspect.den);
    j["tv"] = sizeJson(t.tv.width, t.tv.height);
    j["movie"] = sizeJson(t.movie.width, t.movie.height);
    j["window_movie"] = sizeJson(t.windowMovie.width, t.windowMovie.height);
    if (o.mod != 0) {
        j["mod"] = o.mod;
        j[kAspectErrorKey] = t.aspectError ? jsonNumber(*t.aspectError) : Json();
    }
    if (o.ffmpeg) {
        j["ffmpeg"] = ffmpegJson(t);
        j["ffmpeg_par"] = t.aspect ? Json(parName(o.par)) : Json();
    }
    return j;
}

} // namespace

const char* rateClassName(RateClass c) {
    switch (c) {
    case RateClass::Pal:
        return "PAL";
    case RateClass::NtscFilm:
        return "NTSC film";
    case RateClass::NtscVideo:
        break;
    }
    return "NTSC video";
}

std::string textEscaped(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c < 0x20 || c == 0x7F)
            out += hexByte(c, "\\x");
        else
            out += ch;
    }
    return out;
}

std::string formatText(const Report& r, const Options& o) {
    std::string out;
    out += (r.kind == InputItem::Size ? "size: " : "path: ") + textEscaped(r.name) + "\n";
    if (r.width && r.height)
        out +=
            "width: " + std::to_string(*r.width) + "\nheight: " + std::to_string(*r.height) + "\n";
    if (r.source && r.source->container && r.source->container != media::Container::Avi)
        out += std::string("container: ") + media::containerName(*r.source->container) +
               (r.source->codec.empty() ? "" : ", codec " + textEscaped(r.source->codec)) + "\n";
    if (r.rate) {
        out += "rate: " + std::to_string(r.rate->num) + "/" + std::to_string(r.rate->den);
        out += r.rate->fps ? " (" + fixed(*r.rate->fps, 3) + " fps" +
                                 (r.rate->variable ? ", variable: the average)\n" : ")\n")
                           : " (no frame rate)\n";
    } else if (r.source && r.source->container && r.width) {
        out += "rate: unknown (the file does not say; no class, NTSC unless --standard)\n";
    }
    if (r.rateClass)
        out += std::string("class: ") + rateClassName(*r.rateClass) + "\n";
    if (r.source && r.width && r.height && (r.source->shaped() || r.source->shapeGiven)) {
        const std::string shows = shapeText(*r.source, *r.width, *r.height);
        if (o.par == PixelShape::Square)
            out += "note: the picture shows as " + shows +
                   "; these sizes count its pixels, without --window they fit its shape\n";
        else
            out += "display: " + shows + "\n";
    }
    if (r.source)
        out += encodeFactLines(*r.source);
    for (const disc::TargetPlan& t : r.targets) {
        out += targetLine(t, o);
        if (t.aspect && t.windowMovie != t.movie)
            out += "  window: Movie " + size(t.windowMovie.width, t.windowMovie.height) +
                   " (square pixels; the disc needs the line above)\n";
        if (o.mod != 0) {
            out += "  aspect error: ";
            out += t.aspectError
                       ? (*t.aspectError >= 0 ? "+" : "") + fixed(*t.aspectError * 100.0, 2) + "%\n"
                       : "none (no picture)\n";
        }
        if (o.ffmpeg)
            out += ffmpegText(t);
    }
    if (!r.ok())
        out += "error: " + r.error + "\n";
    return out;
}

std::string formatJson(const Report& r, const Options& o) {
    Json j;
    j["schema"] = kJsonSchema;
    j[r.kind == InputItem::Size ? "size" : "path"] = validUtf8(r.name);
    j["width"] = r.width && r.height ? Json(*r.width) : Json();
    j["height"] = r.width && r.height ? Json(*r.height) : Json();
    if (r.rate) {
        Json rate = twoNumbers("num", r.rate->num, "den", r.rate->den);
        rate["fps"] = r.rate->fps ? jsonNumber(*r.rate->fps) : Json();
        rate["variable"] = r.rate->variable;
        j["rate"] = std::move(rate);
    } else {
        j["rate"] = nullptr;
    }
    j["class"] = r.rateClass ? Json(rateClassName(*r.rateClass)) : Json();
    addSource(j, r.source);
    addEncodeFacts(j, r.source);
    j["targets"] = Json::array();
    for (const disc::TargetPlan& t : r.targets)
        j["targets"].push_back(targetJson(t, o));
    j["error"] = orNull(r.error);
    return dumpJson(j) + "\n";
}

std::string budgetText(const disc::BatchBudget& b) {
    const std::size_t n = b.request.inputs.size();
    std::string out = "budget: " + std::to_string(n) + (n == 1 ? " input as " : " inputs as ") +
                      disc::aFormat(b.request.format) + " " +
                      disc::standardName(b.request.standard) + "\n";
    for (const std::string& line : disc::describeBudget(b.budget, b.request, textEscaped))
        out += line + "\n";
    return out;
}

namespace {

Json capJson(disc::Cap c) {
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
}

} // namespace

std::string budgetJson(const disc::BatchBudget& b) {
    const disc::BudgetRequest& q = b.request;
    const auto names = [&q](const std::vector<std::size_t>& indices) {
        Json list = Json::array();
        for (const std::size_t i : indices)
            list.push_back(validUtf8(q.inputs[i].name));
        return list;
    };
    Json j;
    j["format"] = disc::formatName(q.format);
    j["standard"] = disc::standardName(q.standard);
    const bool each = q.disc.kind == disc::DiscChoice::Kind::Each;
    j["disc"] = disc::discName(each ? disc::usualDisc(q.format) : q.disc, q.format);
    j["each"] = each;
    j["audio_kbps"] = b.budget.audio ? Json(b.budget.audio->kbps) : Json();
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
        p["cap"] = capJson(d.cap);
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

} // namespace quorvel::info
