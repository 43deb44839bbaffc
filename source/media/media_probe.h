#pragma once

// Reads one video file whatever holds it: the first bytes pick the container
// and its reader. AVI goes the window's own way (the AVI library and its
// information record), so its answers and messages stay exactly the window's.

#include "source/avi/avi_library.h"
#include "source/media/media.h"
#include "source/media/messages.h"

#include <optional>
#include <string>

namespace quorvel::media {

struct FileProbe {
    std::optional<VideoInfo> video;
    // For AVI: the record the window reads, from which `video` was made.
    std::optional<avifile::AVIFILEINFO> aviRecord;
    std::string error; // a sentence for the user when there is no video
    bool ok() const { return video.has_value(); }
};

// Opens `path`, reads its first io::kPrefixSize bytes once, sniffs them
// and hands them to the container's reader. An AVI file is read through
// `library` as the window reads it, with the window's sentences; a file that
// cannot be opened or read gets one of these, then the system's reason.
FileProbe probeFile(avifile::AviLibrary& library, const std::string& path);
inline constexpr const char* kOpenFileFailedText = "Error while opening the file... ";
inline constexpr const char* kReadFileFailedText = "Error while reading the file... ";

// What an AVI information record says, in the containers' common terms.
// Sizes and rate are the record's bits; the record names no codec.
VideoInfo aviVideoInfo(const avifile::AVIFILEINFO& record);

} // namespace quorvel::media
