#pragma once

// From the source's rate, scan and pulldown to the disc's rate and fields: the
// ffmpeg filters that do it, in order, and what the stream then is. Where the
// speed changes, the audio's tempo changes with it; where a standards
// conversion drops or repeats pictures, the plan says so in one line.

#include "disc/disc.h"
#include "source/media/mpeg_flags.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::disc {

struct SourceTiming {
    std::optional<Fraction> rate; // frames per second; none: unknown
    bool variableRate = false;    // rate is then the average
    std::optional<media::Scan> scan;
    std::optional<media::FieldOrder> fieldOrder;
    bool pulldown = false;            // a 30000/1001 stream whose flags repeat fields of film
    std::optional<Fraction> filmRate; // the film's rate under the pulldown
};

SourceTiming timingOf(const media::VideoInfo& video);

// The source's sound, as its reader found it.
struct SourceAudio {
    std::optional<bool> present;           // none: unknown
    std::optional<std::uint32_t> channels; // the most of any track
    std::optional<std::string> language;   // of that track, as media::languageOf gives it
};

SourceAudio audioOf(const media::VideoInfo& video);

// The source's kind, by its rate (nearest of the disc world's rates, within
// half their smallest gap) and scan.
enum class Row {
    Film,     // 24000/1001 or 24
    Pulldown, // film carried at 30000/1001 by repeated fields
    P25,
    I25,
    I30, // 30000/1001 or 30, interlaced
    P30, // 30000/1001 or 30, progressive
    P50,
    P60, // 60000/1001 or 60
    Unknown,
    Other, // a known rate that is none of the above
};
const char* rowName(Row row);

struct RatePlan {
    Row row = Row::Unknown;
    std::optional<Fraction> sourceRate; // the standard rate the source was matched to
    // The filters between the crop and the scale, in order.
    std::vector<std::string> steps;
    // The filters after the scale that make fields of progressive frames
    // (telecine, weave), in order: the scale sees whole frames, not fields.
    std::vector<std::string> afterScale;
    Fraction outputRate{25, 1}; // the disc's rate
    // The encoded stream's flags are rewritten before it is multiplexed: soft
    // pulldown (film coded at 24000/1001, shown at outputRate), or a DVD's
    // progressive_sequence 0 for progressive frames. None: as encoded.
    std::optional<media::mpeg::FlagMode> flags;
    // The stream is interlaced: the encoder codes fields in this order.
    bool interlaced = false;
    media::FieldOrder fieldOrder = media::FieldOrder::TopFirst;
    // The source's own fields are kept: they reach the scale, which then works
    // on fields, and a crop must keep their parity.
    bool keepsFields = false;
    // The output runs the input's duration / speed; the audio's tempo is then
    // `speed` (ffmpeg's atempo). 1/1 when the speed is kept.
    Fraction speed{1, 1};
    std::string note;    // a standards conversion, a loss of motion, the sound's downmix: one line
    std::string warning; // what was assumed or is unknown
    bool changesSpeed() const { return speed.num != speed.den; }
    bool softPulldown() const { return flags == media::mpeg::FlagMode::SoftPulldown; }
    // ffmpeg's -r: the film's own rate under soft pulldown.
    Fraction codedRate() const { return softPulldown() ? Fraction{24000, 1001} : outputRate; }
};

// The note ends with what becomes of the sound: silence added to a source
// without any, or a DVD's mix-down to stereo unless the source has at most
// two channels.
RatePlan planRate(const SourceTiming& source, Format format, Standard standard,
                  const SourceAudio& audio = {});

// "25", "30000/1001": a rate as ffmpeg takes it.
std::string rateText(Fraction rate);

} // namespace quorvel::disc
