#include "chooser/browse.h"

#include <exception>

namespace quorvel {

using namespace RUVIV_CommonDialog;

std::optional<std::string> chooseAviFile(Handle owner, const std::string& programFolder) {
    using namespace std::string_literals;
    dialogParams.lpstrFilter = "AVI Files (*.avi)\0*.avi\0\0"s;
    dialogParams.lpstrTitle = "Show Open";
    dialogParams.lpstrInitialDir = programFolder + kPathSeparator;

    const OpenResult result = ShowOpen(owner, kCenterOnOwner);
    if (result.cancelled)
        return std::nullopt;
    // Only the first of several names is read.
    return result.folder + result.files(1);
}

std::optional<std::string> runTrapped(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

} // namespace quorvel
