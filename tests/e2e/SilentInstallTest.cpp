// The silent install of deployment tools: "/S", optionally "/D=<folder>" last, on a project
// install package. No dialog, no box, the outcome in the exit code.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Controls.h"
#include "Handle.h"
#include "InstallPackage.h"
#include "MemoryPackageHost.h"
#include "PackageFixture.h"
#include "PackageReader.h"
#include "UiDriver.h"
#include "WideText.h"

using testkit::Bytes;

namespace {

constexpr DWORD kRunLimitMs = 60000;
constexpr int kInstall = 1;
constexpr int kFolderEdit = 1000;
constexpr int kCancel = 1002;
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DTest Project";

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct ProgramRun {
    bool timedOut = false;
    DWORD exitCode = 0xFFFFFFFF;
    // Titles of every window of class "#32770" the program opened, hidden ones included.
    std::vector<std::string> dialogs;
};

// Runs the program with arguments. Dialogs are noted; the options dialog installs into
// folder (or is cancelled when folder is empty), boxes are answered with OK.
ProgramRun Start(const std::string& exe, const std::string& arguments, const std::string& folder = "") {
    ProgramRun run;
    testkit::ChildProcess child;
    if (!child.Start(exe, "\"" + exe + "\"" + arguments)) return run;
    std::vector<HWND> seen;
    const DWORD start = ::GetTickCount();
    while (!child.Wait(5)) {
        if (::GetTickCount() - start > kRunLimitMs) {
            run.timedOut = true;
            child.Kill();
            break;
        }
        for (const auto& window : testkit::TopLevelWindows(child.Id())) {
            if (window.className != "#32770" || std::find(seen.begin(), seen.end(), window.window) != seen.end()) continue;
            seen.push_back(window.window);
            run.dialogs.push_back(window.title);
            testkit::MessageBoxInfo box;
            if (HWND edit = testkit::FindControl(window.window, kFolderEdit)) {
                if (folder.empty()) {
                    testkit::PostCommand(window.window, kCancel);
                } else {
                    testkit::SetEditText(edit, folder);
                    testkit::PostCommand(window.window, kInstall);
                }
            } else if (testkit::ReadMessageBox(window.window, box)) {
                testkit::ClickButton(window.window, testkit::PressOk(box));
            }
        }
        seen.erase(std::remove_if(seen.begin(), seen.end(), [](HWND w) { return !::IsWindow(w); }), seen.end());
    }
    run.exitCode = child.ExitCode();
    return run;
}

std::vector<std::string> Tree(const std::string& folder, const std::string& prefix = "") {
    std::vector<std::string> out;
    WIN32_FIND_DATAA found;
    win::FindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) return out;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const auto& inner : Tree(folder + "\\" + name, prefix + name + "\\")) out.push_back(inner);
        } else {
            out.push_back(prefix + name);
        }
    } while (::FindNextFileA(find.get(), &found));
    std::sort(out.begin(), out.end());
    return out;
}

std::map<std::string, Bytes> Values(const char* keyPath) {
    std::map<std::string, Bytes> out;
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof(name);
        unsigned char data[2048];
        DWORD dataSize = sizeof(data);
        if (::RegEnumValueA(key.get(), i, name, &nameSize, nullptr, nullptr, data, &dataSize) != ERROR_SUCCESS) break;
        out[name] = Bytes(data, data + dataSize);
    }
    return out;
}

// A link as the shell reads it: target, arguments, working folder and description. The file's
// bytes would differ between two installs by the target's file times.
Bytes ReadLink(const std::string& path) {
    std::string out;
    ::CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR wide[MAX_PATH] = {};
            ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                char text[1024] = {};
                link->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH);
                out += std::string(text) + "|";
                text[0] = '\0';
                link->GetArguments(text, sizeof(text));
                out += std::string(text) + "|";
                text[0] = '\0';
                link->GetWorkingDirectory(text, sizeof(text));
                out += std::string(text) + "|";
                text[0] = '\0';
                link->GetDescription(text, sizeof(text));
                out += text;
            }
            file->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return Bytes(out.begin(), out.end());
}

// What an installation left behind: every file with its bytes, the Start-menu links and the
// uninstall entry.
struct Traces {
    std::map<std::string, Bytes> files;
    std::map<std::string, Bytes> links;
    std::map<std::string, Bytes> entry;
    bool operator==(const Traces& o) const { return files == o.files && links == o.links && entry == o.entry; }
};

