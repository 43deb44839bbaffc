#include "chooser/dialog_answer.h"

#include <algorithm>
#include <cstdint>

namespace quorvel::RUVIV_CommonDialog {

namespace {

bool fits(std::size_t length, std::int32_t room) {
    return room >= 0 && length <= static_cast<std::size_t>(room);
}

// The offset field is an unsigned 16-bit word on the wire; the record keeps
// the signed reading of it.
constexpr std::size_t kMaxOffset = 0xFFFF;

} // namespace

bool writeAnswer(const std::string& folder, const std::vector<std::string>& names, char separator,
                 OpenFileName& params) {
    if (names.empty())
        return false;

    if (names.size() == 1) {
        std::string path = folder;
        if (path.empty() || path.back() != separator)
            path += separator;
        const std::size_t offset = path.size();
        path += names.front();
        const std::string& name = names.front();
        if (offset > kMaxOffset || !fits(path.size() + 1, params.nMaxFile) ||
            !fits(name.size() + 1, params.nMaxFileTitle))
            return false;
        path.resize(static_cast<std::size_t>(params.nMaxFile), '\0');
        params.lpstrFile = std::move(path);
        params.lpstrFileTitle = name;
        params.lpstrFileTitle.resize(static_cast<std::size_t>(params.nMaxFileTitle), '\0');
        params.nFileOffset = static_cast<std::int16_t>(static_cast<std::uint16_t>(offset));
        return true;
    }

    std::string list = folder;
    list += '\0';
    for (const auto& name : names) {
        list += name;
        list += '\0';
    }
    list += '\0';
    if (!fits(list.size(), params.nMaxFile))
        return false;
    list.resize(static_cast<std::size_t>(params.nMaxFile), '\0');
    params.lpstrFile = std::move(list);
    params.lpstrFileTitle.assign(static_cast<std::size_t>(std::max(params.nMaxFileTitle, 0)), ' ');
    // Where the first name starts, as the dialog reports it for a list.
    params.nFileOffset = static_cast<std::int16_t>(
        static_cast<std::uint16_t>(std::min(folder.size() + 1, kMaxOffset)));
    return true;
}

} // namespace quorvel::RUVIV_CommonDialog
