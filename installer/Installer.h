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
#include "ui/ProgressWindow.h"
#include "win/EngineSession.h"
#include "win/FolderAccess.h"
#include "win/Handle.h"
#include "win/HeapBuffer.h"
#include "win/LogFile.h"
#include "win/WinampFolder.h"

class OptionsDialog;

// The worker behind every delivery mode: it reads the package, writes its entries below
// installFolder, hosts the engine, and records every file and folder it creates.
//
// One Installer lives for one mode call. Its own reader opens and indexes the package at
// construction and stays open until Cleanup or destruction.
class Installer : protected win::EngineSession {
public:
    // installFolder holds at most this many characters.
    static constexpr size_t kFolderCapacity = 400;
    // Configuration texts are read with this capacity into buffers one byte larger.
    static constexpr int32_t kTextCapacity = 259;
    // A path in installFolder to a file of our own (the viewer, the record, a configuration):
    // the folder, a backslash and a name of up to kOwnNameCapacity - 1 characters always fit.
    static constexpr size_t kOwnNameCapacity = 32;
    using OwnPath = char[kFolderCapacity + kOwnNameCapacity];

    Installer(PackageHost& host, UserMessages& messages);
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;
    // Closes the progress window and the reader and frees the recorded paths. The modes release
    // the engine on their own paths; one a failing mode left loaded is released here, fully, as
    // ReleaseEngine would: file loader, control object, then the library. Not left loaded until
    // the process ends: the members' order frees the library only after every engine object
    // made from it is gone, so no object outlives its code, and the engine's files in the
    // target folder are not held open by a process that has given up on them.
    virtual ~Installer();

