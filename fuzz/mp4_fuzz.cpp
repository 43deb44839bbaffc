// libFuzzer target for the MP4 header reader, run in memory.

#include "fuzz/mp4_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::mp4fuzz::checkMp4Input({data, size});
    return 0;
}
