#include "source/media/mpeg_flags.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace quorvel::media::mpeg {

namespace {

constexpr std::uint8_t kLastSlice = 0xAF;
constexpr std::uint8_t kSequenceEnd = 0xB7;
// Extension ids besides mpeg.h's.
constexpr std::uint8_t kQuantMatrixExtension = 3;
constexpr std::uint8_t kCopyrightExtension = 4;
// Header bodies as far as the fields read: the sequence header to
// frame_rate_code, the sequence extension to frame_rate_extension_d, the
// picture coding extension to progressive_frame (the GOP and picture
// headers' are mpeg.h's).
constexpr std::size_t kSequenceBody = 4;
constexpr std::size_t kSequenceExtensionBody = 6;
constexpr std::size_t kPictureCodingBody = 5;
static_assert(kMaxFlagHeaderBytes == 4 + kSequenceExtensionBody);

constexpr std::uint32_t kFilmRateCode = 1;          // 24000/1001
constexpr std::uint32_t kNtscRateCode = 4;          // 30000/1001
constexpr std::uint8_t kProgressiveSequence = 0x08; // in the extension's second byte
constexpr std::uint8_t kTopFieldFirst = 0x80;       // in the coding extension's fourth
constexpr std::uint8_t kRepeatFirstField = 0x02;
constexpr std::uint64_t kCycle = 4;
constexpr std::array<FieldFlags, kCycle> kCycleFlags{
    {{true, true}, {false, false}, {false, true}, {true, false}}};
constexpr std::array<std::uint64_t, kCycle> kCycleFields{0, 3, 5, 8}; // before each frame
constexpr std::uint64_t kFieldsPerCycle = 10;
constexpr std::uint64_t kTimeCodeDay = 24ull * 3600 * 30;

std::string at(std::uint64_t offset) {
    return " (at byte " + std::to_string(offset) + ")";
}

// What the stream holds is read, checked and, when writing, changed here, one
// header at a time; the drivers hand it windows of the stream.
class Rewriter {
public:
    Rewriter(FlagMode mode, bool write) : mode_(mode), write_(write) {}

    bool failed() const { return !result_.error.empty(); }
    const FlagResult& result() const { return result_; }

    // Reads (and, writing, rewrites) the headers that start in `w`, the
    // stream's bytes from `offset`; gives how many bytes from its front are
    // settled. The rest must come again at the front of the next window; with
    // `last`, the stream ends with this one.
    std::size_t step(std::span<std::uint8_t> w, std::uint64_t offset, bool last) {
        std::size_t i = 0;
        while (!failed()) {
            const auto start = nextStartCode(w, i);
            if (!start)
                break;
            const std::uint8_t code = w[*start + 3];
            const std::span<std::uint8_t> rest = w.subspan(*start + 4);
            const std::size_t need = bodyNeeded(code, rest);
            if (need > rest.size()) {
                if (!last)
                    return *start;
                refuse("The stream ends inside a header" + at(offset + *start) + ".");
                break;
            }
            header(code, rest.first(need), offset + *start);
            i = *start + 4 + need;
        }
        if (last && !failed()) {
            finish(offset + w.size());
            return w.size();
        }
        // The last three bytes may begin a start code whose code comes next.
        return std::max(i, w.size() >= 3 ? w.size() - 3 : 0);
    }

private:
    enum class Expect { Sequence, SequenceExtension, PictureExtension, Any };

    static std::size_t bodyNeeded(std::uint8_t code, std::span<const std::uint8_t> rest) {
        switch (code) {
        case kSequenceHeader:
            return kSequenceBody;
        case kGop:
            return kGopBody;
        case kPicture:
            return kPictureBody;
        case kExtension:
            if (rest.empty())
                return 1;
            if (rest[0] >> 4 == kSequenceExtensionId)
                return kSequenceExtensionBody;
            return rest[0] >> 4 == kPictureCodingExtensionId ? kPictureCodingBody : 1;
        default:
            return 0;
        }
    }

    // Nothing is written then, so nothing changes.
    void refuse(std::string why) {
        if (failed())
            return;
        result_.error = std::move(why);
        result_.changedBytes = 0;
    }

