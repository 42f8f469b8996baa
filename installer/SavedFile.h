#pragma once
#include <windows.h>

#include "engine/EngineInterface.h"
#include "installer/InstallTransaction.h"

// A file the engine's saver writes as a file of the run (the record, a configuration): made new
// by the transaction first, so that the saver meets no link, and put in place of path by Close
// when whole; else removed.
class SavedFile {
public:
    SavedFile(InstallTransaction& transaction, const char* path) : transaction(transaction), path(path) {}
    // saver opened on the new file; false when it could not be made or opened.
    bool Open(FileSaverChannel* saver);
    // Closes saver and puts what it wrote in place (opened: Open's result); else removes it.
    // True only when it was written and placed.
    bool Close(FileSaverChannel* saver, bool opened);

private:
    InstallTransaction& transaction;
    const char* path;
    char name[MAX_PATH];
    bool beside;
};
