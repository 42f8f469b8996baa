#include "testkit/InstallPackage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "components/chunk/VbrfCodec.h"
#include "package/PackageFormat.h"
#include "package/PackageSchema.h"
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
    f.Number(kProjectTypeKey, static_cast<int32_t>(ProjectType::kInstall));
    if (options.withCheckDx8) f.Flag(kCheckDx8Key, options.checkDx8);
    if (options.withRunAfterInstall) f.Flag(kRunAfterInstallKey, options.runAfterInstall);
    if (options.withInstallPath) f.Text(kInstallPathKey, options.installPath);
    if (options.withShortCutName) f.Text(kShortCutNameKey, options.shortCutName);
    if (options.withProjectName) f.Text(kProjectNameKey, options.projectName);

    auto zlibComponent = [&](const std::string& name, const std::string& own) {
        const auto substitute = options.substitutes.find(name);
        const Bytes plain =
            FileBytesOrDie(binFolder + "\\" + (substitute != options.substitutes.end() ? substitute->second : own));
        f.Raw(name, ZlibStored(plain));
        package.files.emplace_back(name, plain);
    };
    zlibComponent(kViewerFile, kViewerFile);
    for (const char* name : kEngineFiles) zlibComponent(name, name);
    const Bytes start = MakeStartFile(options.projectName, 0, 0, options.note);
    f.Raw(kStartFile, start);
    package.files.emplace_back(kStartFile, start);
    zlibComponent(kUninstallerFile, kUninstallerFile);

    const Bytes scene = Pattern(20000, 1);
    const Bytes effects = Pattern(30000, 2);
    f.Number(kChannelCountKey, 1, kChannelSection)
        .Text(std::string(kChannelItemPrefix) + "0", "\\channels\\scene.chn", kChannelSection)
        .Raw("\\channels\\scene.chn", Vbrf(scene));
    f.Number(kChannelLibraryCountKey, 1, kChannelSection)
        .Text(std::string(kChannelLibraryItemPrefix) + "0", "\\plugins\\effects.bin", kChannelSection)
        .Raw("\\plugins\\effects.bin", Vbrf(effects));
    package.files.emplace_back("\\channels\\scene.chn", scene);
    package.files.emplace_back("\\plugins\\effects.bin", effects);

    std::vector<std::pair<std::string, Bytes>> projectFiles = options.projectFiles;
    if (projectFiles.empty()) {
        projectFiles = {{"\\media\\scene.dat", Pattern(50000, 3)}, {"\\media\\textures\\wood.bin", Pattern(70000, 4)}};
    }
    f.Number(kFileCountKey, static_cast<int32_t>(projectFiles.size()), kFileSection);
    for (size_t i = 0; i < projectFiles.size(); ++i)
        f.Text(kFileItemPrefix + std::to_string(i), projectFiles[i].first, kFileSection);
    for (const auto& file : projectFiles) {
        f.Raw(file.first, file.second);
        package.files.push_back(file);
    }
    return package;
}

InstallPackage MakeComponentInstallPackage(const std::string& binFolder, const ComponentInstallOptions& options) {
    InstallPackage package;
    PackageFixture& f = package.fixture;
    const bool screensaver = options.projectType == static_cast<int32_t>(ProjectType::kScreensaver);
    f.Number(kProjectTypeKey, options.projectType);
    if (options.withCheckDx8) f.Flag(kCheckDx8Key, options.checkDx8);
    if (screensaver) {
        if (options.withRunAfterInstall) f.Flag(kRunAfterInstallKey, true);
        if (options.withInstallPath) f.Text(kInstallPathKey, options.installPath);
    } else if (options.withStartupDirectory) {
        f.Text(kStartupDirectoryKey, options.startupDirectory);
    }
    if (options.withProjectName) f.Text(kProjectNameKey, options.projectName);
    if (screensaver) {
        if (options.withDoQuitCgr) f.Raw(kDoQuitCgrKey, Bytes{options.doQuitCgr});
        if (options.withDoSmallPreview) f.Raw(kDoSmallPreviewKey, Bytes{options.doSmallPreview});
    } else if (options.withWinampVersion) {
        f.Raw(kWinampVersionKey, Bytes{options.winampVersion});
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
    f.Raw(kStartFile, start);
    package.files.emplace_back(kStartFile, start);
    zlibComponent(kUninstallerFile, kUninstallerFile);
    if (screensaver) {
        zlibComponent(kScreensaverFile, kScreensaverFile);
    } else {
        zlibComponent(kWinampPluginFile, kWinampPluginFile);
    }

    const Bytes scene = Pattern(20000, 5);
    f.Number(kChannelCountKey, 1, kChannelSection)
        .Text(std::string(kChannelItemPrefix) + "0", "\\channels\\scene.chn", kChannelSection)
        .Raw("\\channels\\scene.chn", Vbrf(scene));
    f.Number(kChannelLibraryCountKey, 0, kChannelSection);
    package.files.emplace_back("\\channels\\scene.chn", scene);
    const Bytes sceneData = Pattern(40000, 6);
    f.Number(kFileCountKey, 1, kFileSection)
        .Text(std::string(kFileItemPrefix) + "0", "\\media\\scene.dat", kFileSection)
        .Raw("\\media\\scene.dat", sceneData);
    package.files.emplace_back("\\media\\scene.dat", sceneData);
    return package;
}

const RequiredKey<InstallOptions> kProjectKeys[5] = {
    {kCheckDx8Key, &InstallOptions::withCheckDx8},       {kRunAfterInstallKey, &InstallOptions::withRunAfterInstall},
    {kInstallPathKey, &InstallOptions::withInstallPath}, {kShortCutNameKey, &InstallOptions::withShortCutName},
    {kProjectNameKey, &InstallOptions::withProjectName},
};

const RequiredKey<ComponentInstallOptions> kScreensaverKeys[4] = {
    {kCheckDx8Key, &ComponentInstallOptions::withCheckDx8},
    {kRunAfterInstallKey, &ComponentInstallOptions::withRunAfterInstall},
    {kInstallPathKey, &ComponentInstallOptions::withInstallPath},
    {kProjectNameKey, &ComponentInstallOptions::withProjectName},
};

}  // namespace testkit
