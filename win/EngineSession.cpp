#include "win/EngineSession.h"

namespace win {

bool EngineSession::LoadCore(const char* folder, HINSTANCE instance, const char* windowClass, HWND window,
                             const char* baseFolder) {
    channelFactory = nullptr;
    engineLibrary.reset(LoadEngineLibrary(folder, engineFolders));
    if (!engineLibrary) {
        engineFolders.Clear();
        return false;
    }
    auto getControl = reinterpret_cast<GetEngineControlInstanceFunc>(
        reinterpret_cast<void*>(::GetProcAddress(engineLibrary.get(), kGetEngineControlInstanceName)));
    if (getControl == nullptr) return false;
    engineControl.reset(getControl());
    if (!engineControl) return false;
    // False only for a null folder, which neither is.
    engineControl->SetBaseFolder(baseFolder != nullptr ? baseFolder : folder);
    if (!engineControl->Initialize(instance, windowClass, window)) return false;
    channelFactory = engineControl->GetChannelFactory();
    return channelFactory != nullptr;
}

void EngineSession::UnloadCore() {
    engineControl.reset();
    channelFactory = nullptr;
    // Freed even without a control object: a library left loaded would keep its file locked.
    engineLibrary.reset();
    engineFolders.Clear();
}

}  // namespace win
