// The exchange with WinInet: blocking calls on the worker thread, the
// system's proxy-less direct access, redirects followed here (never from
// https to anything else), our time limits, TLS verified against the
// system's store (never add the IGNORE_CERT_* flags: the body carries the
// customer's certificate and its password).
#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <vector>

#include "files/filesystem.h"
#include "net/exchange.h"
#include "net/exchangesteps.h"
#include "net/httpconnection.h"
#include "net/httprequest.h"

namespace net {

namespace {

const char kAgent[] = "Mozilla/4.0 (Compatible; MSIE 6.0;)";
const DWORD kBlock = 1024;
// How often the watchdog looks at an exchange's time limit.
const DWORD kWatchPeriodMs = 100;
// A Location value longer than this is refused.
const DWORD kLocationBuffer = 4096;

// Move-only; closes on destruction.
class InetHandle {
public:
    InetHandle() = default;
    explicit InetHandle(HINTERNET h) : h_(h) {}
    ~InetHandle() { Close(); }
    InetHandle(InetHandle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
    InetHandle& operator=(InetHandle&& other) noexcept {
        if (this != &other) {
            Close();
            h_ = other.h_;
            other.h_ = nullptr;
        }
        return *this;
    }
    InetHandle(const InetHandle&) = delete;
    InetHandle& operator=(const InetHandle&) = delete;

    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Close() {
        if (h_) InternetCloseHandle(h_);
        h_ = nullptr;
    }

private:
    HINTERNET h_ = nullptr;
};

// The request handle of an exchange may be closed by someone else than its
// worker: the abort at shut-down, or the watchdog when the time limit ran
// out (a blocking WinInet call returns only then). The worker may be about
// to use that handle value at that moment; should a new handle get the same
// value, the worker would read someone else's answer. So one lock covers
// every close by another, every creation of a WinInet handle, and the
// worker's check before each use: while a closed value has not been let go
// by its worker, no handle is created, and after the abort none ever is.
std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}
std::condition_variable& LetGo() {
    static std::condition_variable letGo;
    return letGo;
}
// Request handles closed by another that their workers still hold.
int g_held = 0;

class Guarded;
std::vector<Guarded*>& Open() {
    static std::vector<Guarded*> open;
    return open;
}

// One exchange: its request handle and its time limit, watched by a timer.
class Guarded {
public:
    explicit Guarded(const TimeLimit& limit) : limit_(limit), started_(platform::TimeMs()), windowStart_(started_) {
        {
            std::lock_guard<std::mutex> lock(Lock());
            Open().push_back(this);
        }
        if (!CreateTimerQueueTimer(&timer_, nullptr, Tick, this, kWatchPeriodMs, kWatchPeriodMs, WT_EXECUTEDEFAULT)) {
            timer_ = nullptr;
        }
    }
    ~Guarded() {
        // Waits for a tick under way, so none runs on a destroyed exchange.
        if (timer_) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
        CloseRequest();
        std::lock_guard<std::mutex> lock(Lock());
        std::vector<Guarded*>& open = Open();
        for (size_t i = 0; i < open.size(); ++i) {
            if (open[i] == this) {
                open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    bool Watched() const { return timer_ != nullptr; }

    // A new WinInet handle from `make`, or null: after the abort, past the
    // time limit, or when `make` fails.
    HINTERNET Create(const std::function<HINTERNET()>& make) {
        std::unique_lock<std::mutex> lock(Lock());
        LetGoLocked();  // a worker never waits for itself
        LetGo().wait(lock, [] { return g_held == 0 || ExchangesAborted(); });
        if (ExchangesAborted() || outOfTime_) return nullptr;
        return make();
    }
    // The request handle, created as Create does and watched from now on.
    bool OpenRequest(const std::function<HINTERNET()>& make) {
        CloseRequest();
        HINTERNET h = Create([&] {
            request_ = make();
            return request_;
        });
        return h != nullptr;
    }
    // The request handle for one more call, or null when it must not be
    // used again: closed by another (then let go), or out of time.
    HINTERNET Use() {
        std::lock_guard<std::mutex> lock(Lock());
        if (closedByOther_) {
            LetGoLocked();
            return nullptr;
        }
        if (outOfTime_ || ExchangesAborted()) return nullptr;
        return request_;
    }
    // The worker is done with its request handle: closes it, or lets go of
    // it when another closed it.
    void CloseRequest() {
        std::lock_guard<std::mutex> lock(Lock());
        if (closedByOther_) {
            LetGoLocked();
        } else if (request_) {
            InternetCloseHandle(request_);
        }
        request_ = nullptr;
        closedByOther_ = false;
    }
    // Bytes sent or received, for the minimum rate.
    void Progress(size_t bytes) {
        std::lock_guard<std::mutex> lock(Lock());
        windowBytes_ += static_cast<int64_t>(bytes);
    }
    bool OutOfTime() {
        std::lock_guard<std::mutex> lock(Lock());
        return outOfTime_;
    }
    // Per-call limits: never past the deadline, so that a blocking call that
    // a close does not end (Wine) still ends near it.
    DWORD CallLimit(DWORD limit) const {
        return limit_.deadlineMs > 0 && limit_.deadlineMs < limit ? limit_.deadlineMs : limit;
    }

    // Shut-down: closes every exchange's request handle (lock held).
    void CloseForWorkerLocked() {
        if (!request_ || closedByOther_) return;
        InternetCloseHandle(request_);
        closedByOther_ = true;
        ++g_held;
    }

private:
    void LetGoLocked() {
        if (!closedByOther_) return;
        closedByOther_ = false;
        request_ = nullptr;
        --g_held;
        LetGo().notify_all();
    }

    static VOID CALLBACK Tick(PVOID self, BOOLEAN) { static_cast<Guarded*>(self)->Check(); }
    void Check() {
        std::lock_guard<std::mutex> lock(Lock());
        if (outOfTime_) return;
        const uint32_t now = platform::TimeMs();
        if (limit_.minimumRate > 0) {
            const uint32_t span = now - windowStart_;
            if (span < limit_.windowMs) return;
            if (windowBytes_ * 1000 >= static_cast<int64_t>(limit_.minimumRate) * span) {
                windowStart_ = now;
                windowBytes_ = 0;
                return;
            }
        } else if (now - started_ < limit_.deadlineMs) {
            return;
        }
        outOfTime_ = true;
        CloseForWorkerLocked();
    }

    const TimeLimit limit_;
    HANDLE timer_ = nullptr;
    HINTERNET request_ = nullptr;
    bool closedByOther_ = false;
    bool outOfTime_ = false;
    const uint32_t started_;
    uint32_t windowStart_;
    int64_t windowBytes_ = 0;
};

// One header into a zeroed buffer; empty when absent or too long.
std::string QueryHeader(Guarded& guard, DWORD what, DWORD size = kHeaderBuffer) {
    std::vector<char> buffer(size, '\0');
    DWORD length = size;
    HINTERNET h = guard.Use();
    if (!h || !HttpQueryInfoA(h, what, buffer.data(), &length, nullptr)) return std::string();
    buffer[size - 1] = '\0';
    return buffer.data();
}

int64_t QueryNumber(Guarded& guard, DWORD what) {
    const std::string text = QueryHeader(guard, what);
    if (text.empty()) return 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return value > 0 ? value : 0;
}

// Streams the open spool file in 1024-byte blocks; false when a write failed.
bool Upload(Guarded& guard, HTTPConnection& connection, HTTPRequest& request, File& spool, int64_t total) {
    IFileSystem& fs = IFileSystem::Instance();
    char block[kBlock];
    int64_t sent = 0;
    for (;;) {
        const size_t n = fs.Read(spool, block, sizeof block);
        if (n == 0) return true;
        size_t done = 0;
        while (done < n) {
            DWORD written = 0;
            HINTERNET h = guard.Use();
            if (!h) return false;
            if (!InternetWriteFile(h, block + done, static_cast<DWORD>(n - done), &written) &&
                GetLastError() != ERROR_IO_PENDING) {
                return false;
            }
            if (written == 0) return false;  // nothing taken: fail rather than spin
            done += written;
            guard.Progress(written);
        }
        sent += static_cast<int64_t>(n);
        connection.OnUploadProgress(&request, sent, total);
        if (n < sizeof block) return true;
    }
}

// On each request handle, so that Windows and Wine alike give up when the
// curl build does, whatever their own defaults.
void SetTimeLimits(Guarded& guard) {
    const DWORD limits[][2] = {{INTERNET_OPTION_CONNECT_TIMEOUT, guard.CallLimit(kConnectTimeoutMs)},
                               {INTERNET_OPTION_SEND_TIMEOUT, guard.CallLimit(kStallTimeoutMs)},
                               {INTERNET_OPTION_RECEIVE_TIMEOUT, guard.CallLimit(kStallTimeoutMs)}};
    HINTERNET h = guard.Use();
    for (const auto& limit : limits) {
        DWORD value = limit[1];
        if (h) InternetSetOptionA(h, limit[0], &value, sizeof value);
    }
}

// What one hop sends.
struct Hop {
    const char* verb;
    std::string object;
    DWORD flags;
    bool withBody;  // the in-memory body or the spool file
};

// Opens the request and sends it with its body. An upload that fails before
// its whole body went out is tried once more: the connection WinInet kept
// from an earlier exchange may have been closed by the server meanwhile (its
// keep-alive ran out), and Wine's WinInet, unlike Windows', does not then
// open a fresh one by itself. The server never acts on a body it did not
// receive whole, so nothing can be applied twice; a failure after the whole
// body went out is not retried.
bool SendRequest(Guarded& guard, HTTPConnection& connection, HTTPRequest& request, HINTERNET session, const Hop& hop,
                 const std::string& headers, File& spool, int64_t spoolSize) {
    IFileSystem& fs = IFileSystem::Instance();
    const char* accept[] = {"*/*", nullptr};
    const bool streamed = hop.withBody && spool.IsOpen();
    if (streamed && !fs.Seek(spool, 0, IFileSystem::kBegin)) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!guard.OpenRequest([&] {
                return HttpOpenRequestA(session, hop.verb, hop.object.c_str(), "HTTP/1.1", nullptr, accept, hop.flags,
                                        1);
            })) {
            return false;
        }
        SetTimeLimits(guard);
        bool bodySent = false;
        bool sent = false;
        HINTERNET h = guard.Use();
        if (!h) return false;
        if (streamed) {
            INTERNET_BUFFERSA buffers = {};
            buffers.dwStructSize = sizeof buffers;
            buffers.lpcszHeader = headers.c_str();
            buffers.dwHeadersLength = static_cast<DWORD>(headers.size());
            buffers.dwHeadersTotal = static_cast<DWORD>(headers.size());
            buffers.dwBufferTotal = static_cast<DWORD>(spoolSize);
            bodySent = HttpSendRequestExA(h, &buffers, nullptr, HSR_INITIATE, 1) != FALSE &&
                       Upload(guard, connection, request, spool, spoolSize);
            h = bodySent ? guard.Use() : nullptr;
            sent = h && HttpEndRequestA(h, nullptr, HSR_SYNC, 1) != FALSE;
        } else {
            const std::vector<char>& body = request.GetBody();
            const bool withBody = hop.withBody && request.GetSpoolPath().empty() && !body.empty();
            bodySent = true;
            sent = HttpSendRequestA(h, headers.c_str(), static_cast<DWORD>(headers.size()),
                                    withBody ? const_cast<char*>(body.data()) : nullptr,
                                    withBody ? static_cast<DWORD>(body.size()) : 0) != FALSE;
        }
        if (sent) return true;
        if (bodySent || attempt > 0 || !guard.Use() || !fs.Seek(spool, 0, IFileSystem::kBegin)) return false;
    }
    return false;
}

// Reads the answer into `answer`; false when it broke off, passed its cap,
// or ran out of time (`timedOut`).
bool ReadAnswer(Guarded& guard, HTTPConnection& connection, HTTPRequest& request, AnswerBuffer& answer,
                int64_t contentLength, bool* timedOut) {
    if (!answer.Admits(contentLength) || !answer.Expect(contentLength)) return false;
    char block[kBlock];
    for (;;) {
        // Only what has arrived: a blocking read waits to fill its whole
        // buffer, and under Wine closing the handle does not end that wait,
        // so a trickle would outlast the time limit and starve the rate.
        DWORD available = 0;
        HINTERNET h = guard.Use();
        if (!h || !InternetQueryDataAvailable(h, &available, 0, 0)) {
            // The connection broke mid-answer, or stalled.
            if (h && GetLastError() == ERROR_INTERNET_TIMEOUT) *timedOut = true;
            return false;
        }
        if (available == 0) break;
        DWORD got = 0;
        h = guard.Use();
        if (!h || !InternetReadFile(h, block, available < kBlock ? available : kBlock, &got)) {
            if (h && GetLastError() == ERROR_INTERNET_TIMEOUT) *timedOut = true;
            return false;
        }
        if (got == 0) break;
        guard.Progress(got);
        if (!answer.Append(block, got)) return false;
        connection.OnDownloadProgress(&request, static_cast<int64_t>(answer.size()), contentLength);
    }
    // A declared length not reached means the answer was cut short.
    return contentLength <= 0 || static_cast<int64_t>(answer.size()) == contentLength;
}

} // namespace

void AbortLibraryExchanges() {
    std::lock_guard<std::mutex> lock(Lock());
    for (Guarded* g : Open()) g->CloseForWorkerLocked();
    LetGo().notify_all();  // creations waiting now fail
}

void RunExchange(HTTPConnection& connection, HTTPRequest& request) {
    std::string headers = RequestHeaders(request);
    UrlParts parts;
    if (!SplitUrl(request.GetUrl(), &parts)) return FinishExchange(connection, request, false, 0);

    // Declared before the guard, so that even an exception closes the
    // request handle before its parents (closing a parent closes it too,
    // and its value could then be closed twice).
    InetHandle internet;
    InetHandle session;
    Guarded guard(TimeLimitOf(request));
    if (!guard.Watched()) return FinishExchange(connection, request, false, 0);
    internet = InetHandle(
        guard.Create([] { return InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0); }));
    if (!internet) return FinishExchange(connection, request, false, 0);

