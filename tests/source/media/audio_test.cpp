// The sound each reader finds in the corpus, which comes from several
// writers; ffprobe agrees on every line.

#include "tests/source/media/media_test_support.h"

#include <gtest/gtest.h>

namespace quorvel::media {
namespace {

using mediatest::readCorpus;
using mediatest::Sound;
using mediatest::sound;

TEST(Sound, IsWhatFfmpegFindsInTheCorpus) {
    const Sound none = {std::nullopt, std::nullopt}, silent = {false, std::nullopt};
    EXPECT_EQ(sound(readCorpus("avi/audio-after-352x288-25.avi"), readAvi), (Sound{true, 1}));
    EXPECT_EQ(sound(readCorpus("avi/cif-352x288-25.avi"), readAvi), silent);
    EXPECT_EQ(sound(readCorpus("mp4/avc1-64x48-25-audio-first.mp4"), readMp4), (Sound{true, 1}));
    EXPECT_EQ(sound(readCorpus("mp4/avc1-64x48-24-fragmented.mp4"), readMp4), silent);
    EXPECT_EQ(sound(readCorpus("mkv/h264-64x48-25-tff.mkv"), readMatroska), silent);
    // A system header that lists the video alone; DVD writers list private
    // stream 1, which may hold the sound further on.
    EXPECT_EQ(sound(readCorpus("mpeg/ps-mpeg1-352x288-25.mpg"), readMpeg), silent);
    EXPECT_EQ(sound(readCorpus("mpeg/ps-mpeg2-720x576-pal-dvd-tff-25.mpg"), readMpeg), none);
    EXPECT_EQ(sound(readCorpus("mpeg/es-mpeg2-176x144-bff-25.m2v"), readMpeg), silent);
}

// Chapters and language from ffmpeg and mkvmerge, as ffprobe reports them.
TEST(Sound, ChaptersAndLanguageInTheCorpus) {
    using Ms = std::vector<std::uint64_t>;
    const struct {
        const char* file;
        ProbeResult (*read)(Bytes, io::ByteSource&);
        std::optional<std::string> language;
        Ms chapters;
    } cases[] = {
        {"mp4/avc1-64x48-25-chapters-spa.mp4", readMp4, "spa", {0, 40, 80}},
        // mkvmerge writes LanguageBCP47 "de" besides Language "ger".
        {"mkv/h264-64x48-25-chapters-ger.mkv", readMatroska, "de", {0, 40, 80}},
        {"mkv/h264-64x48-25-chapters-fre.mkv", readMatroska, "fre", {0, 80}},
        {"mp4/avc1-64x48-25-audio-first.mp4", readMp4, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        const ProbeResult r = mediatest::run(readCorpus(c.file), c.read).result;
        ASSERT_TRUE(r.ok()) << c.file;
        EXPECT_EQ(r.video->audioLanguage, c.language) << c.file;
        EXPECT_EQ(r.video->chaptersMs, c.chapters) << c.file;
    }
}

} // namespace
} // namespace quorvel::media
