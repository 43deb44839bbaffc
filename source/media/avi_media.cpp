#include "source/media/media.h"

#include "source/avi/avifile.h"
#include "source/avi/aviheader.h"

namespace quorvel::media {

namespace {

// A FourCC as text when all four bytes are printable, trailing spaces dropped.
std::string fourccText(std::uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>(code >> (8 * i));
        if (c < 0x20 || c > 0x7E)
            return {};
        s.push_back(c);
    }
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string codecOf(const avifile::AviVideoExtras& e) {
    // biCompression names the coding; fccHandler often names a program.
    if (std::string s = fourccText(e.compression); !s.empty())
        return s;
    if (e.compression == 0)
        return "RGB";
    return fourccText(e.handler);
}

} // namespace

ProbeResult readAvi(Bytes prefix, io::ByteSource& source) {
    avifile::AVIFILEINFO record{};
    avifile::AviVideoExtras extras;
    if (const std::int32_t rc = avifile::readAviVideo(prefix, source, record, extras))
        return {std::nullopt, avifile::sysErrorText(rc)};
    VideoInfo info;
    info.container = Container::Avi;
    info.codec = codecOf(extras);
    info.width = record.dwWidth;
    info.height = record.dwHeight;
    info.rate = ratio(record.dwRate, record.dwScale);
    // The frame's aspect spread over the active picture; each factor is at
    // most 32 bits wide, so the products fit.
    if (extras.frameWidth != 0 && extras.frameHeight != 0)
        info.sar = ratio(std::uint64_t{extras.aspectX} * extras.frameHeight,
                         std::uint64_t{extras.aspectY} * extras.frameWidth);
    return {info, {}};
}

} // namespace quorvel::media
