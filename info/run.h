#pragma once

// quorvel-info's work apart from the process.
//
//   read:  options.cpp turns the command line into Options; readFile (the
//          container readers behind media::probeFile) or a typed size gives
//          each input's facts, as a Report and a disc::PlanSource.
//   plan:  planRequest(Options) and the sources go to disc::makePlan, which
//          makes every disc decision once: sizes, standard, rate plan, stream
//          rates, command and budget. Alone per input, or, with --disc, the
//          whole batch at once.
//   print: report.cpp writes each Report with its plan's targets, then the
//          budget, as text or JSON lines (json.cpp). It decides nothing.

#include "info/options.h"
#include "info/report.h"
#include "source/avi/avi_library.h"
#include "source/media/media.h"
#include "source/source_view.h"

#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <string_view>

namespace quorvel::info {

inline constexpr const char* kProgramName = "quorvel-info";

// An input read, and what the plan needs of it.
struct Read {
    Report report;
    disc::PlanSource source;
};
// A file's facts, not yet planned, for a front that plans its batch itself.
Read readFileFacts(avifile::AviLibrary& library, const std::string& path, const Options& o);

// The plan's request from the command line.
disc::PlanRequest planRequest(const Options& o);

// Reads one video file; an AVI file with the window's reader and
// classification, every file with the window's rate rule and sizes.
Report readFile(avifile::AviLibrary& library, const std::string& path, const Options& o);
// A file's report from what its reader found and the window's view of it,
// planned alone (readFile and readTypedSize too).
Report readVideo(const std::string& path, const media::VideoInfo& video, const SourceView& view,
                 const Options& o);
// A typed size, which the command line has already checked.
Report readTypedSize(const InputItem& input, const Options& o);

// Why --output cannot take the commands' files (missing, not a folder, not
// writable); empty when it can.
std::string checkOutputFolder(const std::string& dir);

// Longer entries on standard input are skipped: no path is this long, and the
// reader must not hold an endless line.
inline constexpr std::size_t kMaxPathBytes = 64 * 1024;

// The paths on standard input, one at a time, so that a batch of any size is
// reported as it is read.
class PathReader {
public:
    PathReader(std::istream& in, char separator) : in_(in), separator_(separator) {}
    enum Result { Path, TooLong, End };
    // The next non-empty entry, without its separator; the last one may lack it.
    Result next(std::string& path);

private:
    std::istream& in_;
    char separator_;
};

struct Output {
    std::function<void(std::string_view)> out; // the reports
    std::function<void(std::string_view)> err; // one line per failed input
    // Hands on what was written; called after each path from standard input
    // so that a pipeline sees each report as its path goes in. May be empty.
    std::function<void()> flush;
};

// Reports every input in order, each as soon as it is read; "-" reads its
// paths from `in`. 0 when all were read, 1 when any was not.
int runInfo(const Options& o, avifile::AviLibrary& library, const Output& output, std::istream& in);

} // namespace quorvel::info
