#pragma once

#include <cstdio>
#include <cstdlib>

namespace a3::fuzz {

// A broken property ends the run as a crash does, so that libFuzzer keeps the
// input that broke it.
inline void require(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "Property broken: %s\n", property);
        std::abort();
    }
}

} // namespace a3::fuzz
