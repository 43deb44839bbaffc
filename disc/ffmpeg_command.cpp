#include "disc/ffmpeg_command.h"

#include "disc/budget.h"
#include "source/utf8.h"

#include <algorithm>
#include <cctype>

namespace quorvel::disc {

namespace {

std::string number(std::int64_t v) {
    return std::to_string(v);
}

std::string kbps(int rate) {
    return number(rate) + "k";
}

bool endsWithMpg(std::string_view name) {
    const auto ends = [&](std::string_view ext) {
        if (name.size() < ext.size())
            return false;
        for (std::size_t i = 0; i < ext.size(); ++i) {
            const auto c = static_cast<unsigned char>(name[name.size() - ext.size() + i]);
            if (std::tolower(c) != ext[i])
                return false;
        }
        return true;
    };
    return ends(".mpg") || ends(".mpeg");
}

// "crop=iw-L-R:ih-T-B:L:T", or nothing when nothing is cropped. The source's
// fields, kept or reaching the deinterlacer, keep their parity, of the luma
// and of 4:2:0's chroma lines (two luma lines of one field each): the top and
// bottom crops are made multiples of 4, showing up to 3 lines of border
// rather than swapping the fields or their colours.
std::string cropStep(const CommandInput& in) {
    if (!in.crop)
        return {};
    media::Crop c = turnedCrop(*in.crop, in.rotation);
    const bool fields = in.plan.keepsFields || in.plan.row == Row::I25 || in.plan.row == Row::I30;
    if (fields) {
        c.top &= ~3u;
        c.bottom &= ~3u;
    }
    if (c == media::Crop{})
        return {};
    const auto side = [](std::uint32_t a, std::uint32_t b, const char* whole) {
        const std::uint64_t sum = std::uint64_t{a} + b;
        return sum == 0 ? std::string(whole) : std::string(whole) + "-" + std::to_string(sum);
    };
    return "crop=" + side(c.left, c.right, "iw") + ":" + side(c.top, c.bottom, "ih") + ":" +
           std::to_string(c.left) + ":" + std::to_string(c.top);
}

// 12 film frames show 30 fields under 2:3 pulldown, wherever the GOP starts
// in the cycle: within DVD's 36.
constexpr int kSoftPulldownGop = 12;

} // namespace

media::Crop turnedCrop(const media::Crop& c, int rotation) {
    switch (((rotation % 360) + 360) % 360) {
    case 90: // the left edge comes to the top
        return {c.bottom, c.left, c.top, c.right};
    case 180:
        return {c.right, c.bottom, c.left, c.top};
    case 270: // the right edge comes to the top
        return {c.top, c.right, c.bottom, c.left};
    default:
        return c;
    }
}

std::string outputPath(std::string_view inputPath, std::string_view outputDir) {
    const std::size_t slash = inputPath.find_last_of('/');
    std::string_view base =
        slash == std::string_view::npos ? inputPath : inputPath.substr(slash + 1);
    const bool wasMpg = endsWithMpg(base);
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0)
        base = base.substr(0, dot);
    std::string name = base.empty() || base == "." || base == ".." ? "output" : std::string(base);
    name += wasMpg ? ".disc.mpg" : ".mpg";
    if (outputDir.empty())
        return name;
    std::string path(outputDir);
    if (path.back() != '/')
        path += '/';
    return path + name;
}

StreamPaths streamPaths(std::string_view output, Format format) {
    const std::size_t slash = output.find_last_of('/');
    const std::size_t dot = output.find_last_of('.');
    const bool extension = dot != std::string_view::npos && dot > 0 &&
                           (slash == std::string_view::npos || dot > slash + 1);
    const std::string base(extension ? output.substr(0, dot) : output);
    return {base + ".m2v", base + (format == Format::Dvd ? ".ac3" : ".mp2")};
}

const char* flagModeName(media::mpeg::FlagMode mode) {
    return mode == media::mpeg::FlagMode::SoftPulldown ? "pulldown" : "progressive";
}

