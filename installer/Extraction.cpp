#include "engine/ChunkSchema.h"
#include "installer/Installer.h"

#include <zlib.h>

#include <cstring>

#include "installer/ProgressPoints.h"
#include "package/LittleEndian.h"
#include "package/PackageSchema.h"
#include "win/FormatText.h"
#include "win/NarrowText.h"

// Entries from the package to files below installFolder, with the checks that keep every
// path inside it.

namespace {

constexpr size_t kMaxPath = Installer::kFolderCapacity - 1;
constexpr int32_t kItemNameCapacity = 399;
constexpr char kCopyError[] =
    "There was an error while trying to copy one of the installation files.\n"
    "Please make sure no applications are running that might be locking some files.";

constexpr char kTooLong[] = "The path of this item in the installation folder is too long.";

// Joins parts into out (capacity bytes); false when they do not fit.
bool Join(char* out, size_t capacity, const char* a, const char* b, const char* c = "") {
    return win::FormatText(out, capacity, "%s%s%s", a, b, c);
}

bool WriteWhole(HANDLE file, const unsigned char* data, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        DWORD written = 0;
        if (!::WriteFile(file, data + done, size - done, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// An entry as a file of the run (see InstallTransaction): written under its own name where
// nothing is there yet, else under a temporary name beside the file it replaces, which is set
// aside only once the new one is whole and verified (for a stored entry: the reader has
// checked the CRC). A failed write, a damaged entry or a full disk leaves a file already at the
// target as it was, and removes what was written.
class FileSink : public EntrySink {
public:
    FileSink(InstallTransaction& transaction, const char* path) : transaction(transaction), path(path) {}

    bool Begin(uint32_t entrySize) override {
        size = entrySize;
        file = transaction.Create(path, beside);
        return Noted(file.valid(), SetupExit::kFolderRefused);
    }
    bool Write(const void* bytes, uint32_t length) override {
        return Noted(WriteWhole(file.get(), static_cast<const unsigned char*>(bytes), length), SetupExit::kFailed);
    }
    // A file that cannot be set aside or put in place is held by a running program.
    bool Commit() override { return Noted(transaction.Place(file, path, beside), SetupExit::kFileInUse); }
    // Why the file was not written: the system's reason, else (the sink never failed) the
    // entry's own - damaged in the package or undecodable.
    SetupExit Failure() const { return failure; }
    void Discard() override { InstallTransaction::Discard(file); }
    uint32_t Size() const { return size; }

private:
    // ok, else the failure: a full disk when the system says so, else what the failing step
    // tells (a folder that refuses the file, a file that cannot be replaced).
    bool Noted(bool ok, SetupExit fallback) {
        if (ok) return true;
        const DWORD error = ::GetLastError();
        failure = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? SetupExit::kDiskFull : fallback;
        return false;
    }

    InstallTransaction& transaction;
    const char* path;
    SetupExit failure = SetupExit::kDamagedPackage;
    bool beside = false;
    win::FileHandle file;
    uint32_t size = 0;
};

}  // namespace

// ExtractFile's own steps.
class Installer::ExtractSteps {
public:
    static bool DecodeWithZlib(Installer& in);
    [[nodiscard]] static bool LoadDecoded(Installer& in, const char* name, const unsigned char*& content,
                                          uint32_t& contentSize);
    static ExtractResult ExtractTo(Installer& in, const char* name, const char* path, bool decode);
    static ExtractResult ExtractStored(Installer& in, const char* name, const char* path);
    static bool ExtractList(Installer& in, const char* countKey, const char* itemPrefix, const char* section,
                            bool decode, float progressBase, const char* missingMessage);
};

// A name below its folder: no drive, no ':' stream, no ".." step (a leading separator is
// allowed).
bool Installer::StaysInside(const char* name) {
    // A leading separator is allowed: it doubles the one after the folder.
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == ':') return false;
        if (*p == '\\' || *p == '/' || *p == '\0') {
            if (p - component == 2 && component[0] == '.' && component[1] == '.') return false;
            if (*p == '\0') return true;
            component = p + 1;
        }
    }
}

bool Installer::CreateFoldersAlong(const char* path) {
    // The last file's folder was walked already and exists or cannot be made: walking it again
    // would only fail, one system call per step, for each of the many files a folder holds.
    const size_t folderLength = win::FolderLength(path);
    if (folderLength == 0 || folderLength >= sizeof(walkedFolder)) {
        walkedFolder[0] = '\0';
    } else if (std::memcmp(path, walkedFolder, folderLength) == 0 && walkedFolder[folderLength] == '\0') {
        return true;
    } else {
        std::memcpy(walkedFolder, path, folderLength);
        walkedFolder[folderLength] = '\0';
    }
    if (CreateFoldersOf(path, kMaxPath)) return true;
    walkedFolder[0] = '\0';
    return false;
}

// Creates each missing folder along path within its first scanLimit characters (at most
// kFolderCapacity - 1), recording the ones it made. False, with nothing more made, at a
// folder on the way that is a link (a junction or symbolic link): nothing is written
// through one.
bool Installer::CreateFoldersOf(const char* path, size_t scanLimit) {
    char prefix[kFolderCapacity + 1];
    // By character: the second byte of a double-byte character may be a backslash.
    for (size_t i = 0, n = 0; i < scanLimit && (n = win::CharLength(path + i)) != 0; i += n) {
        std::memcpy(prefix + i, path + i, n);
        if (n != 1 || (path[i] != '\\' && path[i] != '/')) continue;
        prefix[i] = '\\';
        prefix[i + 1] = '\0';
        // Fails for the drive root and every folder already there: those are not ours to record.
        if (places.folders->CreateFolder(prefix, newFolderSecurity)) {
            if (Record(createdFolders, prefix)) continue;
            // On no list, so it would stay behind: it goes now, and nothing is made below it.
            transaction.RemoveFolder(prefix);
            return false;
        }
        // A drive's root is no link, whatever the system says of the place it is mounted on.
        const DWORD attributes = i == 2 ? INVALID_FILE_ATTRIBUTES : InstallTransaction::Attributes(prefix);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
    }
    return true;
}

bool Installer::ExtractSteps::DecodeWithZlib(Installer& in) {
    if (in.entrySize < 4) return false;
    const uint32_t plainSize = LoadU32(in.entryData + in.entrySize - 4);
    // Deflate gives at most 1032 bytes per stored byte: a larger trailer is no stream's size,
    // and would have a few stored bytes allocate up to 4 GiB.
    constexpr uint64_t kMaxZlibRatio = 1032;
    if (plainSize > (in.entrySize - 4) * kMaxZlibRatio) return false;
    win::HeapBuffer<unsigned char> plain = win::AllocateBuffer<unsigned char>(plainSize);
    if (!plain) return false;
    // What zlib's one-shot uncompress does, through the inflate calls the streamed project
    // files need anyway: uncompress itself would cost the stub half a kilobyte more.
    z_stream stream{};
    if (::inflateInit(&stream) != Z_OK) return false;
    stream.next_in = const_cast<unsigned char*>(in.entryData);
    stream.avail_in = in.entrySize - 4;
    stream.next_out = plain.get();
    stream.avail_out = plainSize;
    const int result = ::inflate(&stream, Z_FINISH);
    // As strict as the streamed road: the stream ends right before the trailer and gives
    // exactly the trailer's size. Anything else is not the file the package was made from.
    const bool whole = result == Z_STREAM_END && stream.avail_in == 0 && stream.total_out == plainSize;
    ::inflateEnd(&stream);
    if (!whole) return false;
    in.decoded = std::move(plain);
    in.entryData = in.decoded.get();
    in.entrySize = plainSize;
    return true;
}

int Installer::ShowItem(const char* name, const char* reason, const char* caption, UINT style) {
    char text[600];  // a name of at most 399 characters and one of our reasons
    (void)win::FormatText(text, sizeof(text), "%s\n\n%s", name, reason);
    return messages.Show(text, caption, style);
}

bool Installer::RefuseItem(const char* name, const char* reason) {
    ShowItem(name, reason, "Installation Error", MB_OK | MB_ICONERROR);
    return false;
}

// False, with "<value>\n\nThis item would be written outside the installation folder." /
// "Installation Error", when value has a ".." step or a drive or stream colon that would
// take what is named by it out of its folder; fullPath allows a leading drive.
bool Installer::StaysInPlace(const char* value, bool fullPath) {
    // A full folder path may begin with its drive; what follows it must not climb out.
    return StaysInside(fullPath && value[0] != '\0' && value[1] == ':' ? value + 2 : value) ||
           RefuseItem(value, "This item would be written outside the installation folder.");
}

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
ExtractResult Installer::ExtractFile(const char* name, bool decode) {
    if (name == nullptr) return ExtractResult::kMissing;
    char path[kFolderCapacity];
    if (!StaysInPlace(name, false)) {
        NoteFailure(SetupExit::kDamagedPackage);
        return ExtractResult::kFailed;
    }
    // A file that replaces another needs room for its temporary name.
    if (!Join(path, sizeof(path), installFolder, "\\", name) || std::strlen(path) > InstallTransaction::kLongestPath) {
        NoteFailure(SetupExit::kPathTooLong);
        RefuseItem(name, kTooLong);
        return ExtractResult::kFailed;
    }
    if (!CreateFoldersAlong(path)) {
        NoteFailure(SetupExit::kFolderRefused);
        RefuseItem(name, "A folder on the way to this item is a link to another place; nothing is written through it.");
        return ExtractResult::kFailed;
    }
    // Only an entry the table lacks is "not found"; one that fails to read is damaged, and
    // the reader has said so with its CRC box.
    if (!reader || !reader->Contains(name)) {
        messages.Show(name, "Could not find resource", MB_OK);
        return ExtractResult::kMissing;
    }
    return ExtractSteps::ExtractTo(*this, name, path, decode);
}

ExtractResult Installer::ExtractSteps::ExtractTo(Installer& in, const char* name, const char* path, bool decode) {
    if (!decode) return ExtractStored(in, name, path);
    uint32_t contentSize = 0;
    if (!in.WriteDecodedTo(name, path, contentSize)) return ExtractResult::kFailed;
    return contentSize != 0 ? ExtractResult::kWritten : ExtractResult::kEmpty;
}

// Entry name decoded as ExtractFile decodes it, written whole to path as a file of the run
// (a file there is replaced, and kept aside until the commit) or not at all. False on failure,
// with the system's error code kept for the caller. For the copies outside installFolder: made
// from the package, not from a file in a folder that someone might have changed since.
bool Installer::WriteDecodedTo(const char* name, const char* path, uint32_t& size) {
    const unsigned char* content = nullptr;
    if (!ExtractSteps::LoadDecoded(*this, name, content, size)) {
        NoteFailure(SetupExit::kDamagedPackage);
        return false;
    }
    FileSink sink(transaction, path);
    if (sink.Begin(size) && sink.Write(content, size) && sink.Commit()) return true;
    const DWORD error = ::GetLastError();
    NoteFailure(sink.Failure());
    sink.Discard();
    ::SetLastError(error);
    return false;
}

// Loads entry name and decodes it through fileLoader when it is set, else through zlib;
// content and contentSize then hold the bytes to write. False, after "Error decompress" /
// "Error" when decoding failed, or the reader's box when the entry is damaged.
bool Installer::ExtractSteps::LoadDecoded(Installer& in, const char* name, const unsigned char*& content,
                                          uint32_t& contentSize) {
    // The last decoding goes before the next entry is loaded, so an entry never needs more
    // than itself and its decoded bytes.
    if (in.entryData == in.decoded.get()) {
        in.entryData = nullptr;
        in.entrySize = 0;
    }
    in.decoded.reset();
    if (!in.GetPackageEntry(name, nullptr, 0, nullptr)) return false;
    if (in.fileLoader) {
        in.fileLoader->LoadFromMemory(in.entryData, in.entrySize, kLoadBorrowed);
        in.entryData = nullptr;
        // A "VBRF" chunk that does not decode would otherwise be written still encoded.
        if (in.fileLoader->FindChunk(kVbrfTag, 0) && !in.channelFactory->fileDecoder.DecodeFile(in.fileLoader.get())) {
            in.messages.Show("Error decompress", "Error", MB_OK);
            return false;
        }
        content = in.fileLoader->GetData();
        contentSize = in.fileLoader->GetSize();
        return true;
    }
    if (!DecodeWithZlib(in)) {
        in.messages.Show("Error decompress", "Error", MB_OK);
        return false;
    }
    content = in.entryData;
    contentSize = in.entrySize;
    return true;
}

// ExtractFile's road for an entry written as stored: streamed to path, decoded on the way
// when the package marks it compressed ("Error decompress" / "Error" when it does not
// decode to its trailer's size).
ExtractResult Installer::ExtractSteps::ExtractStored(Installer& in, const char* name, const char* path) {
    // Streamed, not loaded: a stored project file may be larger than a 32-bit process can hold.
    // ExtractFile has made sure the entry is there. Only an item the package marks compressed
    // is decoded: without its marker the bytes are the file, whatever they look like.
    FileSink sink(in.transaction, path);
    bool decodeFailed = false;
    if (in.reader->StreamItem(name, sink, decodeFailed) != StreamResult::kWritten) {
        // Damaged in the package, undecodable or not writable on disk: either way the item is
        // not there.
        if (decodeFailed) in.messages.Show("Error decompress", "Error", MB_OK);
        in.NoteFailure(sink.Failure());
        return ExtractResult::kFailed;
    }
    return sink.Size() != 0 ? ExtractResult::kWritten : ExtractResult::kEmpty;
}

// "There was an error while trying to copy one of the installation files..." /
// "Installation Error": the box of every install that stops because a file is not there.
void Installer::ShowCopyError() { messages.Show(kCopyError, "Installation Error", MB_OK | MB_ICONERROR); }

// ExtractFile (decoded). With missingText, any failure (missing, damaged, not written) then
// shows that text / "P", false. Without, an entry the package holds that did not arrive
// shows the copy error, false, and a missing one (after "Could not find resource") counts
// as done.
bool Installer::ExtractRequired(const char* name, const char* missingText) {
    const ExtractResult result = ExtractFile(name, true);
    if (result) return true;
    // A file the mode cannot start without (the viewer) has its own box whatever kept it off
    // the disk; for the others the copy error tells an entry the package holds that did not
    // arrive from one it lacks.
    if (missingText != nullptr) {
        // One the package lacks makes it incomplete; one that did not arrive has noted why.
        NoteFailure(SetupExit::kDamagedPackage);
        messages.Show(missingText, "P", MB_OK);
        return false;
    }
    if (!result.Failed()) return true;
    ShowCopyError();
    return false;
}

// Writes the fixed engine file list below installFolder, stopping at the first failure
// with "There was an error while trying to copy one of the installation files..." /
// "Installation Error".
bool Installer::ExtractEngineFiles() {
    bool ok = true;
    for (const char* name : kEngineFiles) {
        ok = static_cast<bool>(ExtractFile(name, true));
        if (!ok) break;
    }
    // The start file is the project's, stored as is.
    if (ok) ok = static_cast<bool>(ExtractFile(kStartFile, false));
    if (!ok) {
        // A file the package lacks; one it holds that did not arrive has noted why.
        NoteFailure(SetupExit::kDamagedPackage);
        ShowCopyError();
    }
    return ok;
}

bool Installer::ExtractSteps::ExtractList(Installer& in, const char* countKey, const char* itemPrefix,
                                          const char* section, bool decode, float progressBase,
                                          const char* missingMessage) {
    unsigned char raw[4] = {};
    if (!in.GetPackageEntry(countKey, raw, sizeof(raw), section)) {
        in.NoteFailure(SetupExit::kDamagedPackage);
        in.messages.Show(missingMessage, "Error", MB_OK);
        return false;
    }
    auto count = static_cast<int32_t>(LoadU32(raw));
    // The count was read, so the reader is there. Each item is an entry of its own: a count
    // beyond the table names nothing more, and trying 2^31 keys would take hours.
    if (count > in.reader->EntryCount()) count = in.reader->EntryCount();
    // Each move of the bar repaints it at once; for thousands of small files that costs
    // seconds where drawing is slow, and a few moves a second show the same progress.
    DWORD shownAt = ::GetTickCount() - progress_point::kListStepMs;
    for (int32_t i = 0; i < count; ++i) {
        if (progressBase >= 0) {
            const DWORD now = ::GetTickCount();
            if (now - shownAt >= progress_point::kListStepMs) {
                shownAt = now;
                in.SetProgress(
                    static_cast<float>(static_cast<double>(i) / count * progress_point::kListSpan + progressBase));
            }
        }
        char key[64];  // one of our prefixes and a number
        (void)win::FormatText(key, sizeof(key), "%s%ld", itemPrefix, static_cast<long>(i));
        char item[kItemNameCapacity + 1] = {};
        // A missing item is the package's business; one that is damaged (its name included:
        // the reader has shown its CRC box) or could not be written (disk full, file locked)
        // leaves an installation that must not pass for a whole one.
        const bool named = in.GetPackageEntry(key, item, kItemNameCapacity, section);
        if (!named && !in.reader->Contains(key, section)) continue;
        if (!named || in.ExtractFile(item, decode).Failed()) {
            in.ShowCopyError();
            return false;
        }
    }
    return true;
}

// The channel and channel-library lists of CHANNELINFO; items missing from the package are
// skipped. "Can't find ChannelCount" / "Error" when a count is missing. An item that is
// damaged or cannot be written (disk full, file locked) stops the list with the copy error
// of ExtractEngineFiles, false. A count beyond the table's entries is taken as their number.
bool Installer::ExtractChannels() {
    constexpr const char* kMissing = "Can't find ChannelCount";
    return ExtractSteps::ExtractList(*this, kChannelCountKey, kChannelItemPrefix, kChannelSection, true,
                                     progress_point::kNoProgress, kMissing) &&
           ExtractSteps::ExtractList(*this, kChannelLibraryCountKey, kChannelLibraryItemPrefix, kChannelSection, true,
                                     progress_point::kChannelLibraries, kMissing);
}

// The project files of FILEINFO, written as stored. "Can't find FileCount" / "Error"; an
// item that cannot be written as in ExtractChannels.
bool Installer::ExtractProjectFiles() {
    return ExtractSteps::ExtractList(*this, kFileCountKey, kFileItemPrefix, kFileSection, false,
                                     progress_point::kProjectFiles, "Can't find FileCount");
}
