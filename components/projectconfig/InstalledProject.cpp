#include "components/projectconfig/InstalledProject.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "engine/ChunkSchema.h"
#include "package/AsciiText.h"
#include "package/DeploymentValues.h"
#include "package/LittleEndian.h"
#include "win/EngineSession.h"
#include "win/ExactPath.h"
#include "win/Handle.h"

namespace {

bool Exists(const char* path) { return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool ReadWholeFile(const char* path, std::vector<unsigned char>& bytes) {
    win::FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    const DWORD size = ::GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE || size == 0) return false;
    bytes.resize(size);
    DWORD got = 0;
    return ::ReadFile(file.get(), bytes.data(), size, &got, nullptr) && got == size;
}

// The folder holding configName: the module's own, else the one the viewer entry names.
bool FindInstallFolder(HMODULE module, const char* namePrefix, const char* configName, char (&folder)[MAX_PATH]) {
    char path[MAX_PATH];
    if (!win::ExactModulePath(module, path, sizeof(path))) return false;
    char* slash = std::strrchr(path, '\\');
    if (slash == nullptr) return false;
    *slash = '\0';
    char config[MAX_PATH];
    if (std::snprintf(config, sizeof(config), "%s\\%s", path, configName) < static_cast<int>(sizeof(config)) &&
        Exists(config)) {
        CopyText(folder, sizeof(folder), path);
        return true;
    }

    char name[260];
    ProjectNameFromModule(module, namePrefix, name);
    char keyPath[sizeof(kViewerKeyBase) + 260];
    std::snprintf(keyPath, sizeof(keyPath), "%s%s", kViewerKeyBase, name);
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    char value[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH;
    if (::RegQueryValueExA(key.get(), kDisplayNameValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    value[size < MAX_PATH ? size : MAX_PATH] = '\0';
    CopyText(folder, sizeof(folder), value);
    return true;
}

// The session's file loader ends before the session.
struct Engine : win::EngineSession {
    EngineObject<FileLoaderChannel> loader;

    bool Load(const char* folder, HINSTANCE instance, const char* windowClass) {
        // In the plug-in the process is the host's: its library search is not ours to change,
        // and the engine's folders are added for the engine's life only.
        if (!LoadCore(folder, instance, windowClass, nullptr)) return false;
        loader.reset(CreateChannelAs<FileLoaderChannel>(channelFactory, kFileLoaderChannelId));
        return static_cast<bool>(loader);
    }
    // The chunk's data, or null when the loaded file has no such chunk.
    const unsigned char* Find(const char* tag, uint32_t& size) {
        if (!loader->FindChunk(tag, 0)) return nullptr;
        size = loader->GetSize();
        return loader->GetData();
    }
};

}  // namespace

void ProjectNameFromModule(HMODULE module, const char* namePrefix, char (&name)[260]) {
    name[0] = '\0';
    wchar_t shortPath[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(module, shortPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    // The system may start a screen saver by its short name, which is not the project's.
    wchar_t longPath[MAX_PATH];
    const DWORD longLength = ::GetLongPathNameW(shortPath, longPath, MAX_PATH);
    const wchar_t* wide = longLength == 0 || longLength >= MAX_PATH ? shortPath : longPath;
    const wchar_t* wideSlash = std::wcsrchr(wide, L'\\');
    // Only the file's name counts, and the install made it from a narrow project name; its
    // folder may be named outside the ANSI code page.
    char path[MAX_PATH];
    const wchar_t* file = wideSlash != nullptr ? wideSlash + 1 : wide;
    if (!win::ToExactNarrow(file, static_cast<int>(std::wcslen(file)), path, sizeof(path), ::GetACP(),
                            ::WideCharToMultiByte)) {
        return;
    }
    const char* base = path;
    const size_t prefixLength = std::strlen(namePrefix);
    if (_strnicmp(base, namePrefix, prefixLength) == 0) base += prefixLength;
    CopyText(name, sizeof(name), base);
    char* dot = std::strrchr(name, '.');
    if (dot != nullptr) *dot = '\0';
}

bool LoadInstalledProject(HMODULE module, const char* namePrefix, const char* configName, HINSTANCE instance,
                          const char* windowClass, InstalledProject& project) {
    if (!FindInstallFolder(module, namePrefix, configName, project.folder)) return false;
    Engine engine;
    if (!engine.Load(project.folder, instance, windowClass)) return false;

    char configPath[MAX_PATH];
    std::snprintf(configPath, sizeof(configPath), "%s\\%s", project.folder, configName);
    std::vector<unsigned char> config;
    if (!ReadWholeFile(configPath, config)) return false;
    engine.loader->LoadFromMemory(config.data(), static_cast<uint32_t>(config.size()), kLoadBorrowed);
    uint32_t size = 0;
    const unsigned char* data = engine.Find(kConfigStartFileTag, size);
    if (data == nullptr || size == 0) return false;
    const size_t pathLength = strnlen(reinterpret_cast<const char*>(data), size);
    if (pathLength >= sizeof(project.startFile)) return false;
    std::memcpy(project.startFile, data, pathLength);
    project.startFile[pathLength] = '\0';
    data = engine.Find(kConfigTimingTag, size);
    if (data == nullptr || size != 4) return false;
    // A period of 0 would spin; the value has to leave the system time to breathe.
    const uint32_t period = LoadU32(data);
    project.periodMs = period != 0 ? period : 1;
    data = engine.Find(kConfigQuitOnMouseTag, size);
    if (data != nullptr && size == 1) project.quitOnMouseMove = data[0] != 0;
    data = engine.Find(kConfigSmallPreviewTag, size);
    if (data != nullptr && size == 1) project.drawPreview = data[0] != 0;

    // The start file is the project's; without a readable title the project still runs.
    std::vector<unsigned char> start;
    if (ReadWholeFile(project.startFile, start)) {
        engine.loader->LoadFromMemory(start.data(), static_cast<uint32_t>(start.size()), kLoadBorrowed);
        data = engine.Find(kStartTitleTag, size);
        if (data != nullptr) {
            const size_t n = size < sizeof(project.title) - 1 ? size : sizeof(project.title) - 1;
            std::memcpy(project.title, data, n);
            project.title[n] = '\0';
        }
    }
    return true;
}
