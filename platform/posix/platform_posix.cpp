// Linux half of the OS seam: our own small layer with the meaning the Win32
// half has (pthreads, a condition-variable event, iconv for the code pages).
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <ftw.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <string>

extern char** environ;

namespace platform {

// ---- threads ---------------------------------------------------------------

namespace {
struct ThreadStart {
    ThreadProc proc;
    void* arg;
};

void* ThreadMain(void* p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    start.proc(start.arg);
    return nullptr;
}
} // namespace

ThreadHandle StartThread(ThreadProc proc, void* arg) {
    ThreadStart* start = new (std::nothrow) ThreadStart{proc, arg};
    pthread_t* thread = new (std::nothrow) pthread_t;
    if (!start || !thread || pthread_create(thread, nullptr, ThreadMain, start) != 0) {
        delete start;
        delete thread;
        return nullptr;
    }
    return thread;
}

void JoinThread(ThreadHandle thread) {
    if (!thread) return;
    pthread_t* t = static_cast<pthread_t*>(thread);
    pthread_join(*t, nullptr);
    delete t;
}

void SleepMs(uint32_t ms) {
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Cached per thread: every critical-section entry asks for it.
uint32_t CurrentThreadId() {
    static thread_local uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
    return id;
}

// ---- auto-reset event ------------------------------------------------------

namespace {
struct EventState {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    bool signalled = false;
};
} // namespace

bool AutoResetEvent::Create() {
    Close();
    EventState* e = new (std::nothrow) EventState;
    if (!e) return false;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_mutex_init(&e->mutex, nullptr);
    pthread_cond_init(&e->cond, &attr);
    pthread_condattr_destroy(&attr);
    handle_.reset(e);
    return true;
}

void AutoResetEvent::Closer::operator()(void* handle) const {
    EventState* e = static_cast<EventState*>(handle);
    pthread_cond_destroy(&e->cond);
    pthread_mutex_destroy(&e->mutex);
    delete e;
}

void AutoResetEvent::Set() {
    if (!handle_) return;
    EventState* e = static_cast<EventState*>(handle_.get());
    pthread_mutex_lock(&e->mutex);
    e->signalled = true;
    pthread_cond_signal(&e->cond);
    pthread_mutex_unlock(&e->mutex);
}

bool AutoResetEvent::Wait(uint32_t ms) {
    if (!handle_) return false;
    EventState* e = static_cast<EventState*>(handle_.get());
    timespec deadline;
    if (ms != kInfinite) {
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += ms / 1000;
        deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
    }
    pthread_mutex_lock(&e->mutex);
    while (!e->signalled) {
        if (ms == kInfinite) {
            pthread_cond_wait(&e->cond, &e->mutex);
        } else if (pthread_cond_timedwait(&e->cond, &e->mutex, &deadline) == ETIMEDOUT) {
            break;
        }
    }
    bool got = e->signalled;
    e->signalled = false;  // auto-reset: one waiter takes the signal
    pthread_mutex_unlock(&e->mutex);
    return got;
}

// ---- critical section ------------------------------------------------------

namespace {
struct Section {
    pthread_mutex_t mutex;
    std::atomic<uint32_t> owner{0};
    int depth = 0;
};
static_assert(sizeof(Section) <= 64, "CriticalSection storage too small");

Section* S(unsigned char* storage) { return reinterpret_cast<Section*>(storage); }
const Section* S(const unsigned char* storage) { return reinterpret_cast<const Section*>(storage); }
} // namespace

CriticalSection::CriticalSection() {
    Section* s = new (storage_) Section;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&s->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

CriticalSection::~CriticalSection() {
    Section* s = S(storage_);
    pthread_mutex_destroy(&s->mutex);
    s->~Section();
}

void CriticalSection::Enter() {
    Section* s = S(storage_);
    pthread_mutex_lock(&s->mutex);
    if (s->depth++ == 0) s->owner.store(CurrentThreadId(), std::memory_order_relaxed);
}

bool CriticalSection::TryEnter() {
    Section* s = S(storage_);
    if (pthread_mutex_trylock(&s->mutex) != 0) return false;
    if (s->depth++ == 0) s->owner.store(CurrentThreadId(), std::memory_order_relaxed);
    return true;
}

void CriticalSection::Leave() {
    Section* s = S(storage_);
    if (--s->depth == 0) s->owner.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&s->mutex);
}

bool CriticalSection::IsOwnedByCurrentThread() const {
    return S(storage_)->owner.load(std::memory_order_relaxed) == CurrentThreadId();
}

// ---- interlocked counters --------------------------------------------------

int32_t InterlockedIncrement32(volatile int32_t* v) { return __atomic_add_fetch(v, 1, __ATOMIC_SEQ_CST); }
int32_t InterlockedDecrement32(volatile int32_t* v) { return __atomic_sub_fetch(v, 1, __ATOMIC_SEQ_CST); }
int32_t InterlockedCompareExchange32(volatile int32_t* v, int32_t exchange, int32_t comparand) {
    __atomic_compare_exchange_n(v, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
int32_t InterlockedRead32(const volatile int32_t* v) { return __atomic_load_n(v, __ATOMIC_SEQ_CST); }

// ---- clock -----------------------------------------------------------------

uint32_t TimeMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void BeginFineTimer() {}
void EndFineTimer() {}

LocalTime GetLocalTime() {
    time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    return LocalTime{t.tm_hour, t.tm_min, t.tm_sec};
}

// ---- environment, files and processes --------------------------------------

namespace {
std::string PathToUtf8(const WideString& path) {
    return WideToMultiByte(kCodePageUtf8, path.data(), path.size());
}
std::string AnsiToUtf8(const std::string& s) {
    if (AnsiCodePage() == kCodePageUtf8) return s;
    WideString w = MultiByteToWide(AnsiCodePage(), s.data(), s.size());
    return WideToMultiByte(kCodePageUtf8, w.data(), w.size());
}
} // namespace

WideString GetEnvironment(const char* name) {
    const char* value = getenv(name);
    if (!value || !*value) return WideString();
    WideString w = MultiByteToWide(kCodePageUtf8, value, strlen(value));
    if (w.size() >= 260) return WideString();
    return w;
}

std::string ModulePath() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    WideString w = MultiByteToWide(kCodePageUtf8, buffer, static_cast<size_t>(n));
    std::string ansi = WideToMultiByte(AnsiCodePage(), w.data(), w.size());
    if (ansi.size() >= 260) return std::string();
    return ansi;
}

std::FILE* OpenFileUtf8(const std::string& utf8Path, const char* mode) {
    if (utf8Path.empty() || !mode || utf8Path.find('\0') != std::string::npos) return nullptr;
    return std::fopen(utf8Path.c_str(), mode);
}

bool CreateFolder(const WideString& path) {
    if (path.empty()) return false;
    return mkdir(PathToUtf8(path).c_str(), 0700) == 0;
}

namespace {
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path) == 0 ? 0 : -1;
}
} // namespace

bool DeleteFolderTree(const WideString& path) {
    if (path.empty()) return false;
    // FTW_PHYS: a symlink is reported as itself and removed, never followed.
    return nftw(PathToUtf8(path).c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

FolderKind InspectFolder(const WideString& path) {
    struct stat st;
    if (path.empty() || lstat(PathToUtf8(path).c_str(), &st) != 0)
        return (!path.empty() && errno != ENOENT) ? FolderKind::OtherOwner : FolderKind::Missing;
    if (S_ISLNK(st.st_mode)) return FolderKind::Link;
    if (!S_ISDIR(st.st_mode)) return FolderKind::NotAFolder;
    return st.st_uid == geteuid() ? FolderKind::Own : FolderKind::OtherOwner;
}

bool CreateOwnerOnlyFolder(const WideString& path) {
    // The umask can only narrow 0700.
    return !path.empty() && mkdir(PathToUtf8(path).c_str(), 0700) == 0;
}

std::FILE* CreateOwnerOnlyFile(const WideString& path, const char* mode) {
    if (path.empty() || !mode || mode[0] != 'w' || path.find(u'\0') != WideString::npos) return nullptr;
    const bool update = std::strchr(mode, '+') != nullptr;
    // Created with its final mode in one step: no moment in which another
    // user could open it.
    const int flags = O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | (update ? O_RDWR : O_WRONLY);
    const int fd = open(PathToUtf8(path).c_str(), flags, S_IRUSR | S_IWUSR);
    if (fd < 0) return nullptr;
    std::FILE* stream = fdopen(fd, mode);
    if (!stream) {
        close(fd);
        unlink(PathToUtf8(path).c_str());
    }
    return stream;
}

CopyResult CopyFileOver(const std::string& from, const std::string& to) {
    std::string src = AnsiToUtf8(from), dst = AnsiToUtf8(to);
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return CopyResult::Failed;
    struct stat st;
    if (fstat(in, &st) != 0) {
        close(in);
        return CopyResult::Failed;
    }
    // Written beside the target and renamed over it, so a failed copy never
    // leaves the installed file half written.
    std::string temp = dst + ".copy-XXXXXX";
    int out = mkstemp(&temp[0]);
    if (out < 0) {
        int err = errno;
        close(in);
        return (err == EBUSY || err == ETXTBSY) ? CopyResult::Busy : CopyResult::Failed;
    }
    bool ok = true;
    char block[65536];
    for (;;) {
        ssize_t n = read(in, block, sizeof block);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, block + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    close(in);
    if (fchmod(out, st.st_mode & 0777) != 0) ok = false;
    if (ok && fsync(out) != 0) ok = false;
    if (close(out) != 0) ok = false;
    if (ok && rename(temp.c_str(), dst.c_str()) == 0) return CopyResult::Copied;
    int err = errno;
    unlink(temp.c_str());
    return (err == EBUSY || err == ETXTBSY) ? CopyResult::Busy : CopyResult::Failed;
}

bool CanCreateFileIn(const std::string& folder) {
    if (folder.empty()) return false;
    std::string probe = AnsiToUtf8(folder) + "/.kova-probe-XXXXXX";
    int fd = mkstemp(&probe[0]);
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

bool LaunchProcess(const WideString& path, const WideString* parameters) {
    std::string file = PathToUtf8(path);
    std::string param = parameters ? PathToUtf8(*parameters) : std::string();
    char* argv[3] = {&file[0], parameters ? &param[0] : nullptr, nullptr};
    pid_t pid;
    return posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv, environ) == 0;
}

void DebugOutput(const char* text) { fputs(text, stderr); }

bool RandomBytes(void* out, size_t length) {
    unsigned char* p = static_cast<unsigned char*>(out);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = getrandom(p + done, length - done, 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // ENOSYS on an old kernel: read the device instead
        }
    }
    if (done == length) return true;
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (done < length) {
        const ssize_t n = read(fd, p + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (!(n < 0 && errno == EINTR)) {
            break;
        }
    }
    close(fd);
    return done == length;
}

void WipeMemory(void* data, size_t length) {
    if (data && length > 0) explicit_bzero(data, length);
}

int CountInProgramHeap(const void*, size_t) { return -1; }

} // namespace platform