    virtual void Init(HINSTANCE instance, HWND hostWindow);
    // Makes the run folder below the temporary folder: "Orvan3D" and 20 random digits, a name
    // nobody can know beforehand, created by this run (any folder already there is left alone),
    // with the run's lock file created new in it and held until Cleanup. A missing temporary
    // folder is made (and recorded). False, after "The temporary folder is too long to run this
    // project from." or "Files cannot be written to the temporary folder to run this project
    // from." with the temporary folder as caption, when no such folder can be made.
    virtual bool MakeTempDirectory();
    // Reads an entry (section null: "APPDATA"). With buffer null the whole entry is loaded and
    // entryData/entrySize point at it, whatever the result.
    virtual bool GetPackageEntry(const char* key, void* buffer, int32_t capacity, const char* section);
    // False, with "<value>\n\nThis item would be written outside the installation folder." /
    // "Installation Error", when value has a ".." step or a drive or stream colon that would
    // take what is named by it out of its folder; fullPath allows a leading drive.
    bool StaysInPlace(const char* value, bool fullPath);
    // "<name>\n\n<reason>" / "Installation Error" with the error icon; false.
    bool RefuseItem(const char* name, const char* reason);
    // True, after "Please choose a folder, not the root of a drive." / projectName, when folder
    // (a full path) is the root of a drive or of a network share once made a normal path.
    bool RefuseDriveRoot(const char* folder, const char* projectName);
    // "<name>\n\n<reason>" / caption with style; the button pressed.
    int ShowItem(const char* name, const char* reason, const char* caption, UINT style);
    // A configuration value the mode cannot go without: when it is missing (or damaged),
    // "Can't find project type <key>" / "Error".
    bool GetRequiredEntry(const char* key, void* buffer, int32_t capacity);
    // Runs the project from a temporary folder: extracts everything, runs the viewer until it
    // ends, then removes the cache and every recorded file and folder. True when every step up
    // to the release of the engine succeeded; a run that stops before takes back what it wrote
    // and removes its folder.
    virtual bool RunInPlace();
    // Writes the fixed engine file list below installFolder, stopping at the first failure
    // with "There was an error while trying to copy one of the installation files..." /
    // "Installation Error".
    virtual bool ExtractEngineFiles();
    // Writes entry `name` to installFolder\name, creating and recording the folders on the
    // way. decode: through fileLoader when it is set ("VBRF" chunk files), else as a zlib
    // stream with a 4-byte size trailer, which must end right before the trailer and give
    // exactly its size (a trailer beyond any stream's ratio is refused before allocating).
    // Failures and their boxes: a name that would leave installFolder or a path over 399
    // characters (box naming the item); entry missing: name / "Could not find resource";
    // decoding failed: "Error decompress" / "Error"; file not created: no box. The content
    // goes to a temporary name beside the target and replaces it only when whole: a failure
    // leaves a file already there as it was. An empty result is written and recorded, and
    // reported as false (kEmpty). Without decode the entry is streamed through a bounded buffer; one
    // that fails its CRC or is cut short shows "Crc error corrupt file" (stored name as
    // caption) and writes nothing. entryData/entrySize are then left as they were. An entry
    // that the package marks compressed (a FILEZLIB marker of its name) is decoded on that
    // road, the same bounded way, and written only when it gives exactly its trailer's size;
    // else "Error decompress" / "Error".
    // A damaged entry shows only the reader's CRC box, never "Could not find resource".
    // The result is false unless the entry was written; Failed() tells an entry the package
    // holds that did not arrive whole from a missing or empty one.
    virtual ExtractResult ExtractFile(const char* name, bool decode);
    // Loads installFolder\enginecore.dll and initialises it against the host window. False,
    // without a box, at the first failing step; a null channel factory counts as a failure.
    virtual bool LoadEngine();
    // The channel and channel-library lists of CHANNELINFO; items missing from the package are
    // skipped. "Can't find ChannelCount" / "Error" when a count is missing. An item that is
    // damaged or cannot be written (disk full, file locked) stops the list with the copy error
    // of ExtractEngineFiles, false. A count beyond the table's entries is taken as their number.
    virtual bool ExtractChannels();
    // The project files of FILEINFO, written as stored. "Can't find FileCount" / "Error"; an
    // item that cannot be written as in ExtractChannels.
    virtual bool ExtractProjectFiles();
    // Starts installFolder\OrvanViewer.exe with the command line "OrvanViewer.exe ZRXStart.zrx"
    // in the current folder; with wait, returns when it has ended. A failed start shows
    // "Unable to start orvanviewer.exe" with the error code as caption.
    virtual void StartViewer(bool wait);
    // Closes the reader, empties the engine's cache folder (through the engine's directory
    // channel; by the system's listing when the engine does not load again), releases the
    // engine, deletes every recorded file and folder (folders last created first) and finally
    // installFolder. Nothing is deleted through a link (junction or symbolic link) found below
    // installFolder, and no link is removed. Never stops on an error; returns whether
    // installFolder itself was removed.
    virtual bool Cleanup();
    virtual bool IsDirectXReady();
    virtual bool IsDirectX9cInstalled();

