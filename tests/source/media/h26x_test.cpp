#include "source/media/h26x.h"
#include "tests/source/media/media_print.h"
#include "tests/source/media/media_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvel::media {

namespace {

using Nal = std::vector<std::uint8_t>;

// Writes a parameter set bit by bit, then escapes it as a NAL unit.
class BitWriter {
public:
    void bits(std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i)
            bits_.push_back((v >> i) & 1);
    }
    void flag(bool b) { bits(b, 1); }
    void ue(std::uint32_t v) {
        const std::uint64_t code = std::uint64_t{v} + 1;
        int length = 0;
        while ((code >> length) > 1)
            ++length;
        bits(0, length);
        bits(code, length + 1);
    }
    void se(std::int32_t v) { ue(v > 0 ? 2u * v - 1 : 2u * static_cast<std::uint32_t>(-v)); }

    // `header` then the bits with a stop bit, 00 00 0x turned into 00 00 03 0x.
    Nal nal(std::initializer_list<std::uint8_t> header) const {
        std::vector<bool> b = bits_;
        b.push_back(true);
        while (b.size() % 8)
            b.push_back(false);
        Nal out(header);
        int zeros = 0;
        for (std::size_t i = 0; i < b.size(); i += 8) {
            std::uint8_t byte = 0;
            for (std::size_t j = 0; j < 8; ++j)
                byte = static_cast<std::uint8_t>(byte << 1 | b[i + j]);
            if (zeros >= 2 && byte <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            zeros = byte == 0 ? zeros + 1 : 0;
            out.push_back(byte);
        }
        return out;
    }

private:
    std::vector<bool> bits_;
};

bool escaped(const Nal& nal) {
    for (std::size_t i = 2; i + 1 < nal.size(); ++i)
        if (nal[i - 2] == 0 && nal[i - 1] == 0 && nal[i] == 3)
            return true;
    return false;
}

struct H264Sps {
    std::uint32_t profile = 100;
    std::uint32_t spsId = 0;
    std::uint32_t chroma = 1;
    bool scalingLists = true;
    std::uint32_t pocType = 0;
    bool cropping = true;
    bool vui = true;
    bool aspect = true;
    std::uint32_t idc = 255;
    std::uint32_t sarWidth = 2048; // with the height, zero bytes that need escaping
    std::uint32_t sarHeight = 3;
    bool frameMbsOnly = false;
    // Set: the VUI goes on past the aspect, with timing and both HRDs, to
    // pic_struct_present_flag; `cpbCount` CPBs in each HRD.
    std::optional<bool> picStruct;
    std::uint32_t cpbCount = 2;
};

void h264Hrd(BitWriter& w, std::uint32_t cpbCount) {
    w.ue(cpbCount - 1);
    w.bits(3, 4);
    w.bits(5, 4);
    for (std::uint32_t i = 0; i < cpbCount; ++i)
        w.ue(1000 + i), w.ue(2000 + i), w.flag(i % 2);
    w.bits(23, 5), w.bits(23, 5), w.bits(23, 5), w.bits(24, 5);
}

Nal h264(const H264Sps& s) {
    BitWriter w;
    w.bits(s.profile, 8);
    w.bits(0, 8);
    w.bits(31, 8);
    w.ue(s.spsId);
    if (s.profile >= 100) {
        w.ue(s.chroma);
        if (s.chroma == 3)
            w.flag(false);
        w.ue(0);
        w.ue(0);
        w.flag(false);
        w.flag(s.scalingLists);
        if (s.scalingLists) {
            const int lists = s.chroma == 3 ? 12 : 8;
            for (int i = 0; i < lists; ++i) {
                w.flag(i != 1); // list 1 falls back
                if (i == 1)
                    continue;
                const int size = i < 6 ? 16 : 64;
                if (i == 2) { // ends early: a delta that makes the next scale 0
                    w.se(-8);
                    continue;
                }
                for (int j = 0; j < size; ++j)
                    w.se(j % 2 ? 3 : -2);
            }
        }
    }
    w.ue(2); // log2_max_frame_num_minus4
    w.ue(s.pocType);
    if (s.pocType == 0) {
        w.ue(4);
    } else if (s.pocType == 1) {
        w.flag(false);
        w.se(-3);
        w.se(5);
        w.ue(3);
        for (int i = 0; i < 3; ++i)
            w.se(i - 1);
    }
    w.ue(4);
    w.flag(false);
    w.ue(3); // width in macroblocks, minus 1
    w.ue(2);
    w.flag(s.frameMbsOnly);
    if (!s.frameMbsOnly)
        w.flag(true); // mb_adaptive_frame_field_flag
    w.flag(true);
    w.flag(s.cropping);
    if (s.cropping)
        for (int i = 0; i < 4; ++i)
            w.ue(i);
    w.flag(s.vui);
    if (s.vui) {
        w.flag(s.aspect);
        if (s.aspect) {
            w.bits(s.idc, 8);
            if (s.idc == 255) {
                w.bits(s.sarWidth, 16);
                w.bits(s.sarHeight, 16);
            }
        }
        if (!s.picStruct) {
            w.flag(false); // overscan_info_present_flag; what follows is not read
        } else {
            w.flag(true), w.flag(false);                                     // overscan
            w.flag(true), w.bits(5, 3), w.flag(false);                       // video signal type
            w.flag(true), w.bits(0x010101, 24);                              // colour description
            w.flag(true), w.ue(1), w.ue(2);                                  // chroma location
            w.flag(true), w.bits(1001, 32), w.bits(60000, 32), w.flag(true); // timing
            w.flag(true), h264Hrd(w, s.cpbCount);                            // NAL HRD
            w.flag(true), h264Hrd(w, s.cpbCount);                            // VCL HRD
            w.flag(false);                                                   // low_delay_hrd_flag
            w.flag(*s.picStruct);
            w.flag(false); // bitstream_restriction_flag
        }
    }
    return w.nal({0x67});
}

struct H265Sps {
    std::uint32_t subLayersMinus1 = 2;
    bool scalingLists = true;
    bool pcm = true;
    bool interSets = true;
    bool longTerm = true;
    std::uint32_t log2PocMinus4 = 5;
    std::uint32_t idc = 255;
    std::uint32_t sarWidth = 40;
    std::uint32_t sarHeight = 33;
    bool progressiveSource = true;
    bool interlacedSource = false;
    bool vui = true;
    // Set: the VUI goes on past the aspect to field_seq_flag.
    std::optional<bool> fieldSeq;
};

Nal h265(const H265Sps& s) {
    BitWriter w;
    w.bits(0, 4);
    w.bits(s.subLayersMinus1, 3);
    w.flag(true);
    w.bits(0x01, 8); // profile space, tier, profile 1
    w.bits(0x60000000, 32);
    w.flag(s.progressiveSource);
    w.flag(s.interlacedSource);
    w.flag(false); // non-packed constraint
    w.flag(true);  // frame-only constraint
    w.bits(0, 43);
    w.flag(false);
    w.bits(93, 8);
    for (std::uint32_t i = 0; i < s.subLayersMinus1; ++i) {
        w.flag(i == 0); // a sub-layer profile for the first only
        w.flag(true);
    }
    if (s.subLayersMinus1 > 0)
        w.bits(0, 2 * (8 - static_cast<int>(s.subLayersMinus1)));
    for (std::uint32_t i = 0; i < s.subLayersMinus1; ++i) {
        if (i == 0)
            w.bits(0x1234, 88 - 64), w.bits(0xfedcba9876543210ull, 64);
        w.bits(90, 8);
    }
    w.ue(0); // sps id
    w.ue(1);
    w.ue(64);
    w.ue(48);
    w.flag(true);
    for (int i = 0; i < 4; ++i)
        w.ue(1);
    w.ue(0);
    w.ue(0);
    w.ue(s.log2PocMinus4);
    w.flag(true); // ordering info for each sub-layer
    for (std::uint32_t i = 0; i <= s.subLayersMinus1; ++i)
        w.ue(3), w.ue(1), w.ue(0);
    w.ue(0);
    w.ue(3);
    w.ue(0);
    w.ue(3);
    w.ue(1);
    w.ue(1);
    w.flag(s.scalingLists);
    if (s.scalingLists) {
        w.flag(true);
        for (int sizeId = 0; sizeId < 4; ++sizeId)
            for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
                const bool explicitList = matrixId == 0;
                w.flag(explicitList);
                if (!explicitList) {
                    w.ue(sizeId == 3 ? 1 : static_cast<std::uint32_t>(matrixId));
                    continue;
                }
                if (sizeId > 1)
                    w.se(8);
                const int count = std::min(64, 1 << (4 + (sizeId << 1)));
                for (int i = 0; i < count; ++i)
                    w.se(i % 3 - 1);
            }
    }
    w.flag(true);
    w.flag(true);
    w.flag(s.pcm);
    if (s.pcm) {
        w.bits(7, 4);
        w.bits(7, 4);
        w.ue(0);
        w.ue(1);
        w.flag(false);
    }
    w.ue(3); // short-term reference picture sets
    w.ue(2); // set 0: two before, one after
    w.ue(1);
    for (int i = 0; i < 3; ++i)
        w.ue(i), w.flag(true);
    if (s.interSets) {
        for (int set = 1; set < 3; ++set) {
            w.flag(true);
            w.flag(false);
            w.ue(0);
            // set 1 predicts from set 0 (3 pictures, 4 flags); one unused and
            // not kept, so set 2 predicts from 3 pictures again.
            for (int j = 0; j < 4; ++j) {
                w.flag(j != 2);
                if (j == 2)
                    w.flag(false);
            }
        }
    } else {
        for (int set = 1; set < 3; ++set) {
            w.flag(false);
            w.ue(1);
            w.ue(0);
            w.ue(0), w.flag(true);
        }
    }
    w.flag(s.longTerm);
    if (s.longTerm) {
        w.ue(2);
        for (int i = 0; i < 2; ++i)
            w.bits(0x155, static_cast<int>(s.log2PocMinus4) + 4), w.flag(true);
    }
    w.flag(true);
    w.flag(true);
    w.flag(s.vui);
    if (!s.vui)
        return w.nal({0x42, 0x01});
    w.flag(true);
    w.bits(s.idc, 8);
    if (s.idc == 255) {
        w.bits(s.sarWidth, 16);
        w.bits(s.sarHeight, 16);
    }
    if (!s.fieldSeq) {
        w.flag(false); // overscan_info_present_flag; what follows is not read
    } else {
        w.flag(true), w.flag(true);               // overscan
        w.flag(true), w.bits(2, 3), w.flag(true); // video signal type
        w.flag(true), w.bits(0x050607, 24);       // colour description
        w.flag(true), w.ue(0), w.ue(3);           // chroma location
        w.flag(false);                            // neutral_chroma_indication_flag
        w.flag(*s.fieldSeq);
        w.flag(true); // frame_field_info_present_flag
        w.flag(false);
    }
    return w.nal({0x42, 0x01});
}

