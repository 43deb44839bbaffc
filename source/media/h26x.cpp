#include "source/media/h26x.h"

#include "source/media/bit_reader.h"

#include <algorithm>
#include <numeric>

namespace quorvel::media::h26x {

namespace {

// Table E-1, shared by both codecs.
constexpr std::uint16_t kAspects[17][2] = {
    {0, 0},   {1, 1},   {12, 11}, {10, 11}, {16, 11},  {40, 33}, {24, 11}, {20, 11}, {32, 11},
    {80, 33}, {18, 11}, {15, 11}, {64, 33}, {160, 99}, {4, 3},   {3, 2},   {2, 1}};
constexpr std::uint32_t kExtendedSar = 255;

// Upper bounds the standards put on the fields we pass; a larger value means
// we are reading garbage.
constexpr std::uint32_t kMaxH264SpsId = 31;
constexpr std::uint32_t kMaxChromaFormat = 3;
constexpr std::uint32_t kMaxBitDepthMinus8 = 6;
constexpr std::uint32_t kMaxLog2Minus4 = 12;
constexpr std::uint32_t kMaxPocCycle = 255;
constexpr std::uint32_t kMaxH265SpsId = 15;
constexpr std::uint32_t kMaxH265BitDepthMinus8 = 8;
constexpr std::uint32_t kMaxShortTermSets = 64;
constexpr std::uint32_t kMaxDeltaPics = 16;
constexpr std::uint32_t kMaxLongTermPics = 32;
constexpr std::uint32_t kMaxLog2Size = 6; // coding and transform block sizes
constexpr std::uint32_t kMaxCpbCountMinus1 = 31;

// A ue(v) whose value must not exceed `max`; a larger one fails the reader.
std::uint32_t ue(BitReader& r, std::uint32_t max) {
    const std::uint32_t v = r.ue();
    if (v > max)
        r.skipBits(r.bitsLeft() + 1); // fails it
    return v;
}

std::optional<Fraction> readAspect(BitReader& r) {
    if (!r.flag()) // aspect_ratio_info_present_flag
        return std::nullopt;
    const std::uint32_t idc = r.bits(8);
    std::uint32_t w = 0, h = 0;
    if (idc == kExtendedSar) {
        w = r.bits(16);
        h = r.bits(16);
    }
    if (r.failed())
        return std::nullopt;
    return aspectFromIdc(idc, w, h);
}

// The VUI fields both codecs share after the aspect ratio.
void skipVuiSignal(BitReader& r) {
    if (r.flag())      // overscan_info_present_flag
        r.skipBits(1); // overscan_appropriate_flag
    if (r.flag()) {    // video_signal_type_present_flag
        r.skipBits(3 + 1);
        if (r.flag()) // colour_description_present_flag
            r.skipBits(24);
    }
    if (r.flag()) { // chroma_loc_info_present_flag
        r.ue();
        r.ue();
    }
}

// H.264 hrd_parameters(), Annex E.
void skipH264Hrd(BitReader& r) {
    const std::uint32_t count = ue(r, kMaxCpbCountMinus1);
    r.skipBits(4 + 4); // bit_rate_scale, cpb_size_scale
    for (std::uint32_t i = 0; i <= count && !r.failed(); ++i) {
        r.ue();
        r.ue();
        r.skipBits(1); // cbr_flag
    }
    r.skipBits(4 * 5); // the four delay and offset lengths
}

// H.264 VUI after the aspect ratio, as far as pic_struct_present_flag.
bool readH264PicStructPresent(BitReader& r) {
    skipVuiSignal(r);
    if (r.flag())                // timing_info_present_flag
        r.skipBits(32 + 32 + 1); // num_units_in_tick, time_scale, fixed_frame_rate_flag
    const bool nalHrd = r.flag();
    if (nalHrd)
        skipH264Hrd(r);
    const bool vclHrd = r.flag();
    if (vclHrd)
        skipH264Hrd(r);
    if (nalHrd || vclHrd)
        r.skipBits(1); // low_delay_hrd_flag
    const bool present = r.flag();
    return present && !r.failed();
}

void skipH264ScalingList(BitReader& r, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size && !r.failed(); ++j) {
        if (next != 0) {
            const std::int32_t delta = r.se();
            if (delta < -128 || delta > 127) {
                r.skipBits(r.bitsLeft() + 1);
                return;
            }
            next = (last + delta + 256) % 256;
        }
        last = next == 0 ? last : next;
    }
}

bool hasH264ChromaFields(std::uint32_t profile) {
    switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
        return true;
    default:
        return false;
    }
}

