#pragma once
#include <cstddef>
#include <cstring>

// Copies at most maxChars characters of source, then the terminator, into a buffer of
// capacity bytes; the copy is also cut to fit the buffer. Returns the number of characters copied.
inline size_t CopyText(char* buffer, size_t capacity, const char* source, size_t maxChars) {
    if (capacity == 0) return 0;
    size_t limit = capacity - 1 < maxChars ? capacity - 1 : maxChars;
    size_t length = 0;
    while (length < limit && source[length] != '\0') ++length;
    std::memcpy(buffer, source, length);
    buffer[length] = '\0';
    return length;
}
