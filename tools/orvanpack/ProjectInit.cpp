#include "tools/orvanpack/ProjectInit.h"

#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "package/PackageSchema.h"
#include "tools/orvanpack/Manifest.h"

namespace fs = std::filesystem;

namespace {

// A components folder holds the viewer; where orvanpack itself lies in one, take that.
bool HoldsComponents(const fs::path& folder) {
    std::error_code ec;
    return !folder.empty() && fs::is_regular_file(folder / kViewerFile, ec) &&
           fs::is_regular_file(folder / kEngineFiles[0], ec);
}

}  // namespace

fs::path ProgramFolder(const std::string& argv0) {
    std::error_code ec;
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return fs::path(path).parent_path();
#else
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return self.parent_path();
#endif
    const fs::path given = fs::absolute(argv0, ec);
    return ec ? fs::path() : given.parent_path();
}

namespace {

// The components folder the manifest names: the program's own folder, or the Windows build's
// bin folder beside a native build, relative to the manifest's folder where it can be; empty
// when neither holds them.
std::string FindComponents(const fs::path& programFolder, const fs::path& manifestFolder) {
    std::error_code ec;
    for (const fs::path& candidate : {programFolder, programFolder / ".." / ".." / ".." / "win32" / "bin"}) {
        if (!HoldsComponents(candidate)) continue;
        const fs::path relative = fs::relative(candidate, manifestFolder, ec);
        return (ec || relative.empty() ? fs::absolute(candidate, ec).lexically_normal() : relative).generic_u8string();
    }
    return "";
}

// The manifest of a "run" project named name, with every other key shown commented out.
void WriteManifest(std::ostream& stream, const std::string& name, const std::string& components) {
    stream << "# orvanpack build --manifest " << name << ".toml -o \"" << name << ".exe\"\n"
           << "# packs every file below the folder \"" << name << "\" with the program's components.\n"
           << "# orvanpack build --print-entries --manifest " << name << ".toml shows what gets stored.\n\n"
           << "[project]\n"
           << "# run: extract to a temporary folder, show, remove again. install: a program with Start-menu\n"
           << "# links and an uninstaller. screensaver, winamp: a screen saver or a Winamp plug-in.\n"
           << "type = \"run\"\n"
           << "name = " << TomlString(name) << "\n"
           << "# Every file below this folder is packed; its ZRXStart.zrx is the file the viewer starts with.\n"
           << "files = " << TomlString(name) << "\n";
    if (components.empty()) {
        stream << "# The folder holding OrvanViewer.exe, EngineCore.dll, channels\\, 3rd\\, ZRXUnInst.exe, ZRXSvr.scr,\n"
               << "# WinAmp.dll and Orvan3DExe.exe (the Windows build's bin folder). None was found: fill it in.\n"
               << "components = \"PATH/TO/COMPONENTS\"\n";
    } else {
        stream << "# OrvanViewer.exe, EngineCore.dll, channels\\, 3rd\\, the uninstaller and the stub come from here.\n"
               << "components = " << TomlString(components) << "\n";
    }
    stream << "# Ask for DirectX 9.0c before the project runs.\n"
           << "check-directx = false\n"
           << "# What the list of installed programs and package managers show:\n"
           << "# version = \"1.0\"\n"
           << "# publisher = \"Your Name\"\n"
           << "# url = \"https://example.com\"\n"
           << "# Files stored in the engine's form, relative to the project folder:\n"
           << "# channels = [\"channels/scene.chn\"]\n"
           << "# channel-libraries = [\"channels/effects.chn\"]\n\n"
           << "# type = \"install\" only:\n"
           << "# install-path = 'C:\\Program Files\\" << name << "'\n"
           << "# shortcut = '\\" << name << "\\" << name << "'\n"
           << "# run-after-install = false\n"
           << "# scope = \"user\"   # for the user alone, without administrator rights\n"
           << "# type = \"screensaver\": install-path, run-after-install and\n"
           << "# quit-on-mouse = true\n"
           << "# small-preview = true\n"
           << "# type = \"winamp\":\n"
           << "# startup-directory = 'C:\\Program Files\\" << name << "'\n"
           << "# winamp-version = true\n";
}

}  // namespace

ExitStatus InitProject(const std::string& folder, const fs::path& programFolder, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    fs::path project = fs::absolute(fs::path(folder), ec).lexically_normal();
    if (!ec && project.filename().empty()) project = project.parent_path();
    if (ec || !fs::is_directory(project, ec) || project.filename().empty()) {
        err << "init: " << folder << " is not a project folder\n";
        return ExitStatus::kUsage;
    }
    const std::string name = project.filename().u8string();
    const fs::path manifestFolder = project.parent_path();
    const fs::path manifest = manifestFolder / (name + ".toml");
    // Not followed: a link, dangling or not, is a name taken, and writing through it would
    // create or overwrite whatever it points at.
    if (fs::symlink_status(manifest, ec).type() != fs::file_type::not_found) {
        err << "init: " << manifest.string() << " exists already; not overwritten\n";
        return ExitStatus::kUsage;
    }
    std::ofstream stream(manifest, std::ios::binary);
    WriteManifest(stream, name, FindComponents(programFolder, manifestFolder));
    stream.close();
    if (!stream) {
        err << "init: cannot write " << manifest.string() << '\n';
        fs::remove(manifest, ec);
        return ExitStatus::kFault;
    }
    out << "wrote " << manifest.string() << '\n';
    return ExitStatus::kOk;
}
