#include "components/enginecore/CoreChannelFactory.h"

#include <new>

#include "components/enginecore/ChannelLibrary.h"
#include "win/DllSearch.h"

namespace {

struct ChannelClass {
    const GUID* id;
    const char* library;  // below the base folder
};

const ChannelClass kChannelClasses[] = {
    {&kFileLoaderChannelId, "channels\\ChunkLoader.dll"},
    {&kFileSaverChannelId, "channels\\ChunkSaver.dll"},
    {&kDirectoryChannelId, "channels\\FolderScan.dll"},
};

int ClassIndex(const GUID& id) {
    for (int i = 0; i < static_cast<int>(sizeof(kChannelClasses) / sizeof(kChannelClasses[0])); ++i) {
        if (::IsEqualGUID(id, *kChannelClasses[i].id)) return i;
    }
    return -1;
}

}  // namespace

void ORVAN_ENGINE_CALL CoreChannelFactory::Destroy(int deleteFlag) {
    if (deleteFlag == kEngineDeleteObject) delete this;
}

bool CoreChannelFactory::SetBaseFolder(const char* folder) {
    if (folder == nullptr) return false;
    try {
        baseFolder = folder;
        return true;
    } catch (const std::bad_alloc&) {
        baseFolder.clear();
        return false;
    }
}

win::Module* CoreChannelFactory::LibraryFor(int classIndex) {
    win::Module& library = libraries[classIndex];
    if (library) return &library;
    if (baseFolder.empty()) return nullptr;
    std::string path = baseFolder;
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    path += kChannelClasses[classIndex].library;
    // A relative base folder would send LoadLibrary into its search path, where a planted
    // library of the same name could win.
    char full[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    if (length == 0 || length >= sizeof(full)) return nullptr;
    // The channel's own imports are searched in its folder and the engine's, never in the
    // host program's folder or the current one.
    library.reset(win::LoadLibraryFrom(full));
    return library ? &library : nullptr;
}

EngineChannel* ORVAN_ENGINE_CALL CoreChannelFactory::CreateChannel(GUID classId, int, int) {
    const int classIndex = ClassIndex(classId);
    if (classIndex < 0) return nullptr;
    try {
        win::Module* library = LibraryFor(classIndex);
        if (library == nullptr) return nullptr;
        auto create = reinterpret_cast<CreateEngineChannelFunc>(
            reinterpret_cast<void*>(::GetProcAddress(library->get(), kCreateEngineChannelName)));
        if (create == nullptr) {
            library->reset();
            return nullptr;
        }
        return create(&classId);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
