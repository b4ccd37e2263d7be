// One wait a customer feels: from a left click on the program's topmost
// window to the next window of the program painted. The click is real input
// (SendInput at the point, as a person's); the clock stops when a window of
// class KovaForm that was not shown at the click is visible, holds no edit
// box, and its thread has come back to its message loop (the program paints
// synchronously before that). Driven by bench/signin_bench.sh.
//
//   click_bench X Y [TIMEOUT_MS]     X Y: client point of the topmost window
// Prints the milliseconds; exit status 1 when no such window came in time.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Visible top-level forms of the program, topmost first (stdcall callbacks
// on i686: no lambdas).
BOOL CALLBACK CollectForm(HWND w, LPARAM p) {
    wchar_t cls[32] = {0};
    GetClassNameW(w, cls, 31);
    if (lstrcmpW(cls, L"KovaForm") == 0 && IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

std::vector<HWND> VisibleForms() {
    std::vector<HWND> forms;
    EnumWindows(CollectForm, reinterpret_cast<LPARAM>(&forms));
    return forms;
}

BOOL CALLBACK FindEdit(HWND w, LPARAM p) {
    wchar_t cls[16] = {0};
    GetClassNameW(w, cls, 15);
    if (lstrcmpiW(cls, L"Edit") != 0 || !IsWindowVisible(w)) return TRUE;
    *reinterpret_cast<bool*>(p) = true;
    return FALSE;
}

bool HoldsEdit(HWND form) {
    bool found = false;
    EnumChildWindows(form, FindEdit, reinterpret_cast<LPARAM>(&found));
    return found;
}

double Ms(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: click_bench X Y [TIMEOUT_MS]\n");
        return 2;
    }
    const double timeout = argc >= 4 ? std::atof(argv[3]) : 10000.0;
    const std::vector<HWND> before = VisibleForms();
    if (before.empty()) {
        std::fprintf(stderr, "click_bench: no window of the program is shown\n");
        return 1;
    }
    POINT at = {std::atoi(argv[1]), std::atoi(argv[2])};
    ClientToScreen(before.front(), &at);
    SetCursorPos(at.x, at.y);
    Sleep(100);  // the move reaches the window before the press

    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    SendInput(2, press, sizeof(INPUT));
    for (;;) {
        for (HWND w : VisibleForms()) {
            if (std::find(before.begin(), before.end(), w) != before.end() || HoldsEdit(w)) continue;
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result)) continue;
            QueryPerformanceCounter(&now);
            std::printf("%.2f\n", Ms(start, now));
            return 0;
        }
        QueryPerformanceCounter(&now);
        if (Ms(start, now) > timeout) break;
        Sleep(1);
    }
    std::fprintf(stderr, "click_bench: no new window within %.0f ms\n", timeout);
    return 1;
}
