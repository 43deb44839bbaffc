#include "source/media/mp4.h"

#include "source/media/bit_reader.h"
#include "source/media/byte_cursor.h"
#include "source/media/h26x.h"
#include "source/media/rate_snap.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::media {

namespace mp4 {

namespace {

constexpr std::uint32_t fourcc(const char (&s)[5]) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[2])) << 8 |
           static_cast<std::uint8_t>(s[3]);
}

constexpr std::uint32_t kMoov = fourcc("moov");
constexpr std::uint32_t kMvhd = fourcc("mvhd");
constexpr std::uint32_t kMdat = fourcc("mdat");
constexpr std::uint32_t kEdts = fourcc("edts");
constexpr std::uint32_t kElst = fourcc("elst");
constexpr std::uint32_t kMehd = fourcc("mehd");
constexpr std::uint32_t kFiel = fourcc("fiel");
constexpr std::uint32_t kClap = fourcc("clap");
constexpr std::uint32_t kTrak = fourcc("trak");
constexpr std::uint32_t kTkhd = fourcc("tkhd");
constexpr std::uint32_t kMdia = fourcc("mdia");
constexpr std::uint32_t kMdhd = fourcc("mdhd");
constexpr std::uint32_t kHdlr = fourcc("hdlr");
constexpr std::uint32_t kMinf = fourcc("minf");
constexpr std::uint32_t kStbl = fourcc("stbl");
constexpr std::uint32_t kStsd = fourcc("stsd");
constexpr std::uint32_t kStts = fourcc("stts");
constexpr std::uint32_t kMvex = fourcc("mvex");
constexpr std::uint32_t kTrex = fourcc("trex");
constexpr std::uint32_t kMoof = fourcc("moof");
constexpr std::uint32_t kTraf = fourcc("traf");
constexpr std::uint32_t kTfhd = fourcc("tfhd");
constexpr std::uint32_t kTrun = fourcc("trun");
constexpr std::uint32_t kVide = fourcc("vide");
constexpr std::uint32_t kSoun = fourcc("soun");
constexpr std::uint32_t kPasp = fourcc("pasp");
constexpr std::uint32_t kAvcC = fourcc("avcC");
constexpr std::uint32_t kHvcC = fourcc("hvcC");
constexpr std::uint32_t kEsds = fourcc("esds");
constexpr std::uint32_t kUuid = fourcc("uuid");
constexpr std::uint32_t kText = fourcc("text");
constexpr std::uint32_t kTref = fourcc("tref");
constexpr std::uint32_t kChap = fourcc("chap");
constexpr std::uint32_t kUdta = fourcc("udta");
constexpr std::uint32_t kChpl = fourcc("chpl");

// A visual sample entry's fixed part: the 8-byte box header, 6 reserved
// bytes and a reference index, 16 bytes of version and vendor fields, width,
// height, resolutions, frame count, compressor name, depth and a -1.
constexpr std::size_t kVisualEntrySize = 8 + 78;
constexpr std::size_t kEntryWidthAt = 24; // in the entry's body
constexpr std::size_t kEntryChildrenAt = 78;

// Bytes of the file: the caller's prefix, else a read-ahead window read from
// the source, within the read budget. The first error sticks and ends every
// walk.
class Source : public io::PrefixedSource {
public:
    using PrefixedSource::PrefixedSource;

    const char* error() const { return error_; }
    bool fail(const char* sentence) {
        if (!error_)
            error_ = sentence;
        return false;
    }
    // Trouble in a box the video does not need, taken back once that box is
    // left behind.
    void forgive() { error_ = nullptr; }
    bool countBox() { return ++boxes_ <= kMaxBoxes || fail(kErrorTooManyBoxes); }
    // From now on at most `more` reads, within kMaxReads.
    void limitReads(int more) { maxReads_ = std::min(maxReads_, reads_ + more); }

    // [offset, offset + length); the span lasts until the next get().
    bool get(std::uint64_t offset, std::size_t length, Bytes& out) {
        if (error_)
            return false;
        if (fitsIn(offset, length, prefix().size())) {
            out = prefix().subspan(static_cast<std::size_t>(offset), length);
            return true;
        }
        if (offset >= windowAt_ && fitsIn(offset - windowAt_, length, window_.size())) {
            out = window_.bytes().subspan(static_cast<std::size_t>(offset - windowAt_), length);
            return true;
        }
        if (!fitsIn(offset, length, size()))
            return fail(kErrorCutShort);
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(length, kReadAhead), size() - offset));
        if (reads_ >= maxReads_ || want > kMaxBytesRead - bytesRead_)
            return fail(kErrorTooLarge);
        ++reads_;
        bytesRead_ += want;
        windowAt_ = offset;
        Bytes read;
        if (!PrefixedSource::get(offset, want, window_, read)) {
            window_.clear();
            return fail(kErrorUnreadable);
        }
        window_.resize(read.size());
        if (read.size() < length) // the file has shrunk since it was opened
            return fail(kErrorCutShort);
        out = window_.bytes().first(length);
        return true;
    }

private:
    io::ReadBuffer window_;
    std::uint64_t windowAt_ = 0;
    int reads_ = 0;
    int maxReads_ = kMaxReads;
    std::uint64_t bytesRead_ = 0;
    int boxes_ = 0;
    const char* error_ = nullptr;
};

struct Box {
    std::uint32_t type = 0;
    std::uint64_t body = 0; // where the body starts in the file
    std::uint64_t end = 0;
    std::uint64_t bodySize() const { return end - body; }
};

// What a box header says, or why it cannot be used.
struct BoxHeader {
    enum Fault { None, SizeCutShort, TooSmall, PastParent };
    Fault fault = None;
    std::uint32_t type = 0;
    std::uint64_t size = 0; // header included
    std::uint64_t length = 0;
};

