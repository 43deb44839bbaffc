#include "make/engine.h"

#include "make/options.h"
#include "make/process.h"
#include "make/readback.h"
#include "source/avi/avi_library.h"
#include "source/avi/avi_platform.h"
#include "source/media/media_probe.h"
#include "source/media/mpeg_flags.h"
#include "source/utf8.h"

#include <QByteArray>
#include <QLocale>
#include <QXmlStreamWriter>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

namespace quorvel::make {

namespace fs = std::filesystem;

namespace {

// An overfull disc is re-encoded at most this often before giving up.
constexpr int kMaxRefits = 3;
// Below this no refit is tried: the picture would not be worth the disc.
constexpr int kMinRefitKbps = 300;
// A measured need is at most this (noise at the finest quantiser): any disc's
// peak is far below.
constexpr std::uint64_t kMaxNeedKbps = 1'000'000;
// An encode's running time may differ from the plan's by a few frames
// (the encoder's last GOP) or a fiftieth, whichever is more.
constexpr std::uint64_t kEncodeSlackMs = 500;
// lsdvd's titles against the encoded streams: the authoring rounds to whole
// frames and lsdvd to milliseconds.
constexpr std::uint64_t kReadBackSlackMs = 80;

// "07": appended, not prepended, which GCC 12 takes for an overlapping copy.
std::string two(std::size_t n) {
    std::string text = n < 10 ? "0" : "";
    text += std::to_string(n);
    return text;
}

// "b3": a menu button's name.
QString buttonName(std::size_t i) {
    return QString::number(i + 1).prepend(u'b');
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::uint64_t distance(std::uint64_t a, std::uint64_t b) {
    return a > b ? a - b : b - a;
}

// The last line ffmpeg or a tool wrote to standard error.
std::string lastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::size_t nl = text.find_last_of('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

} // namespace

std::vector<Tool> toolsFor(disc::Format format, bool menu) {
    if (format == disc::Format::Dvd && menu)
        return {{"ffmpeg", "ffmpeg"},    {"mplex", "mjpegtools"},        {"dvdauthor", "dvdauthor"},
                {"spumux", "dvdauthor"}, {"genisoimage", "genisoimage"}, {"lsdvd", "lsdvd"}};
    if (format == disc::Format::Dvd)
        return {{"ffmpeg", "ffmpeg"},
                {"mplex", "mjpegtools"},
                {"dvdauthor", "dvdauthor"},
                {"genisoimage", "genisoimage"},
                {"lsdvd", "lsdvd"}};
    return {{"ffmpeg", "ffmpeg"}, {"vcdxbuild", "vcdimager"}, {"vcd-info", "vcdimager"}};
}

std::string missingTools(disc::Format format, bool menu) {
    std::string missing;
    for (const Tool& t : toolsFor(format, menu))
        if (findProgram(t.program).empty())
            missing += std::string(missing.empty() ? "" : "; ") + t.program +
                       " is needed: install the Debian package " + t.package;
    return missing;
}

struct Engine::Encode {
    std::size_t input = 0;
    bool need = false; // the first pass that measures what the input needs
    std::vector<std::string> args;
    std::string line; // the commands as shell lines: the marker's content
    std::optional<disc::Remux> remux;
    Process process;
    FfmpegProgress progress;
};

Engine::Engine(MakeRequest request, disc::Plan plan, Listener listener)
    : request_(std::move(request)), plan_(std::move(plan)), listener_(std::move(listener)) {
    format_ = request_.plan.formats.front();
    const std::size_t n = plan_.inputs.size();
    jobs_.resize(n);
    videoKbps_.resize(n);
    runningMs_.resize(n);
    streamBytes_.resize(n);
    needKbps_.resize(n);
    begun_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const disc::TargetPlan& t = plan_.inputs[i].targets.front();
        videoKbps_[i] = t.streams ? t.streams->videoKbps : 0;
        const disc::PlanSource& s = request_.sources[i];
        if (s.durationMs && t.rate)
            runningMs_[i] = disc::discRunningMs(*s.durationMs, t.rate->speed);
        jobs_[i].totalMs = runningMs_[i];
    }
}

std::uint64_t Engine::elapsedMs() const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - started_)
                                          .count());
}

std::string Engine::workPath(const std::string& name) const {
    return (fs::path(request_.work) / name).string();
}

std::string Engine::trackName(std::size_t i) const {
    return "title-" + two(i + 1) + ".mpg";
}

bool Engine::fail(std::string sentence) {
    Event e;
    e.kind = Event::Kind::Error;
    e.text = std::move(sentence);
    listener_(e);
    return false;
}