    // Installs the project into a folder the user confirms (ProjectType 2): options dialog,
    // viewer and engine, Start-menu links, engine channels and project files, uninstall record,
    // uninstall entry, then the viewer started or "Installation successfully completed!...".
    // False on a missing key ("Can't find project type <key>" / "Error"), on "No" to the
    // DirectX question, on a cancelled dialog, on a refusal of CheckBeforeWriting, or when a
    // required extraction, a link, the engine, the record or the uninstall entry fails (with
    // their own boxes); everything the run changed is then taken back (Rollback). Into a
    // folder of a previous installation of the project it is an upgrade (see
    // WriteUninstallRecord).
    virtual bool InstallProject();
    // InstallProject for deployment tools: into folder (empty: InstallPath), which must be a
    // full path, with no options dialog, no progress window, no DirectX question, no success
    // box and no viewer started. Boxes of failures still go through messages (and the reader's
    // host); failureReported is the caller's note that one was shown: once it is set when the
    // files are written, the install stops before the uninstall record, false, taken back.
    bool InstallProjectSilently(const char* folder, const bool& failureReported);
    // Writes a shell link at linkPath to target, working folder installFolder, with
    // description and (when not null) arguments. COM is initialised for this call only.
    // Returns the COM result of the creation or of IPersistFile::Save; kLinkPathTooLong,
    // with nothing created, when linkPath does not fit the shell's path buffer.
    static constexpr HRESULT kLinkPathTooLong = static_cast<HRESULT>(0x800700CEu);  // ERROR_FILENAME_EXCED_RANGE
    virtual HRESULT CreateShortcut(const char* target, const char* linkPath, const char* description,
                                   const char* arguments);
    // Writes "uninstall.nfo" in installFolder through saver, which the caller created and
    // destroys: UNFC and the UNFN paths in creation order, UNDC and the UNDN folders last
    // created first, UNPN (the 259-byte projectName buffer), with withMarker an empty UNSK.
    // Paths are cut to 259-byte fields. The record of a previous installation it replaces
    // (see CheckBeforeWriting) is taken over first: the files it listed inside the folder that
    // this run did not write are set aside (gone at the commit); its folders still there and
    // its files outside the folder that this run did not write are listed too (after this
    // run's). The record is written under a new name and replaces the old one only when
    // whole; Close is called in either case. True only when the record was written and put in
    // place without an error (the saver's Close is false when a write failed): an install must
    // not announce a record that is not there.
    [[nodiscard]] bool WriteUninstallRecord(FileSaverChannel* saver, const char* projectName, bool withMarker);
    // Maps ProjectName to installFolder under <root>\SOFTWARE\Velbor\Orvan3D Viewers\3.00.000
    // (DisplayName), and names the screen saver's or plug-in's copy (ComponentFile) once made.
    // Missing name: "Can't find project type ProjectName" / "Error"; key not created:
    // "Error can't write in registry" with the key path as caption, also when a value cannot be
    // written; false then. Each value notes what it replaced, to be put back by Rollback.
    virtual bool RegisterViewer();
    // The Windows uninstall entry <root>\...\Uninstall\Orvan3D<ProjectName>: DisplayName,
    // UninstallString (quoted), QuietUninstallString (the same with " /S"), InstallLocation, DisplayIcon, EstimatedSize, NoModify, NoRepair,
    // and when the package has them DisplayVersion (with VersionMajor and VersionMinor from a
    // dotted one), Publisher, URLInfoAbout and InstallDate (yyyymmdd).
    // Boxes and result as RegisterViewer.
    virtual bool RegisterUninstall();

    // Installs the project as a screen saver (ProjectType 5): options dialog, engine, the
    // uninstaller, the screen saver copied into the system directory as <ProjectName>.scr,
    // engine channels and project files, "screensaver.cfg", uninstall record (with marker),
    // viewer and uninstall entries, then "Installation successfully completed!". False on a
    // missing key ("Can't find project type <key>" / "Error"), a cancelled dialog, or a failed
    // step (with its own box); everything the run changed is then taken back, the copy in the
    // system directory included (an earlier one comes back).
    virtual bool InstallScreensaver();
    // Extracts "ZRXSvr.scr" and writes it from the package's bytes over <system
    // directory>\<ProjectName>.scr, replacing it on commit like every file. A failed copy shows
    // the error number, then "Unable to copy screensaver to system directory", both captioned
    // with the target, and returns false.
    virtual bool CopyScreensaverToSystem();
    // Installs the project as a Winamp visualisation plug-in (ProjectType 6): as the screen
    // saver, but the plug-in library is copied to <Winamp folder>\Plugins\vis_<ProjectName>.dll
    // and the configuration is "winamp.cfg". The Winamp folder comes from the registry, else
    // from the user through the folder browser; declining either question or cancelling the
    // browser ends the installation with false, taken back like every failure.
    virtual bool InstallWinampPlugin();
    // Deletes what lies below folder whose lower-cased path contains "cache", descending into
    // every sub-folder, through the engine's directory channel. A folder that is a link is
    // neither entered nor removed.
    virtual void DeleteCacheTree(const char* folder);
    // Puts installFolder\channels and installFolder\3rd in front of PATH unless the folder
    // already occurs in it.
    virtual void AddEngineFoldersToPath();

