#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Launcher.h"
#include "PackageFixture.h"
#include "StdioPackageFile.h"

using testkit::Bytes;
using testkit::PackageFixture;

namespace {

class MemoryHost : public PackageHost {
public:
    explicit MemoryHost(Bytes image) : image(std::move(image)) {}
    std::unique_ptr<PackageFile> OpenOwnFile() override {
        ++opens;
        return std::make_unique<MemoryPackageFile>(image.data(), image.size());
    }
    void ShowMessage(const char* text, const char* caption) override {
        messages.push_back(std::string(text) + " / " + caption);
    }
    Bytes image;
    int opens = 0;
    std::vector<std::string> messages;
};

// Records which modes the dispatch called.
class RecordingLauncher : public Launcher {
public:
    using Launcher::Launcher;
    bool RunInPlaceMode() override { return Record("run in place"); }
    bool ProjectInstallMode() override { return Record("project install"); }
    bool ScreensaverInstallMode() override { return Record("screen saver"); }
    bool WinampPluginInstallMode() override { return Record("plug-in"); }
    std::vector<std::string> calls;

private:
    bool Record(const char* mode) {
        calls.push_back(mode);
        return true;
    }
};

const Bytes kStub(64, 0xCC);

}  // namespace

TEST(Launcher, EachProjectTypeStartsAtMostOneMode) {
    struct Case {
        int32_t type;
        std::vector<std::string> calls;
    } cases[] = {
        {1, {"run in place"}}, {2, {"project install"}}, {5, {"screen saver"}}, {6, {"plug-in"}},
        {0, {}},  {3, {}},     {4, {}},                  {7, {}},             {-1, {}},
    };
    for (const Case& c : cases) {
        MemoryHost host(PackageFixture().Number("ProjectType", c.type).Image(kStub));
        RecordingLauncher launcher(host);
        launcher.Run();
        EXPECT_EQ(launcher.calls, c.calls) << "ProjectType " << c.type;
        EXPECT_TRUE(host.messages.empty()) << "ProjectType " << c.type;
        EXPECT_EQ(host.opens, 1) << "the value is read through one short-lived reader";
    }
}

TEST(Launcher, MissingOrDamagedProjectType) {
    Bytes corrupt = PackageFixture().Number("ProjectType", 1).Image(kStub);
    corrupt[corrupt.size() - 5] ^= 0x40;  // last data byte, just before the trailer
    struct Case {
        const char* what;
        Bytes image;
        std::vector<std::string> messages;
    } cases[] = {
        {"absent", PackageFixture().Text("ProjectName", "Demo").Image(kStub), {"Can't find project type / Error"}},
        {"only in another section", PackageFixture().Number("ProjectType", 1, "CHANNELINFO").Image(kStub),
         {"Can't find project type / Error"}},
        {"corrupted", corrupt, {"Crc error corrupt file / PROJECTTYPE", "Can't find project type / Error"}},
        {"no package at all", kStub, {"Data header not found! / ", "Can't find project type / Error"}},
    };
    for (const Case& c : cases) {
        MemoryHost host(c.image);
        RecordingLauncher launcher(host);
        launcher.Run();
        EXPECT_TRUE(launcher.calls.empty()) << c.what;
        EXPECT_EQ(host.messages, c.messages) << c.what;
    }
}

TEST(Launcher, UpperCaseStoredNameIsFoundByMixedCaseKey) {
    MemoryHost host(PackageFixture().Number("PROJECTTYPE", 2).Image(kStub));
    RecordingLauncher launcher(host);
    launcher.Run();
    EXPECT_EQ(launcher.calls, std::vector<std::string>{"project install"});
}
