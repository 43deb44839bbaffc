// libFuzzer target for the AVI header reader, run in memory.

#include "fuzz/avi_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::avifuzz::checkAviInput({data, size});
    return 0;
}
