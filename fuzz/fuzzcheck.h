#pragma once

#include <cstdio>
#include <cstdlib>

namespace zentavo::fuzz {

// Stops the run with a message when a property of the code under test does not hold; libFuzzer
// (or the replay program) then reports the input that broke it.
inline void check(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

}  // namespace zentavo::fuzz
