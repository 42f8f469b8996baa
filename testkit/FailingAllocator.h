#pragma once
#include <cstddef>

// Injected allocation failures, as zlib's infcover does them. A test program linked with
// orvan_failing_allocator has its malloc and calloc calls (from every object linked into it,
// the product's libraries and zlib included) routed through a counter; the shipped program
// is not linked with it and allocates as ever.
namespace testkit {

// While it lives, the nth counted allocation from now (1-based) returns null, and only that
// one; with minSize, only allocations of at least minSize bytes are counted, to aim at one
// buffer among small ones.
class FailingAllocation {
public:
    explicit FailingAllocation(int nth, size_t minSize = 0);
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
    ~FailingAllocation();
    // True once the failure has been delivered.
    bool Delivered() const;
    // Allocations counted so far in this scope, the failed one included.
    int Counted() const;
};

// Blocks allocated while a FailingAllocation lived and not yet freed: the same number before
// and after a piece of work done under one means that work leaked nothing.
int LiveAllocations();

}  // namespace testkit
