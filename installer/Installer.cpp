#include "installer/Installer.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "installer/DirectXCheck.h"
#include "win/FormatText.h"

namespace {

constexpr size_t kMaxPath = Installer::kFolderCapacity - 1;

}  // namespace

Installer::Installer(PackageHost& host, UserMessages& messages)
    : messages(messages), reader(new PackageReader(host)) {}

Installer::~Installer() {
    progress.reset();
    reader.reset();
    FreeRecorded(createdFolders);
    FreeRecorded(createdFiles);
}

void Installer::Init(HINSTANCE newInstance, HWND newHostWindow) {
    instance = newInstance;
    hostWindow = newHostWindow;
}

bool Installer::SetInstallFolder(const char* folder) {
    if (std::strlen(folder) > kMaxPath) return false;
    win::FormatText(installFolder, sizeof(installFolder), "%s", folder);  // fits: measured above
    return true;
}

const char* Installer::OwnFileInFolder(OwnPath& path, const char* name) const {
    // Cannot be cut: installFolder is shorter than kFolderCapacity and name than kOwnNameCapacity.
    win::FormatText(path, sizeof(path), "%s\\%s", installFolder, name);
    return path;
}

void Installer::NoteFailure(SetupExit cause) {
    if (failureCause == SetupExit::kFailed) failureCause = cause;
}

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
    char* copy = win::DuplicateText(path);
    if (copy == nullptr) return false;
    if (list.Add(copy) < 0) {
        std::free(copy);
        return false;
    }
    return true;
}

void Installer::FreeRecorded(PointerList& list) {
    for (int32_t i = 0; i < list.Count(); ++i) {
        std::free(list.Get(i));
        list.Set(nullptr, i);
    }
    list.Clear();
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

bool Installer::GetRequiredEntry(const char* key, void* buffer, int32_t capacity) {
    if (GetPackageEntry(key, buffer, capacity, nullptr)) return true;
    NoteFailure(SetupExit::kDamagedPackage);
    char text[96];  // key is one of our entry names, at most 20 characters
    win::FormatText(text, sizeof(text), "Can't find project type %s", key);
    messages.Show(text, "Error", MB_OK);
    return false;
}

bool Installer::IsDirectX9cInstalled() { return CheckDirectXVersion(); }

bool Installer::IsDirectXReady() { return IsDirectX9cInstalled(); }
