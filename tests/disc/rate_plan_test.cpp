#include "disc/rate_plan.h"

#include <gtest/gtest.h>

namespace quorvel::disc {
namespace {

using media::FieldOrder;
using media::Scan;

// "25i bff", "24000/1001p", "pulldown", "none", "15p": a source as the table
// names it.
SourceTiming source(std::string_view text) {
    SourceTiming s;
    if (text == "pulldown") {
        s.rate = Fraction{30000, 1001};
        s.pulldown = true;
        s.filmRate = Fraction{24000, 1001};
        return s;
    }
    if (text == "none")
        return s;
    const std::size_t scanAt = text.find_first_of("pi");
    const std::string_view rate = text.substr(0, scanAt);
    const std::size_t slash = rate.find('/');
    s.rate = slash == std::string_view::npos
                 ? Fraction{std::stoll(std::string(rate)), 1}
                 : Fraction{std::stoll(std::string(rate.substr(0, slash))),
                            std::stoll(std::string(rate.substr(slash + 1)))};
    s.scan = text[scanAt] == 'p' ? Scan::Progressive : Scan::Interlaced;
    if (text.ends_with("tff"))
        s.fieldOrder = FieldOrder::TopFirst;
    if (text.ends_with("bff"))
        s.fieldOrder = FieldOrder::BottomFirst;
    return s;
}

struct PlanCase {
    const char* source;
    Format format;
    Standard standard;
    std::string steps;  // joined by ','; "[scale]" where the scale comes
    const char* output; // rate, then "p" or the field order "tff"/"bff"
    const char* speed;
    bool note; // a conversion or a loss of motion is said
};

std::string name(const PlanCase& c) {
    std::string n =
        std::string(c.source) + "_to_" + standardName(c.standard) + "_" + formatName(c.format);
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return n;
}
void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << name(c);
}

class PlanRate : public testing::TestWithParam<PlanCase> {};

constexpr const char* kStereo = "the sound is made stereo: more channels are mixed down";

TEST_P(PlanRate, FollowsTheTable) {
    const auto& c = GetParam();
    const RatePlan p = planRate(source(c.source), c.format, c.standard);
    std::vector<std::string> all = p.steps;
    if (!p.afterScale.empty())
        all.push_back("[scale]");
    all.insert(all.end(), p.afterScale.begin(), p.afterScale.end());
    std::string steps;
    for (const std::string& s : all)
        steps += (steps.empty() ? "" : ",") + s;
    EXPECT_EQ(steps, c.steps);
    // Only fields the source has reach the scale; fields made of frames come
    // after it.
    EXPECT_EQ(p.keepsFields, p.interlaced && p.afterScale.empty());
    const std::string order = p.softPulldown()                       ? " soft"
                              : !p.interlaced                        ? "p"
                              : p.fieldOrder == FieldOrder::TopFirst ? " tff"
                                                                     : " bff";
    EXPECT_EQ(rateText(p.outputRate) + order, c.output);
    EXPECT_EQ(rateText(p.speed), c.speed);
    // DVD's note says, last, that the sound is made stereo.
    std::string note = p.note;
    if (c.format == Format::Dvd) {
        ASSERT_TRUE(note.ends_with(kStereo)) << note;
        note.resize(note.size() - std::string_view(kStereo).size());
        EXPECT_TRUE(note.empty() || note.ends_with("; ")) << note;
    }
    EXPECT_EQ(!note.empty(), c.note) << p.note;
    // VCD is progressive MPEG-1, whatever the source.
    EXPECT_FALSE(c.format == Format::Vcd && p.interlaced);
    // Every progressive DVD stream has its flags rewritten, and only those.
    EXPECT_EQ(p.flags.has_value(), c.format == Format::Dvd && !p.interlaced);
}

constexpr auto V = Format::Vcd;
constexpr auto S = Format::Svcd;
constexpr auto D = Format::Dvd;
constexpr auto P = Standard::Pal;
constexpr auto N = Standard::Ntsc;
constexpr const char* kTelecine = "[scale],telecine=first_field=top:pattern=23,setfield=tff";
constexpr const char* kFilmToPal = "setpts=PTS*960/1001,fps=25:eof_action=pass";
constexpr const char* kPulldown = "setpts=N*1001/24000/TB,fps=24000/1001:eof_action=pass";
constexpr const char* kPalToFilm = "setpts=PTS*1001/960,fps=24000/1001:eof_action=pass";

std::string join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view p : parts)
        out += (out.empty() ? "" : ",") + std::string(p);
    return out;
}

