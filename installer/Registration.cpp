// The registry entries of an installation: the Windows uninstall entry and the viewer entry.
#include <cstring>

#include "installer/Installer.h"
#include "package/DeploymentValues.h"
#include "win/FormatText.h"

namespace {

// A key's fixed part and a project name of at most 259 characters.
constexpr size_t kKeyCapacity = 400;

}  // namespace

void Installer::SetValue(EntryKey& key, const char* name, DWORD type, const void* data, DWORD size) {
    const HKEY root = EntriesRoot();
    key.failed = key.failed || !transaction.NoteRegistry(root, key.path, name) ||
                 ::RegSetKeyValueA(root, key.path, name, type, data, size) != ERROR_SUCCESS;
}

void Installer::SetText(EntryKey& key, const char* name, const char* value) {
    SetValue(key, name, REG_SZ, value, static_cast<DWORD>(std::strlen(value) + 1));
    Log("registry value: %s = %s", name, value);
}

void Installer::SetNumber(EntryKey& key, const char* name, DWORD value) {
    SetValue(key, name, REG_DWORD, &value, sizeof(value));
    Log("registry value: %s = %lu", name, static_cast<unsigned long>(value));
}

bool Installer::Written(const EntryKey& key) {
    if (!key.failed) return true;
    messages.Show("Error can't write in registry", key.path, MB_OK);
    return false;
}

bool Installer::RegisterViewer() {
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    char keyPath[kKeyCapacity];
    (void)win::FormatText(keyPath, sizeof(keyPath), "%s%s", kViewerKeyBase, projectName);
    EntryKey key{keyPath, false};
    SetText(key, kDisplayNameValue, installFolder);
    // Where the screen saver or plug-in went: a plug-in folder the user chose in the browser
    // is found again nowhere else.
    if (iconFile[0] != '\0') SetText(key, kComponentFileValue, iconFile);
    return Written(key);
}

bool Installer::EntryNamesFolder(const char* projectName) {
    char keyPath[kKeyCapacity];
    (void)win::FormatText(keyPath, sizeof(keyPath), "%s%s", kUninstallKeyBase, projectName);
    char value[kFolderCapacity] = {};
    DWORD size = sizeof(value);
    return ::RegGetValueA(EntriesRoot(), keyPath, "InstallLocation", RRF_RT_REG_SZ, nullptr, value, &size) ==
               ERROR_SUCCESS &&
           _strnicmp(value, installFolder, SIZE_MAX) == 0;
}

bool Installer::RegisterUninstall() {
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    char keyPath[kKeyCapacity];
    (void)win::FormatText(keyPath, sizeof(keyPath), "%s%s", kUninstallKeyBase, projectName);
    EntryKey key{keyPath, false};
    SetText(key, kDisplayNameValue, projectName);
    // Quoted: unquoted, "C:\Program Files\..." would first be tried as "C:\Program.exe".
    // Neither can be cut: the folder and 21 characters of our own.
    OwnPath value;
    (void)win::FormatText(value, sizeof(value), "\"%s\\%s\"", installFolder, kUninstallerFile);
    SetText(key, kUninstallStringValue, value);
    // The same uninstaller without its question and final box, for the system to run unattended.
    (void)win::FormatText(value, sizeof(value), "\"%s\\%s\" /S", installFolder, kUninstallerFile);
    SetText(key, "QuietUninstallString", value);
    // What the system's list of installed programs shows beyond the name.
    SetText(key, "InstallLocation", installFolder);
    // The screen-saver and plug-in installs have no viewer in their folder: they name their
    // own file before this.
    // Cannot be cut: iconFile holds 1,024 bytes.
    if (iconFile[0] == '\0') (void)win::FormatText(iconFile, sizeof(iconFile), "%s\\OrvanViewer.exe", installFolder);
    SetText(key, "DisplayIcon", iconFile);
    SetNumber(key, "EstimatedSize", EstimatedSizeKb());
    SetNumber(key, "NoModify", 1);
    SetNumber(key, "NoRepair", 1);
    AddDeploymentValues(key);
    return Written(key);
}

void Installer::AddDeploymentValues(EntryKey& key) {
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
        if (!GetPackageEntry(description.packageKey, text, kTextCapacity, nullptr)) continue;
        described = true;
        SetText(key, description.valueName, text);
        unsigned numbers[4] = {};
        if (description.packageKey == kProjectVersionKey && DottedVersion(text, numbers) > 0) {
            SetNumber(key, "VersionMajor", numbers[0]);
            SetNumber(key, "VersionMinor", numbers[1]);
        }
    }
    if (!described) return;
    SYSTEMTIME today;
    ::GetLocalTime(&today);
    (void)win::FormatText(text, sizeof(text), "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    SetText(key, "InstallDate", text);
}

DWORD Installer::EstimatedSizeKb() const {
    uint64_t bytes = 0;
    auto add = [&bytes](const char* path) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return;
        bytes += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    };
    for (int32_t i = 0; i < createdFiles.Count(); ++i) add(static_cast<const char*>(createdFiles.Get(i)));
    return static_cast<DWORD>((bytes + 1023) / 1024);
}
