// TEMPORARY: DELETE THIS FILE AT MERGE. Stand-ins for the container readers
// and the sniffer (source/media.h) so that the probe and quorvel-info build and
// run before the real readers arrive; the real files define every function
// below. Remove it from source/CMakeLists.txt with it.

#include "source/media.h"

namespace quorvel::media {

namespace {

bool startsWith(Bytes b, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    if (!fitsIn(at, bytes.size(), b.size()))
        return false;
    std::size_t i = at;
    for (const std::uint8_t x : bytes)
        if (b[i++] != x)
            return false;
    return true;
}

ProbeResult notYet(const char* what) {
    return {std::nullopt, std::string("This ") + what + " file cannot be read yet."};
}

} // namespace

const char* containerName(Container c) {
    switch (c) {
    case Container::Avi:
        return "AVI";
    case Container::Mp4:
        return "MP4";
    case Container::Matroska:
        return "Matroska";
    case Container::MpegPs:
        return "MPEG-PS";
    case Container::MpegEs:
        break;
    }
    return "MPEG-ES";
}

Sniffed sniff(Bytes p) {
    if (startsWith(p, 0, {'R', 'I', 'F', 'F'}) && startsWith(p, 8, {'A', 'V', 'I', ' '}))
        return {Container::Avi, {}};
    if (startsWith(p, 0, {'R', 'I', 'F', 'F'}) && startsWith(p, 8, {'W', 'A', 'V', 'E'}))
        return {std::nullopt, "a WAVE file"};
    if (startsWith(p, 4, {'f', 't', 'y', 'p'}))
        return {Container::Mp4, {}};
    if (startsWith(p, 0, {0x1A, 0x45, 0xDF, 0xA3}))
        return {Container::Matroska, {}};
    if (startsWith(p, 0, {0, 0, 1, 0xBA}))
        return {Container::MpegPs, {}};
    if (startsWith(p, 0, {0, 0, 1, 0xB3}))
        return {Container::MpegEs, {}};
    if (startsWith(p, 0, {0x47}) && startsWith(p, 188, {0x47}))
        return {std::nullopt, "an MPEG transport stream"};
    return {std::nullopt, "not a video file"};
}

ProbeResult readMatroska(Bytes, avifile::ByteSource&) {
    return notYet("Matroska");
}
ProbeResult readMpeg(Bytes, avifile::ByteSource&) {
    return notYet("MPEG");
}

} // namespace quorvel::media
