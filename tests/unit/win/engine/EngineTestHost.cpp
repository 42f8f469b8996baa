#include "tests/unit/win/engine/EngineTestHost.h"

#include <vector>

#include "testkit/UiDriver.h"
#include "win/Handle.h"

namespace enginetest {

std::string BinFolder() {
    return testkit::OwnFolder();
}

bool EngineHost::Load(const std::string& libraryFolder, const std::string& baseFolder) {
    return LoadCore(libraryFolder.c_str(), ::GetModuleHandleA(nullptr), "Orvan3DExe Window", nullptr,
                    baseFolder.c_str());
}

std::string ModulePathOf(const void* object) {
    // An object's table lies in the image of the library that made it.
    const void* table = *static_cast<const void* const*>(object);
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<const char*>(table), &module)) {
        return "";
    }
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(module, path, sizeof(path));
    return path;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size) {
    win::FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && (size == 0 || ::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr)) &&
           written == size;
}

bool ReadWholeFile(const std::string& path, std::string& data) {
    win::FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    const DWORD size = ::GetFileSize(file.get(), nullptr);
    data.assign(size, '\0');
    DWORD got = 0;
    return size == 0 || (::ReadFile(file.get(), &data[0], size, &got, nullptr) && got == size);
}

}  // namespace enginetest
