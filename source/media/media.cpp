#include "source/media/media.h"

#include "source/media/ebml.h"

#include <array>
#include <cstring>

namespace quorvel::media {

namespace {

bool startsWith(Bytes b, std::size_t at, const char* text) {
    const std::size_t n = std::strlen(text);
    return fitsIn(at, n, b.size()) && std::memcmp(b.data() + at, text, n) == 0;
}

bool startCode(Bytes b, std::uint8_t code) {
    return b.size() >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == code;
}

// An ISO BMFF file opens with a box whose size is 0 (to the end), 1 (a 64-bit
// size follows) or at least its own 8-byte header.
bool isoBox(Bytes b) {
    if (b.size() < 8)
        return false;
    static constexpr std::array kTypes = {"ftyp", "moov", "mdat", "free", "skip", "wide", "moof"};
    bool known = false;
    for (const char* type : kTypes)
        known = known || startsWith(b, 4, type);
    if (!known)
        return false;
    const std::uint32_t size = be32(b, 0);
    if (size == 1)
        return b.size() >= 16 && be64(b, 8) >= 16;
    return size == 0 || size >= 8;
}

// Sync bytes every `packet` bytes from `first`, as many as the prefix holds,
// and at least three of them.
bool transportStream(Bytes b, std::size_t first, std::size_t packet) {
    int seen = 0;
    for (std::size_t at = first; at < b.size() && seen < 8; at += packet, ++seen)
        if (b[at] != 0x47)
            return false;
    return seen >= 3;
}

bool mp3(Bytes b) {
    if (startsWith(b, 0, "ID3"))
        return true;
    // Frame sync, a layer, and a bit rate that is not the forbidden one.
    return b.size() >= 4 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && (b[1] & 0x06) != 0 &&
           (b[2] & 0xF0) != 0xF0;
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
        return "MPEG-ES";
    }
    return "unknown";
}

Sniffed sniff(Bytes prefix) {
    const Bytes b = prefix;
    if (startsWith(b, 0, "RIFF") && b.size() >= 12) {
        if (startsWith(b, 8, "AVI "))
            return {Container::Avi, {}};
        if (startsWith(b, 8, "WAVE"))
            return {std::nullopt, "a WAVE file"};
        return {std::nullopt, "a RIFF file"};
    }
    if (isoBox(b))
        return {Container::Mp4, {}};
    if (b.size() >= 4 && be32(b, 0) == matroska::kIdEbml) {
        const matroska::DocType doc = matroska::docType(b);
        if (doc.known && !matroska::isMatroskaDocType(doc.name))
            return {std::nullopt, "an EBML file of type \"" + doc.name + "\""};
        // An unreadable header is the reader's to explain.
        return {Container::Matroska, {}};
    }
    if (startCode(b, 0xBA))
        return {Container::MpegPs, {}};
    if (startCode(b, 0xB3))
        return {Container::MpegEs, {}};
    if (transportStream(b, 0, 188) || transportStream(b, 4, 192))
        return {std::nullopt, "an MPEG transport stream"};
    if (startsWith(b, 0, "OggS"))
        return {std::nullopt, "an Ogg file"};
    if (startsWith(b, 0, "fLaC"))
        return {std::nullopt, "a FLAC file"};
    if (startsWith(b, 0, "\x89PNG\r\n\x1a\n"))
        return {std::nullopt, "a PNG image"};
    if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
        return {std::nullopt, "a JPEG image"};
    if (mp3(b))
        return {std::nullopt, "an MP3 file"};
    return {std::nullopt, "not a video file"};
}

std::optional<Fraction> ratio(std::uint64_t num, std::uint64_t den) {
    if (num == 0 || den == 0)
        return std::nullopt;
    std::uint64_t a = num, b = den;
    while (b != 0) {
        const std::uint64_t t = a % b;
        a = b;
        b = t;
    }
    num /= a;
    den /= a;
    if (num > INT64_MAX || den > INT64_MAX)
        return std::nullopt;
    return Fraction{static_cast<std::int64_t>(num), static_cast<std::int64_t>(den)};
}

} // namespace quorvel::media
