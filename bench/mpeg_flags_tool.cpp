// The flag rewriter on a file, for benches that compare soft pulldown with
// hard telecine before the engine does it:  mpeg_flags_tool pulldown|progressive FILE.m2v

#include "source/media/mpeg_flags.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    using namespace quorvel::media::mpeg;
    if (argc != 3 ||
        (std::strcmp(argv[1], "pulldown") != 0 && std::strcmp(argv[1], "progressive") != 0)) {
        std::fprintf(stderr, "usage: mpeg_flags_tool pulldown|progressive FILE.m2v\n");
        return 2;
    }
    const FlagMode mode =
        std::strcmp(argv[1], "pulldown") == 0 ? FlagMode::SoftPulldown : FlagMode::ProgressiveOnly;
    const FlagResult r = rewriteFlagsInFile(argv[2], mode);
    std::printf("%s\n", r.summary(mode).c_str());
    return r.ok() ? 0 : 1;
}
