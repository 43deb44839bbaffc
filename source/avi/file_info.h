#pragma once

#include "resize/calc.h"
#include "source/avi/avi_library.h"
#include "source/avi/messages.h"

#include <functional>
#include <string>

namespace quorvel {

// How showing a file's record ended. A failure leaves what was shown so far.
struct SourceOutcome {
    enum Kind { Shown, RateDivisorZero, SizeRefused };
    Kind kind = Shown;
    ResizeError resize = ResizeError::None; // why, for SizeRefused

    bool ok() const { return kind == Shown; }
};

// What one read of a file came to, so the caller knows what is left to say:
// the record shown; an open or read failure already told to the user; or a
// failure while showing the record, which nobody has told yet.
struct FileInfoOutcome {
    enum Kind { Shown, Told, FailedWhileShowing };
    Kind kind = Shown;
    SourceOutcome failure; // why, for FailedWhileShowing

    bool shown() const { return kind == Shown; }
};

// A sentence for the user about a failed source display.
std::string describeSourceOutcome(const SourceOutcome& outcome);

// Reads one file's information record and hands it to `showSource`: init, open,
// info, show, then release and exit on every way out. A failed open or info is
// told through `showMessage` (our sentence, then the error's text) while the
// file is still open; a failure of `showSource` comes back after the clean-up.
SourceOutcome
inspectFile(avifile::AviLibrary& library, const std::string& path,
            const std::function<void(const std::string&)>& showMessage,
            const std::function<SourceOutcome(const avifile::AVIFILEINFO&)>& showSource);

} // namespace quorvel