Traces Collect(const std::string& target, const std::string& startMenuFolder) {
    Traces traces;
    for (const auto& name : Tree(target)) testkit::ReadFileBytes(target + "\\" + name, traces.files[name]);
    for (const auto& name : Tree(startMenuFolder)) traces.links[name] = ReadLink(startMenuFolder + "\\" + name);
    traces.entry = Values(kUninstallKey);
    return traces;
}

class SilentInstall : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        target = scratch + "\\Silent Target";
        char programs[MAX_PATH] = {};
        ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE));
        startMenuFolder = std::string(programs) + "\\Orvan3D Test";
        RemoveTraces();
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
    }
    void TearDown() override {
        RemoveTraces();
        testkit::RemoveTree(scratch);
    }
    void RemoveTraces() {
        testkit::RemoveTree(startMenuFolder);
        ::RemoveDirectoryA(startMenuFolder.c_str());
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }
    testkit::InstallOptions Options() const {
        testkit::InstallOptions options;
        options.installPath = scratch + "\\Proposed Folder";
        options.note = scratch + "\\viewer-note.txt";
        return options;
    }
    std::string Pack(const Bytes& image) {
        const std::string path = scratch + "\\Setup.exe";
        EXPECT_TRUE(testkit::WriteFileBytes(path, image));
        return path;
    }
    void ExpectNoRecord(const std::string& what) {
        EXPECT_FALSE(Exists(target + "\\uninstall.nfo")) << what;
        EXPECT_FALSE(Exists(scratch + "\\Proposed Folder\\uninstall.nfo")) << what;
        EXPECT_TRUE(Values(kUninstallKey).empty()) << what;
    }

    std::string scratch;
    std::string target;
    std::string startMenuFolder;
    Bytes stub;
};

}  // namespace

TEST_F(SilentInstall, WritesWhatTheInteractiveInstallWritesWithoutAnyDialog) {
    const Bytes image = testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture.Image(stub);
    const ProgramRun interactive = Start(Pack(image), "", target);
    ASSERT_FALSE(interactive.timedOut);
    ASSERT_EQ(interactive.dialogs.size(), 3u) << "the options dialog, the progress window and the success box";
    const Traces expected = Collect(target, startMenuFolder);
    ASSERT_TRUE(expected.files.count("uninstall.nfo"));
    ASSERT_EQ(expected.links.size(), 2u);
    ASSERT_FALSE(expected.entry.empty());
    RemoveTraces();
    testkit::RemoveTree(target);
    ::RemoveDirectoryA(target.c_str());

    // The folder holds a space: it runs to the end of the line, as deployment tools write it.
    const ProgramRun silent = Start(Pack(image), " /S /D=" + target);
    ASSERT_FALSE(silent.timedOut);
    EXPECT_EQ(silent.exitCode, 0u);
    EXPECT_EQ(silent.dialogs, std::vector<std::string>{});
    const Traces actual = Collect(target, startMenuFolder);
    std::vector<std::string> names, expectedNames;
    for (const auto& f : actual.files) names.push_back(f.first);
    for (const auto& f : expected.files) expectedNames.push_back(f.first);
    EXPECT_EQ(names, expectedNames);
    EXPECT_TRUE(actual == expected) << "files, links or uninstall entry differ";
    EXPECT_FALSE(Exists(scratch + "\\Proposed Folder"));
}

TEST_F(SilentInstall, WithoutAFolderInstallsIntoInstallPathAndNeverStartsTheViewerOrAsks) {
    auto options = Options();
    options.runAfterInstall = true;
    options.checkDx8 = true;
    // No DirectX: the interactive install would ask whether to go on.
    HKEY directX = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\DirectX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &directX,
                      nullptr);
    win::RegKey directXKey(directX);
    BYTE saved[256] = {};
    DWORD savedSize = sizeof(saved), savedType = 0;
    const bool hadVersion = ::RegQueryValueExA(directX, "Version", nullptr, &savedType, saved, &savedSize) == ERROR_SUCCESS;
    const char kOld[] = "4.08.01.0810";
    ::RegSetValueExA(directX, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kOld), sizeof(kOld));

    const ProgramRun run = Start(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture.Image(stub)), " /S");
    if (hadVersion) {
        ::RegSetValueExA(directX, "Version", 0, savedType, saved, savedSize);
    } else {
        ::RegDeleteValueA(directX, "Version");
    }
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.dialogs, std::vector<std::string>{});
    EXPECT_TRUE(Exists(scratch + "\\Proposed Folder\\uninstall.nfo"));
    EXPECT_TRUE(Exists(startMenuFolder + "\\Test Project.lnk"));
    EXPECT_FALSE(Values(kUninstallKey).empty());
    ::Sleep(500);
    EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt")) << "a silent install starts no viewer";
}

