#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Output rate codes held in the window's `fps`.
enum FpsCode : std::int16_t { kFpsPal = 1, kFpsNtscFilm = 2, kFpsNtscVideo = 3 };

// Positions of the format list, which are also the values of `format`.
enum FormatCode : int { kFormatVcd = 0, kFormatSvcd = 1, kFormatDvd = 2, kFormatUserDefined = 3 };

struct FrameSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// The full frame a disc format needs; none for "User Defined" or an unknown code.
std::optional<FrameSize> tvFrame(int format, bool pal);

enum class ResultBox { TvWidth, TvHeight, MovieWidth, MovieHeight };

struct BoxWrite {
    ResultBox box;
    std::string text;
    friend bool operator==(const BoxWrite&, const BoxWrite&) = default;
};

enum class ResizeError {
    None,
    WidthNotANumber,
    WidthOutOfRange,
    HeightNotANumber,
    HeightOutOfRange,
    HeightZero,
};

struct ResizeInput {
    std::string_view widthText;
    std::string_view heightText;
    bool palSelected = false;
    bool ntscFilmSelected = false;
    std::optional<int> format; // unset until the user (or a file) picks an entry
};

// The four result sizes as numbers; the box texts are written from them.
struct ResizeSizes {
    FrameSize tv;
    FrameSize movie;
    friend bool operator==(const ResizeSizes&, const ResizeSizes&) = default;
};

struct ResizeResult {
    ResizeError error = ResizeError::None;
    std::int16_t fps = 0;
    // None for "User Defined", like the writes.
    std::optional<ResizeSizes> sizes;
    // The result boxes to rewrite, in the order they are to be written. Empty for
    // "User Defined": the boxes keep what they show.
    std::vector<BoxWrite> writes;

    bool ok() const { return error == ResizeError::None; }
};

// The TV frame for the chosen format and standard, and the largest picture with
// the source's pixel ratio that fits in it. On failure nothing is to change.
ResizeResult computeResize(const ResizeInput& input);

// A sentence for the user that says which source box is wrong and why.
std::string describeResizeError(ResizeError error);

} // namespace quorvel
