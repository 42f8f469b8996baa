// A project packed for one user, as its author writes it ("scope = user"): installed silently
// without elevation into the user's own folders, listed by the system with its maker and
// version, and removed again by its own uninstaller - beside an install of the same project for
// all users, which stays as it was.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>

#include "testkit/ComponentPackage.h"
#include "testkit/Files.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "tools/orvanpack/Packer.h"

using testkit::Bytes;

namespace {

constexpr char kName[] = "Orvan3D Per User Test";
constexpr char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DOrvan3D Per User Test";
constexpr DWORD kRunLimitMs = 120000;

std::string ReadText(const std::string& path) {
    Bytes bytes;
    testkit::ReadFileBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

// The manifest resource of a program, as Windows reads it before starting it.
std::string ManifestOf(const std::string& exe) {
    win::Module module(::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HRSRC found = module ? ::FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
    if (found == nullptr) return "";
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(module.get(), found)));
    return data != nullptr ? std::string(data, ::SizeofResource(module.get(), found)) : "";
}

// What a program writes to its standard output; it runs without a window.
std::string OutputOf(const std::string& commandLine) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "";
    win::Handle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &process)) {
        return "";
    }
    win::Handle processHandle(process.hProcess), thread(process.hThread);
    writer.reset();
    std::string out;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(reader.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) out.append(buffer, got);
    ::WaitForSingleObject(processHandle.get(), kRunLimitMs);
    return out;
}

// Runs a program without a dialog, waiting for it and every process it starts.
DWORD RunSilently(const std::string& exe, const std::string& arguments) {
    testkit::DriveOptions options;
    options.commandLine = "\"" + exe + "\"" + arguments;
    options.timeoutMs = kRunLimitMs;
    options.followChildren = true;
    options.noteDialogs = true;
    const testkit::RunResult run = testkit::Drive(exe, options);
    EXPECT_FALSE(run.timedOut) << exe;
    EXPECT_TRUE(run.dialogs.empty()) << exe << ": " << ::testing::PrintToString(run.dialogs);
    return run.exitCode;
}

class PerUserInstall : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        userFolder = testkit::KnownFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\" + kName;
        machineFolder = scratch + "\\For Everyone";
        RemoveTraces();
        // As in a profile that never held a per-user program: the install makes the parent
        // folder, and its uninstaller removes it again.
        programsParent = testkit::KnownFolder(CSIDL_LOCAL_APPDATA) + "\\Programs";
        ::RemoveDirectoryA(programsParent.c_str());
        parentExisted = testkit::Exists(programsParent);
        for (const auto& [name, bytes] : std::map<std::string, Bytes>{
                 {"ZRXStart.zrx", testkit::MakeStartFile(kName, 0, 0, "")}, {"media\\scene.dat", Bytes(5000, 7)}}) {
            ::CreateDirectoryA((scratch + "\\project").c_str(), nullptr);
            ::CreateDirectoryA((scratch + "\\project\\media").c_str(), nullptr);
            ASSERT_TRUE(testkit::WriteFileBytes(scratch + "\\project\\" + name, bytes));
        }
    }
    void TearDown() override {
        RemoveTraces();
        testkit::RemoveTree(scratch);
    }
    void RemoveTraces() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) ::RegDeleteTreeA(root, kKey);
        for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
            testkit::RemoveTree(testkit::KnownFolder(csidl) + "\\" + kName);
        }
        testkit::RemoveTree(userFolder);
    }
    // The project packed by the packer from a short manifest, with these [project] keys.
    std::string Pack(const std::string& keys, const std::string& output) {
        std::string components = testkit::OwnFolder();
        std::replace(components.begin(), components.end(), '\\', '/');
        const std::string text = std::string("[project]\ntype = \"install\"\nname = \"") + kName +
                                 "\"\nfiles = \"project\"\ncomponents = '" + components + "'\n" + keys;
        EXPECT_TRUE(testkit::WriteFileBytes(scratch + "\\project.toml", Bytes(text.begin(), text.end())));
        std::ostringstream err;
        EXPECT_EQ(BuildPackedFile({"", scratch + "\\project.toml", scratch + "\\" + output}, err), ExitStatus::kOk)
            << err.str();
        return scratch + "\\" + output;
    }

    std::string scratch, userFolder, machineFolder, programsParent;
    bool parentExisted = false;
};

}  // namespace

