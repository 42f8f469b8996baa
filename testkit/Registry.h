#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "testkit/PackageFixture.h"
#include "win/Handle.h"

// Registry state as tests read, set and put back.
namespace testkit {

// A value as stored: its type and bytes.
using RegistryValue = std::pair<DWORD, Bytes>;
// Every value of root\keyPath, by name; empty when the key does not exist.
std::map<std::string, RegistryValue> Values(HKEY root, const std::string& keyPath);
// Adds root\keyPath and every key below it ("path\\"), and each of their values
// ("path\\:name"), to out.
void AddKeyTree(HKEY root, const std::string& keyPath, std::map<std::string, RegistryValue>& out);
// REG_SZ with its terminator, and REG_DWORD, as Values gives them.
RegistryValue RegText(const std::string& text);
RegistryValue RegNumber(DWORD number);
// Values of root\keyPath as name -> text, sorted (strings only; others as "?").
std::vector<std::pair<std::string, std::string>> TextValues(HKEY root, const std::string& keyPath);
// One REG_SZ value; empty when the key or value is missing.
std::string QueryText(HKEY root, const std::string& keyPath, const char* name);
bool KeyExists(HKEY root, const std::string& keyPath);
// Sets a REG_SZ value, creating the key; false when either cannot be written.
bool SetText(HKEY root, const std::string& keyPath, const char* name, const std::string& value);

// A fresh key HKEY_CURRENT_USER\Software\OrvanTest-<name>-<process id>, removed with
// everything below it on destruction: a root for code that takes its registry root.
class ScratchKey {
public:
    explicit ScratchKey(const std::string& name);
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    ~ScratchKey();
    HKEY Root() const { return key.get(); }
    const std::string& Path() const { return path; }

private:
    std::string path;
    win::RegKey key;
};

// One named value of root\keyPath set for a test (the key created if need be), put back as it
// was on destruction; a key the guard created is removed with its parents up to the first one
// that existed. An empty name is the key's default value.
class ScopedRegistryValue {
public:
    ScopedRegistryValue(HKEY root, const std::string& keyPath, const std::string& name);
    ScopedRegistryValue(const ScopedRegistryValue&) = delete;
    ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;
    ~ScopedRegistryValue();
    [[nodiscard]] bool Set(const std::string& value);
    // True when the key existed before (a test that needs it absent then skips).
    bool Existed() const { return existed; }

private:
    HKEY root;
    std::string keyPath;
    std::string name;
    std::string firstCreated;
    bool existed = false;
    bool hadValue = false;
    DWORD savedType = 0;
    Bytes saved;
};

// One registry key's default value set for a test, or the key left absent.
class RegistryDefault : public ScopedRegistryValue {
public:
    RegistryDefault(HKEY root, const std::string& keyPath) : ScopedRegistryValue(root, keyPath, "") {}
};

// The machine's DirectX version, set for one test and put back afterwards; a version that
// cannot be set fails the test. Only end-to-end tests need it: the code under test reads it
// from a root that unit tests give.
class DirectXVersion {
public:
    explicit DirectXVersion(const char* version);

private:
    ScopedRegistryValue value;
};

}  // namespace testkit
