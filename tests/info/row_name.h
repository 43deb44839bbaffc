#pragma once

// Names for parameter rows, so that a failure names its case rather than a
// row number: letters and digits kept, every other run one '_'.

#include <cctype>
#include <string>
#include <string_view>

namespace quorvel::info {

inline std::string rowName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += c;
        else if (!out.empty() && out.back() != '_')
            out += '_';
    }
    while (!out.empty() && out.back() == '_')
        out.pop_back();
    return out.empty() ? "_" : out;
}

// For INSTANTIATE_TEST_SUITE_P's fourth argument, on rows with a `name`.
struct NamedRow {
    template <typename Info> std::string operator()(const Info& info) const {
        return rowName(info.param.name);
    }
};

} // namespace quorvel::info
