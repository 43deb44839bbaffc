#pragma once

// Whether the build runs under AddressSanitizer (QUORVEL_ASAN), and then the
// sanitizer runtime's count of heap bytes in use, for the monkey tests'
// memory checks (GCC ships no header for it).

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEL_ASAN 1
#endif
#endif
#ifdef QUORVEL_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif
