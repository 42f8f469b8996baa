#include "components/uninstaller/Removal.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "engine/ChunkSchema.h"
#include "package/DeploymentValues.h"
#include "package/PackageSchema.h"
#include "win/ComPtr.h"
#include "win/ComScope.h"
#include "win/ExactPath.h"
#include "win/Handle.h"
#include "win/WinampFolder.h"

namespace uninstall {

namespace {

// A record lists at most kMaxEntries fields of under 300 bytes each.
constexpr DWORD kMaxRecordSize = 64u << 20;
// Lines of the final box before the rest is summed up: a box has no scroll bar.
constexpr size_t kMaxListedItems = 12;

constexpr char kOutside[] = "not removed: it lies outside this installation's folder";
constexpr char kOtherLink[] = "not removed: the link now leads to another installation";
constexpr char kOtherCopy[] = "not removed: it now belongs to another installation of the same name";
constexpr char kThroughLink[] = "not removed: it or a folder on its path is a link to another place";

// Case, separator kind, doubled separators and a trailing one do not tell two paths apart.
// Compared wide: in a double-byte code page the second byte of a character may be a
// backslash, and a narrow comparison would take "C:\Games\表示" to lie below "C:\Games\表".
std::wstring Comparable(const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    const int length = path.empty() ? 0
                                    : ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                                            &wide[0], static_cast<int>(wide.size()));
    std::wstring out;
    for (int i = 0; i < length; ++i) {
        const wchar_t c = wide[i] == L'/' ? L'\\' : wide[i];
        if (c == L'\\' && out.size() > 1 && out.back() == L'\\') continue;
        out.push_back(c);
    }
    while (out.size() > 3 && out.back() == L'\\') out.pop_back();
    if (!out.empty()) ::CharLowerBuffW(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

bool SamePath(const std::string& a, const std::string& b) { return Comparable(a) == Comparable(b); }

// Strictly below folder. A drive's root holds everything on the drive, so it never counts
// as a folder of ours.
bool IsBelow(const std::string& path, const std::string& folder) {
    const std::wstring f = Comparable(folder);
    const std::wstring p = Comparable(path);
    if (f.size() < 4) return false;
    return p.size() > f.size() + 1 && p.compare(0, f.size(), f) == 0 && p[f.size()] == L'\\';
}

bool EndsWith(const std::string& text, const char* tail) {
    const std::wstring t = Comparable(tail);
    const std::wstring c = Comparable(text);
    return c.size() >= t.size() && c.compare(c.size() - t.size(), t.size(), t) == 0;
}

// A text value; false when the key has none by that name.
bool ReadText(HKEY key, const char* name, std::string& value) {
    char data[1024] = {};
    DWORD size = sizeof(data) - 1;
    DWORD type = 0;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    value.assign(data);
    return true;
}

std::string Unquoted(std::string text) {
    if (text.size() >= 2 && text.front() == '"') {
        const size_t end = text.find('"', 1);
        if (end != std::string::npos) return text.substr(1, end - 1);
    }
    return text;
}

// Deletes the key at path when owns(key) says it is this installation's.
template <typename Owns>
void DeleteKeyIf(HKEY root, const std::string& path, Owns owns) {
    {
        win::RegKey key;
        if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
        if (!owns(key.get())) return;
    }
    ::RegDeleteKeyA(root, path.c_str());
}

// Another program may hold an entry for a moment (a window showing the folder, a virus scanner
// reading a file): a removal refused for sharing is tried again for about two seconds.
constexpr int kHeldTries = 20;
constexpr DWORD kHeldPauseMs = 100;

// What one try at removing an entry came to.
enum class Try { kRemoved, kGone, kHeld, kElsewhere, kNotEmpty, kWrongKind, kFailed };

std::wstring Widened(const std::string& path) {
    const int size = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], size);
    wide.resize(static_cast<size_t>(size - 1));
    return wide;
}

// Where the file behind handle is now, as "C:\..." or "\\server\share\...", without a trailing
// backslash; empty when the system cannot say.
std::wstring FinalPath(HANDLE handle) {
    const DWORD size = ::GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (size == 0) return std::wstring();
    std::wstring path(size, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(handle, &path[0], size, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= size) return std::wstring();
    path.resize(length);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        path.replace(0, 8, L"\\\\");
    } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
        path.erase(0, 4);
    }
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// The final path of the folder that holds path (a file, or a folder with or without its
// trailing backslash), opened without following a link at its end; empty when it cannot be.
std::wstring FinalPathOfFolderOf(const std::string& path) {
    std::string folder = path;
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    folder = FolderOf(folder);
    // "C:" alone names the current folder of that drive, not its root.
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    win::FileHandle handle(::CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return handle ? FinalPath(handle.get()) : std::wstring();
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// Marks the entry behind handle for deletion, a read-only file made writable first (one the
// user marked read-only is still one the installation created).
Try Dispose(HANDLE handle, bool folder) {
    FILE_BASIC_INFO basic = {};
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic))) return Try::kFailed;
    if (((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder) return Try::kWrongKind;
    if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO writable = {};  // zero times: left as they are
        writable.FileAttributes = basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(handle, FileBasicInfo, &writable, sizeof(writable));
    }
    FILE_DISPOSITION_INFO dispose = {TRUE};
    if (::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof(dispose))) return Try::kRemoved;
    const DWORD error = ::GetLastError();
    if (error == ERROR_DIR_NOT_EMPTY) return Try::kNotEmpty;
    return error == ERROR_SHARING_VIOLATION ? Try::kHeld : Try::kFailed;
}

