#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ChunkFile.h"
#include "Controls.h"
#include "Handle.h"
#include "InstallPackage.h"
#include "LittleEndian.h"
#include "PackageFixture.h"
#include "UiDriver.h"

using testkit::Bytes;

namespace {

constexpr DWORD kRunLimitMs = 60000;
constexpr int kInstall = 1;
constexpr int kFolderEdit = 1000;
constexpr int kCancel = 1002;
constexpr int kProgressBar = 1003;
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DTest Project";
constexpr char kSuccessText[] =
    "Installation successfully completed!\r\nYou are able to find the installed program in the Start menu.";

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// What a user saw of one installation run.
struct InstallRun {
    bool timedOut = false;
    DWORD exitCode = 0xFFFFFFFF;
    bool dialogSeen = false;
    std::string dialogTitle;
    std::string dialogFolder;
    std::vector<int> progress;  // bar positions as sampled, each change once
    std::vector<testkit::MessageBoxInfo> boxes;
};

std::vector<std::string> Boxes(const InstallRun& run) {
    std::vector<std::string> out;
    for (const auto& box : run.boxes) out.push_back(box.text + " / " + box.caption);
    return out;
}

// The bar's position alone: every message sent to the installer waits for its next look at
// its queue, which comes right after each step of the bar, so one query per step.
bool BarPosition(HWND bar, int& position) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 20000, &result)) return false;
    position = static_cast<int>(result);
    return true;
}

// The process's visible dialogs, found without sending them anything: a message sent to the
// installer waits for its next look at its queue, and would cost the sampling of a step.
BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<std::pair<DWORD, std::vector<HWND>*>*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof(name));
    if (owner == context->first && ::IsWindowVisible(window) && std::strcmp(name, "#32770") == 0) {
        context->second->push_back(window);
    }
    return TRUE;
}

std::vector<HWND> VisibleDialogs(DWORD processId) {
    std::vector<HWND> out;
    std::pair<DWORD, std::vector<HWND>*> context{processId, &out};
    ::EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&context));
    return out;
}

// Runs the packed program: the options dialog goes to onDialog, the progress bar is sampled
// while it exists, message boxes are answered by answer.
InstallRun Drive(const std::string& exe, const std::function<void(HWND)>& onDialog,
                 const testkit::BoxHandler& answer = testkit::PressOk) {
    InstallRun run;
    testkit::ChildProcess child;
    if (!child.Start(exe, "\"" + exe + "\"")) return run;
    std::vector<HWND> handled;
    const DWORD start = ::GetTickCount();
    while (!child.Wait(1)) {
        if (::GetTickCount() - start > kRunLimitMs) {
            run.timedOut = true;
            child.Kill();
            break;
        }
        for (HWND dialog : VisibleDialogs(child.Id())) {
            if (std::find(handled.begin(), handled.end(), dialog) != handled.end()) continue;
            HWND bar = testkit::FindControl(dialog, kProgressBar);
            if (bar != nullptr) {
                int position = 0;
                while (::IsWindow(bar) && BarPosition(bar, position)) {
                    if (run.progress.empty() || run.progress.back() != position) run.progress.push_back(position);
                }
                continue;
            }
            // Before the box check: the dialog's label has the id of a message box's text.
            if (testkit::FindControl(dialog, kFolderEdit) != nullptr) {
                handled.push_back(dialog);
                if (run.dialogSeen) continue;
                run.dialogSeen = true;
                run.dialogTitle = testkit::WindowText(dialog);
                run.dialogFolder = testkit::WindowText(testkit::FindControl(dialog, kFolderEdit));
                onDialog(dialog);
                continue;
            }
            testkit::MessageBoxInfo box;
            if (testkit::ReadMessageBox(dialog, box)) {
                handled.push_back(dialog);
                run.boxes.push_back(box);
                testkit::ClickButton(dialog, answer(box));
            }
        }
        // A handle can come back for the next box once its window is gone.
        handled.erase(std::remove_if(handled.begin(), handled.end(), [](HWND w) { return !::IsWindow(w); }),
                      handled.end());
    }
    run.exitCode = child.ExitCode();
    return run;
}

std::function<void(HWND)> InstallInto(const std::string& folder) {
    return [folder](HWND dialog) {
        ASSERT_TRUE(testkit::SetEditText(testkit::FindControl(dialog, kFolderEdit), folder));
        testkit::PostCommand(dialog, kInstall);
    };
}

void CancelDialog(HWND dialog) { testkit::PostCommand(dialog, kCancel); }

std::string ProgramsFolder() {
    char path[MAX_PATH] = {};
    EXPECT_TRUE(::SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROGRAMS, FALSE));
    return path;
}

struct LinkInfo {
    std::string target, arguments, workingFolder, description;
};

// The link read back through the shell's own link object; false when it cannot be loaded.
bool ReadLink(const std::string& path, LinkInfo& info) {
    ::CoInitialize(nullptr);
    bool ok = false;
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
                info.target = text;
                text[0] = '\0';
                link->GetArguments(text, sizeof(text));
                info.arguments = text;
                text[0] = '\0';
                link->GetWorkingDirectory(text, sizeof(text));
                info.workingFolder = text;
                text[0] = '\0';
                link->GetDescription(text, sizeof(text));
                info.description = text;
                ok = true;
            }
            file->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return ok;
}

std::map<std::string, std::pair<DWORD, Bytes>> Values(const char* keyPath) {
    std::map<std::string, std::pair<DWORD, Bytes>> out;
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof(name);
        unsigned char data[2048];
        DWORD dataSize = sizeof(data);
        DWORD type = 0;
        if (::RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        out[name] = {type, Bytes(data, data + dataSize)};
    }
    return out;
}

std::pair<DWORD, Bytes> Text(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return {REG_SZ, bytes};
}
std::pair<DWORD, Bytes> Number(DWORD n) {
    Bytes bytes(4);
    StoreU32(bytes.data(), n);
    return {REG_DWORD, bytes};
}

Bytes Field(const std::string& text) {
    Bytes field(259, 0);
    std::copy(text.begin(), text.begin() + std::min<size_t>(text.size(), 259), field.begin());
    return field;
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

// The machine's DirectX version, set for one test and put back afterwards.
class DirectXVersion {
public:
    explicit DirectXVersion(const char* version) {
        ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\DirectX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key.put(), nullptr);
        savedSize = sizeof(saved);
        hadValue = ::RegQueryValueExA(key.get(), "Version", nullptr, &savedType, saved, &savedSize) == ERROR_SUCCESS;
        ::RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                         static_cast<DWORD>(std::strlen(version) + 1));
    }
    ~DirectXVersion() {
        if (hadValue) {
            ::RegSetValueExA(key.get(), "Version", 0, savedType, saved, savedSize);
        } else {
            ::RegDeleteValueA(key.get(), "Version");
        }
    }

private:
    win::RegKey key;
    BYTE saved[1200] = {};
    DWORD savedSize = 0;
    DWORD savedType = 0;
    bool hadValue = false;
};

class ProjectInstall : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        target = scratch + "\\Install Target";
        programs = ProgramsFolder();
        startMenuFolder = programs + "\\Orvan3D Test";
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
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }
    testkit::InstallOptions Options() const {
        testkit::InstallOptions options;
        options.installPath = scratch + "\\Proposed Folder";
        options.note = scratch + "\\viewer-note.txt";
        return options;
    }
    std::string Pack(const testkit::PackageFixture& fixture) {
        const std::string path = scratch + "\\Setup.exe";
        EXPECT_TRUE(testkit::WriteFileBytes(path, fixture.Image(stub)));
        return path;
    }
    // Nothing of an installation anywhere: folder, links, uninstall entry.
    void ExpectNothingInstalled(const char* what) {
        EXPECT_FALSE(Exists(target)) << what;
        EXPECT_FALSE(Exists(scratch + "\\Proposed Folder")) << what;
        EXPECT_FALSE(Exists(startMenuFolder)) << what;
        EXPECT_TRUE(Values(kUninstallKey).empty()) << what;
        EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt")) << what;
    }

    std::string scratch;
    std::string target;
    std::string programs;
    std::string startMenuFolder;
    Bytes stub;
};

}  // namespace

TEST_F(ProjectInstall, InstallsIntoTheChosenFolderWithLinksRecordAndUninstallEntry) {
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), Options());
    const auto run = Drive(Pack(package.fixture), InstallInto(target));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);

    EXPECT_TRUE(run.dialogSeen);
    EXPECT_EQ(run.dialogTitle, "Test Project Installation Options");
    EXPECT_EQ(run.dialogFolder, scratch + "\\Proposed Folder");

    // The steps of the bar, in order. Sampling from outside sees each step that comes after
    // the first query; the first steps can pass before the window is found.
    const std::vector<int> steps = {0, 25, 125, 150, 300, 375, 474};
    ASSERT_FALSE(run.progress.empty()) << "the progress window was never seen";
    auto next = steps.begin();
    for (int seen : run.progress) {
        next = std::find(next, steps.end(), seen);
        ASSERT_NE(next, steps.end()) << "position " << seen << " out of order or not a step: "
                                     << ::testing::PrintToString(run.progress);
    }
    EXPECT_EQ(run.progress.back(), 474) << ::testing::PrintToString(run.progress);
    for (int step : {125, 150, 474}) {
        EXPECT_NE(std::find(run.progress.begin(), run.progress.end(), step), run.progress.end())
            << step << " not seen in " << ::testing::PrintToString(run.progress);
    }
    std::printf("progress sampled: %s\n", ::testing::PrintToString(run.progress).c_str());

    ASSERT_EQ(Boxes(run), (std::vector<std::string>{std::string(kSuccessText) + " / Test Project"}));
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt")) << "the viewer is not started";
    EXPECT_FALSE(Exists(scratch + "\\Proposed Folder"));

    // Every package file, byte-exact, and nothing else but the record.
    std::vector<std::string> expectedTree = {"uninstall.nfo"};
    for (const auto& file : package.files) {
        Bytes onDisk;
        EXPECT_TRUE(testkit::ReadFileBytes(target + "\\" + file.first, onDisk)) << file.first;
        EXPECT_TRUE(onDisk == file.second) << file.first << " differs";
        expectedTree.push_back(file.first[0] == '\\' ? file.first.substr(1) : file.first);
    }
    std::sort(expectedTree.begin(), expectedTree.end());
    EXPECT_EQ(Tree(target), expectedTree);

    const std::string projectLink = startMenuFolder + "\\Test Project.lnk";
    const std::string uninstallLink = startMenuFolder + "\\Test Project Uninstall.lnk";
    struct LinkCase {
        std::string path;
        LinkInfo expected;
    } links[] = {
        {projectLink, {target + "\\OrvanViewer.exe", "ZRXStart.zrx", target, "Orvan3D Project Link"}},
        {uninstallLink, {target + "\\ZRXUnInst.exe", "", target, "Orvan3D Uninstall Link"}},
    };
    for (const LinkCase& c : links) {
        LinkInfo info;
        ASSERT_TRUE(ReadLink(c.path, info)) << c.path;
        EXPECT_EQ(info.target, c.expected.target) << c.path;
        EXPECT_EQ(info.arguments, c.expected.arguments) << c.path;
        EXPECT_EQ(info.workingFolder, c.expected.workingFolder) << c.path;
        EXPECT_EQ(info.description, c.expected.description) << c.path;
    }
    EXPECT_EQ(Tree(startMenuFolder), (std::vector<std::string>{"Test Project Uninstall.lnk", "Test Project.lnk"}));

    // The record: files in creation order (viewer, engine list, links, uninstaller, channel
    // items, project files), folders last created first, then the project name.
    std::vector<std::string> files;
    for (const auto& file : package.files) {
        if (file.first == "ZRXUnInst.exe") {
            files.push_back(projectLink);
            files.push_back(uninstallLink);
        }
        files.push_back(target + "\\" + file.first);
    }
    const std::vector<std::string> folders = {
        target + "\\",           target + "\\channels\\",    target + "\\3rd\\",
        startMenuFolder + "\\",  target + "\\\\plugins\\",   target + "\\\\media\\",
        target + "\\\\media\\textures\\",
    };
    Bytes recordBytes;
    ASSERT_TRUE(testkit::ReadFileBytes(target + "\\uninstall.nfo", recordBytes));
    std::vector<chunk::Chunk> record;
    ASSERT_TRUE(chunk::ReadChunks(recordBytes, record));
    std::vector<std::pair<std::string, Bytes>> expected;
    Bytes count(4);
    StoreU32(count.data(), static_cast<uint32_t>(files.size()));
    expected.emplace_back("UNFC", count);
    for (const auto& path : files) expected.emplace_back("UNFN", Field(path));
    StoreU32(count.data(), static_cast<uint32_t>(folders.size()));
    expected.emplace_back("UNDC", count);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) expected.emplace_back("UNDN", Field(*it));
    std::vector<std::pair<std::string, Bytes>> actual;
    for (const auto& c : record) actual.emplace_back(c.tag, c.data);
    ASSERT_EQ(actual.size(), expected.size() + 1);
    const std::vector<std::pair<std::string, Bytes>> listed(actual.begin(), actual.end() - 1);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(actual.back().first, "UNPN");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(actual.back().second.data())), "Test Project");

    uint64_t bytes = recordBytes.size();
    for (const auto& path : files) {
        Bytes content;
        testkit::ReadFileBytes(path, content);
        bytes += content.size();
    }
    const std::map<std::string, std::pair<DWORD, Bytes>> entry = {
        {"DisplayName", Text("Test Project")},
        {"UninstallString", Text("\"" + target + "\\ZRXUnInst.exe\"")},
        {"QuietUninstallString", Text("\"" + target + "\\ZRXUnInst.exe\" /S")},
        {"InstallLocation", Text(target)},
        {"DisplayIcon", Text(target + "\\OrvanViewer.exe")},
        {"EstimatedSize", Number(static_cast<DWORD>((bytes + 1023) / 1024))},
        {"NoModify", Number(1)},
        {"NoRepair", Number(1)},
    };
    EXPECT_EQ(Values(kUninstallKey), entry);
    win::RegKey viewerKey;
    EXPECT_NE(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\Test Project", 0,
                              KEY_READ, viewerKey.put()),
              ERROR_SUCCESS)
        << "the project mode writes no viewer entry";
}

TEST_F(ProjectInstall, CancelInstallsNothingAndWritesNothing) {
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture), CancelDialog);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.dialogSeen);
    EXPECT_TRUE(run.progress.empty());
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));
    ExpectNothingInstalled("cancelled");
}

TEST_F(ProjectInstall, TheProgramFileCannotBeSwappedWhileTheUserDecides) {
    // The moment a swap would pay: the user has started a program (maybe elevated) and looks
    // at the dialog; everything still to be installed is read from the file after the click.
    const std::string exe = Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture);
    testkit::Tampering whileOpen{true, true};
    const auto run = Drive(exe, [&](HWND dialog) {
        whileOpen = testkit::TryToTamper(exe);
        CancelDialog(dialog);
    });
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(run.dialogSeen);
    EXPECT_FALSE(whileOpen.renamed);
    EXPECT_FALSE(whileOpen.openedForWriting);
    const testkit::Tampering afterwards = testkit::TryToTamper(exe);
    EXPECT_TRUE(afterwards.renamed && afterwards.openedForWriting) << "the program let go of its file when it ended";
}

TEST_F(ProjectInstall, RunAfterInstallStartsTheViewerInsteadOfTheMessage) {
    DirectXVersion directX("4.09.00.0904");
    auto options = Options();
    options.runAfterInstall = true;
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), InstallInto(target));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));

    // The viewer runs on after the program has ended; its report shows where and how.
    const std::string notePath = scratch + "\\viewer-note.txt";
    Bytes note;
    for (int i = 0; i < 600 && !Exists(notePath); ++i) ::Sleep(50);
    ::Sleep(200);
    ASSERT_TRUE(testkit::ReadFileBytes(notePath, note)) << "the viewer was not started";
    const std::string report(note.begin(), note.end());
    EXPECT_NE(report.find("folder=" + target + "\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("module=" + target + "\\OrvanViewer.exe\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("command=OrvanViewer.exe ZRXStart.zrx\r\n"), std::string::npos) << report;
    EXPECT_TRUE(Exists(target + "\\uninstall.nfo"));
    EXPECT_FALSE(Values(kUninstallKey).empty());
    // The viewer holds its folder until it has ended.
    for (int i = 0; i < 200 && Exists(target); ++i) {
        testkit::RemoveTree(target);
        ::RemoveDirectoryA(target.c_str());
        if (Exists(target)) ::Sleep(50);
    }
}

TEST_F(ProjectInstall, WithoutDirectXTheRunAfterInstallFlagAloneShowsTheMessage) {
    DirectXVersion directX("4.08.01.0810");
    auto options = Options();
    options.runAfterInstall = true;
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), InstallInto(target));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string(kSuccessText) + " / Test Project"}));
    EXPECT_TRUE(Exists(target + "\\uninstall.nfo"));
    EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt"));
}

TEST_F(ProjectInstall, TheDirectXQuestionAnsweredNoInstallsNothing) {
    DirectXVersion directX("4.08.01.0810");
    auto options = Options();
    options.checkDx8 = true;
    struct Case {
        const char* what;
        int answer;
        bool dialogSeen;
    } cases[] = {{"No", IDNO, false}, {"Yes, then Cancel", IDYES, true}};
    for (const Case& c : cases) {
        const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), CancelDialog,
                               [&](const testkit::MessageBoxInfo&) { return c.answer; });
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        ASSERT_EQ(run.boxes.size(), 1u) << c.what;
        EXPECT_EQ(run.boxes[0].text,
                  "DirectX 9.0C or higher was not detected on this system\r\nPlease install DirectX 9.0C or higher "
                  "before running the program that is installed.\r\nContinue installation?")
            << c.what;
        EXPECT_EQ(run.boxes[0].caption, "DirectX version check") << c.what;
        EXPECT_TRUE(run.boxes[0].hasIcon) << c.what;
        std::vector<int> buttons;
        for (const auto& button : run.boxes[0].buttons) buttons.push_back(button.id);
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(buttons, (std::vector<int>{IDYES, IDNO})) << c.what;
        EXPECT_EQ(run.dialogSeen, c.dialogSeen) << c.what;
        ExpectNothingInstalled(c.what);
    }
}

TEST_F(ProjectInstall, EachMissingKeyIsNamedInReadingOrder) {
    struct Case {
        const char* key;
        std::function<void(testkit::InstallOptions&)> remove;
    } cases[] = {
        {"CheckDx8", [](testkit::InstallOptions& o) { o.withCheckDx8 = false; }},
        {"RunAfterInstall", [](testkit::InstallOptions& o) { o.withRunAfterInstall = false; }},
        {"InstallPath", [](testkit::InstallOptions& o) { o.withInstallPath = false; }},
        {"ShortCutName", [](testkit::InstallOptions& o) { o.withShortCutName = false; }},
        {"ProjectName", [](testkit::InstallOptions& o) { o.withProjectName = false; }},
    };
    auto cumulative = Options();
    for (const Case& c : cases) {
        auto options = Options();
        c.remove(options);
        c.remove(cumulative);
        const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), CancelDialog);
        EXPECT_EQ(run.exitCode, 0u) << c.key;
        EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string("Can't find project type ") + c.key + " / Error"}))
            << c.key;
        EXPECT_FALSE(run.dialogSeen) << c.key;
        ExpectNothingInstalled(c.key);
    }
    // With every key missing only the first one read is reported.
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), cumulative).fixture), CancelDialog);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{"Can't find project type CheckDx8 / Error"}));
}

TEST_F(ProjectInstall, NamesThatWouldLeaveTheirFolderAreRefusedBeforeAnythingIsWritten) {
    // A name climbing out of the Programs folder, or a project name that makes paths and keys.
    const std::string escape = "\\..\\..\\Orvan3D Escape";
    struct Case {
        const char* what;
        std::string projectName;
        std::string shortCutName;
        std::string named;  // the value the box names
    } cases[] = {
        {"ProjectName with .. steps", "..\\..\\x", "\\Orvan3D Test\\Test Project", "..\\..\\x"},
        {"ProjectName with a drive", "C:\\x", "\\Orvan3D Test\\Test Project", "C:\\x"},
        {"ShortCutName with .. steps", "Test Project", escape, escape},
    };
    for (const Case& c : cases) {
        auto options = Options();
        options.projectName = c.projectName;
        options.shortCutName = c.shortCutName;
        const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), InstallInto(target));
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        EXPECT_EQ(Boxes(run), (std::vector<std::string>{
                                  c.named + "\n\nThis item would be written outside the installation folder. / Installation Error"}))
            << c.what;
        EXPECT_FALSE(run.dialogSeen) << c.what;
        ExpectNothingInstalled(c.what);
        EXPECT_FALSE(Exists(programs + escape + ".lnk")) << c.what;
        // What an installation that went ahead would have left.
        ::DeleteFileA((programs + escape + ".lnk").c_str());
        ::DeleteFileA((programs + escape + " Uninstall.lnk").c_str());
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3D..");
        testkit::RemoveTree(target);
    }
}

TEST_F(ProjectInstall, ALinkPathThatDoesNotFitIsNeitherMadeNorRecorded) {
    auto options = Options();
    // The folder fits; the link's path, Programs folder included, does not fit 260 characters.
    options.shortCutName = "\\Orvan3D Test\\" + std::string(260 - programs.size() - 14, 'L');
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), InstallInto(target));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string(kSuccessText) + " / Test Project"}));
    EXPECT_EQ(Tree(startMenuFolder), std::vector<std::string>{}) << "no link, whole or cut";

    Bytes recordBytes;
    ASSERT_TRUE(testkit::ReadFileBytes(target + "\\uninstall.nfo", recordBytes));
    std::vector<chunk::Chunk> record;
    ASSERT_TRUE(chunk::ReadChunks(recordBytes, record));
    int files = 0;
    for (const auto& c : record) {
        if (c.tag != "UNFN") continue;
        ++files;
        const std::string path(reinterpret_cast<const char*>(c.data.data()), strnlen(reinterpret_cast<const char*>(c.data.data()), c.data.size()));
        EXPECT_EQ(path.rfind(programs, 0), std::string::npos) << "recorded: " << path;
    }
    EXPECT_GT(files, 0);
}