std::optional<disc::CommandResult> Engine::command(std::size_t i) const {
    const disc::TargetPlan& t = plan_.inputs[i].targets.front();
    if (!t.commandInput)
        return t.command;
    disc::CommandInput in = *t.commandInput;
    in.output = workPath(trackName(i) + ".part");
    const disc::StreamPaths streams = disc::streamPaths(workPath(trackName(i)), format_);
    in.videoStream = streams.video;
    in.audioStream = streams.audio;
    in.videoKbps = videoKbps_[i];
    return disc::buildCommand(in);
}

std::string Engine::commandLine(std::size_t i) const {
    const std::optional<disc::CommandResult> made = command(i);
    std::string lines;
    if (made && made->command)
        for (const std::string& line : made->command->lines())
            lines += (lines.empty() ? "" : "\n") + line;
    return lines;
}

int Engine::run(const std::atomic<bool>& stop) {
    started_ = std::chrono::steady_clock::now();
    std::error_code ec;
    fs::create_directories(request_.work, ec);
    if (ec)
        return fail("cannot make the work folder " + request_.work + ": " + ec.message()), 1;
    // No work file may be an input: a folder of .mpg files given as --work.
    for (std::size_t i = 0; i < request_.sources.size(); ++i)
        for (const disc::PlanSource& s : request_.sources)
            if (fs::weakly_canonical(workPath(trackName(i)), ec) ==
                fs::weakly_canonical(s.name, ec))
                return fail("the work folder holds an input named " + trackName(i) +
                            ": give another --work"),
                       1;
    std::vector<std::size_t> all(request_.sources.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    bool ok = true;
    if (sharesByNeed()) {
        Event e;
        e.kind = Event::Kind::Step;
        e.text = "measure";
        listener_(e);
        ok = encodeAll(all, stop, true);
        sharing_ = ok;
        for (std::size_t i = 0; i < jobs_.size(); ++i)
            jobs_[i] = {0, runningMs_[i], false};
    }
    ok = ok && encodeAll(all, stop);
    sharing_ = false;
    ok = ok && fitDisc(stop) && makeMenu(stop) && author(stop) && image(stop) && check(stop);
    if (stopped_)
        return 130;
    if (!ok)
        return 1;
    if (!request_.keep) {
        for (std::size_t i = 0; i < request_.sources.size(); ++i) {
            fs::remove(workPath(trackName(i)), ec);
            fs::remove(workPath(trackName(i) + ".done"), ec);
            fs::remove(workPath(trackName(i) + ".need"), ec);
        }
        for (const char* name :
             {"dvd.xml", "vcd.xml", "disc.cue", "disc.bin", "menu.png", "highlight.png",
              "select.png", "menu-bg.mpg", "menu.mpg", "spumux.xml"})
            fs::remove(workPath(name), ec);
        for (std::size_t i = 0; i < request_.titleNames.size(); ++i)
            fs::remove(workPath("button-" + two(i + 1) + ".txt"), ec);
        fs::remove_all(workPath("dvd"), ec);
        fs::remove(request_.work, ec); // only when nothing else is in it
    }
    return 0;
}

bool Engine::startEncode(Encode& e) {
    if (sharing_)
        share(e.input);
    const std::optional<disc::CommandResult> made = command(e.input);
    if (!made || !made->command)
        return fail(request_.sources[e.input].name + ": " +
                    (made ? made->error : std::string("no command for this input")));
    e.args = made->command->args;
    if (e.need && copied(e.input)) {
        jobs_[e.input].finished = true; // its bits are its own: nothing to measure
        return true;
    }
    if (e.need) {
        e.args = disc::needArgs(*plan_.inputs[e.input].targets.front().commandInput, *made->command,
                                needPath(e.input));
        e.line = disc::commandLine(e.args);
    } else {
        e.remux = made->command->remux;
        e.line = commandLine(e.input);
    }
    jobs_[e.input] = {0, runningMs_[e.input], false};
    begun_[e.input] = !e.need;
    // Measured by an earlier run with the same command: kept.
    if (e.need) {
        const std::optional<std::string> marker = readFile(workPath(trackName(e.input) + ".need"));
        if (marker && marker->starts_with(e.line + "\n")) {
            const char* kbps = marker->data() + e.line.size() + 1;
            std::from_chars(kbps, marker->data() + marker->size(), needKbps_[e.input]);
            jobs_[e.input].finished = true;
            return true;
        }
    }
    // Finished by an earlier run with the same command: kept.
    const std::string mpg = workPath(trackName(e.input));
    const std::optional<std::string> marker = readFile(mpg + ".done");
    std::error_code ec;
    if (!e.need && marker && *marker == e.line + "\n" && fs::is_regular_file(mpg, ec)) {
        jobs_[e.input].finished = true;
        streamBytes_[e.input] = fs::file_size(mpg, ec);
        Event done;
        done.kind = Event::Kind::Encoded;
        done.input = static_cast<int>(e.input);
        done.kept = true;
        listener_(done);
        return true;
    }
    if (!e.need) {
        fs::remove(mpg + ".done", ec);
        fs::remove(mpg, ec);
    }
    std::vector<std::string> args = e.args;
    args.insert(args.begin() + 1, {"-y", "-loglevel", "error", "-nostats", "-progress", "pipe:1"});
    std::string error;
    const bool started = e.process.start(
        {args, {}, {}, {}, {}},
        [this, &e](std::string_view bytes) {
            if (!e.progress.feed(bytes))
                return;
            jobs_[e.input].doneMs = e.progress.doneMs();
            Event moved;
            moved.kind = Event::Kind::Progress;
            moved.input = static_cast<int>(e.input);
            listener_(moved);
        },
        error);
    if (!started)
        return fail("cannot start ffmpeg: " + error);
    return true;
}

bool Engine::finishEncode(Encode& e, const std::atomic<bool>& stop) {
    const std::string mpg = workPath(trackName(e.input));
    const std::string& name = request_.sources[e.input].name;
    std::error_code ec;
    if (e.process.status() != 0) {
        removeParts(e);
        return fail(name + ": ffmpeg failed (status " + std::to_string(e.process.status()) +
                    "): " + lastLine(e.process.errors()));
    }
    if (e.need) {
        // Bits a millisecond are kbit/s.
        const std::uint64_t bytes = fs::file_size(needPath(e.input), ec);
        fs::remove(needPath(e.input), ec);
        if (ec || runningMs_[e.input] == 0)
            return fail(name + ": cannot measure what the input needs");
        needKbps_[e.input] = static_cast<int>(
            std::min<std::uint64_t>(bytes * 8 / runningMs_[e.input], kMaxNeedKbps));
        jobs_[e.input].finished = true;
        return writeFile(workPath(trackName(e.input) + ".need"),
                         e.line + "\n" + std::to_string(needKbps_[e.input]) + "\n") ||
               fail("cannot write " + workPath(trackName(e.input) + ".need"));
    }
    if (e.remux) {
        const media::mpeg::FlagResult flags =
            media::mpeg::rewriteFlagsInFile(e.remux->streams.video, e.remux->flags);
        const std::string ended =
            flags.ok() ? media::mpeg::endSequence(e.remux->streams.video) : std::string();
        const bool made = !flags.ok()      ? fail(name + ": " + flags.summary(e.remux->flags))
                          : !ended.empty() ? fail(name + ": " + ended)
                                           : runTool(e.remux->mplexArgs, {}, stop);
        removeParts(e, !made);
        if (!made)
            return false;
    }
    fs::rename(mpg + ".part", mpg, ec);
    if (ec)
        return fail("cannot keep " + mpg + ": " + ec.message());
    // The stream must run as long as the plan says, or it is not finished.
    const media::FileProbe probe = media::probeFile(avifile::systemAviLibrary(), mpg);
    const std::uint64_t want = runningMs_[e.input];
    const std::uint64_t got = probe.ok() ? probe.video->durationMs.value_or(0) : 0;
    if (got == 0 || (want != 0 && distance(got, want) > std::max(kEncodeSlackMs, want / 50)))
        return fail(name + ": the encoded stream runs " + disc::runningTimeText(got) + " where " +
                    disc::runningTimeText(want) + " was planned");
    if (!writeFile(mpg + ".done", e.line + "\n"))
        return fail("cannot write " + mpg + ".done");
    streamBytes_[e.input] = fs::file_size(mpg, ec);
    jobs_[e.input].finished = true;
    Event done;
    done.kind = Event::Kind::Encoded;
    done.input = static_cast<int>(e.input);
    listener_(done);
    return true;
}

bool Engine::encodeAll(const std::vector<std::size_t>& which, const std::atomic<bool>& stop,
                       bool need) {
    std::size_t next = 0;
    std::vector<std::unique_ptr<Encode>> active;
    bool ok = true;
    while (ok && (next < which.size() || !active.empty())) {
        while (ok && next < which.size() &&
               active.size() < static_cast<std::size_t>(std::max(1, request_.jobs))) {
            auto e = std::make_unique<Encode>();
            e->input = which[next++];
            e->need = need;
            ok = startEncode(*e);
            if (ok && e->process.running())
                active.push_back(std::move(e));
        }
        for (auto it = active.begin(); ok && !stop && it != active.end();) {
            if ((*it)->process.poll(static_cast<int>(100 / active.size()))) {
                // A Ctrl-C reaches ffmpeg too, which then ends with a failure.
                if (stop)
                    break;
                ok = finishEncode(**it, stop);
                it = active.erase(it);
            } else {
                ++it;
            }
        }
        if (stop) {
            stopped_ = true;
            ok = false;
        }
    }
    // Stopped or failed: no half-written stream stays behind.
    std::error_code ec;
    for (auto& e : active) {
        if (!e->process.running() && stop)
            stopped_ = true;
        e->process.stop();
        removeParts(*e);
    }
    return ok;
}

void Engine::removeParts(const Encode& e, bool stream) const {
    std::error_code ec;
    if (e.need) {
        fs::remove(needPath(e.input), ec);
        return;
    }
    if (stream)
        fs::remove(workPath(trackName(e.input) + ".part"), ec);
    if (e.remux) {
        fs::remove(e.remux->streams.video, ec);
        fs::remove(e.remux->streams.audio, ec);
    }
}

std::string Engine::needPath(std::size_t i) const {
    return workPath(trackName(i) + ".need.m2v");
}

bool Engine::copied(std::size_t i) const {
    const disc::TargetPlan& t = plan_.inputs[i].targets.front();
    return t.commandInput && t.commandInput->copyVideo;
}

bool Engine::sharesByNeed() const {
    // Only where the disc holds the rates down, and there is more than one
    // input to share it between.
    if (format_ == disc::Format::Vcd || plan_.inputs.size() < 2 || !plan_.budget ||
        plan_.budget->budget.discs.size() != 1)
        return false;
    const disc::DiscPlan& d = plan_.budget->budget.discs.front();
    return d.planned && d.discsNeeded == 1 && d.videoKbps > 0 && d.videoKbps < d.peakKbps;
}

void Engine::share(std::size_t input) {
    const disc::DiscPlan& d = plan_.budget->budget.discs.front();
    const int audioKbps = plan_.budget->budget.audio ? plan_.budget->budget.audio->kbps : 0;
    std::vector<disc::Need> needs(plan_.inputs.size());
    for (std::size_t i = 0; i < needs.size(); ++i) {
        needs[i] = {runningMs_[i], needKbps_[i], std::nullopt};
        // What an encode under way takes is not known before it ends: its plan.
        if (jobs_[i].finished)
            needs[i].bytes = streamBytes_[i];
        else if (copied(i))
            needs[i].bytes = request_.sources[i].mpeg2->fileBytes;
        else if (begun_[i])
            needs[i].bytes = disc::streamBytes(format_, videoKbps_[i] + audioKbps, runningMs_[i]);
    }
    const std::optional<std::vector<int>> rates =
        disc::shareByNeed(format_, d.usableBytes, audioKbps, needs);
    if (!rates)
        return; // the plan's own rate; the fit after the encodes mends the rest
    videoKbps_[input] = (*rates)[input];
    Event e;
    e.kind = Event::Kind::Share;
    e.input = static_cast<int>(input);
    e.kbps = videoKbps_[input];
    listener_(e);
}

bool Engine::fitDisc(const std::atomic<bool>& stop) {
    const disc::DiscChoice disc = request_.plan.disc.value_or(disc::usualDisc(format_));
    for (int refits = 0;; ++refits) {
        fit_ = disc::fitStreams(format_, disc, streamBytes_);
        Event e;
        e.kind = Event::Kind::Fit;
        e.fits = fit_.fits();
        e.text = fit_.fillText();
        listener_(e);
        if (fit_.fits())
            return true;
        if (format_ == disc::Format::Vcd)
            return fail("the streams take " + fit_.fillText() +
                        "% of the disc, and a VCD's rate is fixed: use a bigger disc or fewer "
                        "inputs");
        // The largest stream that is encoded: a copied one keeps its bits.
        std::size_t largest = 0;
        for (std::size_t i = 0; i < streamBytes_.size(); ++i)
            if (!copied(i) && (copied(largest) || streamBytes_[i] > streamBytes_[largest]))
                largest = i;
        if (copied(largest))
            return fail("the streams take " + fit_.fillText() +
                        "% of the disc, and the copied ones cannot be made smaller: use a bigger "
                        "disc or fewer inputs");
        const int kbps = disc::refitVideoKbps(
            videoKbps_[largest], fit_.usedBytes - fit_.capacityBytes, runningMs_[largest]);
        if (refits == kMaxRefits || kbps < kMinRefitKbps)
            return fail("the streams take " + fit_.fillText() +
                        "% of the disc and cannot be made to fit: use a bigger disc or fewer "
                        "inputs");
        videoKbps_[largest] = kbps;
        Event refit;
        refit.kind = Event::Kind::Refit;
        refit.input = static_cast<int>(largest);
        refit.kbps = kbps;
        listener_(refit);
        if (!encodeAll({largest}, stop))
            return false;
    }
}

bool Engine::runTool(std::vector<std::string> args, const std::string& dir,
                     const std::atomic<bool>& stop, std::string* out, const std::string& input,
                     const std::string& output) {
    Process p;
    std::string error;
    std::string captured;
    const std::string program = args.front();
    const char* standard = plan_.inputs.front().standard == disc::Standard::Pal ? "PAL" : "NTSC";
    if (!p.start(
            {std::move(args), dir, {std::string("VIDEO_FORMAT=") + standard}, input, output},
            [&](std::string_view bytes) { captured += bytes; }, error))
        return fail("cannot start " + program + ": " + error);
    while (!p.poll(200))
        if (stop) {
            p.stop();
            stopped_ = true;
            return false;
        }
    if (p.status() != 0)
        return fail(program + " failed (status " + std::to_string(p.status()) +
                    "): " + lastLine(p.errors()));
    if (out)
        *out = std::move(captured);
    return true;
}

namespace {

// dvdauthor takes ISO 639-1's two letters; files give those or ISO 639-2's
// three ("ger", "deu"). Empty for a language that has no two-letter code.
QString twoLetterCode(const std::optional<std::string>& language) {
    if (!language)
        return {};
    const QLocale::Language l = QLocale::codeToLanguage(QString::fromStdString(*language));
    return l == QLocale::AnyLanguage ? QString{} : QLocale::languageToCode(l, QLocale::ISO639Part1);
}

void step(const Engine::Listener& listener, const char* name) {
    Event e;
    e.kind = Event::Kind::Step;
    e.text = name;
    listener(e);
}

} // namespace

namespace {

// The buttons' mask for alphamerge: white where a button's underline is.
std::string boxes(const std::vector<disc::MenuButton>& buttons) {
    std::string chain;
    for (const disc::MenuButton& b : buttons)
        chain += ",drawbox=x=" + std::to_string(b.x) + ":y=" + std::to_string(b.y + b.height - 6) +
                 ":w=" + std::to_string(b.width) + ":h=4:color=white:t=fill";
    return chain;
}

// ffmpeg, quiet, writing over its own work files.
std::vector<std::string> ffmpegArgs(std::initializer_list<std::string> args) {
    std::vector<std::string> all{"ffmpeg", "-nostdin", "-y", "-loglevel", "error"};
    all.insert(all.end(), args);
    return all;
}

} // namespace

bool Engine::makeMenu(const std::atomic<bool>& stop) {
    if (format_ != disc::Format::Dvd || !request_.menu)
        return true;
    step(listener_, "menu");
    const FrameSize frame = disc::discFrame(format_, plan_.inputs.front().standard);
    const std::optional<std::vector<disc::MenuButton>> buttons =
        disc::menuButtons(plan_.inputs.size(), frame);
    if (!buttons)
        return fail("a title menu holds at most " + std::to_string(disc::kMaxMenuButtons) +
                    " titles");
    const std::string size = std::to_string(frame.width) + "x" + std::to_string(frame.height);
    // The names go to drawtext in files, so no byte of a name is ever read as
    // a filter's syntax.
    std::string text;
    for (std::size_t i = 0; i < buttons->size(); ++i) {
        const disc::MenuButton& b = (*buttons)[i];
        const std::string file = "button-" + two(i + 1) + ".txt";
        const std::string& name =
            i < request_.titleNames.size() ? request_.titleNames[i] : trackName(i);
        if (!writeFile(workPath(file), validUtf8(name)))
            return fail("cannot write " + workPath(file));
        text += ",drawtext=textfile=" + file + ":expansion=none:fontcolor=white:fontsize=" +
                std::to_string(std::min(28, b.height - 10)) + ":x=" + std::to_string(b.x + 4) +
                ":y=" + std::to_string(b.y + 4);
    }
    const bool pal = plan_.inputs.front().standard == disc::Standard::Pal;
    const std::string mask = "color=c=black:s=" + size + ",format=gray" + boxes(*buttons);
    // The highlight and the selection: subpictures of one colour on
    // transparency, as spumux takes them.
    const auto subpicture = [&](const char* colour, const char* file) {
        return runTool(
            ffmpegArgs({"-f", "lavfi", "-i", std::string("color=c=") + colour + ":s=" + size, "-f",
                        "lavfi", "-i", mask, "-filter_complex", "[0][1]alphamerge", "-frames:v",
                        "1", file}),
            request_.work, stop);
    };
    return runTool(ffmpegArgs({"-f", "lavfi", "-i", "color=c=0x203048:s=" + size, "-vf",
                               "format=rgb24" + text, "-frames:v", "1", "menu.png"}),
                   request_.work, stop) &&
           subpicture("yellow", "highlight.png") && subpicture("red", "select.png") &&
           runTool(ffmpegArgs({"-loop", "1", "-i", "menu.png", "-f", "lavfi", "-i",
                               "anullsrc=r=48000:cl=stereo", "-t", "1", "-target",
                               pal ? "pal-dvd" : "ntsc-dvd", "-aspect", "4:3", "menu-bg.mpg"}),
                   request_.work, stop) &&
           writeSpumux(*buttons) &&
           runTool({"spumux", "spumux.xml"}, request_.work, stop, nullptr, workPath("menu-bg.mpg"),
                   workPath("menu.mpg"));
}

bool Engine::writeSpumux(const std::vector<disc::MenuButton>& buttons) {
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartElement("subpictures");
    w.writeStartElement("stream");
    w.writeStartElement("spu");
    w.writeAttribute("start", "00:00:00.00");
    w.writeAttribute("force", "yes");
    w.writeAttribute("highlight", "highlight.png");
    w.writeAttribute("select", "select.png");
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const disc::MenuButton& b = buttons[i];
        w.writeEmptyElement("button");
        w.writeAttribute("name", buttonName(i));
        w.writeAttribute("x0", QString::number(b.x));
        w.writeAttribute("y0", QString::number(b.y));
        w.writeAttribute("x1", QString::number(b.x + b.width));
        w.writeAttribute("y1", QString::number(b.y + b.height));
    }
    w.writeEndDocument();
    return writeFile(workPath("spumux.xml"), xml.toStdString()) ||
           fail("cannot write " + workPath("spumux.xml"));
}

