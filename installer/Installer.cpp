#include "installer/Installer.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "installer/DirectXCheck.h"
#include "ui/ProgressWindow.h"
#include "win/ExactPath.h"
#include "win/FormatText.h"

Installer::Installer(PackageHost& host, UserMessages& messages)
    : messages(messages), reader(new PackageReader(host)) {}

Installer::~Installer() {
    progress.reset();
    reader.reset();
    FreePrevious();
    FreeRecorded(createdFolders);
    FreeRecorded(createdFiles);
}

void Installer::Init(HINSTANCE newInstance, HWND newHostWindow) {
    instance = newInstance;
    hostWindow = newHostWindow;
}

bool Installer::Concluded(bool succeeded) {
    if (!succeeded) Rollback();
    return succeeded;
}

// Takes the run back (see InstallTransaction::Rollback), the engine released first; after a
// Commit nothing.
void Installer::Rollback() {
    // Its libraries are files of this run, which cannot be deleted while loaded; nor can the
    // current folder be removed: the drive's root is no folder of ours.
    ReleaseEngine();
    ::SetCurrentDirectoryA("\\");
    transaction.Rollback();
    FreePrevious();
}

const char* Installer::OwnFileInFolder(OwnPath& path, const char* name) const {
    // Cannot be cut: installFolder is shorter than kFolderCapacity and name than kOwnNameCapacity.
    (void)win::JoinPath(path, sizeof(path), installFolder, name);
    return path;
}

void Installer::NoteFailure(SetupExit cause) {
    if (failureCause == SetupExit::kFailed) failureCause = cause;
}

// One line of the log, printf-style (win::LogFile::Line); nothing without a log.
void Installer::Log(const char* format, ...) const {
    if (log == nullptr) return;
    va_list arguments;
    va_start(arguments, format);
    log->LineV(format, arguments);
    va_end(arguments);
}

bool Installer::Record(PointerList& list, const char* path) {
    // Every file, link and folder an install makes passes here: the log's one place for them.
    if (&list == &createdFolders) {
        Log("folder: %s", path);
    } else if (log != nullptr) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        ::GetFileAttributesExA(path, GetFileExInfoStandard, &data);
        Log("file: %s (%lu bytes)", path, data.nFileSizeLow);
    }
    return InstallTransaction::Record(list, path);
}

bool Installer::RecordFile(void* owner, const char* path) {
    auto* self = static_cast<Installer*>(owner);
    return self->Record(self->createdFiles, path);
}

void Installer::FreePrevious() {
    FreeRecorded(previousFiles);
    FreeRecorded(previousFolders);
}

bool Installer::GetPackageEntry(const char* key, void* buffer, int32_t capacity, const char* section) {
    if (!reader) return false;
    const bool found = reader->ReadEntry(key, buffer, capacity, section);
    if (buffer == nullptr) {
        entryData = reader->Data();
        entrySize = reader->Size();
    }
    return found;
}

// A configuration value the mode cannot go without: when it is missing (or damaged),
// "Can't find project type <key>" / "Error".
bool Installer::GetRequiredEntry(const char* key, void* buffer, int32_t capacity) {
    if (GetPackageEntry(key, buffer, capacity, nullptr)) return true;
    NoteFailure(SetupExit::kDamagedPackage);
    char text[96];  // key is one of our entry names, at most 20 characters
    (void)win::FormatText(text, sizeof(text), "Can't find project type %s", key);
    messages.Show(text, "Error", MB_OK);
    return false;
}

bool Installer::IsDirectX9cInstalled() { return CheckDirectXVersion(); }

bool Installer::IsDirectXReady() { return IsDirectX9cInstalled(); }
