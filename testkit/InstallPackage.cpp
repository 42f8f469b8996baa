#include "testkit/InstallPackage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "components/chunk/VbrfCodec.h"
#include "installer/EngineFiles.h"
#include "testkit/ComponentPackage.h"

namespace testkit {

namespace {

Bytes Pattern(size_t size, unsigned seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>((i * 167 + seed) ^ (i >> 5));
    return out;
}

}  // namespace

InstallPackage MakeInstallPackage(const std::string& binFolder, const InstallOptions& options) {
    InstallPackage package;
    PackageFixture& f = package.fixture;
    f.Number("ProjectType", 2);
    if (options.withCheckDx8) f.Flag("CheckDx8", options.checkDx8);
    if (options.withRunAfterInstall) f.Flag("RunAfterInstall", options.runAfterInstall);
    if (options.withInstallPath) f.Text("InstallPath", options.installPath);
    if (options.withShortCutName) f.Text("ShortCutName", options.shortCutName);
    if (options.withProjectName) f.Text("ProjectName", options.projectName);

    auto zlibComponent = [&](const std::string& name, const std::string& own) {
        const auto substitute = options.substitutes.find(name);
        const Bytes plain =
            FileBytesOrDie(binFolder + "\\" + (substitute != options.substitutes.end() ? substitute->second : own));
        f.Raw(name, ZlibStored(plain));
        package.files.emplace_back(name, plain);
    };
    zlibComponent("OrvanViewer.exe", "OrvanViewer.exe");
    for (const char* name : kEngineFiles) zlibComponent(name, name);
    const Bytes start = MakeStartFile(options.projectName, 0, 0, options.note);
    f.Raw("ZRXStart.zrx", start);
    package.files.emplace_back("ZRXStart.zrx", start);
    zlibComponent("ZRXUnInst.exe", "ZRXUnInst.exe");

    const Bytes scene = Pattern(20000, 1);
    const Bytes effects = Pattern(30000, 2);
    f.Number("ChannelCount", 1, "CHANNELINFO")
        .Text("ChannelItemNameID0", "\\channels\\scene.chn", "CHANNELINFO")
        .Raw("\\channels\\scene.chn", Vbrf(scene));
    f.Number("ChannelDLLCount", 1, "CHANNELINFO")
        .Text("ChannelDLLItemNameID0", "\\plugins\\effects.bin", "CHANNELINFO")
        .Raw("\\plugins\\effects.bin", Vbrf(effects));
    package.files.emplace_back("\\channels\\scene.chn", scene);
    package.files.emplace_back("\\plugins\\effects.bin", effects);

    std::vector<std::pair<std::string, Bytes>> projectFiles = options.projectFiles;
    if (projectFiles.empty()) {
        projectFiles = {{"\\media\\scene.dat", Pattern(50000, 3)}, {"\\media\\textures\\wood.bin", Pattern(70000, 4)}};
    }
    f.Number("FileCount", static_cast<int32_t>(projectFiles.size()), "FILEINFO");
    for (size_t i = 0; i < projectFiles.size(); ++i) f.Text("ItemNameID" + std::to_string(i), projectFiles[i].first, "FILEINFO");
    for (const auto& file : projectFiles) {
        f.Raw(file.first, file.second);
        package.files.push_back(file);
    }
    return package;
}

InstallPackage MakeComponentInstallPackage(const std::string& binFolder, const ComponentInstallOptions& options) {
    InstallPackage package;
    PackageFixture& f = package.fixture;
    const bool screensaver = options.projectType == 5;
    f.Number("ProjectType", options.projectType);
    if (options.withCheckDx8) f.Flag("CheckDx8", options.checkDx8);
    if (screensaver) {
        if (options.withRunAfterInstall) f.Flag("RunAfterInstall", true);
        if (options.withInstallPath) f.Text("InstallPath", options.installPath);
    } else if (options.withStartupDirectory) {
        f.Text("StartupDirectory", options.startupDirectory);
    }
    if (options.withProjectName) f.Text("ProjectName", options.projectName);
    if (screensaver) {
        if (options.withDoQuitCgr) f.Raw("DoQuitCgr", Bytes{options.doQuitCgr});
        if (options.withDoSmallPreview) f.Raw("DoSmallPreview", Bytes{options.doSmallPreview});
    } else if (options.withWinampVersion) {
        f.Raw("WinampVersion", Bytes{options.winampVersion});
    }

    auto zlibComponent = [&](const std::string& name, const std::string& own) {
        if (std::find(options.leftOut.begin(), options.leftOut.end(), name) != options.leftOut.end()) return;
        const auto substitute = options.substitutes.find(name);
        const std::string& source = substitute != options.substitutes.end() ? substitute->second : own;
        const Bytes plain = FileBytesOrDie(binFolder + "\\" + source);
        f.Raw(name, ZlibStored(plain));
        package.files.emplace_back(name, plain);
    };
    for (const char* name : kEngineFiles) zlibComponent(name, name);
    const Bytes start = MakeStartFile(options.projectName + " on screen", 0, 0, "");
    f.Raw("ZRXStart.zrx", start);
    package.files.emplace_back("ZRXStart.zrx", start);
    zlibComponent("ZRXUnInst.exe", "ZRXUnInst.exe");
    if (screensaver) {
        zlibComponent("ZRXSvr.scr", "ZRXSvr.scr");
    } else {
        zlibComponent("WinAmp.dll", "WinAmp.dll");
    }

    const Bytes scene = Pattern(20000, 5);
    f.Number("ChannelCount", 1, "CHANNELINFO")
        .Text("ChannelItemNameID0", "\\channels\\scene.chn", "CHANNELINFO")
        .Raw("\\channels\\scene.chn", Vbrf(scene));
    f.Number("ChannelDLLCount", 0, "CHANNELINFO");
    package.files.emplace_back("\\channels\\scene.chn", scene);
    const Bytes sceneData = Pattern(40000, 6);
    f.Number("FileCount", 1, "FILEINFO")
        .Text("ItemNameID0", "\\media\\scene.dat", "FILEINFO")
        .Raw("\\media\\scene.dat", sceneData);
    package.files.emplace_back("\\media\\scene.dat", sceneData);
    return package;
}

const RequiredKey<InstallOptions> kProjectKeys[5] = {
    {"CheckDx8", &InstallOptions::withCheckDx8},       {"RunAfterInstall", &InstallOptions::withRunAfterInstall},
    {"InstallPath", &InstallOptions::withInstallPath}, {"ShortCutName", &InstallOptions::withShortCutName},
    {"ProjectName", &InstallOptions::withProjectName},
};

const RequiredKey<ComponentInstallOptions> kScreensaverKeys[4] = {
    {"CheckDx8", &ComponentInstallOptions::withCheckDx8},
    {"RunAfterInstall", &ComponentInstallOptions::withRunAfterInstall},
    {"InstallPath", &ComponentInstallOptions::withInstallPath},
    {"ProjectName", &ComponentInstallOptions::withProjectName},
};

}  // namespace testkit
