#include "installer/DirectXCheck.h"

#include <windows.h>

#include <cstring>

#include "win/Handle.h"

namespace {

constexpr DWORD kScratchSize = 1200;
constexpr uint32_t kVersionCapacity = 399;

// A decimal field of fixed width: white space, an optional sign, then digits; the field's
// own characters only, and a zero byte ends it early.
int FieldValue(const char* text, int width) {
    char field[8] = {};
    std::memcpy(field, text, static_cast<size_t>(width));
    const char* p = field;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10 + (*p++ - '0');
    return negative ? -value : value;
}

// strnlen, written out: the C library's comes with more than it is worth to the stub.
size_t BoundedLength(const char* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != '\0') ++length;
    return length;
}

}  // namespace

bool ReadDirectXValue(HKEY root, const char* valueName, char* buffer, uint32_t capacity) {
    char scratch[kScratchSize] = {};
    win::RegKey key;
    if (::RegOpenKeyExA(root, "SOFTWARE\\Microsoft\\DirectX", 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD size = sizeof(scratch);
    const LONG result = ::RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(scratch), &size);
    if (size > capacity) return false;
    if (result != ERROR_SUCCESS || type != REG_SZ) return false;
    // The query may return a text without its terminator; the scratch area was zero-filled.
    const size_t length = BoundedLength(scratch, capacity);
    std::memcpy(buffer, scratch, length);
    std::memset(buffer + length, 0, capacity - length);
    return true;
}

bool IsDirectX9cVersionText(const char* version) {
    // Positions past the end of the text hold zero bytes.
    char text[12] = {};
    std::memcpy(text, version, BoundedLength(version, sizeof(text)));
    const int minor = FieldValue(text + 2, 2);
    const int sub = FieldValue(text + 5, 2);
    const int build = FieldValue(text + 8, 4);
    return minor > 9 || (minor == 9 && (build >= 904 || sub != 0));
}

bool CheckDirectXVersion(HKEY root) {
    char version[kVersionCapacity];
    if (!ReadDirectXValue(root, "Version", version, kVersionCapacity)) return false;
    return IsDirectX9cVersionText(version);
}
