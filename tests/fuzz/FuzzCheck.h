#pragma once
#include <cstdlib>

// A broken property ends the run the way the fuzzer reports as a crash.
inline void Check(bool condition) {
    if (!condition) std::abort();
}
