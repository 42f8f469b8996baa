// The uninstall record: what the separate uninstaller removes again.
#include <cstring>

#include "engine/ChunkSchema.h"
#include "installer/Installer.h"
#include "installer/SavedFile.h"
#include "package/LittleEndian.h"
#include "win/FormatText.h"

namespace {

// The project name, read as a configuration text, fills one field of the record.
static_assert(Installer::kTextCapacity == kTextFieldSize, "a configuration text is one record field");

// The first kTextFieldSize bytes of text, zero-filled when shorter: the reader expects fixed fields.
void FillField(char (&field)[kTextFieldSize], const char* text) {
    std::memset(field, 0, sizeof(field));
    size_t length = 0;
    while (length < kTextFieldSize && text[length] != '\0') ++length;
    std::memcpy(field, text, length);
}

void WriteCount(FileSaverChannel* saver, const char* tag, int32_t count) {
    unsigned char raw[4];
    StoreU32(raw, static_cast<uint32_t>(count));
    Installer::WriteChunk(saver, tag, raw, sizeof(raw));
}

// The texts of list that are not null.
int32_t CountOf(const PointerList& list) {
    int32_t count = 0;
    for (int32_t i = 0; i < list.Count(); ++i) count += list.Get(i) != nullptr ? 1 : 0;
    return count;
}

// One field per text of list that is not null, from first to last, or last to first.
void WritePaths(FileSaverChannel* saver, const char* tag, const PointerList& list, bool lastFirst) {
    char field[kTextFieldSize];
    for (int32_t i = 0; i < list.Count(); ++i) {
        const char* path = static_cast<const char*>(list.Get(lastFirst ? list.Count() - 1 - i : i));
        if (path == nullptr) continue;
        FillField(field, path);
        Installer::WriteChunk(saver, tag, field, kTextFieldSize);
    }
}

}  // namespace

void Installer::WriteChunk(FileSaverChannel* saver, const char* tag, const void* data, uint32_t size) {
    saver->BeginChunk(tag);
    saver->WriteChunkSize(size);
    saver->Write(data, size);
}

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
bool Installer::WriteUninstallRecord(FileSaverChannel* saver, const char* projectName, bool withMarker) {
    TakeOverPrevious();
    OwnPath path;
    InFolder(path, kRecordName);
    SavedFile file(transaction, path);
    const bool opened = file.Open(saver);
    if (opened) {
        WriteCount(saver, kRecordFileCountTag, createdFiles.Count() + CountOf(previousFiles));
        WritePaths(saver, kRecordFileTag, createdFiles, false);
        WritePaths(saver, kRecordFileTag, previousFiles, false);
        WriteCount(saver, kRecordFolderCountTag, createdFolders.Count() + CountOf(previousFolders));
        // Children before their parents, so that each folder is empty when its turn comes: this
        // run's last created first, then the previous installation's, which were all there
        // before, as it recorded them.
        WritePaths(saver, kRecordFolderTag, createdFolders, true);
        WritePaths(saver, kRecordFolderTag, previousFolders, false);
        WriteChunk(saver, kRecordProjectNameTag, projectName, kTextFieldSize);
        if (withMarker) saver->BeginChunk(kRecordComponentMarkerTag);
    }
    if (!file.Close(saver, opened)) return false;
    Log("record: %s", path);
    return true;
}
