// OrvanViewer.exe: opens the project's start file through the engine, shows the project in a
// small window, writes its working data into "cache\" like a real viewer does, and ends by
// itself. Started as "OrvanViewer.exe ZRXStart.zrx" in the project's folder.
//
// Start file (a chunk file): "ZRXS" the project title; optional "HOLD" how long to stay open
// in milliseconds (32-bit LE, default 300), "EXIT" the exit code (32-bit LE, default 0), and
// "NOTE" a file to write a short report of the run into (for checks from outside).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/ChunkSchema.h"
#include "package/LittleEndian.h"
#include "package/PackageSchema.h"
#include "win/CommandLineText.h"
#include "win/EngineSession.h"
#include "win/ExactPath.h"
#include "win/FolderEntries.h"
#include "win/Handle.h"

namespace {

constexpr const char* kWindowClass = "OrvanViewer Window";
constexpr UINT_PTR kCloseTimer = 1;

// The engine objects of one run, released in reverse order of creation.
using Engine = win::EngineSession;

struct StartFile {
    char title[260] = "Orvan3D project";
    DWORD holdMs = 300;
    DWORD exitCode = 0;
    char note[260] = "";
};

bool ReadWholeFile(const char* path, std::vector<unsigned char>& bytes) {
    win::FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    const DWORD size = ::GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE) return false;
    bytes.resize(size);
    DWORD got = 0;
    return size == 0 || (::ReadFile(file.get(), bytes.data(), size, &got, nullptr) && got == size);
}

bool ReadStartFile(Engine& engine, const char* path, StartFile& start) {
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes) || bytes.empty()) return false;
    EngineObject<FileLoaderChannel> loader(
        CreateChannelAs<FileLoaderChannel>(engine.channelFactory, kFileLoaderChannelId));
    if (!loader) return false;
    loader->LoadFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), kLoadBorrowed);
    if (!loader->FindChunk(kStartTitleTag, 0)) return false;
    const uint32_t titleSize = loader->GetSize();
    const size_t n = titleSize < sizeof(start.title) - 1 ? titleSize : sizeof(start.title) - 1;
    std::memcpy(start.title, loader->GetData(), n);
    start.title[n] = '\0';
    if (loader->FindChunk(kStartHoldTag, 0) && loader->GetSize() == 4) {
        start.holdMs = LoadU32(loader->GetData());
    }
    if (loader->FindChunk(kStartExitTag, 0) && loader->GetSize() == 4) {
        start.exitCode = LoadU32(loader->GetData());
    }
    if (loader->FindChunk(kStartNoteTag, 0) && loader->GetSize() < sizeof(start.note)) {
        std::memcpy(start.note, loader->GetData(), loader->GetSize());
        start.note[loader->GetSize()] = '\0';
    }
    return true;
}

void ListFiles(const std::string& folder, const std::string& prefix, std::string& out) {
    win::ForEachEntry(folder + "\\*", [&](const WIN32_FIND_DATAA& found) {
        const std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListFiles(folder + "\\" + name, prefix + name + "\\", out);
        } else {
            out += "file=" + prefix + name + "\r\n";
        }
        return true;
    });
}

// Where it ran, how it was started and what it found there.
void WriteNote(const StartFile& start) {
    char current[MAX_PATH] = {};
    ::GetCurrentDirectoryA(sizeof(current), current);
    char module[MAX_PATH] = {};
    win::ExactModulePath(nullptr, module, sizeof(module));
    std::string report = std::string("folder=") + current + "\r\nmodule=" + module +
                         "\r\ncommand=" + ::GetCommandLineA() + "\r\ntitle=" + start.title + "\r\n";
    ListFiles(current, "", report);
    win::FileHandle file(::CreateFileA(start.note, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
}

bool WriteFileBytes(const char* path, const void* data, DWORD size) {
    win::FileHandle file(::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), data, size, &written, nullptr) && written == size;
}

// What a running project leaves in its cache: a session record through the engine's saver,
// and prepared resources in nested folders.
void WriteCache(Engine& engine, const StartFile& start) {
    ::CreateDirectoryA("cache", nullptr);
    ::CreateDirectoryA("cache\\textures", nullptr);
    ::CreateDirectoryA("cache\\textures\\mip", nullptr);
    EngineObject<FileSaverChannel> saver(CreateChannelAs<FileSaverChannel>(engine.channelFactory, kFileSaverChannelId));
    if (saver && saver->Open("cache\\session.dat", kSaveCreate)) {
        const uint32_t size = static_cast<uint32_t>(std::strlen(start.title) + 1);
        saver->BeginChunk(kSessionTag);
        saver->WriteChunkSize(size);
        saver->Write(start.title, size);
        saver->Close();
    }
    std::vector<unsigned char> texture(4096);
    for (size_t i = 0; i < texture.size(); ++i) texture[i] = static_cast<unsigned char>(i * 31);
    WriteFileBytes("cache\\textures\\t0.bin", texture.data(), static_cast<DWORD>(texture.size()));
    WriteFileBytes("cache\\textures\\mip\\t0-1.bin", texture.data(), 1024);
    WriteFileBytes("cache\\shaders.bin", texture.data(), 512);
}

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kCloseTimer) ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateViewerWindow(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ViewerWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassA(&windowClass);
    return ::CreateWindowExA(0, kWindowClass, "Orvan3D Viewer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                             CW_USEDEFAULT, 400, 260, nullptr, nullptr, instance, nullptr);
}

// The start file named on the command line: the first argument after the program's name.
const char* StartFileName(const char* commandLine) {
    const char* p = win::SkipProgramName(commandLine);
    return *p != '\0' ? p : kStartFile;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything else is loaded: the project's folder is our current folder, and a
    // library lying there must not be taken for a system one.
    win::HardenDllSearch();
    // The engine is loaded from the viewer's folder, named exactly (win/ExactPath.h).
    char folder[MAX_PATH];
    if (!win::ExactModulePath(nullptr, folder, sizeof(folder))) return 1;
    *std::strrchr(folder, '\\') = '\0';

    HWND window = CreateViewerWindow(instance);
    Engine engine;
    if (!engine.LoadCore(folder, instance, kWindowClass, window)) {
        ::MessageBoxA(nullptr, "The Orvan3D engine could not be loaded.", "Orvan3D Viewer", MB_OK | MB_ICONERROR);
        return 1;
    }
    StartFile start;
    const char* startName = StartFileName(::GetCommandLineA());
    if (!ReadStartFile(engine, startName, start)) {
        char text[400];
        std::snprintf(text, sizeof(text), "The project start file \"%s\" could not be opened.", startName);
        ::MessageBoxA(nullptr, text, "Orvan3D Viewer", MB_OK | MB_ICONERROR);
        return 1;
    }
    char title[300];
    std::snprintf(title, sizeof(title), "Orvan3D Viewer - %s", start.title);
    ::SetWindowTextA(window, title);
    WriteCache(engine, start);
    if (start.note[0] != '\0') WriteNote(start);

    ::SetTimer(window, kCloseTimer, start.holdMs, nullptr);
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return static_cast<int>(start.exitCode);
}
