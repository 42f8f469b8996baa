#include "Removal.h"

#include "Handle.h"

namespace uninstall {

namespace {

// A record lists at most kMaxEntries fields of under 300 bytes each.
constexpr DWORD kMaxRecordSize = 64u << 20;
// Lines of the final box before the rest is summed up: a box has no scroll bar.
constexpr size_t kMaxListedItems = 12;

constexpr char kUninstallKeyBase[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3D";
constexpr char kViewerKeyBase[] = "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\";

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Case, separator kind, doubled separators and a trailing one do not tell two paths apart.
std::string Comparable(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && out.size() > 1 && out.back() == '\\') continue;
        out.push_back(c);
    }
    while (out.size() > 3 && out.back() == '\\') out.pop_back();
    if (!out.empty()) ::CharLowerBuffA(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

bool SamePath(const std::string& a, const std::string& b) { return Comparable(a) == Comparable(b); }

// A text value; false when the key has none by that name.
bool ReadText(HKEY key, const char* name, std::string& value) {
    char data[1024] = {};
    DWORD size = sizeof(data) - 1;
    DWORD type = 0;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    value.assign(data);
    return true;
}

std::string Unquoted(std::string text) {
    if (text.size() >= 2 && text.front() == '"') {
        const size_t end = text.find('"', 1);
        if (end != std::string::npos) return text.substr(1, end - 1);
    }
    return text;
}

// Deletes the key at path when owns(key) says it is this installation's.
template <typename Owns>
void DeleteKeyIf(HKEY root, const std::string& path, Owns owns) {
    {
        win::RegKey key;
        if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
        if (!owns(key.get())) return;
    }
    ::RegDeleteKeyA(root, path.c_str());
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool LoadRecord(const std::string& installFolder, UninstallRecord& record, std::string& message) {
    record = UninstallRecord();
    const std::string path = installFolder + "\\" + kRecordName;
    win::FileHandle file(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        message = "The uninstall record \"" + path + "\" was not found.\r\nNothing was removed.";
        return false;
    }
    message = "The uninstall record \"" + path + "\" is damaged.\r\nNothing was removed.";
    DWORD high = 0;
    const DWORD size = ::GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxRecordSize) return false;
    std::string bytes(size, '\0');
    DWORD got = 0;
    if (size != 0 && (!::ReadFile(file.get(), &bytes[0], size, &got, nullptr) || got != size)) return false;
    if (ParseUninstallRecord(bytes.data(), bytes.size(), record) != RecordError::kNone) return false;
    message.clear();
    return true;
}

void DeleteListedFiles(const UninstallRecord& record, std::vector<LeftItem>& left) {
    for (const std::string& path : record.files) {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            left.push_back({path, "a folder where a file was installed"});
            continue;
        }
        // A file the user marked read-only is still one the installation created.
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            ::SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
        if (!::DeleteFileA(path.c_str()) && Exists(path)) left.push_back({path, "could not be deleted"});
    }
    for (const std::string& path : record.skippedPaths) {
        left.push_back({path, "not removed: its recorded name is cut short or not a full path"});
    }
}

void RemoveListedFolders(const UninstallRecord& record, std::vector<LeftItem>& left) {
    for (const std::string& path : record.folders) {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (!::RemoveDirectoryA(path.c_str()) && Exists(path)) {
            left.push_back({path, "kept: it holds files that were not installed"});
        }
    }
}

void RemoveEntries(HKEY root, const std::string& projectName, const std::string& installFolder) {
    // An empty name would make the viewer key the parent of every project's entry.
    if (projectName.empty()) return;
    const std::string uninstaller = installFolder + "\\" + kUninstallerName;
    DeleteKeyIf(root, kUninstallKeyBase + projectName, [&](HKEY key) {
        std::string value;
        return ReadText(key, "UninstallString", value) && SamePath(Unquoted(value), uninstaller);
    });
    DeleteKeyIf(root, kViewerKeyBase + projectName, [&](HKEY key) {
        std::string value;
        return ReadText(key, "DisplayName", value) && SamePath(value, installFolder);
    });
}

std::string SummaryText(const std::string& projectName, const std::vector<LeftItem>& left) {
    if (left.empty()) return projectName + " was removed from this computer.";
    std::string text = projectName + " was removed from this computer, except for these items:\r\n";
    for (size_t i = 0; i < left.size() && i < kMaxListedItems; ++i) {
        text += "\r\n" + left[i].path + "\r\n    (" + left[i].reason + ")";
    }
    if (left.size() > kMaxListedItems) {
        text += "\r\n\r\n... and " + std::to_string(left.size() - kMaxListedItems) + " more.";
    }
    text += "\r\n\r\nDelete them yourself if you no longer need them.";
    return text;
}

}  // namespace uninstall
