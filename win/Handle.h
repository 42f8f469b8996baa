#pragma once
#include <windows.h>

namespace win {

// Owner of one kernel handle. Traits give the "empty" value and how to close:
// a file handle is empty at INVALID_HANDLE_VALUE, a process or event handle at null.
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;
    UniqueHandle() = default;
    explicit UniqueHandle(Type value) : value(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Type get() const { return value; }
    bool valid() const { return value != Traits::Empty(); }
    explicit operator bool() const { return valid(); }
    void reset(Type next = Traits::Empty()) {
        if (valid()) Traits::Close(value);
        value = next;
    }
    Type release() {
        Type out = value;
        value = Traits::Empty();
        return out;
    }
    // For APIs that return the handle through an out-parameter.
    Type* put() {
        reset();
        return &value;
    }

private:
    Type value = Traits::Empty();
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using Handle = UniqueHandle<KernelHandleTraits>;
using Module = UniqueHandle<ModuleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace win
