#include "make/progress.h"

#include <algorithm>
#include <charconv>

namespace quorvel::make {

bool FfmpegProgress::feed(std::string_view bytes) {
    blockEnded_ = false;
    for (const char c : bytes) {
        if (c != '\n') {
            if (line_.size() < kMaxLineBytes)
                line_ += c;
            else
                overlong_ = true;
            continue;
        }
        if (!overlong_)
            takeLine(line_);
        line_.clear();
        overlong_ = false;
    }
    return blockEnded_;
}

void FfmpegProgress::takeLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return;
    const std::string_view key = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    if (key == "out_time_us") {
        std::uint64_t us = 0;
        // "N/A" before the first frame leaves the time as it was.
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), us);
        if (error == std::errc() && end == value.data() + value.size())
            doneMs_ = us / 1000;
    } else if (key == "progress") {
        blockEnded_ = true;
        ended_ = value == "end";
    }
}

int percentOf(const JobProgress& job) {
    if (job.finished)
        return 100;
    if (job.totalMs == 0)
        return 0;
    return static_cast<int>(std::min(job.doneMs, job.totalMs) * 100 / job.totalMs);
}

Totals totals(std::span<const JobProgress> jobs, std::uint64_t elapsedMs) {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    for (const JobProgress& job : jobs) {
        total += job.totalMs;
        done += job.finished ? job.totalMs : std::min(job.doneMs, job.totalMs);
    }
    Totals t;
    if (total == 0)
        return t;
    t.percent = static_cast<int>(done * 100 / total);
    if (done > 0)
        t.remainingMs = static_cast<std::uint64_t>(static_cast<double>(elapsedMs) *
                                                   static_cast<double>(total - done) /
                                                   static_cast<double>(done));
    return t;
}

std::string clockText(std::uint64_t ms) {
    const std::uint64_t s = ms / 1000;
    // Appended, not prepended: GCC 12 takes a prepend for an overlapping copy.
    const auto two = [](std::uint64_t n) {
        std::string text = n < 10 ? "0" : "";
        text += std::to_string(n);
        return text;
    };
    if (s >= 3600)
        return std::to_string(s / 3600) + ":" + two(s / 60 % 60) + ":" + two(s % 60);
    return std::to_string(s / 60) + ":" + two(s % 60);
}

std::string stepText(std::string_view step) {
    if (step == "measure")
        return "measuring what each input needs of the disc";
    if (step == "menu")
        return "making the menu";
    if (step == "author")
        return "authoring";
    if (step == "image")
        return "writing the image";
    return "reading it back";
}

std::string shareText(std::string_view title, int kbps) {
    return "encoding " + std::string(title) + " at " + std::to_string(kbps) +
           " kbit/s, its share by need";
}

std::string fitText(std::string_view percent, bool fits) {
    return "the streams fill " + std::string(percent) + "% of the disc" +
           (fits ? "" : ": too much");
}

} // namespace quorvel::make
