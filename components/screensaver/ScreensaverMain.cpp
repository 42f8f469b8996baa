// ZRXSvr.scr: the screen saver of an installed project. The installer copies it into the
// system directory as <ProjectName>.scr; Windows starts it as
//   /s            full screen, until a key, a click (or, with the project's "SCQC", mouse
//                 movement) ends it
//   /p <window>   inside the preview area of the display settings, until that window goes
//   /c[:window]   for its settings, of which it has none
// It reads "screensaver.cfg" through the engine of the install folder and shows the project
// (our viewer's content: its title) moving every "SCTI" milliseconds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "components/projectconfig/InstalledProject.h"
#include "engine/ChunkSchema.h"
#include "win/CommandLineText.h"
#include "win/DllSearch.h"

namespace {

constexpr char kWindowClass[] = "Orvan3D Screen Saver";
constexpr UINT_PTR kFrameTimer = 1;
// Mouse movement smaller than this is jitter, not a user.
constexpr int kMouseSlack = 4;

enum class Mode { Configure, FullScreen, Preview };

struct Saver {
    InstalledProject project;
    bool fullScreen = false;
    bool haveMouse = false;
    POINT firstMouse = {};
    int frame = 0;
};

// The one saver of this process; the window procedure reaches it through the window.
Saver* SaverOf(HWND window) { return reinterpret_cast<Saver*>(::GetWindowLongPtrA(window, GWLP_USERDATA)); }

void Paint(HWND window, const Saver& saver) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    RECT area;
    ::GetClientRect(window, &area);
    ::FillRect(dc, &area, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    if (saver.fullScreen || saver.project.drawPreview) {
        const int height = area.bottom - area.top;
        const int travel = height > 40 ? height - 40 : 1;
        const int step = saver.frame % (2 * travel);
        RECT line = area;
        line.top = step < travel ? step : 2 * travel - step;
        line.bottom = line.top + 40;
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(120, 200, 255));
        ::DrawTextA(dc, saver.project.title, -1, &line, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
    }
    ::EndPaint(window, &paint);
}

bool EndsOnMouse(HWND window, Saver& saver, LPARAM lParam) {
    if (!saver.fullScreen || !saver.project.quitOnMouseMove) return false;
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ::ClientToScreen(window, &at);
    if (!saver.haveMouse) {
        saver.haveMouse = true;
        saver.firstMouse = at;
        return false;
    }
    return std::abs(at.x - saver.firstMouse.x) > kMouseSlack || std::abs(at.y - saver.firstMouse.y) > kMouseSlack;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Saver* saver = SaverOf(window);
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (saver == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case WM_CREATE:
            ::SetTimer(window, kFrameTimer, saver->project.periodMs, nullptr);
            return 0;
        case WM_TIMER:
            ++saver->frame;
            ::InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_PAINT:
            Paint(window, *saver);
            return 0;
        case WM_SETCURSOR:
            if (saver->fullScreen) {
                ::SetCursor(nullptr);
                return TRUE;
            }
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (saver->fullScreen) {
                ::DestroyWindow(window);
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            if (EndsOnMouse(window, *saver, lParam)) ::DestroyWindow(window);
            return 0;
        case WM_ACTIVATEAPP:
            if (saver->fullScreen && wParam == FALSE) ::DestroyWindow(window);
            return 0;
        case WM_SYSCOMMAND:
            // Another start of the screen saver while this one runs.
            if ((wParam & 0xFFF0) == SC_SCREENSAVE) return 0;
            break;
        case WM_DESTROY:
            ::KillTimer(window, kFrameTimer);
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// The mode and, for /p and /c:, the window handle that follows it.
Mode ParseCommandLine(const char* commandLine, HWND& window) {
    window = nullptr;
    const char* p = win::SkipProgramName(commandLine);
    if (*p != '/' && *p != '-') return Mode::Configure;
    const char option = static_cast<char>(*(p + 1) | 0x20);
    p += 2;
    while (*p == ' ' || *p == '\t' || *p == ':') ++p;
    window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoul(p, nullptr, 10)));
    switch (option) {
        case 's': return Mode::FullScreen;
        case 'p':
        case 'l': return Mode::Preview;
        default: return Mode::Configure;
    }
}

HWND CreateSaverWindow(HINSTANCE instance, Mode mode, HWND parent, Saver& saver) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = SaverWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassA(&windowClass);
    char title[300];
    std::snprintf(title, sizeof(title), "%s - Orvan3D Screen Saver", saver.project.title);
    if (mode == Mode::Preview) {
        RECT area;
        ::GetClientRect(parent, &area);
        return ::CreateWindowExA(0, kWindowClass, title, WS_CHILD | WS_VISIBLE, 0, 0, area.right, area.bottom, parent,
                                 nullptr, instance, &saver);
    }
    saver.fullScreen = true;
    return ::CreateWindowExA(WS_EX_TOPMOST, kWindowClass, title, WS_POPUP | WS_VISIBLE,
                             ::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
                             ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN), nullptr,
                             nullptr, instance, &saver);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything else is loaded: the system starts a screen saver from whatever folder
    // is current, and no library may come from there or from the saver's own folder.
    win::HardenDllSearch();
    HWND parent = nullptr;
    const Mode mode = ParseCommandLine(::GetCommandLineA(), parent);
    Saver saver;
    const bool loaded =
        LoadInstalledProject(nullptr, "", kScreensaverConfigName, instance, kWindowClass, saver.project);

    if (mode == Mode::Configure) {
        char text[400];
        std::snprintf(text, sizeof(text), "%s\n\nThis screen saver has no options to set.%s", saver.project.title,
                      loaded ? "" : "\nIts project could not be found; reinstall it.");
        ::MessageBoxA(parent, text, "Orvan3D Screen Saver", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (mode == Mode::Preview && !::IsWindow(parent)) return 1;
    // Without its project it still blanks the screen, as a screen saver must.
    HWND window = CreateSaverWindow(instance, mode, parent, saver);
    if (window == nullptr) return 1;
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return loaded ? 0 : 2;
}
