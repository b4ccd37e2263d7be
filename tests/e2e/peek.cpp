// kova_peek: what an end-to-end test cannot see on a screenshot, read from
// outside the program as any other Windows program could, and input that
// xdotool cannot make. Works on the visible window of class KovaForm.
//   kova_peek edits              one line per edit box, top to bottom:
//                                "edit I focus=F text=UTF-8"
//   kova_peek clip TEXT          puts TEXT on the clipboard as Unicode text
//   kova_peek ime I HEX          posts WM_IME_CHAR HEX (lead byte high) to edit box I
//   kova_peek chars I HEX...     posts each byte as WM_CHAR to edit box I
//   kova_peek box                the visible message box: "box TITLE|TEXT"
//   kova_peek ok                 presses the visible message box's OK button
//   kova_peek screen             the primary monitor as a DPI-aware program sees it:
//                                "screen W H work L T R B dpi D"
// Exit status 1 when there is no such window or box.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Window enumeration callbacks (stdcall on i686: no lambdas).
BOOL CALLBACK MatchForm(HWND w, LPARAM p) {
    wchar_t cls[32] = {0};
    GetClassNameW(w, cls, 31);
    if (lstrcmpW(cls, L"KovaForm") != 0 || !IsWindowVisible(w)) return TRUE;
    *reinterpret_cast<HWND*>(p) = w;
    return FALSE;
}

BOOL CALLBACK CollectEdit(HWND w, LPARAM p) {
    wchar_t cls[16] = {0};
    GetClassNameW(w, cls, 15);
    if (lstrcmpiW(cls, L"Edit") == 0) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

BOOL CALLBACK JoinStatic(HWND w, LPARAM p) {
    wchar_t cls[16] = {0};
    GetClassNameW(w, cls, 15);
    if (lstrcmpiW(cls, L"Static") != 0) return TRUE;
    wchar_t t[512] = {0};
    GetWindowTextW(w, t, 511);
    *reinterpret_cast<std::wstring*>(p) += t;
    return TRUE;
}

HWND FindForm() {
    HWND found = nullptr;
    EnumWindows(MatchForm, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> Edits(HWND form) {
    std::vector<HWND> edits;
    EnumChildWindows(form, CollectEdit, reinterpret_cast<LPARAM>(&edits));
    std::sort(edits.begin(), edits.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.top < rb.top;
    });
    return edits;
}

std::string Utf8(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

HWND FocusOf(HWND form) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    DWORD thread = GetWindowThreadProcessId(form, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool SetClipboard(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool ok = false;
    if (block) {
        void* p = GlobalLock(block);
        memcpy(p, text.c_str(), bytes);
        GlobalUnlock(block);
        ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        if (!ok) GlobalFree(block);
    }
    CloseClipboard();
    return ok;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    if (cmd == L"clip" && argc >= 3) return SetClipboard(argv[2]) ? 0 : 1;
    if (cmd == L"screen") {
        typedef BOOL(WINAPI * SetContextFn)(HANDLE);
        const SetContextFn aware = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
        if (aware) aware(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));  // per monitor, v2
        POINT origin = {0, 0};
        MONITORINFO mi = {};
        mi.cbSize = sizeof(mi);
        if (!GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &mi)) return 1;
        HDC dc = GetDC(nullptr);
        const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(nullptr, dc);
        std::printf("screen %ld %ld work %ld %ld %ld %ld dpi %d\n", mi.rcMonitor.right - mi.rcMonitor.left,
                    mi.rcMonitor.bottom - mi.rcMonitor.top, mi.rcWork.left, mi.rcWork.top, mi.rcWork.right,
                    mi.rcWork.bottom, dpi);
        return 0;
    }
    if (cmd == L"box" || cmd == L"ok") {
        HWND box = FindWindowW(L"#32770", nullptr);
        if (!box || !IsWindowVisible(box)) return 1;
        if (cmd == L"ok") return PostMessageW(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
        wchar_t title[256] = {0};
        GetWindowTextW(box, title, 255);
        std::wstring text;
        EnumChildWindows(box, JoinStatic, reinterpret_cast<LPARAM>(&text));
        std::printf("box %s|%s\n", Utf8(title).c_str(), Utf8(text).c_str());
        return 0;
    }
    HWND form = FindForm();
    if (!form) {
        std::fprintf(stderr, "kova_peek: no visible KovaForm\n");
        return 1;
    }
    std::vector<HWND> edits = Edits(form);
    if (cmd == L"edits") {
        HWND focus = FocusOf(form);
        for (size_t i = 0; i < edits.size(); ++i) {
            wchar_t text[512] = {0};
            SendMessageTimeoutW(edits[i], WM_GETTEXT, 511, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                                nullptr);
            std::printf("edit %u focus=%d visible=%d text=%s\n", static_cast<unsigned>(i), edits[i] == focus ? 1 : 0,
                        IsWindowVisible(edits[i]) ? 1 : 0, Utf8(text).c_str());
        }
        return 0;
    }
    if (argc < 4) return 2;
    size_t index = static_cast<size_t>(_wtoi(argv[2]));
    if (index >= edits.size()) return 1;
    if (cmd == L"ime") {
        WPARAM c = static_cast<WPARAM>(wcstoul(argv[3], nullptr, 16));
        return PostMessageA(edits[index], WM_IME_CHAR, c, 1) ? 0 : 1;
    }
    if (cmd == L"chars") {
        for (int i = 3; i < argc; ++i) {
            WPARAM b = static_cast<WPARAM>(wcstoul(argv[i], nullptr, 16)) & 0xFF;
            if (!PostMessageA(edits[index], WM_CHAR, b, 1)) return 1;
        }
        return 0;
    }
    return 2;
}
