#include "make/readback.h"

#include <QXmlStreamReader>

#include "source/media/media.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quorvel::make {

std::vector<ReadTitle> readLsdvd(std::string_view xml, std::string& problem) {
    std::vector<ReadTitle> titles;
    // libdvdread may print a notice before the document.
    if (const std::size_t start = xml.find("<?xml"); start != std::string_view::npos)
        xml.remove_prefix(start);
    QXmlStreamReader r(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    // <lsdvd><track><length/><vts/><aspect/><chapter/>...</track></lsdvd>
    int depth = 0;
    while (!r.atEnd()) {
        const QXmlStreamReader::TokenType token = r.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        const auto name = r.name();
        if (depth == 2 && name == u"track") {
            if (titles.size() == kMaxReadTitles) {
                problem = "more than " + std::to_string(kMaxReadTitles) + " titles";
                return {};
            }
            titles.emplace_back();
        } else if (depth == 3 && !titles.empty()) {
            ReadTitle& t = titles.back();
            if (name == u"chapter") {
                ++t.chapters;
                continue;
            }
            if (name != u"length" && name != u"vts" && name != u"aspect")
                continue;
            const QString text = r.readElementText();
            --depth; // readElementText consumed the end element
            if (name == u"length") {
                bool ok = false;
                const double seconds = text.toDouble(&ok);
                if (ok && seconds >= 0 && seconds < 1e6)
                    t.runningMs = static_cast<std::uint64_t>(std::llround(seconds * 1000));
            } else if (name == u"vts") {
                t.titleSet = text.toInt();
            } else {
                t.wide = text == u"16/9";
            }
        }
    }
    if (r.hasError()) {
        problem = "lsdvd's report is not XML: " + r.errorString().toStdString();
        return {};
    }
    return titles;
}

namespace {

// The number after `key` in `line`, spaces skipped; none without digits.
std::optional<std::uint64_t> numberAfter(std::string_view line, std::string_view key) {
    const std::size_t at = line.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    line.remove_prefix(at + key.size());
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), n);
    if (ec != std::errc{})
        return std::nullopt;
    return n;
}

} // namespace

std::vector<ReadTitle> readVcdInfo(std::string_view report, std::string& problem,
                                   std::vector<CdTrack>& tracks) {
    std::vector<ReadTitle> titles;
    tracks.clear();
    bool playList = false;
    while (!report.empty()) {
        const std::size_t nl = report.find('\n');
        std::string_view line = report.substr(0, nl);
        report.remove_prefix(nl == std::string_view::npos ? report.size() : nl + 1);
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        // " ENTRY[00]: track#  1 (SEQUENCE[0]), ..." and " LID[1]: offset = 0"
        if (line.starts_with("ENTRY[")) {
            if (titles.size() == kMaxReadTitles) {
                problem = "more than " + std::to_string(kMaxReadTitles) + " entries";
                return {};
            }
            titles.emplace_back();
        } else if (line.starts_with("LID[") && line.find("offset") != std::string_view::npos) {
            playList = true;
        } else if (line.find("  AVSEQ") != std::string_view::npos) {
            // "- ---2-xrxrxr 0 0 [fn 01] [LSN    450]    920304 (   811008)  AVSEQ01.DAT;1"
            const std::string_view from = line.substr(std::min(line.find("[LSN"), line.size()));
            const auto sector = numberAfter(from, "[LSN");
            const auto bytes = numberAfter(from, "]");
            if (sector && bytes && tracks.size() < kMaxReadTitles)
                tracks.push_back({*sector, *bytes});
        }
    }
    if (!playList)
        problem = "the disc has no play list";
    else if (tracks.size() != titles.size())
        problem = std::to_string(tracks.size()) + " tracks for " + std::to_string(titles.size()) +
                  " entries";
    return titles;
}

std::int32_t CdTrackSource::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                                   std::size_t& got) {
    constexpr std::uint64_t kRaw = 2'352, kHeader = 24, kPayload = 2'324;
    got = 0;
    while (got < size && offset < track_.bytes) {
        const std::uint64_t within = offset % kPayload;
        const std::size_t n = static_cast<std::size_t>(
            std::min({kPayload - within, track_.bytes - offset, std::uint64_t{size - got}}));
        std::size_t read = 0;
        const std::uint64_t at = (track_.sector + offset / kPayload) * kRaw + kHeader + within;
        if (const std::int32_t rc = io::readFully(bin_, at, {out + got, n}, read); rc != 0)
            return rc;
        got += read;
        offset += read;
        if (read < n)
            break;
    }
    return 0;
}

std::optional<std::uint64_t> cdTrackMs(io::ByteSource& bin, CdTrack track) {
    // vcdimager puts empty sectors before the first pack (a front margin of
    // 30 sectors); the reader wants the stream from its first pack.
    constexpr int kMaxLeadSectors = 150;
    constexpr std::uint64_t kPayload = 2'324;
    for (int k = 0; k < kMaxLeadSectors && track.bytes > kPayload; ++k) {
        std::uint8_t start[4] = {};
        std::size_t got = 0;
        if (CdTrackSource(bin, track).readAt(0, start, sizeof start, got) != 0 || got < 4)
            return std::nullopt;
        if (start[0] == 0 && start[1] == 0 && start[2] == 1 && start[3] == 0xBA)
            break;
        ++track.sector;
        track.bytes -= kPayload;
    }
    CdTrackSource source(bin, track);
    std::vector<std::uint8_t> prefix(
        static_cast<std::size_t>(std::min<std::uint64_t>(io::kPrefixSize, track.bytes)));
    std::size_t got = 0;
    if (io::readFully(source, 0, prefix, got) != 0)
        return std::nullopt;
    const media::ProbeResult r = media::readMpeg(io::Bytes(prefix.data(), got), source);
    return r.ok() ? r.video->durationMs : std::nullopt;
}

} // namespace quorvel::make