// One try at removing path, a file or an empty folder: the entry itself is opened (a link at
// its end is not followed) and removed through that handle, only while it lies directly in
// the folder whose final path is expected.
Try TryRemove(const std::string& path, bool folder, const std::wstring& expected) {
    win::FileHandle handle(::CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION) return Try::kHeld;
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Try::kGone : Try::kFailed;
    }
    const std::wstring now = FinalPath(handle.get());
    const size_t cut = now.find_last_of(L'\\');
    if (expected.empty() || cut == std::wstring::npos || !SameFolder(now.substr(0, cut), expected)) {
        return Try::kElsewhere;
    }
    return Dispose(handle.get(), folder);
}

// TryRemove until it is not refused for sharing, or the tries are spent; checked anew each time.
Try RemoveOnceReleased(const std::string& path, bool folder, const std::wstring& expected, const Pause& pause) {
    for (int attempt = 1;; ++attempt) {
        const Try outcome = TryRemove(path, folder, expected);
        if (outcome != Try::kHeld || attempt == kHeldTries) return outcome;
        if (pause) {
            pause(path);
        } else {
            ::Sleep(kHeldPauseMs);
        }
    }
}

// The program a shell link starts, as stored in the link; empty when it cannot be read.
std::string LinkTarget(const std::string& link) {
    wchar_t wide[MAX_PATH] = {};
    if (::MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH) == 0) return std::string();
    const win::ComScope com;
    if (!com.Started()) return std::string();
    char target[MAX_PATH] = {};
    {
        win::ComPtr<IShellLinkA> shellLink;
        win::ComPtr<IPersistFile> file;
        if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         shellLink.put())) &&
            SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.put())) &&
            SUCCEEDED(file->Load(wide, STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) {
            target[MAX_PATH - 1] = '\0';
        } else {
            target[0] = '\0';
        }
    }
    return target;
}

// A project name that names one file in a fixed folder, as the installing modes use it.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

