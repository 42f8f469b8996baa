#pragma once
#include <windows.h>

#include "engine/EngineObject.h"
#include "win/DllSearch.h"
#include "win/Handle.h"

namespace win {

// One engine core loaded from an installation, the one way the program, the viewer, the screen
// saver, the plug-in and the tests hold it: the engine's folders in the library search, the
// library, its control object and the control's channel factory. Declared in the order they
// are obtained, so that they go back the other way: the control before its library, the
// folders after it. An owner of engine channels ends before the session does.
struct EngineSession {
    EngineSession() = default;
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    // Loads "enginecore.dll" from folder through LoadEngineLibrary (the engine's folders
    // searchable while it is loaded), its control object from GetEngineControlInstance, sets
    // the base folder (baseFolder, null: folder) and initialises the control for instance,
    // windowClass and window. False at the first failing step; what was obtained is held until
    // UnloadCore or the end of the session, and the folders are cleared when the library did
    // not load. A null channel factory counts as a failure.
    bool LoadCore(const char* folder, HINSTANCE instance, const char* windowClass, HWND window,
                  const char* baseFolder = nullptr);
    // The control object, then the library, then the folders; safe when nothing, or only part,
    // of the engine was obtained.
    void UnloadCore();

    DllFolders engineFolders;
    Module engineLibrary;
    EngineObject<EngineControl> engineControl;
    // The control's own; never destroyed here.
    ChannelFactory* channelFactory = nullptr;
};

}  // namespace win
