#pragma once

// Builds small AVI headers byte by byte for the reader's tests.

#include "tests/support/byte_builder.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace quorvel::avitest {

using bytetest::Bytes;
using bytetest::cat;
using bytetest::putId;

inline void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// A chunk whose header declares `size` whatever the body really holds.
inline Bytes rawChunk(std::string_view id, std::uint32_t size, const Bytes& body) {
    Bytes b;
    putId(b, id);
    put32(b, size);
    return cat({b, body});
}
inline Bytes chunk(std::string_view id, const Bytes& body) {
    Bytes b = rawChunk(id, static_cast<std::uint32_t>(body.size()), body);
    if (body.size() % 2)
        b.push_back(0);
    return b;
}
inline Bytes list(std::string_view type, std::initializer_list<Bytes> children) {
    Bytes body;
    putId(body, type);
    return chunk("LIST", cat({body, cat(children)}));
}
inline Bytes riffAvi(std::initializer_list<Bytes> children) {
    Bytes b = chunk("RIFF", cat({Bytes{'A', 'V', 'I', ' '}, cat(children)}));
    return b;
}
inline Bytes junk(std::size_t n) {
    return chunk("JUNK", Bytes(n, 0));
}

struct Main {
    std::uint32_t microSecPerFrame = 40000;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t size = 56; // bytes written
    std::uint32_t totalFrames = 100;
};
inline Bytes avih(const Main& m) {
    Bytes b;
    for (std::uint32_t v :
         {m.microSecPerFrame, 1000u, 0u, 0x10u, m.totalFrames, 0u, 1u, 0u, m.width, m.height})
        put32(b, v);
    b.resize(m.size, 0);
    return chunk("avih", b);
}

struct Stream {
    std::string_view type = "vids";
    std::uint32_t scale = 1;
    std::uint32_t rate = 25;
    std::int16_t rect[4] = {0, 0, 0, 0}; // left, top, right, bottom
    std::uint32_t size = 56;
    std::uint32_t length = 1;
};
inline Bytes strh(const Stream& s) {
    Bytes b;
    putId(b, s.type);
    putId(b, "MJPG");
    for (std::uint32_t v : {0u, 0u, 0u, s.scale, s.rate, 0u, s.length, 4096u, 0u, 0u})
        put32(b, v);
    for (std::int16_t v : s.rect)
        put16(b, static_cast<std::uint16_t>(v));
    b.resize(s.size, 0);
    return chunk("strh", b);
}
inline Bytes bitmap(std::int32_t width, std::int32_t height, std::uint32_t size = 40) {
    Bytes b;
    for (std::int32_t v : {40, width, height})
        put32(b, static_cast<std::uint32_t>(v));
    b.resize(size, 0);
    return chunk("strf", b);
}
inline Bytes videoList(std::int32_t width = 320, std::int32_t height = 240, Stream s = {}) {
    return list("strl", {strh(s), bitmap(width, height)});
}
inline Bytes audioList() {
    return list("strl",
                {strh({.type = "auds", .scale = 1, .rate = 8000}), chunk("strf", Bytes(16, 1))});
}
// The OpenDML header list with its total frame count.
inline Bytes odml(std::uint32_t totalFrames) {
    Bytes dmlh;
    put32(dmlh, totalFrames);
    dmlh.resize(248, 0);
    return list("odml", {chunk("dmlh", dmlh)});
}
inline Bytes movi() {
    return list("movi", {chunk("00dc", Bytes(10, 7))});
}

// A whole small file around the given header list children.
inline Bytes aviWith(std::initializer_list<Bytes> hdrlChildren) {
    return riffAvi({list("hdrl", hdrlChildren), movi()});
}

} // namespace quorvel::avitest
