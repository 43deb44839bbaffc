#include "disc/authoring.h"

#include <gtest/gtest.h>

namespace quorvel::disc {
namespace {

// Title sets by picture format, in the order of their first title; the disc
// numbers titles one set after another.
TEST(Authoring, TitleSetsGroupByAspectAndWidth) {
    const DiscTitle titles[] = {{true, 720, 0, "de"},
                                {false, 720, 0, "de"},
                                {true, 720, 0, "fr"},
                                {false, 352, 0, "de"},
                                {false, 720, 0, "de"}};
    const DvdLayout layout = dvdLayout(titles);
    ASSERT_EQ(layout.titleSets.size(), 3u);
    EXPECT_EQ(layout.titleSets[0].titles, (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(layout.titleSets[1].titles, (std::vector<std::size_t>{1, 4}));
    EXPECT_EQ(layout.titleSets[2].titles, (std::vector<std::size_t>{3}));
    EXPECT_TRUE(layout.titleSets[0].wide);
    EXPECT_EQ(layout.titleSets[2].width, 352);
    EXPECT_EQ(layout.discTitle, (std::vector<int>{1, 3, 2, 5, 4}));
    // A set has one language for all its titles.
    EXPECT_EQ(layout.titleSets[0].language, std::nullopt);
    EXPECT_EQ(layout.titleSets[1].language, "de");
}

TEST(Authoring, ChaptersEveryIntervalNotAtTheVeryEnd) {
    struct Row {
        std::uint64_t running, every;
        std::vector<std::uint64_t> marks, starts;
    };
    const Row rows[] = {
        {600'000, 0, {}, {0}},                // none asked
        {600'000, 300'000, {}, {0, 300'000}}, // none at the end itself
        {601'999, 300'000, {}, {0, 300'000}}, // 1.999 s before the end: too late
        {602'000, 300'000, {}, {0, 300'000, 600'000}},
        {1'000, 300'000, {}, {0}},
        // The source's marks besides; none within 2 s of the one before.
        {600'000, 300'000, {1'999, 2'000, 298'500, 500'000}, {0, 2'000, 298'500, 500'000}},
        {600'000, 0, {0, 599'000, 700'000}, {0}},
        {7'200'000, 60'000, {}, std::vector<std::uint64_t>(99)}, // a title's most
    };
    for (const Row& r : rows) {
        const auto starts = chapterStarts(r.running, r.every, r.marks);
        if (r.starts.size() == 99)
            EXPECT_EQ(starts.size(), 99u);
        else
            EXPECT_EQ(starts, r.starts) << r.running << " " << r.every;
    }
    // A part from 60 s, 60 s long, slowed from 25 to 24000/1001 frames a second.
    const std::uint64_t source[] = {30'000, 60'000, 90'000, 120'000};
    EXPECT_EQ(marksOnDisc(source, 60'000, 60'000, Fraction{24'000, 25'025}),
              (std::vector<std::uint64_t>{0, 31'282}));
    const std::uint64_t starts[] = {0, 300'000, 3'723'004};
    EXPECT_EQ(chapterList(starts), "0:00:00.000,0:05:00.000,1:02:03.004");
}

// Every button inside the title-safe area, apart from the others, on even
// lines; a page holds 36.
TEST(Authoring, MenuButtonsStayInTheSafeAreaApart) {
    const FrameSize pal{720, 576};
    for (const std::size_t n :
         {std::size_t{1}, std::size_t{12}, std::size_t{13}, kMaxMenuButtons}) {
        const auto buttons = menuButtons(n, pal);
        ASSERT_TRUE(buttons) << n;
        ASSERT_EQ(buttons->size(), n);
        for (std::size_t i = 0; i < n; ++i) {
            const MenuButton& b = (*buttons)[i];
            EXPECT_GE(b.x, 72) << n << " " << i;
            EXPECT_GE(b.y, 56);
            EXPECT_LE(b.x + b.width, 720 - 72);
            EXPECT_LE(b.y + b.height, 576 - 56);
            EXPECT_EQ(b.y % 2 + b.height % 2 + b.x % 2 + b.width % 2, 0);
            for (std::size_t j = 0; j < i; ++j) {
                const MenuButton& a = (*buttons)[j];
                EXPECT_TRUE(a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y ||
                            b.y + b.height <= a.y)
                    << n << ": " << j << " and " << i << " overlap";
            }
        }
    }
    EXPECT_FALSE(menuButtons(kMaxMenuButtons + 1, pal));
    EXPECT_FALSE(menuButtons(0, pal));
}

TEST(Authoring, SplitKeepsInputsWholeAndDiscsEven) {
    constexpr std::uint64_t kMin = 60'000;
    const auto minutes = [&](std::vector<std::uint64_t> m) {
        std::vector<BudgetInput> inputs;
        for (const std::uint64_t v : m)
            inputs.push_back({"", v * kMin, {1, 1}});
        return inputs;
    };
    // Per disc, the inputs it holds.
    const auto shape = [](const std::vector<DiscPieces>& discs) {
        std::vector<std::vector<std::size_t>> out;
        for (const DiscPieces& d : discs) {
            out.emplace_back();
            for (const Piece& p : d)
                out.back().push_back(p.input);
        }
        return out;
    };
    using Discs = std::vector<std::vector<std::size_t>>;
    EXPECT_EQ(shape(splitOntoDiscs(minutes({4, 4, 4}), 5 * kMin)), (Discs{{0}, {1}, {2}}));
    EXPECT_EQ(shape(splitOntoDiscs(minutes({4, 4, 4}), 10 * kMin)), (Discs{{0, 1}, {2}}));
    // In order and balanced: not {0,1,2},{3} (9 and 3) but 6 and 6.
    EXPECT_EQ(shape(splitOntoDiscs(minutes({3, 3, 3, 3}), 9 * kMin)), (Discs{{0, 1}, {2, 3}}));
    // 25 minutes on 10-minute discs: three equal pieces that add up to the input.
    const auto cut = splitOntoDiscs(minutes({25}), 10 * kMin);
    ASSERT_EQ(cut.size(), 3u);
    std::uint64_t at = 0;
    for (const DiscPieces& d : cut) {
        ASSERT_EQ(d.size(), 1u);
        EXPECT_FALSE(d[0].whole);
        EXPECT_EQ(d[0].startMs, at);
        at += d[0].lengthMs;
    }
    EXPECT_EQ(at, 25 * kMin);
    // Sped up 25/24 on the disc, 10.4 source minutes fit a 10-minute disc whole.
    const BudgetInput film{"", 10'400 * 60, {25, 24}};
    EXPECT_EQ(splitOntoDiscs(std::span(&film, 1), 10 * kMin).size(), 1u);
}

TEST(Authoring, FitCountsReservesAndWholeSectors) {
    const DiscChoice dvd5{DiscChoice::Kind::Dvd5};
    const DiscChoice cd80{DiscChoice::Kind::Cd80};
    const std::uint64_t full = kDvd5Bytes - kDvdReserveBytes;
    struct Row {
        const char* name;
        Format format;
        DiscChoice disc;
        std::vector<std::uint64_t> streams;
        bool fits;
    };
    const Row rows[] = {
        {"DVD exactly full", Format::Dvd, dvd5, {full / 2, full - full / 2}, true},
        {"DVD one byte over", Format::Dvd, dvd5, {full / 2, full - full / 2 + 1}, false},
        // Two tracks' reserve and whole sectors: 1 byte costs a sector.
        {"CD exactly full",
         Format::Svcd,
         cd80,
         {(kCd80Sectors - kCdDiscReserveSectors - 2 * kCdTrackReserveSectors - 1) * kCdSectorBytes,
          1},
         true},
        {"CD a sector over",
         Format::Svcd,
         cd80,
         {(kCd80Sectors - kCdDiscReserveSectors - 2 * kCdTrackReserveSectors - 1) * kCdSectorBytes,
          kCdSectorBytes + 1},
         false},
        {"VCD on a DVD", Format::Vcd, dvd5, {1}, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(fitStreams(r.format, r.disc, r.streams).fits(), r.fits) << r.name;

    // An image: the BIN's raw sectors and the pregap against the disc's sectors.
    const std::uint64_t binFull = (kCd80Sectors - kCdPregapSectors) * kCdRawSectorBytes;
    EXPECT_TRUE(fitImage(Format::Vcd, cd80, binFull).fits());
    EXPECT_FALSE(fitImage(Format::Vcd, cd80, binFull + 1).fits());
    EXPECT_FALSE(fitImage(Format::Dvd, dvd5, kDvd5Bytes + 1).fits());
    EXPECT_EQ((Fit{999'601, 1'000'000}.fillText()), "100.0"); // rounded up, never down to 99.9
    EXPECT_EQ((Fit{987'000, 1'000'000}.fillText()), "98.7");
}

TEST(Authoring, RefitShedsTheExcessWithAMargin) {
    // 60 s over by 7.5 MB: 1,000 kbit/s less, then 2% off.
    EXPECT_EQ(refitVideoKbps(5'000, 7'500'000, 60'000), 3'920);
    EXPECT_EQ(refitVideoKbps(1'000, 7'500'000, 60'000), 0); // nothing left
    EXPECT_EQ(refitVideoKbps(5'000, 1, 0), 0);
}

} // namespace
} // namespace quorvel::disc
