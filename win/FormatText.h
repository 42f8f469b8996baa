#pragma once
#include <cstddef>

namespace win {

// printf-style formatting into out (capacity bytes), always zero-terminated; false when the
// text did not fit (out then holds as much as fitted). It uses the system C library's
// formatter: the C++ library's own would add some 16 KB to the stub.
bool FormatText(char* out, size_t capacity, const char* format, ...);

}  // namespace win
