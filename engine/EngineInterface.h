#pragma once
#include <windows.h>

#include <cstdint>

// The engine core library and its channel libraries are built and shipped apart from the
// program, so every object that crosses the boundary is an abstract class of pure virtual
// functions only: no data members, no overloads, no virtual destructor, one calling
// convention. Its table then holds exactly the declared functions in declared order, and
// both sides agree on it whatever else changes. The first slot destroys the object.
#define ORVAN_ENGINE_CALL __stdcall

// The only delete flag the engine accepts; Destroy with any other value does nothing.
constexpr int kEngineDeleteObject = 1;

// The engine's own class identifiers, given to ChannelFactory::CreateChannel.
// {E3830E49-BA0B-4038-AC63-1B1C08BC3EE8}
inline constexpr GUID kFileLoaderChannelId = {
    0xE3830E49, 0xBA0B, 0x4038, {0xAC, 0x63, 0x1B, 0x1C, 0x08, 0xBC, 0x3E, 0xE8}};
// {C90BECD3-A913-4009-8616-2E9EFBD9E3C1}
inline constexpr GUID kFileSaverChannelId = {
    0xC90BECD3, 0xA913, 0x4009, {0x86, 0x16, 0x2E, 0x9E, 0xFB, 0xD9, 0xE3, 0xC1}};
// {7C3AB23C-2A79-4F77-9E53-A942C0BF6441}
inline constexpr GUID kDirectoryChannelId = {
    0x7C3AB23C, 0x2A79, 0x4F77, {0x9E, 0x53, 0xA9, 0x42, 0xC0, 0xBF, 0x64, 0x41}};

// LoadFromMemory's mode: the loader borrows the bytes, which the caller keeps valid
// (and unchanged) until it has used GetData/GetSize for the last time.
constexpr int kLoadBorrowed = 1;
// Open's mode: create the file, replacing an existing one.
constexpr int kSaveCreate = 0;

// What every channel has in common: CreateChannel returns one, the caller owns it and casts
// it to the interface of the class identifier it asked for.
class EngineChannel {
public:
    // deleteFlag 1: destroys the channel (and closes what it holds open).
    virtual void ORVAN_ENGINE_CALL Destroy(int deleteFlag) = 0;
};

// Gives the engine's view of one file held in memory: the whole buffer, or one chunk of it.
class FileLoaderChannel : public EngineChannel {
public:
    // Takes data/size as the current content (mode kLoadBorrowed; nothing is copied).
    // False for another mode, null data or an empty buffer; the content is then data/size all
    // the same, so GetSize reports 0 for an empty one.
    virtual bool ORVAN_ENGINE_CALL LoadFromMemory(const void* data, uint32_t size, int mode) = 0;
    // Looks for the index-th chunk (0 = first) tagged with the four characters of tag.
    // True: GetData/GetSize are that chunk's data. False when the buffer is not a well-formed
    // chunk file or holds no such chunk: GetData/GetSize stay as they were.
    virtual bool ORVAN_ENGINE_CALL FindChunk(const char* tag, int index) = 0;
    virtual const unsigned char* ORVAN_ENGINE_CALL GetData() = 0;
    virtual uint32_t ORVAN_ENGINE_CALL GetSize() = 0;
    // Engine side only (FileDecoder uses it): after FindChunk found a "VBRF" chunk, replaces
    // the content by the file it encodes. False when there is nothing to decode or the data is
    // damaged (bad stream, size that does not match); the content then stays as it was.
    virtual bool ORVAN_ENGINE_CALL DecodeChunk() = 0;
};

// Writes a chunk file: chunks in call order, each tag, size, data.
class FileSaverChannel : public EngineChannel {
public:
    // Creates path (mode kSaveCreate), finishing a file still open. False when it cannot be
    // created; nothing is open then.
    virtual bool ORVAN_ENGINE_CALL Open(const char* path, int mode) = 0;
    // Starts a chunk with the first four characters of tag; a chunk that gets no data is a
    // tag-only chunk of size 0. False without an open file or for a tag shorter than four.
    virtual bool ORVAN_ENGINE_CALL BeginChunk(const char* tag) = 0;
    // Announces the chunk's size; the stored size is always the count of bytes given to Write.
    virtual bool ORVAN_ENGINE_CALL WriteChunkSize(uint32_t size) = 0;
    // Appends to the current chunk. False without a begun chunk.
    virtual bool ORVAN_ENGINE_CALL Write(const void* data, uint32_t size) = 0;
    // Finishes the last chunk and closes the file; the channel can then Open another.
    // False when nothing was open or some write failed.
    virtual bool ORVAN_ENGINE_CALL Close() = 0;
};

