#include <gtest/gtest.h>

#include <string>

#include "testkit/PackageFixture.h"
#include "testkit/UiDriver.h"
#include "tests/unit/win/engine/EngineTestHost.h"
#include "win/DllSearch.h"
#include "win/Handle.h"

using enginetest::BinFolder;
using enginetest::EngineHost;

namespace {

bool SamePath(const std::string& a, const std::string& b) {
    return ::lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A library of ours that loads but exports nothing a factory could use.
std::string LibraryWithoutExport() {
    return BinFolder() + "\\3rd\\msvcr71.dll";
}

}  // namespace

TEST(EngineLoad, EveryLibraryOfTheFileListLoadsWithItsExports) {
    struct Case {
        const char* file;
        const char* exportName;  // null: none needed
    } cases[] = {
        {"EngineCore.dll", "GetEngineControlInstance"},
        {"channels\\ChunkSaver.dll", "CreateEngineChannel"},
        {"channels\\FolderScan.dll", "CreateEngineChannel"},
        {"channels\\ChunkLoader.dll", "CreateEngineChannel"},
        {"channels\\3A5C2E10-6B7D-4E21-9F0A-1C2D3E4F5A61.dll", nullptr},
        {"channels\\7B1D4F22-8C3E-4A52-B06F-2D3E4F5A6B72.dll", nullptr},
        {"channels\\9C2E5A33-0D4F-4B63-A17E-3E4F5A6B7C83.dll", nullptr},
        {"channels\\1D3F6B44-2E5A-4C74-B28D-4F5A6B7C8D94.dll", nullptr},
        {"channels\\4E4A7C55-3F6B-4D85-A39C-5A6B7C8D9EA5.dll", nullptr},
        {"3rd\\msvcr71.dll", nullptr},
    };
    for (const Case& c : cases) {
        const std::string path = BinFolder() + "\\" + c.file;
        win::Module library(::LoadLibraryA(path.c_str()));
        ASSERT_TRUE(library) << c.file;
        if (c.exportName != nullptr) {
            EXPECT_NE(::GetProcAddress(library.get(), c.exportName), nullptr) << c.file;
        }
    }
}

TEST(EngineLoad, ControlFollowsTheProgramsCallingOrder) {
    EngineHost host;
    ASSERT_TRUE(host.Load(BinFolder(), BinFolder()));
    EXPECT_EQ(host.engineControl->GetChannelFactory(), host.channelFactory) << "the control keeps one factory";
    EXPECT_FALSE(host.engineControl->Initialize(nullptr, nullptr, nullptr));
    EXPECT_TRUE(host.engineControl->Initialize(nullptr, "", nullptr));
    EXPECT_FALSE(host.engineControl->SetBaseFolder(nullptr));
}

TEST(EngineLoad, FactoryKnowsOnlyTheEnginesClasses) {
    const GUID kUnknown = {0xE3830E49, 0xBA0B, 0x4038, {0xAC, 0x63, 0x1B, 0x1C, 0x08, 0xBC, 0x3E, 0xE9}};
    struct Case {
        const char* what;
        GUID id;
        bool created;
    } cases[] = {
        {"file loader", kFileLoaderChannelId, true},
        {"file saver", kFileSaverChannelId, true},
        {"directory", kDirectoryChannelId, true},
        {"one bit off the loader", kUnknown, false},
        {"null identifier", GUID{}, false},
    };
    EngineHost host;
    ASSERT_TRUE(host.Load(BinFolder(), BinFolder()));
    for (const Case& c : cases) {
        EngineObject<EngineChannel> channel = host.Create<EngineChannel>(c.id);
        EXPECT_EQ(channel != nullptr, c.created) << c.what;
    }
}

TEST(EngineLoad, ChannelsComeOnlyFromBelowTheBaseFolder) {
    const std::string empty = testkit::MakeScratchFolder("engine-empty");
    const std::string broken = testkit::MakeScratchFolder("engine-broken");
    ::CreateDirectoryA((broken + "\\channels").c_str(), nullptr);
    ASSERT_TRUE(::CopyFileA(LibraryWithoutExport().c_str(), (broken + "\\channels\\ChunkLoader.dll").c_str(), FALSE));
    struct Case {
        const char* what;
        std::string base;
        bool created;
    } cases[] = {
        {"no base folder", "", false},
        {"base folder without channels", empty, false},
        {"loader library lacks the export", broken, false},
        {"the installed layout", BinFolder(), true},
        {"the installed layout, trailing separator", BinFolder() + "\\", true},
    };
    for (const Case& c : cases) {
        EngineHost host;
        ASSERT_TRUE(host.Load(BinFolder(), c.base)) << c.what;
        EngineObject<EngineChannel> loader = host.Create<EngineChannel>(kFileLoaderChannelId);
        EXPECT_EQ(loader != nullptr, c.created) << c.what;
    }
    testkit::RemoveTree(empty);
    testkit::RemoveTree(broken);
}

TEST(EngineLoad, LibraryPlantedInTheCurrentFolderIsNotUsed) {
    const std::string planted = testkit::MakeScratchFolder("engine-planted");
    ::CreateDirectoryA((planted + "\\channels").c_str(), nullptr);
    for (const char* name : {"\\ChunkLoader.dll", "\\channels\\ChunkLoader.dll"}) {
        ASSERT_TRUE(::CopyFileA(LibraryWithoutExport().c_str(), (planted + name).c_str(), FALSE)) << name;
    }
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(sizeof(previous), previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(planted.c_str()));
    {
        EngineHost host;
        ASSERT_TRUE(host.Load(BinFolder(), BinFolder()));
        EngineObject<FileLoaderChannel> loader = host.Create<FileLoaderChannel>(kFileLoaderChannelId);
        ASSERT_NE(loader, nullptr);
        EXPECT_TRUE(SamePath(enginetest::ModulePathOf(loader.get()), BinFolder() + "\\channels\\ChunkLoader.dll"));
    }
    ::SetCurrentDirectoryA(previous);
    testkit::RemoveTree(planted);
}

TEST(EngineLoad, ChannelLibrariesStayLoadedUntilTheControlIsDestroyed) {
    struct Case {
        GUID id;
        const char* library;
    } cases[] = {
        {kFileLoaderChannelId, "\\channels\\ChunkLoader.dll"},
        {kFileSaverChannelId, "\\channels\\ChunkSaver.dll"},
        {kDirectoryChannelId, "\\channels\\FolderScan.dll"},
    };
    for (const Case& c : cases) {
        const std::string path = BinFolder() + c.library;
        EngineHost host;
        ASSERT_TRUE(host.Load(BinFolder(), BinFolder()));
        EngineObject<EngineChannel> first = host.Create<EngineChannel>(c.id);
        EngineObject<EngineChannel> second = host.Create<EngineChannel>(c.id);
        ASSERT_NE(first, nullptr) << c.library;
        ASSERT_NE(second, nullptr) << c.library;
        EXPECT_NE(first.get(), second.get()) << "each call makes a new channel";
        EXPECT_TRUE(SamePath(enginetest::ModulePathOf(first.get()), path)) << c.library;
        first.reset();
        second.reset();
        EXPECT_NE(::GetModuleHandleA(path.c_str()), nullptr) << c.library;
        host.Release();
        EXPECT_EQ(::GetModuleHandleA(path.c_str()), nullptr) << c.library;
    }
}

TEST(EngineLoad, TheEnginesLibrariesAreFoundByNameInItsFoldersWhileItIsLoaded) {
    // The test engine imports the probe by name, as the engine does its run-time library.
    const std::string probe = "4E4A7C55-3F6B-4D85-A39C-5A6B7C8D9EA5.dll";
    testkit::Bytes engineBytes;
    testkit::Bytes probeBytes;
    ASSERT_TRUE(testkit::ReadFileBytes(BinFolder() + "\\probe\\EngineCore.dll", engineBytes));
    ASSERT_TRUE(testkit::ReadFileBytes(BinFolder() + "\\probe\\" + probe, probeBytes));
    const std::string scratch = testkit::MakeScratchFolder("EngineFolders");
    win::HardenDllSearch();
    const char* const subfolders[] = {"", "\\channels", "\\3rd"};
    int index = 0;
    for (const char* subfolder : subfolders) {
        const std::string folder = scratch + "\\engine" + std::to_string(index++);
        for (const char* made : subfolders) ::CreateDirectoryA((folder + made).c_str(), nullptr);
        const std::string probePath = folder + subfolder + "\\" + probe;
        ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\EngineCore.dll", engineBytes));
        ASSERT_TRUE(testkit::WriteFileBytes(probePath, probeBytes));
        {
            win::DllFolders folders;
            win::Module engine(win::LoadEngineLibrary(folder.c_str(), folders));
            ASSERT_TRUE(engine) << "probe in " << probePath;
            char loaded[MAX_PATH] = {};
            ::GetModuleFileNameA(::GetModuleHandleA(probe.c_str()), loaded, sizeof(loaded));
            EXPECT_TRUE(SamePath(loaded, probePath)) << loaded;
            EXPECT_NE(::GetProcAddress(engine.get(), "GetEngineControlInstance"), nullptr);
        }
        // Gone with their owner: nothing is found by name in the engine's folders any more.
        win::Module byName(::LoadLibraryExA(probe.c_str(), nullptr, LOAD_LIBRARY_SEARCH_USER_DIRS));
        EXPECT_FALSE(byName) << "the folders of " << folder << " are still searched";
    }
    testkit::RemoveTree(scratch);
}
