#include "testkit/ComponentPackage.h"

#include <cstdio>
#include <cstdlib>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "engine/ChunkSchema.h"
#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageSchema.h"

namespace testkit {

namespace {

void Must(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "package fixture: %s\n", what.c_str());
        std::abort();
    }
}

Bytes ZlibFile(const std::string& path) { return ZlibStored(FileBytesOrDie(path)); }

Bytes Pattern(size_t size, unsigned seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>((i * 131 + seed) ^ (i >> 7));
    return out;
}

}  // namespace

Bytes FileBytesOrDie(const std::string& path) {
    Bytes bytes;
    Must(ReadFileBytes(path, bytes), "cannot read " + path);
    return bytes;
}

Bytes ZlibStored(const Bytes& plain) {
    Bytes packed;
    std::string error;
    Must(PackageWriter::CompressWithSizeTrailer(plain, packed, error), "cannot compress: " + error);
    return packed;
}

Bytes Vbrf(const Bytes& plain) {
    Bytes file;
    Must(chunk::EncodeVbrf(plain.data(), plain.size(), file), "cannot encode in the engine's form");
    return file;
}

Bytes MakeStartFile(const std::string& title, uint32_t holdMs, uint32_t exitCode, const std::string& note) {
    Bytes file;
    chunk::AppendChunk(file, kStartTitleTag, title.c_str(), static_cast<uint32_t>(title.size()));
    unsigned char value[4];
    StoreU32(value, holdMs);
    chunk::AppendChunk(file, kStartHoldTag, value, 4);
    StoreU32(value, exitCode);
    chunk::AppendChunk(file, kStartExitTag, value, 4);
    if (!note.empty()) chunk::AppendChunk(file, kStartNoteTag, note.c_str(), static_cast<uint32_t>(note.size()));
    return file;
}

Bytes ComponentSceneBytes() { return Pattern(50000, 3); }

bool IsRunFolderName(const std::string& name) {
    return name.size() == 27 && name.compare(0, 7, "Orvan3D") == 0 &&
           name.find_first_not_of("0123456789", 7) == std::string::npos;
}

namespace {

// The two project files in one LZMA block: the block as the packer makes it, or blockStored.
void AddBlockedProjectFiles(PackageFixture& f, const Bytes& blockStored) {
    const Bytes scene = ComponentSceneBytes();
    const Bytes wood = Pattern(70000, 4);
    if (blockStored.empty()) {
        f.BlockItems({{"\\media\\scene.dat", scene}, {"\\media\\textures\\wood.bin", wood}}, 1u << 20);
        return;
    }
    f.Raw("\\media\\scene.dat", {}).Raw("\\media\\textures\\wood.bin", {});
    f.Raw("\\media\\scene.dat", BlockRecord(0, 0, 50000, Crc32::Update(0, scene.data(), 50000)),
          package_format::kBlockItemSection);
    f.Raw("\\media\\textures\\wood.bin", BlockRecord(0, 50000, 70000, Crc32::Update(0, wood.data(), 70000)),
          package_format::kBlockItemSection);
    f.Raw("0", blockStored, package_format::kBlockSection);
}

}  // namespace

ComponentPackage MakeComponentPackage(const std::string& binFolder, const ProjectOptions& options) {
    ComponentPackage package;
    PackageFixture& f = package.fixture;
    f.Number(kProjectTypeKey, options.projectType);
    if (options.withCheckDx8) f.Flag(kCheckDx8Key, options.checkDx8);
    f.Text(kProjectNameKey, "Test Project");
    auto source = [&](const std::string& name) {
        const auto found = options.substitutes.find(name);
        return binFolder + "\\" + (found != options.substitutes.end() ? found->second : name);
    };
    if (options.withViewer) {
        f.Raw(kViewerFile, ZlibFile(source(kViewerFile)));
        package.files.push_back(kViewerFile);
    }
    for (const char* name : kEngineFiles) {
        f.Raw(name, ZlibFile(source(name)));
        package.files.push_back(name);
    }
    f.Raw(kStartFile, MakeStartFile("Test Project", options.holdMs, options.exitCode, options.note));
    package.files.push_back(kStartFile);

    f.Number(kChannelCountKey, 1, kChannelSection)
        .Text(std::string(kChannelItemPrefix) + "0", "\\channels\\scene.chn", kChannelSection)
        .Raw("\\channels\\scene.chn", Vbrf(Pattern(20000, 1)));
    f.Number(kChannelLibraryCountKey, 1, kChannelSection)
        .Text(std::string(kChannelLibraryItemPrefix) + "0", "\\plugins\\effects.bin", kChannelSection)
        .Raw("\\plugins\\effects.bin", Vbrf(Pattern(30000, 2)));
    f.Number(kFileCountKey, 2, kFileSection)
        .Text(std::string(kFileItemPrefix) + "0", "\\media\\scene.dat", kFileSection)
        .Text(std::string(kFileItemPrefix) + "1", "\\media\\textures\\wood.bin", kFileSection);
    if (options.blockProjectFiles) {
        AddBlockedProjectFiles(f, options.blockStored);
    } else {
        const bool compress = options.compressProjectFiles;
        Bytes scene = ComponentSceneBytes();
        if (compress) scene = options.compressedStored.empty() ? ZlibStored(scene) : options.compressedStored;
        f.Raw("\\media\\scene.dat", scene)
            .Raw("\\media\\textures\\wood.bin", compress ? ZlibStored(Pattern(70000, 4)) : Pattern(70000, 4));
        if (compress) f.Flag("\\media\\scene.dat", true, package_format::kCompressedSection);
    }
    for (const char* name : {"channels\\scene.chn", "plugins\\effects.bin", "media\\scene.dat",
                             "media\\textures\\wood.bin"}) {
        package.files.push_back(name);
    }
    return package;
}

}  // namespace testkit
