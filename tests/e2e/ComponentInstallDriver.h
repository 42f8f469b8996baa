#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Handle.h"
#include "PackageFixture.h"
#include "UiDriver.h"

// Driving the screen-saver and plug-in installations from outside, and the machine state
// their tests set up and put back.
namespace e2e {

constexpr int kInstallButton = 1;
constexpr int kFolderEdit = 1000;
constexpr int kCancelButton = 1002;
// The box of an install that stops because a file did not arrive, as Boxes gives it.
constexpr char kCopyError[] =
    "There was an error while trying to copy one of the installation files.\nPlease make sure no applications are "
    "running that might be locking some files. / Installation Error";

// What a user saw of one installation run.
struct InstallRun {
    bool timedOut = false;
    DWORD exitCode = 0xFFFFFFFF;
    bool dialogSeen = false;
    std::string dialogTitle;
    std::string dialogFolder;
    bool browserSeen = false;
    std::vector<std::string> browserTexts;  // every control text of the folder browser
    std::vector<int> progress;              // bar positions as sampled, each change once
    std::vector<testkit::MessageBoxInfo> boxes;
};

struct Handlers {
    std::function<void(HWND)> onOptions;
    std::function<void(HWND)> onBrowser;
    testkit::BoxHandler answer = testkit::PressOk;
};

// Runs the packed program until it ends (or a minute has passed): the options dialog goes to
// onOptions, the shell's folder browser to onBrowser, message boxes to answer.
InstallRun Drive(const std::string& exe, const Handlers& handlers);
std::vector<std::string> Boxes(const InstallRun& run);

// The options dialog: install into folder, or cancel.
std::function<void(HWND)> InstallInto(const std::string& folder);
void Cancel(HWND dialog);
// The folder browser: select folder, type it into the edit box too and press OK, or cancel.
std::function<void(HWND)> BrowseTo(const std::string& folder);
void CancelBrowser(HWND browser);

bool Exists(const std::string& path);
// Values of HKEY_LOCAL_MACHINE\keyPath as name -> text (strings only; others as "?").
std::vector<std::pair<std::string, std::string>> TextValues(const std::string& keyPath);
// The viewer entries' parent keys, as far as they are empty (an installed viewer keeps them).
void RemoveEmptyViewerKeys();
// Files below folder, relative, sorted.
std::vector<std::string> Tree(const std::string& folder);

// One registry key's default value set for a test, or the key made absent; everything is put
// back on destruction (a key the guard created is removed with its parents up to the first
// one that existed).
class RegistryDefault {
public:
    RegistryDefault(HKEY root, const std::string& path);
    RegistryDefault(const RegistryDefault&) = delete;
    RegistryDefault& operator=(const RegistryDefault&) = delete;
    ~RegistryDefault();
    bool Set(const std::string& value);
    // True when the key existed before (a test that needs it absent then skips).
    bool Existed() const { return existed; }

private:
    HKEY root;
    std::string path;
    std::string firstCreated;
    bool existed = false;
    bool hadValue = false;
    DWORD savedType = 0;
    std::vector<unsigned char> saved;
};

// The machine's DirectX version, set for one test and put back afterwards.
class DirectXVersion {
public:
    explicit DirectXVersion(const char* version);
    DirectXVersion(const DirectXVersion&) = delete;
    DirectXVersion& operator=(const DirectXVersion&) = delete;
    ~DirectXVersion();

private:
    win::RegKey key;
    BYTE saved[1200] = {};
    DWORD savedSize = 0;
    DWORD savedType = 0;
    bool hadValue = false;
};

}  // namespace e2e