// Every row of the table, for every format and standard.
const std::vector<PlanCase>& cases() {
    static const std::vector<PlanCase> all = [] {
        const std::string telecine = kTelecine;
        const std::string pulldownTelecine = join({kPulldown, kTelecine});
        const std::string pulldownPal = join({kPulldown, kFilmToPal});
        const std::string film24Ntsc = "setpts=PTS*1001/1000,fps=24000/1001:eof_action=pass";
        const std::string film24Telecine = join({film24Ntsc, kTelecine});
        const std::string palTelecine = join({kPalToFilm, kTelecine});
        const std::string yadifTff = "yadif=mode=send_frame:parity=tff";
        const std::string yadifBff = "yadif=mode=send_frame:parity=bff";
        const std::string i25NtscVcd = join({yadifBff, kPalToFilm});
        const std::string i30Pal = join({yadifTff, "fps=25:eof_action=pass"});
        const std::string bobTff = "bwdif=mode=send_field:parity=tff";
        const std::string bobBff = "bwdif=mode=send_field:parity=bff";
        const std::string weave = "[scale],interlace=scan=tff,setfield=tff";
        const std::string to5994Weave = join({"fps=60000/1001:eof_action=pass", weave});
        const std::string to50Weave = join({"fps=50:eof_action=pass", weave});
        const std::string slow60 = "setpts=PTS*1001/1000,fps=60000/1001:eof_action=pass";
        return std::vector<PlanCase>{
            // film 24000/1001: speed up to 25; NTSC DVD soft pulldown, SVCD
            // telecine, VCD as film.
            {"24000/1001p", V, P, kFilmToPal, "25p", "1001/960", false},
            {"24000/1001p", S, P, kFilmToPal, "25p", "1001/960", false},
            {"24000/1001p", D, P, kFilmToPal, "25p", "1001/960", false},
            {"24000/1001p", V, N, "", "24000/1001p", "1", false},
            {"24000/1001p", S, N, telecine, "30000/1001 tff", "1", false},
            {"24000/1001p", D, N, "", "30000/1001 soft", "1", true},
            // film at a whole 24: to 25 at once; to NTSC 0.1% slower first.
            {"24p", V, P, "setpts=PTS*24/25,fps=25:eof_action=pass", "25p", "25/24", false},
            {"24p", D, P, "setpts=PTS*24/25,fps=25:eof_action=pass", "25p", "25/24", false},
            {"24p", V, N, film24Ntsc, "24000/1001p", "1000/1001", false},
            {"24p", S, N, film24Telecine, "30000/1001 tff", "1000/1001", false},
            {"24p", D, N, film24Ntsc, "30000/1001 soft", "1000/1001", true},
            // film under pulldown flags: on the film's clock first, then as film.
            {"pulldown", V, P, pulldownPal, "25p", "1001/960", false},
            {"pulldown", S, P, pulldownPal, "25p", "1001/960", false},
            {"pulldown", D, P, pulldownPal, "25p", "1001/960", false},
            {"pulldown", V, N, kPulldown, "24000/1001p", "1", false},
            {"pulldown", S, N, pulldownTelecine, "30000/1001 tff", "1", false},
            {"pulldown", D, N, kPulldown, "30000/1001 soft", "1", true},
            // 25 progressive: as is; to NTSC slowed to film, then as film.
            {"25p", V, P, "", "25p", "1", false},
            {"25p", S, P, "", "25p", "1", false},
            {"25p", D, P, "", "25p", "1", false},
            {"25p", V, N, kPalToFilm, "24000/1001p", "960/1001", false},
            {"25p", S, N, palTelecine, "30000/1001 tff", "960/1001", false},
            {"25p", D, N, kPalToFilm, "30000/1001 soft", "960/1001", true},
            // 25 interlaced: fields kept in their order; VCD deinterlaced; NTSC a
            // frame a field, then 59.94 woven (VCD: as 25 progressive).
            {"25i bff", V, P, yadifBff, "25p", "1", true},
            {"25i bff", S, P, "setfield=bff", "25 bff", "1", false},
            {"25i bff", D, P, "setfield=bff", "25 bff", "1", false},
            {"25i tff", D, P, "setfield=tff", "25 tff", "1", false},
            {"25i bff", V, N, i25NtscVcd, "24000/1001p", "960/1001", true},
            {"25i bff", S, N, join({bobBff, to5994Weave}), "30000/1001 tff", "1", true},
            {"25i bff", D, N, join({bobBff, to5994Weave}), "30000/1001 tff", "1", true},
            // 29.97 interlaced: to PAL a frame a field, then 50 woven (VCD: 25
            // frames); NTSC fields kept.
            {"30000/1001i tff", V, P, i30Pal, "25p", "1", true},
            {"30000/1001i tff", S, P, join({bobTff, to50Weave}), "25 tff", "1", true},
            {"30000/1001i bff", D, P, join({bobBff, to50Weave}), "25 tff", "1", true},
            {"30000/1001i tff", V, N, yadifTff, "30000/1001p", "1", true},
            {"30000/1001i tff", S, N, "setfield=tff", "30000/1001 tff", "1", false},
            {"30000/1001i bff", D, N, "setfield=bff", "30000/1001 bff", "1", false},
            {"30i bff", D, N, "setpts=PTS*1001/1000,fps=30000/1001:eof_action=pass,setfield=bff",
             "30000/1001 bff", "1000/1001", false},
            // 29.97 or 30 progressive: to 25 by conversion; NTSC as is, 30 0.1% slower.
            {"30000/1001p", V, P, "fps=25:eof_action=pass", "25p", "1", true},
            {"30000/1001p", S, P, "fps=25:eof_action=pass", "25p", "1", true},
            {"30000/1001p", D, P, "fps=25:eof_action=pass", "25p", "1", true},
            {"30000/1001p", V, N, "", "30000/1001p", "1", false},
            {"30000/1001p", S, N, "", "30000/1001p", "1", false},
            {"30000/1001p", D, N, "", "30000/1001p", "1", false},
            {"30p", D, P, "fps=25:eof_action=pass", "25p", "1", true},
            {"30p", V, N, "setpts=PTS*1001/1000,fps=30000/1001:eof_action=pass", "30000/1001p",
             "1000/1001", false},
            {"30p", D, N, "setpts=PTS*1001/1000,fps=30000/1001:eof_action=pass", "30000/1001p",
             "1000/1001", false},
            // 50 progressive: woven to 25 top first, keeping the motion; to NTSC
            // by conversion to 59.94, then woven.
            {"50p", V, P, "fps=25:eof_action=pass", "25p", "1", true},
            {"50p", S, P, weave, "25 tff", "1", false},
            {"50p", D, P, weave, "25 tff", "1", false},
            {"50p", V, N, "fps=30000/1001:eof_action=pass", "30000/1001p", "1", true},
            {"50p", S, N, to5994Weave, "30000/1001 tff", "1", true},
            {"50p", D, N, to5994Weave, "30000/1001 tff", "1", true},
            // 59.94 and 60 progressive: to 50 by conversion then woven; NTSC woven.
            {"60000/1001p", V, P, "fps=25:eof_action=pass", "25p", "1", true},
            {"60000/1001p", S, P, to50Weave, "25 tff", "1", true},
            {"60000/1001p", D, P, to50Weave, "25 tff", "1", true},
            {"60000/1001p", V, N, "fps=30000/1001:eof_action=pass", "30000/1001p", "1", true},
            {"60000/1001p", S, N, weave, "30000/1001 tff", "1", false},
            {"60000/1001p", D, N, weave, "30000/1001 tff", "1", false},
            {"60p", D, P, to50Weave, "25 tff", "1", true},
            {"60p", V, N, "setpts=PTS*1001/1000,fps=30000/1001:eof_action=pass", "30000/1001p",
             "1000/1001", true},
            {"60p", D, N, join({slow60, weave}), "30000/1001 tff", "1000/1001", false},
            // Unknown: as is (with a warning, below).
            {"none", V, P, "", "25p", "1", false},
            {"none", D, P, "", "25p", "1", false},
            {"none", S, N, "", "30000/1001p", "1", false},
            {"none", D, N, "", "30000/1001p", "1", false},
            // A rate no disc has: converted, and said.
            {"15p", D, P, "fps=25:eof_action=pass", "25p", "1", true},
            {"15p", V, N, "fps=30000/1001:eof_action=pass", "30000/1001p", "1", true},
        };
    }();
    return all;
}

