#pragma once

// Every sentence the window's AVI road gives the user, in one place: the AVI
// library's texts for its own error codes, and the window's lead-ins and
// source failures. The sizes' own sentences are in resize/messages.h.

#include "source/avi/record.h"

#include <cstdint>

namespace quorvel::avifile {

// The text of one of the library's own codes; null for any other code.
constexpr const char* ownErrorText(std::int32_t code) {
    switch (code) {
    case kErrorNotAviFile:
        return "The file is not an AVI file.";
    case kErrorNotRegularFile:
        return "The file is not a regular file (it is a folder, a device or a pipe).";
    case kErrorHeaderCutShort:
        return "The file's header ends before it is complete.";
    case kErrorNoHeaderList:
        return "The file has no AVI header list.";
    case kErrorNoMainHeader:
        return "The file's header has no main AVI header.";
    case kErrorNoVideoStream:
        return "The file has no video stream.";
    case kErrorDamagedHeader:
        return "The file's header is damaged.";
    case kErrorRecordTooSmall:
        return "The information record is too small.";
    case kErrorInvalidHandle:
        return "The AVI file handle is not valid (not open, or already released).";
    case kErrorInvalidArgument:
        return "The call was given a null pointer or a mode other than reading.";
    default:
        return nullptr;
    }
}

// A code with no text anywhere: this, then the code's number.
inline constexpr const char* kUnknownErrorText = "Unknown error ";

} // namespace quorvel::avifile

namespace quorvel {

// Put before the error's text when a file cannot be opened or read.
inline constexpr const char* kOpenFailedText = "Error while opening the AVI file... ";
inline constexpr const char* kInfoFailedText = "Error while retrieving AVI information... ";

// A record that was read but cannot be shown.
inline constexpr const char* kRateDivisorZeroText =
    "The file's frame rate cannot be worked out: its rate divisor (dwScale) is 0.";
// Put before the size's own sentence.
inline constexpr const char* kSizeRefusedText = "The file's frame size cannot be used. ";

} // namespace quorvel
