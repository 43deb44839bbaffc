// libFuzzer target for the MPEG program and video stream reader, run in memory.

#include "fuzz/mpeg_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::mediafuzz::checkMpegInput({data, size});
    return 0;
}