// The general profile's source flags: the content is progressive, interlaced,
// both (each picture says) or neither (unknown).
struct SourceFlags {
    bool progressive = false, interlaced = false;
};

SourceFlags skipH265ProfileTierLevel(BitReader& r, std::uint32_t maxSubLayersMinus1) {
    r.skipBits(2 + 1 + 5 + 32); // profile space, tier, profile, compatibility flags
    SourceFlags source;
    source.progressive = r.flag();
    source.interlaced = r.flag();
    r.skipBits(96 - 42); // the other constraint flags and the level
    bool profilePresent[8] = {};
    bool levelPresent[8] = {};
    for (std::uint32_t i = 0; i < maxSubLayersMinus1; ++i) {
        profilePresent[i] = r.flag();
        levelPresent[i] = r.flag();
    }
    if (maxSubLayersMinus1 > 0)
        r.skipBits(2 * (8 - maxSubLayersMinus1));
    for (std::uint32_t i = 0; i < maxSubLayersMinus1; ++i) {
        if (profilePresent[i])
            r.skipBits(88);
        if (levelPresent[i])
            r.skipBits(8);
    }
    return source;
}

void skipH265ScalingListData(BitReader& r) {
    for (int sizeId = 0; sizeId < 4; ++sizeId)
        for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
            if (!r.flag()) { // scaling_list_pred_mode_flag
                ue(r, static_cast<std::uint32_t>(sizeId == 3 ? matrixId / 3 : matrixId));
                continue;
            }
            const int coefficients = std::min(64, 1 << (4 + (sizeId << 1)));
            if (sizeId > 1) {
                const std::int32_t dc = r.se();
                if (dc < -7 || dc > 247)
                    r.skipBits(r.bitsLeft() + 1);
            }
            for (int i = 0; i < coefficients && !r.failed(); ++i) {
                const std::int32_t delta = r.se();
                if (delta < -128 || delta > 127)
                    r.skipBits(r.bitsLeft() + 1);
            }
        }
}

// st_ref_pic_set(idx) as it appears in an SPS; `deltaPocs` holds each earlier
// set's NumDeltaPocs, which inter prediction needs.
void skipH265ShortTermSet(BitReader& r, std::uint32_t idx, std::vector<std::uint32_t>& deltaPocs) {
    if (idx != 0 && r.flag()) { // inter_ref_pic_set_prediction_flag
        r.skipBits(1);          // delta_rps_sign
        ue(r, 32767);           // abs_delta_rps_minus1
        std::uint32_t count = 0;
        for (std::uint32_t j = 0; j <= deltaPocs[idx - 1] && !r.failed(); ++j) {
            const bool used = r.flag();
            if (used || r.flag()) // use_delta_flag
                ++count;
        }
        deltaPocs.push_back(std::min(count, 2 * kMaxDeltaPics));
        return;
    }
    const std::uint32_t negative = ue(r, kMaxDeltaPics);
    const std::uint32_t positive = ue(r, kMaxDeltaPics);
    for (std::uint32_t i = 0; i < negative + positive && !r.failed(); ++i) {
        ue(r, 32767); // delta_poc_sN_minus1
        r.skipBits(1);
    }
    deltaPocs.push_back(negative + positive);
}

} // namespace