INSTANTIATE_TEST_SUITE_P(Table, PlanRate, testing::ValuesIn(cases()),
                         [](const auto& info) { return name(info.param); });

TEST(PlanRate, MatchesRoundedRatesToTheirStandard) {
    // A file's 23.976 or 29.97 is the NTSC rate; 24 stays 24 (0.1% away).
    EXPECT_EQ(planRate(source("23976/1000p"), Format::Dvd, Standard::Pal).row, Row::Film);
    EXPECT_EQ(planRate(source("23976/1000p"), Format::Dvd, Standard::Pal).sourceRate,
              (Fraction{24000, 1001}));
    EXPECT_EQ(planRate(source("2997/100p"), Format::Dvd, Standard::Ntsc).sourceRate,
              (Fraction{30000, 1001}));
    EXPECT_EQ(planRate(source("24p"), Format::Dvd, Standard::Ntsc).sourceRate, (Fraction{24, 1}));
    EXPECT_EQ(planRate(source("5994/100p"), Format::Dvd, Standard::Ntsc).row, Row::P60);
    EXPECT_EQ(planRate(source("2398/100p"), Format::Dvd, Standard::Ntsc).row, Row::Film);
    EXPECT_EQ(planRate(source("2395/100p"), Format::Dvd, Standard::Ntsc).row, Row::Other);
    EXPECT_EQ(planRate(source("48p"), Format::Dvd, Standard::Ntsc).row, Row::Other);
}

