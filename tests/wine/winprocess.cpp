#include "winprocess.h"

#include <tlhelp32.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace wintest {

std::wstring FromUnixPath(const char* unixPath) {
    std::wstring out = L"Z:";
    for (const char* p = unixPath; p && *p; ++p) out += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
    return out;
}

std::wstring EnvPath(const char* variable) {
    const char* v = std::getenv(variable);
    return v ? FromUnixPath(v) : std::wstring();
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char block[65536];
    DWORD n = 0;
    while (ReadFile(h, block, sizeof block, &n, nullptr) && n > 0) bytes.append(block, n);
    CloseHandle(h);
    return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) && n == bytes.size();
    CloseHandle(h);
    return ok;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> ListFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring n = fd.cFileName;
        if (n != L"." && n != L"..") names.push_back(n);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

void RemoveTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const std::wstring& n : ListFolder(path)) RemoveTree(path + L"\\" + n);
        RemoveDirectoryW(path.c_str());
    } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
}

void UseFoldersUnder(const std::wstring& work, std::wstring* temp, std::wstring* local) {
    *temp = work + L"\\temp";
    *local = work + L"\\local";
    CreateDirectoryW(temp->c_str(), nullptr);
    CreateDirectoryW(local->c_str(), nullptr);
    SetEnvironmentVariableW(L"TEMP", temp->c_str());
    SetEnvironmentVariableW(L"LOCALAPPDATA", local->c_str());
}

bool Start(const std::wstring& exe, const std::wstring& arguments, PROCESS_INFORMATION* pi) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    return CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi) !=
           FALSE;
}

long WaitExit(HANDLE process, DWORD ms) {
    if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

std::vector<DWORD> ProcessesNamed(const wchar_t* exeName) {
    std::vector<DWORD> pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) {
        if (lstrcmpiW(pe.szExeFile, exeName) == 0) pids.push_back(pe.th32ProcessID);
    }
    CloseHandle(snap);
    return pids;
}

void KillProcessesNamed(const wchar_t* exeName) {
    for (DWORD pid : ProcessesNamed(exeName)) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!h) continue;
        TerminateProcess(h, 1);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    }
}

namespace {
struct WindowSearch {
    DWORD pid;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lp) {
    WindowSearch* s = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    if (s->className) {
        wchar_t cls[64] = {0};
        GetClassNameW(hwnd, cls, 63);
        if (lstrcmpW(cls, s->className) != 0) return TRUE;
    }
    s->found = hwnd;
    return FALSE;
}

struct TextSearch {
    const std::wstring* text;
    bool found;
};

BOOL CALLBACK MatchChildText(HWND hwnd, LPARAM lp) {
    TextSearch* s = reinterpret_cast<TextSearch*>(lp);
    if (WindowText(hwnd).find(*s->text) != std::wstring::npos) {
        s->found = true;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CloseWindowOf(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == static_cast<DWORD>(lp) && IsWindowVisible(hwnd)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}
} // namespace

HWND WaitWindow(DWORD pid, const wchar_t* className, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        WindowSearch s = {pid, className, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        if (GetTickCount() - start > ms) return nullptr;
        Sleep(20);
    }
}

std::wstring WindowText(HWND hwnd) {
    wchar_t text[512] = {0};
    GetWindowTextW(hwnd, text, 511);
    return text;
}

bool DialogShows(HWND dialog, const std::wstring& text) {
    TextSearch s = {&text, false};
    EnumChildWindows(dialog, MatchChildText, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool CloseAndWait(DWORD pid, DWORD ms) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h) return false;
    EnumWindows(CloseWindowOf, static_cast<LPARAM>(pid));
    bool ended = WaitForSingleObject(h, ms) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

} // namespace wintest
