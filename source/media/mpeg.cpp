#include "source/media/mpeg.h"

#include "source/io/byte_source.h"
#include "source/media/bit_reader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace quorvel::media::mpeg {

namespace {

const char* const kNoVideo = "The MPEG file has no video stream in its first megabyte.";
const char* const kNoSequence =
    "The MPEG video stream has no sequence header in its first megabyte.";
const char* const kCutShort = "The MPEG sequence header is cut short.";
const char* const kDamaged = "The MPEG sequence header gives a frame size of 0.";
const char* const kReadFailed = "The MPEG file could not be read.";
const char* const kNotMpeg = "The file is not an MPEG program or video stream.";

bool startCodeAt(Bytes b, std::size_t at) {
    return fitsIn(at, 4, b.size()) && b[at] == 0 && b[at + 1] == 0 && b[at + 2] == 1;
}

// The next start code at or after `from` and before `limit`; sets `more` when
// the bytes end before `limit` so that more bytes could still hold one.
std::optional<std::size_t> nextStartCode(Bytes b, std::size_t from, std::size_t limit, bool& more) {
    more = false;
    for (std::size_t i = from; i < limit; ++i) {
        if (i + 4 > b.size()) {
            more = true;
            return std::nullopt;
        }
        if (startCodeAt(b, i))
            return i;
    }
    return std::nullopt;
}

// The header after its start code, matrices included: at most 136 bytes.
Status readHeader(Bytes b, Sequence& s, std::size_t& length) {
    BitReader r(b);
    s.width = r.bits(12);
    s.height = r.bits(12);
    s.aspectCode = r.bits(4);
    s.rateCode = r.bits(4);
    s.bitRate = r.bits(18);
    r.skipBits(1 + 10 + 1); // marker, VBV buffer, constrained
    if (r.flag())
        r.skipBits(64 * 8);
    if (r.flag())
        r.skipBits(64 * 8);
    if (r.failed())
        return Status::CutShort;
    length = static_cast<std::size_t>((b.size() * 8 - r.bitsLeft() + 7) / 8);
    return s.width == 0 || s.height == 0 ? Status::Damaged : Status::Ok;
}

// What is missing decides between asking for more and being cut short.
Status missing(bool complete) {
    return complete ? Status::CutShort : Status::NeedMore;
}

} // namespace

Status parseSequence(Bytes es, bool complete, Sequence& out) {
    std::size_t at = 0;
    for (;; ++at) {
        if (at + 4 > es.size())
            return complete ? Status::NotFound : Status::NeedMore;
        if (startCodeAt(es, at) && es[at + 3] == kSequenceHeader)
            break;
    }
    Sequence s;
    s.at = at;
    std::size_t length = 0;
    const Status header = readHeader(es.subspan(at + 4), s, length);
    if (header == Status::CutShort)
        return missing(complete);
    if (header != Status::Ok)
        return header;

    // The sequence extension, when there is one, is the next start code.
    const std::size_t end = at + 4 + length;
    const std::size_t limit = end + kMaxExtensionScan;
    bool more = false;
    std::optional<std::size_t> next = nextStartCode(es, end, limit, more);
    if (!next && more && !complete)
        return Status::NeedMore;
    if (next && es[*next + 3] == kExtension) {
        if (*next + 10 > es.size())
            return missing(complete);
        BitReader r(es.subspan(*next + 4, 6));
        if (r.bits(4) == kSequenceExtensionId) {
            s.mpeg2 = true;
            r.skipBits(8); // profile and level
            s.progressiveSequence = r.flag();
            r.skipBits(2); // chroma format
            s.width |= r.bits(2) << 12;
            s.height |= r.bits(2) << 12;
            s.bitRate |= r.bits(12) << 18;
            r.skipBits(1 + 8 + 1); // marker, VBV buffer, low delay
            s.rateExtensionN = r.bits(2);
            s.rateExtensionD = r.bits(5);
        }
    }
    // Then extensions and user data, up to the first other start code.
    for (int i = 0; s.mpeg2 && next && i < kMaxExtensions; ++i) {
        next = nextStartCode(es, *next + 4, limit, more);
        if (!next) {
            if (more && !complete)
                return Status::NeedMore;
            break;
        }
        const std::uint8_t code = es[*next + 3];
        if (code != kExtension && code != kUserData)
            break;
        if (code != kExtension)
            continue;
        // id, format, colour flag, three colour bytes, two sizes and a marker
        const std::size_t longest = 8;
        const Bytes body = es.subspan(*next + 4, std::min(longest, es.size() - (*next + 4)));
        BitReader r(body);
        if (r.bits(4) != kDisplayExtensionId)
            continue;
        r.skipBits(3);
        if (r.flag())
            r.skipBits(24);
        const std::uint32_t w = r.bits(14);
        r.skipBits(1);
        const std::uint32_t h = r.bits(14);
        if (r.failed()) {
            if (!complete)
                return Status::NeedMore;
            break;
        }
        s.displayWidth = w;
        s.displayHeight = h;
        break;
    }
    out = s;
    return Status::Ok;
}

