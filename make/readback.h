#pragma once

// The titles of a written image as an independent reader shows them: lsdvd's
// XML for a DVD, vcd-info's report for a VCD or SVCD.

#include "make/engine.h"

#include "source/io/byte_source.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::make {

// A DVD holds at most 99 titles; a CD at most 98 MPEG tracks.
inline constexpr std::size_t kMaxReadTitles = 99;

// `problem` says why when the text is not what the reader writes.
std::vector<ReadTitle> readLsdvd(std::string_view xml, std::string& problem);
// Where a CD's MPEG track lies: its first sector and its bytes (2,324 a
// sector), as the disc's file system lists AVSEQnn.
struct CdTrack {
    std::uint64_t sector = 0;
    std::uint64_t bytes = 0;
};

// The disc's entries, one title each, and its tracks in order; `problem`
// also when it has no play list, or tracks and entries differ in number.
std::vector<ReadTitle> readVcdInfo(std::string_view report, std::string& problem,
                                   std::vector<CdTrack>& tracks);

// A track's MPEG as a BIN holds it: each raw 2,352-byte sector carries 2,324
// bytes of Mode 2 Form 2 payload after 24 of sync, header and subheader.
class CdTrackSource final : public io::ByteSource {
public:
    CdTrackSource(io::ByteSource& bin, CdTrack track) : bin_(bin), track_(track) {}
    std::uint64_t size() const override { return track_.bytes; }
    std::int32_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size,
                        std::size_t& got) override;

private:
    io::ByteSource& bin_;
    CdTrack track_;
};

// The track's running time as our MPEG reader finds it; none when it cannot.
std::optional<std::uint64_t> cdTrackMs(io::ByteSource& bin, CdTrack track);

} // namespace quorvel::make
