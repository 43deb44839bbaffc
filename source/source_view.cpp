#include "source/source_view.h"

namespace quorvel {

namespace {

std::int16_t fpsCodeOf(RateClass c) {
    switch (c) {
    case RateClass::Pal:
        return kFpsPal;
    case RateClass::NtscFilm:
        return kFpsNtscFilm;
    case RateClass::NtscVideo:
        break;
    }
    return kFpsNtscVideo;
}

} // namespace

SourceView sourceView(std::int32_t width, std::int32_t height,
                      std::optional<media::Fraction> rate) {
    SourceView v;
    v.width = width;
    v.height = height;
    v.rate = rate;
    if (rate && rate->den != 0) {
        // Exact for every 32-bit field, as in frameRate.
        v.fps = static_cast<double>(rate->num) / static_cast<double>(rate->den);
        v.rateClass = classifyRate(*v.fps);
        v.fpsCode = fpsCodeOf(*v.rateClass);
    }
    return v;
}

SourceView sourceView(const avifile::AVIFILEINFO& record) {
    // The window's division of the two signed fields.
    const auto rate = static_cast<std::int32_t>(record.dwRate);
    const auto scale = static_cast<std::int32_t>(record.dwScale);
    return sourceView(static_cast<std::int32_t>(record.dwWidth),
                      static_cast<std::int32_t>(record.dwHeight), media::Fraction{rate, scale});
}

SourceView sourceView(const media::VideoInfo& video) {
    return sourceView(static_cast<std::int32_t>(video.width),
                      static_cast<std::int32_t>(video.height), video.rate);
}

} // namespace quorvel
