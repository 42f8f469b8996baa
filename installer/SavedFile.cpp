#include "installer/SavedFile.h"

bool SavedFile::Open(FileSaverChannel* saver) {
    win::FileHandle made = transaction.Create(path, beside, name);
    // The saver opens the file itself, without sharing.
    if (!made || !InstallTransaction::Keep(made.get())) return false;
    made.reset();
    return saver->Open(name, kSaveCreate);
}

bool SavedFile::Close(FileSaverChannel* saver, bool opened) {
    // The saver's Close is false when any write failed; its chunks go to the disk here, so this
    // is also where a full disk shows.
    const bool written = saver->Close() && opened;
    win::FileHandle done = transaction.OpenInPlace(name, GENERIC_WRITE | DELETE);
    if (written && done && transaction.Place(done, path, beside)) return true;
    InstallTransaction::Discard(done);
    return false;
}
