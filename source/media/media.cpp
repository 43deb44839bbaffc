#include "source/media/media.h"

#include "source/media/ebml.h"
#include "source/media/mpeg.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

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

const char* mpegAudioName(int layer) {
    switch (layer) {
    case 1:
        return "an MPEG audio layer I file";
    case 2:
        return "an MP2 file";
    default:
        return "an MP3 file";
    }
}

// An ID3v2 tag: "ID3", a major version, a revision, flags and a size of four
// seven-bit bytes; a footer of 10 bytes follows when the flags say so. The
// audio after it names the file, when the prefix holds its first frame.
std::optional<std::string> id3Audio(Bytes b) {
    if (!startsWith(b, 0, "ID3"))
        return std::nullopt;
    constexpr std::size_t kHeader = 10;
    constexpr std::uint8_t kFooterFlag = 0x10;
    if (b.size() >= kHeader && (b[6] | b[7] | b[8] | b[9]) < 0x80) {
        const std::size_t size =
            std::size_t{b[6]} << 21 | std::size_t{b[7]} << 14 | std::size_t{b[8]} << 7 | b[9];
        const std::size_t audio = kHeader + size + (b[5] & kFooterFlag ? kHeader : 0);
        if (const auto layer = mpeg::audioLayer(b, audio))
            return mpegAudioName(*layer);
    }
    return "an audio file with an ID3 tag";
}

// An IVF file: "DKIF", version 0, a 32-byte header, then the codec's FourCC.
std::optional<std::string> ivf(Bytes b) {
    if (!startsWith(b, 0, "DKIF") || b.size() < 12 || le16(b, 4) != 0 || le16(b, 6) != 32)
        return std::nullopt;
    if (startsWith(b, 8, "AV01"))
        return "an AV1 stream in an IVF file";
    if (startsWith(b, 8, "VP90"))
        return "a VP9 stream in an IVF file";
    if (startsWith(b, 8, "VP80"))
        return "a VP8 stream in an IVF file";
    return "an IVF file";
}

// A raw H.264 or H.265 stream (Annex B): zero bytes, a one, and the header of
// a NAL unit that may open a stream. H.264's one-byte header: an SPS (type 7,
// whose nal_ref_idc is never 0), an SEI (6) or an access unit delimiter (9),
// both with nal_ref_idc 0. H.265's two bytes: a VPS (32), SPS (33), delimiter
// (35) or prefix SEI (39) of the base layer, so the first byte is even and the
// second holds only the temporal id plus 1, which is 1 to 7. The two sets of
// first bytes do not meet, so the header alone tells the codecs apart.
std::optional<std::string> annexB(Bytes b) {
    // Annex B allows any number of zero bytes before the first start code.
    constexpr std::size_t kMaxLeadingZeros = 16;
    std::size_t zeros = 0;
    while (zeros < b.size() && zeros <= kMaxLeadingZeros && b[zeros] == 0)
        ++zeros;
    if (zeros < 2 || zeros > kMaxLeadingZeros || !fitsIn(zeros, 3, b.size()) || b[zeros] != 1)
        return std::nullopt;
    const std::uint8_t first = b[zeros + 1];
    const std::uint8_t second = b[zeros + 2];
    const int h264Type = first & 0x1F;
    const int h264RefIdc = (first >> 5) & 3;
    if ((first & 0x80) == 0 && ((h264Type == 7 && h264RefIdc != 0) ||
                                ((h264Type == 6 || h264Type == 9) && h264RefIdc == 0)))
        return "a raw H.264 video stream";
    const int h265Type = first >> 1;
    if ((first & 0x81) == 0 && second >= 1 && second <= 7 &&
        (h265Type == 32 || h265Type == 33 || h265Type == 35 || h265Type == 39))
        return "a raw H.265 video stream";
    return std::nullopt;
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
    if (startCode(b, mpeg::kPack))
        return {Container::MpegPs, {}};
    if (startCode(b, mpeg::kSequenceHeader))
        return {Container::MpegEs, {}};
    if (auto found = annexB(b))
        return {std::nullopt, *found};
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
    if (auto found = ivf(b))
        return {std::nullopt, *found};
    if (auto found = id3Audio(b))
        return {std::nullopt, *found};
    if (const auto layer = mpeg::audioLayer(b, 0))
        return {std::nullopt, mpegAudioName(*layer)};
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

std::optional<std::string> languageOf(std::string_view tag) {
    const std::string_view primary = tag.substr(0, tag.find('-'));
    if (primary.size() < 2 || primary.size() > 3)
        return std::nullopt;
    std::string lower;
    for (const char c : primary) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return std::nullopt;
        lower.push_back(static_cast<char>(c | 0x20));
    }
    if (lower == "und" || lower == "mul" || lower == "zxx" || lower == "mis")
        return std::nullopt;
    return lower;
}

std::vector<std::uint64_t> chapterMarks(std::vector<std::uint64_t> ms) {
    std::erase_if(ms, [](std::uint64_t m) { return m > kMaxDurationMs; });
    std::sort(ms.begin(), ms.end());
    ms.erase(std::unique(ms.begin(), ms.end()), ms.end());
    if (ms.size() > kMaxChapters)
        ms.resize(kMaxChapters);
    return ms;
}

} // namespace quorvel::media
