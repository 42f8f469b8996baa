// orvanpack: builds a packed Orvan3D project executable from a stub and a manifest, and
// lists, verifies and extracts the package inside one.
//
//   orvanpack build [--stub Orvan3DExe.exe] [--execution-level LEVEL] [--quiet] [--store]
//                   [--compression lzma|zlib|store] --manifest project.toml -o Project.exe
//   orvanpack build --print-entries --manifest project.toml     # the long form of a [project]
//   orvanpack init [DIR]                                         # a starter manifest for DIR
//   orvanpack list [--json] Project.exe
//   orvanpack verify Project.exe
//   orvanpack extract Project.exe DIR
//   orvanpack manifest --winget DIR --installer-url URL [--identifier ID] [--license TEXT]
//                      [--description TEXT] Project.exe   # a package manager's manifest
//
// Exit status: 0 OK, 1 an I/O fault or a package that fails its checks, 2 a bad command
// line or manifest.
//
// The short form names a project folder and the components folder; orvanpack lists the rest
// (see README.md, "Packing your own project"):
//
//   [project]
//   type = "install"            # run, install, screensaver, winamp
//   name = "My Project"
//   files = "project"           # every file below it; its ZRXStart.zrx is the start file
//   components = "../build/win32/bin"
//
// The long form (TOML) lists the entries in the order they are stored:
//
//   [stub]                          # optional; --stub overrides it
//   file = "../build/Orvan3DExe.exe"
//
//   [[entry]]
//   section = "APPDATA"             # optional, default APPDATA
//   name = "ProjectType"
//   number = 1                      # 4-byte little-endian signed
//   [[entry]]
//   name = "CheckDx8"
//   flag = false                    # 1 byte, 0 or 1
//   [[entry]]
//   name = "ProjectName"
//   text = "Demo"                   # stored with its zero byte
//   [[entry]]
//   name = "EngineCore.dll"
//   file = "bin/EngineCore.dll"     # relative to the manifest's folder
//   store = "zlib"                  # file entries only: "plain" (default, bytes as they are),
//                                   # "zlib" (zlib stream, then the 4-byte LE plain size),
//                                   # "vbrf" (the engine's chunk form, decoded by its loader) or
//                                   # "auto" (a project file: "zlib" and a FILEZLIB marker when
//                                   # that saves 3%, else "plain"; --store: always "plain") or
//                                   # "lzma" (a project file: in the solid LZMA blocks when that
//                                   # pays, else "plain")
//
// Each entry has a name and exactly one of number, flag, text, file. Sections and names are
// stored upper-case, hold at most 259 bytes, and no two (section, name) pairs may be equal
// without regard to case. Any other key is an error; every error names the manifest and line.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>

#include <unistd.h>

#include "tools/orvanpack/ExitStatus.h"
#include "tools/orvanpack/PackageCommands.h"
#include "tools/orvanpack/Packer.h"
#include "tools/orvanpack/ProjectInit.h"
#include "tools/orvanpack/WingetManifest.h"