// Lists one folder. The names are taken at Scan, so counts and names stay those of the scan
// while the caller deletes what they name.
class DirectoryChannel : public EngineChannel {
public:
    virtual int ORVAN_ENGINE_CALL FileCount() = 0;
    // Sub-folders, "." and ".." included where the file system lists them.
    virtual int ORVAN_ENGINE_CALL FolderCount() = 0;
    // pattern is a FindFirstFile pattern, folder + "\*.*". False when nothing can be listed;
    // both counts are then 0.
    virtual bool ORVAN_ENGINE_CALL Scan(const char* pattern) = 0;
    // Wildcards (* and ?, letter case ignored) that file names must match; "*.*" or null
    // takes every file. Folders are always listed. Applies to the next Scan.
    virtual bool ORVAN_ENGINE_CALL SetFilter(const char* filter) = 0;
    // Bare names, valid until the next Scan or Destroy; null for an index out of range.
    virtual const char* ORVAN_ENGINE_CALL FileName(int index) = 0;
    virtual const char* ORVAN_ENGINE_CALL FolderName(int index) = 0;
};

// Not an engine object but a member of the factory: it decodes through the loader it is given,
// so the decoding itself stays inside the loader's library.
struct FileDecoder {
    // True when the loader's found chunk was decoded into the original file.
    bool DecodeFile(FileLoaderChannel* loader) const;
};

inline bool FileDecoder::DecodeFile(FileLoaderChannel* loader) const {
    return loader != nullptr && loader->DecodeChunk();
}

// Owned by the EngineControl that returned it; it and every library it loaded live until that
// control is destroyed. The program never destroys it itself.
class ChannelFactory {
public:
    virtual void ORVAN_ENGINE_CALL Destroy(int deleteFlag) = 0;
    // A new channel for classId (arguments 2 and 3 are reserved: pass 0), owned by the caller
    // and destroyed before the control. Null for an unknown identifier or when its library
    // cannot be loaded from the base folder.
    virtual EngineChannel* ORVAN_ENGINE_CALL CreateChannel(GUID classId, int reserved1, int reserved2) = 0;

    // Stateless, so it adds nothing to the object's layout.
    static constexpr FileDecoder fileDecoder{};
};

class EngineControl {
public:
    // deleteFlag 1: destroys the control, its factory, and unloads the channel libraries.
    virtual void ORVAN_ENGINE_CALL Destroy(int deleteFlag) = 0;
    // Records the program's instance, its window class and host window. False for a null
    // class name.
    virtual bool ORVAN_ENGINE_CALL Initialize(HINSTANCE instance, const char* className, HWND window) = 0;
    virtual ChannelFactory* ORVAN_ENGINE_CALL GetChannelFactory() = 0;
    // The folder the engine was installed into: channel libraries are loaded from below it by
    // full path, never through the library search. False for a null folder.
    virtual bool ORVAN_ENGINE_CALL SetBaseFolder(const char* folder) = 0;
};

// The core library's one export, found by GetProcAddress under this undecorated name.
// Returns a new control owned by the caller, or null.
using GetEngineControlInstanceFunc = EngineControl*(ORVAN_ENGINE_CALL*)();
constexpr const char kGetEngineControlInstanceName[] = "GetEngineControlInstance";

// Nothing but the table pointer: a data member or second base here would shift every slot.
static_assert(sizeof(EngineControl) == sizeof(void*), "interfaces hold no data");
static_assert(sizeof(ChannelFactory) == sizeof(void*), "interfaces hold no data");
static_assert(sizeof(FileLoaderChannel) == sizeof(void*), "interfaces hold no data");
static_assert(sizeof(FileSaverChannel) == sizeof(void*), "interfaces hold no data");
static_assert(sizeof(DirectoryChannel) == sizeof(void*), "interfaces hold no data");
