#include "disc/preview.h"

#include <gtest/gtest.h>

namespace quorvel::disc {
namespace {

TargetSizes sizes(FrameSize tv, FrameSize movie, std::optional<DisplayAspect> aspect) {
    TargetSizes t;
    t.tv = tv;
    t.movie = movie;
    t.aspect = aspect;
    return t;
}

struct Case {
    const char* name;
    TargetSizes target;
    int viewWidth, viewHeight;
    bool interlaced;
    Rect frame, picture;
};

TEST(PreviewGeometry, FrameAtDisplayAspectPictureWherePadPutsIt) {
    const auto wide = DisplayAspect::Wide;
    const auto standard = DisplayAspect::Standard;
    const Case cases[] = {
        // Letterboxed 16:9 in a 4:3 view: bars above and below the frame and the picture.
        {"letterbox",
         sizes({720, 576}, {720, 432}, wide),
         320,
         240,
         false,
         {0, 30, 320, 180},
         {0, 53, 320, 135}},
        // Pillarboxed 4:3: 90 of 720 columns each side.
        {"pillarbox",
         sizes({720, 576}, {540, 576}, standard),
         400,
         300,
         false,
         {0, 0, 400, 300},
         {50, 0, 300, 300}},
        // A tall view: the frame's width decides, centred vertically.
        {"tall view",
         sizes({720, 480}, {720, 480}, wide),
         160,
         200,
         false,
         {0, 55, 160, 90},
         {0, 55, 160, 90}},
        // A wide view: the height decides, centred across.
        {"wide view",
         sizes({352, 288}, {352, 288}, standard),
         500,
         120,
         false,
         {170, 0, 160, 120},
         {170, 0, 160, 120}},
        // Square pixels show the frame as its pixels count.
        {"square",
         sizes({640, 480}, {640, 360}, std::nullopt),
         100,
         100,
         false,
         {0, 12, 100, 75},
         {0, 21, 100, 57}},
        // Interlaced: 434 lines become 432 at line 72, as the encode pads them.
        {"interlaced",
         sizes({720, 576}, {720, 434}, wide),
         720,
         405,
         true,
         {0, 0, 720, 405},
         {0, 51, 720, 303}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto g = previewGeometry(c.target, c.viewWidth, c.viewHeight, c.interlaced);
        ASSERT_TRUE(g);
        EXPECT_EQ(g->frame, c.frame);
        EXPECT_EQ(g->picture, c.picture);
    }
}

TEST(PreviewGeometry, NothingWithoutArea) {
    const TargetSizes ok = sizes({720, 576}, {720, 576}, DisplayAspect::Wide);
    EXPECT_FALSE(previewGeometry(ok, 0, 100));
    EXPECT_FALSE(previewGeometry(ok, 100, -1));
    EXPECT_FALSE(previewGeometry(sizes({720, 576}, {0, 576}, DisplayAspect::Wide), 100, 100));
    EXPECT_FALSE(previewGeometry(sizes({720, 576}, {722, 576}, DisplayAspect::Wide), 100, 100));
}

} // namespace
} // namespace quorvel::disc
