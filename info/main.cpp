// quorvel-info: the window's sizes for AVI files and typed sizes, without a
// window. Everything but the process itself lives in info/.
#include "info/options.h"
#include "info/run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

void put(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

// A report that never reached its reader counts as a failure too.
int finish(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const std::string why = std::strerror(errno);
        put(stderr,
            std::string(quorvel::info::kProgramName) + ": cannot write the output: " + why + "\n");
        return status == 0 ? 1 : status;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    using namespace quorvel::info;
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedArguments parsed = parseArguments(args);
    if (!parsed.ok()) {
        put(stderr, std::string(kProgramName) + ": " + parsed.error + "\nTry '" + kProgramName +
                        " --help'.\n");
        return 2;
    }
    const Options& o = parsed.options;
    if (o.help) {
        put(stdout, helpText());
        return finish(0);
    }
    if (o.version) {
        put(stdout, std::string(kProgramName) + " " QUORVEL_VERSION "\n");
        return finish(0);
    }
    if (!o.outputDir.empty())
        if (const std::string why = checkOutputFolder(o.outputDir); !why.empty()) {
            put(stderr, std::string(kProgramName) + ": " + why + "\n");
            return 2;
        }
    const Output output{[](std::string_view text) { put(stdout, text); },
                        [](std::string_view text) {
                            // Keep the reports before it in order on a shared terminal.
                            std::fflush(stdout);
                            put(stderr, text);
                        },
                        [] { std::fflush(stdout); }};
    // Paths come from std::cin alone; it need not keep in step with stdio.
    std::ios::sync_with_stdio(false);
    return finish(runInfo(o, quorvel::avifile::systemAviLibrary(), output, std::cin));
}
