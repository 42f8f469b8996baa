#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "engine/EngineObject.h"
#include "win/EngineSession.h"

// Loads EngineCore.dll the way the program does and hands out channels that are destroyed
// through their own destructors, before the control.
namespace enginetest {

// The build's bin folder, laid out as an installation.
std::string BinFolder();

class EngineHost : public win::EngineSession {
public:
    // The engine of libraryFolder with its base folder set to baseFolder.
    bool Load(const std::string& libraryFolder, const std::string& baseFolder);
    // The control first, then the library.
    void Release() { UnloadCore(); }

    template <typename T>
    EngineObject<T> Create(const GUID& classId) {
        return EngineObject<T>(CreateChannelAs<T>(channelFactory, classId));
    }
};

// The library file that holds the code of obj (for telling which copy of a library is used).
std::string ModulePathOf(const void* object);

bool WriteWholeFile(const std::string& path, const void* data, size_t size);
bool ReadWholeFile(const std::string& path, std::string& data);

}  // namespace enginetest
