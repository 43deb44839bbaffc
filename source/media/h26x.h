#pragma once

// The sample aspect ratio an H.264 or H.265 sequence parameter set states in
// its VUI, for containers that keep the parameter sets in a configuration
// record (avcC, hvcC) rather than a shape field of their own.

#include "source/media/byte_cursor.h"
#include "source/media/media.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvel::media::h26x {

// Real parameter sets are a few hundred bytes at most; longer NAL units are
// read only this far (a set whose VUI lies beyond it simply states no shape).
inline constexpr std::size_t kMaxParameterSetSize = 4096;

// The NAL unit's payload without its emulation-prevention bytes (00 00 03),
// at most kMaxParameterSetSize bytes of it.
std::vector<std::uint8_t> unescape(Bytes nal);

// aspect_ratio_idc to a ratio: 1..16 from the table, 255 the explicit pair.
// None for 0 (unspecified), reserved values and a zero in the explicit pair.
std::optional<Fraction> aspectFromIdc(std::uint32_t idc, std::uint32_t sarWidth,
                                      std::uint32_t sarHeight);

// The VUI sample aspect ratio of an SPS NAL unit (header byte(s) included,
// still escaped); none when it states none or the set is damaged.
std::optional<Fraction> h264SpsAspect(Bytes nal);
std::optional<Fraction> h265SpsAspect(Bytes nal);

// The first SPS NAL unit in an AVCDecoderConfigurationRecord or an
// HEVCDecoderConfigurationRecord; empty when there is none or it is cut short.
Bytes avcConfigSps(Bytes record);
Bytes hevcConfigSps(Bytes record);

} // namespace quorvel::media::h26x
