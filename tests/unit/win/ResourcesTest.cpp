// What Windows reads from our files before it runs a line of them: the stub's manifest, and
// the version resource and icon of every program and library in the build.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/Files.h"
#include "tools/orvanpack/Packer.h"
#include "testkit/PackageFixture.h"
#include "testkit/UiDriver.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

std::vector<std::string> Binaries(const std::string& folder) {
    std::vector<std::string> out;
    testkit::ForEachEntry(folder, [&](const std::string& name, const WIN32_FIND_DATAA& found) {
        const std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const auto& inner : Binaries(path)) out.push_back(inner);
        } else if (name.size() > 4 && (name.compare(name.size() - 4, 4, ".exe") == 0 ||
                                       name.compare(name.size() - 4, 4, ".dll") == 0)) {
            out.push_back(path);
        }
    });
    return out;
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

std::string VersionString(const Bytes& info, const char* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueA(info.data(), query.c_str(), &value, &length) || length == 0) return "";
    return static_cast<const char*>(value);
}

Bytes Resource(HMODULE module, LPCSTR type, LPCSTR name) {
    HRSRC found = ::FindResourceA(module, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* data = static_cast<const unsigned char*>(::LockResource(loaded));
    return data != nullptr ? Bytes(data, data + ::SizeofResource(module, found)) : Bytes{};
}

std::string Manifest(const std::string& exe) {
    win::Module module(::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    const Bytes bytes = module ? Resource(module.get(), MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1)) : Bytes{};
    return std::string(bytes.begin(), bytes.end());
}

// The raw bytes of one section of a PE file.
Bytes Section(const Bytes& file, const char* wanted) {
    if (file.size() < 0x40) return {};
    const uint32_t pe = *reinterpret_cast<const uint32_t*>(&file[0x3C]);
    const uint16_t count = *reinterpret_cast<const uint16_t*>(&file[pe + 6]);
    const uint16_t optionalSize = *reinterpret_cast<const uint16_t*>(&file[pe + 20]);
    for (uint16_t i = 0; i < count; ++i) {
        const size_t header = pe + 24 + optionalSize + i * 40u;
        if (std::string(reinterpret_cast<const char*>(&file[header]), strnlen(reinterpret_cast<const char*>(&file[header]), 8)) != wanted) continue;
        const uint32_t size = *reinterpret_cast<const uint32_t*>(&file[header + 16]);
        const uint32_t offset = *reinterpret_cast<const uint32_t*>(&file[header + 20]);
        return Bytes(file.begin() + offset, file.begin() + offset + size);
    }
    return {};
}

std::wstring WideVersionString(const Bytes& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueW(info.data(), query.c_str(), &value, &length) || length == 0) return L"<none>";
    return static_cast<const wchar_t*>(value);
}

Bytes VersionInfo(const std::string& path) {
    DWORD ignored = 0;
    Bytes info(::GetFileVersionInfoSizeA(path.c_str(), &ignored));
    if (info.empty() || !::GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) return {};
    return info;
}

}  // namespace

