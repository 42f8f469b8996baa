#include "testkit/FailingAllocator.h"

#include <cstdlib>

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void __real_free(void* p);
void* __wrap_malloc(size_t size);
void* __wrap_calloc(size_t count, size_t size);
void __wrap_free(void* p);
}

namespace {

// Plain globals: the counter runs inside malloc itself, where nothing may allocate.
struct Plan {
    bool active = false;
    int nth = 0;
    size_t minSize = 0;
    int counted = 0;
    bool delivered = false;
};
Plan plan;

// The blocks handed out; a test's working set stays far below this.
constexpr int kTracked = 8192;
void* live[kTracked];
int liveCount = 0;

bool ShouldFail(size_t size) {
    if (!plan.active || size < plan.minSize) return false;
    if (++plan.counted != plan.nth) return false;
    plan.delivered = true;
    return true;
}

// Only blocks handed out while a failure is planned: the rest of the test program allocates
// untracked, at no cost.
void* Track(void* p) {
    if (plan.active && p != nullptr && liveCount < kTracked) live[liveCount++] = p;
    return p;
}

}  // namespace

extern "C" void* __wrap_malloc(size_t size) { return ShouldFail(size) ? nullptr : Track(__real_malloc(size)); }

extern "C" void* __wrap_calloc(size_t count, size_t size) {
    const size_t total = size != 0 && count > static_cast<size_t>(-1) / size ? static_cast<size_t>(-1) : count * size;
    return ShouldFail(total) ? nullptr : Track(__real_calloc(count, size));
}

extern "C" void __wrap_free(void* p) {
    for (int i = liveCount - 1; p != nullptr && i >= 0; --i) {  // nothing to scan when nothing is tracked
        if (live[i] != p) continue;
        live[i] = live[--liveCount];
        break;
    }
    __real_free(p);
}

namespace testkit {

FailingAllocation::FailingAllocation(int nth, size_t minSize) { plan = Plan{true, nth, minSize, 0, false}; }

FailingAllocation::~FailingAllocation() { plan.active = false; }

bool FailingAllocation::Delivered() const { return plan.delivered; }

int FailingAllocation::Counted() const { return plan.counted; }

int LiveAllocations() { return liveCount; }

}  // namespace testkit
