// The encoding proof's planner: given what a source is (as key=value
// arguments), prints one JSON line with the disc plan and the ffmpeg command
// for one format and standard. It stands in for quorvel-info until that prints
// the command; proof.py reads the same members from either.
//
// The Movie size comes from a small fit of its own: the source's picture as it
// shows (pixel shape, crop, turn) into the frame's 4:3 or 16:9, halves to even.
//
// Bytes of 0x80 and above are written as \udcXX, so that Python's
// surrogateescape gives the exact bytes of every path back.

#include "disc/budget.h"
#include "disc/ffmpeg_command.h"
#include "disc/rate_plan.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

using namespace quorvel;
using namespace quorvel::disc;

namespace {

void appendJson(std::string& out, std::string_view bytes) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c >= 0x80) {
            out += "\\udc";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "proof_driver: %s\n", why.c_str());
    std::exit(2);
}

std::int64_t integer(std::string_view text) {
    if (text.empty())
        fail("empty number");
    std::int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            fail("not a number: " + std::string(text));
        v = v * 10 + (c - '0');
    }
    return v;
}

std::optional<Fraction> fraction(std::string_view text, char sep = '/') {
    if (text.empty() || text == "none")
        return std::nullopt;
    const std::size_t at = text.find(sep);
    if (at == std::string_view::npos)
        return Fraction{integer(text), 1};
    return Fraction{integer(text.substr(0, at)), integer(text.substr(at + 1))};
}

// n/d to the nearest whole number, halves to even (both positive).
std::int64_t roundHalfEven(std::int64_t n, std::int64_t d) {
    const std::int64_t q = n / d, r = n % d;
    if (2 * r > d || (2 * r == d && q % 2 != 0))
        return q + 1;
    return q;
}

} // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> arg;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const std::size_t eq = a.find('=');
        if (eq == std::string_view::npos)
            fail("arguments are key=value: " + std::string(a));
        arg[std::string(a.substr(0, eq))] = std::string(a.substr(eq + 1));
    }
    const auto get = [&](const char* key, const char* fallback = "") {
        const auto it = arg.find(key);
        return it == arg.end() ? std::string(fallback) : it->second;
    };

    const Format format = get("format") == "vcd"    ? Format::Vcd
                          : get("format") == "svcd" ? Format::Svcd
                                                    : Format::Dvd;
    const Standard standard = get("standard") == "ntsc" ? Standard::Ntsc : Standard::Pal;
    const int dvdWidth = static_cast<int>(integer(get("dvd_width", "720")));

    SourceTiming timing;
    timing.rate = fraction(get("rate", "none"));
    timing.variableRate = get("vfr", "0") == "1";
    if (get("scan") == "p")
        timing.scan = media::Scan::Progressive;
    else if (get("scan") == "i")
        timing.scan = media::Scan::Interlaced;
    if (get("order") == "tff")
        timing.fieldOrder = media::FieldOrder::TopFirst;
    else if (get("order") == "bff")
        timing.fieldOrder = media::FieldOrder::BottomFirst;
    timing.pulldown = get("pulldown", "0") == "1";
    timing.filmRate = fraction(get("film", "none"));
    SourceAudio sound;
    if (get("audio") == "none")
        sound.present = false;
    const RatePlan plan = planRate(timing, format, standard, sound);

    // The stand-in fit.
    std::int64_t width = integer(get("width")), height = integer(get("height"));
    std::optional<media::Crop> crop;
    if (const std::string c = get("crop"); !c.empty()) {
        media::Crop k;
        std::uint32_t* sides[] = {&k.left, &k.top, &k.right, &k.bottom};
        std::size_t from = 0;
        for (std::uint32_t* side : sides) {
            const std::size_t comma = c.find(',', from);
            *side = static_cast<std::uint32_t>(integer(c.substr(from, comma - from)));
            from = comma == std::string::npos ? c.size() : comma + 1;
        }
        crop = k;
        width -= k.left + k.right;
        height -= k.top + k.bottom;
    }
    const Fraction sar = fraction(get("sar", "1:1"), ':').value_or(Fraction{1, 1});
    const int rotation = static_cast<int>(integer(get("rotation", "0")));
    std::int64_t shownW = width * sar.num, shownH = height * sar.den;
    if (rotation % 180 != 0)
        std::swap(shownW, shownH);
    const FrameSize tv = discFrame(format, standard, dvdWidth);
    // Wider than the geometric middle of 4:3 and 16:9: (w/h)^2 > 64/27.
    const bool wide = allowsWide(format, dvdWidth) && 27 * shownW * shownW > 64 * shownH * shownH;
    const std::int64_t an = wide ? 16 : 4, ad = wide ? 9 : 3;
    FrameSize movie = tv;
    if (shownW * ad > an * shownH)
        movie.height = static_cast<int>(roundHalfEven(tv.height * an * shownH, ad * shownW));
    else
        movie.width = static_cast<int>(roundHalfEven(tv.width * ad * shownW, an * shownH));

    const AudioResult audio =
        audioFor(format, arg.count("audio_kbps")
                             ? std::optional<int>(static_cast<int>(integer(get("audio_kbps"))))
                             : std::nullopt);
    if (!audio.audio)
        fail(audio.error);

    std::optional<int> videoKbps;
    std::string budgetLines;
    if (const std::string discText = get("disc"); !discText.empty()) {
        const DiscChoiceResult disc = parseDisc(discText);
        if (!disc.disc)
            fail(disc.error);
        BudgetRequest request;
        request.format = format;
        request.standard = standard;
        request.disc = *disc.disc;
        request.audioKbps = audio.audio->kbps;
        request.dvdWidth = dvdWidth;
        BudgetInput input{get("path"), std::nullopt, plan.speed};
        if (const std::string ms = get("duration_ms"); !ms.empty())
            input.durationMs = static_cast<std::uint64_t>(integer(ms));
        request.inputs.push_back(input);
        const Budget budget = planBudget(request);
        if (!budget.ok())
            fail(budget.error);
        if (!budget.discs.empty() && budget.discs.front().planned &&
            budget.discs.front().discsNeeded == 1)
            videoKbps = budget.discs.front().videoKbps;
        for (const std::string& line : describeBudget(budget, request)) {
            if (!budgetLines.empty())
                budgetLines += ',';
            appendJson(budgetLines, line);
        }
    }

    CommandInput in;
    in.inputPath = get("path");
    in.outputDir = get("out");
    in.format = format;
    in.standard = standard;
    in.tv = tv;
    in.movie = movie;
    in.wide = wide;
    in.crop = crop;
    in.rotation = rotation;
    in.hasAudio = sound.present;
    in.plan = plan;
    in.videoKbps = videoKbps;
    in.audioKbps = audio.audio->kbps;
    // The proof's sources run two seconds.
    in.runningMs = discRunningMs(2000, plan.speed);
    const CommandResult result = buildCommand(in);
    if (!result.command)
        fail(result.error);
    const FfmpegCommand& cmd = *result.command;

    std::string out = "{\"row\":";
    appendJson(out, rowName(plan.row));
    out += ",\"tv\":{\"width\":" + std::to_string(tv.width) +
           ",\"height\":" + std::to_string(tv.height) + "}";
    // The picture the command scales to: an interlaced stream's may be a line
    // or two off the fit.
    out += ",\"movie\":{\"width\":" + std::to_string(cmd.movie.width) +
           ",\"height\":" + std::to_string(cmd.movie.height) + "}";
    out += std::string(",\"aspect\":\"") + (wide ? "16:9" : "4:3") + "\"";
    out += ",\"rate\":\"" + rateText(plan.outputRate) + "\"";
    out += std::string(",\"field_order\":\"") +
           (!plan.interlaced                                 ? "progressive"
            : plan.fieldOrder == media::FieldOrder::TopFirst ? "tt"
                                                             : "bb") +
           "\"";
    out += ",\"speed\":\"" + rateText(plan.speed) + "\"";
    out += ",\"video_kbps\":" + std::to_string(format == Format::Vcd
                                                   ? kVcdVideoKbps
                                                   : videoKbps.value_or(usualVideoKbps(format)));
    out += ",\"peak_kbps\":" + std::to_string(peakVideoKbps(format, audio.audio->kbps));
    out += ",\"audio\":{\"codec\":\"" + std::string(audio.audio->codec) +
           "\",\"kbps\":" + std::to_string(audio.audio->kbps) +
           ",\"sample_rate\":" + std::to_string(audio.audio->sampleRate) + "}";
    out += ",\"note\":";
    appendJson(out, plan.note);
    out += ",\"warning\":";
    appendJson(out, plan.warning);
    out += ",\"budget\":[" + budgetLines + "]";
    out += ",\"ffmpeg\":{\"filter\":";
    appendJson(out, cmd.filter);
    out += ",\"args\":[";
    for (std::size_t i = 0; i < cmd.args.size(); ++i) {
        if (i > 0)
            out += ',';
        appendJson(out, cmd.args[i]);
    }
    out += "],\"command\":";
    appendJson(out, cmd.command);
    out += ",\"output\":";
    appendJson(out, cmd.output);
    out += ",\"then\":[";
    const std::vector<std::string> then = cmd.then();
    for (std::size_t i = 0; i < then.size(); ++i) {
        if (i > 0)
            out += ',';
        appendJson(out, then[i]);
    }
    out += "],\"flags\":";
    if (cmd.remux)
        appendJson(out, flagModeName(cmd.remux->flags));
    else
        out += "null";
    out += "}}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
