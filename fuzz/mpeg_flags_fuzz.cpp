// libFuzzer target for the MPEG-2 flag rewriter, run in memory.

#include "fuzz/mpeg_flags_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::mediafuzz::checkMpegFlags({data, size});
    return 0;
}