TEST(PlanRate, SaysWhatItAssumes) {
    const RatePlan unknown = planRate(source("none"), Format::Dvd, Standard::Pal);
    EXPECT_EQ(unknown.row, Row::Unknown);
    EXPECT_EQ(unknown.warning,
              "the rate is unknown: ffmpeg repeats or drops frames to reach 25 fps; check the "
              "result");
    SourceTiming noScan;
    noScan.rate = Fraction{25, 1};
    const RatePlan p = planRate(noScan, Format::Dvd, Standard::Pal);
    EXPECT_EQ(p.row, Row::P25);
    EXPECT_EQ(p.warning, "the scan is not stated: taken as progressive");
    const RatePlan noOrder = planRate(source("25i"), Format::Dvd, Standard::Pal);
    EXPECT_EQ(noOrder.fieldOrder, FieldOrder::TopFirst);
    EXPECT_EQ(noOrder.warning, "the field order is not stated: taken as top first");
    // The deinterlacer then reads each frame's own flags.
    EXPECT_EQ(planRate(source("25i"), Format::Vcd, Standard::Pal).steps,
              (std::vector<std::string>{"yadif=mode=send_frame:parity=auto"}));
    SourceTiming vfr = source("30000/1001p");
    vfr.variableRate = true;
    EXPECT_EQ(planRate(vfr, Format::Dvd, Standard::Ntsc).warning,
              "the rate varies (average 29.97): ffmpeg repeats or drops frames to keep it "
              "constant");
}