std::string mplexOutput(std::string_view path) {
    std::string out;
    for (const char c : plainPath(path)) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

std::string plainPath(std::string_view path) {
    if (path.starts_with('-'))
        return "./" + std::string(path);
    return std::string(path);
}

std::vector<std::string> FfmpegCommand::then() const {
    if (!remux)
        return {};
    return {commandLine(remux->rewriteArgs), commandLine(remux->mplexArgs)};
}

std::vector<std::string> FfmpegCommand::lines() const {
    std::vector<std::string> all = then();
    all.insert(all.begin(), command);
    return all;
}

std::string ffmpegPath(std::string_view path) {
    const std::size_t colon = path.find(':');
    const bool protocol = colon != std::string_view::npos &&
                          path.substr(0, colon).find('/') == std::string_view::npos;
    if (path.empty() || path.front() == '-' || protocol)
        return "file:" + std::string(path);
    return std::string(path);
}

std::string shellQuote(std::string_view arg) {
    const auto plain = [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return std::isalnum(c) != 0 ||
               std::string_view("_@%+=:,./-").find(ch) != std::string_view::npos;
    };
    bool safe = !arg.empty();
    for (const char ch : arg)
        safe = safe && plain(ch);
    if (safe)
        return std::string(arg);
    std::string out = "'";
    for (const char ch : arg) {
        if (ch == '\'')
            out += "'\\''";
        else
            out += ch;
    }
    return out + "'";
}

std::string shellLine(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        line += shellQuote(arg);
    }
    return line;
}

std::string commandLine(const std::vector<std::string>& args) {
    const std::string line = shellLine(args);
    const auto printable = [](std::string_view rest) {
        const auto c = static_cast<unsigned char>(rest.front());
        return c >= 0x80 ? utf8Length(rest) : (c >= 0x20 && c != 0x7F ? 1 : 0);
    };
    bool plain = true;
    for (std::string_view rest = line; plain && !rest.empty();) {
        const std::size_t n = printable(rest);
        plain = n > 0;
        rest.remove_prefix(n);
    }
    if (plain)
        return line;
    std::string format;
    for (std::string_view rest = line; !rest.empty();) {
        const std::size_t n = printable(rest);
        const char c = rest.front();
        if (n > 0 && c != '\\' && c != '%' && c != '\'') {
            format += rest.substr(0, n);
            rest.remove_prefix(n);
            continue;
        }
        const auto b = static_cast<unsigned char>(c);
        format += {'\\', static_cast<char>('0' + (b >> 6)), static_cast<char>('0' + ((b >> 3) & 7)),
                   static_cast<char>('0' + (b & 7))};
        rest.remove_prefix(1);
    }
    return "eval \"$(printf '" + format + "')\"";
}

Placement placePicture(FrameSize tv, FrameSize movie, bool interlaced) {
    // Each field gets the same whole chroma lines, and the picture starts on
    // the top field's chroma line: the height is the nearest multiple of 4
    // (down on a tie, 4 at least), and so is the top border (up on a tie).
    if (interlaced && movie.height > 0 && movie.height <= tv.height) {
        const int lines = std::min(std::max(4, (movie.height + 1) / 4 * 4), tv.height / 4 * 4);
        if (lines >= 4)
            movie.height = lines;
    }
    int top = (tv.height - movie.height) / 2;
    if (interlaced)
        top = std::min((top + 2) / 4 * 4, (tv.height - movie.height) / 4 * 4);
    return {movie, (tv.width - movie.width) / 2, top};
}

namespace {

// "12.345"
std::string seconds(std::uint64_t ms) {
    std::string frac = std::to_string(ms % 1000);
    frac.insert(0, 3 - frac.size(), '0');
    return std::to_string(ms / 1000) + "." + frac;
}

// ffmpeg, reading the input (or its clip).
std::vector<std::string> inputArgs(const CommandInput& in) {
    // -nostdin: ffmpeg reads a shared standard input as key presses, and a
    // list of commands piped into a shell would lose the ones after it.
    std::vector<std::string> a = {"ffmpeg", "-nostdin"};
    // Before -i: ffmpeg seeks, then decodes from the keyframe before and drops
    // what comes before the start, so the cut is exact to the frame.
    if (in.clip)
        a.insert(a.end(), {"-ss", seconds(in.clip->startMs), "-t", seconds(in.clip->lengthMs)});
    a.insert(a.end(), {"-i", ffmpegPath(in.inputPath)});
    return a;
}

// ffmpeg's own GOP for the target, or soft pulldown's.
int gopFrames(const CommandInput& in) {
    if (in.plan.softPulldown())
        return kSoftPulldownGop;
    return in.standard == Standard::Pal ? 15 : 18;
}

} // namespace