    // One chunk through saver: BeginChunk(tag), WriteChunkSize(size), Write(data, size).
    static void WriteChunk(FileSaverChannel* saver, const char* tag, const void* data, uint32_t size);
    // The registry roots the entries are written below: for all users HKEY_LOCAL_MACHINE, for
    // a per-user install HKEY_CURRENT_USER, unless a test gives scratch keys, which the caller
    // keeps open while the Installer uses them.
    void SetRegistryRoot(HKEY root) { registryRoot = root; }
    void SetUserRegistryRoot(HKEY root) { userRegistryRoot = root; }
    // A project install for the user who runs it (its package's PerUserInstall): entries below
    // the user's root, links in the user's Programs folder. Read by the project install.
    void SetPerUser(bool forUser) { perUser = forUser; }

    // Destroys the file loader, then the control object, each through its own destructor, then
    // unloads the library. Safe when nothing, or only part, of the engine was obtained.
    void ReleaseEngine();
    // Creates fileLoader through the channel factory; false after "Can't init fileloader" / "P"
    // when the engine gives none.
    bool CreateFileLoader();

    // The system directory the screen saver is copied into; the real one unless a test sets
    // another (at most MAX_PATH - 1 characters).
    void SetSystemFolder(const char* folder);
    // The registry roots the Winamp folder is looked up below; the real HKEY_CLASSES_ROOT and
    // HKEY_CURRENT_USER unless a test gives scratch keys, kept open while the Installer uses them.
    void SetWinampRoots(HKEY classesRoot, HKEY currentUser) {
        winampClassesRoot = classesRoot;
        winampUserRoot = currentUser;
    }

    // The install log the mode notes what it writes in (each file with its size, each folder,
    // link, registry key and value, the record); the caller keeps it open while the Installer
    // uses it. None: nothing is noted.
    void SetLog(const win::LogFile* file) { log = file; }

    // Why the last mode failed, as the exit code of a run that reports it: kFailed unless a
    // step noted its cause (the first one noted stands).
    SetupExit FailureCause() const { return failureCause; }
    void NoteFailure(SetupExit cause);

    // Before the first write, what can be known up front, each refused with one box and
    // nothing written: (projectName given) a previous installation of the project in
    // installFolder is read - a record that is sound, names this project and whose uninstall
    // entry names this folder; any other is ignored, and the install is a fresh one - and a
    // file it listed that another program holds open is named ("...in use by another
    // program...", caption projectName, Retry and Cancel); a path of the package longer than
    // InstallTransaction::kLongestPath ("The path of this item in the installation folder is
    // too long."); not enough free space on the folder's drive for the package's files (every
    // file is written whole before the one it replaces goes). False after the box.
    bool CheckBeforeWriting(const char* projectName);
    // The run is complete: what it set aside is deleted, then the folders of a previous
    // installation inside installFolder that this left empty.
    void Commit();
    // Takes the run back (see InstallTransaction::Rollback), the engine released first; after a
    // Commit nothing.
    void Rollback();

