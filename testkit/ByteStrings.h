#pragma once
// Test data as byte strings: seeded random bytes and parts joined end to end.
#include <cstddef>
#include <initializer_list>
#include <random>
#include <vector>

namespace testkit {

using Bytes = std::vector<unsigned char>;

inline Bytes RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<unsigned char>(random());
    return out;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace testkit
