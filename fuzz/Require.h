#pragma once

#include <cstdio>
#include <cstdlib>

// For a target's own checks that walk whole files. The coverage and the
// sanitizers are there for the product's code; these loops read only inside
// the spans they are given and their branches steer nothing, and built with
// coverage tracing and sanitizer checks on each byte they cost several times
// the code under test.
#define A3_FUZZ_UNINSTRUMENTED __attribute__((no_sanitize("coverage", "address", "undefined")))

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
