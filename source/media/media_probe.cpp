#include "source/media/media_probe.h"

#include "source/avi/avi_platform.h"
#include "source/avi/file_info.h"

#include <algorithm>
#include <memory>

namespace quorvel::media {

namespace {

// The window's way: its library, its record and its messages.
FileProbe probeAvi(avifile::AviLibrary& library, const std::string& path) {
    FileProbe probe;
    inspectFile(
        library, path, [&probe](const std::string& message) { probe.error = message; },
        [&probe](const avifile::AVIFILEINFO& record) {
            probe.aviRecord = record;
            probe.video = aviVideoInfo(record);
            return SourceOutcome{};
        });
    return probe;
}

FileProbe fromReader(ProbeResult result) {
    FileProbe probe;
    probe.video = std::move(result.video);
    if (!probe.video)
        probe.error =
            result.error.empty() ? std::string(kVideoUnreadableText) : std::move(result.error);
    return probe;
}

} // namespace

FileProbe probeFile(avifile::AviLibrary& library, const std::string& path) {
    std::unique_ptr<avifile::FileSource> source;
    // Nothing has been seen of a file that cannot be opened or read, so the
    // sentence names no container; it keeps the window's shape.
    if (const std::int32_t rc = avifile::FileSource::open(path.c_str(), source); rc != 0) {
        FileProbe probe;
        probe.error = kOpenFileFailedText + avifile::sysErrorText(rc);
        return probe;
    }
    io::ReadBuffer buffer;
    buffer.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(io::kPrefixSize, source->size())));
    std::size_t got = 0;
    if (const std::int32_t rc = io::readFully(*source, 0, buffer.writable(), got); rc != 0) {
        FileProbe probe;
        probe.error = kReadFileFailedText + avifile::sysErrorText(rc);
        return probe;
    }
    const Bytes prefix = buffer.bytes().first(got);

    const Sniffed sniffed = sniff(prefix);
    if (!sniffed.container) {
        FileProbe probe;
        probe.error = describeUnreadable(sniffed.found);
        return probe;
    }
    switch (*sniffed.container) {
    case Container::Avi:
        break;
    case Container::Mp4:
        return fromReader(readMp4(prefix, *source));
    case Container::Matroska:
        return fromReader(readMatroska(prefix, *source));
    case Container::MpegPs:
    case Container::MpegEs:
        return fromReader(readMpeg(prefix, *source));
    }
    // The window's reader gives size and rate; the codec, the OpenDML frame
    // aspect and fields, the running time and the sound, which its record
    // has no room for, come from our own read.
    const ProbeResult extras = readAvi(prefix, *source);
    source.reset(); // the library opens the file itself
    FileProbe probe = probeAvi(library, path);
    if (probe.video && extras.video) {
        probe.video->codec = extras.video->codec;
        probe.video->sar = extras.video->sar;
        probe.video->durationMs = extras.video->durationMs;
        probe.video->frames = extras.video->frames;
        probe.video->scan = extras.video->scan;
        probe.video->fieldOrder = extras.video->fieldOrder;
        probe.video->hasAudio = extras.video->hasAudio;
        probe.video->audioChannels = extras.video->audioChannels;
    }
    return probe;
}

VideoInfo aviVideoInfo(const avifile::AVIFILEINFO& record) {
    VideoInfo v;
    v.container = Container::Avi;
    v.width = record.dwWidth;
    v.height = record.dwHeight;
    // Signed, as the window divides them; a divisor of 0 stays for the caller.
    v.rate = Fraction{static_cast<std::int32_t>(record.dwRate),
                      static_cast<std::int32_t>(record.dwScale)};
    return v;
}

} // namespace quorvel::media