// The box header at the start of `h` (its first 16 bytes or fewer, at least
// 8), where `room` bytes are left in the parent: a size of 1 is followed by
// a 64-bit one, 0 runs to the parent's end, and uuid adds 16 bytes of type.
BoxHeader readBoxHeader(Bytes h, std::uint64_t room) {
    BoxHeader b;
    b.size = be32(h, 0);
    b.type = be32(h, 4);
    b.length = 8;
    if (b.size == 1) {
        if (h.size() < 16) {
            b.fault = BoxHeader::SizeCutShort;
            return b;
        }
        b.size = be64(h, 8);
        b.length = 16;
    } else if (b.size == 0) {
        b.size = room;
    }
    if (b.type == kUuid)
        b.length += 16;
    if (b.size < b.length)
        b.fault = BoxHeader::TooSmall;
    else if (b.size > room)
        b.fault = BoxHeader::PastParent;
    return b;
}

// The boxes of [begin, end) in order. Fewer than 8 bytes left over end the
// walk quietly: writers pad containers with a zero word.
class Children {
public:
    Children(Source& source, std::uint64_t begin, std::uint64_t end, int depth)
        : source_(source), at_(begin), end_(end), depth_(depth) {}

    std::optional<Box> next() {
        if (depth_ > kMaxBoxDepth) {
            source_.fail(kErrorTooDeep);
            return std::nullopt;
        }
        if (source_.error() || end_ - at_ < 8 || !source_.countBox())
            return std::nullopt;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(16, end_ - at_));
        Bytes h;
        if (!source_.get(at_, n, h))
            return std::nullopt;
        const BoxHeader header = readBoxHeader(h, end_ - at_);
        switch (header.fault) {
        case BoxHeader::None:
            break;
        case BoxHeader::TooSmall:
            return failed(kErrorBoxTooSmall);
        case BoxHeader::SizeCutShort:
            return failed(depth_ == 0 ? kErrorCutShort : kErrorPastParent);
        case BoxHeader::PastParent: // at the top, past the end of the file
            pastEnd_ = header.type;
            return failed(depth_ == 0 ? kErrorCutShort : kErrorPastParent);
        }
        const Box box{header.type, at_ + header.length, at_ + header.size};
        at_ += header.size;
        return box;
    }

    // The type of the box that ran past its parent, when one did.
    std::uint32_t pastEnd() const { return pastEnd_; }

private:
    std::optional<Box> failed(const char* sentence) {
        source_.fail(sentence);
        return std::nullopt;
    }

    Source& source_;
    std::uint64_t at_;
    std::uint64_t end_;
    int depth_;
    std::uint32_t pastEnd_ = 0;
};

// The first `cap` bytes of a box's body, or all of it.
bool readBody(Source& source, const Box& box, std::size_t cap, Bytes& out) {
    return source.get(box.body,
                      static_cast<std::size_t>(std::min<std::uint64_t>(box.bodySize(), cap)), out);
}

// Sample counts and their summed durations, in the media's timescale.
struct Timing {
    std::uint64_t samples = 0;
    std::uint64_t duration = 0;
    std::uint32_t firstDelta = 0;
    std::uint32_t shortest = 0;
    std::uint32_t longest = 0;
    bool variable = false;
    bool overflow = false;

    void add(std::uint64_t count, std::uint32_t delta) {
        if (count == 0)
            return;
        if (samples == 0) {
            firstDelta = shortest = longest = delta;
        } else {
            variable = variable || delta != firstDelta;
            shortest = std::min(shortest, delta);
            longest = std::max(longest, delta);
        }
        if (count > UINT64_MAX - samples || (delta != 0 && count > UINT64_MAX / delta) ||
            count * delta > UINT64_MAX - duration) {
            overflow = true;
            return;
        }
        samples += count;
        duration += count * delta;
    }
};

// What elst says: the movie ticks of its edits that show media.
struct Edits {
    bool present = false;
    bool readable = true; // false: too long for kMaxEdits, or damaged
    bool showsMedia = false;
    bool openEnded = false; // an edit that shows media has no length
    std::uint64_t shown = 0;
    bool overflow = false;
};

struct Track {
    std::uint32_t id = 0;
    std::optional<std::uint32_t> handler;
    int rotation = 0;
    std::uint32_t timescale = 0;
    std::optional<std::uint64_t> mediaDuration; // mdhd's, when it states one
    Edits edits;
    // The stts as read: its samples and ticks, and whether that is all of it.
    std::uint64_t sttsSamples = 0;
    std::uint64_t sttsTicks = 0;
    bool sttsWhole = false;
    bool hasEntry = false;
    std::string codec;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::optional<Fraction> sar;
    std::optional<Scan> scan;
    std::optional<FieldOrder> fieldOrder;
    std::optional<Crop> crop;
    Timing timing;
    std::optional<std::uint32_t> channels;     // a sound track's, from its sample entry
    std::optional<std::string> language;       // mdhd's
    std::vector<std::uint32_t> chapterTracks;  // tref's chap: the tracks that name chapters
    std::vector<std::uint64_t> sampleStartsMs; // a text track's, which may be chapters
    // Set when a box of this track is unusable; it matters only if the track
    // turns out to be the video.
    const char* damage = nullptr;
};

std::string fourccText(std::uint32_t type) {
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>(type >> (24 - 8 * i));
        if (c >= 0x20 && c <= 0x7e)
            text[static_cast<std::size_t>(i)] = c;
    }
    return text;
}

std::optional<Fraction> ratio(std::uint32_t w, std::uint32_t h) {
    if (w == 0 || h == 0)
        return std::nullopt;
    const std::uint32_t g = std::gcd(w, h);
    return Fraction{w / g, h / g};
}

