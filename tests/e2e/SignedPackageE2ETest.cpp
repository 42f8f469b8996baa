// Packed programs signed after packing. The signing happens outside (SignedPackage.sh, with
// osslsigncode and a throw-away certificate), between the two runs of this program:
//   SignedPackageTest --make FOLDER   writes the unsigned packed programs into FOLDER
//   SignedPackageTest --forge IN OUT  plants a second package inside IN's certificate table
//   SignedPackageTest                 runs the signed ones from ORVAN_SIGNED_FOLDER
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/LittleEndian.h"
#include "package/PeCertificates.h"
#include "package/StdioPackageFile.h"
#include "testkit/PackageFixture.h"
#include "testkit/UiDriver.h"

using testkit::Boxes;
using testkit::Bytes;
using testkit::PackageFixture;

namespace {

constexpr DWORD kRunLimitMs = 30000;
constexpr size_t kPastTheSearch = 250000;

// The package the program must find: a ProjectType of no mode, so the program ends silently.
PackageFixture Real() { return PackageFixture().Number("ProjectType", 7).Text("ProjectName", "Signed"); }

// A package in front of the real one that the bounded search reaches first. It has no
// ProjectType: a program that took it would say "Can't find project type".
Bytes WithDecoy(const Bytes& stub) {
    Bytes image = stub;
    const Bytes decoy = PackageFixture().Text("ProjectName", "Decoy").Package(static_cast<uint32_t>(stub.size()));
    image.insert(image.end(), decoy.begin(), decoy.end());
    return image;
}

int Make(const std::string& folder) {
    Bytes stub, adminStub;
    if (!testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub)) return 1;
    if (!testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExeAdmin.exe", adminStub)) return 1;
    Bytes padded = stub;
    padded.resize(kPastTheSearch, 0);
    // The control: without its trailer the unsigned program falls back to the search, which
    // finds the decoy.
    Bytes searched = Real().Image(WithDecoy(stub));
    searched.insert(searched.end(), {1, 2, 3, 4, 5});
    const struct {
        const char* name;
        Bytes image;
    } files[] = {
        {"decoy.exe", Real().Image(WithDecoy(stub))},
        {"padded.exe", Real().Image(padded)},
        {"admin.exe", Real().Image(WithDecoy(adminStub))},
        {"searched.exe", searched},
    };
    for (const auto& file : files) {
        if (!testkit::WriteFileBytes(folder + "\\" + file.name, file.image)) return 1;
    }
    return 0;
}

// The attack on a signed program: a second complete package and its trailer appended inside
// the certificate table, the table's own length and the security directory's size grown to
// cover them. The signature does not cover the table, so it still verifies. The planted
// package has no ProjectType: a program that took it would say "Can't find project type".
int Forge(const std::string& in, const std::string& out) {
    Bytes image;
    if (!testkit::ReadFileBytes(in, image)) return 1;
    MemoryPackageFile file(image.data(), image.size());
    CertificateTable table;
    if (!FindCertificateTable(file, image.size(), table) || table.offset + table.size != image.size()) return 1;
    const PackageFixture planted = PackageFixture().Text("ProjectName", "Forged").Text("Forged", "yes");
    // Verifiers add up the table's entries rounded to 8 bytes: zeros in front keep the grown
    // table a multiple of 8 while the planted trailer stays the file's last 4 bytes.
    const size_t plantedSize = planted.Package(0).size();
    while ((image.size() + plantedSize - table.offset) % 8 != 0) image.push_back(0);
    const Bytes forged = planted.Package(static_cast<uint32_t>(image.size()));
    image.insert(image.end(), forged.begin(), forged.end());
    const auto grown = static_cast<uint32_t>(image.size() - table.offset);
    StoreU32(&image[table.offset], grown);
    // Our stubs are PE32: the directories start 96 bytes into the optional header, the
    // security directory is the fifth.
    const size_t securityEntry = LoadU32(&image[0x3C]) + 24 + 96 + 4 * 8;
    StoreU32(&image[securityEntry + 4], grown);
    return testkit::WriteFileBytes(out, image) ? 0 : 1;
}

std::string SignedFolder() {
    const char* folder = std::getenv("ORVAN_SIGNED_FOLDER");
    return folder != nullptr ? folder : "";
}

}  // namespace

TEST(SignedPackage, SignedProgramsFindTheirPackageBeforeTheCertificateTable) {
    const std::string folder = SignedFolder();
    ASSERT_FALSE(folder.empty()) << "run through SignedPackage.sh";
    struct Case {
        const char* file;
        std::vector<std::string> boxes;
    } cases[] = {
        // The unsigned programs: the trailer ends the file.
        {"decoy.exe", {}},
        {"padded.exe", {}},
        {"admin.exe", {}},
        // The control: the search alone takes the decoy.
        {"searched.exe", {"Can't find project type / Error"}},
        // Signed: the certificate table ends the file. The decoy shows that the package is not
        // found by the search, the padding that it is found beyond the search's reach.
        {"decoy-signed.exe", {}},
        {"padded-signed.exe", {}},
        // The variant that asks for elevation, signed alike.
        {"admin-signed.exe", {}},
        // A package planted inside the certificate table, the signature still valid: the
        // program runs the signed package, beyond the search's reach and within it.
        {"padded-forged.exe", {}},
        {"decoy-forged.exe", {}},
        {"admin-forged.exe", {}},
    };
    for (const Case& c : cases) {
        const std::string exe = folder + "\\" + c.file;
        const auto run = testkit::RunAndDrive(exe, "\"" + exe + "\"", kRunLimitMs);
        ASSERT_TRUE(run.started) << c.file;
        EXPECT_FALSE(run.timedOut) << c.file;
        EXPECT_EQ(run.exitCode, 0u) << c.file;
        EXPECT_EQ(Boxes(run), c.boxes) << c.file;
    }
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--make") return Make(argv[2]);
    if (argc == 4 && std::string(argv[1]) == "--forge") return Forge(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
