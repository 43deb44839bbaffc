#include "make/batch.h"

#include "info/report.h"
#include "info/run.h"
#include "source/avi/avi_library.h"

#include <filesystem>
#include <thread>

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

std::string realPath(const std::string& path) {
    std::error_code ec;
    return std::filesystem::weakly_canonical(path, ec).string();
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

MakeRequest makeRequest(const DiscOptions& o, const disc::PlanRequest& plan,
                        std::vector<disc::PlanSource> sources, const std::string& image,
                        const std::string& work) {
    MakeRequest request;
    request.plan = plan;
    request.sources = std::move(sources);
    request.image = image;
    request.work = work;
    const unsigned cores = std::thread::hardware_concurrency();
    request.jobs = o.jobs > 0 ? o.jobs : static_cast<int>(cores > 0 ? cores : 1);
    request.chapterMs = static_cast<std::uint64_t>(o.chapterMinutes) * 60'000;
    request.keep = o.keep;
    request.menu = o.menu;
    for (const disc::PlanSource& source : request.sources)
        request.titleNames.push_back(std::filesystem::path(source.name).stem().string());
    return request;
}

std::string imageProblem(const DiscOptions& o, const std::string& image) {
    const bool cd = o.format != disc::Format::Dvd;
    if (cd)
        if (std::string why = cueNameProblem(image); !why.empty())
            return why;
    // The image's folder must take it before hours of encoding, not after.
    const std::string folder = std::filesystem::path(image).parent_path().string();
    if (std::string why = info::checkOutputFolder(folder.empty() ? "." : folder); !why.empty())
        return why;
    // A CD's image is two files: the CUE sheet and its BIN.
    const std::string bin = binPath(image);
    for (const std::string& input : o.inputs)
        if (realPath(input) == realPath(image) || (cd && realPath(input) == realPath(bin)))
            return "the image would write over the input " + info::textEscaped(input);
    std::error_code ec;
    if (!o.dryRun &&
        (std::filesystem::exists(image, ec) || (cd && std::filesystem::exists(bin, ec))))
        return info::textEscaped(image) + " exists: remove it or give another --output";
    return {};
}

} // namespace quorvel::make
