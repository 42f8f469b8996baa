#include "installer/InstallTransaction.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "win/FormatText.h"
#include "win/HeapBuffer.h"
#include "win/NarrowText.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A name is given up after this many are found taken: someone makes them as fast as we try.
constexpr int kNameTries = 64;
// The data of a value put back; ours are texts of at most 1,024 bytes and numbers.
constexpr DWORD kValueCapacity = 1100;
// Registry notes that are no value type: the value was absent, the key was created.
constexpr DWORD kValueAbsent = 0xFFFFFFFFu;
constexpr DWORD kKeyCreated = 0xFFFFFFFEu;

bool Taken() {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}


// One registry note: root, type (or kValueAbsent, kKeyCreated) and size, then the key's path,
// the value's name and size bytes of its old data.
struct RegistryNote {
    HKEY root;
    DWORD type;
    DWORD size;
    char* KeyPath() { return reinterpret_cast<char*>(this + 1); }
    char* Name() { return KeyPath() + std::strlen(KeyPath()) + 1; }
    BYTE* Data() { return reinterpret_cast<BYTE*>(Name() + std::strlen(Name()) + 1); }
    void PutBack() {
        if (type == kKeyCreated) {
            ::RegDeleteKeyA(root, KeyPath());
        } else if (type == kValueAbsent) {
            ::RegDeleteKeyValueA(root, KeyPath(), Name());
        } else {
            ::RegSetKeyValueA(root, KeyPath(), Name(), type, Data(), size);
        }
    }
};

}  // namespace

InstallTransaction::InstallTransaction(PointerList& files, PointerList& folders, const char* installFolder,
                                       FileRecorder recordFile, void* owner)
    : files(files),
      folders(folders),
      installFolder(installFolder),
      recordFile(recordFile),
      owner(owner),
      // Where this object lies differs from run to run; a taken name only makes the next one tried.
      nextName(::GetTickCount() ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this))) {}

InstallTransaction::~InstallTransaction() {
    FreeAll(setAside);
    FreeAll(registry);
    written.Clear();
}

DWORD InstallTransaction::Attributes(const char* path) {
    // Asked with a trailing separator, the system answers for what a link there leads to: the
    // entry is asked for without it. By character: a double-byte character may end in 0x5C.
    size_t named = 0;
    for (size_t i = 0, n = 0; (n = win::CharLength(path + i)) != 0; i += n) {
        if (n != 1 || (path[i] != '\\' && path[i] != '/') || i < 3) named = i + n;
    }
    char entry[MAX_PATH + 1];
    if (path[named] == '\0' || named >= sizeof(entry)) return ::GetFileAttributesA(path);
    std::memcpy(entry, path, named);
    entry[named] = '\0';
    return ::GetFileAttributesA(entry);
}

