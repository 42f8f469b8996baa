// Writes the fuzzers' starting corpus: well-formed packages into <folder>/package, the
// engine's stored files into <folder>/chunk, their "VBRF" chunk data into <folder>/vbrf and
// their compressed project-file form into <folder>/zlib, the same files in LZMA blocks with
// their records (BlockItemFuzz's input form) into <folder>/blocks,
// made from the sample project's files with the packer's own writer and encoder.
#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "testkit/ComponentPackage.h"
#include "testkit/PackageFixture.h"
#include "testkit/PeImageFixture.h"
#include "testkit/RecordBytes.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string folder = argv[1];
    const std::string sample = argv[2];
    using testkit::Bytes;
    const Bytes stub(200, 0x90);
    bool ok = true;
    const std::string package = folder + "/package/";
    ok &= testkit::WriteFileBytes(package + "minimal.bin", testkit::PackageFixture().Number("ProjectType", 1).Image(stub));
    ok &= testkit::WriteFileBytes(package + "empty.bin", testkit::PackageFixture().Image(stub));
    ok &= testkit::WriteFileBytes(package + "mixed.bin", testkit::PackageFixture()
                                                             .Number("ProjectType", 2)
                                                             .Flag("CheckDx8", true)
                                                             .Text("ProjectName", "Demo")
                                                             .Number("ChannelCount", 1, "CHANNELINFO")
                                                             .Text("ChannelItemNameID0", "\\a.chn", "CHANNELINFO")
                                                             .Raw("\\a.chn", Bytes(300, 7))
                                                             .Image(stub));

    const char* files[] = {"channels/scene.chn", "channels/effects.chn", "scene/intro.scene", "ZRXStart.zrx"};
    int n = 0;
    for (const char* name : files) {
        Bytes plain;
        ok &= testkit::ReadFileBytes(sample + "/" + name, plain);
        Bytes stored;
        ok &= chunk::EncodeVbrf(plain.data(), plain.size(), stored);
        const std::string index = std::to_string(n++);
        ok &= testkit::WriteFileBytes(folder + "/chunk/stored" + index + ".bin", stored);
        ok &= stored.size() >= chunk::kHeaderSize &&
              testkit::WriteFileBytes(folder + "/vbrf/data" + index + ".bin",
                                      Bytes(stored.begin() + chunk::kHeaderSize, stored.end()));
        ok &= testkit::WriteFileBytes(folder + "/zlib/item" + index + ".bin", testkit::ZlibStored(plain));
        // Plain chunk files too (the start file is one), and one of several chunks.
        ok &= testkit::WriteFileBytes(folder + "/chunk/plain" + index + ".bin", plain);
    }
    // The first three files in two blocks, the second file running from block 0 into block 1,
    // as BlockItemFuzz reads them: control, count, records, block 0's size, block 0, block 1.
    {
        std::vector<Bytes> plains(3);
        Bytes all;
        for (int i = 0; i < 3; ++i) {
            ok &= testkit::ReadFileBytes(sample + "/" + files[i], plains[i]);
            all.insert(all.end(), plains[i].begin(), plains[i].end());
        }
        const size_t split = plains[0].size() + plains[1].size() / 2;
        const Bytes block0 = testkit::EncodedBlock(Bytes(all.begin(), all.begin() + split));
        const Bytes block1 = testkit::EncodedBlock(Bytes(all.begin() + split, all.end()));
        Bytes seed = {0, 3};
        const uint32_t offsets[] = {0, static_cast<uint32_t>(plains[0].size()),
                                    static_cast<uint32_t>(plains[1].size() - plains[1].size() / 2)};
        const uint32_t blocksOf[] = {0, 0, 1};
        for (int i = 0; i < 3; ++i) {
            const auto crc = Crc32::Update(0, plains[i].data(), static_cast<uint32_t>(plains[i].size()));
            const Bytes record = testkit::BlockRecord(blocksOf[i], offsets[i], static_cast<uint32_t>(plains[i].size()), crc);
            seed.insert(seed.end(), record.begin(), record.end());
        }
        AppendU32(seed, static_cast<uint32_t>(block0.size()));
        seed.insert(seed.end(), block0.begin(), block0.end());
        seed.insert(seed.end(), block1.begin(), block1.end());
        ok &= testkit::WriteFileBytes(folder + "/blocks/sample.bin", seed);
    }
    Bytes several;
    chunk::AppendChunk(several, "UNFC", "\1\0\0\0", 4);
    chunk::AppendChunk(several, "UNSK", nullptr, 0);
    chunk::AppendChunk(several, "VBRF", "\0\0\0\0", 4);
    ok &= testkit::WriteFileBytes(folder + "/chunk/several.bin", several);
    // Uninstall records as the three installing modes write them.
    ok &= testkit::WriteFileBytes(folder + "/record/project.nfo",
                                  testkit::MakeUninstallRecord({"C:\\Demo\\OrvanViewer.exe", "C:\\Demo\\ZRXUnInst.exe"},
                                                               {"C:\\Demo\\channels\\", "C:\\Demo\\"}, "Demo", false));
    ok &= testkit::WriteFileBytes(folder + "/record/saver.nfo",
                                  testkit::MakeUninstallRecord({"C:\\windows\\system32\\Demo.scr", std::string(300, 'x')},
                                                               {}, "Demo", true));
    // Signed after packing: the certificate table ends the file, so the reader takes its other way.
    Bytes signedImage = testkit::PackageFixture().Number("ProjectType", 1).Image(testkit::MinimalPeImage(600));
    testkit::AppendCertificateTable(signedImage, Bytes(64, 0x30));
    ok &= testkit::WriteFileBytes(package + "signed.bin", signedImage);
    return ok ? 0 : 1;
}
