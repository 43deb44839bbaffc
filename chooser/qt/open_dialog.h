#pragma once

// Qt's file dialog made to answer like the module's: it takes the title,
// filters, folder and last answer from the record, lets several existing files
// be chosen (or one missing name be created, after a prompt), and writes the
// answer back into the record.

#include "chooser/common_dialog.h"

namespace quorvel::RUVIV_CommonDialog {

// Runs the dialog modally over hwndOwner's widget (never the native dialog).
// Qt's own settings, where its file dialog would keep a history, are sent
// nowhere for the rest of the process: the dialog reads and writes no file.
// Nonzero when something was chosen and written into `params`; 0 when the
// user cancelled, the owner went away, or the answer does not fit.
std::int32_t runOpenDialog(OpenFileName& params);

} // namespace quorvel::RUVIV_CommonDialog
