#include "win/DesktopUser.h"

#include "win/Handle.h"

namespace win {

namespace {

constexpr int kWideCapacity = 1024;

bool Widen(const char* text, wchar_t (&wide)[kWideCapacity]) {
    return ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kWideCapacity) != 0;
}

}  // namespace

bool StartAsDesktopUser(const char* program, const char* commandLine, const char* folder) {
    DWORD shellProcess = 0;
    const HWND shell = ::GetShellWindow();
    if (shell == nullptr || ::GetWindowThreadProcessId(shell, &shellProcess) == 0) return false;
    Handle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcess));
    Handle token;
    Handle primary;
    if (!process || !::OpenProcessToken(process.get(), TOKEN_DUPLICATE, token.put()) ||
        !::DuplicateTokenEx(token.get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                                             TOKEN_ADJUST_SESSIONID,
                            nullptr, SecurityImpersonation, TokenPrimary, primary.put())) {
        return false;
    }
    wchar_t wideProgram[kWideCapacity];
    wchar_t wideCommand[kWideCapacity];
    wchar_t wideFolder[kWideCapacity];
    if (!Widen(program, wideProgram) || !Widen(commandLine, wideCommand) || !Widen(folder, wideFolder)) return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessWithTokenW(primary.get(), 0, wideProgram, wideCommand, 0, nullptr, wideFolder, &startup,
                                   &started)) {
        return false;
    }
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return true;
}

}  // namespace win
