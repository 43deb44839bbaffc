#include "info/report.h"

#include <charconv>

namespace quorvel::info {

namespace {

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

const char* aspectName(const Options& o) {
    if (o.par == PixelShape::Square)
        return nullptr;
    return o.aspect == DisplayAspect::Wide ? "16:9" : "4:3";
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

std::string shapeNote(const TargetSizes& t, const Options& o) {
    std::string note;
    if (o.par != PixelShape::Square) {
        note += o.par == PixelShape::Itu ? "ITU " : "plain ";
        note += aspectName(o);
        note += ", pixel " + std::to_string(t.pixelAspect.num) + ":" +
                std::to_string(t.pixelAspect.den);
    }
    if (o.mod != 0)
        note += (note.empty() ? "" : ", ") + std::string("mod ") + std::to_string(o.mod);
    return note.empty() ? note : " (" + note + ")";
}

// One line: the window counts pixels, the picture shows otherwise.
std::string shapeAdvice(const SourceDetails& s) {
    std::string how;
    if (s.sar && s.sar->num != s.sar->den)
        how = "pixel " + std::to_string(s.sar->num) + ":" + std::to_string(s.sar->den);
    if (s.rotation != 0)
        how += (how.empty() ? "" : ", ") + std::string("turned ") + std::to_string(s.rotation) +
               " degrees";
    return "note: the picture shows as " + size(s.displayWidth, s.displayHeight) + " (" + how +
           "); these sizes count its pixels, --par plain or --par itu fits its shape\n";
}

// A small writer that puts the commas between members.
class JsonObject {
public:
    explicit JsonObject(std::string& out) : out_(out) { out_ += '{'; }
    void close() { out_ += '}'; }

    std::string& key(const char* name) {
        if (!first_)
            out_ += ',';
        first_ = false;
        appendJsonString(out_, name);
        out_ += ':';
        return out_;
    }
    void string(const char* name, std::string_view value) { appendJsonString(key(name), value); }
    void integer(const char* name, std::int64_t value) { key(name) += std::to_string(value); }
    void null(const char* name) { key(name) += "null"; }
    void size(const char* name, FrameSize s) {
        JsonObject o(key(name));
        o.integer("width", s.width);
        o.integer("height", s.height);
        o.close();
    }

private:
    std::string& out_;
    bool first_ = true;
};

void appendSourceJson(JsonObject& j, const std::optional<SourceDetails>& s) {
    if (!s) {
        for (const char* name : {"container", "codec", "sar", "display", "rotation"})
            j.null(name);
        return;
    }
    j.string("container", media::containerName(s->container));
    if (s->codec.empty())
        j.null("codec");
    else
        j.string("codec", s->codec);
    if (s->sar) {
        JsonObject sar(j.key("sar"));
        sar.integer("num", s->sar->num);
        sar.integer("den", s->sar->den);
        sar.close();
    } else {
        j.null("sar");
    }
    {
        JsonObject display(j.key("display"));
        display.integer("width", s->displayWidth);
        display.integer("height", s->displayHeight);
        display.close();
    }
    j.integer("rotation", s->rotation);
}

void appendTargetJson(std::string& out, const TargetSizes& t, const Options& o) {
    JsonObject j(out);
    j.string("format", formatName(t.format));
    j.string("standard", t.pal ? "PAL" : "NTSC");
    j.string("par", parName(o.par));
    if (const char* a = aspectName(o))
        j.string("aspect", a);
    else
        j.null("aspect");
    {
        JsonObject sar(j.key("sar"));
        sar.integer("num", t.pixelAspect.num);
        sar.integer("den", t.pixelAspect.den);
        sar.close();
    }
    j.size("tv", t.tv);
    j.size("movie", t.movie);
    if (o.mod != 0) {
        j.integer("mod", o.mod);
        if (t.aspectError)
            j.key("aspect_error") += fixed(*t.aspectError, 6);
        else
            j.null("aspect_error");
    }
    if (o.ffmpeg) {
        if (const auto filter = ffmpegFilter(t))
            j.string("ffmpeg", *filter);
        else
            j.null("ffmpeg");
        j.string("ffmpeg_par", parName(t.filter ? t.filter->par : o.par));
    }
    j.close();
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
    const FrameSize m = t.filter ? t.filter->movie : t.movie;
    const Ratio pixel = t.filter ? t.filter->pixelAspect : t.pixelAspect;
    if (m.width <= 0 || m.height <= 0 || m.width > t.tv.width || m.height > t.tv.height)
        return std::nullopt;
    return "scale=" + std::to_string(m.width) + ":" + std::to_string(m.height) +
           ",pad=" + std::to_string(t.tv.width) + ":" + std::to_string(t.tv.height) + ":" +
           std::to_string((t.tv.width - m.width) / 2) + ":" +
           std::to_string((t.tv.height - m.height) / 2) + ",setsar=" + std::to_string(pixel.num) +
           "/" + std::to_string(pixel.den);
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

void appendJsonString(std::string& out, std::string_view bytes) {
    out += '"';
    while (!bytes.empty()) {
        const std::size_t n = utf8Length(bytes);
        if (n == 0) {
            out += "\\ufffd";
            bytes.remove_prefix(1);
            continue;
        }
        const auto c = static_cast<unsigned char>(bytes.front());
        if (n > 1)
            out.append(bytes.substr(0, n));
        else if (c == '"')
            out += "\\\"";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\b')
            out += "\\b";
        else if (c == '\f')
            out += "\\f";
        else if (c < 0x20)
            out += hexByte(c, "\\u00");
        else
            out += static_cast<char>(c);
        bytes.remove_prefix(n);
    }
    out += '"';
}

void appendJsonNumber(std::string& out, double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc{} || value != value || value - value != 0.0) {
        out += "null"; // not finite: JSON has no number for it
        return;
    }
    out.append(buffer, end);
}

std::string formatText(const Report& r, const Options& o) {
    std::string out;
    out += (r.kind == InputItem::Size ? "size: " : "path: ") + textEscaped(r.name) + "\n";
    if (r.width && r.height)
        out +=
            "width: " + std::to_string(*r.width) + "\nheight: " + std::to_string(*r.height) + "\n";
    if (r.source && r.source->container != media::Container::Avi)
        out += std::string("container: ") + media::containerName(r.source->container) +
               (r.source->codec.empty() ? "" : ", codec " + textEscaped(r.source->codec)) + "\n";
    if (r.rate) {
        out += "rate: " + std::to_string(r.rate->num) + "/" + std::to_string(r.rate->den);
        out += r.rate->fps ? " (" + fixed(*r.rate->fps, 3) + " fps" +
                                 (r.rate->variable ? ", variable: the average)\n" : ")\n")
                           : " (no frame rate)\n";
    } else if (r.source && r.width) {
        out += "rate: unknown (the file does not say; no class, NTSC unless --standard)\n";
    }
    if (r.rateClass)
        out += std::string("class: ") + rateClassName(*r.rateClass) + "\n";
    if (r.source && r.source->shaped() && o.par == PixelShape::Square)
        out += shapeAdvice(*r.source);
    for (const TargetSizes& t : r.targets) {
        out += std::string(formatName(t.format)) + (t.pal ? " PAL" : " NTSC") + ": TV " +
               size(t.tv.width, t.tv.height) + ", Movie " + size(t.movie.width, t.movie.height) +
               shapeNote(t, o) + "\n";
        if (o.mod != 0) {
            out += "  aspect error: ";
            out += t.aspectError
                       ? (*t.aspectError >= 0 ? "+" : "") + fixed(*t.aspectError * 100.0, 2) + "%\n"
                       : "none (no picture)\n";
        }
        if (o.ffmpeg) {
            const auto filter = ffmpegFilter(t);
            out += "  ffmpeg: " + (filter ? *filter : std::string("none (no picture)")) + "\n";
            if (t.filter)
                out += std::string("  filter uses --par ") + parName(t.filter->par) +
                       "; sizes above are the window's\n";
        }
    }
    if (!r.ok())
        out += "error: " + r.error + "\n";
    return out;
}

std::string formatJson(const Report& r, const Options& o) {
    std::string out;
    JsonObject j(out);
    j.string(r.kind == InputItem::Size ? "size" : "path", r.name);
    if (r.width && r.height) {
        j.integer("width", *r.width);
        j.integer("height", *r.height);
    } else {
        j.null("width");
        j.null("height");
    }
    if (r.rate) {
        JsonObject rate(j.key("rate"));
        rate.integer("num", r.rate->num);
        rate.integer("den", r.rate->den);
        if (r.rate->fps)
            appendJsonNumber(rate.key("fps"), *r.rate->fps);
        else
            rate.null("fps");
        rate.key("variable") += r.rate->variable ? "true" : "false";
        rate.close();
    } else {
        j.null("rate");
    }
    if (r.rateClass)
        j.string("class", rateClassName(*r.rateClass));
    else
        j.null("class");
    appendSourceJson(j, r.source);
    std::string& targets = j.key("targets");
    targets += '[';
    for (std::size_t i = 0; i < r.targets.size(); ++i) {
        if (i > 0)
            targets += ',';
        appendTargetJson(targets, r.targets[i], o);
    }
    targets += ']';
    if (r.ok())
        j.null("error");
    else
        j.string("error", r.error);
    j.close();
    out += '\n';
    return out;
}

} // namespace quorvel::info
