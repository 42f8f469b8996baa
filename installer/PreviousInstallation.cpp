// An install into the folder of a previous installation of the same project: what it recorded,
// what is checked before the first write, and how the new record takes it over.
//
// The previous record may lie in a folder others can write, so it is believed only as far as
// the uninstaller believes it: an upgrade moves aside (and at the commit deletes) only files
// it lists inside the folder, reached without a link, that this run did not write; everything
// else it lists is left alone and handed on to the new record, where the uninstaller's own
// rules decide about it. A record that is damaged, cut, of another project, or whose uninstall
// entry does not name this folder makes a fresh install: nothing it lists is touched or kept.
#include <cstdlib>
#include <cstring>

#include "engine/ChunkSchema.h"
#include "installer/Installer.h"
#include "package/DeploymentValues.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "win/FormatText.h"
#include "win/HeapBuffer.h"

namespace {

// No installation writes a record this large; a larger file is no record of ours.
constexpr DWORD kMaxRecordSize = 64u << 20;

// The chunks of a record as the engine's saver lays them out: a 4-character tag, the data's
// size as 32-bit little-endian, the data.
class RecordChunks {
public:
    RecordChunks(const unsigned char* bytes, size_t size) : at(bytes), end(bytes + size) {}
    // The next chunk, when it has tag and size; data then points at its data.
    bool Next(const char* tag, uint32_t size, const unsigned char*& data) {
        if (static_cast<size_t>(end - at) < 8 || std::memcmp(at, tag, 4) != 0 || LoadU32(at + 4) != size ||
            static_cast<size_t>(end - at) - 8 < size) {
            return false;
        }
        data = at + 8;
        at += 8 + size;
        return true;
    }
    // A count, then that many path fields, each added to list unless cut or empty (a cut path
    // could name another file: it is neither touched nor handed on).
    bool Paths(const char* countTag, const char* pathTag, PointerList& list) {
        const unsigned char* data = nullptr;
        if (!Next(countTag, 4, data)) return false;
        for (uint32_t n = LoadU32(data); n > 0; --n) {
            if (!Next(pathTag, kTextFieldSize, data)) return false;
            const char* path = reinterpret_cast<const char*>(data);
            // The buffer ends in a zero byte, so a field without one stops there at the latest.
            if (std::strlen(path) - 1 < kTextFieldSize - 1 && !InstallTransaction::Record(list, path)) {
                return false;
            }
        }
        return true;
    }
    bool AtEnd() const { return at == end; }

private:
    const unsigned char* at;
    const unsigned char* end;
};

bool Listed(const PointerList& list, const char* path) {
    for (int32_t i = 0; i < list.Count(); ++i) {
        if (_strnicmp(static_cast<const char*>(list.Get(i)), path, SIZE_MAX) == 0) return true;
    }
    return false;
}

// Frees the text at index and leaves its slot null: not to be listed again.
void Drop(PointerList& list, int32_t index) {
    std::free(list.Get(index));
    list.Set(nullptr, index);
}

}  // namespace

// What is read of a previous installation before the first write.
class Installer::PreviousSteps {
public:
    // Reads installFolder\uninstall.nfo into previousFiles and previousFolders when it is
    // sound, of projectName and its uninstall entry names installFolder; else they stay empty.
    static void ReadRecord(Installer& in, const char* projectName);
    // Whether the uninstall entry of projectName names installFolder's uninstaller.
    static bool EntryNamesFolder(const Installer& in, const char* projectName);
    // Below installFolder by its text (no ".." step, no stream): where the previous
    // installation's paths may be moved or removed.
    static bool LiesInside(const Installer& in, const char* path);
};

bool Installer::PreviousSteps::EntryNamesFolder(const Installer& in, const char* projectName) {
    char keyPath[sizeof(kUninstallKeyBase) + kTextCapacity];
    (void)win::FormatText(keyPath, sizeof(keyPath), "%s%s", kUninstallKeyBase, projectName);
    char value[kFolderCapacity] = {};
    DWORD size = sizeof(value);
    return ::RegGetValueA(in.EntriesRoot(), keyPath, "InstallLocation", RRF_RT_REG_SZ, nullptr, value, &size) ==
               ERROR_SUCCESS &&
           _strnicmp(value, in.installFolder, SIZE_MAX) == 0;
}

void Installer::PreviousSteps::ReadRecord(Installer& in, const char* projectName) {
    OwnPath path;
    const win::FileHandle file = in.transaction.OpenInPlace(in.InFolder(path, kRecordName), GENERIC_READ);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file || !::GetFileInformationByHandle(file.get(), &info)) return;
    const DWORD size = info.nFileSizeLow;
    if (size == 0 || info.nFileSizeHigh != 0 || size > kMaxRecordSize) return;
    win::HeapBuffer<unsigned char> bytes = win::AllocateBuffer<unsigned char>(size + 1);
    DWORD got = 0;
    if (!bytes || !::ReadFile(file.get(), bytes.get(), size, &got, nullptr) || got != size) return;
    bytes.get()[size] = 0;
    RecordChunks chunks(bytes.get(), size);
    const unsigned char* data = nullptr;
    const bool sound = chunks.Paths(kRecordFileCountTag, kRecordFileTag, in.previousFiles) &&
                       chunks.Paths(kRecordFolderCountTag, kRecordFolderTag, in.previousFolders) &&
                       chunks.Next(kRecordProjectNameTag, kTextFieldSize, data) &&
                       std::memcmp(data, projectName, std::strlen(projectName) + 1) == 0 &&
                       // The marker of the screen-saver and plug-in modes may end it.
                       (chunks.Next(kRecordComponentMarkerTag, 0, data), chunks.AtEnd());
    if (!sound || !EntryNamesFolder(in, projectName)) in.FreePrevious();
}

