#pragma once

// One trim for every reader of text, each naming the blanks it means.

#include <string_view>

namespace quorvel {

// Around a typed number.
inline constexpr std::string_view kSpaceAndTab = " \t";
// Around a system message, which may end its line.
inline constexpr std::string_view kSpaceTabAndLineEnds = " \t\r\n";
// The padding of the dialog record's buffers and around the parts of a filter
// list: anything else, a tab or a NUL, is part of the text.
inline constexpr std::string_view kSpace = " ";

// `text` without its leading and trailing characters from `blanks`.
constexpr std::string_view trimmed(std::string_view text, std::string_view blanks) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

constexpr bool isBlank(std::string_view text, std::string_view blanks) {
    return trimmed(text, blanks).empty();
}

} // namespace quorvel
