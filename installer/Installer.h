#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

#include "engine/EngineInterface.h"
#include "engine/EngineObject.h"
#include "installer/ExtractResult.h"
#include "installer/InstallTransaction.h"
#include "installer/UserMessages.h"
#include "package/DeploymentValues.h"
#include "package/PackageReader.h"
#include "package/PointerList.h"
#include "win/EngineSession.h"
#include "win/FolderAccess.h"
#include "win/Handle.h"
#include "win/HeapBuffer.h"
#include "win/LogFile.h"

class OptionsDialog;
class ProgressWindow;

// The worker behind every delivery mode, one per mode call: it reads the package (its reader
// open until Cleanup), writes its entries below installFolder, hosts the engine, and records
// every file and folder it creates. Each mode's own steps live in its file and reach the rest
// through the services here: extraction, progress, messages, recording.
class Installer : protected win::EngineSession {
public:
    // installFolder holds at most this many characters.
    static constexpr size_t kFolderCapacity = 400;
    // Configuration texts are read with this capacity into buffers one byte larger.
    static constexpr int32_t kTextCapacity = 259;
    // installFolder, a backslash and one of our own file names (shorter than kOwnNameCapacity).
    static constexpr size_t kOwnNameCapacity = 32;
    using OwnPath = char[kFolderCapacity + kOwnNameCapacity];

    Installer(PackageHost& host, UserMessages& messages);
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;
    // Closes the progress window and the reader, frees the recorded paths, and releases an
    // engine a failing mode left loaded as ReleaseEngine does (see the members' order).
    virtual ~Installer();

    virtual void Init(HINSTANCE instance, HWND hostWindow);
    // Makes and enters a new run folder below the temporary folder; false after its box.
    virtual bool MakeTempDirectory();
    // Reads an entry (section null: "APPDATA"). With buffer null the whole entry is loaded and
    // entryData/entrySize point at it, whatever the result.
    virtual bool GetPackageEntry(const char* key, void* buffer, int32_t capacity, const char* section);
    // False, after its box, when value would climb out; fullPath allows a leading drive.
    bool StaysInPlace(const char* value, bool fullPath);
    // "<name>\n\n<reason>" / "Installation Error" with the error icon; false.
    bool RefuseItem(const char* name, const char* reason);
    // True, after its box, when folder (a full path) is the root of a drive or network share.
    bool RefuseDriveRoot(const char* folder, const char* projectName);
    // "<name>\n\n<reason>" / caption with style; the button pressed.
    int ShowItem(const char* name, const char* reason, const char* caption, UINT style);
    // A value the mode cannot go without: missing, "Can't find project type <key>" / "Error".
    bool GetRequiredEntry(const char* key, void* buffer, int32_t capacity);
    // Runs the project from a temporary folder and removes it; false, taken back, on a failure.
    virtual bool RunInPlace();
    // The fixed engine file list; false at the first failure, after the copy error.
    virtual bool ExtractEngineFiles();
    // Writes entry name whole to installFolder\name (decoded: by fileLoader, else zlib),
    // recording it and the folders made on the way, or leaves what was there. Failed() tells
    // an entry that did not arrive from a missing or empty one.
    virtual ExtractResult ExtractFile(const char* name, bool decode);
    // Loads installFolder\enginecore.dll; false, without a box, at the first failing step.
    virtual bool LoadEngine();
    // The lists of CHANNELINFO (decoded) and of FILEINFO (stored); missing items are skipped,
    // a missing count or an item that did not arrive is false after its box.
    virtual bool ExtractChannels();
    virtual bool ExtractProjectFiles();
    // Starts the installed viewer on the project; with wait, returns when it has ended.
    virtual void StartViewer(bool wait);
    // Removes the cache, every recorded file and folder and installFolder, never through a
    // link; whether installFolder itself was removed.
    virtual bool Cleanup();
    virtual bool IsDirectXReady();
    virtual bool IsDirectX9cInstalled();

