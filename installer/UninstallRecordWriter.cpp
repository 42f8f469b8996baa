// The uninstall record: what the separate uninstaller removes again.
#include <cstring>

#include "installer/Installer.h"
#include "package/LittleEndian.h"
#include "win/FormatText.h"

namespace {

// The record's fixed text field: paths and the project name.
constexpr uint32_t kFieldSize = Installer::kTextCapacity;

// The first kFieldSize bytes of text, zero-filled when shorter: the reader expects fixed fields.
void FillField(char (&field)[kFieldSize], const char* text) {
    std::memset(field, 0, sizeof(field));
    size_t length = 0;
    while (length < kFieldSize && text[length] != '\0') ++length;
    std::memcpy(field, text, length);
}

void WriteCount(FileSaverChannel* saver, const char* tag, int32_t count) {
    unsigned char raw[4];
    StoreU32(raw, static_cast<uint32_t>(count));
    Installer::WriteChunk(saver, tag, raw, sizeof(raw));
}

}  // namespace

void Installer::WriteChunk(FileSaverChannel* saver, const char* tag, const void* data, uint32_t size) {
    saver->BeginChunk(tag);
    saver->WriteChunkSize(size);
    saver->Write(data, size);
}

bool Installer::WriteUninstallRecord(FileSaverChannel* saver, const char* projectName, bool withMarker) {
    OwnPath path;
    const bool opened = saver->Open(InFolder(path, "uninstall.nfo"), kSaveCreate);
    if (opened) {
        char field[kFieldSize];
        WriteCount(saver, "UNFC", createdFiles.Count());
        for (int32_t i = 0; i < createdFiles.Count(); ++i) {
            FillField(field, static_cast<const char*>(createdFiles.Get(i)));
            WriteChunk(saver, "UNFN", field, kFieldSize);
        }
        WriteCount(saver, "UNDC", createdFolders.Count());
        // Children before their parents, so that each folder is empty when its turn comes.
        for (int32_t i = createdFolders.Count() - 1; i >= 0; --i) {
            FillField(field, static_cast<const char*>(createdFolders.Get(i)));
            WriteChunk(saver, "UNDN", field, kFieldSize);
        }
        WriteChunk(saver, "UNPN", projectName, kFieldSize);
        if (withMarker) saver->BeginChunk("UNSK");
    }
    // The saver's Close is false when any write failed; its chunks go to the disk here, so this
    // is also where a full disk shows.
    const bool written = saver->Close() && opened;
    if (written) Log("record: %s", path);
    return written;
}
