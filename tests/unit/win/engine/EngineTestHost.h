#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "engine/EngineInterface.h"

// Loads EngineCore.dll the way the program does and hands out channels that are destroyed
// through their first slot, before the control.
namespace enginetest {

struct ChannelDestroyer {
    void operator()(EngineChannel* channel) const {
        if (channel != nullptr) channel->Destroy(kEngineDeleteObject);
    }
};
template <typename T>
using Owned = std::unique_ptr<T, ChannelDestroyer>;

// The build's bin folder, laid out as an installation.
std::string BinFolder();

class EngineHost {
public:
    EngineHost() = default;
    EngineHost(const EngineHost&) = delete;
    EngineHost& operator=(const EngineHost&) = delete;
    ~EngineHost() { Release(); }

    // LoadLibrary by full path, the export, SetBaseFolder, Initialize, GetChannelFactory.
    bool Load(const std::string& libraryFolder, const std::string& baseFolder);
    // The control first, then the library.
    void Release();

    template <typename T>
    Owned<T> Create(const GUID& classId) {
        return Owned<T>(static_cast<T*>(factory->CreateChannel(classId, 0, 0)));
    }

    HMODULE library = nullptr;
    EngineControl* control = nullptr;
    ChannelFactory* factory = nullptr;
};

// The library file that holds the code of obj (for telling which copy of a library is used).
std::string ModulePathOf(const void* object);

bool WriteWholeFile(const std::string& path, const void* data, size_t size);
bool ReadWholeFile(const std::string& path, std::string& data);

}  // namespace enginetest
