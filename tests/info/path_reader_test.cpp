#include "info/run.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quorvel::info {
namespace {

struct ReaderCase {
    const char* name;
    std::string input;
    char separator;
    std::vector<std::string> paths; // "<long>" for a TooLong result
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.name;
}

class PathReaderReads : public testing::TestWithParam<ReaderCase> {};

TEST_P(PathReaderReads, EachEntryInTurn) {
    const ReaderCase& c = GetParam();
    std::istringstream in(c.input);
    PathReader reader(in, c.separator);
    std::vector<std::string> got;
    std::string path;
    for (PathReader::Result r; (r = reader.next(path)) != PathReader::End;)
        got.push_back(r == PathReader::TooLong ? "<long>" : path);
    EXPECT_EQ(got, c.paths);
    EXPECT_EQ(reader.next(path), PathReader::End) << "stays at the end";
}

const std::string kLong(kMaxPathBytes + 1, 'a');
const std::string kLongest(kMaxPathBytes, 'b');

INSTANTIATE_TEST_SUITE_P(
    Inputs, PathReaderReads,
    testing::Values(
        ReaderCase{"lines", "a.avi\nb c.mkv\n", '\n', {"a.avi", "b c.mkv"}},
        ReaderCase{"last line without newline", "a\nb", '\n', {"a", "b"}},
        ReaderCase{"blank lines skipped", "\n\na\n\n", '\n', {"a"}},
        ReaderCase{"nothing", "", '\n', {}},
        ReaderCase{"a carriage return is part of the name", "a\r\n", '\n', {"a\r"}},
        ReaderCase{"nul keeps newlines", std::string("a\nb\0c\0", 6), '\0', {"a\nb", "c"}},
        ReaderCase{"nul, empty entries skipped", std::string("\0\0x", 3), '\0', {"x"}},
        ReaderCase{"too long is skipped, the rest read", kLong + "\nok\n", '\n', {"<long>", "ok"}},
        ReaderCase{"longest allowed", kLongest + "\n", '\n', {kLongest}}),
    testrows::NamedRow{});

} // namespace
} // namespace quorvel::info
