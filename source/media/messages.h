#pragma once

// The sentences of the probe that picks a container's reader, in one place.
// Each reader's own sentences stand beside its limits (mp4.h, matroska.h,
// mpeg.h); an AVI file is read the window's way, with its sentences
// (source/avi/messages.h).

#include <string>

namespace quorvel::media {

// A reader failed without saying why.
inline constexpr const char* kVideoUnreadableText = "The file's video cannot be read.";

// The sentence for content that is no container we read, from what the
// sniffer `found`: "The file is an MPEG transport stream, which ...", "The
// file is not a video file."
inline std::string describeUnreadable(const std::string& found) {
    if (found.empty() || found.rfind("not ", 0) == 0)
        return "The file is " + (found.empty() ? std::string("not a video file") : found) + ".";
    return "The file is " + found +
           ", which is not one of the containers read here (AVI, MP4, Matroska, MPEG program or "
           "elementary stream).";
}

} // namespace quorvel::media
