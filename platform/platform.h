// The OS seam. platform/win32/ calls the real Win32 functions; platform/posix/
// is our own small layer with the same meaning. Nothing else in the core
// includes <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// 16-bit units, as the wide Win32 functions take them (wchar_t on Windows).
typedef std::u16string WideString;

const uint32_t kInfinite = 0xFFFFFFFFu;

// ---- threads ---------------------------------------------------------------

typedef unsigned (*ThreadProc)(void* arg);
typedef void* ThreadHandle;

// Started through the runtime library's thread-start routine (_beginthreadex on
// Windows) so the runtime's per-thread data exists. Null on failure.
ThreadHandle StartThread(ThreadProc proc, void* arg);
// Waits without limit for the thread to end, then closes its handle.
void JoinThread(ThreadHandle thread);

void SleepMs(uint32_t ms);
uint32_t CurrentThreadId();

// ---- auto-reset event ------------------------------------------------------

// Unnamed, auto-reset, initially not signalled. Move-only; closes on destruction.
class AutoResetEvent {
public:
    bool Create();              // closes any event held before; false on failure
    void Close() { handle_.reset(); }
    bool IsValid() const { return handle_ != nullptr; }
    void Set();                 // no effect without an event
    // True when signalled within `ms` (kInfinite waits without limit).
    bool Wait(uint32_t ms);

private:
    // Each platform half closes its own kind of event.
    struct Closer {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, Closer> handle_;
};

// ---- critical section ------------------------------------------------------

// Re-entrant for the owning thread, like a Win32 CRITICAL_SECTION.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter();
    bool TryEnter();
    void Leave();
    // True when the calling thread holds the section.
    bool IsOwnedByCurrentThread() const;

private:
    alignas(8) unsigned char storage_[64];
};

// ---- interlocked counters --------------------------------------------------

// Full-barrier increments and decrements; both return the new value.
int32_t InterlockedIncrement32(volatile int32_t* value);
int32_t InterlockedDecrement32(volatile int32_t* value);
// Sets *value to `exchange` when it equals `comparand`; returns the old value.
int32_t InterlockedCompareExchange32(volatile int32_t* value, int32_t exchange, int32_t comparand);
int32_t InterlockedRead32(const volatile int32_t* value);

// ---- clock -----------------------------------------------------------------

// Milliseconds of the multimedia timer (timeGetTime); wraps after 49.7 days.
uint32_t TimeMs();

// Raises the system timer resolution to 1 ms while held, so timed waits wake on
// time (the Windows default granularity is 15.6 ms). Counted: pair each call.
void BeginFineTimer();
void EndFineTimer();

struct LocalTime {
    int hour, minute, second;
};
LocalTime GetLocalTime();

// ---- code pages ------------------------------------------------------------

const unsigned kCodePageUtf8 = 65001;

// The process's ANSI code page: GetACP on Windows; on Linux taken from the
// locale's character set unless SetAnsiCodePage chose one.
unsigned AnsiCodePage();
// Linux only (Windows cannot change its ANSI code page): 950 or 65001.
// Returns false when the code page is not supported.
bool SetAnsiCodePage(unsigned codePage);

// MultiByteToWideChar(codePage, 0) over `length` bytes; empty when nothing converts.
WideString MultiByteToWide(unsigned codePage, const char* text, size_t length);
// WideCharToMultiByte(codePage, 0); unmappable characters become the code
// page's default character.
std::string WideToMultiByte(unsigned codePage, const char16_t* text, size_t length);
// Bytes from p to CharNextExA(codePage, p, 0); 0 at the terminating NUL.
size_t CharNextLength(unsigned codePage, const char* p);

// ---- environment, files and processes --------------------------------------

// The variable's value read into a 260-unit buffer (MAX_PATH); empty when
// unset, empty or longer than the buffer.
WideString GetEnvironment(const char* name);

// Full path of the running executable in the ANSI code page, at most 259 bytes.
std::string ModulePath();