namespace {

// What the build command is given.
struct BuildArguments {
    BuildRequest request;
    bool printEntries = false;
    bool quiet = false;
    std::string executionLevel;
};

CLI::App* AddBuildCommand(CLI::App& app, BuildArguments& build) {
    CLI::App* command = app.add_subcommand("build", "Append the package a manifest describes to a stub");
    command->add_option("--stub", build.request.stubPath, "The program to pack onto (default: the manifest's [stub])");
    command->add_option("--manifest", build.request.manifestPath, "The manifest (TOML)")->required();
    CLI::Option* outputOption =
        command->add_option("-o,--output", build.request.outputPath, "The packed executable to write");
    command->add_flag("--print-entries", build.printEntries,
                      "Print the manifest's entries as a long-form manifest instead of building")
        ->excludes(outputOption);
    command->add_flag("--store", build.request.storeOnly, "Store every project file as it is, none compressed");
    command
        ->add_option("--compression", build.request.compression,
                     "lzma (solid blocks), zlib (file by file) or store, for the project files (default: the "
                     "manifest's compression, else lzma)")
        ->check(CLI::IsMember({"lzma", "zlib", "store"}));
    command->add_flag("-q,--quiet", build.quiet, "No progress line and no summary");
    command
        ->add_option("--execution-level", build.executionLevel,
                     "asInvoker or requireAdministrator (default: what ProjectType needs, from the stub's variants)")
        ->check(CLI::IsMember({"asInvoker", "requireAdministrator"}));
    return command;
}

ExitStatus RunBuild(BuildArguments& build) {
    if (build.printEntries) return PrintManifestEntries(build.request.manifestPath, std::cout, std::cerr);
    if (build.request.outputPath.empty()) {
        std::cerr << "build: give -o OUTPUT (or --print-entries)\n";
        return ExitStatus::kUsage;
    }
    build.request.summary = !build.quiet;
    build.request.progress = !build.quiet && isatty(fileno(stderr)) != 0;
    return BuildPackedFile(build.request, build.executionLevel, std::cerr);
}

CLI::App* AddManifestCommand(CLI::App& app, WingetRequest& winget) {
    CLI::App* command = app.add_subcommand("manifest", "Write a package manager's manifest for a packed project install");
    command->add_option("--winget", winget.folder, "The folder to write the winget manifest files into")->required();
    command->add_option("--installer-url", winget.installerUrl, "Where the packed file will be downloaded from")
        ->required();
    command->add_option("--identifier", winget.identifier, "The package identifier (default: Publisher.Name)");
    command->add_option("--license", winget.license, "The license the manifest names (default: Proprietary)");
    command->add_option("--description", winget.description, "A short description (default: name and version)");
    command->add_option("file", winget.packedPath, "The packed project install")->required();
    return command;
}

int Run(int argc, char** argv) {
    CLI::App app{"Builds and inspects packed Orvan3D project executables."};
    app.require_subcommand(1);

    BuildArguments build;
    CLI::App* buildCommand = AddBuildCommand(app, build);
    std::string packed;
    std::string folder;
    CLI::App* listCommand = app.add_subcommand("list", "Print the package table");
    listCommand->add_option("file", packed, "A packed executable")->required();
    bool json = false;
    listCommand->add_flag("--json", json, "Print the table as one JSON object");
    std::string projectFolder = ".";
    CLI::App* initCommand =
        app.add_subcommand("init", "Write a starter manifest DIR.toml beside the project folder DIR");
    initCommand->add_option("dir", projectFolder, "The project folder (default: the current folder)");
    CLI::App* verifyCommand = app.add_subcommand("verify", "Check every entry's length and CRC");
    verifyCommand->add_option("file", packed, "A packed executable")->required();
    WingetRequest winget;
    CLI::App* manifestCommand = AddManifestCommand(app, winget);
    CLI::App* extractCommand = app.add_subcommand("extract", "Write every entry to DIR/SECTION/NAME");
    extractCommand->add_option("file", packed, "A packed executable")->required();
    extractCommand->add_option("dir", folder, "The folder to extract into")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : ToExitCode(ExitStatus::kUsage);
    }

    ExitStatus status = ExitStatus::kUsage;
    if (buildCommand->parsed()) {
        status = RunBuild(build);
    } else if (initCommand->parsed()) {
        status = InitProject(projectFolder, ProgramFolder(argc > 0 ? argv[0] : ""), std::cout, std::cerr);
    } else if (listCommand->parsed()) {
        status = ListPackage(packed, std::cout, std::cerr, json);
    } else if (verifyCommand->parsed()) {
        status = VerifyPackage(packed, std::cout, std::cerr);
    } else if (manifestCommand->parsed()) {
        status = WriteWingetManifest(winget, std::cout, std::cerr);
    } else if (extractCommand->parsed()) {
        status = ExtractPackage(packed, folder, std::cout, std::cerr);
    }
    return ToExitCode(status);
}

}  // namespace

// A file system or memory failure a command does not report itself ends with its reason and the
// fault status, not with the run time's abort.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanpack: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "orvanpack: an unexpected failure\n");
    }
    return ToExitCode(ExitStatus::kFault);
}
