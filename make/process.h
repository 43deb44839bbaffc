#pragma once

// Child processes with an exact argument vector (no shell): every byte of a
// file name reaches the program as it is. POSIX only; the engine's one door
// to the system's processes.

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quorvel::make {

struct ProcessSpec {
    std::vector<std::string> args; // the program first, looked up on PATH
    std::string workDir;           // empty: the caller's
    std::vector<std::string> env;  // "NAME=value" added to the caller's
    std::string input;             // a file for standard input; empty: /dev/null
    std::string output;            // a file standard output goes to; empty: the sink
};

class Process {
public:
    using Sink = std::function<void(std::string_view)>;
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process(); // stops a child still running

    // False with `error` set when it could not start.
    bool start(const ProcessSpec& spec, Sink out, std::string& error);
    // Hands on what the child wrote, waiting at most `timeoutMs` for it;
    // true once the child has exited and its output is drained.
    bool poll(int timeoutMs);
    bool running() const { return pid_ > 0; }
    // The exit status, or 128 + the signal that ended it.
    int status() const { return status_; }
    // The last bytes it wrote to standard error, for a failure's message.
    const std::string& errors() const { return errors_; }
    // SIGTERM, then SIGKILL after a grace period, and waits.
    void stop();

private:
    static constexpr std::size_t kMaxErrorBytes = 4096;
    void drain(int& fd, bool toOut);
    void reap(bool wait);
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int status_ = -1;
    Sink sink_;
    std::string errors_;
};

// Runs to the end and returns the status; standard output into `out`.
int runCapture(const ProcessSpec& spec, std::string& out, std::string& errors);

// The program's path on PATH; empty when there is none.
std::string findProgram(std::string_view name);

} // namespace quorvel::make