    // Installs into a folder the user confirms (ProjectType 2); false, after its box, taken
    // back whole, when a step fails or the user declines.
    virtual bool InstallProject();
    // InstallProject into folder (empty: InstallPath) with no dialog, progress or viewer;
    // false, taken back, once failureReported (a box was shown) is set after the files.
    bool InstallProjectSilently(const char* folder, const bool& failureReported);
    // A shell link at linkPath to target; the COM result, or kLinkPathTooLong, nothing made.
    static constexpr HRESULT kLinkPathTooLong = static_cast<HRESULT>(0x800700CEu);  // ERROR_FILENAME_EXCED_RANGE
    virtual HRESULT CreateShortcut(const char* target, const char* linkPath, const char* description,
                                   const char* arguments);
    // "uninstall.nfo" through saver (the caller's), the previous installation's taken over;
    // true only when it was written whole and put in place.
    [[nodiscard]] bool WriteUninstallRecord(FileSaverChannel* saver, const char* projectName, bool withMarker);
    // The viewer entry and the Windows uninstall entry; false after the box of a missing name
    // or a value not written. Each value notes what it replaced, for Rollback.
    virtual bool RegisterViewer();
    virtual bool RegisterUninstall();
    // Installs as a screen saver (ProjectType 5), results as InstallProject.
    virtual bool InstallScreensaver();
    // "ZRXSvr.scr" from the package to <system directory>\<ProjectName>.scr; false after its box.
    virtual bool CopyScreensaverToSystem();
    // Installs as a Winamp plug-in (ProjectType 6), results as InstallProject.
    virtual bool InstallWinampPlugin();
    // Deletes what below folder has "cache" in its path, through the engine; never a link.
    virtual void DeleteCacheTree(const char* folder);
    // installFolder\channels and \3rd in front of PATH unless there already.
    virtual void AddEngineFoldersToPath();

    // One chunk through saver: BeginChunk(tag), WriteChunkSize(size), Write(data, size).
    static void WriteChunk(FileSaverChannel* saver, const char* tag, const void* data, uint32_t size);
    // Where an install writes and looks: the system's, or a test's (kept open meanwhile).
    struct Places {
        HKEY registryRoot = HKEY_LOCAL_MACHINE;      // the entries of an install for all users
        HKEY userRegistryRoot = HKEY_CURRENT_USER;   // those of a per-user install
        const char* systemFolder = nullptr;          // the screen saver's folder (null, "": the system's)
        HKEY winampClassesRoot = HKEY_CLASSES_ROOT;  // where the Winamp folder is looked up
        HKEY winampUserRoot = HKEY_CURRENT_USER;
        win::FolderSystem* folders = &win::SystemFolderSystem();  // every folder creation's calls
    };
    void SetPlaces(const Places& given) { places = given; }
    void SetPerUser(bool forUser) { perUser = forUser; }  // entries and links of this user only
    // File loader, control object, then library; safe with none or part of the engine.
    void ReleaseEngine();
    bool CreateFileLoader();  // fileLoader from the channel factory; false after its box
    // The log every change is noted in (kept open by the caller); none: nothing is noted.
    void SetLog(const win::LogFile* file) { log = file; }
    // Why the last mode failed: kFailed unless a step noted a cause (the first one stands).
    SetupExit FailureCause() const { return failureCause; }
    void NoteFailure(SetupExit cause);
    // Before the first write: the previous installation read (projectName given), its files
    // in use, path lengths and free space; false after the box of the first that fails.
    bool CheckBeforeWriting(const char* projectName);
    // The run kept: what it set aside goes, and the previous installation's emptied folders.
    void Commit();
    // The run taken back, the engine released first; nothing after a Commit.
    void Rollback();
    // installFolder set to folder's one full, normal form; false when it has none that fits.
    [[nodiscard]] bool SetInstallFolder(const char* folder);
    // An elevated install's folder made the administrators', or refused (kOthersCanWriteText)
    // when other users can change it.
    [[nodiscard]] bool ClaimInstallFolder();
    static const char kOthersCanWriteText[];
    const char* InstallFolder() const { return installFolder; }
    const PointerList& CreatedFiles() const { return createdFiles; }
    const PointerList& CreatedFolders() const { return createdFolders; }

protected:
    UserMessages& messages;
    HINSTANCE instance = nullptr;
    char installFolder[kFolderCapacity] = {};
    const unsigned char* entryData = nullptr;
    uint32_t entrySize = 0;
    // Ends before the base's engineLibrary, engineControl and channelFactory.
    EngineObject<FileLoaderChannel> fileLoader;
    HWND hostWindow = nullptr;
    PointerList createdFiles;
    PointerList createdFolders;
    // Everything this run changes goes through it.
    InstallTransaction transaction{createdFiles, createdFolders, installFolder, &Installer::RecordFile, this};
    // What a previous installation listed; a path not to be listed again is null.
    PointerList previousFiles;
    PointerList previousFolders;
    std::unique_ptr<ProgressWindow> progress;
    std::unique_ptr<PackageReader> reader;
    Places places;
    bool perUser = false;
    SetupExit failureCause = SetupExit::kFailed;
    const win::LogFile* log = nullptr;

private:
    // Each mode's own steps (and the registry entry being written), defined in its file.
    class ProjectSteps;
    class ScreensaverSteps;
    class WinampSteps;
    class PreviousSteps;
    class ExtractSteps;
    class ComponentSteps;
    class EntryKey;

