#pragma once

// What the window shows after reading a file, as plain numbers: the window
// writes these into its controls, and quorvel-info reports them.

#include "resize/calc.h"
#include "source/avi/avifile.h"
#include "source/media/media.h"
#include "source/rate.h"

#include <cstdint>
#include <optional>

namespace quorvel {

struct SourceView {
    // Signed, as the window reads the record's fields.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // The file's rate over its scale; none when the file does not say.
    std::optional<media::Fraction> rate;
    std::optional<double> fps;          // none without a rate or with a divisor of 0
    std::optional<RateClass> rateClass; // set exactly when fps is
    std::int16_t fpsCode = 0;           // kFpsPal and so on; 0 without a class
    int format = kFormatDvd;            // the format list's choice after a file
};

// The rate's class and output code, by the window's rule and double arithmetic.
SourceView sourceView(std::int32_t width, std::int32_t height, std::optional<media::Fraction> rate);
SourceView sourceView(const avifile::AVIFILEINFO& record);
// Coded sizes above 2^31 read as negative, as they would in an AVI record.
SourceView sourceView(const media::VideoInfo& video);

} // namespace quorvel
