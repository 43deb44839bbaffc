// libFuzzer target for what quorvel-info does with a file's bytes: the
// sniffer, then the reader it picks, run in memory.

#include "fuzz/probe_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::mediafuzz::checkProbeInput({data, size});
    return 0;
}