// Whether the project's viewer entry still maps the project to installFolder: the copies
// outside the folder that an installation of the same name elsewhere overwrote belong to that
// one now. componentFile: where the entry says the plug-in or screen saver was copied.
bool ViewerEntryNames(HKEY root, const std::string& projectName, const std::string& installFolder,
                      std::string& componentFile) {
    win::RegKey key;
    std::string value;
    componentFile.clear();
    if (::RegOpenKeyExA(root, (kViewerKeyBase + projectName).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    ReadText(key.get(), kComponentFileValue, componentFile);
    return ReadText(key.get(), kDisplayNameValue, value) && SamePath(value, installFolder);
}

// A file's or folder's identity on its volume: the same for every name it has.
struct FileIdentity {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FileIdentity& o) const { return volume == o.volume && high == o.high && low == o.low; }
};

bool IdentityOf(const std::wstring& path, FileIdentity& identity) {
    win::FileHandle handle(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !::GetFileInformationByHandle(handle.get(), &info)) return false;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

// A volume's root (a drive, a share, a mounted folder) or a folder the shell knows, however
// the record spells it; one that cannot be looked at counts as such.
bool IsRootOrKnownFolder(const std::string& path, const std::vector<std::wstring>& knownFolders) {
    const std::wstring wide = Widened(path);
    FileIdentity identity;
    if (wide.empty() || !IdentityOf(wide, identity)) return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    wchar_t volume[MAX_PATH + 1] = {};
    FileIdentity other;
    if (!::GetVolumePathNameW(wide.c_str(), volume, MAX_PATH) || (IdentityOf(volume, other) && other == identity)) {
        return true;
    }
    for (const std::wstring& known : knownFolders) {
        if (IdentityOf(known, other) && other == identity) return true;
    }
    return false;
}

// Every folder the shell knows by name, as the shell's own list of them gives it.
std::vector<std::wstring> KnownFolders() {
    std::vector<std::wstring> out;
    const win::ComScope com;
    if (!com.Started()) return out;
    win::ComPtr<IKnownFolderManager> manager;
    KNOWNFOLDERID* ids = nullptr;
    UINT count = 0;
    if (FAILED(::CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_IKnownFolderManager,
                                  manager.put())) ||
        FAILED(manager->GetFolderIds(&ids, &count))) {
        return out;
    }
    for (UINT i = 0; i < count; ++i) {
        wchar_t* path = nullptr;
        if (SUCCEEDED(::SHGetKnownFolderPath(ids[i], KF_FLAG_DONT_VERIFY, nullptr, &path)) && path != nullptr) {
            out.push_back(path);
        }
        ::CoTaskMemFree(path);
    }
    ::CoTaskMemFree(ids);
    return out;
}

bool InProgramsFolder(const std::string& path, const OutsidePlaces& places) {
    return (!places.programsFolder.empty() && IsBelow(path, places.programsFolder)) ||
           (!places.earlierProgramsFolder.empty() && IsBelow(path, places.earlierProgramsFolder));
}

// The files of the record that are this installation's; see KeepOnlyOurs.
std::vector<std::string> OurFiles(const UninstallRecord& record, const std::string& installFolder,
                                  const OutsidePlaces& places, HKEY viewerRoot, std::vector<LeftItem>& left) {
    const bool plainName = IsPlainName(record.projectName);
    const std::string screenSaver = places.systemFolder + "\\" + record.projectName + ".scr";
    const std::string plugInName = "\\Plugins\\vis_" + record.projectName + ".dll";
    const std::string plugIn = places.winampFolder + plugInName;
    std::string componentFile;
    const bool viewerEntryOurs = ViewerEntryNames(viewerRoot, record.projectName, installFolder, componentFile);
    std::vector<std::string> files;
    for (const std::string& path : record.files) {
        const char* reason = nullptr;
        if (IsBelow(path, installFolder)) {
            files.push_back(path);
            continue;
        }
        // The plug-in may lie in a folder the user chose in the browser: the viewer entry says where.
        const bool copy = plainName && ((!places.systemFolder.empty() && SamePath(path, screenSaver)) ||
                                        (!places.winampFolder.empty() && SamePath(path, plugIn)) ||
                                        (!componentFile.empty() && SamePath(path, componentFile) &&
                                         EndsWith(path, plugInName.c_str())));
        if (InProgramsFolder(path, places) && EndsWith(path, ".lnk")) {
            reason = IsBelow(LinkTarget(path), installFolder) ? nullptr : kOtherLink;
        } else if (copy) {
            reason = viewerEntryOurs ? nullptr : kOtherCopy;
        } else {
            reason = kOutside;
        }
        if (reason == nullptr) {
            files.push_back(path);
        } else {
            left.push_back({path, reason});
        }
    }
    return files;
}

// What the user is told of an entry a removal left; null when nothing is to be told.
const char* LeftReason(Try outcome, bool folder) {
    switch (outcome) {
        case Try::kRemoved:
        case Try::kGone:
            return nullptr;
        case Try::kElsewhere:
            return kThroughLink;
        case Try::kWrongKind:
            return folder ? nullptr : "a folder where a file was installed";
        case Try::kNotEmpty:
            return "kept: it holds files that were not installed";
        default:
            return folder ? "could not be removed" : "could not be deleted";
    }
}

// Removes path, a file or an empty folder, unless a folder on its way is a link (a file may be
// one itself: deleting it removes the link, never its target; removing a link to a folder can
// remove the folder it leads to on some systems). What stays goes to left with its reason.
void RemoveChecked(const std::string& path, bool folder, const Pause& pause, std::vector<LeftItem>& left) {
    if (CrossesLink(folder ? path : FolderOf(path))) {
        left.push_back({path, kThroughLink});
        return;
    }
    const char* reason = LeftReason(RemoveOnceReleased(path, folder, FinalPathOfFolderOf(path), pause), folder);
    if (reason != nullptr) left.push_back({path, reason});
}

}  // namespace