void readTkhd(Bytes b, Track& t) {
    const bool wide = !b.empty() && b[0] == 1;
    const std::size_t idAt = wide ? 20 : 12;
    const std::size_t matrixAt = wide ? 52 : 40;
    // The box must hold its whole fixed part, which ends with the display
    // width and height (not used: they mix cropping with shape).
    if (b.size() < matrixAt + 36 + 8) {
        t.damage = kErrorShortBox;
        return;
    }
    t.id = be32(b, idAt);
    t.rotation = rotationFromMatrix(static_cast<std::int32_t>(be32(b, matrixAt)),
                                    static_cast<std::int32_t>(be32(b, matrixAt + 4)));
}

void readMdhd(Bytes b, Track& t) {
    const bool wide = !b.empty() && b[0] == 1;
    const std::size_t at = wide ? 20 : 12;
    if (b.size() < at + 4) {
        t.damage = kErrorShortBox;
        return;
    }
    t.timescale = be32(b, at);
    // 0 and all ones: the writer did not know.
    const std::uint64_t unknown = wide ? UINT64_MAX : UINT32_MAX;
    const std::size_t languageAt = at + (wide ? 12 : 8);
    if (b.size() >= languageAt) {
        const std::uint64_t d = wide ? be64(b, at + 4) : be32(b, at + 4);
        if (d != 0 && d != unknown)
            t.mediaDuration = d;
    }
    // Three letters of five bits each, 0x60 below their ASCII; a smaller
    // value is one of QuickTime's old numeric codes, which we leave unread.
    if (b.size() >= languageAt + 2) {
        const std::uint16_t packed = be16(b, languageAt);
        if (packed >= 0x400 && packed < 0x8000) {
            std::string code;
            for (const int shift : {10, 5, 0})
                code.push_back(static_cast<char>(0x60 + (packed >> shift & 0x1f)));
            t.language = languageOf(code);
        }
    }
}

// A text track's samples, each a chapter's start if the video names the
// track as its chapters: the stts's deltas summed, as far as kMaxChapters.
void readChapterStts(Bytes b, Track& t) {
    if (b.size() < 8 || t.timescale == 0)
        return;
    const std::uint64_t count = std::min<std::uint64_t>(be32(b, 4), (b.size() - 8) / 8);
    std::uint64_t ticks = 0;
    for (std::uint64_t i = 0; i < count && t.sampleStartsMs.size() < kMaxChapters; ++i) {
        const auto at = static_cast<std::size_t>(8 + 8 * i);
        const std::uint32_t samples = be32(b, at), delta = be32(b, at + 4);
        for (std::uint32_t k = 0; k < samples && t.sampleStartsMs.size() < kMaxChapters; ++k) {
            const auto ms = durationMs(ticks, t.timescale);
            if (!ms && ticks != 0)
                return;
            t.sampleStartsMs.push_back(ms.value_or(0));
            ticks += delta; // below kMaxDurationMs' ticks plus a 32-bit delta
        }
    }
}

