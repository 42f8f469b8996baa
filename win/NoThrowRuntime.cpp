// The C++ library's error reports and allocation functions, for the programs we ship, none of
// which catches an exception: where the library would throw, the process ends with exit code
// 3, as an uncaught exception would (terminate, then abort), but without linking the library's
// exception machinery, 50-150 KB of every such program.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace std {

[[noreturn]] void __throw_bad_alloc() { ::ExitProcess(3); }
[[noreturn]] void __throw_bad_array_new_length() { ::ExitProcess(3); }
[[noreturn]] void __throw_bad_function_call() { ::ExitProcess(3); }
[[noreturn]] void __throw_invalid_argument(const char*) { ::ExitProcess(3); }
[[noreturn]] void __throw_length_error(const char*) { ::ExitProcess(3); }
[[noreturn]] void __throw_logic_error(const char*) { ::ExitProcess(3); }
[[noreturn]] void __throw_out_of_range(const char*) { ::ExitProcess(3); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { ::ExitProcess(3); }
// A failed check of the library's own (an index past the end): the same end, rather than
// reading or writing past the memory.
[[noreturn]] void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { ::ExitProcess(3); }

}  // namespace std

// The library's operator new reports failure by throwing; the same end, without it. Callers that
// can do better use the nothrow forms, or malloc, and test for null.
void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) ::ExitProcess(3);
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
