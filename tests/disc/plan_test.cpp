#include "disc/plan.h"

#include "tests/support/row_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quorvel::disc {
namespace {

PlanSource clip(const std::string& name, Fraction rate, std::uint64_t ms, bool pal) {
    PlanSource s;
    s.name = name;
    s.file = true;
    s.widthText = "1280";
    s.heightText = "720";
    s.timing.rate = rate;
    s.timing.scan = media::Scan::Progressive;
    s.durationMs = ms;
    s.rate = rate;
    s.rateClass = pal ? RateClass::Pal : RateClass::NtscVideo;
    return s;
}

const PlanSource kPal = clip("pal.mp4", {25, 1}, 60'000, true);
const PlanSource kNtsc = clip("ntsc.mp4", {30000, 1001}, 90'000, false);

// 2.39:1 film.
PlanSource scope() {
    PlanSource s = clip("scope.mkv", {24000, 1001}, 60'000, false);
    s.widthText = "1920";
    s.heightText = "804";
    return s;
}

std::string after(const std::vector<std::string>& args, const std::string& option) {
    const auto at = std::find(args.begin(), args.end(), option);
    return at == args.end() || at + 1 == args.end() ? "(none)" : *(at + 1);
}

struct PlanCase {
    const char* name;
    PlanRequest request;
    std::vector<PlanSource> sources;
    Standard standard; // every target's and command's
    bool fromBudget;
    int audioKbps;
};

void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}

class EveryCommand : public testing::TestWithParam<PlanCase> {};

// The plan is the one answer: each command says exactly its values.
TEST_P(EveryCommand, SaysWhatThePlanSays) {
    const PlanCase& c = GetParam();
    const Plan plan = makePlan(c.request, c.sources);
    ASSERT_EQ(plan.inputs.size(), c.sources.size());
    if (plan.budget) {
        EXPECT_EQ(plan.budget->request.standard, c.standard);
    }
    for (const InputPlan& in : plan.inputs)
        for (const TargetPlan& t : in.targets) {
            ASSERT_TRUE(t.command && t.command->command && t.streams && t.rate);
            const std::vector<std::string>& args = t.command->command->args;
            EXPECT_EQ(t.standard, c.standard);
            EXPECT_EQ(t.movie, t.command->command->movie);
            EXPECT_EQ(after(args, "-target"), targetName(t.format, c.standard));
            EXPECT_EQ(after(args, "-r"), rateText(t.rate->codedRate()));
            EXPECT_EQ(t.streams->fromBudget, c.fromBudget);
            EXPECT_EQ(after(args, "-b:v"), std::to_string(t.streams->videoKbps) + "k");
            EXPECT_EQ(after(args, "-maxrate:v"), std::to_string(t.streams->peakKbps) + "k");
            EXPECT_EQ(t.streams->audio.kbps, c.audioKbps);
            EXPECT_EQ(after(args, "-b:a"), std::to_string(c.audioKbps) + "k");
            const std::string setsar = "setsar=" + std::to_string(t.pixelAspect.num) + "/" +
                                       std::to_string(t.pixelAspect.den);
            EXPECT_NE(t.command->command->filter.find(setsar), std::string::npos)
                << t.command->command->filter;
        }
}

PlanRequest request(std::optional<DiscChoice> disc = {}, std::optional<int> audio = {},
                    PixelShape par = PixelShape::Plain) {
    PlanRequest q;
    q.commands = true;
    q.disc = disc;
    q.audioKbps = audio;
    q.shape.par = par;
    return q;
}

constexpr DiscChoice kDvd5{DiscChoice::Kind::Dvd5};
constexpr DiscChoice kTiny{DiscChoice::Kind::Size, 24 * 1024 * 1024}; // below the floor: 2 discs

// clang-format off
INSTANTIATE_TEST_SUITE_P(Plans, EveryCommand, testing::Values(
    PlanCase{"alone each keeps its own", request(), {kPal}, Standard::Pal, false, 192},
    PlanCase{"the larger share sets the disc", request(kDvd5), {kPal, kNtsc}, Standard::Ntsc, true, 192},
    PlanCase{"the larger share sets the disc, PAL", request(kDvd5), {clip("a", {25, 1}, 200'000, true), kNtsc}, Standard::Pal, true, 192},
    PlanCase{"a disc that does not fit gives no budget rate", request(kTiny), {kPal, kNtsc}, Standard::Ntsc, false, 192},
    PlanCase{"the audio asked for", request(kDvd5, 384), {kPal}, Standard::Pal, true, 384},
    PlanCase{"the audio asked for, alone", request({}, 256), {kNtsc}, Standard::Ntsc, false, 256},
    PlanCase{"the Movie is what the fields are scaled to", request(), {scope()}, Standard::Ntsc, false, 192},
    PlanCase{"itu sets the pixel it prints", request({}, {}, PixelShape::Itu), {kPal}, Standard::Pal, false, 192}),
    testrows::NamedRow{});
// clang-format on

TEST(MakePlan, OneStandardForAMixedDiscEvenWhenAsked) {
    PlanRequest q = request(kDvd5);
    q.standard = Standard::Pal;
    const Plan plan = makePlan(q, std::vector{kNtsc, kPal});
    for (const InputPlan& in : plan.inputs)
        EXPECT_EQ(in.standard, Standard::Pal);
    // The 29.97 clip is slowed onto PAL and its running time counted so.
    EXPECT_EQ(plan.inputs[0].targets[0].rate->row, Row::P30);
    EXPECT_EQ(plan.budget->request.inputs[0].speed, plan.inputs[0].targets[0].rate->speed);
}

// Silence for a source without sound, ended with the picture; DVD's stereo
// mix-down said only where there may be more than two channels.
TEST(MakePlan, TheSourcesSoundDecidesSilenceAndTheMixDownNote) {
    const auto plan = [](Format f, SourceAudio audio) {
        PlanRequest q = request();
        q.formats = {f};
        PlanSource s = kPal;
        s.audio = audio;
        const TargetPlan t = makePlan(q, std::vector{s}).inputs.at(0).targets.at(0);
        return std::pair(t.rate.value().note, t.command.value().command.value().args);
    };
    const auto [vcdNote, vcd] = plan(Format::Vcd, {false, {}, {}});
    EXPECT_EQ(vcdNote, "a silent stereo track is added: the source has no sound");
    // After "ffmpeg -nostdin -i INPUT".
    EXPECT_EQ(std::vector(vcd.begin() + 4, vcd.begin() + 14),
              (std::vector<std::string>{"-f", "lavfi", "-i",
                                        "anullsrc=channel_layout=stereo:sample_rate=44100", "-map",
                                        "0:v:0", "-map", "1:a:0", "-shortest", "-vf"}));
    // A DVD's sound is encoded apart from the picture: the silence lasts as
    // long as the picture does.
    const auto dvd = plan(Format::Dvd, {false, {}, {}}).second;
    EXPECT_EQ(dvd.at(7), "anullsrc=channel_layout=stereo:sample_rate=48000");
    EXPECT_EQ(after(dvd, "-t"), "60.000");
    EXPECT_EQ(*(std::find(dvd.begin(), dvd.end(), "-af") - 1), "1:a:0");
    EXPECT_EQ(after(plan(Format::Dvd, {true, 6, {}}).second, "-af"), "aresample=async=1");
    const std::string stereo = "the sound is made stereo: more channels are mixed down";
    EXPECT_EQ(plan(Format::Dvd, {true, 6, {}}).first, stereo);
    EXPECT_EQ(plan(Format::Dvd, {}).first, stereo);
    EXPECT_EQ(plan(Format::Dvd, {true, 2, {}}).first, "");
    EXPECT_EQ(plan(Format::Svcd, {true, 6, {}}).first, "");
}

// A DVD rip goes onto a DVD as it is; anything the disc would have to change
// is encoded.
TEST(CopyReason, OnlyWhatADvdTakesAsItIsIsCopied) {
    // 720x576 16:9, 25 interlaced, top first, at most 8 Mbit/s, 5 Mbit/s on average.
    const auto rip = [] {
        PlanSource s = clip("rip.mpg", {25, 1}, 60'000, true);
        s.widthText = "720";
        s.heightText = "576";
        s.shape.sar = {64, 45};
        s.timing.scan = media::Scan::Interlaced;
        s.timing.fieldOrder = media::FieldOrder::TopFirst;
        s.mpeg2 = PlanSource::Mpeg2{{720, 576}, 8'000'000, 60 * 5'000'000 / 8};
        return s;
    };
    struct Case {
        const char* name;
        void (*change)(PlanSource&, PlanRequest&);
        bool copied;
    };
    const Case cases[] = {
        {"a PAL rip", [](PlanSource&, PlanRequest&) {}, true},
        {"progressive too",
         [](PlanSource& s, PlanRequest&) { s.timing.scan = media::Scan::Progressive; }, true},
        {"on a DVD-5 that carries it", [](PlanSource&, PlanRequest& q) { q.disc = kDvd5; }, true},
        {"not MPEG-2", [](PlanSource& s, PlanRequest&) { s.mpeg2.reset(); }, false},
        {"onto NTSC", [](PlanSource&, PlanRequest& q) { q.standard = Standard::Ntsc; }, false},
        {"onto SVCD", [](PlanSource&, PlanRequest& q) { q.formats = {Format::Svcd}; }, false},
        {"another frame",
         [](PlanSource& s, PlanRequest&) {
             s.mpeg2->frame = {704, 576};
         },
         false},
        {"a crop",
         [](PlanSource& s, PlanRequest&) {
             s.crop = media::Crop{0, 2, 0, 2};
         },
         false},
        {"a part of it", [](PlanSource& s, PlanRequest&) { s.startMs = 1000; }, false},
        {"over the DVD's peak",
         [](PlanSource& s, PlanRequest&) { s.mpeg2->peakBitsPerSecond = 9'800'000; }, false},
        {"more than its share of the disc",
         [](PlanSource& s, PlanRequest& q) {
             q.disc = DiscChoice{DiscChoice::Kind::Size, 30 * 1024 * 1024};
             s.durationMs = 60'000;
         },
         false},
    };
    for (const Case& c : cases) {
        PlanSource s = rip();
        PlanRequest q = request();
        c.change(s, q);
        const TargetPlan t = makePlan(q, std::vector{s}).inputs.at(0).targets.at(0);
        EXPECT_EQ(!t.copied.empty(), c.copied) << c.name << ": " << t.copied;
        const auto& made = t.command.value().command.value();
        const bool copies =
            std::find(made.args.begin(), made.args.end(), "copy") != made.args.end();
        EXPECT_EQ(copies, c.copied) << c.name;
        if (c.copied) {
            EXPECT_TRUE(t.rate->note.starts_with(t.copied) && made.remux && made.filter.empty())
                << c.name;
        }
    }
}

} // namespace
} // namespace quorvel::disc
