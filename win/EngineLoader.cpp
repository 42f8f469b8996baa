#include "win/EngineLoader.h"

namespace win {

ChannelFactory* LoadEngineCore(const char* folder, HINSTANCE instance, const char* windowClass, HWND window,
                               DllFolders& folders, Module& library, EngineObject<EngineControl>& control) {
    library.reset(LoadEngineLibrary(folder, folders));
    if (!library) {
        folders.Clear();
        return nullptr;
    }
    auto getControl = reinterpret_cast<GetEngineControlInstanceFunc>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), kGetEngineControlInstanceName)));
    if (getControl == nullptr) return nullptr;
    control.reset(getControl());
    if (!control) return nullptr;
    // False only for a null folder, which folder is not.
    control->SetBaseFolder(folder);
    if (!control->Initialize(instance, windowClass, window)) return nullptr;
    return control->GetChannelFactory();
}

}  // namespace win