std::vector<disc::DiscTitle> Engine::discTitles() const {
    std::vector<disc::DiscTitle> titles;
    for (std::size_t i = 0; i < plan_.inputs.size(); ++i) {
        const disc::TargetPlan& t = plan_.inputs[i].targets.front();
        titles.push_back({t.aspect == disc::DisplayAspect::Wide, t.tv.width, runningMs_[i],
                          request_.sources[i].audio.language});
    }
    return titles;
}

bool Engine::author(const std::atomic<bool>& stop) {
    step(listener_, "author");
    const std::vector<disc::DiscTitle> titles = discTitles();
    const bool pal = plan_.inputs.front().standard == disc::Standard::Pal;
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    if (format_ != disc::Format::Dvd) {
        // vcdimager's own description: the tracks, and one play list through them.
        const bool svcd = format_ == disc::Format::Svcd;
        w.writeDTD("<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\" "
                   "\"http://www.gnu.org/software/vcdimager/videocd.dtd\">");
        w.writeStartElement("videocd");
        w.writeDefaultNamespace("http://www.gnu.org/software/vcdimager/1.0/");
        w.writeAttribute("class", svcd ? "svcd" : "vcd");
        w.writeAttribute("version", svcd ? "1.0" : "2.0");
        w.writeStartElement("info");
        w.writeEmptyElement("album-id");
        w.writeTextElement("volume-count", "1");
        w.writeTextElement("volume-number", "1");
        w.writeTextElement("restriction", "0");
        w.writeEndElement();
        w.writeStartElement("pvd");
        w.writeTextElement("volume-id", "VIDEOCD");
        w.writeTextElement("system-id", "CD-RTOS CD-BRIDGE");
        w.writeEndElement();
        w.writeStartElement("sequence-items");
        for (std::size_t i = 0; i < titles.size(); ++i) {
            w.writeEmptyElement("sequence-item");
            w.writeAttribute("src", QString::fromStdString(trackName(i)));
            w.writeAttribute("id", QString::fromStdString("sequence-" + two(i + 1)));
        }
        w.writeEndElement();
        w.writeStartElement("pbc");
        w.writeStartElement("playlist");
        w.writeAttribute("id", "lid-play");
        w.writeTextElement("wait", "0");
        w.writeTextElement("autowait", "0");
        for (std::size_t i = 0; i < titles.size(); ++i) {
            w.writeEmptyElement("play-item");
            w.writeAttribute("ref", QString::fromStdString("sequence-" + two(i + 1)));
        }
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndDocument();
        std::error_code ec;
        fs::remove(workPath("disc.cue"), ec);
        fs::remove(workPath("disc.bin"), ec);
        if (!writeFile(workPath("vcd.xml"), xml.toStdString()))
            return fail("cannot write " + workPath("vcd.xml"));
        return runTool({"vcdxbuild", "--cue-file=disc.cue", "--bin-file=disc.bin", "vcd.xml"},
                       request_.work, stop);
    }

    // One title set per picture format; the titles play in the order given,
    // each on to the next through the first menu, which holds the order in g1
    // (a title cannot jump to another title set's title).
    const disc::DvdLayout layout = disc::dvdLayout(titles);
    const QString format = pal ? "pal" : "ntsc";
    w.writeStartElement("dvdauthor");
    w.writeAttribute("dest", "dvd");
    w.writeStartElement("vmgm");
    w.writeTextElement("fpc", "g1=0; jump menu 1;");
    w.writeStartElement("menus");
    w.writeEmptyElement("video");
    w.writeAttribute("format", format);
    w.writeAttribute("aspect", "4:3");
    w.writeStartElement("pgc");
    const bool menu = request_.menu;
    if (menu)
        w.writeAttribute("entry", "title");
    std::string order;
    for (std::size_t k = 1; k < titles.size(); ++k)
        // g1 is cleared on the way: the remote's menu key, pressed during a
        // title, must find the menu, not the chain.
        order += "if (g1 eq " + std::to_string(k + 1) + ") { g1=0; jump title " +
                 std::to_string(layout.discTitle[k]) + "; } ";
    // Without a menu the disc starts, and after the last title starts again,
    // with the first.
    if (!menu)
        order += "jump title " + std::to_string(layout.discTitle[0]) + ";";
    w.writeTextElement("pre", QString::fromStdString(order.empty() ? "g1=0;" : order));
    if (menu) {
        w.writeEmptyElement("vob");
        w.writeAttribute("file", "menu.mpg");
        w.writeAttribute("pause", "inf");
        for (std::size_t k = 0; k < titles.size(); ++k) {
            w.writeStartElement("button");
            w.writeAttribute("name", buttonName(k));
            w.writeCharacters(
                QString::fromStdString("jump title " + std::to_string(layout.discTitle[k]) + ";"));
            w.writeEndElement();
        }
    }
    w.writeEndElement(); // pgc
    w.writeEndElement(); // menus
    w.writeEndElement(); // vmgm
    for (const disc::TitleSet& set : layout.titleSets) {
        w.writeStartElement("titleset");
        w.writeStartElement("titles");
        w.writeEmptyElement("video");
        w.writeAttribute("format", format);
        w.writeAttribute("aspect", set.wide ? "16:9" : "4:3");
        // A 4:3 player shows a 16:9 title letterboxed, never cropped.
        if (set.wide)
            w.writeAttribute("widescreen", "nopanscan");
        if (const QString code = twoLetterCode(set.language); !code.isEmpty()) {
            w.writeEmptyElement("audio");
            w.writeAttribute("lang", code);
        }
        for (const std::size_t i : set.titles) {
            w.writeStartElement("pgc");
            w.writeEmptyElement("vob");
            w.writeAttribute("file", QString::fromStdString(trackName(i)));
            const disc::PlanSource& s = request_.sources[i];
            const disc::TargetPlan& t = plan_.inputs[i].targets.front();
            const auto marks = disc::marksOnDisc(s.chaptersMs, s.startMs.value_or(0), s.durationMs,
                                                 t.rate ? t.rate->speed : Fraction{1, 1});
            const auto starts = disc::chapterStarts(titles[i].runningMs, request_.chapterMs, marks);
            w.writeAttribute("chapters", QString::fromStdString(disc::chapterList(starts)));
            // The next in the order given; after the last, the menu or the first again.
            const std::size_t next = i + 1 < titles.size() ? i + 2 : request_.menu ? 0 : 1;
            w.writeTextElement("post", QString::fromStdString("g1=" + std::to_string(next) +
                                                              "; call vmgm menu 1;"));
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    std::error_code ec;
    fs::remove_all(workPath("dvd"), ec);
    if (!writeFile(workPath("dvd.xml"), xml.toStdString()))
        return fail("cannot write " + workPath("dvd.xml"));
    return runTool({"dvdauthor", "-x", "dvd.xml"}, request_.work, stop);
}

bool Engine::image(const std::atomic<bool>& stop) {
    step(listener_, "image");
    const std::string part = request_.image + ".part";
    std::error_code ec;
    if (format_ == disc::Format::Dvd) {
        if (!runTool({"genisoimage", "-quiet", "-dvd-video", "-V", "DVD_VIDEO", "-o",
                      fs::absolute(part, ec).string(), "dvd"},
                     request_.work, stop))
            return fs::remove(part, ec), false;
        fs::rename(part, request_.image, ec);
        if (ec)
            return fail("cannot write " + request_.image + ": " + ec.message());
    } else {
        // The BIN goes beside the CUE, which names it by its file name alone.
        const fs::path cue(request_.image);
        const fs::path bin = binPath(request_.image);
        const std::optional<std::string> built = readFile(workPath("disc.cue"));
        if (!built)
            return fail("vcdxbuild wrote no cue sheet");
        std::string sheet = "FILE \"" + bin.filename().string() + "\" BINARY\n";
        const std::size_t nl = built->find('\n');
        sheet += nl == std::string::npos ? "" : built->substr(nl + 1);
        fs::rename(workPath("disc.bin"), bin, ec);
        if (ec) {
            // Another file system: copy, then drop the work copy.
            ec.clear();
            fs::copy_file(workPath("disc.bin"), bin, fs::copy_options::overwrite_existing, ec);
            if (ec)
                return fail("cannot write " + bin.string() + ": " + ec.message());
        }
        if (!writeFile(part, sheet))
            return fail("cannot write " + request_.image);
        fs::rename(part, request_.image, ec);
    }
    const std::string written =
        format_ == disc::Format::Dvd ? request_.image : binPath(request_.image);
    const disc::Fit imageFit = disc::fitImage(
        format_, request_.plan.disc.value_or(disc::usualDisc(format_)), fs::file_size(written, ec));
    if (!imageFit.fits())
        return fail("the image takes " + imageFit.fillText() + "% of the disc");
    fit_ = imageFit;
    return true;
}

bool Engine::check(const std::atomic<bool>& stop) {
    step(listener_, "check");
    std::string out;
    std::vector<ReadTitle> read;
    std::string problem;
    if (format_ == disc::Format::Dvd) {
        if (!runTool({"lsdvd", "-x", "-Ox", fs::absolute(request_.image).string()}, {}, stop, &out))
            return false;
        read = readLsdvd(out, problem);
    } else {
        if (!runTool({"vcd-info", "-B", "--cue-file=" + fs::absolute(request_.image).string()}, {},
                     stop, &out))
            return false;
        std::vector<CdTrack> tracks;
        read = readVcdInfo(out, problem, tracks);
        // vcd-info says where the tracks are, not how long they run: our
        // MPEG reader measures them in the BIN's sectors.
        const std::string binFile = binPath(request_.image);
        std::unique_ptr<avifile::FileSource> bin;
        if (problem.empty() && avifile::FileSource::open(binFile.c_str(), bin) != 0)
            return fail("cannot read " + binFile);
        for (std::size_t k = 0; problem.empty() && k < read.size(); ++k)
            read[k].runningMs = cdTrackMs(*bin, tracks[k]).value_or(0);
    }
    if (!problem.empty())
        return fail("the image reads back wrong: " + problem);
    const std::vector<disc::DiscTitle> titles = discTitles();
    const disc::DvdLayout layout = disc::dvdLayout(titles);
    if (read.size() != titles.size())
        return fail("the image reads back with " + std::to_string(read.size()) + " titles, not " +
                    std::to_string(titles.size()));
    const bool dvd = format_ == disc::Format::Dvd;
    if (dvd)
        for (std::size_t s = 0; s < layout.titleSets.size(); ++s)
            for (const std::size_t i : layout.titleSets[s].titles) {
                const ReadTitle& r = read[static_cast<std::size_t>(layout.discTitle[i] - 1)];
                if (r.titleSet != static_cast<int>(s + 1) || r.wide != titles[i].wide)
                    return fail("the image reads back wrong: title " +
                                std::to_string(layout.discTitle[i]) +
                                " is not in its title set or aspect");
            }
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const std::size_t k = dvd ? static_cast<std::size_t>(layout.discTitle[i] - 1) : i;
        if (runningMs_[i] && distance(read[k].runningMs, runningMs_[i]) >
                                 std::max(kEncodeSlackMs, runningMs_[i] / 50) + kReadBackSlackMs)
            return fail("the image reads back wrong: " + std::string(dvd ? "title " : "track ") +
                        std::to_string(k + 1) + " runs " +
                        disc::runningTimeText(read[k].runningMs));
    }
    Event done;
    done.kind = Event::Kind::Done;
    done.text = request_.image;
    done.titles = std::move(read);
    listener_(done);
    return true;
}

} // namespace quorvel::make
