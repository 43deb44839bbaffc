#include "info/json.h"
#include "info/report.h"
#include "tests/support/row_name.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quorvel::info {
namespace {

struct TimeCase {
    const char* name;
    std::uint64_t ms;
    const char* text;
};

void PrintTo(const TimeCase& c, std::ostream* os) {
    *os << c.text;
}

class RunningTime : public testing::TestWithParam<TimeCase> {};

TEST_P(RunningTime, IsHoursMinutesSecondsAndMilliseconds) {
    EXPECT_EQ(disc::runningTimeText(GetParam().ms), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Times, RunningTime,
                         testing::Values(TimeCase{"nothing", 0, "0:00:00.000"},
                                         TimeCase{"one millisecond", 1, "0:00:00.001"},
                                         TimeCase{"forty milliseconds", 40, "0:00:00.040"},
                                         TimeCase{"a minute less a millisecond", 59'999,
                                                  "0:00:59.999"},
                                         TimeCase{"long MPEG", 5'525'040, "1:32:05.040"},
                                         TimeCase{"long Matroska", 5'525'120, "1:32:05.120"},
                                         TimeCase{"past a day", 100'000'000, "27:46:40.000"}),
                         testrows::NamedRow{});

struct FactsCase {
    const char* name;
    SourceDetails details;
    std::string text; // the lines after the rate
    const char* json; // the members after rotation
};

void PrintTo(const FactsCase& c, std::ostream* os) {
    *os << c.name;
}

SourceDetails facts(std::optional<std::uint64_t> ms, std::optional<std::uint64_t> frames,
                    std::optional<media::Scan> scan, std::optional<media::FieldOrder> order,
                    std::optional<bool> pulldown = std::nullopt,
                    std::optional<media::Fraction> film = std::nullopt,
                    std::optional<media::Crop> crop = std::nullopt) {
    SourceDetails d;
    d.container = media::Container::MpegPs;
    d.displayWidth = 720;
    d.displayHeight = 480;
    d.durationMs = ms;
    d.frames = frames;
    d.scan = scan;
    d.fieldOrder = order;
    d.pulldown = pulldown;
    d.filmRate = film;
    d.crop = crop;
    return d;
}

class EncodeFacts : public testing::TestWithParam<FactsCase> {};

TEST_P(EncodeFacts, ShowAsLinesAndTypedMembers) {
    Report r;
    r.name = "a.mpg";
    r.width = 720;
    r.height = 480;
    r.rate = RateInfo{30000, 1001, 30000.0 / 1001};
    r.source = GetParam().details;
    const std::string head = "path: a.mpg\nwidth: 720\nheight: 480\ncontainer: MPEG-PS\n"
                             "rate: 30000/1001 (29.970 fps)\n";
    const std::string text = formatText(r, Options{});
    ASSERT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(head.size()), GetParam().text);

    const std::string line = formatJson(r, Options{});
    const auto from = line.find("\"rotation\":0,") + 13;
    const auto to = line.find(",\"targets\":");
    ASSERT_LT(from, to) << line;
    EXPECT_EQ(line.substr(from, to - from), GetParam().json);
}

using media::FieldOrder;
using media::Scan;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sources, EncodeFacts, testing::Values(
    FactsCase{"nothing stated", facts(std::nullopt, std::nullopt, std::nullopt, std::nullopt), "",
              R"("duration":null,"frames":null,"scan":null,"field_order":null,"pulldown":null,"film_rate":null,"crop":null)"},
    FactsCase{"progressive, whole seconds", facts(10'000, 250, Scan::Progressive, std::nullopt, false),
              "duration: 0:00:10.000\nframes: 250\nscan: progressive\npulldown: none\n",
              R"("duration":10,"frames":250,"scan":"progressive","field_order":null,"pulldown":false,"film_rate":null,"crop":null)"},
    FactsCase{"interlaced top first", facts(5'525'120, std::nullopt, Scan::Interlaced, FieldOrder::TopFirst),
              "duration: 1:32:05.120\nscan: interlaced, top field first\n",
              R"("duration":5525.12,"frames":null,"scan":"interlaced","field_order":"top first","pulldown":null,"film_rate":null,"crop":null)"},
    FactsCase{"interlaced bottom first", facts(40, 1, Scan::Interlaced, FieldOrder::BottomFirst),
              "duration: 0:00:00.040\nframes: 1\nscan: interlaced, bottom field first\n",
              R"("duration":0.04,"frames":1,"scan":"interlaced","field_order":"bottom first","pulldown":null,"film_rate":null,"crop":null)"},
    FactsCase{"interlaced, order unstated", facts(std::nullopt, std::nullopt, Scan::Interlaced, std::nullopt),
              "scan: interlaced\n",
              R"("duration":null,"frames":null,"scan":"interlaced","field_order":null,"pulldown":null,"film_rate":null,"crop":null)"},
    FactsCase{"film with pulldown", facts(std::nullopt, std::nullopt, Scan::Progressive, std::nullopt, true,
                                          media::Fraction{24000, 1001}),
              "scan: progressive\npulldown: film at 23.976\n",
              R"("duration":null,"frames":null,"scan":"progressive","field_order":null,"pulldown":true,)"
              R"("film_rate":{"num":24000,"den":1001,"fps":23.976023976023978},"crop":null)"},
    FactsCase{"cropped", facts(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                               media::Crop{2, 2, 6, 2}),
              "display: 720x480 (cropped to 712x476)\ncrop: left 2, top 2, right 6, bottom 2\n",
              R"("duration":null,"frames":null,"scan":null,"field_order":null,"pulldown":null,"film_rate":null,)"
              R"("crop":{"left":2,"top":2,"right":6,"bottom":2})"}),
    testrows::NamedRow{});
// clang-format on

TEST(EncodeFacts, AreNullForATypedSize) {
    Report r;
    r.kind = InputItem::Size;
    r.name = "640x480";
    const Json j = Json::parse(formatJson(r, Options{}));
    for (const char* name :
         {"duration", "frames", "scan", "field_order", "pulldown", "film_rate", "crop"})
        EXPECT_TRUE(j.at(name).is_null()) << name;
}

} // namespace
} // namespace quorvel::info
