// The C++ library's error reports, for the programs we ship that catch none of them: the
// process ends with exit code 3, as an uncaught exception would (terminate, then abort), but
// without linking the library's exception machinery, about 54 KB of every such program.
#include <windows.h>

namespace std {

[[noreturn]] void __throw_bad_alloc() { ::ExitProcess(3); }
[[noreturn]] void __throw_bad_array_new_length() { ::ExitProcess(3); }
[[noreturn]] void __throw_bad_function_call() { ::ExitProcess(3); }
[[noreturn]] void __throw_invalid_argument(const char*) { ::ExitProcess(3); }
[[noreturn]] void __throw_length_error(const char*) { ::ExitProcess(3); }
[[noreturn]] void __throw_logic_error(const char*) { ::ExitProcess(3); }
[[noreturn]] void __throw_out_of_range(const char*) { ::ExitProcess(3); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { ::ExitProcess(3); }

}  // namespace std
