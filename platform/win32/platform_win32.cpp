// Win32 half of the OS seam: every function here is the real platform call.
#include "platform/platform.h"

#include <windows.h>
#include <aclapi.h>
#include <malloc.h>
#include <fcntl.h>
#include <io.h>
#include <mmsystem.h>
#include <process.h>
#include <shellapi.h>
#include <bcrypt.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
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
    handle_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    return handle_ != nullptr;
}

void AutoResetEvent::Closer::operator()(void* handle) const { CloseHandle(static_cast<HANDLE>(handle)); }

void AutoResetEvent::Set() {
    if (handle_) SetEvent(static_cast<HANDLE>(handle_.get()));
}

bool AutoResetEvent::Wait(uint32_t ms) {
    if (!handle_) return false;
    return WaitForSingleObject(static_cast<HANDLE>(handle_.get()), ms == kInfinite ? INFINITE : ms) == WAIT_OBJECT_0;
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

namespace {
// A junction or directory link is removed itself, never entered: what it
// names may be anyone's.
bool DeleteTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!link && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(path.c_str()) != FALSE;
    bool ok = true;
    if (!link) {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
                ok = DeleteTree(path + L"\\" + found.cFileName) && ok;
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
    }
    return RemoveDirectoryW(path.c_str()) != FALSE && ok;
}
} // namespace

bool DeleteFolderTree(const WideString& path) {
    if (path.empty()) return false;
    return DeleteTree(std::wstring(path.begin(), path.end()));
}

// ---- folders and files of the current user alone ---------------------------

namespace {

// A SID of the process token: its user or the default owner of what it
// creates (an elevated administrator's files belong to Administrators).
bool TokenSid(TOKEN_INFORMATION_CLASS which, std::vector<BYTE>* sid) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, which, nullptr, 0, &size);
    std::vector<BYTE> info(size);
    const bool ok = size > 0 && GetTokenInformation(token, which, info.data(), size, &size);
    CloseHandle(token);
    if (!ok) return false;
    PSID found = which == TokenUser ? reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid
                                    : reinterpret_cast<TOKEN_OWNER*>(info.data())->Owner;
    if (!found || !IsValidSid(found)) return false;
    const BYTE* bytes = static_cast<const BYTE*>(found);
    sid->assign(bytes, bytes + GetLengthSid(found));
    return true;
}

// A security descriptor whose DACL, protected from the parent's, holds one
// ACE: the current user, full control. Folders pass it on to what is made
// in them. Holds pointers into itself: not copyable.
class OwnerOnlySecurity {
public:
    explicit OwnerOnlySecurity(bool folder) {
        if (!TokenSid(TokenUser, &sid_)) return;
        PSID sid = sid_.data();
        const DWORD aceFlags = folder ? (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) : 0;
        acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
        ACL* acl = reinterpret_cast<ACL*>(acl_.data());
        ok_ = InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
              AddAccessAllowedAceEx(acl, ACL_REVISION, aceFlags, FILE_ALL_ACCESS, sid) &&
              InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
              SetSecurityDescriptorOwner(&descriptor_, sid, FALSE) &&
              SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
              SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

    // Null when the descriptor could not be built: nothing is then created.
    SECURITY_ATTRIBUTES* attributes() { return ok_ ? &attributes_ : nullptr; }

private:
    bool ok_ = false;
    std::vector<BYTE> sid_;
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_;
    SECURITY_ATTRIBUTES attributes_;
};

bool SidIs(PSID sid, std::vector<BYTE>& wanted) { return !wanted.empty() && EqualSid(sid, wanted.data()); }

} // namespace

FolderKind InspectFolder(const WideString& path) {
    if (path.empty()) return FolderKind::Missing;
    // Opened as itself, not as what a link names; the owner is read from the
    // same handle, so nothing can be swapped between the two looks.
    HANDLE h = CreateFileW(W(path), READ_CONTROL | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FolderKind::Missing
                                                                                : FolderKind::OtherOwner;
    }
    FolderKind kind = FolderKind::OtherOwner;
    BY_HANDLE_FILE_INFORMATION info;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!GetFileInformationByHandle(h, &info)) {
        kind = FolderKind::OtherOwner;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        kind = FolderKind::Link;
    } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        kind = FolderKind::NotAFolder;
    } else if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                               &descriptor) == ERROR_SUCCESS) {
        std::vector<BYTE> user, defaultOwner;
        TokenSid(TokenUser, &user);
        TokenSid(TokenOwner, &defaultOwner);
        if (owner && (SidIs(owner, user) || SidIs(owner, defaultOwner))) kind = FolderKind::Own;
    }
    if (descriptor) LocalFree(descriptor);
    CloseHandle(h);
    return kind;
}

bool CreateOwnerOnlyFolder(const WideString& path) {
    OwnerOnlySecurity security(true);
    return !path.empty() && security.attributes() && CreateDirectoryW(W(path), security.attributes()) != FALSE;
}

std::FILE* CreateOwnerOnlyFile(const WideString& path, const char* mode) {
    if (path.empty() || !mode || mode[0] != 'w' || path.find(u'\0') != WideString::npos) return nullptr;
    OwnerOnlySecurity security(false);
    if (!security.attributes()) return nullptr;
    const bool update = std::strchr(mode, '+') != nullptr;
    // The C runtime's fopen shares for reading and writing; so does this.
    HANDLE h = CreateFileW(W(path), GENERIC_WRITE | (update ? GENERIC_READ : 0), FILE_SHARE_READ | FILE_SHARE_WRITE,
                           security.attributes(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    int flags = (update ? _O_RDWR : _O_WRONLY) | (std::strchr(mode, 't') ? _O_TEXT : _O_BINARY);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd < 0) {
        CloseHandle(h);
        DeleteFileW(W(path));
        return nullptr;
    }
    std::wstring wideMode;
    for (const char* m = mode; *m; ++m) wideMode.push_back(static_cast<unsigned char>(*m));
    std::FILE* stream = _wfdopen(fd, wideMode.c_str());
    if (!stream) {
        _close(fd);
        DeleteFileW(W(path));
    }
    return stream;
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

void WipeMemory(void* data, size_t length) {
    if (data && length > 0) SecureZeroMemory(data, length);
}

int CountInProgramHeap(const void* needle, size_t length) {
    HANDLE heap = reinterpret_cast<HANDLE>(_get_heap_handle());
    if (!needle || length == 0 || !heap || !HeapLock(heap)) return -1;
    int found = 0;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & (PROCESS_HEAP_REGION | PROCESS_HEAP_UNCOMMITTED_RANGE)) continue;
        const char* data = static_cast<const char*>(entry.lpData);
        for (size_t i = 0; data && i + length <= entry.cbData; ++i) {
            if (std::memcmp(data + i, needle, length) == 0) ++found;
        }
    }
    HeapUnlock(heap);
    return found;
}

} // namespace platform