TEST(PlanRate, NotesSayTheConversion) {
    EXPECT_EQ(planRate(source("30000/1001p"), Format::Svcd, Standard::Pal).note,
              "29.97 to 25 fps drops one frame in six: a standards conversion, motion judders");
    EXPECT_EQ(planRate(source("50p"), Format::Svcd, Standard::Ntsc).note,
              "50 to 59.94 fps repeats one frame in five: a standards conversion, motion judders");
    EXPECT_EQ(planRate(source("25i tff"), Format::Vcd, Standard::Ntsc).note,
              "25i to NTSC: deinterlaced, a standards conversion that halves the motion");
    EXPECT_EQ(planRate(source("25i tff"), Format::Dvd, Standard::Ntsc).note,
              "25i to NTSC: each field made a frame, one in five repeated to 59.94 a second and "
              "woven again: a standards conversion that keeps the motion, with a slight judder; "
              "the sound is made stereo: more channels are mixed down");
    EXPECT_EQ(planRate(source("12500/1000p"), Format::Vcd, Standard::Pal).note,
              "12.5 fps is no disc rate: frames are repeated or dropped to reach 25");
    EXPECT_EQ(planRate(source("25p"), Format::Dvd, Standard::Pal).note, kStereo);
}

TEST(PlanRate, KeepsFieldsOnlyWhereTheSourceFieldsPass) {
    EXPECT_TRUE(planRate(source("25i bff"), Format::Dvd, Standard::Pal).keepsFields);
    EXPECT_TRUE(planRate(source("30000/1001i tff"), Format::Svcd, Standard::Ntsc).keepsFields);
    EXPECT_FALSE(planRate(source("50p"), Format::Dvd, Standard::Pal).keepsFields); // woven
    EXPECT_FALSE(planRate(source("24000/1001p"), Format::Dvd, Standard::Ntsc).keepsFields);
}

TEST(PlanRate, HostileRatesAreUnknownOrOther) {
    for (const Fraction r : {Fraction{0, 1}, Fraction{25, 0}, Fraction{-25, 1}, Fraction{1, -1}}) {
        SourceTiming s;
        s.rate = r;
        EXPECT_EQ(planRate(s, Format::Dvd, Standard::Pal).row, Row::Unknown);
    }
    SourceTiming huge;
    huge.rate = Fraction{std::numeric_limits<std::int64_t>::max(), 1};
    const RatePlan p = planRate(huge, Format::Dvd, Standard::Pal);
    EXPECT_EQ(p.row, Row::Other);
    EXPECT_EQ(p.steps, (std::vector<std::string>{"fps=25:eof_action=pass"}));
}

TEST(TimingOf, TakesTheReadersFacts) {
    media::VideoInfo v;
    v.rate = Fraction{30000, 1001};
    v.scan = Scan::Interlaced;
    v.fieldOrder = FieldOrder::BottomFirst;
    v.pulldown = true;
    v.filmRate = Fraction{24000, 1001};
    v.variableRate = true;
    const SourceTiming t = timingOf(v);
    EXPECT_EQ(t.rate, v.rate);
    EXPECT_EQ(t.scan, Scan::Interlaced);
    EXPECT_EQ(t.fieldOrder, FieldOrder::BottomFirst);
    EXPECT_TRUE(t.pulldown);
    EXPECT_EQ(t.filmRate, v.filmRate);
    EXPECT_TRUE(t.variableRate);
    EXPECT_FALSE(timingOf(media::VideoInfo{}).pulldown); // not looked at: no
}

TEST(RateText, AsFfmpegTakesIt) {
    EXPECT_EQ(rateText({25, 1}), "25");
    EXPECT_EQ(rateText({50, 2}), "25");
    EXPECT_EQ(rateText({30000, 1001}), "30000/1001");
    EXPECT_EQ(rateText({1001, 960}), "1001/960");
}

} // namespace
} // namespace quorvel::disc
