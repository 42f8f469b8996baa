// The engine libraries' allocation functions. Their objects are made with new (std::nothrow)
// and a failed allocation becomes the operation's failure result; the C++ library's nothrow
// new is built on its throwing one, which would link the whole exception machinery into every
// library the package carries. The throwing forms are left out on purpose: nothing here uses
// them, and a use would show at once in the libraries' size.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
