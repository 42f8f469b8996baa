// The stub's own start, in place of the C run-time's (crt2, crtbegin, crtend and what they pull
// in: 5.5 KB of a file every package carries). Of what that start-up did, the stub needs only
// what is below: msvcrt.dll has set itself up before any line here runs, WinMain reads neither
// its command line nor its show command (the program asks the system for its wide command
// line), and cmake/StubStart.ld fails the link should anything need the rest (C initialiser
// tables, TLS callbacks, pseudo-relocations).
#include <windows.h>

#include <cfloat>
#include <cstdlib>

extern "C" {
void __set_app_type(int type);
void __main();
void _pei386_runtime_relocator();
extern IMAGE_DOS_HEADER __ImageBase;
}

// The loader gives no 16-byte aligned stack, which the SSE code of the CRC assumes.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
    // A GUI program (2): the C library's own errors are shown in a box, not written to a console.
    __set_app_type(2);
    // The x87 unit as the compiler's run-time expects it (full precision), as before.
    _fpreset();
    // The C++ static constructors; their destructors and atexit functions run in exit.
    __main();
    std::exit(WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr, nullptr, SW_SHOWDEFAULT));
}

// As the C run-time's start defines it (msvcrt exports no atexit of its own to link against):
// the functions run in exit, last registered first.
extern "C" int atexit(void (*function)()) { return _onexit(reinterpret_cast<_onexit_t>(function)) == nullptr ? -1 : 0; }

// Never called (there are no pseudo-relocations), and dropped by --gc-sections with what only it
// reaches: the reference has the linker load the relocator from its archive before link-time
// optimisation runs, without which ld 2.40 crashes when it adds the optimised code.
void OrvanLoadRelocatorEarly() { _pei386_runtime_relocator(); }
