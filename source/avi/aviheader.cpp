#include "source/avi/aviheader.h"

#include "source/avi/riff.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quorvel::avifile {

namespace {

using riff::Bytes;
using riff::fourcc;

constexpr std::uint32_t kAvi = fourcc("AVI ");
constexpr std::uint32_t kHdrl = fourcc("hdrl");
constexpr std::uint32_t kAvih = fourcc("avih");
constexpr std::uint32_t kStrl = fourcc("strl");
constexpr std::uint32_t kStrh = fourcc("strh");
constexpr std::uint32_t kStrf = fourcc("strf");
constexpr std::uint32_t kVprp = fourcc("vprp");
constexpr std::uint32_t kOdml = fourcc("odml");
constexpr std::uint32_t kDmlh = fourcc("dmlh");
constexpr std::uint32_t kVids = fourcc("vids");
constexpr std::uint32_t kAuds = fourcc("auds");
constexpr std::uint32_t kTxts = fourcc("txts");
constexpr std::uint32_t kDats = fourcc("dats");
constexpr std::uint32_t kMovi = fourcc("movi");
constexpr std::uint32_t kIdx1 = fourcc("idx1");

// The fields we use must be there; trailing reserved words need not be. Some
// old writers end strh before rcFrame.
constexpr std::size_t kAvihSize = 40;
constexpr std::size_t kStrhSize = 48;
constexpr std::size_t kStrhWithFrameSize = 56;
constexpr std::size_t kBitmapInfoSize = 40;
// The nine fixed words of the OpenDML video properties, before the fields.
constexpr std::size_t kVideoPropSize = 36;
// Each field's description: eight words, the valid start line last.
constexpr std::size_t kFieldDescSize = 32;
constexpr std::size_t kFieldStartLine = 28;
constexpr std::size_t kTotalFramesAt = 16; // in avih

struct MainHeader {
    std::uint32_t microSecPerFrame = 0;
    std::uint32_t maxBytesPerSec = 0;
    std::uint32_t flags = 0;
    std::uint32_t totalFrames = 0;
    std::uint32_t suggestedBufferSize = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct VideoStream {
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t length = 0;
    std::uint32_t frameWidth = 0; // from rcFrame; 0 when empty or absent
    std::uint32_t frameHeight = 0;
    bool hasBitmap = false;
    std::uint32_t bitmapWidth = 0;
    std::uint32_t bitmapHeight = 0;
};

struct HeaderList {
    bool hasMain = false;
    bool mainShort = false;
    MainHeader main;
    std::uint32_t streams = 0;
    std::uint32_t largestStreamBuffer = 0;
    bool hasVideo = false;
    bool videoDamaged = false;
    VideoStream video;
    // A chunk ran past its list, so what we did not find may have been hidden.
    bool hidden = false;
};

MainHeader readMainHeader(Bytes b) {
    MainHeader m;
    m.microSecPerFrame = riff::u32(b, 0);
    m.maxBytesPerSec = riff::u32(b, 4);
    m.flags = riff::u32(b, 12);
    m.totalFrames = riff::u32(b, 16);
    m.suggestedBufferSize = riff::u32(b, 28);
    m.width = riff::u32(b, 32);
    m.height = riff::u32(b, 36);
    return m;
}

// The magnitude of a signed field, which may be the most negative value.
std::uint32_t magnitude(std::int32_t v) {
    return v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
}

void readStreamList(Bytes body, HeaderList& list) {
    ++list.streams;
    riff::ChunkWalker walker(body);
    std::optional<Bytes> strh;
    std::optional<Bytes> strf;
    // Only the first of each counts; nested lists (odml indexes and the like)
    // are skipped without looking inside.
    while (const auto chunk = walker.next()) {
        if (chunk->id == kStrh && !strh)
            strh = chunk->body;
        else if (chunk->id == kStrf && !strf)
            strf = chunk->body;
    }
    if (!strh || strh->size() < 4) {
        // A stream of unknown type may have been the video stream.
        if (strh || walker.overran())
            list.hidden = true;
        return;
    }
    if (strh->size() >= 40)
        list.largestStreamBuffer = std::max(list.largestStreamBuffer, riff::u32(*strh, 36));
    if (riff::u32(*strh, 0) != kVids || list.hasVideo)
        return;

    list.hasVideo = true;
    if (strh->size() < kStrhSize || (strf && strf->size() < kBitmapInfoSize) ||
        (!strf && walker.overran())) {
        list.videoDamaged = true;
        return;
    }
    VideoStream& v = list.video;
    v.scale = riff::u32(*strh, 20);
    v.rate = riff::u32(*strh, 24);
    v.length = riff::u32(*strh, 32);
    if (strh->size() >= kStrhWithFrameSize) {
        const std::int32_t left = riff::i16(*strh, 48);
        const std::int32_t top = riff::i16(*strh, 50);
        const std::int32_t right = riff::i16(*strh, 52);
        const std::int32_t bottom = riff::i16(*strh, 54);
        if (right > left && bottom > top) {
            v.frameWidth = static_cast<std::uint32_t>(right - left);
            v.frameHeight = static_cast<std::uint32_t>(bottom - top);
        }
    }
    if (strf) {
        const std::int32_t width = riff::i32(*strf, 4);
        const std::int32_t height = riff::i32(*strf, 8);
        // A negative height only says the rows run top-down.
        if (width > 0 && height != 0) {
            v.hasBitmap = true;
            v.bitmapWidth = static_cast<std::uint32_t>(width);
            v.bitmapHeight = magnitude(height);
        }
    }
}

HeaderList readHeaderList(Bytes body) {
    HeaderList list;
    riff::ChunkWalker walker(body);
    while (const auto chunk = walker.next()) {
        if (chunk->id == kAvih && !list.hasMain) {
            list.hasMain = true;
            if (chunk->body.size() < kAvihSize)
                list.mainShort = true;
            else
                list.main = readMainHeader(chunk->body);
        } else if (chunk->listType() == kStrl) {
            readStreamList(chunk->listBody(), list);
        }
        // Everything else, JUNK and other lists included, is skipped whole: we
        // go no deeper than the stream lists.
    }
    if (walker.overran())
        list.hidden = true;
    return list;
}

// The OpenDML video properties: the frame's aspect, the active picture, and
// how many fields make a frame, with where each starts.
void readVideoProperties(Bytes vprp, AviVideoExtras& extras) {
    if (vprp.size() < kVideoPropSize)
        return;
    const std::uint32_t aspect = riff::u32(vprp, 20);
    extras.aspectX = aspect >> 16;
    extras.aspectY = aspect & 0xFFFFu;
    extras.frameWidth = riff::u32(vprp, 24);
    extras.frameHeight = riff::u32(vprp, 28);
    extras.fieldsPerFrame = riff::u32(vprp, 32);
    if (extras.fieldsPerFrame == 2 && vprp.size() >= kVideoPropSize + 2 * kFieldDescSize)
        extras.fieldStartLines = std::array<std::uint32_t, 2>{
            riff::u32(vprp, kVideoPropSize + kFieldStartLine),
            riff::u32(vprp, kVideoPropSize + kFieldDescSize + kFieldStartLine)};
}

// An audio stream's channels, from its WAVEFORMATEX; any other stream that
// might hold sound is told as hidden, as ffmpeg knows no type but these.
void readSound(std::optional<Bytes> strh, std::optional<Bytes> strf, AviVideoExtras& extras) {
    const std::uint32_t type = strh && strh->size() >= 4 ? riff::u32(*strh, 0) : 0;
    if (type == kAuds) {
        ++extras.audioStreams;
        const std::uint32_t channels =
            strf && strf->size() >= 4 ? static_cast<std::uint16_t>(riff::i16(*strf, 2)) : 0;
        extras.audioChannels = std::max(extras.audioChannels, channels);
        extras.audioCountsKnown = extras.audioCountsKnown && channels != 0;
    } else if (type != kVids && type != kTxts && type != kDats) {
        extras.soundHidden = true;
    }
}

// The same first video stream as readStreamList takes, the main header's
// frame count, the OpenDML header's (LIST odml, which follows the streams),
// and the audio streams.
AviVideoExtras readExtras(Bytes hdrl) {
    AviVideoExtras extras;
    bool video = false, main = false, odml = false;
    riff::ChunkWalker lists(hdrl);
    while (const auto list = lists.next()) {
        if (list->id == kAvih && !main) {
            main = true;
            if (list->body.size() >= kTotalFramesAt + 4)
                extras.totalFrames = riff::u32(list->body, kTotalFramesAt);
            continue;
        }
        if (list->listType() == kOdml && !odml) {
            odml = true;
            riff::ChunkWalker walker(list->listBody());
            while (const auto chunk = walker.next())
                if (chunk->id == kDmlh) {
                    if (chunk->body.size() >= 4)
                        extras.odmlTotalFrames = riff::u32(chunk->body, 0);
                    break;
                }
            continue;
        }
        if (list->listType() != kStrl)
            continue;
        riff::ChunkWalker walker(list->listBody());
        std::optional<Bytes> strh, strf, vprp;
        while (const auto chunk = walker.next()) {
            if (chunk->id == kStrh && !strh)
                strh = chunk->body;
            else if (chunk->id == kStrf && !strf)
                strf = chunk->body;
            else if (chunk->id == kVprp && !vprp)
                vprp = chunk->body;
        }
        readSound(strh, strf, extras);
        if (!strh || strh->size() < 4 || riff::u32(*strh, 0) != kVids || video)
            continue;
        video = true;
        if (strh->size() >= 8)
            extras.handler = riff::u32(*strh, 4);
        if (strh->size() >= kStrhSize)
            extras.length = riff::u32(*strh, 32);
        if (strf && strf->size() >= kBitmapInfoSize)
            extras.compression = riff::u32(*strf, 16);
        if (vprp)
            readVideoProperties(*vprp, extras);
    }
    extras.soundHidden = extras.soundHidden || lists.overran();
    return extras;
}

std::int32_t judge(const HeaderList& list) {
    if (!list.hasMain)
        return list.hidden ? kErrorDamagedHeader : kErrorNoMainHeader;
    if (list.mainShort)
        return kErrorDamagedHeader;
    if (!list.hasVideo)
        return list.hidden ? kErrorDamagedHeader : kErrorNoVideoStream;
    if (list.videoDamaged)
        return kErrorDamagedHeader;
    return 0;
}

AVIFILEINFO record(const HeaderList& list) {
    const MainHeader& m = list.main;
    const VideoStream& v = list.video;
    AVIFILEINFO r{};
    r.dwMaxBytesPerSec = m.maxBytesPerSec;
    r.dwFlags = m.flags;
    r.dwCaps = AVIFILECAPS_CANREAD;
    r.dwStreams = list.streams;
    r.dwSuggestedBufferSize =
        m.suggestedBufferSize != 0 ? m.suggestedBufferSize : list.largestStreamBuffer;
    if (v.hasBitmap) {
        r.dwWidth = v.bitmapWidth;
        r.dwHeight = v.bitmapHeight;
    } else if (v.frameWidth != 0) {
        r.dwWidth = v.frameWidth;
        r.dwHeight = v.frameHeight;
    } else {
        r.dwWidth = m.width;
        r.dwHeight = m.height;
    }
    if ((v.rate == 0 || v.scale == 0) && m.microSecPerFrame != 0) {
        r.dwRate = 1000000;
        r.dwScale = m.microSecPerFrame;
    } else {
        // A zero scale is handed on: the window tells the user.
        r.dwRate = v.rate;
        r.dwScale = v.scale;
    }
    r.dwLength = v.length != 0 ? v.length : m.totalFrames;
    r.dwEditCount = 0;
    static constexpr char kFileType[] = "AVI file";
    static_assert(sizeof kFileType <= sizeof r.szFileType);
    std::memcpy(r.szFileType, kFileType, sizeof kFileType);
    return r;
}

// Serves header bytes from the prefix when it has them, else from the source.
class HeaderBytes {
public:
    HeaderBytes(Bytes prefix, io::ByteSource& source)
        : prefix_(prefix), source_(source),
          size_(std::max<std::uint64_t>(source.size(), prefix.size())) {}

