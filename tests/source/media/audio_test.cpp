// The sound each reader finds in the corpus, which comes from several
// writers; ffprobe agrees on every row.

#include "tests/source/media/media_test_support.h"

#include <gtest/gtest.h>

namespace quorvel::media {
namespace {

using mediatest::readCorpus;
using mediatest::run;

struct SoundCase {
    const char* file;
    mediatest::Reader read;
    std::optional<bool> hasAudio;
    std::optional<std::uint32_t> channels;
};
void PrintTo(const SoundCase& c, std::ostream* os) {
    *os << c.file;
}

class Sound : public testing::TestWithParam<SoundCase> {};

TEST_P(Sound, IsWhatFfmpegFinds) {
    const SoundCase& c = GetParam();
    const ProbeResult r = run(readCorpus(c.file), c.read).result;
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.video->hasAudio, c.hasAudio);
    EXPECT_EQ(r.video->audioChannels, c.channels);
}

constexpr auto kNone = std::nullopt;
const SoundCase kSound[] = {
    {"avi/audio-after-352x288-25.avi", readAvi, true, 1},
    {"avi/audio-first-320x240-30000-1001.avi", readAvi, true, 1},
    {"avi/cif-352x288-25.avi", readAvi, false, kNone},
    {"mp4/avc1-64x48-25-audio-first.mp4", readMp4, true, 1},
    {"mp4/avc1-64x48-25.mov", readMp4, false, kNone},
    {"mp4/avc1-64x48-24-fragmented.mp4", readMp4, false, kNone},
    {"mkv/h264-64x48-25-tff.mkv", readMatroska, false, kNone},
    // A system header that lists the video alone.
    {"mpeg/ps-mpeg1-352x288-25.mpg", readMpeg, false, kNone},
    // DVD writers list private stream 1, which may hold the sound further on.
    {"mpeg/ps-mpeg2-720x576-pal-dvd-tff-25.mpg", readMpeg, kNone, kNone},
    {"mpeg/es-mpeg2-176x144-bff-25.m2v", readMpeg, false, kNone},
};
INSTANTIATE_TEST_SUITE_P(Corpus, Sound, testing::ValuesIn(kSound));

} // namespace
} // namespace quorvel::media