// Nero's chapter list (udta's chpl): a count, then each start in 100 ns
// units with a name. A list cut short states none.
std::vector<std::uint64_t> readChpl(Bytes b) {
    ByteCursor c(b);
    const bool version1 = c.u8() != 0;
    c.skip(3); // flags
    if (version1)
        c.skip(4); // four more bytes before the count
    const std::uint8_t count = c.u8();
    std::vector<std::uint64_t> ms;
    for (std::uint8_t i = 0; i < count; ++i) {
        const std::uint64_t start = c.be64();
        c.skip(c.u8());
        if (c.failed())
            return {};
        ms.push_back(start / 10'000 + (start % 10'000 >= 5'000));
    }
    return chapterMarks(std::move(ms));
}

// The edits that show media, summed; an empty edit (media time -1) is a delay
// before the track starts.
void readElst(Bytes b, std::uint64_t boxBodySize, Edits& e) {
    e.present = true;
    const bool wide = !b.empty() && b[0] == 1;
    const std::size_t entry = wide ? 20 : 12;
    if (b.size() < 8) {
        e.readable = false;
        return;
    }
    const std::uint64_t count = be32(b, 4);
    if (count > kMaxEdits || count > (boxBodySize - 8) / entry || count > (b.size() - 8) / entry) {
        e.readable = false;
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 8 + i * entry;
        const std::uint64_t duration = wide ? be64(b, at) : be32(b, at);
        const std::int64_t mediaTime = wide ? static_cast<std::int64_t>(be64(b, at + 8))
                                            : static_cast<std::int32_t>(be32(b, at + 4));
        if (mediaTime == -1)
            continue;
        if (mediaTime < -1) {
            e.readable = false;
            return;
        }
        e.showsMedia = true;
        e.openEnded = e.openEnded || duration == 0;
        if (duration > UINT64_MAX - e.shown)
            e.overflow = true;
        else
            e.shown += duration;
    }
}

// stts: the declared count must fit the declared box; the entries are summed
// as far as they were read.
void readStts(Bytes b, std::uint64_t boxBodySize, Track& t) {
    if (b.size() < 8) {
        t.damage = kErrorShortBox;
        return;
    }
    const std::uint64_t count = be32(b, 4);
    if (count > (boxBodySize - 8) / 8) {
        t.damage = kErrorTableTooLong;
        return;
    }
    const std::uint64_t read = std::min<std::uint64_t>(count, (b.size() - 8) / 8);
    for (std::uint64_t i = 0; i < read; ++i) {
        const auto at = static_cast<std::size_t>(8 + 8 * i);
        t.timing.add(be32(b, at), be32(b, at + 4));
    }
    t.sttsSamples = t.timing.samples;
    t.sttsTicks = t.timing.duration;
    t.sttsWhole = read == count && !t.timing.overflow;
}

// fiel: the fields a sample holds, then which is shown first and stored first.
void readFiel(Bytes b, Track& t) {
    if (b.size() < 2)
        return;
    if (b[0] == 1) {
        t.scan = Scan::Progressive;
    } else if (b[0] == 2) {
        t.scan = Scan::Interlaced;
        // 1 and 6: that field shown and stored first; 9 and 14: shown first
        // the bottom and the top, the other stored first.
        if (b[1] == 1 || b[1] == 14)
            t.fieldOrder = FieldOrder::TopFirst;
        else if (b[1] == 6 || b[1] == 9)
            t.fieldOrder = FieldOrder::BottomFirst;
    }
}

void readClap(Bytes b, Track& t) {
    if (b.size() < 32)
        return;
    CleanAperture c;
    c.widthN = be32(b, 0);
    c.widthD = be32(b, 4);
    c.heightN = be32(b, 8);
    c.heightD = be32(b, 12);
    c.horizOffN = static_cast<std::int32_t>(be32(b, 16));
    c.horizOffD = be32(b, 20);
    c.vertOffN = static_cast<std::int32_t>(be32(b, 24));
    c.vertOffD = be32(b, 28);
    t.crop = cropFromCleanAperture(c, t.width, t.height);
}

// The first sample description, which must be a visual one; its shape comes
// from pasp, else from the parameter set in avcC or hvcC.
void readStsd(Source& source, Bytes b, Track& t) {
    ByteCursor c(b);
    c.skip(4);
    const std::uint32_t count = c.be32();
    const std::uint32_t size = c.be32();
    const std::uint32_t type = c.be32();
    if (c.failed() || count == 0 || size < kVisualEntrySize || size - 8 > c.remaining()) {
        t.damage = kErrorNoSampleEntry;
        return;
    }
    const Bytes entry = c.take(size - 8);
    t.hasEntry = true;
    t.codec = fourccText(type);
    t.width = be16(entry, kEntryWidthAt);
    t.height = be16(entry, kEntryWidthAt + 2);

    std::optional<Fraction> pasp;
    std::optional<h26x::SpsFacts> sps;
    for (Bytes rest = entry.subspan(kEntryChildrenAt); rest.size() >= 8 && source.countBox();) {
        const BoxHeader child = readBoxHeader(rest, rest.size());
        // A damaged child only hides the shape; the entry itself is fine.
        if (child.fault != BoxHeader::None)
            break;
        const Bytes body = rest.subspan(static_cast<std::size_t>(child.length),
                                        static_cast<std::size_t>(child.size - child.length));
        rest = rest.subspan(static_cast<std::size_t>(child.size));
        if (child.type == kPasp && body.size() >= 8 && !pasp)
            pasp = ratio(be32(body, 0), be32(body, 4));
        else if (child.type == kAvcC && !sps)
            sps = h26x::h264Sps(h26x::avcConfigSps(body));
        else if (child.type == kHvcC && !sps)
            sps = h26x::h265Sps(h26x::hevcConfigSps(body));
        else if (child.type == kFiel)
            readFiel(body, t);
        else if (child.type == kClap)
            readClap(body, t);
    }
    t.sar = pasp ? pasp : sps ? sps->sar : std::nullopt;
    // The container's fiel says more (it gives the order); the parameter set
    // only whether pictures may be fields.
    if (!t.scan && sps)
        t.scan = sps->scan;
}

// The channels of the AudioSpecificConfig in an esds, which is what ffmpeg
// goes by: channelConfiguration 1 to 6 as it is, 7 for 7.1; 0 leaves them
// to a program config element and states none here.
std::optional<std::uint32_t> esdsChannels(Bytes esds) {
    constexpr int kMaxSizeBytes = 4; // a descriptor's size: 7 bits a byte
    ByteCursor c(esds);
    c.skip(4); // version, flags
    const auto descriptor = [&c](std::uint8_t tag) {
        if (c.u8() != tag)
            return false;
        for (int i = 0; i < kMaxSizeBytes && (c.u8() & 0x80); ++i) {
        }
        return !c.failed();
    };
    if (!descriptor(0x03))
        return std::nullopt;
    c.skip(2); // ES_ID
    const std::uint8_t flags = c.u8();
    c.skip(flags & 0x80 ? 2 : 0); // dependsOn_ES_ID
    if (flags & 0x40)
        c.skip(c.u8());           // a URL
    c.skip(flags & 0x20 ? 2 : 0); // OCR_ES_ID
    if (!descriptor(0x04))
        return std::nullopt;
    c.skip(13); // object type, stream type, buffer and bit rates
    if (!descriptor(0x05))
        return std::nullopt;
    BitReader config(c.take(c.remaining()));
    if (config.bits(5) == 31) // audioObjectType's escape
        config.skipBits(6);
    if (config.bits(4) == 15) // an explicit sampling frequency
        config.skipBits(24);
    const std::uint32_t channels = config.bits(4);
    if (config.failed() || channels == 0)
        return std::nullopt;
    return channels == 7 ? 8 : channels;
}

// A sound track's first sample entry: its channel count. QuickTime's version
// 2 has a field of its own. Otherwise an esds among the entry's boxes says
// it, else the count field, but for 2: ISO's template value, which writers
// leave whatever the sound.
void readSoundStsd(Bytes b, Track& t) {
    constexpr std::size_t kVersionAt = 8; // in the entry's body
    constexpr std::size_t kChannelsAt = 16;
    constexpr std::size_t kVersion2ChannelsAt = 40;
    constexpr std::size_t kChildrenAt = 28; // versions 0 and 1 add 0 and 16 bytes
    constexpr std::size_t kVersion1Extra = 16;
    ByteCursor c(b);
    c.skip(4);
    const std::uint32_t count = c.be32();
    const std::uint32_t size = c.be32();
    c.skip(4);
    if (c.failed() || count == 0 || size < 8)
        return;
    const Bytes entry = c.take(std::min<std::size_t>(size - 8, c.remaining()));
    if (entry.size() < kChannelsAt + 2)
        return;
    const std::uint16_t version = be16(entry, kVersionAt);
    if (version == 2) {
        if (entry.size() >= kVersion2ChannelsAt + 4)
            t.channels = be32(entry, kVersion2ChannelsAt);
        return;
    }
    const std::size_t childrenAt = kChildrenAt + (version == 1 ? kVersion1Extra : 0);
    Bytes rest = entry.size() > childrenAt ? entry.subspan(childrenAt) : Bytes{};
    for (int n = 0; n < kMaxSoundEntryBoxes && rest.size() >= 8; ++n) {
        const BoxHeader child = readBoxHeader(rest, rest.size());
        if (child.fault != BoxHeader::None)
            break;
        if (child.type == kEsds) {
            t.channels =
                esdsChannels(rest.subspan(static_cast<std::size_t>(child.length),
                                          static_cast<std::size_t>(child.size - child.length)));
            if (t.channels)
                return;
        }
        rest = rest.subspan(static_cast<std::size_t>(child.size));
    }
    if (const std::uint16_t stated = be16(entry, kChannelsAt); stated != 2)
        t.channels = stated;
}

// A sound track needs only its sample description, which comes first.
void walkStbl(Source& source, const Box& stbl, int depth, Track& t) {
    const bool sound = t.handler == kSoun;
    Children c(source, stbl.body, stbl.end, depth);
    while (const auto box = c.next()) {
        Bytes b;
        if (t.handler == kText) {
            if (box->type == kStts && readBody(source, *box, 8 + 8 * kMaxChapters, b))
                readChapterStts(b, t);
            continue;
        }
        if (box->type == kStsd && sound) {
            if (readBody(source, *box, kMaxSmallBoxRead, b))
                readSoundStsd(b, t);
            return;
        }
        if (box->type == kStsd && !t.hasEntry && readBody(source, *box, kMaxStsdRead, b))
            readStsd(source, b, t);
        else if (box->type == kStts && readBody(source, *box, kMaxTableRead, b))
            readStts(b, box->bodySize(), t);
    }
}

// `mayBeVideo`: the video track is still to be found; else only a sound
// track is read on.
void walkMdia(Source& source, const Box& mdia, int depth, bool mayBeVideo, Track& t) {
    Children c(source, mdia.body, mdia.end, depth);
    while (const auto box = c.next()) {
        Bytes b;
        if (box->type == kMdhd && readBody(source, *box, kMaxSmallBoxRead, b)) {
            readMdhd(b, t);
        } else if (box->type == kHdlr && readBody(source, *box, kMaxSmallBoxRead, b)) {
            if (b.size() < 12) {
                t.damage = kErrorShortBox;
                return;
            }
            t.handler = be32(b, 8);
            if (*t.handler != kSoun && *t.handler != kText && (*t.handler != kVide || !mayBeVideo))
                return;
        } else if (box->type == kMinf && (mayBeVideo || t.handler == kSoun || t.handler == kText)) {
            Children m(source, box->body, box->end, depth + 1);
            while (const auto inner = m.next())
                if (inner->type == kStbl)
                    walkStbl(source, *inner, depth + 2, t);
        }
    }
}

Track readTrak(Source& source, const Box& trak, int depth, bool mayBeVideo) {
    Track t;
    Children c(source, trak.body, trak.end, depth);
    while (const auto box = c.next()) {
        Bytes b;
        if (box->type == kTkhd && readBody(source, *box, kMaxSmallBoxRead, b)) {
            readTkhd(b, t);
        } else if (box->type == kMdia) {
            walkMdia(source, *box, depth + 1, mayBeVideo, t);
        } else if (box->type == kTref && mayBeVideo) {
            Children r(source, box->body, box->end, depth + 1);
            while (const auto inner = r.next())
                if (inner->type == kChap && readBody(source, *inner, kMaxSmallBoxRead, b))
                    for (std::size_t at = 0; at + 4 <= b.size(); at += 4)
                        t.chapterTracks.push_back(be32(b, at));
        } else if (box->type == kEdts && mayBeVideo) {
            Children e(source, box->body, box->end, depth + 1);
            while (const auto inner = e.next())
                if (inner->type == kElst && !t.edits.present &&
                    readBody(source, *inner, 8 + std::size_t{kMaxEdits} * 20, b))
                    readElst(b, inner->bodySize(), t.edits);
        }
    }
    return t;
}

// The video track's samples in the fragments walked.
struct Fragments {
    std::uint64_t samples = 0;
    std::uint64_t ticks = 0;
    bool whole = true; // false once a fragment's durations could not be summed

    void add(std::uint64_t count, std::uint64_t ticksEach) {
        if (count > UINT64_MAX - samples ||
            (ticksEach != 0 && count > (UINT64_MAX - ticks) / ticksEach)) {
            whole = false;
            return;
        }
        samples += count;
        ticks += count * ticksEach;
    }
};

// Handlers whose tracks ffmpeg never takes for sound; any other but 'soun'
// might hold it.
bool soundless(std::uint32_t handler) {
    static constexpr std::array kHandlers = {kVide,          fourcc("text"), fourcc("sbtl"),
                                             fourcc("subt"), fourcc("tmcd"), fourcc("hint"),
                                             fourcc("meta"), fourcc("clcp"), fourcc("subp"),
                                             fourcc("odsm"), fourcc("sdsm")};
    return std::find(kHandlers.begin(), kHandlers.end(), handler) != kHandlers.end();
}

struct Movie {
    std::optional<Track> video;
    AudioTracks audio;
    bool audioUnseen = false; // a track's handler, or the moov's end, went unread
    // Damage in a track that might have been the video: its hdlr was unread.
    const char* hiddenDamage = nullptr;
    std::uint32_t timescale = 0;    // mvhd's, for edits and mehd
    bool fragmented = false;        // an mvex: moofs may follow
    std::uint64_t fragmentTime = 0; // mehd's, in the movie's timescale; 0 unstated
    std::uint32_t trexDuration = 0; // the video track's default sample duration
    Fragments fragments;
    std::vector<std::uint64_t> chpl;
    // The text tracks' ids and sample starts, the first kMaxTextTracks.
    std::vector<std::pair<std::uint32_t, std::vector<std::uint64_t>>> texts;
};

constexpr std::size_t kMaxTextTracks = 8;
// A chpl of 255 chapters with names of 255 bytes.
constexpr std::size_t kMaxChplRead = 5 + 4 + 255 * (9 + 255);

// The file's chapters: Nero's list, else the text track the video names.
std::vector<std::uint64_t> chaptersOf(const Track& video, const Movie& movie) {
    if (!movie.chpl.empty())
        return movie.chpl;
    for (const std::uint32_t id : video.chapterTracks)
        for (const auto& [textId, starts] : movie.texts)
            if (id == textId && id != video.id)
                return chapterMarks(starts);
    return {};
}

void readMvhd(Bytes b, Movie& movie) {
    const std::size_t at = !b.empty() && b[0] == 1 ? 20 : 12;
    if (b.size() >= at + 4)
        movie.timescale = be32(b, at);
}

void readMehd(Bytes b, Movie& movie) {
    const bool wide = !b.empty() && b[0] == 1;
    if (b.size() >= (wide ? 12u : 8u))
        movie.fragmentTime = wide ? be64(b, 4) : be32(b, 4);
}

// The first video track, and the defaults that fragments of it inherit.
void readMoov(Source& source, const Box& moov, Movie& movie) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> trex; // track id, duration
    Children c(source, moov.body, moov.end, 1);
    while (const auto box = c.next()) {
        Bytes b;
        if (box->type == kMvhd && readBody(source, *box, kMaxSmallBoxRead, b)) {
            readMvhd(b, movie);
        } else if (box->type == kTrak) {
            const bool mayBeVideo = !movie.video;
            Track t = readTrak(source, *box, 2, mayBeVideo);
            // Past the video, trouble only hides this track's sound.
            if (!mayBeVideo && source.error()) {
                source.forgive();
                movie.audioUnseen = true;
                continue;
            }
            if (t.handler == kText && movie.texts.size() < kMaxTextTracks)
                movie.texts.emplace_back(t.id, std::move(t.sampleStartsMs));
            if (t.handler == kSoun)
                movie.audio.add(t.channels, t.language);
            else if (!t.handler || !soundless(*t.handler))
                movie.audioUnseen = true;
            if (mayBeVideo && !source.error() && t.handler == kVide)
                movie.video = std::move(t);
            else if (mayBeVideo && !t.handler && t.damage && !movie.hiddenDamage)
                movie.hiddenDamage = t.damage;
        } else if (box->type == kUdta) {
            Children u(source, box->body, box->end, 2);
            while (const auto inner = u.next())
                if (inner->type == kChpl && movie.chpl.empty() &&
                    readBody(source, *inner, kMaxChplRead, b))
                    movie.chpl = readChpl(b);
        } else if (box->type == kMvex) {
            movie.fragmented = true;
            Children m(source, box->body, box->end, 2);
            while (const auto inner = m.next()) {
                if (inner->type == kTrex && readBody(source, *inner, kMaxSmallBoxRead, b) &&
                    b.size() >= 16)
                    trex.emplace_back(be32(b, 4), be32(b, 12));
                else if (inner->type == kMehd && readBody(source, *inner, kMaxSmallBoxRead, b))
                    readMehd(b, movie);
            }
        }
    }
    if (source.error())
        movie.audioUnseen = true;
    if (movie.video)
        for (const auto& [id, duration] : trex)
            if (id == movie.video->id)
                movie.trexDuration = duration;
}

