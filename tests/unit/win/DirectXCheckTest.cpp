#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "DirectXCheck.h"
#include "Handle.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Microsoft\\DirectX";

// Saves the machine's DirectX key value and puts it back afterwards.
class DirectXRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        win::RegKey key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            keyExisted = true;
            DWORD size = sizeof(saved);
            savedPresent = ::RegQueryValueExA(key.get(), "Version", nullptr, &savedType,
                                              reinterpret_cast<BYTE*>(saved), &size) == ERROR_SUCCESS;
            savedSize = size;
        }
    }
    void TearDown() override {
        if (!keyExisted) {
            ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
            return;
        }
        win::RegKey key = Open();
        if (savedPresent) {
            ::RegSetValueExA(key.get(), "Version", 0, savedType, reinterpret_cast<const BYTE*>(saved), savedSize);
        } else {
            ::RegDeleteValueA(key.get(), "Version");
        }
    }
    static win::RegKey Open() {
        win::RegKey key;
        EXPECT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static void SetText(const std::string& value) {
        win::RegKey key = Open();
        ::RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
    }

    bool keyExisted = false;
    bool savedPresent = false;
    DWORD savedType = 0;
    DWORD savedSize = 0;
    char saved[1200] = {};
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
        EXPECT_EQ(CheckDirectXVersion(), c.ready) << "\"" << c.version << "\"";
    }
}

TEST_F(DirectXRegistry, ValueOfOtherTypeSizeOrAbsent) {
    char buffer[399];
    SetText(std::string(398, '9'));
    EXPECT_TRUE(ReadDirectXValue("Version", buffer, sizeof(buffer))) << "399 bytes with the terminator fit";
    SetText(std::string(399, '9'));
    EXPECT_FALSE(ReadDirectXValue("Version", buffer, sizeof(buffer)));
    EXPECT_FALSE(CheckDirectXVersion());

    win::RegKey key = Open();
    const DWORD number = 0x0409;
    ::RegSetValueExA(key.get(), "Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    EXPECT_FALSE(CheckDirectXVersion()) << "REG_DWORD";
    ::RegDeleteValueA(key.get(), "Version");
    EXPECT_FALSE(CheckDirectXVersion()) << "no value";
    key.reset();
    if (!keyExisted) {
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        EXPECT_FALSE(CheckDirectXVersion()) << "no key";
    }
}
