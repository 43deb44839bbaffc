#include "resize/text.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

using namespace std::string_literals;

struct TrimCase {
    std::string text;
    std::string_view blanks;
    std::string expected;
};

// clang-format off
const TrimCase kTrims[] = {
    {"  a b  ",           kSpace,               "a b"},  // inner blanks stay
    {"\t12 ",             kSpace,               "\t12"}, // a tab is text to the record
    {" \t12\t ",          kSpaceAndTab,         "12"},
    {"12\r\n",            kSpaceAndTab,         "12\r\n"},
    {"Access denied.\r\n", kSpaceTabAndLineEnds, "Access denied."},
    {" \r\n\t ",          kSpaceTabAndLineEnds, ""},
    {"clip.avi\0\0 "s,    kSpace,               "clip.avi\0\0"s}, // NULs are not padding
    {"   ",               kSpace,               ""},
    {"",                  kSpaceAndTab,         ""},
    {" x ",               "",                   " x "},
};
// clang-format on

TEST(Trimmed, DropsOnlyTheNamedBlanksAtEitherEnd) {
    for (const auto& c : kTrims) {
        EXPECT_EQ(trimmed(c.text, c.blanks), c.expected) << '"' << c.text << '"';
        EXPECT_EQ(isBlank(c.text, c.blanks), c.expected.empty()) << '"' << c.text << '"';
    }
}

} // namespace
} // namespace quorvel
