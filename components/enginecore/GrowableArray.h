#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "win/HeapBuffer.h"

// A growable array of plain values in malloc'd memory for the engine's libraries, which use no
// throwing container: every growth reports failure instead, and what was held stays as it was.
template <typename T>
class GrowableArray {
    static_assert(std::is_trivially_copyable_v<T>, "moved with memcpy");

public:
    GrowableArray() = default;
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;

    const T* Data() const { return items.get(); }
    uint32_t Size() const { return size; }

    // Room for wanted values in all; false when it cannot be had.
    bool Reserve(uint32_t wanted) {
        if (wanted <= capacity) return true;
        if (wanted > kMaxCount) return false;
        win::HeapBuffer<T> grown = win::AllocateBuffer<T>(wanted);
        if (!grown) return false;
        if (size != 0) std::memcpy(grown.get(), items.get(), size * sizeof(T));
        items = std::move(grown);
        capacity = wanted;
        return true;
    }

    // Appends count values; false when the array cannot grow that far.
    bool Append(const T* values, uint32_t count) {
        if (count > kMaxCount - size) return false;
        const uint32_t needed = size + count;
        if (needed > capacity) {
            // Doubling keeps a long run of small appends linear; when that much cannot be had,
            // just what is needed will do.
            const uint32_t doubled = capacity < kMaxCount / 2 ? capacity * 2 : kMaxCount;
            if (!(doubled > needed && Reserve(doubled)) && !Reserve(needed)) return false;
        }
        if (count != 0) std::memcpy(items.get() + size, values, count * sizeof(T));
        size += count;
        return true;
    }

    // Forgets the values, keeping the memory for the next ones.
    void Clear() { size = 0; }

    // Forgets the values and frees the memory.
    void Release() {
        items.reset();
        size = 0;
        capacity = 0;
    }

private:
    // The byte count must fit the 32-bit sizes of the interfaces that fill the array.
    static constexpr uint32_t kMaxCount = UINT32_MAX / sizeof(T);

    win::HeapBuffer<T> items;
    uint32_t size = 0;
    uint32_t capacity = 0;
};