    // Sets the bits of `mask` in `b` to those of `value`, counting a change.
    void set(std::uint8_t& b, std::uint8_t mask, std::uint8_t value) {
        const auto next = static_cast<std::uint8_t>((b & ~mask) | (value & mask));
        if (next == b || failed())
            return;
        ++result_.changedBytes;
        if (write_)
            b = next;
    }

    void header(std::uint8_t code, std::span<std::uint8_t> body, std::uint64_t offset) {
        const std::uint8_t id = code == kExtension ? body[0] >> 4 : 0;
        if (expect_ == Expect::Sequence && code != kSequenceHeader)
            return refuse("The stream does not begin with a sequence header" + at(offset) + ".");
        if (expect_ == Expect::SequenceExtension && id != kSequenceExtensionId)
            return refuse("A sequence header has no sequence extension: MPEG-1 video, which "
                          "has no such flags" +
                          at(offset) + ".");
        if (expect_ == Expect::PictureExtension && id != kPictureCodingExtensionId)
            return refuse("A picture has no picture coding extension" + at(offset) + ".");
        expect_ = Expect::Any;
        if (code == kSequenceHeader)
            return sequenceHeader(body, offset);
        if (code == kGop)
            return gop(body, offset);
        if (code == kPicture)
            return picture(body, offset);
        if (code == kExtension)
            return extension(id, body, offset);
        if (code > kLastSlice && code != kUserData && code != kSequenceEnd) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02X", code);
            refuse(std::string("Start code 0x") + hex +
                   " is not one of an MPEG-2 video elementary stream" + at(offset) + ".");
        }
    }

    void sequenceHeader(std::span<std::uint8_t> body, std::uint64_t offset) {
        const std::uint32_t rate = body[3] & 0x0F;
        if (result_.sequenceHeaders++ == 0) {
            rate_ = rate;
            if (mode_ == FlagMode::SoftPulldown && rate != kFilmRateCode && rate != kNtscRateCode)
                return refuse("Soft pulldown takes film at 24000/1001 only, not frame rate code " +
                              std::to_string(rate) + at(offset) + ".");
        } else if (rate != rate_) {
            return refuse("The frame rate changes within the stream" + at(offset) + ".");
        }
        if (mode_ == FlagMode::SoftPulldown && rate == kFilmRateCode)
            set(body[3], 0x0F, kNtscRateCode);
        expect_ = Expect::SequenceExtension;
    }

    void extension(std::uint8_t id, std::span<std::uint8_t> body, std::uint64_t offset) {
        if (id == kSequenceExtensionId)
            return sequenceExtension(body, offset);
        if (id == kPictureCodingExtensionId)
            return pictureExtension(body, offset);
        // Others (picture display, scalability) hold counts that follow the flags.
        if (id != kDisplayExtensionId && id != kQuantMatrixExtension && id != kCopyrightExtension)
            refuse("Extension " + std::to_string(id) + " would no longer match the new flags" +
                   at(offset) + ".");
    }

    void sequenceExtension(std::span<std::uint8_t> body, std::uint64_t offset) {
        progressiveSequence_ = (body[1] & kProgressiveSequence) != 0;
        if (mode_ == FlagMode::SoftPulldown) {
            if (body[5] & 0x7F)
                return refuse("The frame rate has an extension, so it is not 24000/1001" +
                              at(offset) + ".");
            if (rate_ == kNtscRateCode && progressiveSequence_)
                return refuse("The stream is at 30000/1001 without soft pulldown" + at(offset) +
                              ".");
            if (rate_ == kNtscRateCode)
                return;
        }
        set(body[1], kProgressiveSequence, 0);
    }

    void gop(std::span<std::uint8_t> body, std::uint64_t offset) {
        if (mode_ == FlagMode::SoftPulldown) {
            endGop(offset);
            if (rate_ == kFilmRateCode)
                writeTimeCode(body);
        }
        ++result_.gops;
    }

