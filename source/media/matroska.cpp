#include "source/media/matroska.h"

#include "source/io/byte_source.h"

#include <array>
#include <bit>
#include <cmath>
#include <vector>

namespace quorvel::media::matroska {

namespace {

const char* const kCutShort = "The Matroska file is cut short.";
const char* const kDamaged = "The Matroska file is damaged.";
const char* const kNoTracks = "The Matroska file has no track list before its media data.";
const char* const kNoVideo = "The Matroska file has no video track.";
const char* const kNoSize = "The Matroska video track does not give its frame size.";
const char* const kTooMany = "The Matroska file has too many elements in its header.";
const char* const kTooManyBefore = "The Matroska file has too many elements before its track list.";
const char* const kTracksTooLarge = "The Matroska track list is too large to read.";
const char* const kReadFailed = "The Matroska file could not be read.";

std::string lengthMarkerError(std::uint64_t offset) {
    return "The Matroska file is damaged: the element at byte " + std::to_string(offset) +
           " has an ID or size without its length marker.";
}

// One VINT: its length is one more than the leading zero bits of its first
// byte. With `keepMarker` the marker bit stays in the value, as in IDs.
HeaderStatus vint(Bytes b, std::size_t at, std::size_t maxLength, bool keepMarker,
                  std::uint64_t& value, std::size_t& length) {
    if (at >= b.size())
        return HeaderStatus::CutShort;
    const std::uint8_t first = b[at];
    if (first == 0)
        return HeaderStatus::Invalid;
    length = 1;
    while (!(first & (0x80u >> (length - 1))))
        ++length;
    if (length > maxLength)
        return HeaderStatus::Invalid;
    if (!fitsIn(at, length, b.size()))
        return HeaderStatus::CutShort;
    value = keepMarker ? first : first & (0xFFu >> length);
    for (std::size_t i = 1; i < length; ++i)
        value = value << 8 | b[at + i];
    return HeaderStatus::Ok;
}

std::uint64_t readUint(Bytes body) {
    std::uint64_t v = 0;
    for (const std::uint8_t byte : body)
        v = v << 8 | byte;
    return v;
}

// Printable ASCII up to the first NUL, the rest shown as '?'.
std::string readString(Bytes body) {
    std::string s;
    for (const std::uint8_t c : body.first(std::min(body.size(), kMaxCodecIdLength))) {
        if (c == 0)
            break;
        s.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return s;
}

struct Child {
    ElementHeader header;
    Bytes body;
};

// Steps through the children of a body held in memory. A child of unknown
// size runs to the end of its parent; a child that runs past its parent, a
// damaged header or the element budget stop the walk with an error.
class Children {
public:
    Children(Bytes body, int& elements) : body_(body), elements_(elements) {}

    std::optional<Child> next() {
        if (!error_.empty() || pos_ >= body_.size())
            return std::nullopt;
        if (--elements_ < 0) {
            error_ = kTooMany;
            return std::nullopt;
        }
        Child c;
        if (readHeader(body_, pos_, c.header) != HeaderStatus::Ok) {
            error_ = kDamaged;
            return std::nullopt;
        }
        const std::size_t start = pos_ + c.header.length;
        const std::uint64_t size =
            c.header.size == kUnknownSize ? body_.size() - start : c.header.size;
        if (!fitsIn(start, size, body_.size())) {
            error_ = kDamaged;
            return std::nullopt;
        }
        c.body = body_.subspan(start, static_cast<std::size_t>(size));
        pos_ = start + static_cast<std::size_t>(size);
        return c;
    }
    const std::string& error() const { return error_; }

private:
    Bytes body_;
    int& elements_;
    std::size_t pos_ = 0;
    std::string error_;
};

// An unsigned integer holds at most 8 bytes; an empty one leaves the default.
bool setUint(const Child& c, std::optional<std::uint64_t>& out) {
    if (c.body.size() > 8)
        return false;
    if (!c.body.empty())
        out = readUint(c.body);
    return true;
}
bool setUint(const Child& c, std::uint64_t& out) {
    std::optional<std::uint64_t> v;
    if (!setUint(c, v))
        return false;
    if (v)
        out = *v;
    return true;
}

// The Video element's children we keep, each an unsigned integer.
struct Field {
    std::uint32_t id;
    std::uint64_t VideoTrack::*plain;
    std::optional<std::uint64_t> VideoTrack::*given; // kept only when the file says it
};
constexpr Field kVideoFields[] = {
    {kIdPixelWidth, &VideoTrack::width, nullptr},
    {kIdPixelHeight, &VideoTrack::height, nullptr},
    {kIdPixelCropTop, &VideoTrack::cropTop, nullptr},
    {kIdPixelCropBottom, &VideoTrack::cropBottom, nullptr},
    {kIdPixelCropLeft, &VideoTrack::cropLeft, nullptr},
    {kIdPixelCropRight, &VideoTrack::cropRight, nullptr},
    {kIdDisplayWidth, nullptr, &VideoTrack::displayWidth},
    {kIdDisplayHeight, nullptr, &VideoTrack::displayHeight},
    {kIdDisplayUnit, &VideoTrack::displayUnit, nullptr},
    {kIdFlagInterlaced, nullptr, &VideoTrack::flagInterlaced},
    {kIdFieldOrder, nullptr, &VideoTrack::fieldOrder},
};

bool isCrop(std::uint32_t id) {
    return id == kIdPixelCropTop || id == kIdPixelCropBottom || id == kIdPixelCropLeft ||
           id == kIdPixelCropRight;
}

std::string parseVideo(Bytes body, VideoTrack& t, int& elements) {
    Children children(body, elements);
    bool ok = true;
    while (const auto c = children.next()) {
        t.cropGiven = t.cropGiven || isCrop(c->header.id);
        for (const Field& f : kVideoFields) {
            if (f.id == c->header.id)
                ok = (f.plain ? setUint(*c, t.*f.plain) : setUint(*c, t.*f.given)) && ok;
        }
    }
    if (!children.error().empty())
        return children.error();
    return ok ? std::string{} : kDamaged;
}

struct Entry {
    std::uint64_t type = 0;
    bool hasVideo = false;
    VideoTrack track;
    bool hasAudio = false;
    std::optional<std::uint64_t> channels; // none: Audio was damaged
    std::string language = "eng";          // the format's default
    std::optional<std::string> bcp47;      // which, when given, holds instead
};

// Channels, 1 unless stated. The video does not need it, so damage here
// only leaves the count unknown.
void parseAudio(Bytes body, Entry& e, int& elements) {
    Children children(body, elements);
    e.channels = 1;
    while (const auto c = children.next())
        if (c->header.id == kIdChannels && !setUint(*c, e.channels))
            e.channels.reset();
    if (!children.error().empty())
        e.channels.reset();
}

std::string parseEntry(Bytes body, Entry& e, int& elements) {
    Children children(body, elements);
    bool ok = true;
    while (const auto c = children.next()) {
        switch (c->header.id) {
        case kIdTrackType:
            ok = setUint(*c, e.type) && ok;
            break;
        case kIdCodecId:
            e.track.codec = readString(c->body);
            break;
        case kIdLanguage:
            e.language = readString(c->body);
            break;
        case kIdLanguageBcp47:
            e.bcp47 = readString(c->body);
            break;
        case kIdDefaultDuration:
            ok = setUint(*c, e.track.defaultDuration) && ok;
            break;
        case kIdVideo:
            // Only the first Video element counts.
            if (!e.hasVideo) {
                e.hasVideo = true;
                if (std::string error = parseVideo(c->body, e.track, elements); !error.empty())
                    return error;
            }
            break;
        case kIdAudio:
            if (!e.hasAudio) {
                e.hasAudio = true;
                parseAudio(c->body, e, elements);
            }
            break;
        default:
            break;
        }
    }
    if (!children.error().empty())
        return children.error();
    return ok ? std::string{} : kDamaged;
}

struct SeekResult {
    std::optional<std::uint64_t> tracks; // relative to the Segment's data
    std::optional<std::uint64_t> info;
    std::optional<std::uint64_t> chapters;
    std::string error;
};

SeekResult parseSeekHead(Bytes body, int& elements) {
    SeekResult r;
    Children seeks(body, elements);
    while (const auto seek = seeks.next()) {
        if (seek->header.id != kIdSeek)
            continue;
        Children fields(seek->body, elements);
        std::optional<std::uint32_t> id;
        std::optional<std::uint64_t> position;
        while (const auto f = fields.next()) {
            if (f->header.id == kIdSeekId && f->body.size() >= 1 && f->body.size() <= 4)
                id = static_cast<std::uint32_t>(readUint(f->body));
            else if (f->header.id == kIdSeekPosition && f->body.size() <= 8)
                position = readUint(f->body);
        }
        if (!fields.error().empty()) {
            r.error = fields.error();
            return r;
        }
        if (id == kIdTracks && position && !r.tracks)
            r.tracks = position;
        if (id == kIdInfo && position && !r.info)
            r.info = position;
        if (id == kIdChapters && position && !r.chapters)
            r.chapters = position;
    }
    r.error = seeks.error();
    return r;
}

// Where the Segment's children are, in the file.
struct Segment {
    std::uint64_t start = 0;
    std::uint64_t end = 0; // the file's end for a Segment of unknown size
};

class Reader {
public:
    // A prefix shorter than open's usual first read is made up to it with one
    // read, so that the headers after it cost no read each.
    Reader(Bytes prefix, io::ByteSource& source)
        : head_(madeUp(prefix, source, headStore_, readFailed_)), bytes_(head_, source) {}

    ProbeResult run() {
        if (readFailed_)
            return {std::nullopt, kReadFailed};
        Segment segment;
        if (!findSegment(segment))
            return fail();
        std::optional<Bytes> tracks;
        if (!findTracks(segment, tracks))
            return fail();
        if (!tracks) {
            error_ = kNoTracks;
            return fail();
        }
        const TracksResult found = parseTracks(*tracks, elements_);
        if (!found.video) {
            error_ = found.error;
            return fail();
        }
        const VideoTrack& t = *found.video;
        VideoInfo info;
        info.container = Container::Matroska;
        info.codec = t.codec;
        info.width = static_cast<std::uint32_t>(t.width);
        info.height = static_cast<std::uint32_t>(t.height);
        if (t.defaultDuration)
            info.rate = frameRate(*t.defaultDuration);
        info.sar = pixelShape(t);
        info.crop = crop(t);
        interlacing(t, info.scan, info.fieldOrder);
        if (segmentInfo_)
            info.durationMs = durationMs(*segmentInfo_);
        found.audio.give(info, found.sawAll && !tracksCut_);
        if (tracksEnd_)
            chaptersAfter(*tracksEnd_, segment);
        info.chaptersMs = std::move(chapters_);
        return {info, {}};
    }

private:
    static Bytes madeUp(Bytes prefix, io::ByteSource& source, io::ReadBuffer& store, bool& failed) {
        io::PrefixedSource all(prefix, source);
        if (prefix.size() >= kPrefixRead || prefix.size() >= all.size())
            return prefix;
        Bytes head;
        if (!all.get(0, kPrefixRead, store, head)) {
            failed = true;
            return prefix;
        }
        return head;
    }

    ProbeResult fail() const { return {std::nullopt, error_}; }

    // The element header at `offset`, from the prefix, from the last
    // read-ahead, or with a new one.
    bool header(std::uint64_t offset, ElementHeader& h) {
        const std::uint64_t length = std::min<std::uint64_t>(
            kMaxElementHeader, bytes_.size() - std::min(offset, bytes_.size()));
        Bytes b;
        if (!held(offset, static_cast<std::size_t>(length), b)) {
            if (++headerReads_ > kMaxHeaderReads) {
                error_ = kTooManyBefore;
                return false;
            }
            aheadAt_ = offset;
            if (!bytes_.get(offset, kHeaderReadAhead, headerStore_, ahead_)) {
                error_ = kReadFailed;
                return false;
            }
            b = ahead_.first(std::min<std::size_t>(ahead_.size(), kMaxElementHeader));
        }
        return decode(b, offset, h);
    }

    // `length` bytes at `offset` from what was read already: the prefix, the
    // last read-ahead or the track list's read.
    bool held(std::uint64_t offset, std::size_t length, Bytes& b) const {
        for (const auto& [bytes, at] :
             {std::pair{head_, std::uint64_t{0}}, std::pair{ahead_, aheadAt_},
              std::pair{tracksRead_, tracksReadAt_}})
            if (offset >= at && fitsIn(offset - at, length, bytes.size())) {
                b = bytes.subspan(static_cast<std::size_t>(offset - at), length);
                return true;
            }
        return false;
    }

    // The header at the start of `b`, which begins at `offset` in the file.
    bool decode(Bytes b, std::uint64_t offset, ElementHeader& h) {
        if (--elements_ < 0) {
            error_ = kTooMany;
            return false;
        }
        switch (readHeader(b, 0, h)) {
        case HeaderStatus::Ok:
            return true;
        case HeaderStatus::CutShort:
            error_ = kCutShort;
            return false;
        case HeaderStatus::Invalid:
            error_ = lengthMarkerError(offset);
            return false;
        }
        return false;
    }

    // `size` bytes of body at `offset`, all of them or an error.
    bool body(std::uint64_t offset, std::uint64_t size, io::ReadBuffer& store, Bytes& out) {
        if (!bytes_.get(offset, static_cast<std::size_t>(size), store, out)) {
            error_ = kReadFailed;
            return false;
        }
        if (out.size() < size) {
            error_ = kCutShort;
            return false;
        }
        return true;
    }

    bool findSegment(Segment& segment) {
        ElementHeader h;
        if (!header(0, h))
            return false;
        if (h.id != kIdEbml) {
            error_ = "The file is not a Matroska or WebM file.";
            return false;
        }
        if (h.size == kUnknownSize || h.size > kMaxEbmlHeaderSize) {
            error_ = kDamaged;
            return false;
        }
        io::ReadBuffer store;
        Bytes ebml;
        if (!body(h.length, h.size, store, ebml))
            return false;
        const DocType doc = docTypeOf(ebml);
        if (!doc.known)
            return false;
        if (!isMatroskaDocType(doc.name)) {
            error_ = "The file is an EBML file of type \"" + doc.name + "\", not Matroska.";
            return false;
        }
        std::uint64_t at = h.length + h.size;
        for (int i = 0; i < kMaxTopLevelElements; ++i) {
            if (at >= bytes_.size()) {
                error_ = kCutShort;
                return false;
            }
            if (!header(at, h))
                return false;
            if (h.id == kIdSegment) {
                segment.start = at + h.length;
                segment.end =
                    h.size == kUnknownSize || !fitsIn(segment.start, h.size, bytes_.size())
                        ? bytes_.size()
                        : segment.start + h.size;
                return true;
            }
            if (h.size == kUnknownSize) {
                error_ = kDamaged;
                return false;
            }
            at += h.length;
            if (h.size > bytes_.size() - std::min(at, bytes_.size())) {
                error_ = kCutShort;
                return false;
            }
            at += h.size;
        }
        error_ = kDamaged;
        return false;
    }

    DocType docTypeOf(Bytes ebml) {
        DocType doc{true, "matroska"};
        Children children(ebml, elements_);
        while (const auto c = children.next())
            if (c->header.id == kIdDocType)
                doc.name = readString(c->body);
        if (!children.error().empty()) {
            error_ = children.error();
            doc.known = false;
        }
        return doc;
    }

    // The Tracks element at `offset`, if there is one there: one read of
    // kTracksFirstRead, and a second only for a longer track list.
    bool tracksAt(std::uint64_t offset, const Segment& segment, std::optional<Bytes>& tracks) {
        Bytes first;
        if (!bytes_.get(offset, kTracksFirstRead, tracksStore_, first)) {
            error_ = kReadFailed;
            return false;
        }
        tracksRead_ = first;
        tracksReadAt_ = offset;
        ElementHeader h;
        if (!decode(first, offset, h))
            return false;
        if (h.id != kIdTracks)
            return true;
        const std::uint64_t start = offset + h.length;
        if (h.size != kUnknownSize && h.size <= segment.end - std::min(start, segment.end))
            tracksEnd_ = start + h.size;
        std::uint64_t size = h.size;
        if (size == kUnknownSize)
            size =
                std::min<std::uint64_t>(segment.end - std::min(start, segment.end), kMaxTracksSize);
        if (size > kMaxTracksSize) {
            tracksRead_ = {}; // the walk reads into the same store
            return keepNeeded(first, offset, start, size, tracks);
        }
        if (fitsIn(h.length, size, first.size())) {
            tracks = first.subspan(h.length, static_cast<std::size_t>(size));
            return true;
        }
        Bytes b;
        tracksRead_ = {};
        if (!body(start, size, tracksStore_, b))
            return false;
        tracks = tracksRead_ = b;
        tracksReadAt_ = start;
        return true;
    }

    // A track list too large to read whole: its entries up to the first video
    // one, rebuilt in memory without the bodies the reader does not need.
    bool keepNeeded(Bytes first, std::uint64_t offset, std::uint64_t start, std::uint64_t size,
                    std::optional<Bytes>& tracks) {
        TrackListWalk walk(*this);
        walk.window = first; // the first read, at the track list's header
        walk.windowAt = offset;
        keptStore_.clear();
        if (!walk.keep(start, start + size, 0, keptStore_))
            return false;
        tracksCut_ = walk.video;
        tracks = Bytes(keptStore_);
        return true;
    }

    // Reads a track list kTracksFirstRead bytes at a time and copies the
    // children of [begin, end), but for bodies over kMaxKeptBody. TrackEntry
    // (level 0) and Video (level 1) are walked the same way and written with
    // sizes of their own. Stops after the first video entry.
    struct TrackListWalk {
        explicit TrackListWalk(Reader& r) : reader(r) {}

        Reader& reader;
        Bytes window;
        std::uint64_t windowAt = 0;
        int reads = 0;
        bool video = false;

        bool fail(const char* sentence) {
            reader.error_ = sentence;
            return false;
        }

        // `length` bytes at `offset`, all of them or an error.
        bool get(std::uint64_t offset, std::size_t length, Bytes& out) {
            if (offset < windowAt || !fitsIn(offset - windowAt, length, window.size())) {
                if (++reads > kMaxTrackListReads)
                    return fail(kTracksTooLarge);
                windowAt = offset;
                if (!reader.bytes_.get(offset, std::max(length, kTracksFirstRead),
                                       reader.tracksStore_, window))
                    return fail(kReadFailed);
                if (window.size() < length)
                    return fail(kCutShort);
            }
            out = window.subspan(static_cast<std::size_t>(offset - windowAt), length);
            return true;
        }

        bool keep(std::uint64_t begin, std::uint64_t end, int level,
                  std::vector<std::uint8_t>& out) {
            for (std::uint64_t at = begin; at < end && !(level == 0 && video);) {
                Bytes b;
                if (!get(at,
                         static_cast<std::size_t>(
                             std::min<std::uint64_t>(kMaxElementHeader, end - at)),
                         b))
                    return false;
                if (--reader.elements_ < 0)
                    return fail(kTooMany);
                ElementHeader h;
                // The bytes are there, so a header cut short runs past its parent.
                if (readHeader(b, 0, h) != HeaderStatus::Ok)
                    return fail(kDamaged);
                const std::uint64_t start = at + h.length;
                const std::uint64_t size = h.size == kUnknownSize ? end - start : h.size;
                if (size > end - start)
                    return fail(kDamaged);
                at = start + size;
                if (level == 0 ? h.id == kIdTrackEntry : level == 1 && h.id == kIdVideo) {
                    const std::size_t sizeAt = appendId(out, h.id);
                    out.resize(sizeAt + 8);
                    if (!keep(start, start + size, level + 1, out))
                        return false;
                    putSize(out, sizeAt, out.size() - sizeAt - 8);
                } else if (level > 0 && size <= kMaxKeptBody) {
                    Bytes body;
                    if (!get(start, static_cast<std::size_t>(size), body))
                        return false;
                    const std::size_t sizeAt = appendId(out, h.id);
                    out.resize(sizeAt + 8);
                    putSize(out, sizeAt, size);
                    out.insert(out.end(), body.begin(), body.end());
                    if (level == 1 && h.id == kIdTrackType && size <= 8 && readUint(body) == 1)
                        video = true;
                }
                if (out.size() > kMaxTracksSize)
                    return fail(kTracksTooLarge);
            }
            return true;
        }

        // Writes an ID as Matroska does, its marker included; returns where
        // its size goes.
        static std::size_t appendId(std::vector<std::uint8_t>& out, std::uint32_t id) {
            for (int shift = 24; shift >= 0; shift -= 8)
                if (id >> shift || shift == 0)
                    out.push_back(static_cast<std::uint8_t>(id >> shift));
            return out.size();
        }
        // An eight-byte size: the marker 0x01 and seven bytes of value.
        static void putSize(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t size) {
            out[at] = 0x01;
            for (std::size_t i = 7; i >= 1; --i, size >>= 8)
                out[at + i] = static_cast<std::uint8_t>(size);
        }
    };

    // Walks the Segment's children to the track list. A SeekHead that names
    // it sends us there at once; a SeekHead that is wrong is ignored. The walk
    // ends at the first Cluster or at an element of unknown size, which cannot
    // be stepped over.
    bool findTracks(const Segment& segment, std::optional<Bytes>& tracks) {
        std::uint64_t at = segment.start;
        bool seekHeadSeen = false;
        for (int i = 0; i < kMaxLevel1Elements && at < segment.end; ++i) {
            ElementHeader h;
            if (!header(at, h))
                return false;
            if (h.id == kIdTracks)
                return tracksAt(at, segment, tracks);
            if (h.id == kIdInfo && h.size != kUnknownSize)
                infoAt(at, segment);
            if (h.id == kIdChapters && h.size != kUnknownSize)
                chaptersAt(at, segment);
            if (h.id == kIdCluster || h.size == kUnknownSize)
                return true;
            const std::uint64_t start = at + h.length;
            if (h.size > segment.end - std::min(start, segment.end)) {
                error_ = kCutShort;
                return false;
            }
            if (h.id == kIdSeekHead && !seekHeadSeen) {
                seekHeadSeen = true;
                if (h.size <= kMaxSeekHeadSize) {
                    io::ReadBuffer store;
                    Bytes b;
                    if (!body(start, h.size, store, b))
                        return false;
                    const SeekResult seek = parseSeekHead(b, elements_);
                    if (!seek.error.empty()) {
                        error_ = seek.error;
                        return false;
                    }
                    if (seek.info && *seek.info < segment.end - segment.start)
                        infoAt(segment.start + *seek.info, segment);
                    if (seek.chapters && *seek.chapters < segment.end - segment.start)
                        chaptersAt(segment.start + *seek.chapters, segment);
                    if (seek.tracks && *seek.tracks < segment.end - segment.start) {
                        if (!tracksAt(segment.start + *seek.tracks, segment, tracks))
                            return false;
                        if (tracks)
                            return true;
                    }
                }
            }
            at = start + h.size;
        }
        if (at < segment.end) {
            error_ = kTooManyBefore;
            return false;
        }
        return true;
    }

    // The Info element at `offset`, if it is one that fits kMaxInfoSize: one
    // read of kInfoFirstRead, and a second only for a longer Info. Only the
    // first Info looked at counts; whatever is wrong with it leaves the
    // running time unknown, not the file unread.
    void infoAt(std::uint64_t offset, const Segment& segment) {
        if (infoTried_)
            return;
        infoTried_ = true;
        io::ReadBuffer store;
        Bytes b;
        if (smallElement(offset, segment, kIdInfo, kMaxInfoSize, store, b))
            segmentInfo_ = parseInfo(b, elements_);
    }

    // Writers put the chapters soon after the track list, where the walk
    // goes on to look for them among the bytes read already; it ends as the
    // walk to the track list does.
    void chaptersAfter(std::uint64_t at, const Segment& segment) {
        for (int i = 0; i < kMaxLevel1Elements && at < segment.end && !chaptersTried_; ++i) {
            ElementHeader h;
            Bytes b;
            if (!held(at, std::min<std::size_t>(kMaxElementHeader, segment.end - at), b) ||
                !decode(b, at, h) || h.id == kIdCluster || h.size == kUnknownSize)
                return;
            if (h.id == kIdChapters)
                return chaptersAt(at, segment);
            if (h.size > segment.end - std::min(at + h.length, segment.end))
                return;
            at += h.length + h.size;
        }
    }

    // The same for the first Chapters read whole; a SeekHead may point amiss,
    // so a few places are tried.
    void chaptersAt(std::uint64_t offset, const Segment& segment) {
        constexpr int kMaxChaptersTries = 3;
        if (chaptersTried_ || ++chaptersTries_ > kMaxChaptersTries)
            return;
        io::ReadBuffer store;
        Bytes b;
        if (smallElement(offset, segment, kIdChapters, kMaxChaptersSize, store, b)) {
            chaptersTried_ = true;
            chapters_ = parseChapters(b, elements_);
        }
    }

    // The body of the element at `offset` when it is an `id` of at most
    // `maxSize` bytes within the Segment.
    bool smallElement(std::uint64_t offset, const Segment& segment, std::uint32_t id,
                      std::size_t maxSize, io::ReadBuffer& store, Bytes& b) {
        Bytes first;
        ElementHeader h;
        if (!bytes_.get(offset, kInfoFirstRead, store, first) ||
            readHeader(first, 0, h) != HeaderStatus::Ok || h.id != id || h.size == kUnknownSize ||
            h.size > maxSize || --elements_ < 0)
            return false;
        const std::uint64_t start = offset + h.length;
        if (start > segment.end || h.size > segment.end - start)
            return false;
        if (fitsIn(h.length, h.size, first.size())) {
            b = first.subspan(h.length, static_cast<std::size_t>(h.size));
            return true;
        }
        return bytes_.get(start, static_cast<std::size_t>(h.size), store, b) && b.size() >= h.size;
    }

    // In this order: the made-up prefix is the view's.
    io::ReadBuffer headStore_;
    bool readFailed_ = false;
    Bytes head_;
    io::PrefixedSource bytes_;
    io::ReadBuffer headerStore_;
    Bytes ahead_; // the last read-ahead of headers, at aheadAt_
    std::uint64_t aheadAt_ = 0;
    int headerReads_ = 0;
    io::ReadBuffer tracksStore_;
    std::vector<std::uint8_t> keptStore_;
    int elements_ = kMaxElements;
    std::string error_;
    std::optional<Info> segmentInfo_;
    bool infoTried_ = false;     // one Info looked at, wherever it was
    bool chaptersTried_ = false; // one Chapters read
    int chaptersTries_ = 0;
    std::vector<std::uint64_t> chapters_;
    std::optional<std::uint64_t> tracksEnd_;
    Bytes tracksRead_; // the first read at the track list, at tracksReadAt_
    std::uint64_t tracksReadAt_ = 0;
    bool tracksCut_ = false; // the entries after the video's were not kept
};

} // namespace

HeaderStatus readHeader(Bytes b, std::size_t at, ElementHeader& header) {
    std::uint64_t id = 0;
    std::size_t idLength = 0;
    if (const HeaderStatus s = vint(b, at, 4, true, id, idLength); s != HeaderStatus::Ok)
        return s;
    std::uint64_t size = 0;
    std::size_t sizeLength = 0;
    if (const HeaderStatus s = vint(b, at + idLength, 8, false, size, sizeLength);
        s != HeaderStatus::Ok)
        return s;
    header.id = static_cast<std::uint32_t>(id);
    const std::uint64_t allOnes = (std::uint64_t{1} << (7 * sizeLength)) - 1;
    header.size = size == allOnes ? kUnknownSize : size;
    header.length = idLength + sizeLength;
    return HeaderStatus::Ok;
}

DocType docType(Bytes b) {
    ElementHeader h;
    if (readHeader(b, 0, h) != HeaderStatus::Ok || h.id != kIdEbml || h.size == kUnknownSize ||
        !fitsIn(h.length, h.size, b.size()))
        return {};
    DocType doc{true, "matroska"};
    int elements = kMaxElements;
    Children children(b.subspan(h.length, static_cast<std::size_t>(h.size)), elements);
    while (const auto c = children.next())
        if (c->header.id == kIdDocType)
            doc.name = readString(c->body);
    if (!children.error().empty())
        return {};
    return doc;
}

bool isMatroskaDocType(const std::string& name) {
    return name == "matroska" || name == "webm";
}

TracksResult parseTracks(Bytes body, int& elements) {
    const auto failed = [](std::string error) {
        TracksResult f;
        f.error = std::move(error);
        return f;
    };
    TracksResult r;
    Children children(body, elements);
    while (const auto c = children.next()) {
        if (c->header.id != kIdTrackEntry)
            continue;
        Entry e;
        if (std::string error = parseEntry(c->body, e, elements); !error.empty())
            return r.video ? r : failed(error); // past the video, the sound stays unknown
        if (e.type == 2)
            r.audio.add(e.hasAudio ? e.channels : std::nullopt,
                        languageOf(e.bcp47 ? *e.bcp47 : e.language));
        if (e.type != 1 || r.video)
            continue;
        if (e.track.width == 0 || e.track.height == 0)
            return failed(kNoSize);
        if (e.track.width > UINT32_MAX || e.track.height > UINT32_MAX)
            return failed(kDamaged);
        r.video = e.track;
    }
    if (!children.error().empty() && !r.video)
        return failed(children.error());
    r.sawAll = children.error().empty();
    if (!r.video)
        r.error = kNoVideo;
    return r;
}

std::optional<Fraction> pixelShape(const VideoTrack& t) {
    if (!t.displayWidth && !t.displayHeight)
        return std::nullopt;
    // Units 0 to 2 (pixels, centimetres, inches) measure both sides alike,
    // and 3 gives the ratio itself: in each the ratio is the picture's shape.
    if (t.displayUnit > 3)
        return std::nullopt;
    if (t.cropLeft >= t.width || t.cropRight >= t.width - t.cropLeft || t.cropTop >= t.height ||
        t.cropBottom >= t.height - t.cropTop)
        return std::nullopt;
    const std::uint64_t width = t.width - t.cropLeft - t.cropRight;
    const std::uint64_t height = t.height - t.cropTop - t.cropBottom;
    const std::uint64_t displayWidth = t.displayWidth.value_or(width);
    const std::uint64_t displayHeight = t.displayHeight.value_or(height);
    // Sides are at most 32 bits, so the products fit.
    if (displayWidth > UINT32_MAX || displayHeight > UINT32_MAX)
        return std::nullopt;
    return ratio(displayWidth * height, displayHeight * width);
}

std::optional<Crop> crop(const VideoTrack& t) {
    if (!t.cropGiven || t.cropLeft >= t.width || t.cropRight >= t.width - t.cropLeft ||
        t.cropTop >= t.height || t.cropBottom >= t.height - t.cropTop)
        return std::nullopt;
    // Each is below its side, which fits 32 bits.
    return Crop{static_cast<std::uint32_t>(t.cropLeft), static_cast<std::uint32_t>(t.cropTop),
                static_cast<std::uint32_t>(t.cropRight), static_cast<std::uint32_t>(t.cropBottom)};
}

void interlacing(const VideoTrack& t, std::optional<Scan>& scan, std::optional<FieldOrder>& order) {
    scan.reset();
    order.reset();
    if (t.flagInterlaced == 2u)
        scan = Scan::Progressive;
    else if (t.flagInterlaced == 1u)
        scan = Scan::Interlaced;
    if (t.flagInterlaced == 2u)
        return;
    // 1 and 6 store and show that field first; 9 and 14 store the top field
    // first and show the other one first. mkvmerge's --field-order writes
    // FieldOrder alone, leaving FlagInterlaced undetermined: an order stated
    // says the track is interlaced.
    if (t.fieldOrder == 1u || t.fieldOrder == 14u)
        order = FieldOrder::TopFirst;
    else if (t.fieldOrder == 6u || t.fieldOrder == 9u)
        order = FieldOrder::BottomFirst;
    if (order)
        scan = Scan::Interlaced;
}

Info parseInfo(Bytes body, int& elements) {
    Info info;
    Children children(body, elements);
    while (const auto c = children.next()) {
        if (c->header.id == kIdTimestampScale && c->body.size() <= 8) {
            if (!c->body.empty())
                info.timestampScale = readUint(c->body);
        } else if (c->header.id == kIdDuration && c->body.size() == 4) {
            info.duration = std::bit_cast<float>(static_cast<std::uint32_t>(readUint(c->body)));
        } else if (c->header.id == kIdDuration && c->body.size() == 8) {
            info.duration = std::bit_cast<double>(readUint(c->body));
        }
    }
    if (!children.error().empty())
        return {};
    return info;
}

std::vector<std::uint64_t> parseChapters(Bytes body, int& elements) {
    // The default edition, else the first.
    std::optional<Bytes> edition;
    bool chosenDefault = false, chosenOrdered = false;
    Children editions(body, elements);
    while (const auto e = editions.next()) {
        if (e->header.id != kIdEditionEntry)
            continue;
        std::uint64_t isDefault = 0, ordered = 0;
        bool ok = true;
        Children fields(e->body, elements);
        while (const auto f = fields.next()) {
            if (f->header.id == kIdEditionFlagDefault)
                ok = setUint(*f, isDefault) && ok;
            else if (f->header.id == kIdEditionFlagOrdered)
                ok = setUint(*f, ordered) && ok;
        }
        if (!ok || !fields.error().empty())
            return {};
        if (!edition || (isDefault == 1 && !chosenDefault)) {
            edition = e->body;
            chosenDefault = isDefault == 1;
            chosenOrdered = ordered != 0;
        }
    }
    if (!editions.error().empty() || !edition || chosenOrdered)
        return {};
    std::vector<std::uint64_t> ms;
    Children atoms(*edition, elements);
    while (const auto a = atoms.next()) {
        if (a->header.id != kIdChapterAtom)
            continue;
        std::optional<std::uint64_t> start;
        std::uint64_t hidden = 0, enabled = 1;
        bool ok = true;
        Children fields(a->body, elements);
        while (const auto f = fields.next()) {
            if (f->header.id == kIdChapterTimeStart)
                ok = setUint(*f, start) && ok;
            else if (f->header.id == kIdChapterFlagHidden)
                ok = setUint(*f, hidden) && ok;
            else if (f->header.id == kIdChapterFlagEnabled)
                ok = setUint(*f, enabled) && ok;
        }
        if (!ok || !fields.error().empty())
            return {};
        // Nanoseconds, whatever the TimestampScale.
        if (start && hidden == 0 && enabled != 0 && ms.size() < kMaxChapters)
            ms.push_back(*start / 1'000'000 + (*start % 1'000'000 >= 500'000));
    }
    if (!atoms.error().empty())
        return {};
    return chapterMarks(std::move(ms));
}

std::optional<std::uint64_t> durationMs(const Info& info) {
    if (!info.duration || !(*info.duration > 0) || !std::isfinite(*info.duration) ||
        info.timestampScale == 0)
        return std::nullopt;
    // Units of timestampScale nanoseconds; a million of them make a millisecond.
    const double ms = *info.duration * static_cast<double>(info.timestampScale) / 1e6;
    if (!(ms <= static_cast<double>(kMaxDurationMs)))
        return std::nullopt;
    return plausibleDuration(static_cast<std::uint64_t>(std::llround(ms)));
}

std::optional<Fraction> frameRate(std::uint64_t defaultDuration) {
    if (defaultDuration == 0)
        return std::nullopt;
    constexpr std::uint64_t kSecond = 1'000'000'000;
    // The duration is whole nanoseconds, so a rate whose period is not whole
    // was stored within a nanosecond of it (truncated or rounded): a whole or
    // NTSC rate that close is the one meant.
    static constexpr std::array<std::uint64_t, 8> kNtsc = {12, 15, 24, 30, 48, 60, 120, 240};
    auto near = [&](std::uint64_t num, std::uint64_t den) {
        // |duration - kSecond * den / num| < 1
        const std::uint64_t exact = kSecond * den;
        const std::uint64_t scaled = defaultDuration * num;
        return (scaled > exact ? scaled - exact : exact - scaled) < num;
    };
    if (defaultDuration >= kSecond / 1000 && defaultDuration <= kSecond) {
        const std::uint64_t whole = (kSecond + defaultDuration / 2) / defaultDuration;
        if (whole != 0 && near(whole, 1))
            return ratio(whole, 1);
        for (const std::uint64_t k : kNtsc)
            if (near(k * 1000, 1001))
                return ratio(k * 1000, 1001);
    }
    return ratio(kSecond, defaultDuration);
}

} // namespace quorvel::media::matroska

namespace quorvel::media {

ProbeResult readMatroska(Bytes prefix, io::ByteSource& source) {
    return matroska::Reader(prefix, source).run();
}

} // namespace quorvel::media
