#include "components/uninstaller/SelfRemoval.h"

#include <windows.h>
// The system's random source; declared here as SystemFunction036 of advapi32.
#include <ntsecapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "components/uninstaller/Arguments.h"
#include "components/uninstaller/Removal.h"
#include "package/PackageSchema.h"
#include "win/ExactPath.h"
#include "win/FolderEntries.h"
#include "win/Handle.h"

namespace uninstall {

namespace {

constexpr char kCopyPrefix[] = "ZRXUnInst-";
constexpr size_t kCopyPrefixLength = sizeof(kCopyPrefix) - 1;
constexpr size_t kCopyDigits = 8;
// 128 bits: a name nobody can create beforehand to catch the copy.
constexpr size_t kRandomBytes = 16;
constexpr size_t kFolderDigits = kRandomBytes * 2;
constexpr DWORD kStarterWaitMs = 30000;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool HasCopyPrefix(const std::string& name, size_t digits) {
    if (name.size() < kCopyPrefixLength + digits) return false;
    if (::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), static_cast<int>(kCopyPrefixLength),
                         kCopyPrefix, static_cast<int>(kCopyPrefixLength)) != CSTR_EQUAL) {
        return false;
    }
    for (size_t i = kCopyPrefixLength; i < kCopyPrefixLength + digits; ++i) {
        if (!IsHexDigit(name[i])) return false;
    }
    return true;
}

// A folder name from the system's random source; empty when it gives nothing.
std::string RandomFolderName() {
    unsigned char bytes[kRandomBytes] = {};
    if (!::RtlGenRandom(bytes, sizeof(bytes))) return std::string();
    std::string name = kCopyPrefix;
    for (unsigned char b : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof(digits), "%02x", b);
        name += digits;
    }
    return name;
}

