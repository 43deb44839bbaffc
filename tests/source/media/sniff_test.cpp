#include "source/media/media.h"
#include "tests/source/media/media_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::media {
namespace {

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
        {"Id3", text("ID3\x04", 8), std::nullopt, "an MP3 file"},
        {"Mp3Frame", Buffer{0xFF, 0xFB, 0x90, 0x64}, std::nullopt, "an MP3 file"},
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
