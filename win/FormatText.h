#pragma once
#include <cstddef>

namespace win {

// printf-style formatting into out (capacity bytes), always zero-terminated; false when the
// text did not fit (out then holds as much as fitted). It uses the system C library's
// formatter: the C++ library's own would add some 16 KB to the stub. A caller that drops the
// result says with (void) why the text cannot be cut, or why a cut one is what it wants.
[[nodiscard]] bool FormatText(char* out, size_t capacity, const char* format, ...)
    __attribute__((format(ms_printf, 3, 4)));

// folder, a backslash and name into out; false, as FormatText, when they do not fit.
[[nodiscard]] inline bool JoinPath(char* out, size_t capacity, const char* folder, const char* name) {
    return FormatText(out, capacity, "%s\\%s", folder, name);
}

}  // namespace win
