#pragma once
#include <unknwn.h>

namespace win {

// Owner of one COM interface pointer: empty at null, released on reset.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* value) : value(value) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const { return value; }
    T* operator->() const { return value; }
    explicit operator bool() const { return value != nullptr; }
    void reset(T* next = nullptr) {
        if (value != nullptr) value->Release();
        value = next;
    }
    T* release() {
        T* out = value;
        value = nullptr;
        return out;
    }
    // For CoCreateInstance and QueryInterface, which return the pointer through void**.
    void** put() {
        reset();
        return reinterpret_cast<void**>(&value);
    }

private:
    T* value = nullptr;
};

}  // namespace win