// One trun of the video track: its samples go to the fragments' sum, and
// those of the first trun to the rate when `forRate` (stts had none).
void readTrun(Bytes b, std::uint64_t bodySize, std::uint32_t defaultDuration, bool forRate,
              Movie& movie) {
    Track& t = *movie.video;
    const std::uint32_t flags = be32(b, 0) & 0xffffff;
    const std::uint64_t count = be32(b, 4);
    const std::size_t first = 8 + (flags & 0x1 ? 4 : 0) + (flags & 0x4 ? 4 : 0);
    const std::size_t record = 4 * static_cast<std::size_t>(std::popcount(flags & 0xf00));
    if (!(flags & 0x100)) {
        if (forRate)
            t.timing.add(count, defaultDuration);
        if (defaultDuration == 0 && count != 0)
            movie.fragments.whole = false;
        else
            movie.fragments.add(count, defaultDuration);
        return;
    }
    if (first > bodySize || count > (bodySize - first) / record || first > b.size()) {
        movie.fragments.whole = false;
        return;
    }
    const std::uint64_t read = std::min<std::uint64_t>(count, (b.size() - first) / record);
    if (read < count)
        movie.fragments.whole = false;
    for (std::uint64_t i = 0; i < read; ++i) {
        const std::uint32_t duration = be32(b, static_cast<std::size_t>(first + i * record));
        if (forRate)
            t.timing.add(1, duration);
        if (movie.fragments.whole)
            movie.fragments.add(1, duration);
    }
}

