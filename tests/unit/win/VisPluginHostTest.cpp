#include <gtest/gtest.h>

#include <string>

#include "components/winamp-plugin/VisPlugin.h"
#include "testkit/UiDriver.h"
#include "win/Handle.h"

namespace {

// Our plug-in loaded from the build's bin folder the way a host loads Plugins\vis_*.dll.
class VisPluginHost : public ::testing::Test {
protected:
    void SetUp() override {
        library.reset(::LoadLibraryA((testkit::OwnFolder() + "\\WinAmp.dll").c_str()));
        ASSERT_TRUE(library);
        getHeader = reinterpret_cast<WinampVisGetHeaderFunc>(
            reinterpret_cast<void*>(::GetProcAddress(library.get(), "winampVisGetHeader")));
        ASSERT_NE(getHeader, nullptr) << "the host's entry point is not exported under its plain name";
    }
    win::Module library;
    WinampVisGetHeaderFunc getHeader = nullptr;
};

TEST_F(VisPluginHost, TheHeaderHasTheHostsVersionAndExactlyOneCompleteModule) {
    winampVisHeader* header = getHeader();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->version, 0x101);
    ASSERT_NE(header->description, nullptr);
    EXPECT_FALSE(std::string(header->description).empty());
    ASSERT_NE(header->getModule, nullptr);
    winampVisModule* module = header->getModule(0);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(header->getModule(1), nullptr);
    EXPECT_EQ(header->getModule(-1), nullptr);
    EXPECT_EQ(getHeader(), header) << "the host may ask twice";
    ASSERT_NE(module->description, nullptr);
    EXPECT_NE(module->Config, nullptr);
    EXPECT_NE(module->Init, nullptr);
    EXPECT_NE(module->Render, nullptr);
    EXPECT_NE(module->Quit, nullptr);
    EXPECT_GE(module->levelChannels, 1);
    EXPECT_LE(module->levelChannels, 2);
    EXPECT_LE(module->waveformChannels, 2);
}

TEST_F(VisPluginHost, WithoutItsProjectInitFailsAndTheModuleStaysSafeToStop) {
    winampVisModule* module = getHeader()->getModule(0);
    module->hwndParent = nullptr;
    module->hDllInstance = library.get();
    // Named WinAmp.dll, beside no "winamp.cfg" and without a viewer entry of that name.
    EXPECT_NE(module->Init(module), 0);
    EXPECT_EQ(::FindWindowA("Orvan3D Visualisation", nullptr), nullptr);
    EXPECT_EQ(module->Render(module), 1) << "a module that did not start asks to be stopped";
    module->Quit(module);
    EXPECT_EQ(module->userData, nullptr);
}

}  // namespace
