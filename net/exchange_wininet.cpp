// The exchange with WinInet: blocking calls on the worker thread, the
// system's proxy-less direct access, its redirects, our time limits,
// TLS verified against the system's store (never add the IGNORE_CERT_* flags:
// the body carries the customer's certificate and its password).
#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "files/filesystem.h"
#include "net/exchange.h"
#include "net/exchangesteps.h"
#include "net/httpconnection.h"
#include "task/cslock.h"

namespace net {

namespace {

const char kAgent[] = "Mozilla/4.0 (Compatible; MSIE 6.0;)";
const DWORD kBlock = 1024;

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
    // Lets go without closing (someone else closed it).
    void Forget() { h_ = nullptr; }
    explicit operator bool() const { return h_ != nullptr; }
    void Close() {
        if (h_) InternetCloseHandle(h_);
        h_ = nullptr;
    }

private:
    HINTERNET h_ = nullptr;
};

// The request handles of exchanges under way. An abort closes them, which
// makes the blocking call waiting on one return with an error; the exchange
// then must not close its handle a second time (the value may be reused).
class OpenRequests {
public:
    static void Add(HINTERNET h) {
        CS_Guard guard(Lock(), __FILE__, __LINE__);
        List().push_back(h);
    }
    // True when the exchange still owns the handle (no abort closed it).
    static bool Remove(HINTERNET h) {
        CS_Guard guard(Lock(), __FILE__, __LINE__);
        std::vector<HINTERNET>& list = List();
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i] == h) {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                return true;
            }
        }
        return false;
    }
    static void CloseAll() {
        CS_Guard guard(Lock(), __FILE__, __LINE__);
        for (HINTERNET h : List()) InternetCloseHandle(h);
        List().clear();
    }

private:
    static CS_Lock& Lock() {
        static CS_Lock lock(0);
        return lock;
    }
    static std::vector<HINTERNET>& List() {
        static std::vector<HINTERNET> list;
        return list;
    }
};

// One header into a zeroed 128-byte buffer; empty when absent or too long.
std::string QueryHeader(HINTERNET request, DWORD what) {
    char buffer[kHeaderBuffer] = {};
    DWORD length = sizeof buffer;
    if (!HttpQueryInfoA(request, what, buffer, &length, nullptr)) return std::string();
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

int64_t QueryNumber(HINTERNET request, DWORD what) {
    const std::string text = QueryHeader(request, what);
    if (text.empty()) return 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return value > 0 ? value : 0;
}

// Streams the open spool file in 1024-byte blocks; false when a write failed.
bool Upload(HTTPConnection& connection, HTTPRequest& request, HINTERNET handle, File& spool, int64_t total) {
    IFileSystem& fs = IFileSystem::Instance();
    char block[kBlock];
    int64_t sent = 0;
    for (;;) {
        if (ExchangesAborted()) return false;
        const size_t n = fs.Read(spool, block, sizeof block);
        if (n == 0) return true;
        size_t done = 0;
        while (done < n) {
            DWORD written = 0;
            if (!InternetWriteFile(handle, block + done, static_cast<DWORD>(n - done), &written) &&
                GetLastError() != ERROR_IO_PENDING) {
                return false;
            }
            if (written == 0) return false;  // nothing taken: fail rather than spin
            done += written;
        }
        sent += static_cast<int64_t>(n);
        connection.OnUploadProgress(&request, sent, total);
        if (n < sizeof block) return true;
    }
}

// On each request handle, so that Windows and Wine alike give up when the
// curl build does, whatever their own defaults.
void SetTimeLimits(HINTERNET request) {
    const DWORD limits[][2] = {{INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs},
                               {INTERNET_OPTION_SEND_TIMEOUT, kStallTimeoutMs},
                               {INTERNET_OPTION_RECEIVE_TIMEOUT, kStallTimeoutMs}};
    for (const auto& limit : limits) {
        DWORD value = limit[1];
        InternetSetOptionA(request, limit[0], &value, sizeof value);
    }
}

} // namespace

void AbortLibraryExchanges() { OpenRequests::CloseAll(); }

