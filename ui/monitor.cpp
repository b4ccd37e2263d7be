#include "ui/monitor.h"

#include "ui/scale.h"

namespace ui {
namespace {

// The window's DPI where the system knows a DPI per window (per-monitor
// awareness), otherwise the screen's.
UINT WindowDpi(HWND hwnd) {
    typedef UINT(WINAPI * GetDpiForWindowFn)(HWND);
    static const GetDpiForWindowFn forWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = forWindow ? forWindow(hwnd) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY)) : 0;
        if (screen) ReleaseDC(nullptr, screen);
    }
    return dpi;
}

Rect WorkArea(HMONITOR monitor) {
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    if (!monitor || !GetMonitorInfoW(monitor, &mi)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &mi.rcWork, 0);
    return MakeRect(mi.rcWork.left, mi.rcWork.top, mi.rcWork.right - mi.rcWork.left,
                    mi.rcWork.bottom - mi.rcWork.top);
}

} // namespace

void DeclarePerMonitorDpiAwareness() {
    typedef BOOL(WINAPI * SetContextFn)(HANDLE);
    const SetContextFn set = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, then _PER_MONITOR_AWARE.
    if (set && !set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))))
        set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)));
}

MonitorFit MonitorOf(HWND hwnd, DWORD fallback) {
    MonitorFit m;
    const HMONITOR monitor = MonitorFromWindow(hwnd, fallback);
    m.dpi = WindowDpi(hwnd);
    m.workArea = WorkArea(monitor);
    return m;
}

MonitorFit MonitorOfSuggested(UINT dpi, const RECT& suggested) {
    MonitorFit m;
    m.dpi = dpi;
    m.workArea = WorkArea(MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST));
    return m;
}

Rect WindowRect(HWND hwnd) {
    RECT w = {};
    GetWindowRect(hwnd, &w);
    return MakeRect(w.left, w.top, w.right - w.left, w.bottom - w.top);
}

Point PlaceAtSuggested(HWND hwnd, const RECT& suggested, const Rect& workArea) {
    Rect window = WindowRect(hwnd);
    window.left = suggested.left;
    window.top = suggested.top;
    return KeepInside(window, workArea);
}

} // namespace ui