// Before the first write, what can be known up front, each refused with one box and
// nothing written: (projectName given) a previous installation of the project in
// installFolder is read - a record that is sound, names this project and whose uninstall
// entry names this folder; any other is ignored, and the install is a fresh one - and a
// file it listed that another program holds open is named ("...in use by another
// program...", caption projectName, Retry and Cancel); a path of the package longer than
// InstallTransaction::kLongestPath ("The path of this item in the installation folder is
// too long."); not enough free space on the folder's drive for the package's files (every
// file is written whole before the one it replaces goes). False after the box.
bool Installer::CheckBeforeWriting(const char* projectName) {
    if (projectName != nullptr) PreviousSteps::ReadRecord(*this, projectName);
    // Every file of the package is an entry of its own: their sizes and longest name. (The
    // reader is there until the run's clean-up.)
    uint64_t needed = 0;
    const char* longest = "";
    size_t longestLength = 0;
    for (int32_t i = 0; i < reader->EntryCount(); ++i) {
        const PackageEntry* entry = reader->EntryAt(i);
        if (!EqualsIgnoringCase(entry->section, package_format::kDefaultSection)) continue;
        needed += entry->size;
        const size_t length = std::strlen(entry->name);
        if (length > longestLength) {
            longestLength = length;
            longest = entry->name;
        }
    }
    needed += reader->BlockItemBytes();
    if (std::strlen(installFolder) + 1 + longestLength > InstallTransaction::kLongestPath) {
        NoteFailure(SetupExit::kPathTooLong);
        return RefuseItem(longest, "The path of this item in the installation folder is too long.");
    }
    // A file that replaces another is written whole before the old one goes: the old ones
    // free nothing until the commit.
    // On its drive's root: the folder may not exist yet. (A network folder is not asked.)
    char drive[] = "?:\\";
    drive[0] = installFolder[0];
    ULARGE_INTEGER available = {};
    if (installFolder[1] == ':' && ::GetDiskFreeSpaceExA(drive, &available, nullptr, nullptr) &&
        available.QuadPart < needed) {
        NoteFailure(SetupExit::kDiskFull);
        return RefuseItem(installFolder, "There is not enough free space on this drive for the installation.");
    }
    for (int32_t i = 0; i < previousFiles.Count(); ++i) {
        const char* path = static_cast<const char*>(previousFiles.Get(i));
        // Held open by another program (a running viewer, a loaded library): the file cannot be
        // replaced or removed until that ends. Only files in the folder are opened: a record's
        // other paths are not the program's to open (a pipe, another computer's share).
        while (PreviousSteps::LiesInside(*this, path) &&
               !win::FileHandle(::CreateFileA(path, GENERIC_WRITE | DELETE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)) &&
               ::GetLastError() == ERROR_SHARING_VIOLATION) {
            if (ShowItem(path, "This file is in use by another program. Close that program, then choose Retry; "
                               "Cancel ends the installation.",
                         projectName, MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY) {
                NoteFailure(SetupExit::kFileInUse);
                return false;
            }
        }
    }
    return true;
}

bool Installer::PreviousSteps::LiesInside(const Installer& in, const char* path) {
    const size_t length = std::strlen(in.installFolder);
    // The folder itself, "<folder>\", too: it holds what was installed, so it is never removed.
    return _strnicmp(path, in.installFolder, length) == 0 && path[length] == '\\' && StaysInside(path + length + 1);
}

// The previous installation's files inside installFolder that this run did not write are
// set aside; kept for the record are its folders still there and its files outside the
// folder (or inside but not to be moved: through a link, held) that this run did not list.
void Installer::TakeOverPrevious() {
    for (int32_t i = 0; i < previousFiles.Count(); ++i) {
        const char* path = static_cast<const char*>(previousFiles.Get(i));
        // Moved aside when this run did not write it; left and listed when it cannot be moved.
        const bool keep = PreviousSteps::LiesInside(*this, path)
                              ? transaction.SetAside(path) == InstallTransaction::Found::kFailed
                              : !Listed(createdFiles, path);
        if (!keep) Drop(previousFiles, i);
    }
    for (int32_t i = 0; i < previousFolders.Count(); ++i) {
        const char* path = static_cast<const char*>(previousFolders.Get(i));
        const DWORD attributes = InstallTransaction::Attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            Listed(createdFolders, path)) {
            Drop(previousFolders, i);
        }
    }
}

// The run is complete: what it set aside is deleted, then the folders of a previous
// installation inside installFolder that this left empty.
void Installer::Commit() {
    transaction.Commit();
    // Deepest first, as recorded; only those inside the folder (the rest is the uninstaller's),
    // and only when empty.
    for (int32_t i = 0; i < previousFolders.Count(); ++i) {
        const char* path = static_cast<const char*>(previousFolders.Get(i));
        if (path != nullptr && PreviousSteps::LiesInside(*this, path)) transaction.RemoveFolder(path);
    }
    FreePrevious();
}