TEST(Resources, EveryProgramAndLibraryCarriesVersionAndIcon) {
    const std::vector<std::string> binaries = Binaries(testkit::OwnFolder());
    // The shipped files at least; tests and tools are in the same folder and checked alike.
    for (const char* shipped : {"Orvan3DExe.exe", "Orvan3DExeAdmin.exe", "OrvanViewer.exe", "EngineCore.dll",
                                "ChunkLoader.dll", "ChunkSaver.dll", "FolderScan.dll", "msvcr71.dll"}) {
        bool present = false;
        for (const auto& path : binaries) present = present || FileName(path) == shipped;
        EXPECT_TRUE(present) << shipped;
    }
    const std::string scratch = testkit::MakeScratchFolder("ResourcesProbe");
    int index = 0;
    for (const auto& original : binaries) {
        SCOPED_TRACE(original);
        // Read from a copy under a neutral name: the system may answer for a library of a
        // well-known name (msvcr71.dll) from its own copy.
        const std::string path = scratch + "\\probe" + std::to_string(index++) + ".bin";
        ASSERT_TRUE(::CopyFileA(original.c_str(), path.c_str(), FALSE));
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version resource";
        Bytes info(size);
        ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
        EXPECT_EQ(VersionString(info, "ProductName"), "Orvan3D");
        EXPECT_EQ(VersionString(info, "FileVersion"), ORVAN_VERSION ".0");
        EXPECT_EQ(VersionString(info, "ProductVersion"), ORVAN_VERSION);
        EXPECT_EQ(VersionString(info, "OriginalFilename"), FileName(original));
        EXPECT_FALSE(VersionString(info, "FileDescription").empty());
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileType, original.substr(original.size() - 4) == ".dll" ? VFT_DLL : VFT_APP);

        // The icon group names a 32 x 32 image first, which the file holds as a bitmap.
        win::Module module(::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module);
        const Bytes group = Resource(module.get(), RT_GROUP_ICON, MAKEINTRESOURCEA(1));
        ASSERT_GE(group.size(), 6u + 14u) << "no icon";
        EXPECT_EQ(group[2], 1) << "icon group";
        EXPECT_GE(group[4], 1);
        EXPECT_EQ(group[6], 32) << "first image width";
        const uint16_t iconId = static_cast<uint16_t>(group[6 + 12] | group[6 + 13] << 8);
        const Bytes icon = Resource(module.get(), RT_ICON, MAKEINTRESOURCEA(iconId));
        ASSERT_GE(icon.size(), sizeof(BITMAPINFOHEADER));
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(icon.data());
        EXPECT_EQ(header->biWidth, 32);
        EXPECT_EQ(header->biHeight, 64) << "image and mask";
    }
    testkit::RemoveTree(scratch);
    ::RemoveDirectoryA(scratch.c_str());
}

TEST(Resources, StubManifestsDifferOnlyInTheExecutionLevel) {
    const std::string folder = testkit::OwnFolder();
    struct Case {
        const char* stub;
        const char* level;
    } cases[] = {{"Orvan3DExe.exe", "asInvoker"}, {"Orvan3DExeAdmin.exe", "requireAdministrator"}};
    std::vector<std::string> manifests;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stub);
        const std::string manifest = Manifest(folder + "\\" + c.stub);
        ASSERT_FALSE(manifest.empty()) << "no manifest";
        EXPECT_EQ(manifest.rfind("<?xml", 0), 0u);
        EXPECT_NE(manifest.find(std::string("<requestedExecutionLevel level=\"") + c.level + "\" uiAccess=\"false\"/>"),
                  std::string::npos);
        for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                               "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                               "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
            EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + os + "}\"/>"), std::string::npos) << os;
        }
        EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
        EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
        EXPECT_NE(manifest.find(">system</dpiAwareness>"), std::string::npos);
        EXPECT_NE(manifest.find("version=\"" ORVAN_VERSION ".0\""), std::string::npos);
        std::string neutral = manifest;
        neutral.replace(neutral.find(c.level), std::string(c.level).size(), "LEVEL");
        manifests.push_back(neutral);
    }
    EXPECT_EQ(manifests[0], manifests[1]);

    // Same code, same data: only the resources differ. The writable data lies behind the imports.
    Bytes plain, admin;
    ASSERT_TRUE(testkit::ReadFileBytes(folder + "\\Orvan3DExe.exe", plain));
    ASSERT_TRUE(testkit::ReadFileBytes(folder + "\\Orvan3DExeAdmin.exe", admin));
    for (const char* section : {".text", ".rdata", ".idata"}) {
        EXPECT_FALSE(Section(plain, section).empty()) << section;
        EXPECT_TRUE(Section(plain, section) == Section(admin, section)) << section;
    }
    // Every package carries the stub: it may not grow past what it needs. 88,576 bytes, then
    // 1 KB (the file's 512-byte steps) for a run folder of its own under a random name, the
    // drive-root refusal and the check of damaged item names; 512 bytes for the empty table's
    // and the viewer's boxes and the walks by character of double-byte code pages; 4 KB for an
    // elevated install's folder made and checked the administrators', the system copies written
    // from the package, the viewer started with the desktop user's rights and the check that
    // the own file is the running image; 3.5 KB for per-user installs, the version values of
    // the uninstall entry, the install log and the exit codes of a setup run (97,792). Then
    // 14 KB less: 5.5 KB for a start of the stub's own instead of the C run-time's, 512 bytes
    // for the writable data behind the imports, 7.5 KB for zlib's CRC code and tables, whose
    // callers the stub's own CRC answers, 512 bytes for the compiler's smallest code (-Oz).
    // Then 6.5 KB for the install as one transaction (files set aside until the commit, the
    // rollback, the upgrade, the checks before the first write); 5 KB for the LZMA block
    // decoder and its thread, less the unwind tables of the C run-time and zlib it dropped;
    // 512 bytes for a log written only where its name says, not through a link.
    EXPECT_LE(plain.size(), 95744u) << "the stub's size limit";
}