namespace {

// Asked by path as well: Wine reports links there but follows them on opening.
bool IsLink(const char* path) {
    const DWORD attributes = InstallTransaction::Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool InstallTransaction::Record(PointerList& list, const char* path) {
    char* copy = win::DuplicateText(path);
    if (copy != nullptr && list.Add(copy) >= 0) return true;
    std::free(copy);
    return false;
}

void InstallTransaction::FreeAll(PointerList& list) {
    for (int32_t i = 0; i < list.Count(); ++i) std::free(list.Get(i));
    list.Clear();
}

void InstallTransaction::NextSuffix(char (&suffix)[kSuffixLength + 1]) {
    (void)win::FormatText(suffix, sizeof(suffix), ".%08lx.orvan~", static_cast<unsigned long>(nextName++));
}

bool InstallTransaction::InPlace(HANDLE file, const char* path, uint32_t* identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (IsLink(path) || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    if (identity != nullptr) *identity = info.nFileIndexLow ^ info.nFileIndexHigh ^ info.dwVolumeSerialNumber;
    // Below the folder (not the folder itself) it must lie below the folder's real place: a
    // folder on the way swapped for a link leads elsewhere. Outside it, files lie in the
    // system's places (Start menu, system folder, Winamp's), whose links are checked on the way.
    const size_t length = std::strlen(installFolder);
    if (length == 0 || _strnicmp(path, installFolder, length) != 0 || (path[length] != '\\' && path[length] != '/') ||
        path[length + 1] == '\0') {
        return true;
    }
    if (folderFinalLength == 0) {
        const win::FileHandle folder(
            ::CreateFileA(installFolder, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!folder || IsLink(installFolder)) return false;
        folderFinalLength = ::GetFinalPathNameByHandleW(folder.get(), folderFinal, kWideCapacity, 0);
        if (folderFinalLength >= kWideCapacity) folderFinalLength = 0;
    }
    wchar_t final[kWideCapacity];
    const DWORD n = ::GetFinalPathNameByHandleW(file, final, kWideCapacity, 0);
    const DWORD a = folderFinalLength;
    // Both as the file system spells them. A drive's root is the one folder whose real place
    // ends in a separator.
    return a != 0 && n < kWideCapacity && n > a && std::wmemcmp(final, folderFinal, a) == 0 &&
           (final[a] == L'\\' || folderFinal[a - 1] == L'\\');
}

bool InstallTransaction::Wrote(uint32_t identity) const {
    for (int32_t i = 0; i < written.Count(); ++i) {
        if (reinterpret_cast<uintptr_t>(written.Get(i)) == identity) return true;
    }
    return false;
}

win::FileHandle InstallTransaction::OpenInPlace(const char* path, DWORD access, uint32_t* identity, DWORD flags) {
    win::FileHandle file(::CreateFileA(path, access | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                       flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && !InPlace(file.get(), path, identity)) file.reset();
    return file;
}

namespace {

// Marks the open file for deletion when its last handle closes (deleting, true), or takes the
// mark back.
bool DeleteOpen(HANDLE file, BOOLEAN deleting = TRUE) {
    FILE_DISPOSITION_INFO disposition = {deleting};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

}  // namespace

void InstallTransaction::RemoveFolder(const char* path) {
    const win::FileHandle folder = OpenInPlace(path, DELETE, nullptr, FILE_FLAG_BACKUP_SEMANTICS);
    if (folder) DeleteOpen(folder.get());
}

bool InstallTransaction::Keep(HANDLE file) { return DeleteOpen(file, FALSE); }

void InstallTransaction::Discard(win::FileHandle& file) {
    // Nothing for a closed one: the call fails.
    DeleteOpen(file.get());
    file.reset();
}

bool InstallTransaction::Rename(HANDLE file, size_t cut, const char* suffix, bool replace) {
    struct {
        FILE_RENAME_INFO info;
        wchar_t room[kWideCapacity];
    } rename;
    wchar_t* name = rename.info.FileName;
    DWORD n = ::GetFinalPathNameByHandleW(file, name, kWideCapacity - kSuffixLength, 0);
    // "\\?\C:\" at least, and room for the suffix.
    if (n >= kWideCapacity - kSuffixLength || n <= cut + 4) return false;
    n -= static_cast<DWORD>(cut);
    // "\??\": the system's own form of the same path, which the rename takes as it is.
    name[1] = L'?';
    while (suffix != nullptr && *suffix != '\0') name[n++] = static_cast<unsigned char>(*suffix++);
    // Ended as well as counted: Wine reads the name up to its terminator.
    name[n] = L'\0';
    rename.info.ReplaceIfExists = replace;
    rename.info.RootDirectory = nullptr;
    rename.info.FileNameLength = n * sizeof(wchar_t);
    return ::SetFileInformationByHandle(file, FileRenameInfo, &rename, sizeof(rename)) != FALSE;
}

win::FileHandle InstallTransaction::Create(const char* path, bool& beside, char* made) {
    char name[MAX_PATH];
    char suffix[kSuffixLength + 1] = "";
    win::FileHandle file;
    beside = false;
    // Created new, never opened: whatever has the name already, a link included, stays as it is.
    for (int tries = 0; tries < kNameTries && win::FormatText(name, sizeof(name), "%s%s", path, suffix); ++tries) {
        file.reset(::CreateFileA(name, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file || !Taken()) break;
        beside = true;
        NextSuffix(suffix);
    }
    // A folder on the way swapped for a link since it was looked at. Otherwise marked for
    // deletion until it is placed: a run killed while it writes leaves nothing of the file.
    if (file && (!InPlace(file.get(), path, nullptr) || !DeleteOpen(file.get()))) Discard(file);
    // Only a name this run made is handed out: the caller removes what it names.
    if (!file) name[0] = '\0';
    if (made != nullptr) std::memcpy(made, name, sizeof(name));
    return file;
}

InstallTransaction::Found InstallTransaction::SetAside(const char* path) {
    if (Attributes(path) == INVALID_FILE_ATTRIBUTES) return Found::kNothing;
    uint32_t identity = 0;
    const win::FileHandle old = OpenInPlace(path, DELETE, &identity);
    if (!old) return Found::kFailed;
    if (Wrote(identity)) return Found::kOwn;
    // A name taken already is none of this run's (it never uses one twice): the move fails.
    char suffix[kSuffixLength + 1];
    NextSuffix(suffix);
    if (!Rename(old.get(), 0, suffix, false)) return Found::kFailed;
    char aside[MAX_PATH + kSuffixLength];
    if (win::FormatText(aside, sizeof(aside), "%s%s", path, suffix) && Record(setAside, aside)) return Found::kSetAside;
    // Not noted, so not left aside.
    Rename(old.get(), kSuffixLength, nullptr, false);
    return Found::kFailed;
}

bool InstallTransaction::Place(win::FileHandle& file, const char* path, bool beside) {
    if (!Keep(file.get())) return false;
    if (beside) {
        // The good file goes aside only for one that is on the disk whole.
        if (!::FlushFileBuffers(file.get())) return false;
        const Found found = SetAside(path);
        // Nothing at all may be there, or a link the system will not open: that then keeps the
        // name from being taken.
        if (found == Found::kFailed || !Rename(file.get(), kSuffixLength, nullptr, found == Found::kOwn)) return false;
    }
    uint32_t identity = 0;
    // The identity first: a file recorded without it would be on the list, but never deleted.
    if (!InPlace(file.get(), path, &identity) ||
        written.Add(reinterpret_cast<void*>(static_cast<uintptr_t>(identity))) < 0 || !recordFile(owner, path)) {
        return false;
    }
    return ::CloseHandle(file.release()) != FALSE;
}

bool InstallTransaction::NoteWritten(const char* path) {
    uint32_t identity = 0;
    // Recorded all the same when it is not where it was asked for: only what is there is ever
    // deleted, and only when it is the file this run wrote.
    const win::FileHandle file = OpenInPlace(path, DELETE, &identity);
    if ((!file || written.Add(reinterpret_cast<void*>(static_cast<uintptr_t>(identity))) >= 0) &&
        recordFile(owner, path)) {
        return true;
    }
    // On no list, so it would stay behind: it goes now.
    if (file) DeleteOpen(file.get());
    return false;
}

bool InstallTransaction::NoteRegistry(HKEY root, const char* keyPath, const char* name) {
    BYTE old[kValueCapacity];
    DWORD size = sizeof(old);
    DWORD type = REG_NONE;
    const LONG status = ::RegGetValueA(root, keyPath, name, RRF_RT_ANY | RRF_NOEXPAND, &type, old, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        // The key itself may be missing: its first value creates it, and removing it puts it back.
        win::RegKey key;
        type = ::RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.put()) == ERROR_SUCCESS ? kValueAbsent : kKeyCreated;
        size = 0;
    } else if (status != ERROR_SUCCESS) {
        return false;
    }
    const size_t pathSize = std::strlen(keyPath) + 1;
    const size_t nameSize = std::strlen(name) + 1;
    auto* note = static_cast<RegistryNote*>(std::malloc(sizeof(RegistryNote) + pathSize + nameSize + size));
    if (note == nullptr) return false;
    *note = {root, type, size};
    std::memcpy(note->KeyPath(), keyPath, pathSize);
    std::memcpy(note->Name(), name, nameSize);
    std::memcpy(note->Data(), old, size);
    if (registry.Add(note) >= 0) return true;
    std::free(note);
    return false;
}

void InstallTransaction::Commit() {
    for (int32_t i = 0; i < setAside.Count(); ++i) {
        const win::FileHandle old = OpenInPlace(static_cast<const char*>(setAside.Get(i)), DELETE);
        if (old) DeleteOpen(old.get());
    }
    ClearNotes();
}

void InstallTransaction::ClearNotes() {
    FreeAll(setAside);
    FreeAll(registry);
    written.Clear();
    committed = true;
}

void InstallTransaction::Rollback() {
    if (committed) return;
    for (int32_t i = 0; i < files.Count(); ++i) {
        uint32_t identity = 0;
        // Only what this run wrote: a file put there by anyone else since stays.
        const win::FileHandle file = OpenInPlace(static_cast<const char*>(files.Get(i)), DELETE, &identity);
        if (file && Wrote(identity)) DeleteOpen(file.get());
    }
    for (int32_t i = setAside.Count() - 1; i >= 0; --i) {
        const win::FileHandle old = OpenInPlace(static_cast<const char*>(setAside.Get(i)), DELETE);
        if (old) Rename(old.get(), kSuffixLength, nullptr, false);
    }
    for (int32_t i = folders.Count() - 1; i >= 0; --i) RemoveFolder(static_cast<const char*>(folders.Get(i)));
    for (int32_t i = registry.Count() - 1; i >= 0; --i) static_cast<RegistryNote*>(registry.Get(i))->PutBack();
    FreeAll(files);
    FreeAll(folders);
    ClearNotes();
}
