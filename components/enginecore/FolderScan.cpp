#include <cctype>
#include <new>
#include <string>
#include <vector>

#include "components/enginecore/ChannelLibrary.h"
#include "win/Handle.h"

namespace {

char Fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// * and ?, letter case ignored; "*.*" takes names without a dot too, as the file system does.
bool MatchesFilter(const std::string& filter, const char* name) {
    if (filter.empty() || filter == "*.*" || filter == "*") return true;
    const char* p = filter.c_str();
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*p == '*') {
            star = p++;
            resume = name;
        } else if (*p == '?' || (*p != '\0' && Fold(*p) == Fold(*name))) {
            ++p;
            ++name;
        } else if (star != nullptr) {
            p = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == '\0';
}

class FolderScan final : public DirectoryChannel {
public:
    void ORVAN_ENGINE_CALL Destroy(int deleteFlag) override {
        if (deleteFlag == kEngineDeleteObject) delete this;
    }

    int ORVAN_ENGINE_CALL FileCount() override { return static_cast<int>(files.size()); }
    int ORVAN_ENGINE_CALL FolderCount() override { return static_cast<int>(folders.size()); }

    bool ORVAN_ENGINE_CALL Scan(const char* pattern) override {
        files.clear();
        folders.clear();
        if (pattern == nullptr) return false;
        WIN32_FIND_DATAA found;
        win::FindHandle find(::FindFirstFileA(pattern, &found));
        if (!find) return false;
        try {
            do {
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    folders.emplace_back(found.cFileName);
                } else if (MatchesFilter(filter, found.cFileName)) {
                    files.emplace_back(found.cFileName);
                }
            } while (::FindNextFileA(find.get(), &found));
        } catch (const std::bad_alloc&) {
            files.clear();
            folders.clear();
            return false;
        }
        return true;
    }

    bool ORVAN_ENGINE_CALL SetFilter(const char* text) override {
        try {
            filter = text != nullptr ? text : "";
            return true;
        } catch (const std::bad_alloc&) {
            filter.clear();
            return false;
        }
    }

    const char* ORVAN_ENGINE_CALL FileName(int index) override { return NameAt(files, index); }
    const char* ORVAN_ENGINE_CALL FolderName(int index) override { return NameAt(folders, index); }

private:
    static const char* NameAt(const std::vector<std::string>& names, int index) {
        if (index < 0 || index >= static_cast<int>(names.size())) return nullptr;
        return names[index].c_str();
    }

    std::string filter;
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

}  // namespace

ORVAN_CHANNEL_EXPORT EngineChannel* ORVAN_ENGINE_CALL CreateEngineChannel(const GUID* classId) {
    if (classId == nullptr || !::IsEqualGUID(*classId, kDirectoryChannelId)) return nullptr;
    return new (std::nothrow) FolderScan;
}
