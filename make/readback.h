#pragma once

// The titles of a written image as an independent reader shows them: lsdvd's
// XML for a DVD, vcd-info's report for a VCD or SVCD.

#include "make/engine.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::make {

// A DVD holds at most 99 titles; a CD at most 98 MPEG tracks.
inline constexpr std::size_t kMaxReadTitles = 99;

// `problem` says why when the text is not what the reader writes.
std::vector<ReadTitle> readLsdvd(std::string_view xml, std::string& problem);
// The disc's entries, one title each; `problem` also when it has no play list.
std::vector<ReadTitle> readVcdInfo(std::string_view report, std::string& problem);

} // namespace quorvel::make
