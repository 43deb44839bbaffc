#pragma once

// What the sniffer needs to tell Matroska and WebM from other EBML files: the
// EBML header's ID and its DocType. The Matroska reader does the rest.

#include "source/media/byte_cursor.h"

#include <cstdint>
#include <string>

namespace quorvel::media::matroska {

inline constexpr std::uint32_t kIdEbml = 0x1A45DFA3;
inline constexpr std::uint32_t kIdDocType = 0x4282;

struct DocType {
    bool known = false; // false when the EBML header is damaged or cut short
    std::string name;   // "matroska" when the header does not say
};
// The DocType of the EBML header that `b` begins with.
DocType docType(Bytes b);
bool isMatroskaDocType(const std::string& name);

} // namespace quorvel::media::matroska
