#pragma once

// Every sentence the size calculation gives the user, in one place. The
// window shows them as they are; the file road puts its own lead-in before
// them (source/avi/messages.h).

namespace quorvel {

inline constexpr const char* kWidthNotANumberText =
    "The source width is not a number. Enter a whole number from -32768 to 32767.";
inline constexpr const char* kWidthOutOfRangeText =
    "The source width is out of range. It must be a whole number from -32768 to 32767.";
inline constexpr const char* kHeightNotANumberText =
    "The source height is not a number. Enter a whole number from -32768 to 32767.";
inline constexpr const char* kHeightOutOfRangeText =
    "The source height is out of range. It must be a whole number from -32768 to 32767.";
inline constexpr const char* kHeightZeroText = "The source height must not be 0.";

} // namespace quorvel
