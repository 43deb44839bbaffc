#include "source/media/mpeg.h"

#include "source/io/byte_source.h"
#include "source/media/bit_reader.h"

#include <algorithm>
#include <array>
#include <vector>

namespace quorvel::media::mpeg {

namespace {

constexpr std::uint8_t kSequenceHeader = 0xB3;
constexpr std::uint8_t kExtension = 0xB5;
constexpr std::uint8_t kUserData = 0xB2;
constexpr std::uint8_t kProgramEnd = 0xB9;
constexpr std::uint8_t kPack = 0xBA;
constexpr std::uint32_t kSequenceExtensionId = 1;
constexpr std::uint32_t kDisplayExtensionId = 2;

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
    r.skipBits(18 + 1 + 10 + 1); // bit rate, marker, VBV buffer, constrained
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
            r.skipBits(8 + 1 + 2); // profile and level, progressive, chroma
            s.width |= r.bits(2) << 12;
            s.height |= r.bits(2) << 12;
            r.skipBits(12 + 1 + 8 + 1); // bit rate, marker, VBV buffer, low delay
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

// The file's first kMaxScanBytes, read on demand in kReadChunk pieces.
class Window {
public:
    Window(Bytes prefix, io::ByteSource& source) : source_(prefix, source) {
        const Bytes first = prefix.first(std::min(prefix.size(), kMaxScanBytes));
        data_.assign(first.begin(), first.end());
        ended_ = data_.size() >= limit();
    }

    Bytes bytes() const { return data_; }
    // No more bytes will come: the file or the scan limit has ended.
    bool complete() const { return ended_; }
    bool failed() const { return failed_; }

    // Makes `end` bytes available if the file and the limit allow.
    bool ensure(std::size_t end) {
        while (data_.size() < end && !ended_)
            grow();
        return data_.size() >= end;
    }
    void grow() {
        if (ended_)
            return;
        const std::size_t want = std::min(kReadChunk, limit() - data_.size());
        Bytes got;
        if (!source_.get(data_.size(), want, store_, got)) {
            failed_ = ended_ = true;
            return;
        }
        data_.insert(data_.end(), got.begin(), got.end());
        ended_ = got.size() < want || data_.size() >= limit();
    }

private:
    std::size_t limit() const {
        return static_cast<std::size_t>(std::min<std::uint64_t>(source_.size(), kMaxScanBytes));
    }

    io::PrefixedSource source_;
    std::vector<std::uint8_t> data_;
    std::vector<std::uint8_t> store_;
    bool ended_ = false;
    bool failed_ = false;
};

ProbeResult result(const Sequence& s, Container container) {
    VideoInfo info;
    info.container = container;
    info.codec = s.mpeg2 ? "mpeg2video" : "mpeg1video";
    info.width = s.width;
    info.height = s.height;
    info.rate = frameRate(s);
    info.sar = pixelShape(s);
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

ProbeResult readElementary(Window& w) {
    for (;;) {
        Sequence s;
        const Status status = parseSequence(w.bytes(), w.complete(), s);
        if (status == Status::Ok)
            return result(s, Container::MpegEs);
        if (status != Status::NeedMore)
            return failure(status, w.failed());
        w.grow();
    }
}

// Where a PES packet's payload starts, or 0 when its header is damaged.
std::size_t payloadStart(Bytes packet) {
    std::size_t i = 6;
    if (i < packet.size() && (packet[i] & 0xC0) == 0x80) {
        if (packet.size() < 9)
            return 0;
        i = 9 + std::size_t{packet[8]};
        return i <= packet.size() ? i : 0;
    }
    // MPEG-1: stuffing, the buffer size, then the time stamps.
    for (int n = 0; n < 16 && i < packet.size() && packet[i] == 0xFF; ++n)
        ++i;
    if (i < packet.size() && (packet[i] & 0xC0) == 0x40)
        i += 2;
    if (i >= packet.size())
        return 0;
    if ((packet[i] & 0xF0) == 0x20)
        i += 5;
    else if ((packet[i] & 0xF0) == 0x30)
        i += 10;
    else if (packet[i] == 0x0F)
        i += 1;
    else
        return 0;
    return i <= packet.size() ? i : 0;
}

// Walks packs and packets to the first video stream and gathers its payload
// until the sequence header can be read. A packet that does not start where
// the last one ended is looked for again at the next pack start.
ProbeResult readProgram(Window& w) {
    std::vector<std::uint8_t> video;
    std::optional<std::uint8_t> stream;
    std::size_t pos = 0;
    std::size_t nextLook = 0;
    Status status = Status::NotFound;
    for (int n = 0; n < kMaxPackets; ++n) {
        if (!w.ensure(pos + 6))
            break;
        Bytes b = w.bytes();
        if (!startCodeAt(b, pos) || b[pos + 3] < kProgramEnd) {
            ++pos;
            while (w.ensure(pos + 4) &&
                   !(startCodeAt(w.bytes(), pos) && w.bytes()[pos + 3] == kPack))
                ++pos;
            continue;
        }
        const std::uint8_t code = b[pos + 3];
        if (code == kProgramEnd)
            break;
        if (code == kPack) {
            if (!w.ensure(pos + 14))
                break;
            b = w.bytes();
            if ((b[pos + 4] & 0xC0) == 0x40)
                pos += 14 + (b[pos + 13] & 7u);
            else if ((b[pos + 4] & 0xF0) == 0x20)
                pos += 12;
            else
                pos += 4; // neither MPEG-1 nor MPEG-2: look again
            continue;
        }
        const std::size_t length = 6 + std::size_t{be16(b, pos + 4)};
        if (code >= 0xE0 && code <= 0xEF && (!stream || *stream == code)) {
            stream = code;
            if (!w.ensure(pos + length))
                break;
            const Bytes packet = w.bytes().subspan(pos, length);
            if (const std::size_t start = payloadStart(packet)) {
                const Bytes payload = packet.subspan(start);
                const std::size_t room = kMaxVideoBytes - video.size();
                video.insert(video.end(), payload.begin(),
                             payload.begin() +
                                 static_cast<std::ptrdiff_t>(std::min(room, payload.size())));
                // Looked at each time the payload has doubled, so that many
                // small packets cost linear time; more bytes never change an
                // answer that is not NeedMore.
                if (video.size() >= nextLook || video.size() >= kMaxVideoBytes) {
                    nextLook = 2 * video.size();
                    Sequence s;
                    status = parseSequence(video, video.size() >= kMaxVideoBytes, s);
                    if (status == Status::Ok)
                        return result(s, Container::MpegPs);
                    if (status != Status::NeedMore)
                        return failure(status, false);
                }
            }
        }
        // The system header and every other packet are stepped over alike.
        pos += length;
    }
    if (w.failed())
        return {std::nullopt, kReadFailed};
    if (!stream)
        return {std::nullopt, kNoVideo};
    Sequence s;
    status = parseSequence(video, true, s);
    if (status == Status::Ok)
        return result(s, Container::MpegPs);
    return failure(status, false);
}

} // namespace

} // namespace quorvel::media::mpeg

namespace quorvel::media {

ProbeResult readMpeg(Bytes prefix, io::ByteSource& source) {
    mpeg::Window w(prefix, source);
    w.ensure(4);
    const Bytes b = w.bytes();
    if (b.size() >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 1) {
        if (b[3] == 0xBA)
            return mpeg::readProgram(w);
        if (b[3] == 0xB3)
            return mpeg::readElementary(w);
    }
    return {std::nullopt, w.failed() ? "The MPEG file could not be read." : mpeg::kNotMpeg};
}

} // namespace quorvel::media
