#include "chooser/name_filters.h"

#include "resize/text.h"

namespace quorvel::RUVIV_CommonDialog {

namespace {

std::vector<std::string> split(std::string_view text, std::string_view separators) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find_first_of(separators, start);
        const auto part = trimmed(
            text.substr(start, end == std::string_view::npos ? text.npos : end - start), kSpace);
        if (!part.empty())
            parts.emplace_back(part);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return parts;
}

// "AVI Files (*.avi)" with "*.avi" loses its own "(*.avi)", which is put back
// from the patterns.
std::string_view withoutOwnPatterns(std::string_view description,
                                    const std::vector<std::string>& patterns) {
    if (description.empty() || description.back() != ')')
        return description;
    const auto open = description.rfind('(');
    if (open == std::string_view::npos)
        return description;
    const auto inside = description.substr(open + 1, description.size() - open - 2);
    if (split(inside, "; ,") != patterns)
        return description;
    return trimmed(description.substr(0, open), kSpace);
}

} // namespace

std::vector<std::string> nameFiltersFrom(std::string_view filter) {
    std::vector<std::string> filters;
    std::size_t at = 0;
    while (at < filter.size()) {
        const auto descriptionEnd = filter.find('\0', at);
        if (descriptionEnd == std::string_view::npos || descriptionEnd == at)
            break;
        const auto description = trimmed(filter.substr(at, descriptionEnd - at), kSpace);
        const auto patternsStart = descriptionEnd + 1;
        auto patternsEnd = filter.find('\0', patternsStart);
        if (patternsEnd == std::string_view::npos)
            patternsEnd = filter.size();
        if (patternsEnd == patternsStart)
            break; // the double NUL that ends the list
        at = patternsEnd + 1;

        const auto patterns = split(filter.substr(patternsStart, patternsEnd - patternsStart), ";");
        if (patterns.empty())
            continue;
        std::string shown;
        for (const auto& pattern : patterns) {
            if (!shown.empty())
                shown += ' ';
            shown += pattern == "*.*" ? "*" : pattern;
        }
        const auto text = withoutOwnPatterns(description, patterns);
        filters.push_back(text.empty() ? "(" + shown + ")"
                                       : std::string(text) + " (" + shown + ")");
    }
    return filters;
}

} // namespace quorvel::RUVIV_CommonDialog
