// The registry entries of an installation: the Windows uninstall entry and the viewer entry.
#include <cstring>

#include "installer/Installer.h"
#include "package/DeploymentValues.h"
#include "win/FormatText.h"

namespace {

// A key's fixed part and a project name of at most 259 characters.
constexpr size_t kKeyCapacity = 400;

}  // namespace

// An entry's key below EntriesRoot being written: every value goes through SetValue, which
// notes first what it replaces (or that the key was not there), so that a failed run puts it
// back; a missing key is created with its first value. Each value is also noted in the log.
class Installer::EntryKey {
public:
    EntryKey(Installer& installer, const char* path) : installer(installer), path(path) {}

    void SetText(const char* name, const char* value) {
        SetValue(name, REG_SZ, value, static_cast<DWORD>(std::strlen(value) + 1));
        installer.Log("registry value: %s = %s", name, value);
    }
    void SetNumber(const char* name, DWORD value) {
        SetValue(name, REG_DWORD, &value, sizeof(value));
        installer.Log("registry value: %s = %lu", name, static_cast<unsigned long>(value));
    }
    // The uninstall entry's DisplayVersion, VersionMajor and VersionMinor, Publisher,
    // URLInfoAbout and InstallDate, from the package's values; nothing without them.
    void AddDeploymentValues();
    // Whether every value was written; if not, "Error can't write in registry" with the key
    // path as caption.
    bool Written() const {
        if (!failed) return true;
        installer.messages.Show("Error can't write in registry", path, MB_OK);
        return false;
    }

private:
    void SetValue(const char* name, DWORD type, const void* data, DWORD size) {
        const HKEY root = installer.EntriesRoot();
        failed = failed || !installer.transaction.NoteRegistry(root, path, name) ||
                 ::RegSetKeyValueA(root, path, name, type, data, size) != ERROR_SUCCESS;
    }

    Installer& installer;
    const char* path;
    // A value could not be written (no rights below the root) or noted, and no later one is.
    bool failed = false;
};

namespace {

// Bytes of the recorded files (the record among them), in KB rounded up.
DWORD EstimatedSizeKb(const PointerList& files) {
    uint64_t bytes = 0;
    for (int32_t i = 0; i < files.Count(); ++i) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExA(static_cast<const char*>(files.Get(i)), GetFileExInfoStandard, &data)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        bytes += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return static_cast<DWORD>((bytes + 1023) / 1024);
}

}  // namespace

// Maps ProjectName to installFolder under <root>\SOFTWARE\Velbor\Orvan3D Viewers\3.00.000
// (DisplayName), and names the screen saver's or plug-in's copy (ComponentFile) once made.
// Missing name: "Can't find project type ProjectName" / "Error"; key not created:
// "Error can't write in registry" with the key path as caption, also when a value cannot be
// written; false then. Each value notes what it replaced, to be put back by Rollback.
bool Installer::RegisterViewer() {
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    char keyPath[kKeyCapacity];
    (void)win::FormatText(keyPath, sizeof(keyPath), "%s%s", kViewerKeyBase, projectName);
    EntryKey key(*this, keyPath);
    key.SetText(kDisplayNameValue, installFolder);
    // Where the screen saver or plug-in went: a plug-in folder the user chose in the browser
    // is found again nowhere else.
    if (iconFile[0] != '\0') key.SetText(kComponentFileValue, iconFile);
    return key.Written();
}

// The Windows uninstall entry <root>\...\Uninstall\Orvan3D<ProjectName>: DisplayName,
// UninstallString (quoted), QuietUninstallString (the same with " /S"), InstallLocation, DisplayIcon, EstimatedSize,
// NoModify, NoRepair, and when the package has them DisplayVersion (with VersionMajor and VersionMinor from a dotted
// one), Publisher, URLInfoAbout and InstallDate (yyyymmdd). Boxes and result as RegisterViewer.
bool Installer::RegisterUninstall() {
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    char keyPath[kKeyCapacity];
    (void)win::FormatText(keyPath, sizeof(keyPath), "%s%s", kUninstallKeyBase, projectName);
    EntryKey key(*this, keyPath);
    key.SetText(kDisplayNameValue, projectName);
    // Quoted: unquoted, "C:\Program Files\..." would first be tried as "C:\Program.exe".
    // Neither can be cut: the folder and 21 characters of our own.
    OwnPath value;
    (void)win::FormatText(value, sizeof(value), "\"%s\\%s\"", installFolder, kUninstallerFile);
    key.SetText(kUninstallStringValue, value);
    // The same uninstaller without its question and final box, for the system to run unattended.
    (void)win::FormatText(value, sizeof(value), "\"%s\\%s\" /S", installFolder, kUninstallerFile);
    key.SetText("QuietUninstallString", value);
    // What the system's list of installed programs shows beyond the name.
    key.SetText("InstallLocation", installFolder);
    // The screen-saver and plug-in installs have no viewer in their folder: they name their
    // own file before this.
    // Cannot be cut: iconFile holds 1,024 bytes.
    if (iconFile[0] == '\0') (void)win::FormatText(iconFile, sizeof(iconFile), "%s\\%s", installFolder, kViewerFile);
    key.SetText("DisplayIcon", iconFile);
    key.SetNumber("EstimatedSize", EstimatedSizeKb(createdFiles));
    key.SetNumber("NoModify", 1);
    key.SetNumber("NoRepair", 1);
    key.AddDeploymentValues();
    return key.Written();
}

void Installer::EntryKey::AddDeploymentValues() {
    // Package managers match installed versions through these; a package built without them
    // writes the entry as it always did.
    static constexpr struct {
        const char* packageKey;
        const char* valueName;
    } kDescriptions[] = {
        {kProjectVersionKey, "DisplayVersion"},
        {kProjectPublisherKey, "Publisher"},
        {kProjectUrlKey, "URLInfoAbout"},
    };
    char text[kTextCapacity + 1];
    bool described = false;
    for (const auto& description : kDescriptions) {
        if (!installer.GetPackageEntry(description.packageKey, text, kTextCapacity, nullptr)) continue;
        described = true;
        SetText(description.valueName, text);
        unsigned numbers[4] = {};
        if (description.packageKey == kProjectVersionKey && DottedVersion(text, numbers) > 0) {
            SetNumber("VersionMajor", numbers[0]);
            SetNumber("VersionMinor", numbers[1]);
        }
    }
    if (!described) return;
    SYSTEMTIME today;
    ::GetLocalTime(&today);
    (void)win::FormatText(text, sizeof(text), "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    SetText("InstallDate", text);
}
