#include "package/PackageFormat.h"

namespace package_format {

namespace {
const char kMarkerHead[] = "5E0B7A21-94C3-4F6D";
const char kMarkerTail[] = "-A1B8-27D9C04E3B65";
static_assert(sizeof(kMarkerHead) - 1 + sizeof(kMarkerTail) - 1 == kMarkerLength, "marker is 36 bytes");
}  // namespace

void MakeMarker(char out[kMarkerLength]) {
    // Volatile reads keep the optimiser from folding both halves into one constant.
    const volatile char* head = kMarkerHead;
    const volatile char* tail = kMarkerTail;
    constexpr uint32_t half = kMarkerLength / 2;
    for (uint32_t i = 0; i < half; ++i) out[i] = head[i];
    for (uint32_t i = 0; i < half; ++i) out[half + i] = tail[i];
}

}  // namespace package_format
