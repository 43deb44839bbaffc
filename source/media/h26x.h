#pragma once

// What an H.264 or H.265 sequence parameter set says about the picture: the
// sample aspect ratio its VUI states and whether the stream may hold fields,
// for containers that keep the parameter sets in a configuration record (avcC,
// hvcC) rather than fields of their own.

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

// What one SPS tells; each fact is none when the set does not say or is
// damaged before it. Field order is never here: H.264 and H.265 state it per
// picture (pic_struct in the picture timing SEI), not in the SPS.
struct SpsFacts {
    std::optional<Fraction> sar; // the VUI sample aspect ratio
    // H.264: frame_mbs_only_flag 1 is progressive; 0 lets pictures be coded as
    // fields or field pairs, which we call interlaced. H.265: the VUI's
    // field_seq_flag 1 (pictures are fields) is interlaced; else the profile's
    // source flags decide when exactly one of progressive and interlaced is set.
    std::optional<Scan> scan;
    // H.264: the VUI's pic_struct_present_flag, under which each picture's
    // timing SEI carries pic_struct, and with it the field order.
    bool picStructPresent = false;
};

// The facts of an SPS NAL unit (header byte(s) included, still escaped).
SpsFacts h264Sps(Bytes nal);
SpsFacts h265Sps(Bytes nal);

// The VUI sample aspect ratio of an SPS NAL unit; none when it states none or
// the set is damaged.
std::optional<Fraction> h264SpsAspect(Bytes nal);
std::optional<Fraction> h265SpsAspect(Bytes nal);

// The first SPS NAL unit in an AVCDecoderConfigurationRecord or an
// HEVCDecoderConfigurationRecord; empty when there is none or it is cut short.
Bytes avcConfigSps(Bytes record);
Bytes hevcConfigSps(Bytes record);

} // namespace quorvel::media::h26x
