#include "installer/Installer.h"
#include "package/AsciiText.h"

#include <cstring>

#include "installer/HostWindowClass.h"
#include "win/EngineSession.h"
#include "win/FormatText.h"

// The engine hosted from installFolder: its folders on PATH, its library, control object,
// channel factory and file loader.

void Installer::AddEngineFoldersToPath() {
    // PATH is read and rebuilt at its real length: cutting it would cost the process, and the
    // viewer that inherits it, part of its PATH.
    const DWORD needed = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    win::HeapBuffer<char> oldPath = win::AllocateBuffer<char>(needed + 1);
    if (!oldPath) return;
    oldPath.get()[0] = '\0';
    if (needed > 0) {
        const DWORD got = ::GetEnvironmentVariableA("PATH", oldPath.get(), needed + 1);
        if (got == 0 || got > needed) oldPath.get()[0] = '\0';
    }
    // The first 259 characters, cut on purpose: a longer folder cannot hold loadable libraries
    // for the ANSI loader anyway, and the search below then simply does not find it.
    char folder[260];
    CopyText(folder, sizeof(folder), installFolder);
    if (std::strstr(oldPath.get(), folder) != nullptr) return;

    const size_t size = 2 * std::strlen(folder) + std::strlen("\\channels;\\3rd;") + std::strlen(oldPath.get()) + 1;
    win::HeapBuffer<char> newPath = win::AllocateBuffer<char>(size);
    if (!newPath) return;
    // Sized for exactly this text above.
    (void)win::FormatText(newPath.get(), size, "%s\\channels;%s\\3rd;%s", folder, folder, oldPath.get());
    ::SetEnvironmentVariableA("PATH", newPath.get());
}

// Loads installFolder\enginecore.dll and initialises it against the host window. False,
// without a box, at the first failing step; a null channel factory counts as a failure.
bool Installer::LoadEngine() {
    AddEngineFoldersToPath();
    // PATH alone would let the loader look in this program's folder first for the engine's
    // own libraries; they are searched in the install folder's engine folders instead.
    return LoadCore(installFolder, instance, kHostWindowClass, hostWindow);
}

// Creates fileLoader through the channel factory; false after "Can't init fileloader" / "P"
// when the engine gives none.
bool Installer::CreateFileLoader() {
    if (channelFactory == nullptr) return false;
    fileLoader.reset(CreateChannelAs<FileLoaderChannel>(channelFactory, kFileLoaderChannelId));
    if (fileLoader) return true;
    messages.Show("Can't init fileloader", "P", MB_OK);
    return false;
}

// Destroys the file loader, then the control object, each through its own destructor, then
// unloads the library. Safe when nothing, or only part, of the engine was obtained.
void Installer::ReleaseEngine() {
    fileLoader.reset();
    UnloadCore();
}
