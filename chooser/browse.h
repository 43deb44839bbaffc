#pragma once

#include "chooser/common_dialog.h"

#include <optional>
#include <string>

namespace quorvel {

// The "..." button's road into the file chooser: stores the AVI filter, the
// caption "Show Open" and the program's folder in the dialog record, shows the
// dialog centred over `owner`, and gives the first chosen file's full path, or
// nothing when the user cancelled. ShowOpen's errors pass through.
std::optional<std::string> chooseAviFile(RUVIV_CommonDialog::Handle owner,
                                         const std::string& programFolder);

} // namespace quorvel
