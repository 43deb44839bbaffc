#include "make/process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvel::make {

namespace {

// Time a stopped child has to tidy up before it is killed.
constexpr int kStopGraceMs = 3000;

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

Process::~Process() {
    if (pid_ > 0)
        stop();
    closeFd(out_);
    closeFd(err_);
}

bool Process::start(const ProcessSpec& spec, Sink out, std::string& error) {
    int outPipe[2];
    int errPipe[2];
    if (spec.args.empty() || ::pipe2(outPipe, O_CLOEXEC) != 0) {
        error = spec.args.empty() ? "no program" : std::strerror(errno);
        return false;
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Opened in the child, relative to the caller's folder, as the shell would.
    posix_spawn_file_actions_addopen(
        &actions, 0, spec.input.empty() ? "/dev/null" : spec.input.c_str(), O_RDONLY, 0);
    if (spec.output.empty())
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, spec.output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    if (!spec.workDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, spec.workDir.c_str());

    std::vector<char*> argv;
    for (const std::string& a : spec.args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Ours first: a name given twice is read at its first.
    std::vector<char*> envp;
    for (const std::string& e : spec.env)
        envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e)
        envp.push_back(*e);
    envp.push_back(nullptr);

    const int rc = ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0) {
        error = std::strerror(rc);
        pid_ = -1;
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return false;
    }
    out_ = outPipe[0];
    err_ = errPipe[0];
    status_ = -1;
    errors_.clear();
    sink_ = std::move(out);
    return true;
}

void Process::drain(int& fd, bool toOut) {
    char buffer[16384];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        if (n == 0 || (errno != EINTR && errno != EAGAIN))
            closeFd(fd);
        return;
    }
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    if (toOut) {
        if (sink_)
            sink_(bytes);
        return;
    }
    errors_ += bytes;
    if (errors_.size() > kMaxErrorBytes)
        errors_.erase(0, errors_.size() - kMaxErrorBytes);
}

void Process::reap(bool wait) {
    if (pid_ <= 0)
        return;
    int raw = 0;
    const pid_t got = ::waitpid(pid_, &raw, wait ? 0 : WNOHANG);
    if (got != pid_)
        return;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    pid_ = -1;
}

bool Process::poll(int timeoutMs) {
    pollfd fds[2];
    nfds_t count = 0;
    if (out_ >= 0)
        fds[count++] = {out_, POLLIN, 0};
    if (err_ >= 0)
        fds[count++] = {err_, POLLIN, 0};
    if (count == 0) {
        reap(true);
        return true;
    }
    if (::poll(fds, count, timeoutMs) > 0)
        for (nfds_t i = 0; i < count; ++i)
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                int& fd = fds[i].fd == out_ ? out_ : err_;
                drain(fd, &fd == &out_);
            }
    if (out_ < 0 && err_ < 0) {
        reap(true);
        return true;
    }
    return false;
}

void Process::stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int waited = 0; waited < kStopGraceMs && pid_ > 0; waited += 50) {
        reap(false);
        if (pid_ > 0)
            ::usleep(50'000);
    }
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    closeFd(out_);
    closeFd(err_);
}

int runCapture(const ProcessSpec& spec, std::string& out, std::string& errors) {
    Process p;
    if (!p.start(
            spec, [&](std::string_view bytes) { out += bytes; }, errors))
        return 127;
    while (!p.poll(1000)) {
    }
    errors = p.errors();
    return p.status();
}

std::string findProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/bin:/bin";
    while (true) {
        const std::size_t colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        std::string candidate(dir.empty() ? std::string_view(".") : dir);
        candidate += '/';
        candidate += name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos)
            return {};
        dirs.remove_prefix(colon + 1);
    }
}

} // namespace quorvel::make
