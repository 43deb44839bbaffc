#include "resize/calc.h"

#include "resize/messages.h"
#include "resize/number.h"
#include "resize/rounding.h"

namespace quorvel {

std::optional<FrameSize> tvFrame(int format, bool pal) {
    switch (format) {
    case kFormatVcd:
        return pal ? FrameSize{352, 288} : FrameSize{352, 240};
    case kFormatSvcd:
        return pal ? FrameSize{480, 576} : FrameSize{480, 480};
    case kFormatDvd:
        return pal ? FrameSize{720, 576} : FrameSize{720, 480};
    default:
        return std::nullopt;
    }
}

namespace {
ResizeResult failure(ResizeError error) {
    ResizeResult result;
    result.error = error;
    return result;
}
} // namespace

ResizeResult computeResize(const ResizeInput& input) {
    const SourceNumber width = parseSourceNumber(input.widthText);
    if (width.status != NumberStatus::Ok)
        return failure(width.status == NumberStatus::OutOfRange ? ResizeError::WidthOutOfRange
                                                                : ResizeError::WidthNotANumber);
    const SourceNumber height = parseSourceNumber(input.heightText);
    if (height.status != NumberStatus::Ok)
        return failure(height.status == NumberStatus::OutOfRange ? ResizeError::HeightOutOfRange
                                                                 : ResizeError::HeightNotANumber);
    if (height.value == 0)
        return failure(ResizeError::HeightZero);

    const double ratio = static_cast<double>(width.value) / static_cast<double>(height.value);

    ResizeResult result;
    result.fps = input.palSelected        ? kFpsPal
                 : input.ntscFilmSelected ? kFpsNtscFilm
                                          : kFpsNtscVideo;

    const auto frame = tvFrame(input.format.value_or(kFormatVcd), result.fps == kFpsPal);
    if (!frame)
        return result;

    const double tvWidth = frame->width;
    const double tvHeight = frame->height;
    ResizeSizes sizes{*frame, {}};
    // Strictly wider than the frame: the width is the limit. A tie, and every
    // negative ratio, is height-limited. The sides fit in an int: |ratio| is at
    // most 32767 and at least 1/32768.
    const bool widthLimited = ratio * tvHeight > tvWidth;
    if (widthLimited)
        sizes.movie = {frame->width, static_cast<int>(roundHalfEvenToInt(tvWidth / ratio))};
    else
        sizes.movie = {static_cast<int>(roundHalfEvenToInt(ratio * tvHeight)), frame->height};
    result.sizes = sizes;

    auto write = [&](ResultBox box, int value) {
        result.writes.push_back({box, decimalText(value)});
    };
    write(ResultBox::TvWidth, sizes.tv.width);
    write(ResultBox::TvHeight, sizes.tv.height);
    // The limiting side is written first, as the window always has.
    if (widthLimited) {
        write(ResultBox::MovieWidth, sizes.movie.width);
        write(ResultBox::MovieHeight, sizes.movie.height);
    } else {
        write(ResultBox::MovieHeight, sizes.movie.height);
        write(ResultBox::MovieWidth, sizes.movie.width);
    }
    return result;
}

std::string describeResizeError(ResizeError error) {
    switch (error) {
    case ResizeError::None:
        return {};
    case ResizeError::WidthNotANumber:
        return kWidthNotANumberText;
    case ResizeError::WidthOutOfRange:
        return kWidthOutOfRangeText;
    case ResizeError::HeightNotANumber:
        return kHeightNotANumberText;
    case ResizeError::HeightOutOfRange:
        return kHeightOutOfRangeText;
    case ResizeError::HeightZero:
        return kHeightZeroText;
    }
    return {};
}

} // namespace quorvel
