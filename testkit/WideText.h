#pragma once
#include <windows.h>

#include <string>

// Tests write names outside the ANSI code page ("Łukasz", "Пётр") as UTF-8; the system takes
// them wide. Narrow calls would turn such letters into "?".
namespace testkit {

std::wstring Widen(const std::string& utf8);
// Narrow text of the ANSI code page, wide.
std::wstring WidenAnsi(const std::string& ansi);
std::string Utf8(const std::wstring& wide);
// Narrow text of the ANSI code page (what narrow calls take and give) as UTF-8.
std::string Utf8FromAnsi(const std::string& ansi);

bool ExistsWide(const std::string& path);
// Makes every missing folder along path.
bool MakeFoldersWide(const std::string& path);
// Removes path and everything below it; a link is removed as a link, never entered.
void RemoveTreeWide(const std::string& path);

// An environment variable of this process, and so of the programs it starts, for one scope:
// set to value (or left as it is until Set), put back as it was on destruction.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const char* name);
    ScopedEnvironment(const char* name, const std::string& value);
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();
    void Set(const std::string& value);

private:
    std::wstring name;
    std::wstring saved;
    bool existed = false;
};

// The temporary folder as the system gives it (TMP, then TEMP) for one scope: both set to
// folder, in UTF-8 (or left as they are until Set), both put back on destruction.
class ScopedTemp {
public:
    ScopedTemp() = default;
    explicit ScopedTemp(const std::string& folder) { Set(folder); }
    // temp: TEMP's own value, when it is to differ from TMP's.
    void Set(const std::string& folder, const std::string& temp = "") {
        tmpVariable.Set(folder);
        tempVariable.Set(temp.empty() ? folder : temp);
    }

private:
    ScopedEnvironment tmpVariable{"TMP"};
    ScopedEnvironment tempVariable{"TEMP"};
};

}  // namespace testkit