std::vector<std::uint8_t> unescape(Bytes nal) {
    std::vector<std::uint8_t> out;
    out.reserve(std::min(nal.size(), kMaxParameterSetSize));
    int zeros = 0;
    for (std::size_t i = 0; i < nal.size() && out.size() < kMaxParameterSetSize; ++i) {
        const std::uint8_t b = nal[i];
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

std::optional<Fraction> aspectFromIdc(std::uint32_t idc, std::uint32_t sarWidth,
                                      std::uint32_t sarHeight) {
    std::int64_t w = 0, h = 0;
    if (idc >= 1 && idc <= 16) {
        w = kAspects[idc][0];
        h = kAspects[idc][1];
    } else if (idc == kExtendedSar) {
        w = sarWidth;
        h = sarHeight;
    }
    if (w == 0 || h == 0)
        return std::nullopt;
    const std::int64_t g = std::gcd(w, h);
    return Fraction{w / g, h / g};
}

SpsFacts h264Sps(Bytes nal) {
    SpsFacts facts;
    if (nal.empty() || (nal[0] & 0x1f) != 7)
        return facts;
    const std::vector<std::uint8_t> rbsp = unescape(nal.subspan(1));
    BitReader r(rbsp);
    const std::uint32_t profile = r.bits(8);
    r.skipBits(16); // constraint flags, level_idc
    ue(r, kMaxH264SpsId);
    if (hasH264ChromaFields(profile)) {
        const std::uint32_t chroma = ue(r, kMaxChromaFormat);
        if (chroma == 3)
            r.skipBits(1); // separate_colour_plane_flag
        ue(r, kMaxBitDepthMinus8);
        ue(r, kMaxBitDepthMinus8);
        r.skipBits(1); // qpprime_y_zero_transform_bypass_flag
        if (r.flag()) {
            const int lists = chroma == 3 ? 12 : 8;
            for (int i = 0; i < lists && !r.failed(); ++i)
                if (r.flag())
                    skipH264ScalingList(r, i < 6 ? 16 : 64);
        }
    }
    ue(r, kMaxLog2Minus4); // log2_max_frame_num_minus4
    const std::uint32_t pocType = ue(r, 2);
    if (pocType == 0) {
        ue(r, kMaxLog2Minus4);
    } else if (pocType == 1) {
        r.skipBits(1);
        r.se();
        r.se();
        const std::uint32_t cycle = ue(r, kMaxPocCycle);
        for (std::uint32_t i = 0; i < cycle && !r.failed(); ++i)
            r.se();
    }
    r.ue(); // max_num_ref_frames
    r.skipBits(1);
    r.ue(); // pic_width_in_mbs_minus1
    r.ue(); // pic_height_in_map_units_minus1
    const bool frameMbsOnly = r.flag();
    if (r.failed())
        return facts;
    facts.scan = frameMbsOnly ? Scan::Progressive : Scan::Interlaced;
    if (!frameMbsOnly)
        r.skipBits(1); // mb_adaptive_frame_field_flag
    r.skipBits(1);     // direct_8x8_inference_flag
    if (r.flag())      // frame_cropping_flag
        for (int i = 0; i < 4; ++i)
            r.ue();
    if (r.failed() || !r.flag()) // vui_parameters_present_flag
        return facts;
    facts.sar = readAspect(r);
    facts.picStructPresent = readH264PicStructPresent(r);
    return facts;
}

std::optional<Fraction> h264SpsAspect(Bytes nal) {
    return h264Sps(nal).sar;
}

SpsFacts h265Sps(Bytes nal) {
    SpsFacts facts;
    if (nal.size() < 2 || ((nal[0] >> 1) & 0x3f) != 33)
        return facts;
    const std::vector<std::uint8_t> rbsp = unescape(nal.subspan(2));
    BitReader r(rbsp);
    r.skipBits(4); // sps_video_parameter_set_id
    const std::uint32_t maxSubLayersMinus1 = r.bits(3);
    if (maxSubLayersMinus1 > 6)
        return facts;
    r.skipBits(1); // sps_temporal_id_nesting_flag
    const SourceFlags source = skipH265ProfileTierLevel(r, maxSubLayersMinus1);
    ue(r, kMaxH265SpsId);
    if (ue(r, kMaxChromaFormat) == 3)
        r.skipBits(1);
    r.ue();       // pic_width_in_luma_samples
    r.ue();       // pic_height_in_luma_samples
    if (r.flag()) // conformance_window_flag
        for (int i = 0; i < 4; ++i)
            r.ue();
    ue(r, kMaxH265BitDepthMinus8);
    ue(r, kMaxH265BitDepthMinus8);
    const std::uint32_t log2PocLsbMinus4 = ue(r, kMaxLog2Minus4);
    const bool orderingForEachLayer = r.flag();
    for (std::uint32_t i = orderingForEachLayer ? 0 : maxSubLayersMinus1;
         i <= maxSubLayersMinus1 && !r.failed(); ++i)
        for (int j = 0; j < 3; ++j)
            r.ue();
    for (int i = 0; i < 4; ++i) // coding and transform block sizes
        ue(r, kMaxLog2Size);
    ue(r, kMaxLog2Size);      // max_transform_hierarchy_depth_inter
    ue(r, kMaxLog2Size);      // max_transform_hierarchy_depth_intra
    if (r.flag() && r.flag()) // scaling_list_enabled, sps_scaling_list_data_present
        skipH265ScalingListData(r);
    r.skipBits(2);  // amp_enabled_flag, sample_adaptive_offset_enabled_flag
    if (r.flag()) { // pcm_enabled_flag
        r.skipBits(8);
        r.ue();
        r.ue();
        r.skipBits(1);
    }
    const std::uint32_t sets = ue(r, kMaxShortTermSets);
    std::vector<std::uint32_t> deltaPocs;
    for (std::uint32_t i = 0; i < sets && !r.failed(); ++i)
        skipH265ShortTermSet(r, i, deltaPocs);
    if (r.flag()) { // long_term_ref_pics_present_flag
        const std::uint32_t count = ue(r, kMaxLongTermPics);
        for (std::uint32_t i = 0; i < count && !r.failed(); ++i)
            r.skipBits(log2PocLsbMinus4 + 4 + 1);
    }
    r.skipBits(2);             // sps_temporal_mvp_enabled_flag, strong_intra_smoothing_enabled_flag
    const bool vui = r.flag(); // vui_parameters_present_flag
    bool fieldSeq = false;
    if (vui) {
        facts.sar = readAspect(r);
        skipVuiSignal(r);
        r.skipBits(1); // neutral_chroma_indication_flag
        fieldSeq = r.flag();
    }
    if (r.failed())
        return facts;
    if (fieldSeq || (source.interlaced && !source.progressive))
        facts.scan = Scan::Interlaced;
    else if (source.progressive && !source.interlaced)
        facts.scan = Scan::Progressive;
    return facts;
}

std::optional<Fraction> h265SpsAspect(Bytes nal) {
    return h265Sps(nal).sar;
}

Bytes avcConfigSps(Bytes record) {
    ByteCursor c(record);
    c.skip(5); // version, profile, compatibility, level, length size
    const int count = c.u8() & 0x1f;
    if (c.failed() || count == 0)
        return {};
    const std::uint16_t length = c.be16();
    return c.take(length);
}

Bytes hevcConfigSps(Bytes record) {
    ByteCursor c(record);
    c.skip(22);
    const int arrays = c.u8();
    for (int i = 0; i < arrays && !c.failed(); ++i) {
        const int type = c.u8() & 0x3f;
        const std::uint16_t units = c.be16();
        for (std::uint16_t j = 0; j < units && !c.failed(); ++j) {
            const Bytes nal = c.take(c.be16());
            if (type == 33 && !c.failed())
                return nal;
        }
    }
    return {};
}

} // namespace quorvel::media::h26x