std::vector<std::string> needArgs(const CommandInput& in, const FfmpegCommand& made,
                                  const std::string& output) {
    std::vector<std::string> a = inputArgs(in);
    const FrameSize tv = in.tv;
    const std::string codec = in.format == Format::Vcd ? "mpeg1video" : "mpeg2video";
    a.insert(a.end(),
             {"-map", "0:v:0", "-vf", made.filter, "-an", "-c:v", codec, "-r",
              rateText(in.plan.codedRate()), "-s", number(tv.width) + "x" + number(tv.height),
              "-qscale:v", number(kNeedQuantiser), "-g", number(gopFrames(in)), "-bf", "2"});
    if (in.plan.interlaced)
        a.insert(a.end(), {"-flags", "+ildct+ilme", "-top",
                           in.plan.fieldOrder == media::FieldOrder::TopFirst ? "1" : "0"});
    a.insert(a.end(), {"-f", codec, ffmpegPath(output)});
    return a;
}

CommandResult buildCommand(const CommandInput& in) {
    const FrameSize tv = in.tv;
    FrameSize movie = in.movie;
    if (tv.width <= 0 || tv.height <= 0 || movie.width <= 0 || movie.height <= 0 ||
        movie.width > tv.width || movie.height > tv.height)
        return {std::nullopt, "the picture " + number(movie.width) + "x" + number(movie.height) +
                                  " does not fit the frame " + number(tv.width) + "x" +
                                  number(tv.height)};
    if (in.wide && !allowsWide(in.format, tv.width))
        return {std::nullopt,
                aFormat(in.format) + " frame of " + number(tv.width) + " columns is 4:3 only"};
    const AudioResult audio = audioFor(in.format, in.audioKbps);
    if (!audio.audio)
        return {std::nullopt, audio.error};
    const int peak = peakVideoKbps(in.format, audio.audio->kbps);
    int video = in.videoKbps.value_or(usualVideoKbps(in.format));
    if (in.format == Format::Vcd)
        video = kVcdVideoKbps;
    if (video <= 0 || video > peak)
        return {std::nullopt, "a video rate of " + number(video) + " kbit/s is outside " +
                                  formatName(in.format) + "'s 1 to " + number(peak)};

    const Placement place = placePicture(tv, movie, in.plan.interlaced);
    movie = place.movie;
    const int padTop = place.top;
    const int padLeft = place.left;
    const Fraction sar = in.pixel.value_or(framePixelAspect(tv, in.wide));

    std::vector<std::string> steps;
    if (std::string crop = cropStep(in); !crop.empty())
        steps.push_back(std::move(crop));
    for (const std::string& step : in.plan.steps)
        steps.push_back(step);
    // Only the source's own fields are scaled as fields; fields made of
    // progressive frames are made after the scale.
    steps.push_back("scale=" + number(movie.width) + ":" + number(movie.height) +
                    (in.plan.keepsFields ? ":interl=1" : ""));
    for (const std::string& step : in.plan.afterScale)
        steps.push_back(step);
    steps.push_back("pad=" + number(tv.width) + ":" + number(tv.height) + ":" + number(padLeft) +
                    ":" + number(padTop));
    steps.push_back("setsar=" + number(sar.num) + "/" + number(sar.den));
    // MPEG's own 4:2:0, made by the scale above where it knows the fields.
    steps.push_back("format=yuv420p");

    FfmpegCommand cmd;
    cmd.movie = movie;
    for (const std::string& step : steps)
        cmd.filter += (cmd.filter.empty() ? "" : ",") + step;
    cmd.output = in.output.empty() ? outputPath(in.inputPath, in.outputDir) : in.output;

    const bool remux = in.plan.flags.has_value();
    if (remux && in.hasAudio == false && !in.runningMs)
        return {std::nullopt, "the running time is unknown, so no silence can be made to go "
                              "with the picture"};
    auto& a = cmd.args;
    a = inputArgs(in);
    // vcdimager wants an audio stream and DVD players expect one: a source
    // without sound gets silence, which ends with the picture.
    const std::string silence =
        "anullsrc=channel_layout=stereo:sample_rate=" + number(audio.audio->sampleRate);
    if (in.hasAudio == false)
        a.insert(a.end(), {"-f", "lavfi", "-i", silence});
    if (in.hasAudio == false && !remux)
        a.insert(a.end(), {"-map", "0:v:0", "-map", "1:a:0", "-shortest"});
    if (remux)
        a.insert(a.end(), {"-map", "0:v:0"});
    // Samples follow the time stamps: a source's jittered ones (Vorbis, Opus)
    // would otherwise make the multiplexed audio's time stamps jump.
    std::string audioFilter = "aresample=async=1";
    if (in.plan.changesSpeed())
        audioFilter += ",atempo=" + number(in.plan.speed.num) + "/" + number(in.plan.speed.den);
    // Stereo always: mono MP2 at 224 kbit/s is no Layer II stream, and 5.1 AC-3
    // at the usual rate is too thin.
    const std::vector<std::string> sound = {"-b:a", kbps(audio.audio->kbps), "-ac", "2"};
    if (in.copyVideo) {
        a.insert(a.end(), {"-c:v", "copy"});
        cmd.filter.clear();
    } else {
        a.insert(a.end(), {"-vf", cmd.filter});
        if (!remux)
            a.insert(a.end(), {"-af", audioFilter});
        // -target first: the settings after it replace its own.
        a.insert(a.end(),
                 {"-target", targetName(in.format, in.standard), "-r",
                  rateText(in.plan.codedRate()), "-s", number(tv.width) + "x" + number(tv.height),
                  "-aspect", in.wide ? "16:9" : "4:3", "-b:v", kbps(video)});
        // :v as -target names them, or its own would stay.
        if (in.format == Format::Vcd)
            a.insert(a.end(), {"-minrate:v", kbps(video)});
        a.insert(a.end(), {"-maxrate:v", kbps(peak)});
        if (in.plan.softPulldown())
            a.insert(a.end(), {"-g", number(gopFrames(in))});
        if (!remux)
            a.insert(a.end(), sound.begin(), sound.end());
        // -target svcd states no mux rate and ffmpeg's own is far above a 2x CD.
        if (in.format == Format::Svcd && !remux)
            a.insert(a.end(), {"-muxrate", number(kSvcdMuxBitsPerSecond)});
        if (in.plan.interlaced)
            a.insert(a.end(), {"-flags", "+ildct+ilme", "-top",
                               in.plan.fieldOrder == media::FieldOrder::TopFirst ? "1" : "0"});
    }
    if (remux) {
        Remux r;
        r.streams = streamPaths(cmd.output, in.format);
        if (!in.videoStream.empty())
            r.streams = {in.videoStream, in.audioStream};
        const std::string codec(audio.audio->codec);
        a.insert(a.end(), {"-an", "-f", "mpeg2video", ffmpegPath(r.streams.video), "-map",
                           in.hasAudio == false ? "1:a:0" : "0:a:0", "-af", audioFilter, "-c:a",
                           codec, "-ar", number(audio.audio->sampleRate)});
        a.insert(a.end(), sound.begin(), sound.end());
        if (in.hasAudio == false)
            a.insert(a.end(), {"-t", seconds(*in.runningMs)});
        a.insert(a.end(), {"-vn", "-f", codec, ffmpegPath(r.streams.audio)});
        r.flags = *in.plan.flags;
        r.rewriteArgs = {"quorvel-disc", "--rewrite-flags", flagModeName(r.flags),
                         plainPath(r.streams.video)};
        // -f 8: DVD with its navigation packs. -R 5: the decoder starts a
        // fifth of a second after the first pack (mplex's own run-in is too
        // short for ffmpeg's large first pictures, and the multiplex then
        // under-runs).
        r.mplexArgs = {"mplex", "-v", "0", "-f", "8", "-R", "5", "-o", mplexOutput(cmd.output)};
        r.mplexArgs.push_back(plainPath(r.streams.video));
        r.mplexArgs.push_back(plainPath(r.streams.audio));
        cmd.remux = std::move(r);
    } else {
        a.push_back(ffmpegPath(cmd.output));
    }
    cmd.command = commandLine(a);
    return {cmd, {}};
}

} // namespace quorvel::disc
