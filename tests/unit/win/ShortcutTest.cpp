// A link's fields through a link object that refuses one of them: the first refusal ends the
// link, unsaved, with its result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/Shortcut.h"

namespace {

// Notes each field set; the field named `refuse` answers E_INVALIDARG.
class FakeLink : public IShellLinkA {
public:
    explicit FakeLink(std::string refuse) : refuse(std::move(refuse)) {}
    std::vector<std::string> set;

    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR dir) override { return Note("folder", dir); }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR args) override { return Note("arguments", args); }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) override { return Note("target", file); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) override { return Note("description", name); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPath(LPSTR, int, WIN32_FIND_DATAA*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDList(LPITEMIDLIST*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(LPCITEMIDLIST) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR, int, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }

private:
    HRESULT Note(const char* field, const char* value) {
        set.push_back(std::string(field) + "=" + value);
        return refuse == field ? E_INVALIDARG : S_OK;
    }
    std::string refuse;
};

}  // namespace

TEST(Shortcut, EveryFieldIsSetAndTheFirstRefusalEndsTheLink) {
    const std::vector<std::string> all = {"folder=C:\\Game", "arguments=-w", "target=C:\\Game\\OrvanViewer.exe",
                                          "description=Game"};
    struct Row {
        const char* refuse;
        HRESULT result;
        size_t fieldsSet;
    };
    for (const Row& row : {Row{"", S_OK, 4}, Row{"folder", E_INVALIDARG, 1}, Row{"arguments", E_INVALIDARG, 2},
                           Row{"target", E_INVALIDARG, 3}, Row{"description", E_INVALIDARG, 4}}) {
        FakeLink link(row.refuse);
        EXPECT_EQ(DescribeLink(link, "C:\\Game\\OrvanViewer.exe", "C:\\Game", "Game", "-w"), row.result) << row.refuse;
        EXPECT_EQ(link.set, std::vector<std::string>(all.begin(), all.begin() + row.fieldsSet)) << row.refuse;
    }
    // Without arguments none are set.
    FakeLink link("");
    EXPECT_EQ(DescribeLink(link, "C:\\Game\\OrvanViewer.exe", "C:\\Game", "Game", nullptr), S_OK);
    EXPECT_EQ(link.set, (std::vector<std::string>{all[0], all[2], all[3]}));
}
