// Writes a few well-formed packages as the fuzzers' starting corpus.
#include <string>

#include "PackageFixture.h"
#include "PeImageFixture.h"
#include "RecordBytes.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string folder = argv[1];
    using testkit::Bytes;
    const Bytes stub(200, 0x90);
    bool ok = true;
    ok &= testkit::WriteFileBytes(folder + "/minimal.bin", testkit::PackageFixture().Number("ProjectType", 1).Image(stub));
    ok &= testkit::WriteFileBytes(folder + "/empty.bin", testkit::PackageFixture().Image(stub));
    ok &= testkit::WriteFileBytes(folder + "/mixed.bin", testkit::PackageFixture()
                                                            .Number("ProjectType", 2)
                                                            .Flag("CheckDx8", true)
                                                            .Text("ProjectName", "Demo")
                                                            .Number("ChannelCount", 1, "CHANNELINFO")
                                                            .Text("ChannelItemNameID0", "\\a.chn", "CHANNELINFO")
                                                            .Raw("\\a.chn", Bytes(300, 7))
                                                            .Image(stub));
    // Uninstall records as the three installing modes write them.
    ok &= testkit::WriteFileBytes(folder + "/record-project.nfo",
                                  testkit::MakeUninstallRecord({"C:\\Demo\\OrvanViewer.exe", "C:\\Demo\\ZRXUnInst.exe"},
                                                               {"C:\\Demo\\channels\\", "C:\\Demo\\"}, "Demo", false));
    ok &= testkit::WriteFileBytes(folder + "/record-saver.nfo",
                                  testkit::MakeUninstallRecord({"C:\\windows\\system32\\Demo.scr", std::string(300, 'x')},
                                                               {}, "Demo", true));
    // Signed after packing: the certificate table ends the file, so the reader takes its other way.
    Bytes signedImage = testkit::PackageFixture().Number("ProjectType", 1).Image(testkit::MinimalPeImage(600));
    testkit::AppendCertificateTable(signedImage, Bytes(64, 0x30));
    ok &= testkit::WriteFileBytes(folder + "/signed.bin", signedImage);
    return ok ? 0 : 1;
}
