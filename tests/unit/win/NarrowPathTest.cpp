// Narrow paths in every ANSI code page: the exact conversion's flags where the code page is
// UTF-8, and walks by character where a second byte may be a backslash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/ExactPath.h"
#include "win/NarrowText.h"

namespace {

struct Call {
    UINT codePage;
    DWORD flags;
    bool defaultCharUsed;  // a pointer was passed
};
std::vector<Call> calls;

// The system's conversion as Windows gives it: into UTF-8 it refuses WC_NO_BEST_FIT_CHARS and
// a default-character pointer (Wine accepts both, so the refusal is made here).
int WINAPI StrictConversion(UINT codePage, DWORD flags, LPCWCH wide, int length, LPSTR out, int capacity,
                            LPCCH defaultChar, LPBOOL defaultCharUsed) {
    calls.push_back({codePage, flags, defaultCharUsed != nullptr});
    if (codePage == CP_UTF8 && (flags != 0 || defaultChar != nullptr || defaultCharUsed != nullptr)) {
        ::SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    return ::WideCharToMultiByte(codePage, flags, wide, length, out, capacity, defaultChar, defaultCharUsed);
}

}  // namespace

TEST(ExactNarrow, EachCodePageGetsTheFlagsItTakesAndEveryFormMustRoundTrip) {
    const struct {
        UINT codePage;
        std::wstring wide;
        bool exact;
        std::string narrow;
    } cases[] = {
        {CP_UTF8, L"C:\\\x0422\x0435\x0441\x0442\\\x8868\x793A", true,
         "C:\\\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82\\\xE8\xA1\xA8\xE7\xA4\xBA"},
        {CP_UTF8, L"C:\\\xD800x", false, ""},  // a lone surrogate has no UTF-8 form of its own
        {1252, L"C:\\Caf\x00E9", true, "C:\\Caf\xE9"},
        {1252, L"C:\\\x0141\x00F3\x0064\x017A", false, ""},  // best fit would name "Lodz"
        {932, L"C:\\\x8868\x793A", true, "C:\\\x95\x5C\x8E\xA6"},
    };
    for (const auto& c : cases) {
        calls.clear();
        char narrow[64] = {};
        EXPECT_EQ(win::ToExactNarrow(c.wide.c_str(), static_cast<int>(c.wide.size()), narrow, sizeof(narrow),
                                     c.codePage, StrictConversion),
                  c.exact)
            << c.codePage;
        if (c.exact) {
            EXPECT_EQ(std::string(narrow), c.narrow) << c.codePage;
        }
        ASSERT_EQ(calls.size(), 1u) << c.codePage;
        const bool utf8 = c.codePage == CP_UTF8;
        EXPECT_EQ(calls[0].flags, utf8 ? 0u : static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) << c.codePage;
        EXPECT_EQ(calls[0].defaultCharUsed, !utf8) << c.codePage;
    }
}

TEST(NarrowText, DoubleByteCharactersWhoseSecondByteIsABackslashAreNoSeparators) {
    // 表 is 95 5C and ソ 83 5C in code page 932; in 1252 those bytes are two characters.
    const std::string table = "C:\\Games\\\x95\x5C\x8E\xA6";        // C:\Games\表示
    const std::string software = "C:\\Games\\\x83\x5C\x83\x74/x.dat";  // C:\Games\ソフ/x.dat
    EXPECT_EQ(win::CharLength(table.c_str() + 9, 932), 2u);
    EXPECT_EQ(win::CharLength(table.c_str() + 9, 1252), 1u);
    EXPECT_EQ(win::CharLength("\x95", 932), 1u) << "a lead byte at the end stands alone";
    EXPECT_EQ(win::CharLength("", 932), 0u);

    EXPECT_EQ(win::FindBackslash(table.c_str() + 9, 932), nullptr);
    EXPECT_EQ(win::FindBackslash(table.c_str() + 9, 1252), table.c_str() + 10);
    EXPECT_EQ(win::FolderLength(table.c_str(), 932), 9u) << "C:\\Games\\";
    EXPECT_EQ(win::FolderLength(table.c_str(), 1252), 11u);
    EXPECT_EQ(win::FolderLength(software.c_str(), 932), 14u) << "up to the slash";
    EXPECT_EQ(win::FolderLength("name", 932), 0u);
}