TEST_F(SilentInstall, FailuresExitWithOneAndWriteNoRecord) {
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), Options());
    const Bytes image = package.fixture.Image(stub);
    // The last project file, damaged in place: the install fails after links and engine.
    Bytes lateDamage = image;
    {
        testkit::MemoryPackageHost host(image);
        PackageReader reader(host);
        const std::string last = package.files.back().first;
        int32_t index = 0;
        while (index < reader.EntryCount() && !EqualsIgnoringCase(reader.EntryAt(index)->name, last.c_str())) ++index;
        ASSERT_LT(index, reader.EntryCount()) << last;
        lateDamage[reader.EntryOffset(index)] ^= 0x40;
    }
    Bytes noHeader = image;
    noHeader.resize(stub.size() + 20);
    ASSERT_TRUE(testkit::WriteFileBytes(scratch + "\\a file", Bytes(10, 1)));

    struct Case {
        const char* what;
        const Bytes& image;
        std::string arguments;
    } cases[] = {
        {"damaged project file", lateDamage, " /S /D=" + target},
        {"no package", noHeader, " /S /D=" + target},
        {"folder below a file", image, " /S /D=" + scratch + "\\a file\\sub"},
        {"relative folder", image, " /S /D=Relative Folder"},
        {"folder longer than 399 characters", image, " /S /D=C:\\" + std::string(400, 'x')},
    };
    for (const Case& c : cases) {
        const ProgramRun run = Start(Pack(c.image), c.arguments);
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 1u) << c.what;
        EXPECT_EQ(run.dialogs, std::vector<std::string>{}) << c.what;
        ExpectNoRecord(c.what);
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}

TEST_F(SilentInstall, OtherCommandLinesAndOtherModesRunAsBefore) {
    const Bytes install = testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture.Image(stub);
    struct Case {
        const char* what;
        Bytes image;
        std::string arguments;
        DWORD exitCode;
        size_t dialogs;  // the options dialog, cancelled by the driver
    } cases[] = {
        {"lower-case /s", install, " /s", 0, 1},
        {"/D= without /S", install, " /D=" + target, 0, 1},
        {"/S after /D= is part of the folder", install, " /D=" + target + " /S", 0, 1},
        {"unknown options", install, " /silent -S S", 0, 1},
        {"ProjectType 7 with /S does nothing", testkit::PackageFixture().Number("ProjectType", 7).Image(stub), " /S", 0, 0},
    };
    for (const Case& c : cases) {
        const ProgramRun run = Start(Pack(c.image), c.arguments);
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(run.dialogs.size(), c.dialogs) << c.what;
        ExpectNoRecord(c.what);
    }
}

// Folders as deployment tools pass them: "Zoë" is in code page 1252, "Łódź" is not. A folder
// outside the code page that exists is installed into under its short name; one that does not
// exist yet has no exact narrow name, so the install fails before it writes anything.
TEST_F(SilentInstall, FoldersNamedInAndOutsideTheAnsiCodePage) {
    const Bytes image = testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture.Image(stub);
    const struct {
        const char* what;
        std::string folder;
        bool exists;
        DWORD exitCode;
    } cases[] = {
        {"in the code page", u8"C:\\Program Files\\Zoë", false, 0},
        {"outside, existing", u8"C:\\Program Files\\Łódź", true, 0},
        {"outside, not existing", u8"C:\\Program Files\\Łódź Nowa", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::RemoveTreeWide(c.folder);
        if (c.exists) {
            ASSERT_TRUE(testkit::MakeFoldersWide(c.folder));
        }
        const ProgramRun run = Start(Pack(image), " /S /D=" + c.folder);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.dialogs, std::vector<std::string>{});
        if (c.exitCode == 0) {
            EXPECT_TRUE(testkit::ExistsWide(c.folder + "\\OrvanViewer.exe"));
            EXPECT_TRUE(testkit::ExistsWide(c.folder + "\\uninstall.nfo"));
            EXPECT_FALSE(Values(kUninstallKey).empty());
        } else {
            EXPECT_FALSE(testkit::ExistsWide(c.folder)) << "nothing written";
            ExpectNoRecord(c.what);
        }
        RemoveTraces();
        testkit::RemoveTreeWide(c.folder);
    }
}