TEST_F(PerUserInstall, InstallsAndUninstallsForTheUserAloneBesideAnInstallForEveryone) {
    const std::string machineSetup = Pack("version = \"3.1.4\"\npublisher = \"Velbor Example Ltd\"\n", "Everyone.exe");
    ASSERT_EQ(RunSilently(machineSetup, " /S /D=" + machineFolder), 0u);
    const auto machineEntry = testkit::Values(HKEY_LOCAL_MACHINE, kKey);
    const std::string machineLinks = testkit::KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\" + kName;
    const auto machineFiles = testkit::TreeContents(machineFolder);
    ASSERT_FALSE(machineEntry.empty());
    ASSERT_EQ(testkit::Tree(machineLinks).size(), 2u);

    const std::string userSetup = Pack("version = \"3.1.4\"\npublisher = \"Velbor Example Ltd\"\nscope = \"user\"\n", "Mine.exe");
    EXPECT_NE(ManifestOf(userSetup).find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
        << "a per-user setup asks for no elevation";
    // No folder given: the user's own programs folder.
    ASSERT_EQ(RunSilently(userSetup, " /S /LOG=" + scratch + "\\install.log"), 0u);
    EXPECT_TRUE(testkit::Exists(userFolder + "\\OrvanViewer.exe"));
    EXPECT_TRUE(testkit::Exists(userFolder + "\\media\\scene.dat"));
    EXPECT_NE(ManifestOf(userFolder + "\\ZRXUnInst.exe").find("level=\"asInvoker\""), std::string::npos);
    EXPECT_EQ(testkit::QueryText(HKEY_CURRENT_USER, kKey, "Publisher"), "Velbor Example Ltd");
    EXPECT_EQ(testkit::QueryText(HKEY_CURRENT_USER, kKey, "DisplayVersion"), "3.1.4");
    EXPECT_EQ(testkit::QueryText(HKEY_CURRENT_USER, kKey, "InstallLocation"), userFolder);
    EXPECT_EQ(testkit::Values(HKEY_LOCAL_MACHINE, kKey), machineEntry) << "nothing of it in the machine's hive";
    EXPECT_EQ(testkit::Tree(testkit::KnownFolder(CSIDL_PROGRAMS) + "\\" + kName).size(), 2u);
    const std::string installLog = ReadText(scratch + "\\install.log");
    EXPECT_NE(installLog.find("file: " + userFolder + "\\OrvanViewer.exe ("), std::string::npos) << installLog;
    EXPECT_NE(installLog.find("outcome: done, exit code 0"), std::string::npos) << installLog;

    // The system's own reader of the entries lists both installs under the one key name.
    const std::string listed = OutputOf("uninstaller.exe --list");
    const std::string line = std::string("Orvan3D") + kName + "|||" + kName;
    const size_t first = listed.find(line);
    EXPECT_NE(first, std::string::npos) << listed;
    EXPECT_NE(listed.find(line, first + 1), std::string::npos) << "one for the user, one for everyone: " << listed;

    ASSERT_EQ(RunSilently(userFolder + "\\ZRXUnInst.exe", " /S /LOG=" + scratch + "\\uninstall.log"), 0u);
    EXPECT_FALSE(testkit::Exists(userFolder));
    EXPECT_EQ(testkit::Exists(programsParent), parentExisted) << "the parent the install made goes with it";
    EXPECT_FALSE(testkit::KeyExists(HKEY_CURRENT_USER, kKey));
    EXPECT_FALSE(testkit::Exists(testkit::KnownFolder(CSIDL_PROGRAMS) + "\\" + kName));
    const std::string uninstallLog = ReadText(scratch + "\\uninstall.log");
    for (const char* file : {"\\OrvanViewer.exe", "\\EngineCore.dll", "\\\\media\\scene.dat"}) {
        EXPECT_NE(uninstallLog.find("file: " + userFolder + file + "\r\n"), std::string::npos) << file << uninstallLog;
    }
    EXPECT_NE(uninstallLog.find("outcome: exit code 0"), std::string::npos) << uninstallLog;
    if (!parentExisted) {
        EXPECT_NE(uninstallLog.find("parent folder: " + programsParent + "\\\r\n"), std::string::npos) << uninstallLog;
    }
    EXPECT_EQ(uninstallLog.find("kept:"), std::string::npos) << uninstallLog;

    // The install for everyone is as it was.
    EXPECT_EQ(testkit::Values(HKEY_LOCAL_MACHINE, kKey), machineEntry);
    EXPECT_EQ(testkit::TreeContents(machineFolder), machineFiles);
    EXPECT_EQ(testkit::Tree(machineLinks).size(), 2u);
}
