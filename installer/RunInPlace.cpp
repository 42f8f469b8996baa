// Running a project in place: temporary folder, extraction, viewer, clean-up.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>
// The system's random source; declared here as SystemFunction036 of advapi32.
#include <ntsecapi.h>

#include "installer/Installer.h"
#include "package/AsciiText.h"
#include "package/PackageSchema.h"
#include "win/ExactPath.h"
#include "win/FormatText.h"

namespace {

// Room left in installFolder for "Orvan3D" and the number.
constexpr DWORD kTempPrefixLength = 389;
// The run folder's number: 64 random bits as two 10-digit halves.
constexpr DWORD kRunFolderDigits = 20;
// The run folder and its lock below the temporary folder.
constexpr DWORD kClaimLength = sizeof("Orvan3D") - 1 + kRunFolderDigits + sizeof("\\Orvan3D.lock") - 1;
// A name taken already is one in 2^64; more than a few mean the folder cannot take new ones.
constexpr int kRunFolderAttempts = 8;

// 0 when the path does not exist (an existing one always has some attribute set); a link
// itself, also when path ends in a separator.
DWORD Attributes(const char* path) {
    const DWORD attributes = InstallTransaction::Attributes(path);
    return attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes;
}

// A junction or symbolic link: whatever lies behind it is not ours to delete, and removing
// the link itself may remove its target (as Wine does with an empty one).
bool IsLink(const char* path) { return (Attributes(path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Whether path is reached from the folder ending at position start without passing a link:
// a folder swapped for a link during the run must not lead a deletion out of the run folder.
bool NoLinkOnTheWay(const char* path, size_t start) {
    char prefix[Installer::kFolderCapacity];
    for (size_t i = start; i < sizeof(prefix) && path[i] != '\0'; ++i) {
        if (path[i] != '\\' && path[i] != '/') continue;
        std::memcpy(prefix, path, i);
        prefix[i] = '\0';
        if (IsLink(prefix)) return false;
    }
    return true;
}

// What lies below folder, found by the system's own listing: every file, and every folder once
// emptied. A link is neither entered nor removed.
void DeleteTreeWithoutEngine(const char* folder) {
    char path[Installer::kFolderCapacity];
    if (!win::JoinPath(path, sizeof(path), folder, "*")) return;
    WIN32_FIND_DATAA entry;
    win::FindHandle find(::FindFirstFileA(path, &entry));
    if (!find) return;
    do {
        const char* name = entry.cFileName;
        if ((name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            !win::JoinPath(path, sizeof(path), folder, name)) {
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteTreeWithoutEngine(path);
            ::RemoveDirectoryA(path);
        } else {
            ::DeleteFileA(path);
        }
    } while (::FindNextFileA(find.get(), &entry));
}

// Room to name a path that is too long in the box of MakeTempDirectory.
constexpr DWORD kTempCapacity = 1024;

// The temporary path, exactly (empty when the platform gives none or one too long for this
// buffer); false when it has no exact narrow form, after a box naming it.
bool ReadTempPath(char (&temp)[kTempCapacity]) {
    wchar_t wideTemp[kTempCapacity] = {};
    const DWORD wideLength = ::GetTempPathW(kTempCapacity, wideTemp);
    // A profile folder outside the ANSI code page has a narrow name full of "?": its short
    // form names it instead, and without one the run cannot name its folder at all.
    if (wideLength == 0 || wideLength >= kTempCapacity || win::ToExactPath(wideTemp, temp, sizeof(temp))) return true;
    // Shown wide, outside the recorded boxes: narrow text cannot name this folder.
    win::ShowNoExactPath(nullptr, wideTemp);
    return false;
}

}  // namespace

// Runs the project from a temporary folder: extracts everything, runs the viewer until it
// ends, then removes the cache and every recorded file and folder. True when every step up
// to the release of the engine succeeded; a run that stops before takes back what it wrote
// and removes its folder.
bool Installer::RunInPlace() {
    unsigned char checkDx8 = 0;
    if (!GetRequiredEntry(kCheckDx8Key, &checkDx8, 1)) return false;
    if (checkDx8 != 0 && !IsDirectXReady()) {
        messages.Show("DirectX 9.0C or higher was not detected on this system\n\rPlease install DirectX 9.0C or higher "
                      "for this application to run.",
                      "DirectX version check error", MB_ICONERROR);
        return false;
    }
    if (!MakeTempDirectory()) return false;
    // The pre-checks, then the viewer, the engine, its channels and the project files into the
    // run folder; false at the first step that fails, after its box.
    const auto extracted = [this] {
        if (!CheckBeforeWriting(nullptr)) return false;
        ::SetCurrentDirectoryA(installFolder);
        return ExtractRequired(kViewerFile, "OrvanViewer.exe not found") && ExtractEngineFiles() && LoadEngine() &&
               CreateFileLoader() && ExtractChannels() && ExtractProjectFiles();
    };
    if (!extracted()) {
        // A run that stops half way leaves nothing: the folder is this run's own.
        Rollback();
        runLock.reset();
        ::RemoveDirectoryA(installFolder);
        return false;
    }
    Commit();
    // Nothing of the engine stays loaded while the viewer runs.
    ReleaseEngine();
    // The run folder may only have come into being with the first extraction (a temporary
    // folder that did not exist), after the first attempt to enter it.
    ::SetCurrentDirectoryA(installFolder);
    StartViewer(true);
    Cleanup();
    return true;
}

namespace {

// A longer path cut to the prefix would name a folder beside the temporary folder, not in it.
// The run folder's lock must also be a path the system opens: past that, every attempt would
// fail alike and the run would end without a word. True, after its box, for such a folder.
bool RefuseLongTemp(char (&temp)[kTempCapacity], UserMessages& messages) {
    const size_t length = std::strlen(temp);
    if (length != 0 && length <= kTempPrefixLength && length + kClaimLength < MAX_PATH) return false;
    // Said, not silent: the user started the program and would otherwise see nothing. The
    // folder is the caption, as the paths of the other boxes are; a platform that gives none
    // for a path too long for itself is named by the variable it reads first.
    if (length == 0) ::GetEnvironmentVariableA("TMP", temp, sizeof(temp));
    messages.Show("The temporary folder is too long to run this project from.", temp, MB_OK | MB_ICONERROR);
    return true;
}

}  // namespace

// Makes the run folder below the temporary folder: "Orvan3D" and 20 random digits, a name
// nobody can know beforehand, created by this run (any folder already there is left alone),
// with the run's lock file created new in it and held until Cleanup. A missing temporary
// folder is made (and recorded). False, after "The temporary folder is too long to run this
// project from." or "Files cannot be written to the temporary folder to run this project
// from." with the temporary folder as caption, when no such folder can be made.
bool Installer::MakeTempDirectory() {
    char temp[kTempCapacity] = {};
    if (!ReadTempPath(temp)) return false;
    if (RefuseLongTemp(temp, messages)) return false;
    // Only a folder this run made is used, under a name nobody can know beforehand: one that is
    // there already was left by another run or put there by someone else, and whatever it holds
    // (a file in use, a link named like our lock) is not ours to write through or delete. It is
    // this user's alone: a temporary folder others can write would let them put a library
    // beside the engine's.
    win::FolderSecurity own;
    const bool secured = own.BuildForOwnUser();
    for (int attempt = 0; secured && attempt < kRunFolderAttempts; ++attempt) {
        unsigned long number[2];
        if (!::RtlGenRandom(number, sizeof(number))) break;
        // Cannot be cut: temp leaves room for the longest claim below MAX_PATH.
        char candidate[kFolderCapacity];
        (void)win::FormatText(candidate, sizeof(candidate), "%sOrvan3D%010lu%010lu", temp, number[0], number[1]);
        bool created = places.folders->CreateFolder(candidate, own.Attributes());
        // A temporary folder that does not exist yet is made for the run, each folder recorded for
        // removal with it (the path ends in its separator), and so is the run folder in it: the
        // recorded folders go before the run folder would.
        if (!created && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
            // Whether the run folder can be made below tells.
            (void)CreateFoldersAlong(temp);
            created = places.folders->CreateFolder(candidate, own.Attributes());
            if (created) {
                char inside[kFolderCapacity + 1];
                (void)win::FormatText(inside, sizeof(inside), "%s\\", candidate);
                if (!Record(createdFolders, inside)) {
                    // On no list, so it would stay behind: it goes now.
                    transaction.RemoveFolder(inside);
                    break;
                }
            }
        }
        if (!created) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
            break;
        }
        // Held without sharing for the whole run and deleted when closed; created new, never
        // opened through whatever someone put there in the meantime.
        char lock[kFolderCapacity + 16];
        (void)win::FormatText(lock, sizeof(lock), "%s\\Orvan3D.lock", candidate);
        runLock.reset(::CreateFileA(lock, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
        if (runLock && SetInstallFolder(candidate)) return true;
        runLock.reset();
        ::RemoveDirectoryA(candidate);
        break;
    }
    messages.Show("Files cannot be written to the temporary folder to run this project from.", temp,
                  MB_OK | MB_ICONERROR);
    return false;
}

// Starts installFolder\OrvanViewer.exe with the command line "OrvanViewer.exe ZRXStart.zrx"
// in the current folder; with wait, returns when it has ended. A failed start shows
// "Unable to start orvanviewer.exe" with the error code as caption.
void Installer::StartViewer(bool wait) {
    // Started by its full path: a name alone would be searched in the folder this program was
    // started from first, where any "OrvanViewer.exe" lying there would run instead. The
    // command line and current folder stay what the viewer expects.
    OwnPath viewer;
    InFolder(viewer, kViewerFile);
    char commandLine[] = "OrvanViewer.exe ZRXStart.zrx";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    // The project's folder is the viewer's current folder, named rather than inherited: it
    // opens its start file by bare name there.
    if (!::CreateProcessA(viewer, commandLine, nullptr, nullptr, FALSE, 0, nullptr, installFolder, &startup,
                          &started)) {
        char caption[16];  // any 32-bit number
        (void)win::FormatText(caption, sizeof(caption), "%ld", static_cast<long>(::GetLastError()));
        messages.Show("Unable to start orvanviewer.exe", caption, MB_OK);
        return;
    }
    win::Handle process(started.hProcess);
    win::Handle thread(started.hThread);
    // Waiting on the process itself: an exit code of 259 would look like a running one.
    if (wait) ::WaitForSingleObject(process.get(), INFINITE);
}

// Closes the reader, empties the engine's cache folder (through the engine's directory
// channel; by the system's listing when the engine does not load again), releases the
// engine, deletes every recorded file and folder (folders last created first) and finally
// installFolder. Nothing is deleted through a link (junction or symbolic link) found below
// installFolder, and no link is removed. Never stops on an error; returns whether
// installFolder itself was removed.
bool Installer::Cleanup() {
    reader.reset();
    OwnPath path;
    InFolder(path, "cache\\");
    const bool engine = LoadEngine();
    if (!IsLink(path)) {
        // Without the engine its directory channel cannot list the cache. The run folder is this
        // run's own (made by it, under a name nobody knew), so its cache goes all the same.
        if (engine) {
            DeleteCacheTree(path);
        } else {
            DeleteTreeWithoutEngine(path);
        }
        ::RemoveDirectoryA(path);
    }
    // Also after a load that failed half way: a library left loaded keeps its file, and with it
    // the run folder, from being removed.
    ReleaseEngine();
    const size_t below = std::strlen(installFolder);
    for (int32_t i = 0; i < createdFiles.Count(); ++i) {
        const char* file = static_cast<const char*>(createdFiles.Get(i));
        if (NoLinkOnTheWay(file, below)) ::DeleteFileA(file);
    }
    FreeRecorded(createdFiles);
    ::DeleteFileA(InFolder(path, "channel.lst"));
    // A process's current folder cannot be removed: step out of it before any folder goes, into
    // the system folder (the temporary folder may itself be one the run created).
    if (win::ExactSystemFolder(path, sizeof(path))) ::SetCurrentDirectoryA(path);
    // Released before the folders go: its file would keep the run folder from being removed.
    runLock.reset();
    for (int32_t i = createdFolders.Count() - 1; i >= 0; --i) {
        const char* folder = static_cast<const char*>(createdFolders.Get(i));
        if (NoLinkOnTheWay(folder, below)) ::RemoveDirectoryA(folder);
    }
    FreeRecorded(createdFolders);
    return !IsLink(installFolder) && ::RemoveDirectoryA(installFolder) != FALSE;
}

// Deletes what lies below folder whose lower-cased path contains "cache", descending into
// every sub-folder, through the engine's directory channel. A folder that is a link is
// neither entered nor removed.
void Installer::DeleteCacheTree(const char* folder) {
    EngineObject<DirectoryChannel> channel(CreateChannelAs<DirectoryChannel>(channelFactory, kDirectoryChannelId));
    if (!channel) return;
    char path[260];
    if (!win::JoinPath(path, sizeof(path), folder, "*.*")) return;
    channel->SetFilter("*.*");
    channel->Scan(path);
    for (int i = 0; i < channel->FileCount(); ++i) {
        const char* name = channel->FileName(i);
        if (name == nullptr) continue;
        // A path cut to fit the buffer could name another file: such an entry is left alone.
        if (!win::JoinPath(path, sizeof(path), folder, name)) continue;
        LowerAscii(path);
        if (std::strstr(path, "cache") != nullptr) ::DeleteFileA(path);
    }
    for (int i = 0; i < channel->FolderCount(); ++i) {
        const char* name = channel->FolderName(i);
        if (name == nullptr || (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) continue;
        if (!win::JoinPath(path, sizeof(path), folder, name) || IsLink(path)) continue;
        DeleteCacheTree(path);
        LowerAscii(path);
        if (std::strstr(path, "cache") != nullptr) ::RemoveDirectoryA(path);
    }
}
