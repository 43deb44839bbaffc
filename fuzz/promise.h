#pragma once

// A promise a reader keeps for any input, checked the same way by the libFuzzer
// targets and by the replay test. A broken one aborts.

#include <cstdio>
#include <cstdlib>

namespace quorvel::fuzz {

// Called before aborting, so that a driver can keep the input that broke us.
inline void (*onBrokenPromise)() = nullptr;

} // namespace quorvel::fuzz

#define PROMISE(cond)                                                                              \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #cond);        \
            if (quorvel::fuzz::onBrokenPromise)                                                    \
                quorvel::fuzz::onBrokenPromise();                                                  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
