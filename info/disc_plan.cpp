#include "info/disc_plan.h"

#include "info/report.h"

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