// The video track's samples in one fragment. For the rate, when stts gave
// none: the first fragment's first trun, else the default of tfhd, else
// that of trex.
void readMoof(Source& source, const Box& moof, Movie& movie, bool forRate) {
    const std::uint32_t id = movie.video->id;
    Children c(source, moof.body, moof.end, 1);
    while (const auto traf = c.next()) {
        if (traf->type != kTraf)
            continue;
        Children f(source, traf->body, traf->end, 2);
        std::uint32_t defaultDuration = movie.trexDuration;
        bool ours = false;
        while (const auto box = f.next()) {
            Bytes b;
            if (box->type == kTfhd && readBody(source, *box, kMaxSmallBoxRead, b) &&
                b.size() >= 8) {
                ours = be32(b, 4) == id;
                if (!ours)
                    break;
                const std::uint32_t flags = be32(b, 0) & 0xffffff;
                std::size_t at = 8 + (flags & 0x1 ? 8 : 0) + (flags & 0x2 ? 4 : 0);
                if (flags & 0x8 && b.size() >= at + 4)
                    defaultDuration = be32(b, at);
            } else if (box->type == kTrun && ours) {
                if (!readBody(source, *box, kMaxTableRead, b) || b.size() < 8) {
                    movie.fragments.whole = false;
                    continue;
                }
                readTrun(b, box->bodySize(), defaultDuration, forRate, movie);
                forRate = false;
            }
        }
        if (ours && forRate && defaultDuration != 0) {
            movie.video->timing.add(1, defaultDuration);
            forRate = false;
        }
    }
}

