#pragma once

// quorvel-info's work apart from the process: read each input, report it,
// and say how the run ended.

#include "info/options.h"
#include "info/report.h"
#include "source/avi_library.h"

#include <functional>
#include <string>
#include <string_view>

namespace quorvel::info {

inline constexpr const char* kProgramName = "quorvel-info";

// Reads one AVI file with the window's reader and classification.
Report readFile(avifile::AviLibrary& library, const std::string& path, const Options& o);
// A typed size, which the command line has already checked.
Report readTypedSize(const InputItem& input, const Options& o);

struct Output {
    std::function<void(std::string_view)> out; // the reports
    std::function<void(std::string_view)> err; // one line per failed input
};

// Reports every input in order, each as soon as it is read. 0 when all were
// read, 1 when any was not.
int runInfo(const Options& o, avifile::AviLibrary& library, const Output& output);

} // namespace quorvel::info
