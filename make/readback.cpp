#include "make/readback.h"

#include <QXmlStreamReader>

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

std::vector<ReadTitle> readVcdInfo(std::string_view report, std::string& problem) {
    std::vector<ReadTitle> titles;
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
        }
    }
    if (!playList)
        problem = "the disc has no play list";
    return titles;
}

} // namespace quorvel::make
