// Runs a command RUNS times (after WARMUP runs) with its output sent to
// /dev/null and prints the median wall time and the median CPU time (user
// plus system, from wait4) of one run, in milliseconds. A shell loop would
// add a fork of its own to each run.
//
//   spawn_time RUNS WARMUP COMMAND [ARGS...]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double ms(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const int runs = std::atoi(argv[1]);
    const int warmup = std::atoi(argv[2]);
    if (runs < 1 || warmup < 0)
        return 2;
    std::vector<double> wall, cpu;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    for (int i = -warmup; i < runs; ++i) {
        timespec start{}, end{};
        rusage usage{};
        int status = 0;
        pid_t pid = 0;
        clock_gettime(CLOCK_MONOTONIC, &start);
        if (posix_spawn(&pid, argv[3], &actions, nullptr, argv + 3, environ) != 0) {
            std::perror(argv[3]);
            return 1;
        }
        if (wait4(pid, &status, 0, &usage) != pid)
            return 1;
        clock_gettime(CLOCK_MONOTONIC, &end);
        if (i < 0)
            continue;
        wall.push_back(static_cast<double>(end.tv_sec - start.tv_sec) * 1e3 +
                       static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e6);
        cpu.push_back(ms(usage.ru_utime) + ms(usage.ru_stime));
    }
    std::printf("%.3f %.3f\n", median(wall), median(cpu));
    return 0;
}
