// WinAmp.dll: the visualisation plug-in of an installed project. The installer copies it into
// Winamp's folder as Plugins\vis_<ProjectName>.dll. Its one module reads "winamp.cfg" through
// the engine of the install folder and shows the project (our viewer's content: its title)
// in a window of its own, with the frequency levels the host hands it drawn below it.
#include <windows.h>

#include <cstdio>
#include <memory>

#include "components/projectconfig/InstalledProject.h"
#include "components/winamp-plugin/VisPlugin.h"
#include "engine/ChunkSchema.h"

namespace {

constexpr char kWindowClass[] = "Orvan3D Visualisation";
constexpr int kWidth = 400;
constexpr int kHeight = 240;

// The running module's state, from Init to Quit.
struct Visual {
    InstalledProject project;
    HWND window = nullptr;
    unsigned char levels[576] = {};
};

Visual* VisualOf(winampVisModule* module) { return static_cast<Visual*>(module->userData); }

void Paint(HWND window, const Visual& visual) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    RECT area;
    ::GetClientRect(window, &area);
    ::FillRect(dc, &area, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    RECT line = {area.left, area.top + 8, area.right, area.top + 40};
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(120, 200, 255));
    ::DrawTextA(dc, visual.project.title, -1, &line, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
    HBRUSH bar = ::CreateSolidBrush(RGB(60, 160, 90));
    const int bars = 64;
    const int width = (area.right - area.left) / bars;
    for (int i = 0; i < bars; ++i) {
        const int level = visual.levels[i * 576 / bars] * (area.bottom - 48) / 255;
        RECT r = {area.left + i * width, area.bottom - level, area.left + (i + 1) * width - 1, area.bottom};
        ::FillRect(dc, &r, bar);
    }
    ::DeleteObject(bar);
    ::EndPaint(window, &paint);
}

LRESULT CALLBACK VisualWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* visual = reinterpret_cast<Visual*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (visual != nullptr && message == WM_PAINT) {
        Paint(window, *visual);
        return 0;
    }
    // Closed by the user: Render then tells the host to stop the module.
    if (visual != nullptr && message == WM_DESTROY) visual->window = nullptr;
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void Config(winampVisModule* module) {
    ::MessageBoxA(module->hwndParent, "This visualisation has no options to set.", module->description,
                  MB_OK | MB_ICONINFORMATION);
}

// This library itself, whatever the host put into hDllInstance.
HMODULE OwnModule() {
    HMODULE self = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&OwnModule), &self);
    return self;
}

int Init(winampVisModule* module) {
    auto visual = std::make_unique<Visual>();
    if (module->hDllInstance == nullptr) module->hDllInstance = OwnModule();
    if (!LoadInstalledProject(OwnModule(), "vis_", kWinampConfigName, module->hDllInstance, kWindowClass,
                              visual->project)) {
        return 1;
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = VisualWindowProc;
    windowClass.hInstance = module->hDllInstance;
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassA(&windowClass);
    char title[300];
    std::snprintf(title, sizeof(title), "%s - Orvan3D", visual->project.title);
    visual->window = ::CreateWindowExA(0, kWindowClass, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                                       CW_USEDEFAULT, kWidth, kHeight, module->hwndParent, nullptr,
                                       module->hDllInstance, visual.get());
    if (visual->window == nullptr) {
        ::UnregisterClassA(kWindowClass, module->hDllInstance);
        return 1;
    }
    module->userData = visual.release();
    return 0;
}

int Render(winampVisModule* module) {
    Visual* visual = VisualOf(module);
    if (visual == nullptr || visual->window == nullptr) return 1;
    for (int i = 0; i < 576; ++i) {
        int sum = 0;
        for (int channel = 0; channel < module->levelChannels && channel < 2; ++channel) {
            sum += module->levelData[channel][i];
        }
        visual->levels[i] = static_cast<unsigned char>(module->levelChannels > 0 ? sum / module->levelChannels : 0);
    }
    ::InvalidateRect(visual->window, nullptr, FALSE);
    ::UpdateWindow(visual->window);
    return 0;
}

void Quit(winampVisModule* module) {
    std::unique_ptr<Visual> visual(VisualOf(module));
    module->userData = nullptr;
    if (!visual) return;
    if (visual->window != nullptr) ::DestroyWindow(visual->window);
    ::UnregisterClassA(kWindowClass, module->hDllInstance);
}

char moduleDescription[] = "Orvan3D project";
char headerDescription[] = "Orvan3D project visualisation";

// The host holds on to these between calls, so they live as long as the library.
winampVisModule visualModule = {moduleDescription, nullptr, nullptr, 0, 0, 0, 25, 2, 0, {}, {}, Config, Init,
                                Render, Quit, nullptr};

winampVisModule* GetModule(int index) { return index == 0 ? &visualModule : nullptr; }

winampVisHeader header = {kVisHeaderVersion, headerDescription, GetModule};

}  // namespace

extern "C" __attribute__((dllexport)) winampVisHeader* winampVisGetHeader() { return &header; }
