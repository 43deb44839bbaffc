#pragma once

// Names for the rows of a parameterised test, which GoogleTest wants made of
// letters, digits and underscores only.

#include <cctype>
#include <string>
#include <string_view>

namespace quorvel::testrows {

// Each run of other characters becomes one underscore: "24000/1001 film"
// gives "24000_1001_film"; a name with no letter or digit gives "_", as
// GoogleTest wants one.
inline std::string rowName(std::string_view text) {
    std::string name;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? "_" : name;
}

// For INSTANTIATE_TEST_SUITE_P's fourth argument, on rows with a `name`.
struct NamedRow {
    template <typename Info> std::string operator()(const Info& info) const {
        return rowName(info.param.name);
    }
};

// For typed text, where the punctuation is the point: each sign is spelled
// out, so "-0.5" gives "minus_0_point_5", "640,5" stays apart from "640.5",
// and "" gives "empty".
inline std::string spelledRowName(std::string_view text) {
    std::string name;
    bool inWord = false; // the last character was a letter or digit
    for (const char c : text) {
        const bool alnum = std::isalnum(static_cast<unsigned char>(c));
        if (!name.empty() && !(alnum && inWord))
            name += '_';
        inWord = alnum;
        switch (c) {
        case ' ':
            name += "space";
            break;
        case '\t':
            name += "tab";
            break;
        case '+':
            name += "plus";
            break;
        case '-':
            name += "minus";
            break;
        case '.':
            name += "point";
            break;
        case ',':
            name += "comma";
            break;
        default:
            name +=
                alnum ? std::string(1, c) : "char" + std::to_string(static_cast<unsigned char>(c));
        }
    }
    return name.empty() ? "empty" : name;
}

} // namespace quorvel::testrows
