#pragma once

#include "chooser/common_dialog.h"

#include <string>
#include <vector>

namespace quorvel::RUVIV_CommonDialog {

// Writes a dialog's answer into `params` in the form readAnswer reads:
// - one name: lpstrFile is folder + separator + name, then NULs up to
//   nMaxFile; nFileOffset is where the name starts (in bytes); lpstrFileTitle
//   is the name, then NULs up to nMaxFileTitle;
// - several: lpstrFile is folder NUL name NUL ... name NUL NUL, then NULs up
//   to nMaxFile; lpstrFileTitle is nMaxFileTitle spaces.
// `folder` carries no trailing separator unless it is a root ("/", "D:\").
// Returns false, leaving `params` as it was, when there is no name or the
// answer does not fit its buffer (the dialog then counts as failed).
bool writeAnswer(const std::string& folder, const std::vector<std::string>& names, char separator,
                 OpenFileName& params);

} // namespace quorvel::RUVIV_CommonDialog
