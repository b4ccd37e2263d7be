// Monitors as a window sees them: the DPI it is drawn for and the work area
// (the screen less the taskbar) it must fit in, in device pixels. Forms ask
// here when they are first shown and when the DPI or the work area changes.
#pragma once

#include <windows.h>

#include "ui/geometry.h"

namespace ui {

struct MonitorFit {
    UINT dpi = 0;  // 0: unknown (FitScale then ignores it)
    Rect workArea;
};

// Declares per-monitor DPI awareness for the process where the loader did
// not take it from the manifest; harmless when it is already set.
void DeclarePerMonitorDpiAwareness();

// The DPI and work area of the monitor the window is on; `fallback` picks the
// monitor when the window lies on none (MONITOR_DEFAULTTO...).
MonitorFit MonitorOf(HWND hwnd, DWORD fallback);
// The DPI that WM_DPICHANGED names, with the work area of the monitor its
// suggested rectangle lies on.
MonitorFit MonitorOfSuggested(UINT dpi, const RECT& suggested);

// The window's rectangle on the screen.
Rect WindowRect(HWND hwnd);
// Where a window goes after WM_DPICHANGED, at its present size: the suggested
// top-left corner, moved the least distance that keeps it in the work area.
Point PlaceAtSuggested(HWND hwnd, const RECT& suggested, const Rect& workArea);

} // namespace ui
