// The packer's reading commands under the counting allocator: an entry of any size is read in
// bounded memory, as a 32-bit packer could not hold a gigabyte entry whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "testkit/FailingAllocator.h"
#include "testkit/PackageFixture.h"
#include "tools/orvanpack/PackageCommands.h"

namespace fs = std::filesystem;
using testkit::Bytes;

// Every allocation of 8 MiB or more fails: verify and extract still pass a 9 MiB entry, and
// extract writes it whole.
TEST(ToolMemory, VerifyAndExtractReadAnEntryLargerThanAnyBufferTheyHold) {
    const fs::path dir = fs::temp_directory_path() / ("orvan_toolmemory_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    Bytes big(9u << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + i / 4099);
    const std::string file = (dir / "big.exe").string();
    ASSERT_TRUE(testkit::WriteFileBytes(file, testkit::PackageFixture().Raw("BIG.BIN", big).Image(Bytes(64, 0))));

    std::ostringstream out;
    std::ostringstream err;
    {
        testkit::FailingAllocation failing(1, 8u << 20);
        EXPECT_EQ(ExitStatus::kOk, VerifyPackage(file, out, err)) << err.str();
        EXPECT_EQ(ExitStatus::kOk, ExtractPackage(file, (dir / "x").string(), out, err)) << err.str();
        EXPECT_FALSE(failing.Delivered()) << "an entry was held whole";
    }
    Bytes written;
    EXPECT_TRUE(testkit::ReadFileBytes((dir / "x" / "APPDATA" / "BIG.BIN").string(), written));
    EXPECT_TRUE(written == big);
    fs::remove_all(dir);
}
