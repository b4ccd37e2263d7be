// Time from starting a program to its first window shown and painted, for
// kovaapp.exe beside a minimal Win32 program that opens one borderless window
// of the same size (this executable started with --window). The two are
// started alternately, each run timed from CreateProcess until a visible
// top-level window of the new process exists and its thread has come back to
// its message loop (both programs paint synchronously before that: Show ends
// with UpdateWindow). The process is then ended.
//
//   window_start_bench KOVAAPP.EXE [RUNS]      (under Wine: scripts/winerun ...)
// Prints each program's minimum, median and maximum, and the ratio of the
// medians. The service need not run: kovaapp's background calls fail fast.
// A test build of kovaapp also reports its milestones (KOVA_TEST_START_MARKS):
// the median time to its first instruction of its own (WinMain), to its
// login window made, and to that window painted.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

LRESULT CALLBACK MinimalProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

int RunMinimalWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = MinimalProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MinimalWindow";
    RegisterClassW(&wc);
    const int w = 1280, h = 798;
    HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW, wc.lpszClassName, L"minimal", WS_POPUP,
                                (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h,
                                nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchVisible(HWND hwnd, LPARAM p) {
    Search* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    RECT r;
    GetWindowRect(hwnd, &r);
    if (r.right - r.left < 1000) return TRUE;  // the big window, not a helper
    s->found = hwnd;
    return FALSE;
}

typedef std::map<std::string, std::vector<double>> Marks;

// The milestones a test build wrote to `path`, added to `marks`.
void ReadMarks(const std::wstring& path, Marks* marks) {
    FILE* f = _wfopen(path.c_str(), L"r");
    if (!f) return;
    char name[32];
    double ms = 0;
    while (std::fscanf(f, "%31s %lf", name, &ms) == 2) (*marks)[name].push_back(ms);
    std::fclose(f);
    DeleteFileW(path.c_str());
}

// Milliseconds to the painted window; negative on failure. With `marks`,
// the program is asked for its milestones too.
double TimeOne(const std::wstring& commandLine, Marks* marks) {
    LARGE_INTEGER freq, start, now;
    QueryPerformanceFrequency(&freq);
    std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    wchar_t folder[MAX_PATH], markFile[MAX_PATH] = {0};
    if (marks && GetTempPathW(MAX_PATH, folder) && GetTempFileNameW(folder, L"kms", 0, markFile)) {
        DeleteFileW(markFile);
        SetEnvironmentVariableW(L"KOVA_TEST_START_MARKS", markFile);
    } else {
        SetEnvironmentVariableW(L"KOVA_TEST_START_MARKS", nullptr);
    }
    QueryPerformanceCounter(&start);
    SetEnvironmentVariableW(L"KOVA_TEST_START_QPC", std::to_wstring(start.QuadPart).c_str());
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    double ms = -1;
    for (int i = 0; i < 3000; ++i) {
        Search s = {pi.dwProcessId, nullptr};
        EnumWindows(MatchVisible, reinterpret_cast<LPARAM>(&s));
        DWORD_PTR r = 0;
        if (s.found && SendMessageTimeoutW(s.found, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r)) {
            QueryPerformanceCounter(&now);
            ms = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart);
            break;
        }
        Sleep(2);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (marks && markFile[0]) ReadMarks(markFile, marks);
    return ms;
}

void Report(const char* name, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-10s min %7.1f ms  median %7.1f ms  max %7.1f ms  (%u runs)\n", name, v.front(), v[v.size() / 2],
                v.back(), static_cast<unsigned>(v.size()));
}

void ReportMarks(const Marks& marks) {
    for (const char* name : {"main", "window", "painted"}) {
        const auto it = marks.find(name);
        if (it == marks.end() || it->second.empty()) continue;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        std::printf("  to %-8s median %7.1f ms  (%u runs)\n", name, v[v.size() / 2], static_cast<unsigned>(v.size()));
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"--window") return RunMinimalWindow();
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_start_bench KOVAAPP.EXE [RUNS]\n");
        return 2;
    }
    const int runs = argc >= 3 ? std::max(1, _wtoi(argv[2])) : 11;
    wchar_t self[MAX_PATH] = {0};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring app = L"\"" + std::wstring(argv[1]) + L"\"";
    const std::wstring minimal = L"\"" + std::wstring(self) + L"\" --window";
    std::vector<double> a, b;
    Marks marks;
    TimeOne(minimal, nullptr);  // warm-up: the first start loads the system's libraries
    TimeOne(app, nullptr);
    for (int i = 0; i < runs; ++i) {
        double x = TimeOne(app, &marks), y = TimeOne(minimal, nullptr);
        if (x < 0 || y < 0) {
            std::fprintf(stderr, "a run failed\n");
            return 1;
        }
        a.push_back(x);
        b.push_back(y);
    }
    Report("kovaapp", a);
    ReportMarks(marks);
    Report("minimal", b);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::printf("ratio of medians: %.2f\n", a[a.size() / 2] / b[b.size() / 2]);
    return 0;
}
