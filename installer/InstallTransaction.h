#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "package/PointerList.h"
#include "win/Handle.h"

// What one run of an install mode changes on the machine, noted as it happens, so that the run
// is kept whole (Commit) or taken back whole (Rollback): a step that fails changes nothing.
// - Files are created new, never through an existing file or link. One that replaces a file is
//   written under a temporary name beside it; the file it replaces is set aside under another
//   until the commit deletes it, or the rollback puts it back.
// - The identity of every file the run wrote is kept: the rollback deletes only those, and an
//   upgrade tells the files it wrote from those it did not, whatever their paths' spelling.
// - Each registry value written first notes what it replaces (or that there was none).
// Deletes and renames go through a handle of the file, opened without following a link and
// checked to be no link; below the installation folder also to lie below its real place. The
// disk is changed only by the calls below, never by a destructor.
//
// A run killed half way: the file it was writing goes with its handle (it is marked for
// deletion until placed), so nothing cut short stays under any name; the files it placed stay,
// whole, under their names, and the files it set aside under their temporary names; the
// previous record is replaced only at the end, so the installation it describes is still
// removed by it. A later run never takes a temporary name for anything else: a name is
// created new or the next is tried, and none is listed in a record.
class InstallTransaction {
public:
    // A temporary name is the file's own followed by a dot, 8 hex digits and ".orvan~".
    static constexpr size_t kSuffixLength = 16;
    // The longest path the program writes: its narrow calls stop at MAX_PATH, and a file that
    // replaces another needs room for its temporary name.
    static constexpr size_t kLongestPath = MAX_PATH - 1 - kSuffixLength;

    // How a file the run wrote is recorded in files (and noted wherever its owner notes what it
    // writes); false when it cannot be.
    using FileRecorder = bool (*)(void* owner, const char* path);
    // The lists the run records its files and folders in, and its folder (held, not copied).
    InstallTransaction(PointerList& files, PointerList& folders, const char* installFolder, FileRecorder recordFile,
                       void* owner);
    InstallTransaction(const InstallTransaction&) = delete;
    InstallTransaction& operator=(const InstallTransaction&) = delete;
    ~InstallTransaction();

    // The installation folder changed: its real place is looked up again.
    void FolderChanged() { folderFinalLength = 0; }

    // Creates path for writing, or when something is there already a new temporary name beside
    // it (beside is then true). The name it got is copied to made
    // (MAX_PATH bytes) when given, else made is emptied. Invalid when neither can be made or
    // the file would not lie where path says (it is then removed again). The file is marked
    // for deletion until Place or Keep: should the run end before, nothing of it stays.
    win::FileHandle Create(const char* path, bool& beside, char* made = nullptr);
    // Takes back the mark of Create: the file stays when its handle closes.
    [[nodiscard]] static bool Keep(HANDLE file);
    // Puts the complete file Create made in place: beside, it is flushed, the file at path set
    // aside and the new one renamed to path. Then path is recorded, the identity noted and the
    // handle closed. False when any of that failed; the handle is then still open, or path
    // recorded.
    [[nodiscard]] bool Place(win::FileHandle& file, const char* path, bool beside);
    // Removes what Create made, through its handle; nothing when it is closed.
    static void Discard(win::FileHandle& file);

    enum class Found { kNothing, kSetAside, kOwn, kFailed };
    // Moves the file at path under a temporary name until the commit: kSetAside. kOwn when this
    // run wrote it, kNothing when there is none, kFailed when it cannot be moved (a program
    // holds it, it is a link or not where its path says).
    Found SetAside(const char* path);
    // A file this run wrote by another road (a link through the shell): recorded, its identity
    // noted when it is there. False when it cannot be recorded.
    [[nodiscard]] bool NoteWritten(const char* path);

    // Before keyPath\name (below root) is written: how to put back what it holds now (the
    // value, or that there was none, or that there was not even the key). False when it cannot
    // be noted; it must then not be written.
    [[nodiscard]] bool NoteRegistry(HKEY root, const char* keyPath, const char* name);

    // The run is complete: what it set aside is deleted (a file still in use stays under its
    // temporary name). The notes are cleared; a Rollback then does nothing.
    void Commit();
    // Takes the run back, latest first: the files it wrote go, those it set aside come back,
    // the folders it created go when empty, registry values and keys are put back. The
    // recorded lists are emptied.
    void Rollback();

    // Opens path itself (a link there is not followed) for access, sharing all (flags:
    // FILE_FLAG_BACKUP_SEMANTICS for a folder); invalid when it cannot, or it is a link or does
    // not lie where path says. identity, when given, tells which file it is.
    win::FileHandle OpenInPlace(const char* path, DWORD access, uint32_t* identity = nullptr, DWORD flags = 0);
    // Removes the empty folder at path through its handle.
    void RemoveFolder(const char* path);

    // The attributes of what path names (a link itself, not what it leads to, also with a
    // trailing separator), INVALID_FILE_ATTRIBUTES when it names nothing.
    static DWORD Attributes(const char* path);
    // A heap copy of path appended to list; false when it cannot be had.
    [[nodiscard]] static bool Record(PointerList& list, const char* path);
    // Frees every text of list and empties it.
    static void FreeAll(PointerList& list);

private:
    bool InPlace(HANDLE file, const char* path, uint32_t* identity);
    bool Wrote(uint32_t identity) const;
    // Renames file to its real path, cut characters shorter and suffix (may be null) longer;
    // replace lets it take the place of a file of that name.
    static bool Rename(HANDLE file, size_t cut, const char* suffix, bool replace);
    // Frees the notes; Rollback then does nothing.
    void ClearNotes();
    // A dot, 8 hex digits of a number no other try of this run used, ".orvan~".
    void NextSuffix(char (&suffix)[kSuffixLength + 1]);

    PointerList& files;
    PointerList& folders;
    const char* installFolder;
    FileRecorder recordFile;
    void* owner;
    PointerList setAside;  // temporary names of the files set aside, in the order they were moved
    PointerList written;   // identities of the files this run wrote
    PointerList registry;  // how to put back each registry change, in the order they were made
    uint32_t nextName;
    bool committed = false;
    static constexpr size_t kWideCapacity = MAX_PATH + 40;
    wchar_t folderFinal[kWideCapacity];
    DWORD folderFinalLength = 0;
};
