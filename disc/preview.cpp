#include "disc/preview.h"

#include "disc/ffmpeg_command.h"

#include <cstdint>

namespace quorvel::disc {

namespace {

// a * b / c to the nearest integer; all positive and far below 2^31.
int scaled(std::int64_t a, std::int64_t b, std::int64_t c) {
    return static_cast<int>((a * b + c / 2) / c);
}

} // namespace

std::optional<PreviewGeometry> previewGeometry(const TargetSizes& t, int viewWidth, int viewHeight,
                                               bool interlaced) {
    const FrameSize tv = t.tv;
    const FrameSize movie = t.movie;
    if (viewWidth <= 0 || viewHeight <= 0 || tv.width <= 0 || tv.height <= 0 || movie.width <= 0 ||
        movie.height <= 0 || movie.width > tv.width || movie.height > tv.height)
        return std::nullopt;
    std::int64_t num = tv.width;
    std::int64_t den = tv.height;
    if (t.aspect) {
        const bool wide = *t.aspect == DisplayAspect::Wide;
        num = wide ? 16 : 4;
        den = wide ? 9 : 3;
    }
    Rect frame;
    if (viewWidth * den <= viewHeight * num) {
        frame.width = viewWidth;
        frame.height = scaled(viewWidth, den, num);
    } else {
        frame.height = viewHeight;
        frame.width = scaled(viewHeight, num, den);
    }
    if (frame.width <= 0 || frame.height <= 0)
        return std::nullopt;
    frame.x = (viewWidth - frame.width) / 2;
    frame.y = (viewHeight - frame.height) / 2;

    // Each edge rounded on its own, so that neighbouring edges meet.
    const Placement place = placePicture(tv, movie, interlaced);
    const int left = scaled(place.left, frame.width, tv.width);
    const int right = scaled(place.left + place.movie.width, frame.width, tv.width);
    const int top = scaled(place.top, frame.height, tv.height);
    const int bottom = scaled(place.top + place.movie.height, frame.height, tv.height);
    const Rect picture{frame.x + left, frame.y + top, right - left, bottom - top};
    return PreviewGeometry{frame, picture};
}

} // namespace quorvel::disc
