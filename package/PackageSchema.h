#pragma once
#include <cstdint>

// What the program, its components, the packer and the test fixtures agree on beyond the
// package's bytes: the names of the package's entries and sections, the project types and the
// engine's files. Header only and free of the system's headers, so that every side compiles
// the same spelling; a key misspelt anywhere is an unknown name, not a value never found.

// The project type (APPDATA "ProjectType", 32-bit LE): which delivery mode the program runs.
// Keep the numbers: packages in the field carry them.
enum class ProjectType : int32_t { kRun = 1, kInstall = 2, kScreensaver = 5, kWinamp = 6 };

// APPDATA values. Flags are one byte, nonzero for yes; texts are stored with their zero byte.
inline constexpr char kProjectTypeKey[] = "ProjectType";
inline constexpr char kProjectNameKey[] = "ProjectName";
inline constexpr char kCheckDx8Key[] = "CheckDx8";
inline constexpr char kRunAfterInstallKey[] = "RunAfterInstall";
inline constexpr char kInstallPathKey[] = "InstallPath";
inline constexpr char kShortCutNameKey[] = "ShortCutName";
inline constexpr char kDoQuitCgrKey[] = "DoQuitCgr";
inline constexpr char kDoSmallPreviewKey[] = "DoSmallPreview";
inline constexpr char kStartupDirectoryKey[] = "StartupDirectory";
inline constexpr char kWinampVersionKey[] = "WinampVersion";
// Optional texts that describe a project to the system and to package managers; absent in a
// package built without them, which then installs exactly as before.
inline constexpr char kProjectVersionKey[] = "ProjectVersion";      // "1.4.2"
inline constexpr char kProjectPublisherKey[] = "ProjectPublisher";  // who made the project
inline constexpr char kProjectUrlKey[] = "ProjectUrl";              // http:// or https://
// A 1-byte flag, nonzero: a project install for the user who runs it, without elevation.
inline constexpr char kPerUserInstallKey[] = "PerUserInstall";

// The item lists: a count (32-bit LE) and the items' names under the prefix followed by their
// index from 0 ("ItemNameID0"), each name an APPDATA entry of its own.
inline constexpr char kChannelSection[] = "CHANNELINFO";
inline constexpr char kChannelCountKey[] = "ChannelCount";
inline constexpr char kChannelItemPrefix[] = "ChannelItemNameID";
inline constexpr char kChannelLibraryCountKey[] = "ChannelDLLCount";
inline constexpr char kChannelLibraryItemPrefix[] = "ChannelDLLItemNameID";
inline constexpr char kFileSection[] = "FILEINFO";
inline constexpr char kFileCountKey[] = "FileCount";
inline constexpr char kFileItemPrefix[] = "ItemNameID";

// The components a package carries, under these entry names, each zlib-compressed with a
// size trailer, and written under the same names into the installation folder.
inline constexpr char kViewerFile[] = "OrvanViewer.exe";
inline constexpr char kUninstallerFile[] = "ZRXUnInst.exe";
inline constexpr char kScreensaverFile[] = "ZRXSvr.scr";
inline constexpr char kWinampPluginFile[] = "WinAmp.dll";
// The project's start file, stored as it is; the viewer opens it.
inline constexpr char kStartFile[] = "ZRXStart.zrx";

// The engine's libraries every mode extracts before it can load the engine, in extraction
// order; each is stored zlib-compressed in the package. The project's start file follows them.
inline constexpr const char* kEngineFiles[] = {
    "EngineCore.dll",
    "channels\\ChunkSaver.dll",
    "channels\\FolderScan.dll",
    "channels\\ChunkLoader.dll",
    "channels\\3A5C2E10-6B7D-4E21-9F0A-1C2D3E4F5A61.dll",
    "channels\\7B1D4F22-8C3E-4A52-B06F-2D3E4F5A6B72.dll",
    "channels\\9C2E5A33-0D4F-4B63-A17E-3E4F5A6B7C83.dll",
    "channels\\1D3F6B44-2E5A-4C74-B28D-4F5A6B7C8D94.dll",
    "channels\\4E4A7C55-3F6B-4D85-A39C-5A6B7C8D9EA5.dll",
    "3rd\\msvcr71.dll",
};
