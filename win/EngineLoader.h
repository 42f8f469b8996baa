#pragma once
#include <windows.h>

#include "engine/EngineObject.h"
#include "win/DllSearch.h"
#include "win/Handle.h"

namespace win {

// Loads the engine core installed in folder, the one way the program, the viewer, the screen
// saver and the plug-in do it: "enginecore.dll" through LoadEngineLibrary (the engine's folders
// searchable through folders while it is loaded), its control object from
// GetEngineControlInstance, the base folder set to folder and the control initialised for
// instance, windowClass and window. Returns the control's channel factory. Null at the first
// failing step; library and control then hold what was obtained, for their owners to release
// (control before library), and folders are cleared when the library did not load.
ChannelFactory* LoadEngineCore(const char* folder, HINSTANCE instance, const char* windowClass, HWND window,
                               DllFolders& folders, Module& library, EngineObject<EngineControl>& control);

}  // namespace win
