#pragma once

// ffmpeg's -progress report and the totals made of it: platform-free, so
// that the terminal, the JSON events and a window show the same numbers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::make {

// Reads `-progress pipe:1`: blocks of key=value lines, each ended by
// progress=continue or progress=end. Bytes may come in any pieces.
class FfmpegProgress {
public:
    // Takes the next bytes; true when a block ended in them.
    bool feed(std::string_view bytes);
    // The output's time reached, from out_time_us (out_time_ms is micro-
    // seconds too, in ffmpeg 5): whole milliseconds.
    std::uint64_t doneMs() const { return doneMs_; }
    bool ended() const { return ended_; }

private:
    // A longer line is no progress line: it is dropped, not held.
    static constexpr std::size_t kMaxLineBytes = 256;
    void takeLine(std::string_view line);
    std::string line_;
    bool overlong_ = false;
    bool blockEnded_ = false;
    std::uint64_t doneMs_ = 0;
    bool ended_ = false;
};

// One encode's share of the work.
struct JobProgress {
    std::uint64_t doneMs = 0;
    std::uint64_t totalMs = 0; // the stream's running time; 0: unknown
    bool finished = false;
};

struct Totals {
    int percent = 0;                          // 0 to 100, rounded down
    std::optional<std::uint64_t> remainingMs; // once anything is done
};
// The whole, weighted by running time; a finished job counts whole, and
// `elapsedMs` over the part done foretells the rest.
Totals totals(std::span<const JobProgress> jobs, std::uint64_t elapsedMs);

// A job's percent, 0 to 100, rounded down; 100 once finished.
int percentOf(const JobProgress& job);

// "1:02:03" or "2:03": a clock for elapsed and remaining time.
std::string clockText(std::uint64_t ms);

// What the engine is doing, in words, for its step names ("menu", "author",
// "image", "check"); every front says the same.
std::string stepText(std::string_view step);
// "the streams fill 98.7% of the disc", and ": too much" when they do not fit.
std::string fitText(std::string_view percent, bool fits);
// "encoding 2/3 film.mkv at 5210 kbit/s, its share by need"
std::string shareText(std::string_view title, int kbps);

} // namespace quorvel::make
