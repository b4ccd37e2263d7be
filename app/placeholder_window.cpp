#include "app/placeholder_window.h"

#include <windows.h>

#include "app/shell.h"
#include "center/kovacenter.h"
#include "doc/uitext.h"

namespace {

const wchar_t kClassName[] = L"KovaAppMainWindow";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        // As the login window will: creating it starts the version check.
        if (KovaCenter* center = KovaCenter::Instance()) center->CheckVersion(hwnd);
        return 0;
    case kMsgUpdateOffered:
        MessageBoxA(hwnd, UiText("有新的程式版本，即將下載更新").c_str(), UiText("KOVA API權限申請服務").c_str(), MB_OK);
        StartUpdateDownload(hwnd);
        return 0;
    case kMsgUpdateDownloaded:
        if (wParam == 1) {
            MessageBoxA(hwnd, UiText("下載更新完畢，即將重新啟動程式").c_str(), UiText("KOVA API權限申請服務").c_str(),
                        MB_OK);
            DestroyWindow(hwnd);  // ends the loop; the shell then launches the download
        } else {
            MessageBoxA(hwnd, UiText("下載更新失敗").c_str(), UiText("KOVA API權限申請服務").c_str(), MB_OK);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        wchar_t title[128] = {0};
        GetWindowTextW(hwnd, title, 127);
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, title, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

bool CreatePlaceholderWindow(const platform::WideString& title) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc)) return false;
    HWND hwnd = CreateWindowExW(0, kClassName, reinterpret_cast<const wchar_t*>(title.c_str()),
                                WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, nullptr,
                                instance, nullptr);
    if (!hwnd) return false;
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    return true;
}