    // Recording: installFolder\name into path; a literal name is held to kOwnNameCapacity.
    template <size_t N>
    const char* InFolder(OwnPath& path, const char (&name)[N]) const {
        static_assert(N <= kOwnNameCapacity, "the name must fit behind any installation folder");
        return OwnFileInFolder(path, name);
    }
    const char* OwnFileInFolder(OwnPath& path, const char* name) const;
    // Every file, link and folder an install makes passes here: the log's one place for them.
    [[nodiscard]] bool Record(PointerList& list, const char* path);
    static bool RecordFile(void* owner, const char* path);  // Record for the transaction's files
    static void FreeRecorded(PointerList& list) { InstallTransaction::FreeAll(list); }
    void TakeOverPrevious();
    void FreePrevious();
    void Log(const char* format, ...) const __attribute__((format(ms_printf, 2, 3)));
    HKEY EntriesRoot() const { return perUser ? places.userRegistryRoot : places.registryRoot; }
    bool Concluded(bool succeeded);  // every install mode's end: a failed run taken back

    // Messages and progress: the folder chosen in the options dialog, then the progress shown.
    bool ChooseFolderWithProgress(const char* projectName, const char* proposedFolder, bool noClimbing);
    bool ShowOptionsDialog(OptionsDialog& dialog, const char* projectName, const char* proposedFolder, bool noClimbing);
    bool AcceptFolder();
    void SetProgress(float value);  // nothing without a progress window (a silent install)
    void CloseProgress();           // the bar at 0.95, then the window closed
    void ShowCopyError();           // the box of an install that stops because a file is not there

    // Extraction.
    static bool StaysInside(const char* name);
    [[nodiscard]] bool CreateFoldersAlong(const char* path);
    [[nodiscard]] bool CreateFoldersOf(const char* path, size_t scanLimit);
    [[nodiscard]] bool WriteDecodedTo(const char* name, const char* path, uint32_t& size);
    bool ExtractRequired(const char* name, const char* missingText = nullptr);

    win::FileHandle runLock;                  // the run folder's, held until Cleanup
    char iconFile[1024] = {};                 // what the uninstall entry's DisplayIcon names, unless the viewer
    char walkedFolder[kFolderCapacity] = {};  // the folder of the last path CreateFoldersAlong walked
    win::HeapBuffer<unsigned char> decoded;   // the last zlib decoding; entryData points into it
    SECURITY_ATTRIBUTES* newFolderSecurity = nullptr;  // of the folders ClaimInstallFolder makes
};
