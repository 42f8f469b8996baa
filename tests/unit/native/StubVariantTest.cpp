// The packer's choice of stub: the variant whose manifest asks for the rights the project's
// mode needs, and never a stub that is already signed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "package/PackageReader.h"
#include "testkit/PeImageFixture.h"
#include "tools/orvanpack/ConsoleHost.h"
#include "tools/orvanpack/PackageCommands.h"
#include "tools/orvanpack/Packer.h"

namespace fs = std::filesystem;
using testkit::Bytes;

namespace {

// A stub as the build makes it, as far as the packer looks: a PE image with the manifest text.
Bytes StubAsking(const std::string& level, unsigned char fill) {
    Bytes stub = testkit::MinimalPeImage(6000);
    std::fill(stub.begin() + 0x300, stub.end(), fill);
    const std::string manifest = "<trustInfo><requestedExecutionLevel level=\"" + level + "\" uiAccess=\"false\"/>";
    std::copy(manifest.begin(), manifest.end(), stub.begin() + 4000);
    return stub;
}

void Write(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class StubVariant : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("orvanpack_variant_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "bin");
        Write(dir / "bin" / "Orvan3DExe.exe", invoker);
        Write(dir / "bin" / "Orvan3DExeAdmin.exe", admin);
    }
    void TearDown() override { fs::remove_all(dir); }

    ExitStatus Build(const std::string& stubName, int projectType, const std::string& level, std::string& err,
                     bool perUser = false) {
        std::ofstream(dir / "project.toml") << "[[entry]]\nname = \"ProjectType\"\nnumber = " << projectType << "\n"
                                            << (perUser ? "[[entry]]\nname = \"PerUserInstall\"\nflag = true\n" : "");
        fs::remove(dir / "Project.exe");
        std::ostringstream messages;
        const ExitStatus status = BuildPackedFile(
            {(dir / "bin" / stubName).string(), (dir / "project.toml").string(), (dir / "Project.exe").string()}, level,
            messages);
        err = messages.str();
        return status;
    }
    // The stub the packed file begins with, as told by its fill byte.
    std::string PackedStub() {
        const Bytes packed = Read(dir / "Project.exe");
        if (packed.size() < 6000) return "nothing";
        if (std::equal(invoker.begin(), invoker.end(), packed.begin())) return "asInvoker";
        if (std::equal(admin.begin(), admin.end(), packed.begin())) return "requireAdministrator";
        return "another";
    }

    fs::path dir;
    const Bytes invoker = StubAsking("asInvoker", 0x11);
    const Bytes admin = StubAsking("requireAdministrator", 0x22);
};

}  // namespace

TEST_F(StubVariant, ProjectTypeChoosesTheExecutionLevel) {
    struct Case {
        const char* stub;
        int projectType;
        const char* level;  // the override; empty: none
        const char* packed;
        bool perUser = false;
    } cases[] = {
        {"Orvan3DExe.exe", 1, "", "asInvoker"},
        {"Orvan3DExeAdmin.exe", 1, "", "asInvoker"},
        {"Orvan3DExe.exe", 2, "", "requireAdministrator"},
        {"Orvan3DExe.exe", 5, "", "requireAdministrator"},
        {"Orvan3DExe.exe", 6, "", "requireAdministrator"},
        {"Orvan3DExeAdmin.exe", 2, "", "requireAdministrator"},
        {"Orvan3DExe.exe", 3, "", "asInvoker"},
        {"Orvan3DExeAdmin.exe", 7, "", "requireAdministrator"},
        {"Orvan3DExe.exe", 2, "asInvoker", "asInvoker"},
        {"Orvan3DExe.exe", 1, "requireAdministrator", "requireAdministrator"},
        // A per-user project install asks for no elevation.
        {"Orvan3DExeAdmin.exe", 2, "", "asInvoker", true},
        {"Orvan3DExe.exe", 5, "", "requireAdministrator", true},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.stub) + ", ProjectType " + std::to_string(c.projectType) + ", " + c.level;
        std::string err;
        ASSERT_EQ(ExitStatus::kOk, Build(c.stub, c.projectType, c.level, err, c.perUser)) << what << ": " << err;
        EXPECT_EQ(PackedStub(), c.packed) << what;
        EXPECT_EQ(err, "") << what;
        std::ostringstream messages;
        ConsoleHost host((dir / "Project.exe").string(), messages);
        PackageReader reader(host);
        EXPECT_EQ(reader.HeaderOffset(), 6000u) << what;
    }
}

