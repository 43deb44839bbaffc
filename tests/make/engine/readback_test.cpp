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

TEST(ReadBack, VcdInfoEntriesAndPlayList) {
    const std::string report = " ENTRY[00]: track#  1 (SEQUENCE[0]), LSN    450\n"
                               " ENTRY[01]: track#  2 (SEQUENCE[1]), LSN   1253\n"
                               " LID[1]: offset = 0 (0x0000)\n";
    std::string problem;
    EXPECT_EQ(readVcdInfo(report, problem).size(), 2u);
    EXPECT_TRUE(problem.empty());
    readVcdInfo(" ENTRY[00]: track#  1\n", problem);
    EXPECT_EQ(problem, "the disc has no play list");
}

} // namespace
} // namespace quorvel::make