    // folder made a full path as the system makes it (GetFullPathNameW of its wide form: ".."
    // steps, trailing dots and spaces, doubled and forward separators taken away) in full; its
    // length, 0 when it has none or it does not fit.
    static DWORD FullFolderPath(const char* folder, wchar_t (&full)[kFolderCapacity]);
    // Sets installFolder to folder's one full, normal form (GetFullPathNameW: no doubled or
    // forward separators, no "." or ".." steps, no trailing dots, spaces or separator), so that
    // the record, the uninstall entry and the uninstaller name it alike. At most 399
    // characters; false when the folder does not fit or has no such form.
    [[nodiscard]] bool SetInstallFolder(const char* folder);
    // Makes installFolder the administrators' before the first file, when this is an elevated
    // install: a folder (and its missing parents) it creates gets AdminFolderSecurity; one
    // that exists, or that the system did not give that security (a drive without
    // descriptors), is refused when other users can change it: "<folder>\n\n<why>" /
    // "Installation Error", false. A per-user install keeps what the folder inherits.
    [[nodiscard]] bool ClaimInstallFolder();
    static constexpr char kOthersCanWriteText[] =
        "Other users of this computer can change what this folder holds, so a program installed for all users "
        "cannot be put there. Please choose another folder.";
    // The folder calls of ClaimInstallFolder and of every folder creation; the system's unless
    // a test gives its own, which must outlive the Installer.
    void SetFolderSystem(win::FolderSystem& system) { folders = &system; }
    const char* InstallFolder() const { return installFolder; }
    const PointerList& CreatedFiles() const { return createdFiles; }
    const PointerList& CreatedFolders() const { return createdFolders; }

protected:
    UserMessages& messages;
    HINSTANCE instance = nullptr;
    char installFolder[kFolderCapacity] = {};
    const unsigned char* entryData = nullptr;
    uint32_t entrySize = 0;
    // Ends before the engine session (engineFolders, engineLibrary, engineControl,
    // channelFactory), which the base holds: an engine a failing mode left loaded goes back
    // object by object before its library is freed.
    EngineObject<FileLoaderChannel> fileLoader;
    HWND hostWindow = nullptr;
    PointerList createdFiles;
    PointerList createdFolders;
    // Everything this run changes goes through it.
    InstallTransaction transaction{createdFiles, createdFolders, installFolder, &Installer::RecordFile, this};
    // What a previous installation this run replaces listed (see CheckBeforeWriting); empty
    // for a fresh install. A path it will not list again is freed and its slot set to null.
    PointerList previousFiles;
    PointerList previousFolders;
    std::unique_ptr<ProgressWindow> progress;
    std::unique_ptr<PackageReader> reader;
    HKEY registryRoot = HKEY_LOCAL_MACHINE;
    HKEY userRegistryRoot = HKEY_CURRENT_USER;
    bool perUser = false;
    SetupExit failureCause = SetupExit::kFailed;
    const win::LogFile* log = nullptr;
    char systemFolder[MAX_PATH] = {};
    HKEY winampClassesRoot = HKEY_CLASSES_ROOT;
    HKEY winampUserRoot = HKEY_CURRENT_USER;

private:
    // The pre-checks, then the viewer, the engine, its channels and the project files into the
    // run folder; false at the first step that fails, after its box.
    bool ExtractIntoRunFolder();
    // Writes installFolder, a backslash and name into path and returns path. A literal name is
    // held to kOwnNameCapacity when compiled; a name passed on must be one of those literals.
    template <size_t N>
    const char* InFolder(OwnPath& path, const char (&name)[N]) const {
        static_assert(N <= kOwnNameCapacity, "the name must fit behind any installation folder");
        return OwnFileInFolder(path, name);
    }
    const char* OwnFileInFolder(OwnPath& path, const char* name) const;
    // Creates the missing folders along the first 260 characters of a link path, recording
    // those it created; false as CreateFoldersOf.
    bool CreateLinkFolders(const char* linkPath);
    // The Start-menu link <programs><shortCutName><suffix> to installFolder\program, with
    // makeFolders first the folders it needs, each recorded; an earlier link of that name is
    // set aside until the commit. program is one of our own file names (see InFolder). False
    // when it could not be made (a path too long is not made, and not recorded, but no failure).
    bool AddLink(const char* program, const char* programs, const char* shortCutName, const char* suffix,
                 const char* description, const char* arguments, bool makeFolders);
    HKEY EntriesRoot() const { return perUser ? userRegistryRoot : registryRoot; }
    // The values of one registry entry being written (Registration.cpp).
    class EntryKey;
    // One line of the log, printf-style (win::LogFile::Line); nothing without a log.
    void Log(const char* format, ...) const __attribute__((format(ms_printf, 2, 3)));
    // The Winamp folder: the registry first, then the user's choice. False when the user
    // declines or cancels; folder is then empty.
    bool FindWinampFolder(const char* projectName, char (&folder)[kWinampFolderCapacity]);
    // Shows dialog proposing proposedFolder until it is left or a folder is chosen that is no
    // drive root (RefuseDriveRoot), with noClimbing has no ".." step or stream colon
    // (StaysInPlace's box), is no other user's (AcceptFolder) and is claimed
    // (ClaimInstallFolder) as installFolder; false when it is left.
    bool ShowOptionsDialog(OptionsDialog& dialog, const char* projectName, const char* proposedFolder, bool noClimbing);
    // The prologue the install modes share: the options dialog for projectName proposing
    // proposedFolder, then the progress window at 0 with "Installing...", and the chosen folder
    // as installFolder and current folder. False when the dialog is left. With noClimbing a
    // confirmed folder with a ".." step or a stream colon is refused (StaysInPlace's box) and
    // the dialog shows again; so is one ClaimInstallFolder refuses.
    bool ChooseFolderWithProgress(const char* projectName, const char* proposedFolder, bool noClimbing);
    // Moves the progress bar when a progress window is shown (a silent install has none).
    void SetProgress(float value);
    // The bar at 0.95, then the window closed; nothing when none is shown.
    void CloseProgress();
    // The project install's own (ProjectInstall.cpp): what InstallProjectSilently asks of
    // the one install it runs, and the texts it reads.
    struct SilentRun;
    struct ProjectTexts;
    // InstallProject, for the user when silent is null, else as InstallProjectSilently.
    bool InstallProjectFor(const SilentRun* silent);
    // InstallPath, ShortCutName and ProjectName, with their boxes when missing or when a name
    // would climb out of its place.
    bool ReadProjectTexts(ProjectTexts& texts);
    // The project's name and version and the package's size, in the log.
    void LogPackage(const char* projectName);
    // installFolder is the user's to install into: false, after its box, when it lies in another
    // user's profile (below the profiles folder, outside the user's own and the shared one).
    bool AcceptFolder();
    // folder (empty: InstallPath) as installFolder and current folder; false after "The
    // installation folder must be a full path" when it is none or does not fit, or after the
    // box of RefuseDriveRoot, AcceptFolder or ClaimInstallFolder (then kFolderRefused).
    bool SetSilentFolder(const char* folder, const ProjectTexts& texts);
    // The installed viewer started after an install: in an elevated install with the rights of
    // the desktop's user where the system allows, else (and in a per-user install) StartViewer.
    void StartViewerAsUser();
    // The viewer, the engine files and the two Start-menu links, moving the bar to 0.3.
    bool ExtractProgramAndLinks(const char* shortCutName);
    // The uninstall record through a new file saver, then the engine released; false after
    // the copy error when no record was written.
    bool RecordProjectInstall(const char* projectName);
    // The start of a screen-saver or plug-in installation: the user's folder (false when the
    // dialog is left; noClimbing as in ChooseFolderWithProgress), progress shown, engine files
    // on disk and the engine loaded.
    bool StartComponentInstall(const char* projectName, const char* proposedFolder, bool noClimbing);
    // The rest of a screen-saver or plug-in installation once its component is in place:
    // channels and project files, the configuration file (optionsWriter adds the mode's own
    // chunks; false stops the installation), record, release, registration, success message.
    // configName is one of our own file names (see InFolder).
    bool FinishComponentInstall(const char* configName, const char* projectName,
                                bool (Installer::*optionsWriter)(FileSaverChannel*));
    bool InstallScreensaverSteps();
    bool InstallWinampPluginSteps();
    // The end of every install mode: a run that failed is taken back. Returns succeeded.
    bool Concluded(bool succeeded);
    // Reads installFolder\uninstall.nfo into previousFiles and previousFolders when it is sound,
    // of projectName and its uninstall entry names installFolder; else they stay empty.
    void ReadPreviousRecord(const char* projectName);
    // Whether the uninstall entry of projectName names installFolder's uninstaller.
    bool EntryNamesFolder(const char* projectName);
    // The previous installation's files inside installFolder that this run did not write are
    // set aside; kept for the record are its folders still there and its files outside the
    // folder (or inside but not to be moved: through a link, held) that this run did not list.
    void TakeOverPrevious();
    void FreePrevious();
    // Below installFolder by its text (no ".." step, no stream): where the previous
    // installation's paths may be moved or removed.
    bool LiesInside(const char* path) const;
    // A file the engine's saver writes as a file of the run: made new by the transaction first,
    // so that the saver meets no link, and put in place of path by CloseSaved when whole.
    struct SavedFile {
        char name[MAX_PATH];
        bool beside;
    };
    bool OpenSaved(FileSaverChannel* saver, const char* path, SavedFile& file);
    // Closes saver and puts what it wrote in place (opened: OpenSaved's result); else removes it.
    bool CloseSaved(FileSaverChannel* saver, const char* path, SavedFile& file, bool opened);
    bool WriteScreensaverOptions(FileSaverChannel* saver);
    bool WriteNoOptions(FileSaverChannel*) { return true; }
    // Every file, link and folder an install makes passes here (or through the transaction,
    // which records its files here): the log's one place for them.
    [[nodiscard]] bool Record(PointerList& list, const char* path);
    // Record for the transaction's files (owner: the Installer).
    static bool RecordFile(void* owner, const char* path) {
        auto* self = static_cast<Installer*>(owner);
        return self->Record(self->createdFiles, path);
    }
    static void FreeRecorded(PointerList& list) { InstallTransaction::FreeAll(list); }
    // A name below its folder: no drive, no ':' stream, no ".." step (a leading separator is
    // allowed).
    static bool StaysInside(const char* name);
    [[nodiscard]] bool CreateFoldersAlong(const char* path);
    // Creates each missing folder along path within its first scanLimit characters (at most
    // kFolderCapacity - 1), recording the ones it made. False, with nothing more made, at a
    // folder on the way that is a link (a junction or symbolic link): nothing is written
    // through one.
    [[nodiscard]] bool CreateFoldersOf(const char* path, size_t scanLimit);
    bool DecodeWithZlib();
    // Entry name decoded as ExtractFile decodes it, written whole to path as a file of the run
    // (a file there is replaced, and kept aside until the commit) or not at all. False on failure, with the system's error code kept for the caller.
    // For the copies outside installFolder: made from the package, not from a file in a folder
    // that someone might have changed since it was written.
    [[nodiscard]] bool WriteDecodedTo(const char* name, const char* path, uint32_t& size);
    // Loads entry name and decodes it through fileLoader when it is set, else through zlib;
    // content and contentSize then hold the bytes to write. False, after "Error decompress" /
    // "Error" when decoding failed, or the reader's box when the entry is damaged.
    [[nodiscard]] bool LoadDecoded(const char* name, const unsigned char*& content, uint32_t& contentSize);
    // Writes entry name (in the package) to path, as ExtractFile does once path is known.
    ExtractResult ExtractTo(const char* name, const char* path, bool decode);
    // ExtractFile's road for an entry written as stored: streamed to path, decoded on the way
    // when the package marks it compressed ("Error decompress" / "Error" when it does not
    // decode to its trailer's size).
    ExtractResult ExtractStored(const char* name, const char* path);
    bool ExtractList(const char* countKey, const char* itemPrefix, const char* section, bool decode,
                     float progressBase, const char* missingMessage);
    // The run folder's lock file, created by MakeTempDirectory, open without sharing until
    // Cleanup and deleted when closed: while it is there, the folder's run is alive.
    win::FileHandle runLock;
    // ExtractFile (decoded). With missingText, any failure (missing, damaged, not written) then
    // shows that text / "P", false. Without, an entry the package holds that did not arrive
    // shows the copy error, false, and a missing one (after "Could not find resource") counts
    // as done.
    bool ExtractRequired(const char* name, const char* missingText = nullptr);
    // "There was an error while trying to copy one of the installation files..." /
    // "Installation Error": the box of every install that stops because a file is not there.
    void ShowCopyError();
    // The file the uninstall entry's DisplayIcon names when it is not the installed viewer:
    // the screen saver or the plug-in, which those installs put outside installFolder.
    char iconFile[1024] = {};
    // The folder part of the last path CreateFoldersAlong walked.
    char walkedFolder[kFolderCapacity] = {};
    // Buffer of the last zlib decoding; entryData points into it after one.
    win::HeapBuffer<unsigned char> decoded;
    win::FolderSystem* folders = &win::SystemFolderSystem();
    // Set while ClaimInstallFolder creates installFolder and its parents: their security.
    SECURITY_ATTRIBUTES* newFolderSecurity = nullptr;
};