void RunExchange(HTTPConnection& connection, HTTPRequest& request) {
    std::string headers = RequestHeaders(request);
    UrlParts parts;
    if (!SplitUrl(request.GetUrl(), &parts)) return FinishExchange(connection, request, false, 0);
    const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | (parts.secure ? INTERNET_FLAG_SECURE : 0);

    InetHandle internet(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!internet) return FinishExchange(connection, request, false, 0);
    InetHandle session(InternetConnectA(internet.get(), parts.host.c_str(), static_cast<INTERNET_PORT>(parts.port), "",
                                        "", INTERNET_SERVICE_HTTP, 0, 1));
    if (!session) return FinishExchange(connection, request, false, 0);

    const bool get = SendsAsGet(request);
    const std::string object = ObjectWithQuery(request, parts);
    IFileSystem& fs = IFileSystem::Instance();
    File spool;
    int64_t spoolSize = 0;
    if (!get && !request.GetSpoolPath().empty()) {
        spool = fs.Open(request.GetSpoolPath(), "rb");
        if (spool.IsOpen() && fs.Seek(spool, 0, IFileSystem::kEnd)) spoolSize = fs.Tell(spool);
        if (spoolSize < 0 || spoolSize > MAXDWORD || !fs.Seek(spool, 0, IFileSystem::kBegin)) spool.Close();
    }

    const uint32_t started = platform::TimeMs();
    const char* accept[] = {"*/*", nullptr};
    InetHandle handle;
    bool sent = false;
    // An upload that fails before its whole body went out is tried once more:
    // the connection WinInet kept from an earlier exchange may have been
    // closed by the server meanwhile (its keep-alive ran out), and Wine's
    // WinInet, unlike Windows', does not then open a fresh one by itself. The
    // server never acts on a body it did not receive whole, so nothing can be
    // applied twice; a failure after the whole body went out is not retried.
    for (int attempt = 0; attempt < 2; ++attempt) {
        handle = InetHandle(HttpOpenRequestA(session.get(), get ? "GET" : "POST", object.c_str(), "HTTP/1.1",
                                             nullptr, accept, flags, 1));
        if (!handle) return FinishExchange(connection, request, false, 0);
        SetTimeLimits(handle.get());
        OpenRequests::Add(handle.get());
        bool bodySent = false;
        if (ExchangesAborted()) {
            // An abort before Add did not see this handle: fail here instead.
        } else if (spool.IsOpen()) {
            INTERNET_BUFFERSA buffers = {};
            buffers.dwStructSize = sizeof buffers;
            buffers.lpcszHeader = headers.c_str();
            buffers.dwHeadersLength = static_cast<DWORD>(headers.size());
            buffers.dwHeadersTotal = static_cast<DWORD>(headers.size());
            buffers.dwBufferTotal = static_cast<DWORD>(spoolSize);
            bodySent = HttpSendRequestExA(handle.get(), &buffers, nullptr, HSR_INITIATE, 1) != FALSE &&
                       Upload(connection, request, handle.get(), spool, spoolSize);
            sent = bodySent && HttpEndRequestA(handle.get(), nullptr, HSR_SYNC, 1) != FALSE;
        } else {
            const std::vector<char>& body = request.GetBody();
            const bool withBody = !get && request.GetSpoolPath().empty() && !body.empty();
            bodySent = true;
            sent = HttpSendRequestA(handle.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                    withBody ? const_cast<char*>(body.data()) : nullptr,
                                    withBody ? static_cast<DWORD>(body.size()) : 0) != FALSE;
        }
        if (sent || bodySent || attempt > 0 || ExchangesAborted() || !fs.Seek(spool, 0, IFileSystem::kBegin)) break;
        if (!OpenRequests::Remove(handle.get())) {
            handle.Forget();  // an abort closed it
            break;
        }
        handle.Close();
    }
    spool.Close();

    bool ok = false;
    int status = 0;
    uint32_t elapsed = 0;
    if (sent) {
        const int64_t contentLength = QueryNumber(handle.get(), HTTP_QUERY_CONTENT_LENGTH);
        status = static_cast<int>(QueryNumber(handle.get(), HTTP_QUERY_STATUS_CODE));
        AnswerBuffer answer(request);
        ok = answer.Admits(contentLength) && answer.Expect(contentLength);
        char block[kBlock];
        while (ok) {
            if (ExchangesAborted()) {
                ok = false;
                break;
            }
            DWORD got = 0;
            if (!InternetReadFile(handle.get(), block, sizeof block, &got)) {
                ok = false;  // the connection broke mid-answer
                break;
            }
            if (got == 0) break;
            if (!answer.Append(block, got)) ok = false;
            connection.OnDownloadProgress(&request, static_cast<int64_t>(answer.size()), contentLength);
        }
        // A declared length not reached means the answer was cut short.
        if (ok && contentLength > 0 && static_cast<int64_t>(answer.size()) != contentLength) ok = false;
        elapsed = platform::TimeMs() - started;
        // An answer that memory cannot hold fails like one past the cap.
        if (ok) ok = StoreAnswer(connection, request, status,
                                 FitHeader(QueryHeader(handle.get(), HTTP_QUERY_CONTENT_TYPE)), answer);
    }
    if (OpenRequests::Remove(handle.get())) {
        handle.Close();
    } else {
        handle.Forget();
    }
    WriteTimingLine(request.GetUrl(), elapsed);
    session.Close();
    internet.Close();
    FinishExchange(connection, request, ok && status != 0, status);
}

} // namespace net
