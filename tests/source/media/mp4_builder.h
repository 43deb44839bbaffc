#pragma once

// Builds small MP4 files box by box for the reader's tests and the fuzzer's
// seeds: one video track whose every field can be changed.

#include "tests/support/byte_builder.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::mp4test {

using bytetest::Bytes;
using bytetest::cat;
using bytetest::putId;

// `bytes` big-endian bytes of `v`; beyond 8 they are leading zeros.
inline void put(Bytes& b, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        b.push_back(i < 8 ? static_cast<std::uint8_t>(v >> (8 * i)) : 0);
}

// A box whose header declares `size` whatever the body really holds.
inline Bytes rawBox(std::uint32_t size, std::string_view type, const Bytes& body) {
    Bytes b;
    put(b, size, 4);
    putId(b, type);
    return cat({b, body});
}
inline Bytes box(std::string_view type, const Bytes& body) {
    return rawBox(static_cast<std::uint32_t>(8 + body.size()), type, body);
}
inline Bytes box(std::string_view type, std::initializer_list<Bytes> children) {
    return box(type, cat(children));
}
// size 1 and a 64-bit size; `size` stands for the true one when not given.
inline Bytes largeBox(std::string_view type, const Bytes& body,
                      std::optional<std::uint64_t> size = std::nullopt) {
    Bytes b;
    put(b, 1, 4);
    putId(b, type);
    put(b, size.value_or(16 + body.size()), 8);
    return cat({b, body});
}
// A full box's version and flags, then the rest.
inline Bytes full(int version, std::uint32_t flags, const Bytes& rest) {
    Bytes b;
    put(b, static_cast<std::uint64_t>(version), 1);
    put(b, flags, 3);
    return cat({b, rest});
}
inline Bytes words(std::initializer_list<std::uint32_t> values) {
    Bytes b;
    for (const std::uint32_t v : values)
        put(b, v, 4);
    return b;
}

struct Track {
    std::uint32_t id = 1;
    std::string handler = "vide";
    int tkhdVersion = 0;
    int mdhdVersion = 0;
    // a b c d of the matrix, 16.16
    std::int32_t matrix[4] = {0x10000, 0, 0, 0x10000};
    std::uint32_t timescale = 12800;
    std::uint64_t mediaDuration = 1536; // mdhd's, in `timescale`
    std::uint16_t language = 0x55c4;    // "und"
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stts = {{3, 512}};
    std::string codec = "avc1";
    std::uint16_t width = 64;
    std::uint16_t height = 48;
    Bytes entryChildren; // pasp, avcC, ...
    Bytes trakChildren;  // edts, between tkhd and mdia
};