    void picture(std::span<std::uint8_t> body, std::uint64_t offset) {
        ++result_.pictures;
        expect_ = Expect::PictureExtension;
        if (mode_ != FlagMode::SoftPulldown)
            return;
        const std::uint32_t reference = static_cast<std::uint32_t>(body[0] << 2 | body[1] >> 6);
        if (result_.gops == 0)
            return refuse("A picture comes before the first GOP header" + at(offset) + ".");
        if (gopPictures_ >= kMaxGopPictures || reference >= kMaxGopPictures)
            return refuse("A GOP holds more than " + std::to_string(kMaxGopPictures) + " pictures" +
                          at(offset) + ".");
        if (seen_[reference])
            return refuse("A temporal reference repeats within a GOP" + at(offset) + ".");
        seen_[reference] = true;
        ++gopPictures_;
        display_ = gopStart_ + reference;
    }

    void pictureExtension(std::span<std::uint8_t> body, std::uint64_t offset) {
        const bool frame = (body[2] & 3) == kFramePicture;
        const FieldFlags flags{(body[3] & kTopFieldFirst) != 0, (body[3] & kRepeatFirstField) != 0};
        const bool progressiveFrame = (body[4] & 0x80) != 0;
        if (mode_ == FlagMode::ProgressiveOnly) {
            // In a progressive sequence repeat_first_field repeats frames; in
            // the new one it would repeat a field.
            if (progressiveSequence_ && (!frame || !progressiveFrame || flags.repeatFirstField))
                refuse("A picture repeats itself or is not a progressive frame" + at(offset) + ".");
            return;
        }
        if (!frame)
            return refuse("Field pictures cannot carry pulldown" + at(offset) + ".");
        if (!progressiveFrame)
            return refuse("An interlaced frame cannot carry pulldown" + at(offset) + ".");
        if (rate_ == kNtscRateCode) {
            // Already soft pulldown: the cycle must hold throughout, from any phase.
            const auto index = static_cast<std::uint64_t>(
                std::find(kCycleFlags.begin(), kCycleFlags.end(), flags) - kCycleFlags.begin());
            if (result_.pictures == 1)
                phase_ = (index + kCycle - display_ % kCycle) % kCycle;
            if (index == kCycle || pulldownFlags(display_ + phase_) != flags)
                refuse("The stream is at 30000/1001 but breaks the 2:3 cadence" + at(offset) + ".");
            return;
        }
        if (flags.repeatFirstField)
            return refuse("A picture already repeats a field" + at(offset) + ".");
        const FieldFlags next = pulldownFlags(display_);
        set(body[3], kTopFieldFirst | kRepeatFirstField,
            static_cast<std::uint8_t>((next.topFieldFirst ? kTopFieldFirst : 0) |
                                      (next.repeatFirstField ? kRepeatFirstField : 0)));
    }

    // The GOP read so far holds each temporal reference from 0 up once.
    void endGop(std::uint64_t offset) {
        for (std::size_t r = 0; r < gopPictures_; ++r)
            if (!seen_[r])
                return refuse("A GOP lacks a temporal reference" + at(offset) + ".");
        const std::uint64_t fields =
            pulldownFields(gopStart_ + gopPictures_ + phase_) - pulldownFields(gopStart_ + phase_);
        if (rate_ == kFilmRateCode && fields > kMaxGopFields)
            return refuse("A GOP of " + std::to_string(gopPictures_) + " pictures shows " +
                          std::to_string(fields) + " fields, more than the " +
                          std::to_string(kMaxGopFields) + " a DVD allows: encode with -g 14" +
                          at(offset) + ".");
        result_.fields += fields;
        gopStart_ += gopPictures_;
        gopPictures_ = 0;
        seen_.reset();
    }

    void writeTimeCode(std::span<std::uint8_t> body) {
        const TimeCode t = readTimeCode(body);
        if (result_.gops == 0)
            firstTimeCode_ = t;
        const TimeCode n = pulldownTimeCode(firstTimeCode_, pulldownFields(gopStart_));
        // drop_frame_flag, hours, minutes, the marker kept, seconds, pictures.
        set(body[0], 0xFF, static_cast<std::uint8_t>(n.hours << 2 | n.minutes >> 4));
        set(body[1], 0xF7, static_cast<std::uint8_t>(n.minutes << 4 | n.seconds >> 3));
        set(body[2], 0xFF, static_cast<std::uint8_t>(n.seconds << 5 | n.pictures >> 1));
        set(body[3], 0x80, static_cast<std::uint8_t>(n.pictures << 7));
    }