TEST(Resources, ComponentsCarryNoStubManifest) {
    EXPECT_TRUE(Manifest(testkit::OwnFolder() + "\\EngineCore.dll").empty());
}

// The packed file names the project, its version and its maker where the system shows a file
// (its properties, the elevation prompt); a per-user install is packed onto the stub that asks
// for no elevation. The rest of the stub's resources stay as they were.
TEST(Resources, APackedFileCarriesTheProjectsVersionResourceAndTheVariantItsScopeNeeds) {
    const std::string scratch = testkit::MakeScratchFolder("PackedVersion");
    const struct {
        const char* what;
        std::string values;  // long-form entries besides ProjectType 2
        std::wstring company, productVersion;
        unsigned fixed[2];  // the fixed product version, high and low
        const char* level;
    } cases[] = {
        {"version and publisher, per user",
         "[[entry]]\nname = \"ProjectName\"\ntext = \"D\u00e9mo Project\"\n"
         "[[entry]]\nname = \"ProjectVersion\"\ntext = \"1.4.2-beta\"\n"
         "[[entry]]\nname = \"ProjectPublisher\"\ntext = \"Velbor Example Ltd\"\n"
         "[[entry]]\nname = \"PerUserInstall\"\nflag = true\n",
         L"Velbor Example Ltd", L"1.4.2-beta", {0x00010004, 0x00020000}, "asInvoker"},
        {"name alone, for all users", "[[entry]]\nname = \"ProjectName\"\ntext = \"D\u00e9mo Project\"\n", L"<none>",
         L"<none>", {0, 0}, "requireAdministrator"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string manifest = scratch + "\\project.toml";
        std::ofstream(manifest, std::ios::binary) << "[[entry]]\nname = \"ProjectType\"\nnumber = 2\n" << c.values;
        const std::string packed = scratch + "\\Demo Setup.exe";
        std::ostringstream err;
        ASSERT_EQ(BuildPackedFile({testkit::OwnFolder() + "\\Orvan3DExe.exe", manifest, packed}, err), ExitStatus::kOk)
            << err.str();
        const Bytes info = VersionInfo(packed);
        ASSERT_FALSE(info.empty());
        EXPECT_EQ(WideVersionString(info, L"ProductName"), L"D\u00e9mo Project");
        EXPECT_EQ(WideVersionString(info, L"FileDescription"), L"D\u00e9mo Project");
        EXPECT_EQ(WideVersionString(info, L"CompanyName"), c.company);
        EXPECT_EQ(WideVersionString(info, L"ProductVersion"), c.productVersion);
        EXPECT_EQ(WideVersionString(info, L"FileVersion"), L"" ORVAN_VERSION ".0") << "the setup program's own";
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
        EXPECT_EQ(fixed->dwProductVersionMS, c.fixed[0]);
        EXPECT_EQ(fixed->dwProductVersionLS, c.fixed[1]);
        const std::string level = std::string("<requestedExecutionLevel level=\"") + c.level + "\"";
        EXPECT_NE(Manifest(packed).find(level), std::string::npos) << Manifest(packed);
        win::Module module(::LoadLibraryExA(packed.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module);
        EXPECT_GE(Resource(module.get(), RT_GROUP_ICON, MAKEINTRESOURCEA(1)).size(), 20u) << "the icon stays";
    }
    testkit::RemoveTree(scratch);
}