struct SpsCase {
    const char* name;
    Nal nal;
    std::function<std::optional<Fraction>(Bytes)> read;
    std::optional<Fraction> expected;
};

H264Sps h264With(std::function<void(H264Sps&)> change) {
    H264Sps s;
    change(s);
    return s;
}
H265Sps h265With(std::function<void(H265Sps&)> change) {
    H265Sps s;
    change(s);
    return s;
}

std::vector<SpsCase> spsCases() {
    const auto avc = [](Bytes b) { return h26x::h264SpsAspect(b); };
    const auto hevc = [](Bytes b) { return h26x::h265SpsAspect(b); };
    const Nal full264 = h264({});
    Nal cut264(full264.begin(), full264.end() - 5);
    Nal wrongType = full264;
    wrongType[0] = 0x68;
    const Nal full265 = h265({});
    Nal cut265(full265.begin(), full265.end() - 6);
    return {
        {"H264HighWithScalingLists", full264, avc, Fraction{2048, 3}},
        {"H264Baseline", h264(h264With([](H264Sps& s) { s.profile = 66; })), avc,
         Fraction{2048, 3}},
        {"H264Chroma444TwelveLists", h264(h264With([](H264Sps& s) { s.chroma = 3; })), avc,
         Fraction{2048, 3}},
        {"H264PocType1", h264(h264With([](H264Sps& s) { s.pocType = 1; })), avc, Fraction{2048, 3}},
        // What each idc means is the table's test below; these show the SPS
        // reaches it, for a table value and for none.
        {"H264TableAspect", h264(h264With([](H264Sps& s) { s.idc = 4; })), avc, Fraction{16, 11}},
        {"H264UnspecifiedIdc", h264(h264With([](H264Sps& s) { s.idc = 0; })), avc, std::nullopt},
        {"H264NoAspectInfo", h264(h264With([](H264Sps& s) { s.aspect = false; })), avc,
         std::nullopt},
        {"H264NoVui", h264(h264With([](H264Sps& s) { s.vui = false; })), avc, std::nullopt},
        {"H264SpsIdOutOfRange", h264(h264With([](H264Sps& s) { s.spsId = 32; })), avc,
         std::nullopt},
        {"H264ChromaOutOfRange",
         h264(h264With([](H264Sps& s) { s.chroma = 4, s.scalingLists = false; })), avc,
         std::nullopt},
        {"H264PocTypeOutOfRange", h264(h264With([](H264Sps& s) { s.pocType = 3; })), avc,
         std::nullopt},
        {"H264CutShort", cut264, avc, std::nullopt},
        {"H264NotAnSps", wrongType, avc, std::nullopt},
        {"H264Empty", {}, avc, std::nullopt},
        {"H264LongZeroRun", Nal{0x67, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, avc, std::nullopt},
        {"H265SubLayersScalingPcmSets", full265, hevc, Fraction{40, 33}},
        {"H265OneLayer", h265(h265With([](H265Sps& s) { s.subLayersMinus1 = 0; })), hevc,
         Fraction{40, 33}},
        {"H265SevenLayers", h265(h265With([](H265Sps& s) { s.subLayersMinus1 = 6; })), hevc,
         Fraction{40, 33}},
        {"H265Plain", h265(h265With([](H265Sps& s) {
             s.scalingLists = s.pcm = s.interSets = s.longTerm = false;
         })),
         hevc, Fraction{40, 33}},
        {"H265TableAspect", h265(h265With([](H265Sps& s) { s.idc = 14; })), hevc, Fraction{4, 3}},
        {"H265LongPocLsb", h265(h265With([](H265Sps& s) { s.log2PocMinus4 = 12; })), hevc,
         Fraction{40, 33}},
        {"H265PocLsbOutOfRange", h265(h265With([](H265Sps& s) { s.log2PocMinus4 = 13; })), hevc,
         std::nullopt},
        {"H265EightSubLayersIsDamage", h265(h265With([](H265Sps& s) { s.subLayersMinus1 = 7; })),
         hevc, std::nullopt},
        {"H265CutShort", cut265, hevc, std::nullopt},
        {"H265NotAnSps", Nal{0x40, 0x01, 0x0c}, hevc, std::nullopt},
    };
}

void PrintTo(const SpsCase& c, std::ostream* os) {
    *os << c.name;
}

class SpsAspect : public testing::TestWithParam<SpsCase> {};

TEST_P(SpsAspect, ReadsTheVuiAspectOrNone) {
    const SpsCase& c = GetParam();
    EXPECT_EQ(c.read(c.nal), c.expected);
}

INSTANTIATE_TEST_SUITE_P(H26x, SpsAspect, testing::ValuesIn(spsCases()),
                         [](const auto& p) { return std::string(p.param.name); });

// aspect_ratio_idc as both standards' VUI table gives it, row by row.
struct IdcCase {
    const char* name;
    std::uint32_t idc;
    std::uint32_t sarWidth, sarHeight; // the explicit pair, read only for 255
    std::optional<Fraction> expected;
};

void PrintTo(const IdcCase& c, std::ostream* os) {
    *os << c.name;
}

class AspectIdc : public testing::TestWithParam<IdcCase> {};

TEST_P(AspectIdc, GivesTheTablesRatio) {
    const IdcCase& c = GetParam();
    EXPECT_EQ(h26x::aspectFromIdc(c.idc, c.sarWidth, c.sarHeight), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    H26x, AspectIdc,
    testing::Values(
        IdcCase{"Unspecified0", 0, 4, 3, std::nullopt}, IdcCase{"Square1", 1, 0, 0, Fraction{1, 1}},
        IdcCase{"Pal4x3_2", 2, 0, 0, Fraction{12, 11}},
        IdcCase{"Ntsc4x3_3", 3, 0, 0, Fraction{10, 11}},
        IdcCase{"Pal16x9_4", 4, 0, 0, Fraction{16, 11}},
        IdcCase{"Ntsc16x9_5", 5, 0, 0, Fraction{40, 33}},
        IdcCase{"Idc6", 6, 0, 0, Fraction{24, 11}}, IdcCase{"Idc7", 7, 0, 0, Fraction{20, 11}},
        IdcCase{"Idc8", 8, 0, 0, Fraction{32, 11}}, IdcCase{"Idc9", 9, 0, 0, Fraction{80, 33}},
        IdcCase{"Idc10", 10, 0, 0, Fraction{18, 11}}, IdcCase{"Idc11", 11, 0, 0, Fraction{15, 11}},
        IdcCase{"Idc12", 12, 0, 0, Fraction{64, 33}}, IdcCase{"Idc13", 13, 0, 0, Fraction{160, 99}},
        IdcCase{"Idc14", 14, 0, 0, Fraction{4, 3}}, IdcCase{"Idc15", 15, 0, 0, Fraction{3, 2}},
        IdcCase{"LastOfTheTable16", 16, 0, 0, Fraction{2, 1}},
        IdcCase{"TablePairIgnored", 4, 4, 3, Fraction{16, 11}},
        IdcCase{"Reserved17", 17, 4, 3, std::nullopt},
        IdcCase{"Reserved254", 254, 4, 3, std::nullopt},
        IdcCase{"Explicit255", 255, 2048, 3, Fraction{2048, 3}},
        IdcCase{"ExplicitReduced", 255, 64, 44, Fraction{16, 11}},
        IdcCase{"ExplicitSquareIsStated", 255, 7, 7, Fraction{1, 1}},
        IdcCase{"ExplicitLargest", 255, 65535, 65534, Fraction{65535, 65534}},
        IdcCase{"ExplicitZeroWidth", 255, 0, 3, std::nullopt},
        IdcCase{"ExplicitZeroHeight", 255, 4, 0, std::nullopt},
        IdcCase{"AboveAByte", 256 + 4, 4, 3, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SpsAspect, TestSetsNeedTheirEscapesRemoved) {
    EXPECT_TRUE(escaped(h264({})));
    EXPECT_TRUE(escaped(h265(h265With([](H265Sps& s) { s.sarWidth = 2048, s.sarHeight = 3; }))));
    EXPECT_EQ(
        h26x::h265SpsAspect(h265(h265With([](H265Sps& s) { s.sarWidth = 2048, s.sarHeight = 3; }))),
        (Fraction{2048, 3}));
}

struct ScanCase {
    const char* name;
    Nal nal;
    std::function<h26x::SpsFacts(Bytes)> read;
    std::optional<Scan> scan;
    bool picStruct = false;
    std::optional<Fraction> sar = std::nullopt;
};

std::vector<ScanCase> scanCases() {
    const auto avc = [](Bytes b) { return h26x::h264Sps(b); };
    const auto hevc = [](Bytes b) { return h26x::h265Sps(b); };
    const Nal fields = h264({});
    const Nal frames = h264(h264With([](H264Sps& s) { s.frameMbsOnly = true; }));
    const Nal hevcFields = h265(h265With([](H265Sps& s) { s.fieldSeq = true; }));
    const Fraction sar264{2048, 3};
    const Fraction sar265{40, 33};
    return {
        {"H264FrameMbsOnly", frames, avc, Scan::Progressive, false, sar264},
        {"H264FieldsAllowed", fields, avc, Scan::Interlaced, false, sar264},
        {"H264PicStructPresent", h264(h264With([](H264Sps& s) { s.picStruct = true; })), avc,
         Scan::Interlaced, true, sar264},
        {"H264PicStructAbsent", h264(h264With([](H264Sps& s) { s.picStruct = false; })), avc,
         Scan::Interlaced, false, sar264},
        {"H264PicStructAfterOneCpb", h264(h264With([](H264Sps& s) {
             s.picStruct = true, s.cpbCount = 1, s.frameMbsOnly = true;
         })),
         avc, Scan::Progressive, true, sar264},
        {"H264PicStructAfterTheMostCpbs",
         h264(h264With([](H264Sps& s) { s.picStruct = true, s.cpbCount = 32; })), avc,
         Scan::Interlaced, true, sar264},
        {"H264TooManyCpbs", h264(h264With([](H264Sps& s) { s.picStruct = true, s.cpbCount = 33; })),
         avc, Scan::Interlaced, false, sar264},
        {"H264NoVuiStillTellsTheScan", h264(h264With([](H264Sps& s) { s.vui = false; })), avc,
         Scan::Interlaced, false, std::nullopt},
        {"H264CutInTheVuiKeepsTheScan", Nal(fields.begin(), fields.end() - 5), avc,
         Scan::Interlaced, false, std::nullopt},
        {"H264CutBeforeTheFlag", Nal(fields.begin(), fields.begin() + 6), avc, std::nullopt},
        {"H264NotAnSps", Nal{0x68, 0x42}, avc, std::nullopt},
        {"H265ProgressiveSource", h265(h265With([](H265Sps& s) { s.fieldSeq = false; })), hevc,
         Scan::Progressive, false, sar265},
        {"H265InterlacedSource", h265(h265With([](H265Sps& s) {
             s.fieldSeq = false, s.progressiveSource = false, s.interlacedSource = true;
         })),
         hevc, Scan::Interlaced, false, sar265},
        {"H265BothSourcesLeaveItToEachPicture",
         h265(h265With([](H265Sps& s) { s.fieldSeq = false, s.interlacedSource = true; })), hevc,
         std::nullopt, false, sar265},
        {"H265NeitherSource",
         h265(h265With([](H265Sps& s) { s.fieldSeq = false, s.progressiveSource = false; })), hevc,
         std::nullopt, false, sar265},
        // The builder's usual VUI ends after the aspect.
        {"H265VuiEndsBeforeFieldSequence", h265({}), hevc, std::nullopt, false, sar265},
        {"H265FieldSequence", hevcFields, hevc, Scan::Interlaced, false, sar265},
        {"H265FieldSequenceBeatsTheSourceFlags", h265(h265With([](H265Sps& s) {
             s.fieldSeq = true, s.progressiveSource = true, s.interlacedSource = false;
         })),
         hevc, Scan::Interlaced, false, sar265},
        {"H265NoVui", h265(h265With([](H265Sps& s) { s.vui = false; })), hevc, Scan::Progressive,
         false, std::nullopt},
        {"H265CutBeforeFieldSequence", Nal(hevcFields.begin(), hevcFields.end() - 2), hevc,
         std::nullopt, false, sar265},
    };
}

void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << c.name;
}

class SpsScan : public testing::TestWithParam<ScanCase> {};

TEST_P(SpsScan, ReadsWhetherPicturesMayBeFields) {
    const ScanCase& c = GetParam();
    const h26x::SpsFacts facts = c.read(c.nal);
    EXPECT_EQ(facts.scan, c.scan);
    EXPECT_EQ(facts.picStructPresent, c.picStruct);
    EXPECT_EQ(facts.sar, c.sar);
}

INSTANTIATE_TEST_SUITE_P(H26x, SpsScan, testing::ValuesIn(scanCases()),
                         [](const auto& p) { return std::string(p.param.name); });

// The first NAL unit of `type` in an Annex B stream, up to the next start code.
Bytes firstNal(const Nal& stream, bool hevc, int type) {
    for (std::size_t i = 0; i + 4 < stream.size(); ++i) {
        if (stream[i] != 0 || stream[i + 1] != 0 || stream[i + 2] != 1)
            continue;
        const std::size_t start = i + 3;
        const int found = hevc ? (stream[start] >> 1) & 0x3f : stream[start] & 0x1f;
        if (found != type)
            continue;
        std::size_t end = start;
        while (end + 3 <= stream.size() &&
               !(stream[end] == 0 && stream[end + 1] == 0 && stream[end + 2] <= 1))
            ++end;
        return Bytes(stream).subspan(start, std::min(end, stream.size()) - start);
    }
    return {};
}

// x264 and x265 from Debian, progressive and interlaced.
TEST(SpsScan, ReadsTheEncodersSets) {
    const struct {
        const char* file;
        std::optional<Scan> scan;
        bool picStruct;
    } cases[] = {
        {"raw-64x48.h264", Scan::Progressive, false},
        {"raw-interlaced-64x48.h264", Scan::Interlaced, true},
        {"raw-64x48.hevc", Scan::Progressive, false},
        {"raw-fields-64x48.hevc", Scan::Interlaced, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Nal stream = mediatest::readCorpus(std::string("other/") + c.file);
        const bool hevc = std::string(c.file).ends_with(".hevc");
        const Bytes sps = firstNal(stream, hevc, hevc ? 33 : 7);
        ASSERT_FALSE(sps.empty());
        const h26x::SpsFacts facts = hevc ? h26x::h265Sps(sps) : h26x::h264Sps(sps);
        EXPECT_EQ(facts.scan, c.scan);
        EXPECT_EQ(facts.picStructPresent, c.picStruct);
    }
}

TEST(Unescape, DropsOnlyTheByteAfterTwoZeros) {
    const Nal in{0, 0, 3, 1, 0, 3, 0, 0, 3, 0, 0, 3, 3, 0, 0};
    EXPECT_EQ(h26x::unescape(in), (Nal{0, 0, 1, 0, 3, 0, 0, 0, 0, 3, 0, 0}));
    EXPECT_EQ(h26x::unescape(Nal(10000, 1)).size(), h26x::kMaxParameterSetSize);
}

TEST(ConfigRecords, FindTheFirstSps) {
    const Nal sps{0x67, 0x64, 0, 0x1f};
    Nal avcC{1, 0x64, 0, 0x1f, 0xff, 0xe1, 0, 4};
    avcC.insert(avcC.end(), sps.begin(), sps.end());
    EXPECT_EQ(Nal(h26x::avcConfigSps(avcC).begin(), h26x::avcConfigSps(avcC).end()), sps);
    avcC[7] = 9; // longer than the record
    EXPECT_TRUE(h26x::avcConfigSps(avcC).empty());
    avcC[5] = 0xe0; // no SPS
    EXPECT_TRUE(h26x::avcConfigSps(avcC).empty());

    Nal hvcC(22, 0);
    const Nal vps{0x40, 0x01, 0xaa};
    const Nal hsps{0x42, 0x01, 0xbb};
    hvcC.insert(hvcC.end(), {2, 0x20, 0, 1, 0, 3});
    hvcC.insert(hvcC.end(), vps.begin(), vps.end());
    hvcC.insert(hvcC.end(), {0xa1, 0, 1, 0, 3});
    hvcC.insert(hvcC.end(), hsps.begin(), hsps.end());
    const Bytes found = h26x::hevcConfigSps(hvcC);
    EXPECT_EQ(Nal(found.begin(), found.end()), hsps);
    hvcC.pop_back();
    EXPECT_TRUE(h26x::hevcConfigSps(hvcC).empty());
}

} // namespace
} // namespace quorvel::media