    std::uint64_t size() const { return size_; }

    // Up to `out.size()` bytes at `offset`; fewer at the end of the file.
    std::int32_t fetch(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) {
        got = 0;
        if (offset >= size_)
            return 0;
        const std::uint64_t available = std::min<std::uint64_t>(out.size(), size_ - offset);
        out = out.first(static_cast<std::size_t>(available));
        if (offset + out.size() <= prefix_.size() || prefix_.size() >= size_) {
            if (offset < prefix_.size()) {
                got = std::min<std::size_t>(out.size(), prefix_.size() - offset);
                std::memcpy(out.data(), prefix_.data() + offset, got);
            }
            return 0;
        }
        return io::readFully(source_, offset, out, got);
    }

    // The bytes at [offset, offset + length), in the prefix or read into `store`.
    std::int32_t span(std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& store,
                      Bytes& out) {
        if (offset + length <= prefix_.size()) {
            out = prefix_.subspan(static_cast<std::size_t>(offset), length);
            return 0;
        }
        store.resize(length);
        std::size_t got = 0;
        if (const std::int32_t rc = fetch(offset, store, got))
            return rc;
        if (got < length)
            return kErrorHeaderCutShort; // the file has shrunk since it was opened
        out = store;
        return 0;
    }

private:
    Bytes prefix_;
    io::ByteSource& source_;
    std::uint64_t size_;
};

struct ListPlace {
    std::uint64_t offset = 0; // of the list's type
    std::uint32_t length = 0; // of the type and the children
};

// Walks the top-level chunks after the RIFF header to the header list. It is
// normally the first; JUNK and unknown chunks before it are skipped, but the
// movie data, an index or the next RIFF mean there is none.
std::int32_t findHeaderList(HeaderBytes& bytes, std::uint32_t riffSize, ListPlace& place) {
    std::uint64_t pos = 12;
    for (int i = 0; i < kMaxTopLevelChunks; ++i) {
        std::uint8_t header[12];
        std::size_t got = 0;
        if (const std::int32_t rc = bytes.fetch(pos, header, got))
            return rc;
        if (got == 0) {
            // The file ends between chunks: cut short only if the RIFF said it
            // goes on. Writers leave 0 or all ones there when they never fixed it.
            const bool riffSaysMore =
                riffSize != 0 && riffSize != 0xFFFFFFFFu && 8 + std::uint64_t{riffSize} > pos;
            return riffSaysMore ? kErrorHeaderCutShort : kErrorNoHeaderList;
        }
        if (got < 8)
            return kErrorHeaderCutShort;
        const Bytes h(header, got);
        const std::uint32_t id = riff::u32(h, 0);
        const std::uint32_t size = riff::u32(h, 4);
        if (id == riff::kList) {
            if (got < 12)
                return kErrorHeaderCutShort;
            const std::uint32_t type = riff::u32(h, 8);
            if (type == kHdrl && size >= 4) {
                place = {pos + 8, size};
                return 0;
            }
            if (type == kMovi)
                return kErrorNoHeaderList;
        } else if (id == kIdx1 || id == riff::kRiff) {
            return kErrorNoHeaderList;
        }
        const std::uint64_t next = pos + 8 + size + (size & 1u);
        if (next > bytes.size() + (size & 1u))
            return kErrorHeaderCutShort; // the file ends inside this chunk
        pos = next;
    }
    return kErrorNoHeaderList;
}

} // namespace

std::int32_t checkAviSignature(std::span<const std::uint8_t> prefix) {
    if (prefix.size() < 12 || riff::u32(prefix, 0) != riff::kRiff || riff::u32(prefix, 8) != kAvi)
        return kErrorNotAviFile;
    return 0;
}

namespace {

// The header list's children, in the prefix or read into `store`.
std::int32_t headerList(Bytes prefix, io::ByteSource& source, std::vector<std::uint8_t>& store,
                        Bytes& children) {
    if (const std::int32_t rc = checkAviSignature(prefix))
        return rc;
    HeaderBytes bytes(prefix, source);
    ListPlace place;
    if (const std::int32_t rc = findHeaderList(bytes, riff::u32(prefix, 4), place))
        return rc;
    if (place.length > kMaxHeaderListSize)
        return kErrorDamagedHeader;
    if (place.offset + place.length > bytes.size())
        return kErrorHeaderCutShort;

    Bytes list;
    if (const std::int32_t rc = bytes.span(place.offset, place.length, store, list))
        return rc;
    children = list.subspan(4);
    return 0;
}

} // namespace

std::int32_t readAviInfo(std::span<const std::uint8_t> prefix, io::ByteSource& source,
                         AVIFILEINFO& info) {
    AviVideoExtras extras;
    return readAviVideo(prefix, source, info, extras);
}

std::int32_t readAviVideo(std::span<const std::uint8_t> prefix, io::ByteSource& source,
                          AVIFILEINFO& info, AviVideoExtras& extras) {
    std::vector<std::uint8_t> store;
    Bytes children;
    if (const std::int32_t rc = headerList(prefix, source, store, children))
        return rc;
    const HeaderList found = readHeaderList(children);
    if (const std::int32_t rc = judge(found))
        return rc;
    info = record(found);
    extras = readExtras(children);
    return 0;
}

std::int32_t inspectAvi(std::span<const std::uint8_t> bytes, AVIFILEINFO& info,
                        std::size_t prefixSize) {
    io::MemorySource source(bytes);
    // Open never reads less than the RIFF header when the file has it.
    prefixSize = std::max<std::size_t>(prefixSize, 12);
    std::vector<std::uint8_t> prefix(std::min(prefixSize, bytes.size()));
    std::size_t got = 0;
    if (const std::int32_t rc = io::readFully(source, 0, prefix, got))
        return rc;
    prefix.resize(got);
    if (const std::int32_t rc = checkAviSignature(prefix))
        return rc;
    return readAviInfo(prefix, source, info);
}

} // namespace quorvel::avifile
