// Writes the fuzzers' starting corpus: well-formed packages into <folder>/package, the
// engine's stored files into <folder>/chunk, their "VBRF" chunk data into <folder>/vbrf and
// their compressed project-file form into <folder>/zlib,
// made from the sample project's files with the packer's own writer and encoder.
#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
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