OutsidePlaces FindOutsidePlaces(bool perUser) {
    OutsidePlaces places;
    // Exact narrow forms, as the install recorded them (win/ExactPath.h); a place without one
    // stays empty and nothing there counts as ours.
    wchar_t wide[MAX_PATH + 1] = {};
    char path[MAX_PATH + 1] = {};
    if (::SHGetSpecialFolderPathW(nullptr, wide, CSIDL_PROGRAMS, FALSE) && win::ToExactPath(wide, path, MAX_PATH)) {
        (perUser ? places.programsFolder : places.earlierProgramsFolder) = path;
    }
    if (!perUser && ::SHGetSpecialFolderPathW(nullptr, wide, CSIDL_COMMON_PROGRAMS, FALSE) &&
        win::ToExactPath(wide, path, MAX_PATH)) {
        places.programsFolder = path;
    }
    if (win::ExactSystemFolder(path, MAX_PATH)) places.systemFolder = path;
    char winamp[kWinampFolderCapacity] = {};
    if (WinampFolderFromRegistry(HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, winamp)) places.winampFolder = winamp;
    places.knownFolders = KnownFolders();
    return places;
}

// What is ours:
// - anything below installFolder, and installFolder itself as a listed folder;
// - a listed ".lnk" file below the Programs folder whose link still starts a program inside
//   installFolder (the project install's two links), and a listed folder below the Programs
//   folder that holds such a link (the link folder; it goes only once it is empty);
// - "<system folder>\<project>.scr" and "<Winamp folder>\Plugins\vis_<project>.dll" (or the
//   plug-in the viewer entry names as its ComponentFile) while the viewer entry of the
//   project still names installFolder;
// - a listed folder above installFolder (the installation made it for its folder): it goes
//   once empty, unless it is a volume's root or a folder the shell knows by name, which a
//   record may list but no installation makes.
// A record that lists anything else was not written by one of our installations.
size_t KeepOnlyOurs(UninstallRecord& record, const std::string& installFolder, const OutsidePlaces& places,
                    HKEY viewerRoot, std::vector<LeftItem>& left) {
    const size_t leftBefore = left.size();
    std::vector<std::string> files = OurFiles(record, installFolder, places, viewerRoot, left);
    std::vector<std::string> folders;
    std::vector<std::string> parents;
    for (const std::string& path : record.folders) {
        bool ours = SamePath(path, installFolder) || IsBelow(path, installFolder);
        if (!ours && InProgramsFolder(path, places)) {
            for (const std::string& file : files) ours = ours || (IsBelow(file, path) && EndsWith(file, ".lnk"));
        }
        if (ours) {
            folders.push_back(path);
        } else if (IsBelow(installFolder, path) && !IsRootOrKnownFolder(path, places.knownFolders)) {
            parents.push_back(path);
        } else {
            left.push_back({path, kOutside});
        }
    }
    record.files = std::move(files);
    record.folders = std::move(folders);
    record.parentFolders = std::move(parents);
    return record.skippedPaths.size() + (left.size() - leftBefore);
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool CrossesLink(const std::string& path) {
    // From the first folder below the root (the root itself is no link) down to path itself.
    for (size_t at = path.find_first_of("\\/", 3);; at = path.find_first_of("\\/", at + 1)) {
        const std::string step = at == std::string::npos ? path : path.substr(0, at);
        if (step.size() > 3) {
            const DWORD attributes = ::GetFileAttributesA(step.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
        }
        if (at == std::string::npos) return false;
    }
}

bool LoadRecord(const std::string& installFolder, UninstallRecord& record, std::string& message) {
    record = UninstallRecord();
    const std::string path = installFolder + "\\" + kRecordName;
    win::FileHandle file(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        message = "The uninstall record \"" + path + "\" was not found.\r\nNothing was removed.";
        return false;
    }
    message = "The uninstall record \"" + path + "\" is damaged.\r\nNothing was removed.";
    DWORD high = 0;
    const DWORD size = ::GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxRecordSize) return false;
    std::string bytes(size, '\0');
    DWORD got = 0;
    if (size != 0 && (!::ReadFile(file.get(), &bytes[0], size, &got, nullptr) || got != size)) return false;
    if (ParseUninstallRecord(bytes.data(), bytes.size(), record) != RecordError::kNone) return false;
    message.clear();
    return true;
}

void DeleteListedFiles(const UninstallRecord& record, std::vector<LeftItem>& left, const std::string& except,
                       const Pause& pause) {
    for (const std::string& path : record.files) {
        if (!except.empty() && SamePath(path, except)) continue;
        if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) RemoveChecked(path, false, pause, left);
    }
    for (const std::string& path : record.skippedPaths) {
        left.push_back({path, "not removed: its recorded name is cut short or not a full path"});
    }
}

