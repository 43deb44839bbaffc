#pragma once

// UTF-8 as the printed forms need it: file names are any bytes, JSON strings
// and one-line shell commands are not.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// The length of the valid UTF-8 sequence at the start of `s`, or 0 (also for
// an empty `s`).
std::size_t utf8Length(std::string_view s);

// Valid UTF-8 passes as it is; each byte that does not begin a valid
// sequence becomes U+FFFD.
std::string validUtf8(std::string_view bytes);

} // namespace quorvel