// The media's ticks: mdhd's duration, else the whole stts; then the
// fragments, when every one was walked.
std::optional<std::uint64_t> mediaTicks(const Track& t, const Movie& movie, bool walkedAll) {
    std::uint64_t ticks = 0;
    if (t.mediaDuration)
        ticks = *t.mediaDuration;
    else if (t.sttsWhole)
        ticks = t.sttsTicks;
    if (movie.fragmented) {
        if (!walkedAll || !movie.fragments.whole || movie.fragments.ticks > UINT64_MAX - ticks)
            return std::nullopt;
        ticks += movie.fragments.ticks;
    }
    if (ticks == 0)
        return std::nullopt;
    return ticks;
}

// Whether the running time is known without the fragments.
bool timeFromHeaders(const Track& t, const Movie& movie) {
    const Edits& e = t.edits;
    if (e.present && e.readable && e.showsMedia && !e.openEnded)
        return true;
    return movie.fragmentTime != 0;
}

std::optional<std::uint64_t> runningTime(const Track& t, const Movie& movie, bool walkedAll) {
    const Edits& e = t.edits;
    if (e.present && !e.readable)
        return std::nullopt;
    if (!e.present || !e.showsMedia || e.openEnded) {
        if (movie.fragmentTime != 0)
            return durationMs(movie.fragmentTime, movie.timescale);
        const auto media = mediaTicks(t, movie, walkedAll);
        return media ? durationMs(*media, t.timescale) : std::nullopt;
    }
    if (e.overflow)
        return std::nullopt;
    const auto shown = durationMs(e.shown, movie.timescale);
    // Writers round an edit up to the movie's timescale, often coarser than
    // the media's: a media end within one movie tick before it is the true
    // one. In ticks of both: shown * mediaScale - media * movieScale is in
    // (0, mediaScale].
    const auto media = mediaTicks(t, movie, walkedAll);
    const std::uint64_t mediaScale = t.timescale, movieScale = movie.timescale;
    if (shown && media && mediaScale != 0 && movieScale != 0 &&
        e.shown <= UINT64_MAX / mediaScale && *media <= UINT64_MAX / movieScale) {
        const std::uint64_t edited = e.shown * mediaScale, own = *media * movieScale;
        if (edited > own && edited - own <= mediaScale)
            return durationMs(*media, t.timescale);
    }
    return shown;
}

std::optional<std::uint64_t> frameCount(const Track& t, const Movie& movie, bool walkedAll) {
    std::uint64_t frames = t.sttsWhole ? t.sttsSamples : 0;
    if (movie.fragmented) {
        if (!walkedAll || !movie.fragments.whole || movie.fragments.samples > UINT64_MAX - frames)
            return std::nullopt;
        frames += movie.fragments.samples;
    }
    if (frames == 0)
        return std::nullopt;
    return frames;
}

VideoInfo videoInfo(const Track& t, const Movie& movie, bool walkedAll) {
    VideoInfo v;
    v.container = Container::Mp4;
    v.codec = t.codec;
    v.width = t.width;
    v.height = t.height;
    v.sar = t.sar;
    v.rotation = t.rotation;
    v.scan = t.scan;
    v.fieldOrder = t.fieldOrder;
    v.crop = t.crop;
    if (t.timescale != 0 && !t.timing.overflow && t.timing.duration != 0) {
        // samples * timescale / duration, reduced before multiplying.
        std::uint64_t samples = t.timing.samples;
        std::uint64_t duration = t.timing.duration;
        std::uint64_t timescale = t.timescale;
        std::uint64_t g = std::gcd(samples, duration);
        samples /= g;
        duration /= g;
        g = std::gcd(timescale, duration);
        timescale /= g;
        duration /= g;
        while (samples > UINT64_MAX / timescale) {
            samples >>= 1;
            duration >>= 1;
        }
        v.rate = reducedRate(samples * timescale, duration);
        v.variableRate = t.timing.variable && v.rate.has_value();
        if (const auto standard = snapRate({t.timing.samples, t.timing.duration, t.timing.shortest,
                                            t.timing.longest, t.timescale})) {
            v.rate = standard;
            v.variableRate = false;
        }
    }
    v.durationMs = plausibleDuration(runningTime(t, movie, walkedAll));
    v.frames = frameCount(t, movie, walkedAll);
    movie.audio.give(v, !movie.audioUnseen);
    v.chaptersMs = chaptersOf(t, movie);
    return v;
}

} // namespace

int rotationFromMatrix(std::int32_t a, std::int32_t b) {
    const std::int64_t ma = a < 0 ? -std::int64_t{a} : a;
    const std::int64_t mb = b < 0 ? -std::int64_t{b} : b;
    if (ma >= mb)
        return a >= 0 ? 0 : 180;
    return b > 0 ? 90 : 270;
}

