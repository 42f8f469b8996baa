#include "win/FormatText.h"

#include <cstdarg>
#include <cstdio>

namespace win {

bool FormatText(char* out, size_t capacity, const char* format, ...) {
    if (capacity == 0) return false;
    va_list args;
    va_start(args, format);
    const int n = ::_vsnprintf(out, capacity, format, args);
    va_end(args);
    // This formatter leaves the buffer unterminated when the text fills it exactly or more.
    out[capacity - 1] = '\0';
    return n >= 0 && static_cast<size_t>(n) < capacity;
}

}  // namespace win
