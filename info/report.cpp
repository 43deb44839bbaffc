#include "info/report.h"

#include "disc/budget.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <utility>

namespace quorvel::info {

namespace {

constexpr std::string_view kReplacement = "\xef\xbf\xbd"; // U+FFFD in UTF-8
constexpr const char* kAspectErrorKey = "aspect_error";

const char* formatName(int format) {
    switch (format) {
    case kFormatVcd:
        return "VCD";
    case kFormatSvcd:
        return "SVCD";
    default:
        return "DVD";
    }
}

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

const char* aspectName(const TargetSizes& t) {
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

// Fixed decimals, with no "-0" for a value that rounds to zero.
std::string fixed(double value, int decimals) {
    char buffer[64];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals)
            .ptr;
    std::string s(buffer, end);
    if (s.front() == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

std::string hexByte(unsigned char c, const char* prefix) {
    static constexpr char kDigits[] = "0123456789abcdef";
    return std::string(prefix) + kDigits[c >> 4] + kDigits[c & 15];
}

// The length of the valid UTF-8 sequence at the start of `s`, or 0.
std::size_t utf8Length(std::string_view s) {
    const auto at = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto cont = [&](std::size_t i, unsigned lo = 0x80, unsigned hi = 0xBF) {
        return i < s.size() && at(i) >= lo && at(i) <= hi;
    };
    const unsigned b = at(0);
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return cont(1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        // No overlong forms and no surrogates.
        const unsigned lo = b == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = b == 0xED ? 0x9F : 0xBF;
        return cont(1, lo, hi) && cont(2) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        // Nothing overlong and nothing past U+10FFFF.
        const unsigned lo = b == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = b == 0xF4 ? 0x8F : 0xBF;
        return cont(1, lo, hi) && cont(2) && cont(3) ? 4 : 0;
    }
    return 0;
}

// "DVD NTSC 16:9: TV 720x480, Movie 720x480, pixel 32:27"; square pixels
// keep the window's "DVD NTSC: TV 720x480, Movie 720x306".
std::string targetLine(const TargetSizes& t, const Options& o) {
    std::string line = std::string(formatName(t.format)) + (t.pal ? " PAL" : " NTSC");
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

// The whole ffmpeg command of a file's target; a typed size has no file and
// gets the filter that scales and pads alone.
std::optional<TargetCommand> fileCommand(const Report& r, const TargetSizes& t, const Options& o) {
    if (r.kind != InputItem::File || !r.source)
        return std::nullopt;
    return commandFor(r.name, r.discFacts, r.source->crop, r.source->rotation, t, o);
}

// {filter, args, command, note, warning, error}. JSON strings are UTF-8: a
// path's other bytes show as U+FFFD in args, and command writes them with
// printf so that it runs exactly what the file's name is.
Json ffmpegJson(const Report& r, const TargetSizes& t, const Options& o) {
    const auto command = fileCommand(r, t, o);
    Json j;
    if (!command) {
        const auto filter = ffmpegFilter(t);
        if (!filter)
            return Json();
        j["filter"] = *filter;
        j["args"] = nullptr;
        j["command"] = nullptr;
        j["output"] = nullptr;
        return j;
    }
    const auto& made = command->result.command;
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
    j["command"] = made ? Json(portableShellLine(made->args)) : Json();
    j["output"] = made ? Json(validUtf8(made->output)) : Json();
    const disc::RatePlan& plan = command->plan;
    const disc::Format format = discFormat(t.format);
    j["rate_row"] = disc::rowName(plan.row);
    j["rate"] = disc::rateText(plan.outputRate);
    j["field_order"] = !plan.interlaced                                 ? "progressive"
                       : plan.fieldOrder == media::FieldOrder::TopFirst ? "tt"
                                                                        : "bb";
    j["speed"] = disc::rateText(plan.speed);
    const disc::AudioResult audio = disc::audioFor(format, o.audioKbps);
    // The budget's rate when its disc fits, else the format's usual one.
    j["video_kbps"] = format == disc::Format::Vcd
                          ? disc::kVcdVideoKbps
                          : r.discFacts.videoKbps.value_or(disc::usualVideoKbps(format));
    j["from_budget"] = r.discFacts.videoKbps.has_value();
    if (audio.audio) {
        j["peak_kbps"] = disc::peakVideoKbps(format, audio.audio->kbps);
        j["audio"] = Json{{"codec", audio.audio->codec},
                          {"kbps", audio.audio->kbps},
                          {"sample_rate", audio.audio->sampleRate}};
    }
    j["note"] = orNull(command->plan.note);
    j["warning"] = orNull(command->plan.warning);
    j["error"] = orNull(command->result.error);
    return j;
}

// "  ffmpeg: FILTER", then the command and the rate plan's note and warning.
std::string ffmpegText(const Report& r, const TargetSizes& t, const Options& o) {
    const auto command = fileCommand(r, t, o);
    if (command && command->result.command) {
        const disc::FfmpegCommand& made = *command->result.command;
        std::string out = "  ffmpeg: " + made.filter + "\n";
        out += "  command: " + textEscaped(portableShellLine(made.args)) + "\n";
        if (!command->plan.note.empty())
            out += "  note: " + command->plan.note + "\n";
        if (!command->plan.warning.empty())
            out += "  warning: " + command->plan.warning + "\n";
        return out;
    }
    if (command)
        return "  ffmpeg: none (" + command->result.error + ")\n";
    const auto filter = ffmpegFilter(t);
    if (filter)
        return "  ffmpeg: " + *filter + "\n";
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
        out += "duration: " + runningTimeText(*d.durationMs) + "\n";
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

Json targetJson(const Report& r, const TargetSizes& t, const Options& o) {
    Json j;
    j["format"] = formatName(t.format);
    j["standard"] = t.pal ? "PAL" : "NTSC";
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
        j["ffmpeg"] = ffmpegJson(r, t, o);
        j["ffmpeg_par"] = t.aspect ? Json(parName(o.par)) : Json();
    }
    return j;
}

// Each aspect error to six decimals, as in the text. The dump writes the
// shortest text of the same double; only the digits after the key change.
// The key's quotes cannot come from a string value, where they are escaped.
void sixDecimals(std::string& text) {
    const std::string key = std::string("\"") + kAspectErrorKey + "\":";
    for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
        at += key.size();
        const auto end = text.find_first_of(",}", at);
        double value = 0;
        const auto [parsed, ec] = std::from_chars(text.data() + at, text.data() + end, value);
        if (ec != std::errc{} || parsed != text.data() + end)
            continue; // null
        text.replace(at, end - at, fixed(value, 6));
    }
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

std::optional<std::string> ffmpegFilter(const TargetSizes& t) {
    const FrameSize m = t.movie;
    const Ratio pixel = t.pixelAspect;
    if (!t.aspect || m.width <= 0 || m.height <= 0 || m.width > t.tv.width ||
        m.height > t.tv.height)
        return std::nullopt;
    return "scale=" + std::to_string(m.width) + ":" + std::to_string(m.height) +
           ",pad=" + std::to_string(t.tv.width) + ":" + std::to_string(t.tv.height) + ":" +
           std::to_string((t.tv.width - m.width) / 2) + ":" +
           std::to_string((t.tv.height - m.height) / 2) + ",setsar=" + std::to_string(pixel.num) +
           "/" + std::to_string(pixel.den);
}

std::string runningTimeText(std::uint64_t ms) {
    const auto two = [](std::uint64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    const std::uint64_t seconds = ms / 1000;
    const std::uint64_t millis = ms % 1000;
    return std::to_string(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60) +
           "." + (millis < 100 ? "0" : "") + two(millis);
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

std::string validUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t n = utf8Length(bytes);
        out.append(n == 0 ? kReplacement : bytes.substr(0, n));
        bytes.remove_prefix(n == 0 ? 1 : n);
    }
    return out;
}

Json jsonNumber(double value) {
    if (!std::isfinite(value))
        return nullptr; // JSON has no number for it
    // A whole number is written as one ("25", not "25.0").
    if (std::trunc(value) == value && std::fabs(value) < 0x1p53)
        return static_cast<std::int64_t>(value);
    return value;
}

std::string dumpJson(const Json& j) {
    // Strings were made valid UTF-8 on the way in; replace is a second net.
    std::string text = j.dump(-1, ' ', false, Json::error_handler_t::replace);
    // A replaced byte shows as the escape \ufffd in the raw line.
    for (auto at = text.find(kReplacement); at != std::string::npos;
         at = text.find(kReplacement, at))
        text.replace(at, kReplacement.size(), "\\ufffd");
    sixDecimals(text);
    return text;
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
    for (const TargetSizes& t : r.targets) {
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
            out += ffmpegText(r, t, o);
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
    for (const TargetSizes& t : r.targets)
        j["targets"].push_back(targetJson(r, t, o));
    j["error"] = orNull(r.error);
    return dumpJson(j) + "\n";
}

} // namespace quorvel::info
