#pragma once

#include "chooser/common_dialog.h"

#include <functional>
#include <optional>
#include <string>

namespace quorvel {

// The "..." button's road into the file chooser: stores the AVI filter, the
// caption "Show Open" and the program's folder in the dialog record, shows the
// dialog centred over `owner`, and gives the first chosen file's full path as
// the dialog's bytes, or nothing when the user cancelled. ShowOpen's errors
// pass through.
std::optional<std::string> chooseAviFile(RUVIV_CommonDialog::Handle owner,
                                         const std::string& programFolder);

// The browse command's error trap: runs `command`; an error raised anywhere in
// it ends it at once, undoing nothing, and comes back as its text for the user.
std::optional<std::string> runTrapped(const std::function<void()>& command);

} // namespace quorvel
