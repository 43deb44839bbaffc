#include "info/json.h"
#include "info/report.h"
#include "info/run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace quorvel::info {
namespace {

media::VideoInfo video(media::Container c, std::uint32_t w, std::uint32_t h,
                       std::optional<media::Fraction> rate, std::optional<media::Fraction> sar = {},
                       int rotation = 0) {
    media::VideoInfo v;
    v.container = c;
    v.codec = c == media::Container::Mp4 ? "avc1" : "";
    v.width = w;
    v.height = h;
    v.rate = rate;
    v.sar = sar;
    v.rotation = rotation;
    return v;
}

Report read(const media::VideoInfo& v, const Options& o) {
    return readVideo("clip", v, sourceView(v), o);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const media::VideoInfo kPalWideRip =
    video(media::Container::Mp4, 720, 576, media::Fraction{25, 1}, media::Fraction{64, 45});
const media::VideoInfo kPhone = video(media::Container::Matroska, 1920, 1080,
                                      media::Fraction{30000, 1001}, media::Fraction{1, 1}, 90);

TEST(ReadVideo, ReportsTheContainerAndTheShownPictureInJson) {
    Options o;
    const std::string rip = formatJson(read(kPalWideRip, o), o);
    EXPECT_TRUE(has(rip, R"("class":"PAL","container":"MP4","codec":"avc1",)"
                         R"("sar":{"num":64,"den":45},"display":{"width":1024,"height":576},)"
                         R"("rotation":0,"duration":null,)"))
        << rip;
    EXPECT_TRUE(has(rip, R"("rate":{"num":25,"den":1,"fps":25,"variable":false})")) << rip;
    // 720x576 of 64:45 shows 16:9 and fills a 16:9 PAL DVD.
    EXPECT_TRUE(has(rip, R"("movie":{"width":720,"height":576})")) << rip;

    media::VideoInfo phone = kPhone;
    phone.variableRate = true;
    const std::string turned = formatJson(read(phone, o), o);
    EXPECT_TRUE(has(turned, R"("container":"Matroska","codec":null,"sar":{"num":1,"den":1},)"
                            R"("display":{"width":1080,"height":1920},"rotation":90,)"))
        << turned;
    EXPECT_TRUE(has(turned, R"("variable":true)")) << turned;
    phone.rotation = 270;
    const std::string back = formatJson(read(phone, o), o);
    EXPECT_TRUE(has(back, R"("display":{"width":1080,"height":1920},"rotation":270,)")) << back;
    phone.rotation = 180;
    const std::string upsideDown = formatJson(read(phone, o), o);
    EXPECT_TRUE(has(upsideDown, R"("display":{"width":1920,"height":1080},"rotation":180,)"))
        << upsideDown;
}

// What the reader found passes to the report; a film rate with no terms, a
// crop that leaves no picture, are taken as unstated.
TEST(ReadVideo, PassesTheEncodeFactsOn) {
    media::VideoInfo film = video(media::Container::MpegPs, 720, 480, media::Fraction{30000, 1001});
    film.durationMs = 5'525'040;
    film.frames = 132'469;
    film.scan = media::Scan::Interlaced;
    film.fieldOrder = media::FieldOrder::BottomFirst;
    film.pulldown = true;
    film.filmRate = media::Fraction{24000, 1001};
    film.crop = media::Crop{8, 0, 8, 0};
    Options o;
    const Json j = Json::parse(formatJson(read(film, o), o));
    EXPECT_EQ(j["duration"], 5525.04);
    EXPECT_EQ(j["frames"], 132469);
    EXPECT_EQ(j["field_order"], "bottom first");
    EXPECT_EQ(j["film_rate"]["num"], 24000);
    EXPECT_EQ(j["crop"]["right"], 8);

    film.filmRate = media::Fraction{24000, 0};
    film.crop = media::Crop{360, 0, 360, 0};
    const Json odd = Json::parse(formatJson(read(film, o), o));
    EXPECT_TRUE(odd["film_rate"].is_null()) << odd;
    EXPECT_TRUE(odd["crop"].is_null()) << odd;
    EXPECT_EQ(odd["pulldown"], true);
}

TEST(ReadVideo, WithParFitsTheShownPicture) {
    Options o;
    o.par = PixelShape::Plain;
    o.aspect = DisplayAspect::Standard;
    o.standard = StandardChoice::Ntsc;
    const Report rip = read(kPalWideRip, o);
    ASSERT_EQ(rip.targets.size(), 1u);
    EXPECT_EQ(rip.targets[0].movie, (FrameSize{720, 360}));
    o.standard = StandardChoice::Auto;
    const Report phone = read(kPhone, o);
    ASSERT_EQ(phone.targets.size(), 1u);
    EXPECT_EQ(phone.targets[0].movie, (FrameSize{304, 480}));
    EXPECT_FALSE(has(formatText(phone, o), "note:")) << "the fit already uses the shape";
}

TEST(ReadVideo, TextSaysWhenPixelsAreNotSquareOrTheSourceIsTurned) {
    Options o;
    EXPECT_TRUE(has(formatText(read(kPalWideRip, o), o), "display: 1024x576 (pixel 64:45)\n"));
    o.par = PixelShape::Square;
    const std::string rip = formatText(read(kPalWideRip, o), o);
    EXPECT_TRUE(has(rip, "container: MP4, codec avc1\n")) << rip;
    EXPECT_TRUE(has(rip, "note: the picture shows as 1024x576 (pixel 64:45); these sizes count its "
                         "pixels, without --window they fit its shape\n"))
        << rip;
    const std::string phone = formatText(read(kPhone, o), o);
    EXPECT_TRUE(has(phone, "note: the picture shows as 1080x1920 (turned 90 degrees);")) << phone;
    const std::string square = formatText(
        read(video(media::Container::Mp4, 640, 480, media::Fraction{25, 1}, media::Fraction{1, 1}),
             o),
        o);
    EXPECT_FALSE(has(square, "note:")) << square;
}

TEST(ReadVideo, AnUnknownRateHasNoClassAndGetsNtsc) {
    Options o;
    const Report r = read(video(media::Container::MpegEs, 720, 576, std::nullopt), o);
    EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_FALSE(r.rate);
    EXPECT_FALSE(r.rateClass);
    ASSERT_EQ(r.targets.size(), 1u);
    EXPECT_EQ(r.targets[0].standard, disc::Standard::Ntsc);
    EXPECT_TRUE(has(formatText(r, o), "rate: unknown")) << formatText(r, o);
    EXPECT_TRUE(has(formatJson(r, o), R"("rate":null,"class":null,"container":"MPEG-ES")"));
}

TEST(ReadVideo, RefusesWhatTheWindowRefuses) {
    Options o;
    const Report zero = read(video(media::Container::Mp4, 640, 480, media::Fraction{25, 0}), o);
    EXPECT_TRUE(has(zero.error, "rate divisor")) << zero.error;
    EXPECT_TRUE(zero.targets.empty());
    const Report wide = read(video(media::Container::Mp4, 40000, 480, media::Fraction{25, 1}), o);
    EXPECT_TRUE(has(wide.error, "width is out of range")) << wide.error;
}

TEST(ReadVideo, AnImplausiblePixelShapeIsTakenAsUnstated) {
    Options o;
    o.par = PixelShape::Plain;
    for (const media::Fraction sar :
         {media::Fraction{70000, 1}, media::Fraction{0, 1}, media::Fraction{1, -3}}) {
        const Report r =
            read(video(media::Container::Mp4, 640, 480, media::Fraction{25, 1}, sar), o);
        ASSERT_TRUE(r.source);
        EXPECT_FALSE(r.source->sar) << sar.num << ":" << sar.den;
        EXPECT_EQ(r.source->displayWidth, 640);
        EXPECT_EQ(r.targets.at(0).movie, (FrameSize{720, 576}));
    }
}

} // namespace
} // namespace quorvel::info