std::optional<int> audioLayer(Bytes b, std::size_t at) {
    if (!fitsIn(at, 4, b.size()) || b[at] != 0xFF || (b[at + 1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (b[at + 1] >> 3) & 3;
    const int layerBits = (b[at + 1] >> 1) & 3;
    const int bitRate = b[at + 2] >> 4;
    const int samplingRate = (b[at + 2] >> 2) & 3;
    if (version == 1 || layerBits == 0 || bitRate == 15 || samplingRate == 3)
        return std::nullopt;
    return 4 - layerBits;
}

std::optional<Fraction> frameRate(const Sequence& s) {
    static constexpr std::array<Fraction, 9> kRates = {Fraction{0, 1}, {24000, 1001}, {24, 1},
                                                       {25, 1},        {30000, 1001}, {30, 1},
                                                       {50, 1},        {60000, 1001}, {60, 1}};
    if (s.rateCode == 0 || s.rateCode >= kRates.size())
        return std::nullopt;
    const Fraction base = kRates[s.rateCode];
    if (!s.mpeg2)
        return base;
    return ratio(static_cast<std::uint64_t>(base.num) * (s.rateExtensionN + 1),
                 static_cast<std::uint64_t>(base.den) * (s.rateExtensionD + 1));
}

std::optional<Fraction> pixelShape(const Sequence& s) {
    if (s.aspectCode == 1)
        return Fraction{1, 1};
    if (!s.mpeg2) {
        // Height over width of a pel, to four places as the table gives them.
        static constexpr std::array<std::uint64_t, 15> kPelHeight = {
            0,    10000, 6735,  7031,  7615,  8055,  8437, 8935,
            9157, 9815,  10255, 10695, 10950, 11575, 12015};
        if (s.aspectCode == 0 || s.aspectCode >= kPelHeight.size())
            return std::nullopt;
        return ratio(10000, kPelHeight[s.aspectCode]);
    }
    static constexpr std::array<Fraction, 5> kDisplay = {
        Fraction{0, 1}, {1, 1}, {4, 3}, {16, 9}, {221, 100}};
    if (s.aspectCode == 0 || s.aspectCode >= kDisplay.size())
        return std::nullopt;
    const bool display = s.displayWidth != 0 && s.displayHeight != 0;
    const std::uint64_t w = display ? s.displayWidth : s.width;
    const std::uint64_t h = display ? s.displayHeight : s.height;
    const Fraction dar = kDisplay[s.aspectCode];
    return ratio(static_cast<std::uint64_t>(dar.num) * h, static_cast<std::uint64_t>(dar.den) * w);
}

namespace {

// The file's first kMaxScanBytes, read on demand in kReadChunk pieces, and
// its tail. The prefix serves as it is until more is needed.
class Window {
public:
    Window(Bytes prefix, io::ByteSource& source)
        : source_(prefix, source), held_(prefix.first(std::min(prefix.size(), kMaxScanBytes))) {
        ended_ = held_.size() >= limit();
    }

    Bytes bytes() const { return held_; }
    std::uint64_t size() const { return source_.size(); }
    // Where the last tail began: 0 when it is the whole file.
    std::uint64_t tailStart() const { return tailStart_; }
    // No more bytes will come: the file or the scan limit has ended.
    bool complete() const { return ended_; }
    bool failed() const { return failed_; }

    // Makes `end` bytes available if the file and the limit allow.
    bool ensure(std::size_t end) {
        while (held_.size() < end && !ended_)
            grow();
        return held_.size() >= end;
    }
    void grow() {
        if (ended_)
            return;
        const std::size_t held = held_.size();
        const std::size_t want = std::min(kReadChunk, limit() - held);
        if (data_.size() != held) { // still the prefix
            data_.resize(held);
            std::copy(held_.begin(), held_.end(), data_.data());
        }
        data_.resize(held + want);
        std::size_t got = 0;
        const bool read =
            io::readFully(source_.source(), held, data_.writable().subspan(held), got) == 0;
        data_.resize(read ? held + got : held);
        held_ = data_.bytes();
        if (!read) {
            failed_ = ended_ = true;
            return;
        }
        ended_ = got < want || held_.size() >= limit();
    }

    // The last `bytes` of the file, or all of a smaller one: from what is held
    // when that is the whole file, else in one read of what is not held.
    // False when the read fails.
    bool tail(std::size_t bytes, Bytes& out) {
        const std::uint64_t size = source_.size();
        const std::uint64_t start = size > bytes ? size - bytes : 0;
        tailStart_ = start;
        const std::size_t held = held_.size();
        if (held >= size) {
            out = held_.subspan(static_cast<std::size_t>(start));
            return true;
        }
        if (start >= held)
            return source_.get(start, static_cast<std::size_t>(size - start), tailStore_, out);
        const std::size_t from = static_cast<std::size_t>(start);
        tailStore_.clear();
        tailStore_.resize(static_cast<std::size_t>(size - start));
        std::copy(held_.begin() + static_cast<std::ptrdiff_t>(from), held_.end(),
                  tailStore_.data());
        std::size_t got = 0;
        if (io::readFully(source_.source(), held, tailStore_.writable().subspan(held - from),
                          got) != 0)
            return false;
        out = tailStore_.bytes().first(held - from + got);
        return true;
    }

    // The same in memory of the window's that the caller may overwrite.
    bool writableTail(std::size_t bytes, std::span<std::uint8_t>& out) {
        Bytes b;
        if (!tail(bytes, b))
            return false;
        if (b.data() != tailStore_.data()) {
            tailStore_.clear();
            tailStore_.resize(b.size());
            std::copy(b.begin(), b.end(), tailStore_.data());
        }
        out = tailStore_.writable().first(b.size());
        return true;
    }

private:
    std::size_t limit() const {
        return static_cast<std::size_t>(std::min<std::uint64_t>(source_.size(), kMaxScanBytes));
    }

    io::PrefixedSource source_;
    Bytes held_; // the prefix, or data_ once it has grown
    io::ReadBuffer data_;
    io::ReadBuffer tailStore_;
    std::uint64_t tailStart_ = 0;
    bool ended_ = false;
    bool failed_ = false;
};

// A Window that may not grow past `cap` bytes.
class Capped {
public:
    Capped(Window& w, std::size_t cap) : w_(w), cap_(cap) {}
    bool ensure(std::size_t end) { return end <= cap_ && w_.ensure(end); }
    Bytes bytes() const { return w_.bytes(); }

private:
    Window& w_;
    std::size_t cap_;
};

// Bytes in memory, walked like a Window.
class Held {
public:
    explicit Held(Bytes b) : b_(b) {}
    bool ensure(std::size_t end) const { return end <= b_.size(); }
    Bytes bytes() const { return b_; }

private:
    Bytes b_;
};

// A time stamp's 33 bits in five bytes: 3, 15 and 15 of them, each group
// followed by a marker bit.
std::uint64_t timeStamp(Bytes b, std::size_t at) {
    return (std::uint64_t{b[at]} >> 1 & 7) << 30 | std::uint64_t{b[at + 1]} << 22 |
           std::uint64_t{b[at + 2]} >> 1 << 15 | std::uint64_t{b[at + 3]} << 7 | b[at + 4] >> 1;
}

struct PesHeader {
    std::size_t payload = 0; // where it starts; 0 when the header is damaged
    std::optional<std::uint64_t> pts;
};

PesHeader pesHeader(Bytes packet) {
    PesHeader h;
    std::size_t i = 6;
    if (i < packet.size() && (packet[i] & 0xC0) == 0x80) {
        if (packet.size() < 9)
            return h;
        const std::size_t end = 9 + std::size_t{packet[8]};
        if (end > packet.size())
            return h;
        h.payload = end;
        if (packet[7] >> 7 && 9 + 5 <= end) // PTS_DTS_flags 2 or 3
            h.pts = timeStamp(packet, 9);
        return h;
    }
    // MPEG-1: stuffing, the buffer size, then the time stamps.
    for (int n = 0; n < 16 && i < packet.size() && packet[i] == 0xFF; ++n)
        ++i;
    if (i < packet.size() && (packet[i] & 0xC0) == 0x40)
        i += 2;
    if (i >= packet.size())
        return h;
    const std::size_t stamps = i;
    if ((packet[i] & 0xF0) == 0x20)
        i += 5;
    else if ((packet[i] & 0xF0) == 0x30)
        i += 10;
    else if (packet[i] == 0x0F)
        i += 1;
    else
        return h;
    if (i > packet.size())
        return h;
    h.payload = i;
    if ((packet[stamps] & 0xE0) == 0x20)
        h.pts = timeStamp(packet, stamps);
    return h;
}

// A pack header at `at` (whose first 14 bytes the caller holds): its length,
// and the base of its system clock reference.
struct Pack {
    std::size_t length = 4; // neither MPEG-1 nor MPEG-2: look again after the code
    std::optional<std::uint64_t> scr;
    std::uint64_t muxRate = 0; // bytes per second
};

Pack readPack(Bytes b, std::size_t at) {
    Pack p;
    const std::size_t i = at + 4;
    // program_mux_rate counts 50 bytes a second.
    if ((b[i] & 0xC0) == 0x40) {
        p.length = 14 + (b[at + 13] & 7u);
        p.scr = (std::uint64_t{b[i]} >> 3 & 7) << 30 | (std::uint64_t{b[i]} & 3) << 28 |
                std::uint64_t{b[i + 1]} << 20 | std::uint64_t{b[i + 2]} >> 3 << 15 |
                (std::uint64_t{b[i + 2]} & 3) << 13 | std::uint64_t{b[i + 3]} << 5 | b[i + 4] >> 3;
        p.muxRate =
            50 * (std::uint64_t{b[i + 6]} << 14 | std::uint64_t{b[i + 7]} << 6 | b[i + 8] >> 2);
    } else if ((b[i] & 0xF0) == 0x20) {
        p.length = 12;
        p.scr = timeStamp(b, i);
        p.muxRate = 50 * ((std::uint64_t{b[i + 5]} & 0x7F) << 15 | std::uint64_t{b[i + 6]} << 7 |
                          b[i + 7] >> 1);
    }
    return p;
}

// `to - from` on the clock as a signed number, the nearer way round.
std::int64_t clockDifference(std::uint64_t from, std::uint64_t to) {
    const std::uint64_t span = (to - from) & (kClockRange - 1);
    return span > kClockRange / 2
               ? static_cast<std::int64_t>(span) - static_cast<std::int64_t>(kClockRange)
               : static_cast<std::int64_t>(span);
}

// A video packet's time stamp, at the offset in the gathered payload where
// its own payload lies.
struct Stamp {
    std::size_t at = 0, end = 0;
    std::uint64_t pts = 0;
};

// One video stream's payload from a program stream, with its packets' time
// stamps and the first and last packs' clock references.
struct Payload {
    // Gathered into memory of its own, or over the packets it comes from:
    // a packet's payload never lies before the payload gathered so far.
    explicit Payload(std::size_t capacity) {
        own_.resize(capacity);
        room_ = own_.writable();
    }
    explicit Payload(std::span<std::uint8_t> packets) : room_(packets) {}

    Bytes bytes() const { return room_.first(size_); }
    std::size_t size() const { return size_; }
    void append(Bytes b) {
        std::memmove(room_.data() + size_, b.data(), b.size());
        size_ += b.size();
    }

    std::vector<Stamp> stamps;
    std::optional<std::uint64_t> firstScr, lastScr;
    // The clock reference went backwards from one pack to the next: parts
    // joined end to end. muxRate: the most a pack states, bytes a second.
    bool clockBack = false;
    std::uint64_t muxRate = 0;

private:
    io::ReadBuffer own_;
    std::span<std::uint8_t> room_;
    std::size_t size_ = 0;
};

// What the head's packets and system headers say of sound.
struct HeadSound {
    std::uint32_t mpegStreams = 0; // a bit for each of 0xC0-0xDF seen
    std::uint32_t mpegCounted = 0; // and for those whose channels were read
    std::uint32_t most = 0;
    bool privateAudio = false; // AC-3, DTS, LPCM, TrueHD: channels unread
    bool maybe = false;        // a packet or map that might be sound
    bool systemHeader = false;
    bool promised = false; // a system header lists audio
    bool gap = false;      // bytes skipped, or the walk ended at an end code

    void give(VideoInfo& v) const {
        if (mpegStreams != 0 || privateAudio) {
            v.hasAudio = true;
            if (!privateAudio && mpegCounted == mpegStreams)
                v.audioChannels = most;
        } else if (systemHeader && !promised && !maybe && !gap) {
            v.hasAudio = false;
        }
    }
};

struct Walk {
    std::size_t pos = 0;
    int steps = 0; // packs and packets looked at
    std::optional<std::uint8_t> stream;
    HeadSound* sound = nullptr; // looked for when set
};

bool mayBeAudioStream(std::uint8_t id) {
    return id == 0xB8 || id == 0xBD || id == 0xFD || (id >= 0xC0 && id <= 0xDF);
}

// audio_bound, then three bytes for each stream from byte 12 while the first
// bit is set (0xB8 stands for all audio streams).
void readSystemHeader(Bytes h, HeadSound& s) {
    constexpr std::size_t kStreamsAt = 12;
    if (h.size() < kStreamsAt) {
        s.maybe = true;
        return;
    }
    s.systemHeader = true;
    s.promised = s.promised || (h[9] >> 2) != 0;
    std::size_t at = kStreamsAt;
    for (int n = 0; n < kMaxSystemHeaderStreams && at + 3 <= h.size() && (h[at] & 0x80);
         ++n, at += 3)
        s.promised = s.promised || mayBeAudioStream(h[at]);
}

// One packet that is not the video's, whole in `packet`: MPEG audio (its
// first frame header, at the start of a packet's payload, gives the
// channels), or private stream 1, whose first payload byte names the
// substream: 0x80-0xCF sound, 0x20-0x3F subpictures.
void readOtherPacket(Bytes packet, HeadSound& s) {
    const std::uint8_t code = packet[3];
    if (code == kSystemHeader) {
        readSystemHeader(packet, s);
        return;
    }
    const PesHeader header = pesHeader(packet);
    const Bytes payload = header.payload != 0 ? packet.subspan(header.payload) : Bytes{};
    if (code >= 0xC0 && code <= 0xDF) {
        const std::uint32_t bit = std::uint32_t{1} << (code - 0xC0);
        s.mpegStreams |= bit;
        if (!(s.mpegCounted & bit) && audioLayer(payload, 0)) {
            s.mpegCounted |= bit;
            s.most = std::max<std::uint32_t>(s.most, (payload[3] >> 6) == 3 ? 1 : 2);
        }
    } else if (code == 0xBD) {
        const int sub = payload.empty() ? -1 : payload[0];
        if (sub >= 0x80 && sub <= 0xCF)
            s.privateAudio = true;
        else if (sub < 0x20 || sub > 0x3F)
            s.maybe = true;
    } else if (code == 0xBC || code == 0xFD) { // a stream map, an extended stream
        s.maybe = true;
    }
}

// Walks packs and packets from walk.pos, gathering the first video stream's
// payload (walk.stream's, once set), at most `maxPayload` bytes of it, and
// asking `onVideo` after each video packet whether to go on. A packet that
// does not start where the last one ended is looked for again at the next
// pack start. It ends with the bytes, the steps, or a program end code when
// `stopAtEnd`; a tail steps over one, as files joined end to end hold several.
template <class Source, class OnVideo>
void walkProgram(Source& src, Walk& walk, int maxSteps, std::size_t maxPayload, bool stopAtEnd,
                 Payload& out, OnVideo onVideo) {
    std::size_t& pos = walk.pos;
    for (; walk.steps < maxSteps; ++walk.steps) {
        if (!src.ensure(pos + 6))
            return;
        Bytes b = src.bytes();
        if (!startCodeAt(b, pos) || b[pos + 3] < kProgramEnd) {
            if (walk.sound)
                walk.sound->gap = true;
            ++pos;
            while (src.ensure(pos + 4) &&
                   !(startCodeAt(src.bytes(), pos) && src.bytes()[pos + 3] == kPack))
                ++pos;
            continue;
        }
        const std::uint8_t code = b[pos + 3];
        if (code == kProgramEnd) {
            if (stopAtEnd) {
                if (walk.sound && src.ensure(pos + 5))
                    walk.sound->gap = true;
                return;
            }
            pos += 4;
            continue;
        }
        if (code == kPack) {
            if (!src.ensure(pos + 14))
                return;
            const Pack pack = readPack(src.bytes(), pos);
            if (pack.scr) {
                if (out.lastScr && clockDifference(*out.lastScr, *pack.scr) < 0)
                    out.clockBack = true;
                out.firstScr = out.firstScr.value_or(*pack.scr);
                out.lastScr = pack.scr;
            }
            out.muxRate = std::max(out.muxRate, pack.muxRate);
            pos += pack.length;
            continue;
        }
        const std::size_t length = 6 + std::size_t{be16(b, pos + 4)};
        if (code >= 0xE0 && code <= 0xEF && (!walk.stream || *walk.stream == code)) {
            walk.stream = code;
            if (!src.ensure(pos + length))
                return;
            const Bytes packet = src.bytes().subspan(pos, length);
            if (const PesHeader header = pesHeader(packet); header.payload != 0) {
                const Bytes payload = packet.subspan(header.payload);
                const std::size_t taken = std::min(maxPayload - out.size(), payload.size());
                if (header.pts && taken > 0)
                    out.stamps.push_back({out.size(), out.size() + taken, *header.pts});
                out.append(payload.first(taken));
                if (!onVideo()) {
                    pos += length;
                    ++walk.steps;
                    return;
                }
            }
        }
        // The system header and every other packet are stepped over alike,
        // once looked at for sound.
        if (walk.sound && (code == kSystemHeader || code == 0xBC || mayBeAudioStream(code))) {
            if (src.ensure(pos + length))
                readOtherPacket(src.bytes().subspan(pos, length), *walk.sound);
            else
                walk.sound->maybe = true;
        }
        pos += length;
    }
}

// Hands each picture the time stamp of the packet it starts in: a packet's
// PTS belongs to the first picture whose start code begins in its payload.
class StampMatcher {
public:
    explicit StampMatcher(std::span<const Stamp> stamps) : stamps_(stamps) {}
    std::optional<std::uint64_t> take(std::size_t at) {
        while (next_ < stamps_.size() && stamps_[next_].end <= at)
            ++next_;
        if (next_ < stamps_.size() && stamps_[next_].at <= at)
            return stamps_[next_++].pts;
        return std::nullopt;
    }
    bool empty() const { return stamps_.empty(); }

private:
    std::span<const Stamp> stamps_;
    std::size_t next_ = 0;
};

// Coded fields: a frame picture holds two, a field picture one. Shown fields:
// repeat_first_field shows a frame's first field again.
std::uint64_t codedFields(const Picture& p) {
    return p.structure == 3 ? 2 : 1;
}
std::uint64_t shownFields(const Picture& p) {
    return p.structure == 3 ? 2 + p.repeatFirstField : 1;
}

// Two GOP headers in a row and the fields coded and shown between them.
struct GopStep {
    TimeCode from, to;
    std::uint64_t coded = 0, shown = 0;
};

constexpr Fraction kFilmRate{24000, 1001};

// Frames from time code `a` to `b` at `rate`. Time codes wrap at midnight;
// as on the clock, more than half a day reads as time going backwards.
std::optional<std::uint64_t> timeCodeSpan(const TimeCode& a, const TimeCode& b, Fraction rate) {
    const auto from = timeCodeFrames(a, rate);
    const auto to = timeCodeFrames(b, rate);
    TimeCode endOfDay{a.dropFrame, 23, 59, 59, 0};
    endOfDay.pictures = static_cast<std::uint32_t>((rate.num + rate.den - 1) / rate.den - 1);
    const auto day = timeCodeFrames(endOfDay, rate);
    if (!from || !to || !day)
        return std::nullopt;
    const std::uint64_t perDay = *day + 1;
    const std::uint64_t span = (*to + perDay - *from) % perDay;
    if (span > perDay / 2)
        return std::nullopt;
    return span;
}

bool sameTimeCode(const TimeCode& a, const TimeCode& b) {
    return a.dropFrame == b.dropFrame && a.hours == b.hours && a.minutes == b.minutes &&
           a.seconds == b.seconds && a.pictures == b.pictures;
}

// Which ways of counting every GOP step seen agrees with: the frames coded
// at the stored rate; under pulldown, the frames shown at the stored rate or
// the film frames coded at the film rate. A step none of them fits joins
// parts whose time codes do not follow on.
struct Counting {
    bool coded = true, shown = true, film = true;

    void add(const GopStep& step, std::optional<Fraction> rate) {
        const auto steps = [&](Fraction r, std::uint64_t fields) {
            const auto n = timeCodeSpan(step.from, step.to, r);
            return n && 2 * *n == fields;
        };
        coded = coded && rate && steps(*rate, step.coded);
        shown = shown && rate && steps(*rate, step.shown);
        film = film && steps(kFilmRate, step.coded);
    }
};

// The first pictures from the sequence header on, with their time stamps,
// and the time code of the first GOP header and the step to the second; the
// steps of an elementary stream are checked through the head. Unless the
// pictures are wanted for the cadence, a program stream's scan ends at the
// first GOP header after a time stamp: the pictures of the GOP it belongs
// to, which place the first display time, are then all in.
class HeadPictures : public PictureSink {
public:
    HeadPictures(bool forCadence, std::optional<Fraction> rate, std::span<const Stamp> stamps = {})
        : forCadence_(forCadence), rate_(rate), stamps_(stamps) {}

    bool gop(std::size_t, const TimeCode& t) override {
        if (previous_) {
            const GopStep s{*previous_, t, coded_, shown_};
            step = step.value_or(s);
            counting.add(s, rate_);
        }
        previous_ = t;
        coded_ = shown_ = 0;
        if (!firstTimeCode)
            firstTimeCode = t;
        return stamps_.empty() || forCadence_ || !timed_;
    }
    bool picture(const Picture& p) override {
        coded_ += codedFields(p);
        shown_ += shownFields(p);
        if (pictures.size() < kMaxHeadPictures) {
            Picture timed = p;
            timed.pts = stamps_.take(p.at);
            timed_ = timed_ || timed.pts;
            pictures.push_back(timed);
        }
        return pictures.size() < kMaxHeadPictures || stamps_.empty();
    }

    std::vector<Picture> pictures;
    std::optional<TimeCode> firstTimeCode;
    std::optional<GopStep> step; // from the first GOP header to the second
    Counting counting;

private:
    bool forCadence_;
    std::optional<Fraction> rate_;
    StampMatcher stamps_;
    bool timed_ = false;
    std::optional<TimeCode> previous_;
    std::uint64_t coded_ = 0, shown_ = 0;
};

// From a tail: its first pictures, for the cadence; the last GOP header and
// the fields after it, the step from the one before, and how every step
// counts, for the running time.
class TailPictures : public PictureSink {
public:
    explicit TailPictures(std::optional<Fraction> rate = std::nullopt) : rate_(rate) {}

    bool gop(std::size_t, const TimeCode& t) override {
        if (last) {
            step = GopStep{*last, t, coded, shown};
            counting.add(*step, rate_);
        }
        last = t;
        coded = shown = 0;
        return true;
    }
    bool picture(const Picture& p) override {
        coded += codedFields(p);
        shown += shownFields(p);
        if (pictures.size() < kMaxTailPictures)
            pictures.push_back(p);
        return true;
    }

    std::vector<Picture> pictures;
    std::optional<TimeCode> last;
    std::uint64_t coded = 0, shown = 0;
    std::optional<GopStep> step;
    Counting counting;

private:
    std::optional<Fraction> rate_;
};

// Coded frames: a frame picture is one, a field picture half of one.
class FrameCount : public PictureSink {
public:
    bool gop(std::size_t, const TimeCode&) override { return true; }
    bool picture(const Picture& p) override {
        fields += codedFields(p);
        return true;
    }
    std::uint64_t fields = 0;
};

// Frame periods on the 90 kHz clock, at a rate.
class Ticks {
public:
    explicit Ticks(Fraction rate) : rate_(rate) {}
    // `frames` periods, rounded to the nearest tick.
    std::int64_t of(std::int64_t frames) const {
        const std::int64_t scaled = frames * static_cast<std::int64_t>(kClockRate) * rate_.den;
        const std::int64_t half = rate_.num / 2;
        return scaled >= 0 ? (scaled + half) / rate_.num : -((-scaled + half) / rate_.num);
    }

private:
    Fraction rate_;
};

std::uint64_t onClock(std::int64_t ticks) {
    return static_cast<std::uint64_t>(ticks) & (kClockRange - 1);
}

// Display times through a program stream's tail. Each GOP's first picture is
// shown at the PTS of one of its pictures less that picture's place in the
// GOP (temporal_reference); a GOP without a time stamp follows one period
// after the last picture of the one before. The latest picture shown is the
// end. Times are kept relative to the tail's first stamp, so a wrap of the
// clock inside the tail is no jump.
class TailClock : public PictureSink {
public:
    TailClock(std::span<const Stamp> stamps, Ticks ticks) : stamps_(stamps), ticks_(ticks) {}

    bool gop(std::size_t, const TimeCode&) override {
        close();
        ++gops_;
        return true;
    }
    bool picture(const Picture& p) override {
        const std::optional<std::uint64_t> pts = stamps_.take(p.at);
        const std::int64_t tr = p.temporalReference;
        if (count_ == 0 || tr < minTr_)
            minTr_ = tr;
        if (count_ == 0 || tr > maxTr_)
            maxTr_ = tr;
        ++count_;
        if (pts && !anchor_) {
            if (!reference_)
                reference_ = *pts;
            anchor_ = clockDifference(*reference_, *pts);
            anchorTr_ = tr;
        }
        return true;
    }
    // The last display time on the clock, once every picture is in.
    std::optional<std::uint64_t> end() {
        close();
        if (!latest_)
            return std::nullopt;
        return onClock(static_cast<std::int64_t>(*reference_) + *latest_);
    }
    // Whether the first GOP whose header was seen had a time stamp: each
    // GOP from it on then ends where a scan from any earlier point puts it.
    bool firstWholeGopTimed() const { return firstWholeTimed_; }
    // Whether a GOP's time stamp put it before the last one's end: the
    // clock of a part joined after it.
    bool wentBack() const { return wentBack_; }

private:
    void close() {
        if (gops_ == 1 && count_ != 0 && anchor_)
            firstWholeTimed_ = true;
        if (count_ == 0)
            return;
        std::optional<std::int64_t> start;
        if (anchor_) {
            start = *anchor_ - ticks_.of(anchorTr_ - minTr_);
            wentBack_ = wentBack_ || (end_ && *start < *end_ - ticks_.of(1) / 2);
        } else if (end_) {
            start = *end_ + ticks_.of(1);
        }
        if (start) {
            end_ = *start + ticks_.of(maxTr_ - minTr_);
            latest_ = latest_ ? std::max(*latest_, *end_) : *end_;
        }
        count_ = 0;
        anchor_.reset();
    }

    StampMatcher stamps_;
    Ticks ticks_;
    std::optional<std::uint64_t> reference_;
    std::optional<std::int64_t> end_, latest_;
    std::int64_t minTr_ = 0, maxTr_ = 0, anchorTr_ = 0;
    std::optional<std::int64_t> anchor_;
    std::size_t count_ = 0;
    int gops_ = 0;
    bool firstWholeTimed_ = false;
    bool wentBack_ = false;
};

// The first display time in the head: the first picture with a time stamp,
// less its place in its GOP.
std::optional<std::uint64_t> headStart(std::span<const Picture> pictures, Ticks ticks) {
    for (const Picture& p : pictures) {
        if (!p.pts)
            continue;
        std::int64_t minTr = p.temporalReference;
        for (const Picture& q : pictures)
            if (q.gop == p.gop)
                minTr = std::min<std::int64_t>(minTr, q.temporalReference);
        return onClock(static_cast<std::int64_t>(*p.pts) -
                       ticks.of(static_cast<std::int64_t>(p.temporalReference) - minTr));
    }
    return std::nullopt;
}

std::uint64_t roundedMs(std::uint64_t ticks) {
    return (ticks + kClockRate / 2000) / (kClockRate / 1000);
}

// The rate time goes by: film's once pulldown is known.
std::optional<Fraction> timeRate(const VideoInfo& info) {
    return info.pulldown == true ? info.filmRate : info.rate;
}

// From the first display time to the last, and one period for the last
// picture. Frames are counted when the times lie within a quarter period of
// whole periods apart, as they do for a constant rate (and for film, whose
// pulldown moves pictures by a fifth of one).
void setSpan(std::uint64_t first, std::uint64_t last, Fraction rate, VideoInfo& info) {
    const std::optional<std::uint64_t> span = clockSpan(first, last);
    if (!span)
        return;
    const Ticks ticks(rate);
    info.durationMs = roundedMs(*span + static_cast<std::uint64_t>(ticks.of(1)));
    const std::uint64_t scale = kClockRate * static_cast<std::uint64_t>(rate.den);
    const std::uint64_t periods =
        (*span * static_cast<std::uint64_t>(rate.num) + scale / 2) / scale;
    const std::int64_t off =
        static_cast<std::int64_t>(*span) - ticks.of(static_cast<std::int64_t>(periods));
    if (4 * std::abs(off) <= ticks.of(1))
        info.frames = periods + 1;
}

// The video payload of a program stream's tail.
Payload tailPayload(std::span<std::uint8_t> tail, std::optional<std::uint8_t> stream) {
    Payload out(tail);
    Held held(tail);
    Walk walk;
    walk.stream = stream;
    walkProgram(held, walk, INT32_MAX, tail.size(), false, out, [] { return true; });
    return out;
}

// The last display time in a program stream's tail, and whether the clock
// went back in it. The end of the payload is scanned first: when a whole GOP
// with a time stamp lies in it, the GOPs before cannot change the end.
struct TailTimes {
    std::optional<std::uint64_t> end;
    bool wentBack = false;
};
TailTimes tailTimes(const Payload& tail, bool mpeg2, Ticks ticks) {
    if (tail.size() > kTailScanFirst) {
        TailClock clock(tail.stamps, ticks);
        scanPictures(tail.bytes(), tail.size() - kTailScanFirst, mpeg2, clock);
        const auto end = clock.end();
        if (end && clock.firstWholeGopTimed())
            return {end, clock.wentBack()};
    }
    TailClock clock(tail.stamps, ticks);
    scanPictures(tail.bytes(), 0, mpeg2, clock);
    const auto end = clock.end();
    return {end, clock.wentBack()};
}

// Milliseconds of `frames` at `rate`, rounded to the nearest.
std::uint64_t framesMs(std::uint64_t frames, Fraction rate) {
    const std::uint64_t num = static_cast<std::uint64_t>(rate.num);
    const std::uint64_t ms = frames * 1000 * static_cast<std::uint64_t>(rate.den);
    return (ms + num / 2) / num;
}

// For parts joined end to end, whose clocks say nothing of the whole: the
// frames coded in `es` when it is the whole file's video, else nothing.
void countWhole(Bytes es, bool mpeg2, bool whole, VideoInfo& info) {
    info.durationMs.reset();
    info.frames.reset();
    const std::optional<Fraction> rate = timeRate(info);
    if (!whole || !rate)
        return;
    FrameCount count;
    scanPictures(es, 0, mpeg2, count);
    if (count.fields / 2 == 0)
        return;
    info.frames = count.fields / 2;
    info.durationMs = framesMs(*info.frames, *rate);
}

// Program stream: the first and last display times from the video's time
// stamps; when either end has none, the first and last packs' clock
// references, which span the file's delivery rather than its pictures. Parts
// joined end to end are counted when the tail is the whole file.
void programTiming(const HeadPictures& head, const Payload& headPayload, const Payload& tail,
                   bool whole, bool joined, bool mpeg2, VideoInfo& info) {
    if (joined) {
        countWhole(tail.bytes(), mpeg2, whole, info);
        return;
    }
    if (const auto rate = timeRate(info)) {
        const auto first = headStart(head.pictures, Ticks(*rate));
        const TailTimes last = tailTimes(tail, mpeg2, Ticks(*rate));
        if (last.wentBack) {
            countWhole(tail.bytes(), mpeg2, whole, info);
            return;
        }
        if (first && last.end) {
            setSpan(*first, *last.end, *rate, info);
            return;
        }
    }
    if (headPayload.firstScr && tail.lastScr)
        if (const auto span = clockSpan(*headPayload.firstScr, *tail.lastScr))
            info.durationMs = roundedMs(*span);
}

// Elementary stream: the first GOP's time code and the last's in the tail,
// with the pictures after that, when every step seen counts the same way.
// `tail` is the whole file when `whole`.
void elementaryTiming(const HeadPictures& head, const TailPictures& last, Bytes tail, bool whole,
                      bool mpeg2, VideoInfo& info) {
    if (!info.rate || !head.firstTimeCode || !last.last)
        return;
    // Under pulldown time codes count either the frames shown, at the stored
    // rate, or the coded film frames, at the film rate (as mjpegtools does);
    // the steps from one GOP to the next tell which. A single GOP reads the
    // same either way.
    bool shown = false;
    Fraction counted = *info.rate;
    bool follows = head.counting.coded && last.counting.coded;
    if (info.pulldown == true) {
        const bool stepped = head.step || last.step;
        if (stepped && head.counting.shown && last.counting.shown)
            shown = true;
        else if (stepped ? head.counting.film && last.counting.film
                         : sameTimeCode(*head.firstTimeCode, *last.last))
            counted = *info.filmRate;
        else if (!stepped)
            return;
        follows = shown || counted == *info.filmRate;
    }
    if (!follows) {
        countWhole(tail, mpeg2, whole, info);
        return;
    }
    const auto span = timeCodeSpan(*head.firstTimeCode, *last.last, counted);
    if (!span)
        return;
    const std::uint64_t count = *span + (shown ? last.shown : last.coded) / 2;
    if (count == 0) // a GOP header with no picture after it
        return;
    const Fraction timeBase = shown ? *info.rate : *timeRate(info);
    if (!shown)
        info.frames = count;
    info.durationMs = framesMs(count, timeBase);
}

// A running time the file's bytes could not have come in is a lie of the
// clocks: none, and no frames.
void checkBytes(std::uint64_t bytes, std::uint64_t statedBitsPerSecond, VideoInfo& info) {
    if (info.durationMs && !bytesFitTime(bytes, *info.durationMs, statedBitsPerSecond)) {
        info.durationMs.reset();
        info.frames.reset();
    }
    if (!plausibleDuration(info.durationMs)) {
        info.durationMs.reset();
        info.frames.reset();
    }
}

void setCadence(std::span<const Picture> display, VideoInfo& info) {
    info.pulldown = filmCadence(display);
    if (info.pulldown == true)
        info.filmRate = kFilmRate;
}

// MPEG-1 is progressive. MPEG-2: progressive_sequence, else the first
// picture: a field picture, or a frame that is not progressive_frame, is
// interlaced, in its order. Pulldown is looked for in a 30000/1001 stream
// that is not progressive_sequence.
bool cadenceLookedFor(const Sequence& s) {
    return s.mpeg2 && !s.progressiveSequence && frameRate(s) == Fraction{30000, 1001};
}

void readFields(const Sequence& s, std::span<const Picture> pictures, VideoInfo& info) {
    info.pulldown = false;
    if (!s.mpeg2 || s.progressiveSequence) {
        info.scan = Scan::Progressive;
        return;
    }
    const bool ntsc = cadenceLookedFor(s);
    if (pictures.empty() || !pictures.front().extension) {
        if (ntsc)
            info.pulldown = std::nullopt;
        return;
    }
    const Picture& first = pictures.front();
    if (first.structure != 3) {
        info.scan = Scan::Interlaced;
        info.fieldOrder = first.structure == 1 ? FieldOrder::TopFirst : FieldOrder::BottomFirst;
    } else if (!first.progressiveFrame) {
        info.scan = Scan::Interlaced;
        info.fieldOrder = first.topFieldFirst ? FieldOrder::TopFirst : FieldOrder::BottomFirst;
    } else {
        info.scan = Scan::Progressive;
    }
    if (!ntsc)
        return;
    setCadence(displayOrder(pictures), info);
}

// Pulldown from the tail's pictures when the head's were too few to tell: at
// DVD rates the bytes open reads rarely hold eight of them.
void tailCadence(const TailPictures& tail, VideoInfo& info) {
    if (!info.pulldown)
        setCadence(displayOrderFromCut(tail.pictures), info);
}

std::size_t tailBytes(const VideoInfo& info) {
    return info.pulldown ? kTailBytes : kCadenceTailBytes;
}

ProbeResult result(const Sequence& s, Container container) {
    VideoInfo info;
    info.container = container;
    info.codec = s.mpeg2 ? "mpeg2video" : "mpeg1video";
    info.width = s.width;
    info.height = s.height;
    info.rate = frameRate(s);
    info.sar = pixelShape(s);
    // MPEG-1's all ones says the rate varies: no most.
    if (s.mpeg2 && s.bitRate != 0)
        info.peakBitsPerSecond = std::uint64_t{s.bitRate} * 400;
    return {info, {}};
}

ProbeResult failure(Status status, bool readFailed) {
    if (readFailed)
        return {std::nullopt, kReadFailed};
    switch (status) {
    case Status::CutShort:
        return {std::nullopt, kCutShort};
    case Status::Damaged:
        return {std::nullopt, kDamaged};
    default:
        return {std::nullopt, kNoSequence};
    }
}

// Where the first pictures are looked for: in what open reads, or, when the
// sequence header lies past that, as much again after it.
std::size_t headEnd(std::size_t sequenceAt) {
    if (sequenceAt < io::kPrefixSize)
        return io::kPrefixSize;
    return std::min(kMaxScanBytes, sequenceAt + io::kPrefixSize);
}

ProbeResult readElementary(Window& w) {
    Sequence s;
    for (;;) {
        const Status status = parseSequence(w.bytes(), w.complete(), s);
        if (status == Status::Ok)
            break;
        if (status != Status::NeedMore)
            return failure(status, w.failed());
        w.grow();
    }
    ProbeResult r = result(s, Container::MpegEs);
    r.video->hasAudio = false;
    const std::size_t end = headEnd(s.at);
    w.ensure(end);
    HeadPictures head(cadenceLookedFor(s), r.video->rate);
    scanPictures(w.bytes().first(std::min(end, w.bytes().size())), s.at, s.mpeg2, head);
    readFields(s, head.pictures, *r.video);
    Bytes tail;
    if (w.tail(tailBytes(*r.video), tail)) {
        TailPictures last(r.video->rate);
        scanPictures(tail, 0, s.mpeg2, last);
        tailCadence(last, *r.video);
        elementaryTiming(head, last, tail, w.tailStart() == 0, s.mpeg2, *r.video);
        checkBytes(w.size(), std::uint64_t{s.bitRate} * 400, *r.video);
    }
    return r;
}

// Walks packs and packets to the first video stream and gathers its payload
// until the sequence header can be read; then on through the bytes open read
// for the first pictures, and through the tail for the last.
ProbeResult readProgram(Window& w) {
    Payload video(kMaxVideoBytes);
    HeadSound sound;
    Walk walk;
    walk.sound = &sound;
    std::size_t nextLook = 0;
    Status status = Status::NotFound;
    Sequence s;
    bool decided = false;
    walkProgram(w, walk, kMaxPackets, kMaxVideoBytes, true, video, [&] {
        // Looked at each time the payload has doubled, so that many small
        // packets cost linear time; more bytes never change an answer that is
        // not NeedMore.
        if (video.size() >= nextLook || video.size() >= kMaxVideoBytes) {
            nextLook = 2 * video.size();
            status = parseSequence(video.bytes(), video.size() >= kMaxVideoBytes, s);
            decided = status != Status::NeedMore;
        }
        return !decided;
    });
    if (!decided) {
        if (w.failed())
            return {std::nullopt, kReadFailed};
        if (!walk.stream)
            return {std::nullopt, kNoVideo};
        status = parseSequence(video.bytes(), true, s);
    }
    if (status != Status::Ok)
        return failure(status, false);

    ProbeResult r = result(s, Container::MpegPs);
    if (walk.pos < io::kPrefixSize) {
        Capped head(w, io::kPrefixSize);
        walkProgram(head, walk, kMaxPackets, kMaxVideoBytes, true, video, [] { return true; });
    }
    sound.give(*r.video);
    HeadPictures head(cadenceLookedFor(s), r.video->rate, video.stamps);
    scanPictures(video.bytes(), s.at, s.mpeg2, head);
    readFields(s, head.pictures, *r.video);
    std::span<std::uint8_t> tail;
    if (w.writableTail(tailBytes(*r.video), tail)) {
        const Payload end = tailPayload(tail, walk.stream);
        if (!r.video->pulldown) {
            TailPictures last;
            scanPictures(end.bytes(), 0, s.mpeg2, last);
            tailCadence(last, *r.video);
        }
        // Clock references go backwards where parts were joined end to end:
        // inside the head or the tail, or from the head's last (its first,
        // when the tail reaches into the head) to the tail's first.
        const std::uint64_t start = w.tailStart();
        bool joined = video.clockBack || end.clockBack;
        if (start > 0 && video.lastScr && end.firstScr) {
            const std::uint64_t before = start >= walk.pos ? *video.lastScr : *video.firstScr;
            joined = joined || clockDifference(before, *end.firstScr) < 0;
        }
        programTiming(head, video, end, start == 0, joined, s.mpeg2, *r.video);
        checkBytes(w.size(), 8 * std::max(video.muxRate, end.muxRate), *r.video);
    }
    return r;
}

} // namespace

} // namespace quorvel::media::mpeg

namespace quorvel::media {

ProbeResult readMpeg(Bytes prefix, io::ByteSource& source) {
    mpeg::Window w(prefix, source);
    w.ensure(4);
    const Bytes b = w.bytes();
    if (b.size() >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 1) {
        if (b[3] == mpeg::kPack)
            return mpeg::readProgram(w);
        if (b[3] == mpeg::kSequenceHeader)
            return mpeg::readElementary(w);
    }
    return {std::nullopt, w.failed() ? "The MPEG file could not be read." : mpeg::kNotMpeg};
}

} // namespace quorvel::media
