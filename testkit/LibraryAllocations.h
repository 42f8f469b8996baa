#pragma once
#include <windows.h>

// The allocations of a library the test program loaded at run time, counted and failed by
// FailingAllocation like the program's own: while a LibraryAllocations lives, the library's
// imported malloc, calloc and free go through the counting allocator (the test program must
// be linked with orvan_failing_allocator). So the shipped libraries themselves, not a copy
// built for the test, meet the injected failures.
namespace testkit {

// Points one function that module imports from library (by name) at replacement, and back
// when it ends. Applied() is false when the module imports no such function.
class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* library, const char* function, void* replacement);
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    ~ImportPatch();
    bool Applied() const { return slot != nullptr; }

private:
    void** slot = nullptr;
    void* original = nullptr;
};

class LibraryAllocations {
public:
    explicit LibraryAllocations(HMODULE module);
    // False when the library's malloc or free could not be redirected (calloc it may lack).
    bool Redirected() const { return mallocPatch.Applied() && freePatch.Applied(); }

private:
    ImportPatch mallocPatch;
    ImportPatch callocPatch;
    ImportPatch freePatch;
};

}  // namespace testkit