// Opens a file by its name in UTF-8 with an fopen mode; null when it cannot.
// Windows opens it by its UTF-16 name, so a folder or file name that the
// ANSI code page cannot spell opens too (short names may be turned off on the
// volume); on Linux the bytes are the name. Invalid UTF-8 opens nothing on
// Windows.
std::FILE* OpenFileUtf8(const std::string& utf8Path, const char* mode);

// Creates one folder; false when it could not (including when it exists).
bool CreateFolder(const WideString& path);
// Deletes a folder with its whole content, silently. A link met inside (a
// junction or symbolic link; a symlink on Linux) is removed itself, never
// what it names. False when anything stayed behind.
bool DeleteFolderTree(const WideString& path);

// ---- folders and files of the current user alone ---------------------------

// What stands at `path`, told without following a link there.
enum class FolderKind {
    Missing,     // nothing
    Own,         // a real folder that belongs to the current user
    OtherOwner,  // a folder of someone else, or one whose owner cannot be read
    Link,        // a reparse point (junction, symbolic link) or a symlink
    NotAFolder,  // a file or anything else
};
FolderKind InspectFolder(const WideString& path);

// Creates the folder new, its access list the current user's alone: a
// protected DACL with one full-control ACE, inherited by what is made in it
// (mode 0700 on Linux). False when anything stands there already.
bool CreateOwnerOnlyFolder(const WideString& path);

// Creates the file new, never opening what stands there (a link included),
// readable and writable by the current user alone from its first moment
// (CREATE_NEW with a one-ACE protected DACL; O_EXCL|O_NOFOLLOW, mode 0600),
// and opens it with the fopen `mode` ("wb", "w+b"). Null on failure.
std::FILE* CreateOwnerOnlyFile(const WideString& path, const char* mode);

enum class CopyResult {
    Copied,
    Busy,    // the target is in use (sharing, lock or access violation): may pass
    Failed,  // anything else: will not pass by waiting
};
// Copies `from` over `to`, replacing an existing file, without ever leaving a
// part of it at `to`: the copy is written beside `to`, flushed to disk, then
// moved over it in one step (MoveFileEx with replace and write-through on
// Windows). A full disk or a power cut leaves the old file or the new one.
CopyResult CopyFileOver(const std::string& from, const std::string& to);

// True when a new file can be created in `folder` (a probe is made there and
// deleted again).
bool CanCreateFileIn(const std::string& folder);

// Starts an executable without waiting for it (ShellExecuteExW, default verb,
// SW_SHOW, inherited working directory). `parameters` null: no arguments.
bool LaunchProcess(const WideString& path, const WideString* parameters);

// Text for the debugger (OutputDebugStringA); standard error on Linux.
void DebugOutput(const char* text);

// Fills `out` from the system's cryptographic random source (BCryptGenRandom
// on Windows, getrandom or /dev/urandom on Linux); false when it could not.
bool RandomBytes(void* out, size_t length);

// ---- secrets ---------------------------------------------------------------

// Zeros `length` bytes with a store the compiler may not drop as dead
// (SecureZeroMemory on Windows, explicit_bzero on Linux).
void WipeMemory(void* data, size_t length);
// Zeros the whole storage, not only the size (an earlier, longer value may
// still sit past the end), then empties. The storage is kept.
inline void WipeString(std::string& s) {
    s.resize(s.capacity());
    if (!s.empty()) WipeMemory(&s[0], s.size());
    s.clear();
}
inline void WipeVector(std::vector<char>& v) {
    v.resize(v.capacity());
    if (!v.empty()) WipeMemory(v.data(), v.size());
    v.clear();
}

// How often `needle` occurs in the C runtime's heap (malloc and new), in busy
// and free blocks alike: a test's view of what the program left behind. The
// system's own DLLs keep their copies in other heaps. -1 where the heap
// cannot be walked (Linux). Allocates nothing while it walks.
int CountInProgramHeap(const void* needle, size_t length);

} // namespace platform