    static TimeCode readTimeCode(std::span<const std::uint8_t> body) {
        TimeCode t;
        t.dropFrame = (body[0] & 0x80) != 0;
        t.hours = body[0] >> 2 & 0x1F;
        t.minutes = static_cast<std::uint32_t>((body[0] & 3) << 4 | body[1] >> 4);
        t.seconds = static_cast<std::uint32_t>((body[1] & 7) << 3 | body[2] >> 5);
        t.pictures = static_cast<std::uint32_t>((body[2] & 0x1F) << 1 | body[3] >> 7);
        return t;
    }

    void finish(std::uint64_t offset) {
        if (expect_ == Expect::SequenceExtension || expect_ == Expect::PictureExtension)
            refuse("The stream ends inside a header" + at(offset) + ".");
        if (result_.pictures == 0)
            refuse("The stream holds no pictures.");
        if (mode_ == FlagMode::SoftPulldown)
            endGop(offset);
        if (failed())
            return;
        result_.outcome =
            result_.changedBytes == 0 ? FlagOutcome::AlreadyDone : FlagOutcome::Rewritten;
    }

    FlagMode mode_;
    bool write_;
    FlagResult result_;
    Expect expect_ = Expect::Sequence;
    std::uint32_t rate_ = 0;
    bool progressiveSequence_ = false;
    // Soft pulldown: pictures in the GOPs before this one, and in this one.
    std::uint64_t gopStart_ = 0, display_ = 0, phase_ = 0;
    std::size_t gopPictures_ = 0;
    std::bitset<kMaxGopPictures> seen_;
    TimeCode firstTimeCode_;
};

FlagResult refused(std::string why) {
    FlagResult r;
    r.error = std::move(why);
    return r;
}

// Writes over the bytes of `now` that differ from `before`, at `offset` on.
bool writeChanges(std::fstream& f, std::uint64_t offset, std::span<const std::uint8_t> before,
                  std::span<const std::uint8_t> now) {
    std::size_t i = 0;
    while (i < now.size()) {
        if (now[i] == before[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < now.size() && now[end] != before[end])
            ++end;
        f.seekp(static_cast<std::streamoff>(offset + i));
        f.write(reinterpret_cast<const char*>(now.data() + i),
                static_cast<std::streamsize>(end - i));
        if (!f)
            return false;
        i = end;
    }
    return true;
}

// One pass of `r` over the file; writes when `before` is given. Empty, or
// why the file could not be read or written.
std::string pass(std::fstream& f, Rewriter& r, std::vector<std::uint8_t>* before) {
    std::vector<std::uint8_t> window(kFlagChunkBytes + kMaxFlagHeaderBytes);
    std::size_t held = 0;
    std::uint64_t offset = 0;
    for (;;) {
        f.clear();
        f.seekg(static_cast<std::streamoff>(offset + held));
        f.read(reinterpret_cast<char*>(window.data() + held), kFlagChunkBytes);
        const auto got = static_cast<std::size_t>(f.gcount());
        if (f.bad())
            return "The file could not be read.";
        f.clear();
        held += got;
        const bool last = got < kFlagChunkBytes;
        const std::span<std::uint8_t> w(window.data(), held);
        if (before)
            before->assign(w.begin(), w.end());
        const std::size_t settled = r.step(w, offset, last);
        if (r.failed())
            return {};
        if (before && !writeChanges(f, offset, std::span(*before).first(settled), w.first(settled)))
            return "The file could not be written.";
        if (last)
            return {};
        if (held - settled > kMaxFlagHeaderBytes)
            return "A header was carried past its bound."; // cannot happen: step settles all but it
        std::memmove(window.data(), window.data() + settled, held - settled);
        held -= settled;
        offset += settled;
    }
}

} // namespace

