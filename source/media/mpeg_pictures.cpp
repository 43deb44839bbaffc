#include "source/media/mpeg.h"

#include "source/media/bit_reader.h"

#include <algorithm>
#include <cstring>

namespace quorvel::media::mpeg {

namespace {

// A picture coding extension as far as progressive_frame: 37 bits.
constexpr std::size_t kPictureExtensionBody = 5;
// Time codes count at most 23:59:59 and, in six bits, 63 pictures.
constexpr std::uint64_t kMaxTimeCodeRate = 64;

} // namespace

std::optional<std::size_t> nextStartCode(Bytes b, std::size_t from) {
    if (b.size() < 4 || from > b.size() - 4)
        return std::nullopt;
    // The 1 of the prefix, at from + 2 up to the last byte but one, found by
    // memchr; then the two zeros before it.
    const std::uint8_t* const begin = b.data();
    const std::uint8_t* const end = begin + b.size() - 1;
    for (const std::uint8_t* p = begin + from + 2; p < end; ++p) {
        p = static_cast<const std::uint8_t*>(std::memchr(p, 1, static_cast<std::size_t>(end - p)));
        if (!p)
            return std::nullopt;
        if (p[-1] == 0 && p[-2] == 0)
            return static_cast<std::size_t>(p - 2 - begin);
    }
    return std::nullopt;
}

void scanPictures(Bytes es, std::size_t from, bool mpeg2, PictureSink& sink) {
    int gop = -1;
    std::size_t i = from;
    while (const auto at = nextStartCode(es, i)) {
        i = *at + 4;
        const std::uint8_t code = es[*at + 3];
        if (code == kGop) {
            if (!fitsIn(i, kGopBody, es.size()))
                return;
            BitReader r(es.subspan(i, kGopBody));
            TimeCode t;
            t.dropFrame = r.flag();
            t.hours = r.bits(5);
            t.minutes = r.bits(6);
            r.skipBits(1); // marker
            t.seconds = r.bits(6);
            t.pictures = r.bits(6);
            ++gop;
            if (!sink.gop(*at, t))
                return;
            continue;
        }
        if (code != kPicture)
            continue;
        if (!fitsIn(i, kPictureBody, es.size()))
            return;
        Picture p;
        p.at = *at;
        p.gop = gop;
        p.temporalReference = static_cast<std::uint32_t>(es[i] << 2 | es[i + 1] >> 6);
        if (mpeg2) {
            // The picture coding extension is the next start code.
            const auto ext = nextStartCode(es, i);
            if (!ext)
                return;
            const std::size_t body = *ext + 4;
            if (es[*ext + 3] == kExtension) {
                if (!fitsIn(body, kPictureExtensionBody, es.size()))
                    return;
                BitReader r(es.subspan(body, kPictureExtensionBody));
                if (r.bits(4) == kPictureCodingExtensionId) {
                    r.skipBits(16 + 2); // f_codes, intra_dc_precision
                    p.extension = true;
                    p.structure = r.bits(2);
                    p.topFieldFirst = r.flag();
                    r.skipBits(5); // frame_pred_frame_dct to alternate_scan
                    p.repeatFirstField = r.flag();
                    r.skipBits(1); // chroma_420_type
                    p.progressiveFrame = r.flag();
                }
            }
        } else {
            p.extension = true; // MPEG-1: a progressive frame needs none
        }
        if (!sink.picture(p))
            return;
    }
}

std::optional<std::uint64_t> timeCodeFrames(const TimeCode& t, Fraction rate) {
    if (rate.num <= 0 || rate.den <= 0)
        return std::nullopt;
    const auto num = static_cast<std::uint64_t>(rate.num);
    const auto den = static_cast<std::uint64_t>(rate.den);
    const std::uint64_t nominal = (num + den - 1) / den;
    if (nominal == 0 || nominal > kMaxTimeCodeRate || t.hours > 23 || t.minutes > 59 ||
        t.seconds > 59 || t.pictures >= nominal)
        return std::nullopt;
    const std::uint64_t minutes = std::uint64_t{t.hours} * 60 + t.minutes;
    std::uint64_t frames = (minutes * 60 + t.seconds) * nominal + t.pictures;
    // Dropped-frame counting skips the first numbers of each minute but every
    // tenth: two at 30000/1001, four at 60000/1001.
    if (t.dropFrame && den == 1001 && (nominal == 30 || nominal == 60)) {
        const std::uint64_t skipped = nominal / 15 * (minutes - minutes / 10);
        frames = frames >= skipped ? frames - skipped : 0;
    }
    return frames;
}

std::optional<std::uint64_t> clockSpan(std::uint64_t from, std::uint64_t to) {
    const std::uint64_t span = (to - from) & (kClockRange - 1);
    if (span > kClockRange / 2)
        return std::nullopt;
    return span;
}

bool bytesFitTime(std::uint64_t bytes, std::uint64_t ms, std::uint64_t statedBitsPerSecond) {
    std::uint64_t rate = kMaxBitsPerSecond;
    if (statedBitsPerSecond != 0 && statedBitsPerSecond < rate)
        rate = std::min(rate, statedBitsPerSecond + statedBitsPerSecond / 8);
    // At most 10^8 bits a second over at most a day and a second: no overflow.
    const std::uint64_t time = std::min(ms, kMaxDurationMs) + kRateSlackMs;
    return bytes <= rate * time / 8000;
}

std::vector<Picture> displayOrder(std::span<const Picture> coded) {
    std::vector<Picture> out;
    std::size_t i = 0;
    while (i < coded.size()) {
        std::size_t end = i;
        while (end < coded.size() && coded[end].gop == coded[i].gop)
            ++end;
        const std::span<const Picture> group = coded.subspan(i, end - i);
        // The references 0, 1, 2... that the group holds, each once.
        std::vector<const Picture*> byReference(group.size(), nullptr);
        bool repeated = false;
        for (const Picture& p : group)
            if (p.temporalReference < group.size()) {
                repeated = repeated || byReference[p.temporalReference] != nullptr;
                byReference[p.temporalReference] = &p;
            }
        for (const Picture* p : byReference) {
            if (!p || repeated)
                return out;
            out.push_back(*p);
        }
        i = end;
    }
    return out;
}

std::vector<Picture> displayOrderFromCut(std::span<const Picture> coded) {
    std::size_t cut = 0;
    while (cut < coded.size() && coded[cut].gop < 0)
        ++cut;
    std::vector<Picture> out(coded.begin(), coded.begin() + static_cast<std::ptrdiff_t>(cut));
    std::sort(out.begin(), out.end(), [](const Picture& a, const Picture& b) {
        return a.temporalReference < b.temporalReference;
    });
    std::size_t run = out.size();
    while (run > 1 && out[run - 2].temporalReference + 1 == out[run - 1].temporalReference)
        --run;
    if (run > 1)
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(run - 1));
    const std::vector<Picture> whole = displayOrder(coded.subspan(cut));
    out.insert(out.end(), whole.begin(), whole.end());
    return out;
}

// 2:3 pulldown shows four film frames as ten fields: every frame picture is
// progressive and shows two fields or, with repeat_first_field, three. So in
// display order repeat_first_field alternates, and the fields alternate top
// and bottom without a break, so that each frame starts with the field the
// last one did not end with: its top_field_first is the last one's
// top_field_first XOR repeat_first_field. Together that is the cycle
// (top_field_first, repeat_first_field) = (1,1) (0,0) (0,1) (1,0), met at any
// point of it.
std::optional<bool> filmCadence(std::span<const Picture> display) {
    const std::size_t n = std::min(display.size(), kPulldownPictures);
    for (std::size_t i = 0; i < n; ++i) {
        const Picture& p = display[i];
        if (!p.extension)
            return std::nullopt;
        if (p.structure != kFramePicture || !p.progressiveFrame)
            return false;
        if (i == 0)
            continue;
        const Picture& last = display[i - 1];
        if (p.repeatFirstField == last.repeatFirstField ||
            p.topFieldFirst != (last.topFieldFirst != last.repeatFirstField))
            return false;
    }
    if (n < kPulldownPictures)
        return std::nullopt;
    return true;
}

} // namespace quorvel::media::mpeg
