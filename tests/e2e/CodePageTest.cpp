// The program under other ANSI code pages: one test program, run once per locale (ctest sets
// LANG and LC_ALL for each run; on Windows the suite whose code page is not the system's skips).
// Japanese (932): the second byte of a character may be 0x5C, the backslash. UTF-8 (65001):
// the conversion refuses the flags the other code pages need.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/ComponentPackage.h"
#include "testkit/InstallPackage.h"
#include "testkit/RecordBytes.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "tests/e2e/ProjectInstallFixture.h"

using testkit::Bytes;
using testkit::ExistsWide;

namespace {

constexpr DWORD kRunLimitMs = 60000;
constexpr char kGames[] = "C:\\Orvan3D Games";

// UTF-8 text in the ANSI code page, as narrow calls and records take it.
std::string Ansi(const std::string& utf8) {
    const std::wstring wide = testkit::Widen(utf8);
    char narrow[MAX_PATH * 2] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
    return narrow;
}

class CodePage : public e2e::ProjectInstall {
protected:
    CodePage() : e2e::ProjectInstall("Code Page Target") {}
    // Runs exe with arguments; no box may show.
    DWORD Run(const std::string& exe, const std::string& arguments) {
        const testkit::RunResult run = testkit::RunAndDrive(exe, "\"" + exe + "\"" + arguments, kRunLimitMs);
        EXPECT_FALSE(run.timedOut) << exe;
        EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(testkit::Boxes(run));
        return run.exitCode;
    }
    DWORD InstallSilently(const std::string& folder) {
        const Bytes image = testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture.Image(stub);
        return Run(Pack(image), " /S /D=" + folder);
    }
};

// Runs only where the ANSI code page is kCodePage.
template <UINT kCodePage>
class On : public CodePage {
protected:
    void SetUp() override {
        if (::GetACP() != kCodePage) GTEST_SKIP() << "the ANSI code page is " << ::GetACP();
        CodePage::SetUp();
        testkit::RemoveTreeWide(kGames);
    }
    void TearDown() override {
        if (::GetACP() != kCodePage) return;
        testkit::RemoveTreeWide(kGames);
        CodePage::TearDown();
    }
};
using CodePage932 = On<932>;
using CodePage65001 = On<CP_UTF8>;

}  // namespace

// 表 and ソ end in the byte 0x5C: a walk by byte takes "表示" for the folder "表" and "示".
TEST_F(CodePage932, InstallsIntoFoldersWhoseLettersEndInABackslashByteAndNowhereElse) {
    const struct {
        std::string folder;
        std::string stray;
    } cases[] = {
        {std::string(kGames) + u8"\\表示", std::string(kGames) + u8"\\表"},
        {std::string(kGames) + u8"\\ソフト", std::string(kGames) + u8"\\ソ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(InstallSilently(c.folder), 0u);
        EXPECT_TRUE(ExistsWide(c.folder + "\\OrvanViewer.exe"));
        EXPECT_TRUE(ExistsWide(c.folder + "\\channels\\ChunkLoader.dll"));
        EXPECT_TRUE(ExistsWide(c.folder + "\\uninstall.nfo"));
        EXPECT_FALSE(ExistsWide(c.stray));
        RemoveTraces();
        testkit::RemoveTreeWide(c.folder);
    }
}

// A record naming a file beside the install folder, in a folder whose name starts with the
// install folder's bytes: not inside it, so the uninstaller keeps it and says so (exit code 3).
TEST_F(CodePage932, TheUninstallerKeepsWhatLiesBesideAFolderWhoseNameStartsAlike) {
    const std::string folder = std::string(kGames) + u8"\\表";
    const std::string beside = std::string(kGames) + u8"\\表示x\\save.dat";
    ASSERT_EQ(InstallSilently(folder), 0u);
    ASSERT_TRUE(testkit::MakeFoldersWide(std::string(kGames) + u8"\\表示x"));
    ASSERT_TRUE(testkit::WriteFileBytes(Ansi(beside), Bytes(10, 1)));
    // The record as the installer wrote it, naming the file beside the folder too.
    std::vector<std::string> files, folders;
    std::string projectName;
    for (const auto& chunk : testkit::FileChunks(Ansi(folder + "\\uninstall.nfo"))) {
        if (chunk.first == "UNFN") files.push_back(testkit::FieldText(chunk.second));
        if (chunk.first == "UNDN") folders.push_back(testkit::FieldText(chunk.second));
        if (chunk.first == "UNPN") projectName = testkit::FieldText(chunk.second);
    }
    ASSERT_FALSE(files.empty());
    files.push_back(Ansi(beside));
    ASSERT_TRUE(testkit::WriteFileBytes(Ansi(folder + "\\uninstall.nfo"),
                                        testkit::MakeUninstallRecord(files, folders, projectName, false)));

    EXPECT_EQ(Run(folder + "\\ZRXUnInst.exe", " /S"), 3u);
    EXPECT_TRUE(ExistsWide(beside));
    EXPECT_FALSE(ExistsWide(folder + "\\OrvanViewer.exe")) << "the installation itself is removed";
}

// With "Use Unicode UTF-8 for worldwide language support" every name is exact, Cyrillic ones
// included: run in place from a Cyrillic temporary folder, install and uninstall silently.
TEST_F(CodePage65001, RunsInPlaceInstallsAndUninstallsWithCyrillicFolders) {
    const std::string temp = scratch + u8"\\Временные";
    ASSERT_TRUE(testkit::MakeFoldersWide(temp));
    testkit::ProjectOptions project;
    project.note = scratch + "\\viewer-note.txt";
    const std::string exe = Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), project).fixture.Image(stub),
                                 "Project.exe");
    {
        const testkit::ScopedTemp tempVariables(temp + "\\");
        EXPECT_EQ(Run(exe, ""), 0u);
    }
    EXPECT_TRUE(testkit::Exists(project.note)) << "the viewer ran";
    EXPECT_FALSE(ExistsWide(temp + "\\Orvan3D0")) << "the run folder is removed";

    const std::string folder = scratch + u8"\\Программа";
    ASSERT_EQ(InstallSilently(folder), 0u);
    EXPECT_TRUE(ExistsWide(folder + "\\uninstall.nfo"));
    // UTF-8 is the ANSI code page: the narrow name is the UTF-8 text itself.
    EXPECT_EQ(Run(folder + "\\ZRXUnInst.exe", " /S"), 0u);
    EXPECT_FALSE(ExistsWide(folder + "\\OrvanViewer.exe"));
}
