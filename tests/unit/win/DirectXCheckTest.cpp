#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "installer/DirectXCheck.h"
#include "testkit/Registry.h"
#include "win/Handle.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Microsoft\\DirectX";

// The DirectX key below a scratch root: the machine's own value is never touched.
class DirectXRegistry : public ::testing::Test {
protected:
    win::RegKey Open() const {
        win::RegKey key;
        EXPECT_EQ(::RegCreateKeyExA(root.Root(), kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    void SetText(const std::string& value) const { EXPECT_TRUE(testkit::SetText(root.Root(), kKey, "Version", value)); }
    bool Check() const { return CheckDirectXVersion(root.Root()); }

    testkit::ScratchKey root{"DirectX"};
};

}  // namespace

TEST_F(DirectXRegistry, VersionTextsThroughTheRegistry) {
    struct Case {
        std::string version;
        bool ready;
    } cases[] = {
        {"4.09.00.0904", true},  {"4.09.00.0903", false}, {"4.09.00.0902", false}, {"4.09.00.0900", false},
        {"4.09.00.1234", true},  {"4.09.01.0000", true},  {"4.10.00.0000", true},  {"4.08.00.0904", false},
        {"4.08.01.0810", false}, {"5.08.00.9999", false}, {"4.9.0.904", false},    {"4.09", false},
        {"", false},             {"4.09.00.09", false},   {"4.09.00.0904 extra", true},
        {std::string(397, ' ') + "4", false},
    };
    for (const Case& c : cases) {
        SetText(c.version);
        EXPECT_EQ(Check(), c.ready) << "\"" << c.version << "\"";
    }
}

TEST_F(DirectXRegistry, ValueOfOtherTypeSizeOrAbsent) {
    char buffer[399];
    SetText(std::string(398, '9'));
    EXPECT_TRUE(ReadDirectXValue(root.Root(), "Version", buffer, sizeof(buffer))) << "399 bytes with the terminator fit";
    SetText(std::string(399, '9'));
    EXPECT_FALSE(ReadDirectXValue(root.Root(), "Version", buffer, sizeof(buffer)));
    EXPECT_FALSE(Check());

    win::RegKey key = Open();
    const DWORD number = 0x0409;
    ::RegSetValueExA(key.get(), "Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    EXPECT_FALSE(Check()) << "REG_DWORD";
    ::RegDeleteValueA(key.get(), "Version");
    EXPECT_FALSE(Check()) << "no value";
    key.reset();
    ::RegDeleteKeyA(root.Root(), kKey);
    EXPECT_FALSE(Check()) << "no key";
}
