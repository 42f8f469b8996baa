#include "package/PointerList.h"

#include <cstdlib>
#include <cstring>

PointerList::~PointerList() { Clear(); }

int32_t PointerList::Add(void* p) {
    if (count >= capacity) Grow(-1);
    if (count >= capacity) return -1;
    items[count] = p;
    return count++;
}

void* PointerList::Get(int32_t index) const {
    if (index < 0 || index >= count) return nullptr;
    return items[index];
}

void PointerList::Set(void* p, int32_t index) {
    if (index < 0) return;
    if (index >= count && !Resize(index + 1)) return;
    items[index] = p;
}

bool PointerList::Resize(int32_t newCount) {
    if (newCount < 0) return false;
    if (newCount >= capacity - 1) Grow(newCount);
    if (newCount >= capacity) return false;
    for (int32_t i = count; i < newCount; ++i) items[i] = nullptr;
    count = newCount;
    return true;
}

void PointerList::Grow(int32_t n) {
    if (n < -1) n = -1;
    const int32_t current = capacity < 0 ? 0 : capacity;
    const int32_t base = n == -1 ? current : n;
    const double wanted = static_cast<double>(base) * 1.25 + 32.0;
    // Beyond this the byte size of the array would no longer fit a 32-bit size.
    constexpr size_t kMaxSlots = 0x7FFFFFFF / sizeof(void*);
    if (wanted > static_cast<double>(kMaxSlots)) return;
    const auto newCapacity = static_cast<int32_t>(wanted);
    if (newCapacity < count) return;
    auto* grown = static_cast<void**>(std::malloc(static_cast<size_t>(newCapacity) * sizeof(void*)));
    if (grown == nullptr) return;
    if (count > 0) std::memcpy(grown, items, static_cast<size_t>(count) * sizeof(void*));
    std::free(items);
    items = grown;
    capacity = newCapacity;
}

void PointerList::Clear() {
    std::free(items);
    items = nullptr;
    count = 0;
    capacity = 0;
}
