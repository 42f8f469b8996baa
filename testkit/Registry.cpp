#include "testkit/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "package/LittleEndian.h"

namespace testkit {

namespace {

// Every value of an open key, by name.
void EnumValues(HKEY key, const std::function<void(const char* name, DWORD type, const Bytes& data)>& visit) {
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameSize = sizeof(name);
        unsigned char data[4096];
        DWORD dataSize = sizeof(data);
        DWORD type = 0;
        if (::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) return;
        visit(name, type, Bytes(data, data + dataSize));
    }
}

}  // namespace

std::map<std::string, RegistryValue> Values(HKEY root, const std::string& keyPath) {
    std::map<std::string, RegistryValue> out;
    win::RegKey key;
    if (::RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
    EnumValues(key.get(), [&](const char* name, DWORD type, const Bytes& data) { out[name] = {type, data}; });
    return out;
}

void AddKeyTree(HKEY root, const std::string& keyPath, std::map<std::string, RegistryValue>& out) {
    win::RegKey key;
    if (::RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    out[keyPath + "\\"] = {REG_NONE, Bytes()};
    EnumValues(key.get(), [&](const char* name, DWORD type, const Bytes& data) {
        out[keyPath + "\\:" + name] = {type, data};
    });
    std::vector<std::string> subKeys;
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameSize = sizeof(name);
        if (::RegEnumKeyExA(key.get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.push_back(name);
    }
    for (const auto& sub : subKeys) AddKeyTree(root, keyPath + "\\" + sub, out);
}

RegistryValue RegText(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return {REG_SZ, bytes};
}

RegistryValue RegNumber(DWORD number) {
    Bytes bytes(4);
    StoreU32(bytes.data(), number);
    return {REG_DWORD, bytes};
}

std::vector<std::pair<std::string, std::string>> TextValues(HKEY root, const std::string& keyPath) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& value : Values(root, keyPath)) {
        const Bytes& data = value.second.second;
        const auto end = std::find(data.begin(), data.end(), 0);
        out.emplace_back(value.first, value.second.first == REG_SZ ? std::string(data.begin(), end) : std::string("?"));
    }
    return out;
}

std::string QueryText(HKEY root, const std::string& keyPath, const char* name) {
    win::RegKey key;
    if (::RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return "";
    char data[1024] = {};
    DWORD size = sizeof(data) - 1;
    if (::RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
        return "";
    }
    return data;
}

bool KeyExists(HKEY root, const std::string& keyPath) {
    win::RegKey key;
    return ::RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool SetText(HKEY root, const std::string& keyPath, const char* name, const std::string& value) {
    win::RegKey key;
    if (::RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    return ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

ScratchKey::ScratchKey(const std::string& name)
    : path("Software\\OrvanTest-" + name + "-" + std::to_string(::GetCurrentProcessId())) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
}

ScratchKey::~ScratchKey() {
    key.reset();
    ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

ScopedRegistryValue::ScopedRegistryValue(HKEY root, const std::string& keyPath, const std::string& name)
    : root(root), keyPath(keyPath), name(name) {
    win::RegKey key;
    existed = ::RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    if (existed) {
        DWORD size = 0;
        hadValue = ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &savedType, nullptr, &size) == ERROR_SUCCESS;
        saved.resize(size);
        if (hadValue && size > 0) {
            ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &savedType, saved.data(), &size);
        }
        return;
    }
    // The first missing step of the path: removing it removes all the guard made.
    for (size_t at = keyPath.find('\\');; at = keyPath.find('\\', at + 1)) {
        const std::string prefix = keyPath.substr(0, at);
        if (!KeyExists(root, prefix)) {
            firstCreated = prefix;
            break;
        }
        if (at == std::string::npos) break;
    }
}

ScopedRegistryValue::~ScopedRegistryValue() {
    if (!existed) {
        if (!firstCreated.empty()) ::RegDeleteTreeA(root, firstCreated.c_str());
        if (!firstCreated.empty()) ::RegDeleteKeyA(root, firstCreated.c_str());
        return;
    }
    win::RegKey key;
    if (::RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
    if (hadValue) {
        ::RegSetValueExA(key.get(), name.c_str(), 0, savedType, saved.data(), static_cast<DWORD>(saved.size()));
    } else {
        ::RegDeleteValueA(key.get(), name.c_str());
    }
}

bool ScopedRegistryValue::Set(const std::string& value) { return SetText(root, keyPath, name.c_str(), value); }

DirectXVersion::DirectXVersion(const char* version)
    : value(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\DirectX", "Version") {
    // A test that meant to show another version would otherwise pass on the machine's own.
    if (!value.Set(version)) ADD_FAILURE() << "the DirectX version " << version << " could not be set";
}

}  // namespace testkit
