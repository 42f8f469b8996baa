#pragma once
#include <cstdlib>
#include <memory>

namespace win {

// Memory from malloc, freed with free: the program's code avoids the C++ library's containers,
// whose failure paths would link exception support into the stub.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using HeapBuffer = std::unique_ptr<T, FreeDeleter>;

// malloc'd storage for count elements; null when it cannot be had.
template <typename T>
HeapBuffer<T> AllocateBuffer(size_t count) {
    return HeapBuffer<T>(static_cast<T*>(std::malloc(count == 0 ? 1 : count * sizeof(T))));
}

// A malloc'd copy of a zero-terminated text; null when it cannot be had.
char* DuplicateText(const char* text);

}  // namespace win
