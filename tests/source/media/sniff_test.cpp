#include "source/media/media.h"
#include "tests/source/media/media_test_support.h"
#include "tests/support/byte_builder.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::media {
namespace {

using bytetest::cat;
using mediatest::Buffer;

// The literal's bytes, NULs included, padded with zeros to `padTo`.
template <std::size_t N> Buffer text(const char (&s)[N], std::size_t padTo = 0) {
    Buffer b(s, s + N - 1);
    if (b.size() < padTo)
        b.resize(padTo, 0);
    return b;
}

Buffer transport(std::size_t packets, std::size_t size = 188, std::size_t first = 0) {
    Buffer b(packets * size, 0xFF);
    for (std::size_t i = 0; i < packets; ++i)
        b[first + i * size] = 0x47;
    return b;
}

Buffer ebml(const std::string& docType) {
    Buffer b = {0x1A,
                0x45,
                0xDF,
                0xA3,
                static_cast<std::uint8_t>(0x80 | (docType.size() + 3)),
                0x42,
                0x82,
                static_cast<std::uint8_t>(0x80 | docType.size())};
    b.insert(b.end(), docType.begin(), docType.end());
    return b;
}

// An ID3v2.4 tag of `size` bytes (seven bits to a byte) before `audio`, with
// a footer when `footer` is 10.
Buffer id3(const Buffer& audio, std::size_t footer = 0, std::size_t size = 2) {
    Buffer b = text("ID3\x04\0");
    b.push_back(footer ? 0x10 : 0);
    b.insert(b.end(),
             {0, 0, static_cast<std::uint8_t>(size >> 7), static_cast<std::uint8_t>(size & 0x7F)});
    b.resize(b.size() + size + footer, 0);
    return cat({b, audio});
}

// An IVF header: signature, version, header size, FourCC, then 20 bytes.
Buffer ivf(const char* fourcc, std::uint8_t version = 0, std::uint8_t headerSize = 32) {
    Buffer b = text("DKIF");
    b.insert(b.end(), {version, 0, headerSize, 0});
    b.insert(b.end(), fourcc, fourcc + 4);
    b.resize(32, 0);
    return b;
}

struct Case {
    const char* name;
    Buffer prefix;
    std::optional<Container> container;
    std::string found;
};

TEST(Sniff, DecidesByContentAlone) {
    const Case cases[] = {
        {"Avi", text("RIFF\x10\0\0\0AVI LIST", 16), Container::Avi, ""},
        {"Wave", text("RIFF\x10\0\0\0WAVEfmt ", 16), std::nullopt, "a WAVE file"},
        {"OtherRiff", text("RIFF\x10\0\0\0WEBPVP8 ", 16), std::nullopt, "a RIFF file"},
        {"ShortRiff", text("RIFF\x10\0\0\0"), std::nullopt, "not a video file"},
        {"Ftyp",
         text("\0\0\0\x18"
              "ftypisom",
              24),
         Container::Mp4, ""},
        {"MoovFirst",
         text("\0\0\0\x08"
              "moov"),
         Container::Mp4, ""},
        {"MdatToTheEnd",
         text("\0\0\0\0"
              "mdat"),
         Container::Mp4, ""},
        {"LargeSizeMdat",
         text("\0\0\0\x01"
              "mdat\0\0\0\0\0\0\0\x20"),
         Container::Mp4, ""},
        {"LargeSizeTooSmall",
         text("\0\0\0\x01"
              "mdat\0\0\0\0\0\0\0\x08"),
         std::nullopt, "not a video file"},
        {"BoxSmallerThanItsHeader",
         text("\0\0\0\x04"
              "free"),
         std::nullopt, "not a video file"},
        {"UnknownBox",
         text("\0\0\0\x10"
              "abcd"),
         std::nullopt, "not a video file"},
        {"WebM", ebml("webm"), Container::Matroska, ""},
        {"Matroska", ebml("matroska"), Container::Matroska, ""},
        {"EbmlCutShortIsTheReadersToExplain", Buffer{0x1A, 0x45, 0xDF, 0xA3, 0x9F},
         Container::Matroska, ""},
        {"OtherEbml", ebml("mkaudio"), std::nullopt, "an EBML file of type \"mkaudio\""},
        {"Pack", Buffer{0, 0, 1, 0xBA, 0x44}, Container::MpegPs, ""},
        {"SequenceHeader", Buffer{0, 0, 1, 0xB3, 0x16}, Container::MpegEs, ""},
        {"OtherStartCode", Buffer{0, 0, 1, 0xB8, 0}, std::nullopt, "not a video file"},
        {"Transport", transport(3), std::nullopt, "an MPEG transport stream"},
        {"TransportWithTimestamps", transport(3, 192, 4), std::nullopt, "an MPEG transport stream"},
        {"OneSyncByteIsNotEnough", transport(1), std::nullopt, "not a video file"},
        {"BrokenSync",
         [] {
             Buffer b = transport(4);
             b[376] = 0;
             return b;
         }(),
         std::nullopt, "not a video file"},
        {"Ogg", text("OggS\0", 8), std::nullopt, "an Ogg file"},
        {"Flac", text("fLaC", 8), std::nullopt, "a FLAC file"},
        // A tag whose audio lies past the prefix says no more than that.
        {"Id3", text("ID3\x04", 8), std::nullopt, "an audio file with an ID3 tag"},
        {"Id3BeforeLayerII", id3({0xFF, 0xFD, 0x18, 0xC4}), std::nullopt, "an MP2 file"},
        {"Id3BeforeLayerIII", id3({0xFF, 0xFB, 0x90, 0x64}), std::nullopt, "an MP3 file"},
        {"Id3WithFooter", id3({0xFF, 0xFD, 0x18, 0xC4}, 10), std::nullopt, "an MP2 file"},
        {"Id3SizeIsCountedInSevenBits", id3({0xFF, 0xFD, 0x18, 0xC4}, 0, 0x80), std::nullopt,
         "an MP2 file"},
        {"Id3BeforeNoise", id3({0x12, 0x34, 0x56, 0x78}), std::nullopt,
         "an audio file with an ID3 tag"},
        {"Mp3Frame", Buffer{0xFF, 0xFB, 0x90, 0x64}, std::nullopt, "an MP3 file"},
        {"Mpeg2LowRateLayerIII", Buffer{0xFF, 0xF3, 0x90, 0x64}, std::nullopt, "an MP3 file"},
        {"Mp2Frame", Buffer{0xFF, 0xFD, 0x18, 0xC4}, std::nullopt, "an MP2 file"},
        {"LayerIFrame", Buffer{0xFF, 0xFF, 0x90, 0x00}, std::nullopt, "an MPEG audio layer I file"},
        {"AudioReservedVersion", Buffer{0xFF, 0xEB, 0x90, 0x64}, std::nullopt, "not a video file"},
        {"AudioReservedSamplingRate", Buffer{0xFF, 0xFB, 0x9C, 0x64}, std::nullopt,
         "not a video file"},
        {"H264Sps", Buffer{0, 0, 0, 1, 0x67, 0x64, 0, 0x1F}, std::nullopt,
         "a raw H.264 video stream"},
        {"H264SpsThreeByteStartCode", Buffer{0, 0, 1, 0x27, 0x42}, std::nullopt,
         "a raw H.264 video stream"},
        {"H264Delimiter", Buffer{0, 0, 0, 1, 0x09, 0xF0}, std::nullopt, "a raw H.264 video stream"},
        {"H264Sei", Buffer{0, 0, 1, 0x06, 0x05}, std::nullopt, "a raw H.264 video stream"},
        {"H264LeadingZeros", cat({Buffer(10, 0), {1, 0x67, 0x42}}), std::nullopt,
         "a raw H.264 video stream"},
        {"H264SpsNeverHasRefIdcZero", Buffer{0, 0, 0, 1, 0x07, 0x42}, std::nullopt,
         "not a video file"},
        {"H264DelimiterAlwaysHasRefIdcZero", Buffer{0, 0, 0, 1, 0x29, 0xF0}, std::nullopt,
         "not a video file"},
        {"H264Slice", Buffer{0, 0, 0, 1, 0x65, 0x88}, std::nullopt, "not a video file"},
        {"ForbiddenBit", Buffer{0, 0, 0, 1, 0xE7, 0x42}, std::nullopt, "not a video file"},
        {"TooManyZeros", cat({Buffer(20, 0), {1, 0x67, 0x42}}), std::nullopt, "not a video file"},
        {"OneZeroIsNoStartCode", Buffer{0, 1, 0x67, 0x42}, std::nullopt, "not a video file"},
        {"H265Vps", Buffer{0, 0, 0, 1, 0x40, 0x01, 0x0C}, std::nullopt, "a raw H.265 video stream"},
        {"H265Sps", Buffer{0, 0, 1, 0x42, 0x01, 0x01}, std::nullopt, "a raw H.265 video stream"},
        {"H265Delimiter", Buffer{0, 0, 0, 1, 0x46, 0x01, 0x10}, std::nullopt,
         "a raw H.265 video stream"},
        {"H265PrefixSei", Buffer{0, 0, 0, 1, 0x4E, 0x01, 0x05}, std::nullopt,
         "a raw H.265 video stream"},
        {"H265HigherTemporalLayer", Buffer{0, 0, 0, 1, 0x46, 0x03}, std::nullopt,
         "a raw H.265 video stream"},
        {"H265OtherLayer", Buffer{0, 0, 0, 1, 0x40, 0x09}, std::nullopt, "not a video file"},
        {"H265TemporalIdPlusOneIsNeverZero", Buffer{0, 0, 0, 1, 0x40, 0x00}, std::nullopt,
         "not a video file"},
        {"H265Pps", Buffer{0, 0, 0, 1, 0x44, 0x01}, std::nullopt, "not a video file"},
        {"HeaderCutShort", Buffer{0, 0, 0, 1}, std::nullopt, "not a video file"},
        {"Av1Ivf", ivf("AV01"), std::nullopt, "an AV1 stream in an IVF file"},
        {"Vp9Ivf", ivf("VP90"), std::nullopt, "a VP9 stream in an IVF file"},
        {"Vp8Ivf", ivf("VP80"), std::nullopt, "a VP8 stream in an IVF file"},
        {"OtherIvf", ivf("H264"), std::nullopt, "an IVF file"},
        {"IvfOfAnotherHeaderSize", ivf("AV01", 1, 64), std::nullopt, "not a video file"},
        {"IvfOfAnotherVersion", ivf("AV01", 1), std::nullopt, "not a video file"},
        {"Mp3ForbiddenBitRate", Buffer{0xFF, 0xFB, 0xF0, 0x64}, std::nullopt, "not a video file"},
        {"AdtsIsNotMp3", Buffer{0xFF, 0xF1, 0x50, 0x80}, std::nullopt, "not a video file"},
        {"Png", text("\x89PNG\r\n\x1a\n"), std::nullopt, "a PNG image"},
        {"Jpeg", Buffer{0xFF, 0xD8, 0xFF, 0xE0}, std::nullopt, "a JPEG image"},
        {"Empty", {}, std::nullopt, "not a video file"},
        {"Text", text("hello, world\n"), std::nullopt, "not a video file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Sniffed s = sniff(c.prefix);
        EXPECT_EQ(s.container, c.container);
        EXPECT_EQ(s.found, c.found);
    }
}

TEST(Sniff, KnowsEveryCorpusFile) {
    const struct {
        const char* file;
        std::optional<Container> container;
        std::string found;
    } cases[] = {
        {"avi/pal-720x576-25.avi", Container::Avi, ""},
        {"mkv/vp9-160x120-25.webm", Container::Matroska, ""},
        {"mkv/h264-320x240-sar4x3-30000-1001.mkv", Container::Matroska, ""},
        {"mpeg/ps-mpeg2-720x576-dar16x9-25.mpg", Container::MpegPs, ""},
        {"mpeg/es-mpeg2-176x144-24000-1001.m2v", Container::MpegEs, ""},
        {"other/mpeg2-in-transport-stream.ts", std::nullopt, "an MPEG transport stream"},
        {"other/silence.wav", std::nullopt, "a WAVE file"},
        {"other/raw-64x48.h264", std::nullopt, "a raw H.264 video stream"},
        {"other/raw-aud-64x48.h264", std::nullopt, "a raw H.264 video stream"},
        {"other/raw-64x48.hevc", std::nullopt, "a raw H.265 video stream"},
        {"other/av1-64x48.ivf", std::nullopt, "an AV1 stream in an IVF file"},
        {"other/vp9-64x48.ivf", std::nullopt, "a VP9 stream in an IVF file"},
        {"other/vp8-64x48.ivf", std::nullopt, "a VP8 stream in an IVF file"},
        {"other/silence.mp2", std::nullopt, "an MP2 file"},
        {"other/silence.mp3", std::nullopt, "an MP3 file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Buffer file = mediatest::readCorpus(c.file);
        ASSERT_FALSE(file.empty());
        const Sniffed s = sniff(Bytes(file).first(std::min(file.size(), io::kPrefixSize)));
        EXPECT_EQ(s.container, c.container);
        EXPECT_EQ(s.found, c.found);
    }
}

TEST(Media, ContainerNames) {
    EXPECT_STREQ(containerName(Container::Avi), "AVI");
    EXPECT_STREQ(containerName(Container::Mp4), "MP4");
    EXPECT_STREQ(containerName(Container::Matroska), "Matroska");
    EXPECT_STREQ(containerName(Container::MpegPs), "MPEG-PS");
    EXPECT_STREQ(containerName(Container::MpegEs), "MPEG-ES");
}

TEST(Media, RatioIsReducedAndRefusesZero) {
    EXPECT_EQ(ratio(64, 48), (Fraction{4, 3}));
    EXPECT_EQ(ratio(7, 7), (Fraction{1, 1}));
    EXPECT_EQ(ratio(0, 5), std::nullopt);
    EXPECT_EQ(ratio(5, 0), std::nullopt);
    EXPECT_EQ(ratio(UINT64_MAX, 1), std::nullopt);
    EXPECT_EQ(ratio(UINT64_MAX - 1, 2), (Fraction{INT64_MAX, 1}));
}

} // namespace
} // namespace quorvel::media