// An earlier copy's folder: removed when it holds nothing but the copy's file. Neither the
// folder nor the file may be a link: what a link leads to is not ours.
void RemoveCopyFolder(const std::string& folder, const std::string& self) {
    const std::string copy = folder + "\\" + kUninstallerFile;
    if (::lstrcmpiA(copy.c_str(), self.c_str()) == 0) return;
    bool onlyTheCopy = true;
    const bool listed = win::ForEachEntry(folder + "\\*", [&](const WIN32_FIND_DATAA& data) {
        onlyTheCopy = ::lstrcmpiA(data.cFileName, kUninstallerFile) == 0 &&
                      !(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        return onlyTheCopy;
    });
    if (!listed || !onlyTheCopy) return;
    const DWORD attributes = ::GetFileAttributesA(copy.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !::DeleteFileA(copy.c_str())) return;
    ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

// Each path from the system in its exact narrow form (win/ExactPath.h); empty without one.
std::string OwnPath() {
    char path[MAX_PATH + 1] = {};
    return win::ExactModulePath(nullptr, path, MAX_PATH) ? std::string(path) : std::string();
}

std::string TempFolder() {
    wchar_t wide[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, wide);
    char path[MAX_PATH + 1] = {};
    if (length == 0 || length >= MAX_PATH || !win::ToExactPath(wide, path, MAX_PATH)) return std::string();
    size_t n = std::strlen(path);
    while (n > 3 && path[n - 1] == '\\') --n;
    return std::string(path, n);
}

std::string SystemFolder() {
    char path[MAX_PATH + 1] = {};
    return win::ExactSystemFolder(path, MAX_PATH) ? std::string(path) : std::string();
}

bool IsCopyName(const std::string& name) {
    return name.size() == kCopyPrefixLength + kCopyDigits + 4 && HasCopyPrefix(name, kCopyDigits) &&
           ::lstrcmpiA(name.c_str() + kCopyPrefixLength + kCopyDigits, ".exe") == 0;
}

bool IsCopyFolderName(const std::string& name) {
    return name.size() == kCopyPrefixLength + kFolderDigits && HasCopyPrefix(name, kFolderDigits);
}

void RemoveEarlierCopies(const std::string& tempFolder, const std::string& self) {
    if (tempFolder.empty()) return;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    win::ForEachEntry(tempFolder + "\\" + kCopyPrefix + "*", [&](const WIN32_FIND_DATAA& data) {
        // A link, to a file or a folder, is never one of our copies.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (IsCopyFolderName(data.cFileName)) folders.push_back(tempFolder + "\\" + data.cFileName);
        } else if (IsCopyName(data.cFileName)) {
            files.push_back(tempFolder + "\\" + data.cFileName);
        }
        return true;
    });
    for (const std::string& path : files) {
        if (::lstrcmpiA(path.c_str(), self.c_str()) != 0) ::DeleteFileA(path.c_str());
    }
    for (const std::string& folder : folders) RemoveCopyFolder(folder, self);
}

namespace {

// What the started copy reports through the pipe, else (it ended without a word) its exit
// code, 1 when it has none.
int CopyOutcome(HANDLE reader, HANDLE process) {
    unsigned char reported = 0;
    DWORD got = 0;
    if (::ReadFile(reader, &reported, 1, &got, nullptr) && got == 1) return reported;
    DWORD code = 1;
    ::WaitForSingleObject(process, kStarterWaitMs);
    if (!::GetExitCodeProcess(process, &code) || code == STILL_ACTIVE) code = 1;
    return static_cast<int>(code);
}

}  // namespace

bool RunCopy(const std::string& self, const std::string& tempFolder, const std::string& installFolder, bool silent,
             int& outcome, const std::string& logPath) {
    const std::string systemFolder = SystemFolder();
    const std::string name = RandomFolderName();
    if (self.empty() || tempFolder.empty() || systemFolder.empty() || name.empty()) return false;
    // Made here, and only here: a folder of that name that already exists was not made by us.
    const std::string folder = tempFolder + "\\" + name;
    if (!::CreateDirectoryA(folder.c_str(), nullptr)) return false;
    const std::string copy = folder + "\\" + kUninstallerFile;
    if (!::CopyFileA(self.c_str(), copy.c_str(), TRUE)) {
        ::RemoveDirectoryA(folder.c_str());
        return false;
    }
    auto discard = [&] {
        ::DeleteFileA(copy.c_str());
        ::RemoveDirectoryA(folder.c_str());
        return false;
    };

    // The copy inherits a handle of this process, which it waits on before deleting our file,
    // and the writing end of a pipe for its outcome.
    HANDLE raw = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &raw, SYNCHRONIZE,
                           TRUE, 0)) {
        return discard();
    }
    win::Handle starter(raw);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return discard();
    win::Handle reader(readEnd);
    win::Handle writer(writeEnd);
    if (!::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0)) return discard();
    std::string line = CopyCommandLine(copy, installFolder, static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(starter.get())),
                                       static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(writer.get())), silent,
                                       logPath);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // Started by its full path in the system folder: a current folder inside the installation
    // would keep that folder from being removed, and the temporary folder is not ours.
    if (!::CreateProcessA(copy.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, systemFolder.c_str(), &startup,
                          &process)) {
        return discard();
    }
    win::Handle processHandle(process.hProcess);
    win::Handle threadHandle(process.hThread);
    // Only the copy holds the writing end now: the read ends when it reports or ends.
    writer.reset();
    outcome = CopyOutcome(reader.get(), processHandle.get());
    return true;
}

void ReportOutcome(uint32_t handle, int outcome) {
    if (handle == 0) return;
    win::Handle pipe(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)));
    const unsigned char byte = static_cast<unsigned char>(outcome);
    DWORD written = 0;
    ::WriteFile(pipe.get(), &byte, 1, &written, nullptr);
}

void WaitForStarter(uint32_t handle) {
    if (handle == 0) return;
    win::Handle starter(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)));
    ::WaitForSingleObject(starter.get(), kStarterWaitMs);
}

void ScheduleOwnRemoval(const std::string& self) {
    // Needs the rights to write the system's list of pending renames; without them the
    // next start of an uninstaller deletes the copy instead. The folder goes after its file.
    ::MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    const std::string folder = FolderOf(self);
    const size_t cut = folder.find_last_of('\\');
    if (cut != std::string::npos && IsCopyFolderName(folder.substr(cut + 1))) {
        ::MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}

}  // namespace uninstall
