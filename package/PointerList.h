#pragma once
#include <cstdint>

// Growable array of untyped pointers. It never owns what the pointers point to:
// holders free their objects first, then call Clear.
class PointerList {
public:
    PointerList() = default;
    PointerList(const PointerList&) = delete;
    PointerList& operator=(const PointerList&) = delete;
    virtual ~PointerList();

    // Appends p; returns its index, or -1 when no slot could be made.
    int32_t Add(void* p);
    // The pointer at index, or null when index is outside 0 .. Count()-1.
    void* Get(int32_t index) const;
    int32_t Count() const { return count; }
    // Stores p at index, lengthening the list (with null slots) when index >= Count().
    // A negative index, or a failed lengthening, changes nothing.
    void Set(void* p, int32_t index);
    // Sets the count, growing the array when needed; false when it could not grow.
    bool Resize(int32_t newCount);
    // Enlarges the array to base * 1.25 + 32 slots (base = capacity when n is -1).
    // On allocation failure the list stays as it was.
    void Grow(int32_t n);
    // Frees the array only.
    void Clear();
    int32_t Capacity() const { return capacity; }

private:
    void** items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
};
