#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// Text helpers every side shares, header only. Case is folded for ASCII letters alone, never
// through a locale or code page: package keys, switches and file-name patterns compare the
// same on every machine, and a byte of a double-byte character is never changed.
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline void LowerAscii(char* text) {
    for (; *text != '\0'; ++text) *text = LowerAscii(*text);
}

// Copies at most maxChars characters of source, then the terminator, into a buffer of
// capacity bytes; the copy is also cut to fit the buffer. Returns the number of characters copied.
inline size_t CopyText(char* buffer, size_t capacity, const char* source, size_t maxChars = SIZE_MAX) {
    if (capacity == 0) return 0;
    size_t limit = capacity - 1 < maxChars ? capacity - 1 : maxChars;
    size_t length = 0;
    while (length < limit && source[length] != '\0') ++length;
    std::memcpy(buffer, source, length);
    buffer[length] = '\0';
    return length;
}
