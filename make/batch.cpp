#include "make/batch.h"

#include "info/run.h"
#include "source/avi/avi_library.h"

namespace quorvel::make {

namespace {

info::Options infoOptions(disc::Format format, std::optional<disc::Standard> standard,
                          std::optional<disc::DiscChoice> disc) {
    info::Options o;
    o.format = format == disc::Format::Dvd    ? info::FormatChoice::Dvd
               : format == disc::Format::Svcd ? info::FormatChoice::Svcd
                                              : info::FormatChoice::Vcd;
    o.standard = !standard                          ? info::StandardChoice::Auto
                 : *standard == disc::Standard::Pal ? info::StandardChoice::Pal
                                                    : info::StandardChoice::Ntsc;
    o.ffmpeg = true;
    o.disc = disc.value_or(disc::usualDisc(format));
    return o;
}

} // namespace

ReadInput readInput(const std::string& path) {
    // The shape options a file's facts depend on are quorvel-info's defaults.
    info::Read read = info::readFileFacts(avifile::systemAviLibrary(), path,
                                          infoOptions(disc::Format::Dvd, {}, {}));
    ReadInput in{std::move(read.source), read.report.error};
    if (in.error.empty() && !in.source.readable)
        in.error = "the file cannot be read";
    return in;
}

disc::PlanRequest discRequest(disc::Format format, std::optional<disc::Standard> standard,
                              std::optional<disc::DiscChoice> disc) {
    return info::planRequest(infoOptions(format, standard, disc));
}

} // namespace quorvel::make