std::optional<Fraction> reducedRate(std::uint64_t num, std::uint64_t den) {
    if (num == 0 || den == 0)
        return std::nullopt;
    const std::uint64_t g = std::gcd(num, den);
    num /= g;
    den /= g;
    while (num > INT64_MAX || den > INT64_MAX) {
        num >>= 1;
        den >>= 1;
    }
    if (num == 0 || den == 0)
        return std::nullopt;
    const std::uint64_t h = std::gcd(num, den);
    return Fraction{static_cast<std::int64_t>(num / h), static_cast<std::int64_t>(den / h)};
}

std::optional<Crop> cropFromCleanAperture(const CleanAperture& c, std::uint32_t width,
                                          std::uint32_t height) {
    if (c.widthD == 0 || c.heightD == 0 || c.horizOffD == 0 || c.vertOffD == 0 || width == 0 ||
        height == 0)
        return std::nullopt;
    // The aperture's first column is (width - clean width) / 2 + offset; each
    // edge to the nearest pixel. Every term is a 32-bit fraction, so doubles
    // hold them to far below a pixel.
    const auto edges = [](std::uint32_t side, double clean, double offset, std::uint32_t& before,
                          std::uint32_t& after) {
        const double first = std::floor((side - clean) / 2 + offset + 0.5);
        const double end = std::floor((side + clean) / 2 + offset + 0.5);
        if (!(first >= 0 && end <= side && first < end))
            return false;
        before = static_cast<std::uint32_t>(first);
        after = side - static_cast<std::uint32_t>(end);
        return true;
    };
    Crop crop;
    if (!edges(width, static_cast<double>(c.widthN) / c.widthD,
               static_cast<double>(c.horizOffN) / c.horizOffD, crop.left, crop.right) ||
        !edges(height, static_cast<double>(c.heightN) / c.heightD,
               static_cast<double>(c.vertOffN) / c.vertOffD, crop.top, crop.bottom))
        return std::nullopt;
    return crop;
}

std::optional<std::uint64_t> durationMs(std::uint64_t ticks, std::uint32_t timescale) {
    if (timescale == 0)
        return std::nullopt;
    const std::uint64_t seconds = ticks / timescale;
    if (seconds > kMaxDurationMs / 1000)
        return std::nullopt;
    const std::uint64_t rest = ticks % timescale; // below 2^32, so rest * 1000 fits
    const std::uint64_t ms = seconds * 1000 + (rest * 1000 + timescale / 2) / timescale;
    if (ms > kMaxDurationMs)
        return std::nullopt;
    return ms;
}

ProbeResult inspectMp4(Bytes file, std::size_t prefixSize) {
    io::MemorySource source(file);
    std::vector<std::uint8_t> prefix(std::min(prefixSize, file.size()));
    std::size_t got = 0;
    io::readFully(source, 0, prefix, got);
    prefix.resize(got);
    return readMp4(prefix, source);
}

} // namespace mp4

// The moov, wherever it lies among the top-level boxes, then for a
// fragmented file its moofs: the first for the rate when stts had none, and
// all of them, within kMaxFragmentReads, for the running time when no header
// gave it. Once the video track is known, later trouble only leaves the rate
// or the running time unknown. An mdat with no moov anywhere is a recording
// whose index was never written.
ProbeResult readMp4(Bytes prefix, io::ByteSource& source) {
    using namespace mp4;
    Source file(prefix, source);
    Children top(file, 0, file.size(), 0);
    Movie movie;
    bool sawMovie = false;
    bool sawMdat = false;
    bool sawMoof = false;
    bool walking = false;   // through the moofs after the moov
    bool walkedAll = false; // to the end of the file, every moof read
    for (int count = 0;; ++count) {
        if (!walking && count == kMaxTopLevelBoxes) {
            file.fail(kErrorTooManyBoxes);
            break;
        }
        const auto box = top.next();
        if (!box) {
            walkedAll = walking && !file.error();
            break;
        }
        sawMdat = sawMdat || box->type == kMdat;
        if (box->type == kMoov && !sawMovie) {
            sawMovie = true;
            readMoov(file, *box, movie);
            if (!movie.video || movie.video->damage || !movie.fragmented)
                break;
            const bool rateKnown = movie.video->timing.samples != 0;
            if (rateKnown && timeFromHeaders(*movie.video, movie))
                break;
            walking = true;
            if (rateKnown)
                file.limitReads(kMaxFragmentReads);
        } else if (box->type == kMoof && movie.video && walking) {
            const bool forRate = !sawMoof && movie.video->timing.samples == 0;
            sawMoof = true;
            readMoof(file, *box, movie, forRate);
            if (timeFromHeaders(*movie.video, movie))
                break;
            if (forRate)
                file.limitReads(kMaxFragmentReads);
        } else if (box->type == kMoof) {
            sawMoof = true;
        }
    }
    ProbeResult result;
    if (movie.video && movie.video->damage)
        result.error = movie.video->damage;
    else if (movie.video && !movie.video->hasEntry)
        result.error = kErrorNoSampleEntry;
    else if (movie.video && (movie.video->width == 0 || movie.video->height == 0))
        result.error = kErrorZeroSize;
    else if (movie.video) {
        Track& t = *movie.video;
        if (t.timing.samples == 0 && movie.trexDuration != 0)
            t.timing.add(1, movie.trexDuration);
        result.video = videoInfo(t, movie, walkedAll);
    } else if (!sawMovie && !sawMoof &&
               ((sawMdat && !file.error()) ||
                (file.error() == kErrorCutShort && top.pastEnd() == kMdat)))
        result.error = kErrorNoIndex;
    else if (file.error())
        result.error = file.error();
    else if (movie.hiddenDamage)
        result.error = movie.hiddenDamage;
    else
        result.error = sawMovie ? kErrorNoVideo : kErrorNoMovie;
    return result;
}

} // namespace quorvel::media
