#include <cctype>
#include <cstring>
#include <new>

#include "components/enginecore/ChannelLibrary.h"
#include "components/enginecore/GrowableArray.h"
#include "package/AsciiText.h"
#include "win/Handle.h"
#include "win/HeapBuffer.h"

namespace {

char Fold(char c) { return LowerAscii(c); }

// * and ?, letter case ignored; "*.*" takes names without a dot too, as the file system does.
bool MatchesFilter(const char* filter, const char* name) {
    if (filter == nullptr || *filter == '\0' || std::strcmp(filter, "*.*") == 0 || std::strcmp(filter, "*") == 0) {
        return true;
    }
    const char* p = filter;
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

// The names of one scan: their texts one after another in one buffer, and where each begins.
// The texts do not move once the scan is done, so the names handed out stay valid.
class NameList {
public:
    // False when memory runs out; the list must then be cleared.
    bool Add(const char* name) {
        const uint32_t at = text.Size();
        return starts.Append(&at, 1) && text.Append(name, static_cast<uint32_t>(std::strlen(name)) + 1);
    }
    int Count() const { return static_cast<int>(starts.Size()); }
    const char* At(int index) const {
        if (index < 0 || index >= Count()) return nullptr;
        return text.Data() + starts.Data()[index];
    }
    void Clear() {
        text.Clear();
        starts.Clear();
    }

private:
    GrowableArray<char> text;
    GrowableArray<uint32_t> starts;
};

class FolderScan final : public DirectoryChannel {
public:
    void ORVAN_ENGINE_CALL Destroy(int deleteFlag) override {
        if (deleteFlag == kEngineDeleteObject) delete this;
    }

    int ORVAN_ENGINE_CALL FileCount() override { return files.Count(); }
    int ORVAN_ENGINE_CALL FolderCount() override { return folders.Count(); }

    bool ORVAN_ENGINE_CALL Scan(const char* pattern) override {
        files.Clear();
        folders.Clear();
        if (pattern == nullptr) return false;
        WIN32_FIND_DATAA found;
        win::FindHandle find(::FindFirstFileA(pattern, &found));
        if (!find) return false;
        do {
            bool kept = true;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                kept = folders.Add(found.cFileName);
            } else if (MatchesFilter(filter.get(), found.cFileName)) {
                kept = files.Add(found.cFileName);
            }
            // A partial list would let the caller take a folder for emptied when it is not.
            if (!kept) {
                files.Clear();
                folders.Clear();
                return false;
            }
        } while (::FindNextFileA(find.get(), &found));
        return true;
    }

    bool ORVAN_ENGINE_CALL SetFilter(const char* text) override {
        filter.reset(text != nullptr ? win::DuplicateText(text) : nullptr);
        return text == nullptr || filter != nullptr;
    }

    const char* ORVAN_ENGINE_CALL FileName(int index) override { return files.At(index); }
    const char* ORVAN_ENGINE_CALL FolderName(int index) override { return folders.At(index); }

private:
    win::HeapBuffer<char> filter;  // null takes every file
    NameList files;
    NameList folders;
};

}  // namespace

ORVAN_CHANNEL_EXPORT EngineChannel* ORVAN_ENGINE_CALL CreateEngineChannel(const GUID* classId) {
    if (classId == nullptr || !::IsEqualGUID(*classId, kDirectoryChannelId)) return nullptr;
    return new (std::nothrow) FolderScan;
}