    bool get = SendsAsGet(request);
    Hop hop{get ? "GET" : "POST", ObjectWithQuery(request, parts), 0, !get};
    IFileSystem& fs = IFileSystem::Instance();
    File spool;
    int64_t spoolSize = 0;
    if (!get && !request.GetSpoolPath().empty()) {
        spool = fs.Open(request.GetSpoolPath(), "rb");
        if (spool.IsOpen() && fs.Seek(spool, 0, IFileSystem::kEnd)) spoolSize = fs.Tell(spool);
        if (spoolSize < 0 || spoolSize > MAXDWORD || !fs.Seek(spool, 0, IFileSystem::kBegin)) spool.Close();
    }

    const uint32_t started = platform::TimeMs();
    bool sent = false;
    bool ok = false;
    int status = 0;
    // Redirects are followed here, not by WinInet, which would follow one
    // from https to http.
    for (int redirects = 0;; ++redirects) {
        hop.flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                    (parts.secure ? INTERNET_FLAG_SECURE : 0);
        guard.CloseRequest();
        session.Close();
        session = InetHandle(guard.Create([&] {
            return InternetConnectA(internet.get(), parts.host.c_str(), static_cast<INTERNET_PORT>(parts.port), "", "",
                                    INTERNET_SERVICE_HTTP, 0, 1);
        }));
        sent = session && SendRequest(guard, connection, request, session.get(), hop, headers, spool, spoolSize);
        if (!sent) break;
        status = static_cast<int>(QueryNumber(guard, HTTP_QUERY_STATUS_CODE));
        ok = true;
        if (!IsRedirect(status)) break;
        std::string next;
        if (redirects == kMaxRedirects ||
            !ResolveRedirect(parts, QueryHeader(guard, HTTP_QUERY_LOCATION, kLocationBuffer), &next) ||
            !SplitUrl(next, &parts)) {
            ok = false;
            break;
        }
        hop.object = parts.object;
        if (!RedirectKeepsMethod(status) && !get) {
            get = true;
            hop.verb = "GET";
            hop.withBody = false;
        }
    }
    spool.Close();

    uint32_t elapsed = 0;
    bool timedOut = false;
    if (sent && ok) {
        // Headers first: a watchdog may close the handle once the last
        // block is in, and a whole answer is a success all the same.
        const int64_t contentLength = QueryNumber(guard, HTTP_QUERY_CONTENT_LENGTH);
        const std::string contentType = FitHeader(QueryHeader(guard, HTTP_QUERY_CONTENT_TYPE));
        AnswerBuffer answer(request);
        ok = ReadAnswer(guard, connection, request, answer, contentLength, &timedOut);
        elapsed = platform::TimeMs() - started;
        // An answer that memory cannot hold fails like one past the cap.
        if (ok) ok = StoreAnswer(connection, request, status, contentType, answer);
    }
    // Out of time fails as if no server had answered, whatever arrived.
    if (!ok && (timedOut || guard.OutOfTime())) status = 0;
    guard.CloseRequest();
    WriteTimingLine(request.GetUrl(), elapsed);
    session.Close();
    internet.Close();
    FinishExchange(connection, request, ok && status != 0, status);
}

} // namespace net
