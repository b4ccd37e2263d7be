// Win32 half of the OS seam: every function here is the real platform call.
#include "platform/platform.h"

#include <windows.h>
#include <mmsystem.h>
#include <process.h>
#include <shellapi.h>
#include <bcrypt.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide units are 16-bit on Windows");

static const wchar_t* W(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// ---- threads ---------------------------------------------------------------

namespace {
struct ThreadStart {
    ThreadProc proc;
    void* arg;
};

unsigned __stdcall ThreadMain(void* p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    return start.proc(start.arg);
}
} // namespace

ThreadHandle StartThread(ThreadProc proc, void* arg) {
    ThreadStart* start = new (std::nothrow) ThreadStart{proc, arg};
    if (!start) return nullptr;
    uintptr_t h = _beginthreadex(nullptr, 0, ThreadMain, start, 0, nullptr);
    if (!h) delete start;
    return reinterpret_cast<ThreadHandle>(h);
}

void JoinThread(ThreadHandle thread) {
    if (!thread) return;
    WaitForSingleObject(static_cast<HANDLE>(thread), INFINITE);
    CloseHandle(static_cast<HANDLE>(thread));
}

void SleepMs(uint32_t ms) { ::Sleep(ms); }
uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

// ---- auto-reset event ------------------------------------------------------

bool AutoResetEvent::Create() {
    Close();
    handle_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return handle_ != nullptr;
}

void AutoResetEvent::Close() {
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

void AutoResetEvent::Set() {
    if (handle_) SetEvent(static_cast<HANDLE>(handle_));
}

bool AutoResetEvent::Wait(uint32_t ms) {
    if (!handle_) return false;
    return WaitForSingleObject(static_cast<HANDLE>(handle_), ms == kInfinite ? INFINITE : ms) == WAIT_OBJECT_0;
}

// ---- critical section ------------------------------------------------------

static_assert(sizeof(CRITICAL_SECTION) <= 64, "CriticalSection storage too small");

static CRITICAL_SECTION* CS(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }
static const CRITICAL_SECTION* CS(const unsigned char* storage) {
    return reinterpret_cast<const CRITICAL_SECTION*>(storage);
}

CriticalSection::CriticalSection() { InitializeCriticalSection(CS(storage_)); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(CS(storage_)); }
void CriticalSection::Enter() { EnterCriticalSection(CS(storage_)); }
bool CriticalSection::TryEnter() { return TryEnterCriticalSection(CS(storage_)) != FALSE; }
void CriticalSection::Leave() { LeaveCriticalSection(CS(storage_)); }

bool CriticalSection::IsOwnedByCurrentThread() const {
    return reinterpret_cast<DWORD_PTR>(CS(storage_)->OwningThread) == GetCurrentThreadId();
}

// ---- interlocked counters --------------------------------------------------

static_assert(sizeof(LONG) == sizeof(int32_t), "LONG is 32-bit");

int32_t InterlockedIncrement32(volatile int32_t* v) {
    return InterlockedIncrement(reinterpret_cast<volatile LONG*>(v));
}
int32_t InterlockedDecrement32(volatile int32_t* v) {
    return InterlockedDecrement(reinterpret_cast<volatile LONG*>(v));
}
int32_t InterlockedCompareExchange32(volatile int32_t* v, int32_t exchange, int32_t comparand) {
    return InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(v), exchange, comparand);
}
int32_t InterlockedRead32(const volatile int32_t* v) {
    return InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(const_cast<volatile int32_t*>(v)), 0, 0);
}

// ---- clock -----------------------------------------------------------------

uint32_t TimeMs() { return timeGetTime(); }
void BeginFineTimer() { timeBeginPeriod(1); }
void EndFineTimer() { timeEndPeriod(1); }

LocalTime GetLocalTime() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return LocalTime{st.wHour, st.wMinute, st.wSecond};
}

// ---- environment, files and processes --------------------------------------

WideString GetEnvironment(const char* name) {
    wchar_t wname[64] = {0};
    for (int i = 0; name[i] && i < 63; ++i) wname[i] = static_cast<unsigned char>(name[i]);
    wchar_t buffer[MAX_PATH];
    ZeroMemory(buffer, sizeof buffer);
    DWORD n = GetEnvironmentVariableW(wname, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return WideString();
    return WideString(reinterpret_cast<const char16_t*>(buffer), n);
}

std::string ModulePath() {
    char buffer[MAX_PATH] = {0};
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return std::string(buffer, n);
}

std::FILE* OpenFileUtf8(const std::string& utf8Path, const char* mode) {
    if (utf8Path.empty() || !mode || utf8Path.size() > 0x7FFFFFFF) return nullptr;
    const int length = static_cast<int>(utf8Path.size());
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.data(), length, nullptr, 0);
    if (units <= 0) return nullptr;
    std::wstring path(static_cast<size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.data(), length, &path[0], units) != units)
        return nullptr;
    // A NUL inside would open a shorter name than the one given.
    if (path.find(L'\0') != std::wstring::npos) return nullptr;
    std::wstring wideMode;
    for (const char* m = mode; *m; ++m) wideMode.push_back(static_cast<unsigned char>(*m));
    return _wfopen(path.c_str(), wideMode.c_str());
}

bool CreateFolder(const WideString& path) { return CreateDirectoryW(W(path), nullptr) != FALSE; }

bool DeleteFolderTree(const WideString& path) {
    // pFrom is a list of names ending in two NULs.
    std::vector<wchar_t> from(path.begin(), path.end());
    from.push_back(L'\0');
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op;
    ZeroMemory(&op, sizeof op);
    op.hwnd = nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.pTo = nullptr;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
}

namespace {
CopyResult CopyFailure(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:
        return CopyResult::Busy;
    default:
        return CopyResult::Failed;
    }
}

bool FlushToDisk(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = FlushFileBuffers(h) != FALSE;
    return CloseHandle(h) && ok;
}
} // namespace

CopyResult CopyFileOver(const std::string& from, const std::string& to) {
    // The staged copy is only ever ours: a stale one of an earlier attempt is
    // overwritten, and it never stays behind.
    const std::string staged = to + ".new";
    if (!CopyFileA(from.c_str(), staged.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        DeleteFileA(staged.c_str());
        return CopyFailure(error);
    }
    if (!FlushToDisk(staged)) {
        DeleteFileA(staged.c_str());
        return CopyResult::Failed;
    }
    if (MoveFileExA(staged.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return CopyResult::Copied;
    const DWORD error = GetLastError();
    DeleteFileA(staged.c_str());
    return CopyFailure(error);
}

bool CanCreateFileIn(const std::string& folder) {
    if (folder.empty()) return false;
    const std::string probe = folder + "\\kova-probe-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(GetTickCount()) + ".tmp";
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

bool LaunchProcess(const WideString& path, const WideString* parameters) {
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = nullptr;
    info.lpVerb = nullptr;
    info.lpFile = W(path);
    info.lpParameters = parameters ? W(*parameters) : nullptr;
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOW;
    return ShellExecuteExW(&info) != FALSE;
}

void DebugOutput(const char* text) { OutputDebugStringA(text); }

bool RandomBytes(void* out, size_t length) {
    unsigned char* p = static_cast<unsigned char*>(out);
    while (length > 0) {
        const ULONG chunk = length > 0x10000 ? 0x10000 : static_cast<ULONG>(length);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, p, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
        p += chunk;
        length -= chunk;
    }
    return true;
}

} // namespace platform
