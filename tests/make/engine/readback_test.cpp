#include "make/readback.h"

#include <gtest/gtest.h>

namespace quorvel::make {
namespace {

TEST(ReadBack, LsdvdTitlesAfterLibdvdreadsNotice) {
    const std::string xml = "libdvdread: Encrypted DVD support unavailable.****\n"
                            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<lsdvd><device>x</device>"
                            "<track><ix>1</ix><length>4.040</length><vts>1</vts>"
                            "<aspect>16/9</aspect><audio><ix>1</ix></audio>"
                            "<chapter><ix>1</ix><length>1.200</length></chapter>"
                            "<chapter><ix>2</ix><length>2.840</length></chapter></track>"
                            "<track><ix>2</ix><length>3.880</length><vts>2</vts>"
                            "<aspect>4/3</aspect></track></lsdvd>";
    std::string problem;
    const std::vector<ReadTitle> t = readLsdvd(xml, problem);
    ASSERT_EQ(t.size(), 2u) << problem;
    EXPECT_TRUE(problem.empty());
    EXPECT_EQ(t[0].runningMs, 4040u);
    EXPECT_TRUE(t[0].wide);
    EXPECT_EQ(t[0].chapters, 2);
    EXPECT_EQ(t[1].titleSet, 2);
    EXPECT_FALSE(t[1].wide);

    readLsdvd("<lsdvd><track>", problem);
    EXPECT_FALSE(problem.empty());
}

TEST(ReadBack, VcdInfoEntriesTracksAndPlayList) {
    const std::string files =
        "  - ---2-xrxrxr 0 0 [fn 01] [LSN    450]    920304 (   811008)  AVSEQ01.DAT;1\n"
        "  - ---2-xrxrxr 0 0 [fn 00] [LSN   1231]   1138760 (  1003520)  AVSEQ02.MPG;1\n"
        "  - ----1xrxrxr 0 0 [fn 00] [LSN    151]      2048  ENTRIES.VCD;1\n";
    const std::string entries = " ENTRY[00]: track#  1 (SEQUENCE[0]), LSN    450\n"
                                " ENTRY[01]: track#  2 (SEQUENCE[1]), LSN   1231\n";
    const std::string playList = " LID[1]: offset = 0 (0x0000)\n";
    std::string problem;
    std::vector<CdTrack> tracks;
    EXPECT_EQ(readVcdInfo(files + entries + playList, problem, tracks).size(), 2u);
    EXPECT_TRUE(problem.empty()) << problem;
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[1].sector, 1231u);
    EXPECT_EQ(tracks[1].bytes, 1138760u);
    readVcdInfo(files + entries, problem, tracks);
    EXPECT_EQ(problem, "the disc has no play list");
    problem.clear();
    readVcdInfo(entries + playList, problem, tracks);
    EXPECT_EQ(problem, "0 tracks for 2 entries");
}

// A track's bytes are the sectors' payloads end to end, none of their headers.
TEST(ReadBack, CdTrackIsTheSectorsPayloads) {
    std::vector<std::uint8_t> bin(4 * 2352);
    for (std::size_t i = 0; i < bin.size(); ++i)
        bin[i] =
            i % 2352 < 24 || i % 2352 >= 24 + 2324 ? 0xEE : static_cast<std::uint8_t>(i / 2352);
    io::MemorySource source(bin);
    CdTrackSource track(source, {1, 2324 + 100});
    std::vector<std::uint8_t> out(300, 0);
    std::size_t got = 0;
    ASSERT_EQ(track.readAt(2224, out.data(), out.size(), got), 0);
    ASSERT_EQ(got, 200u); // to the track's end
    EXPECT_EQ(out[99], 1);
    EXPECT_EQ(out[100], 2);
    EXPECT_EQ(out[199], 2);
}

} // namespace
} // namespace quorvel::make
