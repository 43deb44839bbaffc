#include "disc/rate_plan.h"

#include <cmath>

namespace quorvel::disc {

namespace {

using media::FieldOrder;
using media::Scan;

constexpr Fraction kFilm{24000, 1001};
constexpr Fraction kFilm24{24, 1};
constexpr Fraction kPal{25, 1};
constexpr Fraction kNtsc{30000, 1001};
constexpr Fraction kNtsc30{30, 1};
constexpr Fraction kPal50{50, 1};
constexpr Fraction kNtsc60{60000, 1001};
constexpr Fraction kNtsc60Whole{60, 1};

// The rates the table knows. 24 and 24000/1001 lie 0.1% apart, so a rate
// matches the nearest within half of that: a file's rounded 23.976 or 29.97 is
// its standard rate, and 24 stays 24.
constexpr Fraction kKnownRates[] = {kFilm,   kFilm24, kPal,    kNtsc,
                                    kNtsc30, kPal50,  kNtsc60, kNtsc60Whole};
constexpr double kRateTolerance = 0.0005;

constexpr const char* kStereoNote = "the sound is made stereo: more channels are mixed down";
constexpr const char* kSilenceNote = "a silent stereo track is added: the source has no sound";

double value(Fraction f) {
    return static_cast<double>(f.num) / static_cast<double>(f.den);
}

std::optional<Fraction> standardRate(Fraction rate) {
    if (rate.num <= 0 || rate.den <= 0)
        return std::nullopt;
    const double r = value(rate);
    for (const Fraction known : kKnownRates)
        if (std::abs(r - value(known)) < kRateTolerance * value(known))
            return known;
    return std::nullopt;
}

const char* parity(FieldOrder order) {
    return order == FieldOrder::TopFirst ? "tff" : "bff";
}

std::string deinterlace(const SourceTiming& s) {
    // One frame per frame: the disc's rate is what the source's frames give.
    std::string parityText = "auto";
    if (s.fieldOrder)
        parityText = parity(*s.fieldOrder);
    return "yadif=mode=send_frame:parity=" + parityText;
}

// One frame per field: a standards conversion then keeps every moment the
// fields show, as it does for 50p and 59.94p sources.
std::string frameAField(const SourceTiming& s) {
    return std::string("bwdif=mode=send_field:parity=") +
           (s.fieldOrder ? parity(*s.fieldOrder) : "auto");
}

std::string number(std::int64_t v) {
    return std::to_string(v);
}

// "59.94", "60", "29.97": a rate as the notes say it.
std::string rateName(Fraction rate) {
    if (rate == kNtsc60)
        return "59.94";
    if (rate == kNtsc)
        return "29.97";
    if (rate == kFilm)
        return "23.976";
    if (rate.den == 1 || value(rate) > 1e6)
        return rateText(rate);
    // Three decimals at most, without trailing zeros: 12.5, 14.985.
    const auto thousandths = static_cast<std::int64_t>(std::llround(value(rate) * 1000));
    std::string text = number(thousandths / 1000) + ".";
    std::string decimals = number(thousandths % 1000);
    text.append(3 - decimals.size(), '0');
    text += decimals;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

// The plan being built, with the steps that change speed, rate and fields.
struct Builder {
    RatePlan plan;

    void add(std::string step) { plan.steps.push_back(std::move(step)); }

    // Plays `from` frames a second at `to`: the same frames, faster or slower,
    // and the audio's tempo with them.
    void changeSpeed(Fraction from, Fraction to) {
        const Fraction pts = reduced({from.num * to.den, from.den * to.num});
        add("setpts=PTS*" + number(pts.num) + "/" + number(pts.den));
        // The frames are already on the new clock; this only tells the filters
        // after it (telecine, interlace) the rate they now come at.
        convert(to);
        const Fraction speed = reduced({plan.speed.num * pts.den, plan.speed.den * pts.num});
        plan.speed = speed;
    }
    // Drops or repeats frames to reach `to`. An fps step just before it only
    // named the rate a speed change had reached; this one replaces it.
    void convert(Fraction to) {
        if (!plan.steps.empty() && plan.steps.back().starts_with("fps="))
            plan.steps.pop_back();
        // The last frame passes whatever its length: a file that does not
        // say it (AVI) would otherwise lose it.
        add("fps=" + rateText(to) + ":eof_action=pass");
    }
    // Fields made of progressive frames come after the scale: scaled as
    // fields, each would lose half its lines' detail and its chroma.
    void fieldsAfterScale(std::string step, FieldOrder order) {
        plan.afterScale.push_back(std::move(step));
        plan.afterScale.push_back(std::string("setfield=") + parity(order));
        interlacedAs(order);
    }
    void weave(FieldOrder order) {
        fieldsAfterScale(std::string("interlace=scan=") + parity(order), order);
    }
    void telecine() {
        fieldsAfterScale("telecine=first_field=top:pattern=23", FieldOrder::TopFirst);
    }
    void keepFields(FieldOrder order) {
        plan.keepsFields = true;
        add(std::string("setfield=") + parity(order));
        interlacedAs(order);
    }
    // Interlaced frames at the disc's rate: VCD is progressive and
    // deinterlaces them, DVD and SVCD keep the fields.
    void fieldsUnlessVcd(Format f, const SourceTiming& s, FieldOrder order) {
        if (f == Format::Vcd) {
            add(deinterlace(s));
            note("VCD is progressive: the fields are deinterlaced, half the motion is lost");
        } else {
            keepFields(order);
        }
    }
    void interlacedAs(FieldOrder order) {
        plan.interlaced = true;
        plan.fieldOrder = order;
    }
    void output(Fraction rate) { plan.outputRate = rate; }
    void note(std::string text) {
        if (plan.note.empty())
            plan.note = std::move(text);
    }
    void warn(std::string text) {
        if (!plan.warning.empty())
            plan.warning += "; ";
        plan.warning += text;
    }

    // Double-rate progressive at twice `rate`: DVD and SVCD weave frame pairs
    // into fields and keep the motion; VCD, which is progressive, drops every
    // other frame.
    void fieldsOrHalfFrames(Format f, Fraction rate) {
        if (f == Format::Vcd) {
            convert(rate);
            note("VCD is progressive: every other frame is dropped, half the motion is lost");
        } else {
            weave(FieldOrder::TopFirst);
        }
        output(rate);
    }

    // 24000/1001 progressive film to the target.
    void filmTo(Format f, Standard s) {
        if (s == Standard::Pal) {
            changeSpeed(kFilm, kPal);
            output(kPal);
        } else if (f == Format::Vcd) {
            output(kFilm); // VCD carries film at its own rate
        } else if (f == Format::Dvd) {
            // Soft pulldown: the film's frames coded as they are, their flags
            // showing them 2:3 as fields. Hard telecine would spend the bits
            // on 30 interlaced pictures a second for the same 24.
            plan.flags = media::mpeg::FlagMode::SoftPulldown;
            note("film coded at 23.976 and flagged to show at 29.97 (soft pulldown)");
            output(kNtsc);
        } else {
            // SVCD: mplex's multiplex under-runs at SVCD's peak rate, where
            // ffmpeg's encoder overshoots it by 2-3%.
            telecine();
            output(kNtsc);
        }
    }
    // 60000/1001 progressive (`from`: the source's own rate) to the target.
    void ntsc60To(Format f, Standard s, Fraction from) {
        if (s == Standard::Pal) {
            if (f == Format::Vcd) {
                convert(kPal);
                note(rateName(from) + " to 25 fps progressive: a standards conversion that keeps "
                                      "less than half the motion");
                output(kPal);
                return;
            }
            convert(kPal50);
            note(rateName(from) + " to 50 fps drops one frame in six: a standards conversion, "
                                  "motion judders");
            weave(FieldOrder::TopFirst);
            output(kPal);
            return;
        }
        fieldsOrHalfFrames(f, kNtsc);
    }
    // 50 progressive to the target.
    void pal50To(Format f, Standard s) {
        if (s == Standard::Ntsc) {
            if (f == Format::Vcd) {
                convert(kNtsc);
                note("50 to 29.97 fps progressive: a standards conversion that keeps less than "
                     "half the motion");
                output(kNtsc);
                return;
            }
            convert(kNtsc60);
            note("50 to 59.94 fps repeats one frame in five: a standards conversion, motion "
                 "judders");
            weave(FieldOrder::TopFirst);
            output(kNtsc);
            return;
        }
        fieldsOrHalfFrames(f, kPal);
    }
};

} // namespace

SourceTiming timingOf(const media::VideoInfo& video) {
    SourceTiming t;
    t.rate = video.rate;
    t.variableRate = video.variableRate;
    t.scan = video.scan;
    t.fieldOrder = video.fieldOrder;
    t.pulldown = video.pulldown.value_or(false);
    t.filmRate = video.filmRate;
    return t;
}

SourceAudio audioOf(const media::VideoInfo& video) {
    return {video.hasAudio, video.audioChannels, video.audioLanguage};
}

const char* rowName(Row row) {
    switch (row) {
    case Row::Film:
        return "film";
    case Row::Pulldown:
        return "film with pulldown";
    case Row::P25:
        return "25 progressive";
    case Row::I25:
        return "25 interlaced";
    case Row::I30:
        return "29.97 interlaced";
    case Row::P30:
        return "29.97 progressive";
    case Row::P50:
        return "50 progressive";
    case Row::P60:
        return "59.94 progressive";
    case Row::Unknown:
        return "unknown rate";
    case Row::Other:
        break;
    }
    return "other rate";
}

std::string rateText(Fraction rate) {
    const Fraction r = rate.den == 0 ? rate : reduced(rate);
    if (r.den == 1)
        return number(r.num);
    return number(r.num) + "/" + number(r.den);
}

namespace {

RatePlan planPictures(const SourceTiming& source, Format format, Standard standard) {
    Builder b;
    const bool pal = standard == Standard::Pal;
    const Fraction target = pal ? kPal : kNtsc;
    b.output(target);

    std::optional<Fraction> known;
    if (source.rate)
        known = standardRate(*source.rate);
    const bool interlacedSource = source.scan == Scan::Interlaced;
    const FieldOrder order = source.fieldOrder.value_or(FieldOrder::TopFirst);

    if (source.pulldown) {
        // The decoder hands over the film's frames with the repeats as irregular
        // time stamps; number them on the film's own clock first.
        const Fraction film = source.filmRate.value_or(kFilm);
        b.plan.row = Row::Pulldown;
        b.plan.sourceRate = film;
        b.add("setpts=N*" + number(film.den) + "/" + number(film.num) + "/TB");
        b.convert(film);
        if (!(film == kFilm))
            b.changeSpeed(film, kFilm);
        b.filmTo(format, standard);
        return b.plan;
    }
    if (!source.rate || source.rate->num <= 0 || source.rate->den <= 0) {
        b.plan.row = Row::Unknown;
        b.warn("the rate is unknown: ffmpeg repeats or drops frames to reach " + rateText(target) +
               " fps; check the result");
        return b.plan;
    }
    if (source.variableRate)
        b.warn("the rate varies (average " + rateName(*source.rate) +
               "): ffmpeg repeats or drops frames to keep it constant");
    b.plan.sourceRate = known;
    if (!known) {
        b.plan.row = Row::Other;
        b.plan.sourceRate = source.rate;
        b.convert(target);
        b.note(rateName(*source.rate) +
               " fps is no disc rate: frames are repeated or dropped "
               "to reach " +
               rateText(target));
        return b.plan;
    }
    const Fraction rate = *known;
    const bool orderAssumed = interlacedSource && !source.fieldOrder;
    const auto scanAssumed = [&] {
        if (!source.scan)
            b.warn("the scan is not stated: taken as progressive");
    };

    if (rate == kFilm || rate == kFilm24) {
        b.plan.row = Row::Film;
        if (rate == kFilm24 && !pal)
            b.changeSpeed(kFilm24, kFilm); // 0.1% slower, to NTSC's film rate
        if (rate == kFilm24 && pal) {
            b.changeSpeed(kFilm24, kPal);
            b.output(kPal);
        } else {
            b.filmTo(format, standard);
        }
        return b.plan;
    }
    if (rate == kPal) {
        scanAssumed();
        if (orderAssumed)
            b.warn("the field order is not stated: taken as top first");
        b.plan.row = interlacedSource ? Row::I25 : Row::P25;
        if (interlacedSource && pal) {
            b.fieldsUnlessVcd(format, source, order);
            return b.plan;
        }
        if (pal)
            return b.plan; // 25 progressive as it is
        if (interlacedSource && format != Format::Vcd) {
            b.add(frameAField(source));
            b.note("25i to NTSC: each field made a frame, one in five repeated to 59.94 a second "
                   "and woven again: a standards conversion that keeps the motion, with a slight "
                   "judder");
            b.pal50To(format, standard);
            return b.plan;
        }
        if (interlacedSource) {
            b.add(deinterlace(source));
            b.note("25i to NTSC: deinterlaced, a standards conversion that halves the motion");
        }
        b.changeSpeed(kPal, kFilm); // 4% slower, then as film
        b.filmTo(format, standard);
        return b.plan;
    }
    if (rate == kNtsc || rate == kNtsc30) {
        scanAssumed();
        if (orderAssumed)
            b.warn("the field order is not stated: taken as top first");
        b.plan.row = interlacedSource ? Row::I30 : Row::P30;
        if (pal && interlacedSource && format != Format::Vcd) {
            b.add(frameAField(source));
            b.note(rateName(rate) + "i to PAL: each field made a frame, one in six dropped to 50 a "
                                    "second and woven again: a standards conversion that keeps "
                                    "the motion, with a slight judder");
            b.ntsc60To(format, standard, kNtsc60);
            return b.plan;
        }
        if (pal) {
            if (interlacedSource)
                b.add(deinterlace(source));
            b.convert(kPal);
            b.note(std::string(interlacedSource ? "deinterlaced, then " : "") + rateName(rate) +
                   " to 25 fps drops one frame in six: a standards conversion, motion judders");
            return b.plan;
        }
        if (rate == kNtsc30)
            b.changeSpeed(kNtsc30, kNtsc); // 0.1% slower
        if (interlacedSource)
            b.fieldsUnlessVcd(format, source, order);
        return b.plan;
    }
    if (rate == kPal50) {
        b.plan.row = Row::P50;
        b.pal50To(format, standard);
        return b.plan;
    }
    // 60000/1001 or 60
    b.plan.row = Row::P60;
    if (rate == kNtsc60Whole && !pal)
        b.changeSpeed(kNtsc60Whole, kNtsc60); // 0.1% slower
    b.ntsc60To(format, standard, rate);
    return b.plan;
}

} // namespace

RatePlan planRate(const SourceTiming& source, Format format, Standard standard,
                  const SourceAudio& audio) {
    RatePlan plan = planPictures(source, format, standard);
    // DVD-Video wants progressive_sequence 0, which ffmpeg does not write for
    // progressive frames.
    if (format == Format::Dvd && !plan.interlaced && !plan.flags)
        plan.flags = media::mpeg::FlagMode::ProgressiveOnly;
    const auto add = [&plan](const char* note) {
        plan.note += std::string(plan.note.empty() ? "" : "; ") + note;
    };
    // The command asks for stereo: AC-3 at DVD's usual rate is too thin for
    // 5.1. VCD and SVCD carry no more than stereo anyway.
    if (audio.present == false)
        add(kSilenceNote);
    else if (format == Format::Dvd && !(audio.channels && *audio.channels <= 2))
        add(kStereoNote);
    return plan;
}

} // namespace quorvel::disc
