#include "SelfRemoval.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "Arguments.h"
#include "Handle.h"

namespace uninstall {

namespace {

constexpr char kCopyPrefix[] = "ZRXUnInst-";
constexpr size_t kCopyPrefixLength = sizeof(kCopyPrefix) - 1;
constexpr size_t kCopyDigits = 8;
constexpr DWORD kStarterWaitMs = 30000;
// Names taken by other runs are skipped; a few tries are plenty.
constexpr DWORD kCopyAttempts = 64;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

std::string OwnPath() {
    char path[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

std::string TempFolder() {
    char path[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathA(MAX_PATH, path);
    if (n == 0 || n >= MAX_PATH) return std::string();
    while (n > 3 && path[n - 1] == '\\') --n;
    return std::string(path, n);
}

bool IsCopyName(const std::string& name) {
    if (name.size() != kCopyPrefixLength + kCopyDigits + 4) return false;
    if (::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), static_cast<int>(kCopyPrefixLength),
                         kCopyPrefix, static_cast<int>(kCopyPrefixLength)) != CSTR_EQUAL) {
        return false;
    }
    for (size_t i = kCopyPrefixLength; i < kCopyPrefixLength + kCopyDigits; ++i) {
        if (!IsHexDigit(name[i])) return false;
    }
    return ::lstrcmpiA(name.c_str() + kCopyPrefixLength + kCopyDigits, ".exe") == 0;
}

void RemoveEarlierCopies(const std::string& tempFolder, const std::string& self) {
    if (tempFolder.empty()) return;
    std::vector<std::string> found;
    {
        WIN32_FIND_DATAA data;
        win::FindHandle find(::FindFirstFileA((tempFolder + "\\" + kCopyPrefix + "*.exe").c_str(), &data));
        if (!find) return;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsCopyName(data.cFileName)) {
                found.push_back(tempFolder + "\\" + data.cFileName);
            }
        } while (::FindNextFileA(find.get(), &data));
    }
    for (const std::string& path : found) {
        if (::lstrcmpiA(path.c_str(), self.c_str()) != 0) ::DeleteFileA(path.c_str());
    }
}

bool StartCopy(const std::string& self, const std::string& tempFolder, const std::string& installFolder, bool silent) {
    if (self.empty() || tempFolder.empty()) return false;
    std::string copy;
    const DWORD seed = ::GetCurrentProcessId() * 0x10001u ^ ::GetTickCount();
    for (DWORD attempt = 0; attempt < kCopyAttempts && copy.empty(); ++attempt) {
        char name[32];
        std::snprintf(name, sizeof(name), "%s%08lx.exe", kCopyPrefix, static_cast<unsigned long>(seed + attempt));
        const std::string path = tempFolder + "\\" + name;
        if (::CopyFileA(self.c_str(), path.c_str(), TRUE)) copy = path;
    }
    if (copy.empty()) return false;

    // The copy inherits this handle and waits on it before deleting our file.
    HANDLE raw = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &raw, SYNCHRONIZE,
                           TRUE, 0)) {
        ::DeleteFileA(copy.c_str());
        return false;
    }
    win::Handle starter(raw);
    std::string line =
        CopyCommandLine(copy, installFolder, static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(starter.get())), silent);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // Started in the temporary folder: a current folder inside the installation would keep
    // that folder from being removed.
    if (!::CreateProcessA(copy.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, tempFolder.c_str(), &startup,
                          &process)) {
        ::DeleteFileA(copy.c_str());
        return false;
    }
    win::Handle processHandle(process.hProcess);
    win::Handle threadHandle(process.hThread);
    return true;
}

void WaitForStarter(uint32_t handle) {
    if (handle == 0) return;
    win::Handle starter(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)));
    ::WaitForSingleObject(starter.get(), kStarterWaitMs);
}

void ScheduleOwnRemoval(const std::string& self) {
    // Needs the rights to write the system's list of pending renames; without them the
    // next start of an uninstaller deletes the copy instead.
    ::MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace uninstall
