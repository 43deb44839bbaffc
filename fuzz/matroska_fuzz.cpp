// libFuzzer target for the Matroska header reader, run in memory.

#include "fuzz/matroska_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::mediafuzz::checkMatroskaInput({data, size});
    return 0;
}