void RemoveListedFolders(const UninstallRecord& record, std::vector<LeftItem>& left, const std::string& except,
                         const Pause& pause) {
    // The parents of the install folder come last: they can only be empty once it is gone.
    std::vector<LeftItem> parentsLeft;
    for (const auto* list : {&record.folders, &record.parentFolders}) {
        for (const std::string& path : *list) {
            if (!except.empty() && IsBelow(except, path)) continue;
            const DWORD attributes = ::GetFileAttributesA(path.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            RemoveChecked(path, true, pause, list == &record.folders ? left : parentsLeft);
        }
    }
}

void RemoveEntries(HKEY root, const std::string& projectName, const std::string& installFolder) {
    // An empty name would make the viewer key the parent of every project's entry.
    if (projectName.empty()) return;
    const std::string uninstaller = installFolder + "\\" + kUninstallerFile;
    DeleteKeyIf(root, kUninstallKeyBase + projectName, [&](HKEY key) {
        std::string value;
        return ReadText(key, kUninstallStringValue, value) && SamePath(Unquoted(value), uninstaller);
    });
    DeleteKeyIf(root, kViewerKeyBase + projectName, [&](HKEY key) {
        std::string value;
        return ReadText(key, kDisplayNameValue, value) && SamePath(value, installFolder);
    });
}

std::string SummaryText(const std::string& projectName, const std::vector<LeftItem>& left) {
    if (left.empty()) return projectName + " was removed from this computer.";
    std::string text = projectName + " was removed from this computer, except for these items:\r\n";
    for (size_t i = 0; i < left.size() && i < kMaxListedItems; ++i) {
        text += "\r\n" + left[i].path + "\r\n    (" + left[i].reason + ")";
    }
    if (left.size() > kMaxListedItems) {
        text += "\r\n\r\n... and " + std::to_string(left.size() - kMaxListedItems) + " more.";
    }
    text += "\r\n\r\nDelete them yourself if you no longer need them.";
    return text;
}

}  // namespace uninstall
