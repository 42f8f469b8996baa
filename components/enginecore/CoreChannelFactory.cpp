#include "components/enginecore/CoreChannelFactory.h"

#include <cstring>
#include <new>

#include "components/enginecore/ChannelLibrary.h"
#include "win/DllSearch.h"
#include "win/NarrowText.h"

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
    baseFolder.reset(win::DuplicateText(folder));
    return baseFolder != nullptr;
}

win::Module* CoreChannelFactory::LibraryFor(int classIndex) {
    win::Module& library = libraries[classIndex];
    if (library) return &library;
    if (!baseFolder || baseFolder.get()[0] == '\0') return nullptr;
    const char* base = baseFolder.get();
    const char* name = kChannelClasses[classIndex].library;
    const size_t baseLength = std::strlen(base);
    // By character: a folder named "表" ends in the byte 0x5C and still needs its separator.
    const size_t separatorLength = win::FolderLength(base) == baseLength ? 0 : 1;
    const size_t nameLength = std::strlen(name);
    win::HeapBuffer<char> path = win::AllocateBuffer<char>(baseLength + separatorLength + nameLength + 1);
    if (!path) return nullptr;
    std::memcpy(path.get(), base, baseLength);
    if (separatorLength != 0) path.get()[baseLength] = '\\';
    std::memcpy(path.get() + baseLength + separatorLength, name, nameLength + 1);
    // A relative base folder would send LoadLibrary into its search path, where a planted
    // library of the same name could win.
    char full[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(path.get(), sizeof(full), full, nullptr);
    if (length == 0 || length >= sizeof(full)) return nullptr;
    // The channel's own imports are searched in its folder and the engine's, never in the
    // host program's folder or the current one.
    library.reset(win::LoadLibraryFrom(full));
    return library ? &library : nullptr;
}

EngineChannel* ORVAN_ENGINE_CALL CoreChannelFactory::CreateChannel(GUID classId, int, int) {
    const int classIndex = ClassIndex(classId);
    if (classIndex < 0) return nullptr;
    win::Module* library = LibraryFor(classIndex);
    if (library == nullptr) return nullptr;
    auto create = reinterpret_cast<CreateEngineChannelFunc>(
        reinterpret_cast<void*>(::GetProcAddress(library->get(), kCreateEngineChannelName)));
    if (create == nullptr) {
        library->reset();
        return nullptr;
    }
    return create(&classId);
}