FieldFlags pulldownFlags(std::uint64_t displayIndex) {
    return kCycleFlags[displayIndex % kCycle];
}

std::uint64_t pulldownFields(std::uint64_t frames) {
    return frames / kCycle * kFieldsPerCycle + kCycleFields[frames % kCycle];
}

TimeCode pulldownTimeCode(const TimeCode& first, std::uint64_t fieldsBefore) {
    TimeCode film = first;
    film.dropFrame = false;
    const std::uint64_t start = timeCodeFrames(film, {24000, 1001}).value_or(0) * 5 / 4;
    const std::uint64_t frames = (start + fieldsBefore / 2) % kTimeCodeDay;
    TimeCode t;
    t.pictures = static_cast<std::uint32_t>(frames % 30);
    t.seconds = static_cast<std::uint32_t>(frames / 30 % 60);
    t.minutes = static_cast<std::uint32_t>(frames / 1800 % 60);
    t.hours = static_cast<std::uint32_t>(frames / 108000);
    return t;
}

std::string FlagResult::summary(FlagMode mode) const {
    const std::string counts =
        std::to_string(pictures) + " pictures in " + std::to_string(gops) + " GOPs";
    switch (outcome) {
    case FlagOutcome::Refused:
        return error;
    case FlagOutcome::AlreadyDone:
        return mode == FlagMode::SoftPulldown
                   ? "Already soft pulldown at 30000/1001: " + counts + " left as they were."
                   : "progressive_sequence is already 0: " + counts + " left as they were.";
    case FlagOutcome::Rewritten:
        break;
    }
    return mode == FlagMode::SoftPulldown
               ? "Soft pulldown: " + counts + " at 24000/1001 now show " + std::to_string(fields) +
                     " fields at 30000/1001."
               : "progressive_sequence set to 0 in " + std::to_string(sequenceHeaders) +
                     " sequence headers (" + counts + ").";
}

FlagResult rewriteFlags(std::span<std::uint8_t> es, FlagMode mode, std::size_t chunk) {
    chunk = std::max<std::size_t>(chunk, 1);
    const auto run = [&](Rewriter& r) {
        std::size_t pos = 0, end = 0;
        for (;;) {
            end += std::min(chunk, es.size() - end);
            const bool last = end == es.size();
            const std::size_t settled = r.step(es.subspan(pos, end - pos), pos, last);
            if (r.failed() || last)
                return;
            pos += settled;
        }
    };
    Rewriter check(mode, false);
    run(check);
    if (check.result().outcome != FlagOutcome::Rewritten)
        return check.result();
    Rewriter write(mode, true);
    run(write);
    return write.result();
}

std::string endSequence(const std::filesystem::path& path) {
    constexpr char kEnd[4] = {0, 0, 1, static_cast<char>(kSequenceEnd)};
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::ate);
    if (!f)
        return "The file could not be opened for reading and writing.";
    char last[4] = {};
    if (f.tellg() >= 4) {
        f.seekg(-4, std::ios::end);
        f.read(last, 4);
        if (f && std::equal(std::begin(last), std::end(last), kEnd))
            return {};
    }
    f.clear();
    f.seekp(0, std::ios::end);
    f.write(kEnd, 4);
    f.flush();
    return f ? std::string() : "The stream's end could not be written.";
}

FlagResult rewriteFlagsInFile(const std::filesystem::path& path, FlagMode mode) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!f)
        return refused("The file could not be opened for reading and writing.");
    Rewriter check(mode, false);
    if (std::string error = pass(f, check, nullptr); !error.empty())
        return refused(std::move(error));
    if (check.result().outcome != FlagOutcome::Rewritten)
        return check.result();
    Rewriter write(mode, true);
    std::vector<std::uint8_t> before;
    if (std::string error = pass(f, write, &before); !error.empty())
        return refused(std::move(error) + " It may be partly rewritten.");
    if (!(write.result() == check.result()))
        return refused("The file changed while it was rewritten.");
    f.flush();
    if (!f)
        return refused("The file could not be written. It may be partly rewritten.");
    return write.result();
}

} // namespace quorvel::media::mpeg
