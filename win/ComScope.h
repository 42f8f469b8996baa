#pragma once
#include <objbase.h>

namespace win {

// COM initialised on this thread for the life of the scope. Only a successful initialisation
// (S_FALSE included) is balanced: after RPC_E_CHANGED_MODE an uninitialisation would undo
// someone else's. COM pointers used inside must be released before the scope ends.
class ComScope {
public:
    ComScope() : started(SUCCEEDED(::CoInitialize(nullptr))) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (started) ::CoUninitialize();
    }
    bool Started() const { return started; }

private:
    bool started;
};

// Owner of memory the COM task allocator gave out (a shell item list): freed with
// CoTaskMemFree, empty at null.
template <typename T>
class CoTaskMemory {
public:
    CoTaskMemory() = default;
    explicit CoTaskMemory(T* memory) : memory(memory) {}
    CoTaskMemory(const CoTaskMemory&) = delete;
    CoTaskMemory& operator=(const CoTaskMemory&) = delete;
    ~CoTaskMemory() {
        if (memory != nullptr) ::CoTaskMemFree(memory);
    }
    T* get() const { return memory; }
    explicit operator bool() const { return memory != nullptr; }
    // For the shell calls that return the memory through an out-parameter.
    T** put() {
        if (memory != nullptr) ::CoTaskMemFree(memory);
        memory = nullptr;
        return &memory;
    }

private:
    T* memory = nullptr;
};

}  // namespace win
