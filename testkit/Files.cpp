#include "testkit/Files.h"

#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

#include "testkit/ComponentPackage.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "win/ComPtr.h"
#include "win/ComScope.h"
#include "win/FolderEntries.h"
#include "win/Handle.h"

namespace testkit {

namespace {

void AddTree(const std::string& folder, const std::string& prefix, bool withFolders, std::vector<std::string>& out) {
    ForEachEntry(folder, [&](const std::string& name, const WIN32_FIND_DATAA& found) {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            out.push_back(prefix + name);
            return;
        }
        if (withFolders) out.push_back(prefix + name + "\\");
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            AddTree(folder + "\\" + name, prefix + name + "\\", withFolders, out);
        }
    });
}

// The host's name of a Windows path; empty where Wine's kernel32 lacks the conversion.
std::string HostPath(const std::wstring& path) {
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr || path.empty()) return "";
    char* unixPath = toUnix(path.c_str());
    if (unixPath == nullptr) return "";
    std::string out = unixPath;
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return out;
}

std::string HostPath(const std::string& path) { return HostPath(WidenAnsi(path)); }

// A full path in the form the wide calls take beyond MAX_PATH.
std::wstring Long(const std::wstring& path) {
    return path.size() > 2 && path[1] == L':' ? L"\\\\?\\" + path : path;
}

// Runs a host program through Wine's start.exe and waits for it.
bool RunHost(const std::string& arguments) {
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, sizeof(system));
    const std::string start = std::string(system) + "\\start.exe";
    ChildProcess child;
    return child.Start(start, "\"" + start + "\" /wait /unix " + arguments) && child.Wait(20000) &&
           child.ExitCode() == 0;
}

bool WaitForPath(const std::wstring& path, bool present) {
    for (int i = 0; i < 200; ++i) {
        if ((::GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
        ::Sleep(50);
    }
    return false;
}

}  // namespace

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void ForEachEntry(const std::string& folder, const std::function<void(const std::string& name, const WIN32_FIND_DATAA&)>& visit) {
    win::ForEachEntry(folder + "\\*", [&](const WIN32_FIND_DATAA& found) {
        visit(found.cFileName, found);
        return true;
    });
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    ForEachEntry(folder, [&](const std::string& name, const WIN32_FIND_DATAA&) { names.push_back(name); });
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Tree(const std::string& folder, bool withFolders) {
    std::vector<std::string> out;
    AddTree(folder, "", withFolders, out);
    std::sort(out.begin(), out.end());
    return out;
}

std::map<std::string, Bytes> TreeContents(const std::string& folder) {
    std::map<std::string, Bytes> out;
    for (const auto& name : Tree(folder)) ReadFileBytes(folder + "\\" + name, out[name]);
    return out;
}

std::string MakeScratchFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof(temp), temp);
    std::string folder = std::string(temp) + "orvan-test-" + name + "-" + std::to_string(::GetCurrentProcessId());
    RemoveTree(folder);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void RemoveTree(const std::string& folder) { RemoveTree(WidenAnsi(folder)); }

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(Long(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // Removed as a link; Wine's RemoveDirectory would also remove an empty target.
        RemoveHostLink(path);
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(Long(path).c_str());
        return;
    }
    std::vector<std::wstring> names;
    win::ForEachEntry(Long(path + L"\\*"), [&](const WIN32_FIND_DATAW& found) {
        names.push_back(path + L"\\" + found.cFileName);
        return true;
    });
    for (const std::wstring& name : names) RemoveTree(name);
    ::RemoveDirectoryW(Long(path).c_str());
}

bool MakeHostLink(const std::string& link, const std::string& target) {
    const std::string hostLink = HostPath(link);
    const std::string hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty()) return false;
    return RunHost("/bin/ln -s \"" + hostTarget + "\" \"" + hostLink + "\"") && WaitForPath(WidenAnsi(link), true);
}

bool RemoveHostLink(const std::string& link) { return RemoveHostLink(WidenAnsi(link)); }

bool RemoveHostLink(const std::wstring& link) {
    const std::string hostLink = HostPath(link);
    // Plain rm: it removes the link and never what it leads to.
    return !hostLink.empty() && RunHost("/bin/rm -f \"" + hostLink + "\"") && WaitForPath(link, false);
}

std::vector<std::string> RunFolders(const std::string& temp) {
    std::vector<std::string> out;
    for (const std::string& name : Entries(temp)) {
        if (IsRunFolderName(name)) out.push_back(temp + "\\" + name);
    }
    return out;
}

std::string OwnFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string text = path;
    return text.substr(0, text.find_last_of("\\/"));
}

std::string KnownFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) return "";
    return path;
}

std::string Environment(const char* name) {
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    std::string value(size, '\0');
    const DWORD got = size == 0 ? 0 : ::GetEnvironmentVariableA(name, &value[0], size);
    value.resize(got);
    return value;
}

Tampering TryToTamper(const std::string& path) {
    Tampering result;
    const std::string moved = path + ".moved";
    result.renamed = ::MoveFileA(path.c_str(), moved.c_str()) != 0;
    if (result.renamed) ::MoveFileA(moved.c_str(), path.c_str());
    const win::FileHandle writer(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    result.openedForWriting = static_cast<bool>(writer);
    return result;
}

bool ReadLink(const std::string& path, LinkInfo& info) {
    const win::ComScope com;
    win::ComPtr<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  link.put()))) {
        return false;
    }
    win::ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.put()))) return false;
    WCHAR wide[MAX_PATH] = {};
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (FAILED(file->Load(wide, STGM_READ))) return false;
    char text[1024] = {};
    link->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH);
    info.target = text;
    text[0] = '\0';
    link->GetArguments(text, sizeof(text));
    info.arguments = text;
    text[0] = '\0';
    link->GetWorkingDirectory(text, sizeof(text));
    info.workingFolder = text;
    text[0] = '\0';
    link->GetDescription(text, sizeof(text));
    info.description = text;
    return true;
}

}  // namespace testkit
