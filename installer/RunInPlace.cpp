// Running a project in place: temporary folder, extraction, viewer, clean-up.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FormatText.h"
#include "Installer.h"

namespace {

// Room left in installFolder for "Orvan3D" and the number.
constexpr DWORD kTempPrefixLength = 389;
constexpr int kMaxRunFolderNumber = 10000;

void LowerAscii(char* text) {
    for (; *text != '\0'; ++text) {
        if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
    }
}

bool JoinPath(char* out, size_t capacity, const char* folder, const char* name) {
    return win::FormatText(out, capacity, "%s\\%s", folder, name);
}

bool Exists(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;  // the call the program imports anyway
    return ::GetFileAttributesExA(path, GetFileExInfoStandard, &data) != FALSE;
}

}  // namespace

bool Installer::RunInPlace() {
    unsigned char checkDx8 = 0;
    if (!GetRequiredEntry("CheckDx8", &checkDx8, 1)) return false;
    if (checkDx8 != 0 && !IsDirectXReady()) {
        messages.Show("DirectX 9.0C or higher was not detected on this system\n\rPlease install DirectX 9.0C or higher "
                      "for this application to run.",
                      "DirectX version check error", MB_ICONERROR);
        return false;
    }
    if (!MakeTempDirectory()) return false;
    ::SetCurrentDirectoryA(installFolder);
    if (!ExtractRequired("OrvanViewer.exe", "OrvanViewer.exe not found")) return false;
    if (!ExtractEngineFiles()) return false;
    if (!LoadEngine()) return false;
    if (!CreateFileLoader()) return false;
    if (!ExtractChannels() || !ExtractProjectFiles()) return false;
    // Nothing of the engine stays loaded while the viewer runs.
    ReleaseEngine();
    // The run folder may only have come into being with the first extraction (a temporary
    // folder that did not exist), after the first attempt to enter it.
    ::SetCurrentDirectoryA(installFolder);
    StartViewer(true);
    Cleanup();
    return true;
}

bool Installer::MakeTempDirectory() {
    // Room to name a path that is too long in the box below.
    char temp[1024] = {};
    const DWORD length = ::GetTempPathA(sizeof(temp), temp);
    // A longer path cut to the prefix would name a folder beside the temporary folder, not in it.
    if (length == 0 || length > kTempPrefixLength) {
        // Said, not silent: the user started the program and would otherwise see nothing. The
        // folder is the caption, as the paths of the other boxes are; a platform that gives
        // none for a path too long for itself is named by the variable it reads first.
        if (length == 0) ::GetEnvironmentVariableA("TMP", temp, sizeof(temp));
        messages.Show("The temporary folder is too long to run this project from.", temp, MB_OK | MB_ICONERROR);
        return false;
    }
    for (int n = 0; n <= kMaxRunFolderNumber; ++n) {
        char candidate[kFolderCapacity];
        win::FormatText(candidate, sizeof(candidate), "%.389sOrvan3D%d", temp, n);
        bool accepted = ::CreateDirectoryA(candidate, nullptr) != FALSE;
        if (!accepted) {
            // An existing folder is reused unless a running copy holds its engine library there.
            char marker[kFolderCapacity + 16];
            win::FormatText(marker, sizeof(marker), "%s\\enginecore.dll", candidate);
            accepted = !Exists(marker);
        }
        if (accepted) return SetInstallFolder(candidate);
    }
    return false;
}

void Installer::StartViewer(bool wait) {
    // Started by its full path: a name alone would be searched in the folder this program was
    // started from first, where any "OrvanViewer.exe" lying there would run instead. The
    // command line and current folder stay what the viewer expects.
    char viewer[kFolderCapacity + 32];
    win::FormatText(viewer, sizeof(viewer), "%s\\OrvanViewer.exe", installFolder);
    char commandLine[] = "OrvanViewer.exe ZRXStart.zrx";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessA(viewer, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        char caption[16];
        win::FormatText(caption, sizeof(caption), "%ld", static_cast<long>(::GetLastError()));
        messages.Show("Unable to start orvanviewer.exe", caption, MB_OK);
        return;
    }
    win::Handle process(started.hProcess);
    win::Handle thread(started.hThread);
    // Waiting on the process itself: an exit code of 259 would look like a running one.
    if (wait) ::WaitForSingleObject(process.get(), INFINITE);
}

bool Installer::Cleanup() {
    reader.reset();
    char cache[500];
    win::FormatText(cache, sizeof(cache), "%s\\cache\\", installFolder);
    if (LoadEngine()) {
        DeleteCacheTree(cache);
        ::RemoveDirectoryA(cache);
        ReleaseEngine();
    }
    for (int32_t i = 0; i < createdFiles.Count(); ++i) {
        char* path = static_cast<char*>(createdFiles.Get(i));
        ::DeleteFileA(path);
        std::free(path);
        createdFiles.Set(nullptr, i);
    }
    createdFiles.Clear();
    char channelList[500];
    win::FormatText(channelList, sizeof(channelList), "%s\\channel.lst", installFolder);
    ::DeleteFileA(channelList);
    // A process's current folder cannot be removed: step out of it before any folder goes, into
    // the system folder (the temporary folder may itself be one the run created).
    char system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(system, sizeof(system));
    if (length > 0 && length < sizeof(system)) ::SetCurrentDirectoryA(system);
    for (int32_t i = createdFolders.Count() - 1; i >= 0; --i) {
        char* path = static_cast<char*>(createdFolders.Get(i));
        ::RemoveDirectoryA(path);
        std::free(path);
        createdFolders.Set(nullptr, i);
    }
    createdFolders.Clear();
    return ::RemoveDirectoryA(installFolder) != FALSE;
}

void Installer::DeleteCacheTree(const char* folder) {
    auto* channel = static_cast<DirectoryChannel*>(channelFactory->CreateChannel(kDirectoryChannelId, 0, 0));
    if (channel == nullptr) return;
    char path[260];
    if (!JoinPath(path, sizeof(path), folder, "*.*")) {
        channel->Destroy(kEngineDeleteObject);
        return;
    }
    channel->SetFilter("*.*");
    channel->Scan(path);
    for (int i = 0; i < channel->FileCount(); ++i) {
        const char* name = channel->FileName(i);
        if (name == nullptr) continue;
        // A path cut to fit the buffer could name another file: such an entry is left alone.
        if (!JoinPath(path, sizeof(path), folder, name)) continue;
        LowerAscii(path);
        if (std::strstr(path, "cache") != nullptr) ::DeleteFileA(path);
    }
    for (int i = 0; i < channel->FolderCount(); ++i) {
        const char* name = channel->FolderName(i);
        if (name == nullptr || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!JoinPath(path, sizeof(path), folder, name)) continue;
        DeleteCacheTree(path);
        LowerAscii(path);
        if (std::strstr(path, "cache") != nullptr) ::RemoveDirectoryA(path);
    }
    channel->Destroy(kEngineDeleteObject);
}