inline Bytes tkhd(const Track& t) {
    Bytes b;
    const int time = t.tkhdVersion == 1 ? 8 : 4;
    put(b, 0, 2 * time); // creation, modification
    put(b, t.id, 4);
    put(b, 0, 4);
    put(b, 3, time);  // duration
    put(b, 0, 8 + 8); // reserved, layer, group, volume, reserved
    const std::uint32_t m[9] = {static_cast<std::uint32_t>(t.matrix[0]),
                                static_cast<std::uint32_t>(t.matrix[1]),
                                0,
                                static_cast<std::uint32_t>(t.matrix[2]),
                                static_cast<std::uint32_t>(t.matrix[3]),
                                0,
                                0,
                                0,
                                0x40000000};
    for (const std::uint32_t v : m)
        put(b, v, 4);
    put(b, std::uint64_t{t.width} << 16, 4);
    put(b, std::uint64_t{t.height} << 16, 4);
    return box("tkhd", full(t.tkhdVersion, 3, b));
}
inline Bytes mdhd(const Track& t) {
    Bytes b;
    const int time = t.mdhdVersion == 1 ? 8 : 4;
    put(b, 0, 2 * time);
    put(b, t.timescale, 4);
    put(b, t.mediaDuration, time);
    put(b, t.language, 2);
    put(b, 0, 2);
    return box("mdhd", full(t.mdhdVersion, 0, b));
}
inline Bytes hdlr(std::string_view handler) {
    Bytes b = words({0});
    putId(b, handler);
    put(b, 0, 12);
    putId(b, "Handler");
    b.push_back(0);
    return box("hdlr", full(0, 0, b));
}
inline Bytes visualEntry(std::string_view codec, std::uint16_t width, std::uint16_t height,
                         const Bytes& children) {
    Bytes b;
    put(b, 0, 6);
    put(b, 1, 2);
    put(b, 0, 16);
    put(b, width, 2);
    put(b, height, 2);
    put(b, 0x00480000, 4);
    put(b, 0x00480000, 4);
    put(b, 0, 4);
    put(b, 1, 2);
    put(b, 0, 32);
    put(b, 0x18, 2);
    put(b, 0xffff, 2);
    return box(codec, cat({b, children}));
}
inline Bytes stsd(const Bytes& entry, std::uint32_t count = 1) {
    return box("stsd", full(0, 0, cat({words({count}), entry})));
}
inline Bytes stts(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries,
                  std::optional<std::uint32_t> count = std::nullopt) {
    Bytes b = words({count.value_or(static_cast<std::uint32_t>(entries.size()))});
    for (const auto& [n, delta] : entries) {
        put(b, n, 4);
        put(b, delta, 4);
    }
    return box("stts", full(0, 0, b));
}
inline Bytes pasp(std::uint32_t h, std::uint32_t v) {
    return box("pasp", words({h, v}));
}
inline Bytes stbl(const Track& t) {
    return box("stbl",
               {stsd(visualEntry(t.codec, t.width, t.height, t.entryChildren)), stts(t.stts)});
}
inline Bytes mdia(const Track& t, const Bytes& stblBox) {
    return box("mdia", {mdhd(t), hdlr(t.handler), box("minf", stblBox)});
}
inline Bytes trak(const Track& t) {
    return box("trak", {tkhd(t), t.trakChildren, mdia(t, stbl(t))});
}
inline Bytes ftyp() {
    Bytes b;
    putId(b, "isom");
    put(b, 0x200, 4);
    putId(b, "isomiso2avc1mp41");
    return box("ftyp", b);
}
inline Bytes mdat(std::size_t n = 16) {
    return box("mdat", Bytes(n, 0));
}
// ftyp, mdat, then a moov holding `children`: the usual layout without faststart.
inline Bytes movie(const std::vector<Bytes>& children) {
    return cat({ftyp(), mdat(), box("moov", cat(children))});
}
inline Bytes movie(const Track& t) {
    return movie(std::vector<Bytes>{trak(t)});
}

// The movie header, for the timescale of edits and mehd.
inline Bytes mvhd(std::uint32_t timescale, int version = 0) {
    Bytes b;
    const int time = version == 1 ? 8 : 4;
    put(b, 0, 2 * time);
    put(b, timescale, 4);
    put(b, 0, time);
    put(b, 0x00010000, 4); // rate
    put(b, 0x0100, 2);     // volume
    put(b, 0, 10 + 36 + 24 + 4);
    return box("mvhd", full(version, 0, b));
}
// An edit list of (segment duration, media time) pairs; -1 is an empty edit.
inline Bytes edts(const std::vector<std::pair<std::uint64_t, std::int64_t>>& edits, int version = 0,
                  std::optional<std::uint32_t> count = std::nullopt) {
    Bytes b = words({count.value_or(static_cast<std::uint32_t>(edits.size()))});
    const int size = version == 1 ? 8 : 4;
    for (const auto& [duration, mediaTime] : edits) {
        put(b, duration, size);
        put(b, static_cast<std::uint64_t>(mediaTime), size);
        put(b, 0x00010000, 4);
    }
    return box("edts", {box("elst", full(version, 0, b))});
}
inline Bytes mehd(std::uint64_t duration, int version = 0) {
    Bytes b;
    put(b, duration, version == 1 ? 8 : 4);
    return box("mehd", full(version, 0, b));
}
inline Bytes fiel(const Bytes& body) {
    return box("fiel", body);
}
// Width, height, horizontal and vertical offset: numerator, denominator.
inline Bytes clap(std::uint32_t wN, std::uint32_t wD, std::uint32_t hN, std::uint32_t hD,
                  std::int32_t hoN, std::uint32_t hoD, std::int32_t voN, std::uint32_t voD) {
    return box("clap", words({wN, wD, hN, hD, static_cast<std::uint32_t>(hoN), hoD,
                              static_cast<std::uint32_t>(voN), voD}));
}

} // namespace quorvel::mp4test