TEST_F(StubVariant, MissingVariantBadLevelAndSignedStubsAreRefused) {
    std::string err;
    EXPECT_EQ(ExitStatus::kUsage, Build("Orvan3DExe.exe", 2, "highestAvailable", err));
    EXPECT_NE(err.find("asInvoker or requireAdministrator"), std::string::npos) << err;

    fs::remove(dir / "bin" / "Orvan3DExeAdmin.exe");
    EXPECT_EQ(ExitStatus::kFault, Build("Orvan3DExe.exe", 2, "", err));
    EXPECT_NE(err.find("needs requireAdministrator"), std::string::npos) << err;
    EXPECT_NE(err.find("--execution-level asInvoker"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "Project.exe"));
    // A file of the variant's name that is no such stub is not taken either.
    Write(dir / "bin" / "Orvan3DExeAdmin.exe", invoker);
    EXPECT_EQ(ExitStatus::kFault, Build("Orvan3DExe.exe", 2, "", err));

    for (const char* name : {"Orvan3DExe.exe", "Orvan3DExeAdmin.exe"}) {
        Bytes signedStub = name == std::string("Orvan3DExe.exe") ? invoker : admin;
        testkit::AppendCertificateTable(signedStub, Bytes(512, 0x30));
        Write(dir / "bin" / name, signedStub);
    }
    for (int projectType : {1, 2}) {
        EXPECT_EQ(ExitStatus::kFault, Build("Orvan3DExe.exe", projectType, "", err)) << projectType;
        EXPECT_NE(err.find("is signed"), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir / "Project.exe"));
    }
}

TEST_F(StubVariant, StubWithoutManifestIsPackedAsGiven) {
    Write(dir / "bin" / "custom.exe", testkit::MinimalPeImage(6000));
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build("custom.exe", 2, "", err)) << err;
    const Bytes stub = Read(dir / "bin" / "custom.exe");
    const Bytes packed = Read(dir / "Project.exe");
    ASSERT_GT(packed.size(), stub.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), packed.begin()));
}

TEST_F(StubVariant, VerifyAcceptsAPackedFileSignedAfterwards) {
    // A stub size that leaves the packed file unaligned, so that signing pads it.
    Bytes packed;
    for (size_t size = 6001; packed.empty() || packed.size() % 8 == 0; ++size) {
        Write(dir / "bin" / "odd.exe", testkit::MinimalPeImage(size));
        std::string err;
        ASSERT_EQ(ExitStatus::kOk, Build("odd.exe", 1, "", err)) << err;
        packed = Read(dir / "Project.exe");
    }
    struct Case {
        const char* what;
        size_t alignment;
        size_t damageFromTable;  // 0: none; else this many bytes before the table get 0x55
        bool sound;
    } cases[] = {
        {"signed without padding", 1, 0, true},
        {"signed with padding", 8, 0, true},
        {"padding that is not zeros", 8, 1, false},
        {"trailer overwritten", 1, 1, false},
    };
    for (const Case& c : cases) {
        Bytes image = packed;
        testkit::AppendCertificateTable(image, Bytes(700, 0x30), c.alignment);
        if (c.damageFromTable > 0) image[image.size() - 700 - c.damageFromTable] = 0x55;
        Write(dir / "Signed.exe", image);
        std::ostringstream out, messages;
        EXPECT_EQ(VerifyPackage((dir / "Signed.exe").string(), out, messages) == ExitStatus::kOk, c.sound)
            << c.what << ": " << messages.str();
    }
}
