// The exchange with WinInet: blocking calls on the worker thread, the
// system's proxy-less direct access, redirects followed here (never from
// https to anything else), our time limits, TLS verified against the
// system's store (never add the IGNORE_CERT_* flags: the body carries the
// customer's certificate and its password).
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "files/filesystem.h"
#include "net/exchange.h"
#include "net/exchangesteps.h"
#include "net/httpconnection.h"
#include "net/httprequest.h"
#include "net/inethandle.h"

namespace net {

namespace {

const char kAgent[] = "Mozilla/4.0 (Compatible; MSIE 6.0;)";
const DWORD kBlock = 1024;
// A Location value longer than this is refused.
const DWORD kLocationBuffer = 4096;

// What the steps of one exchange share. The handles come before the guard,
// so that even an exception closes the request handle before its parents
// (closing a parent closes it too, and its value could then be closed twice).
struct Exchange {
    Exchange(HTTPConnection& c, HTTPRequest& r, std::string h)
        : connection(c), request(r), headers(std::move(h)), guard(TimeLimitOf(r)) {}

    HTTPConnection& connection;
    HTTPRequest& request;
    const std::string headers;
    InetHandle internet;
    InetHandle session;
    Guarded guard;
    File spool;  // open when the body streams from the spool file
    int64_t spoolSize = 0;
};

// What one hop sends.
struct Hop {
    const char* verb;
    std::string object;
    DWORD flags;
    bool withBody;  // the in-memory body or the spool file
};

// How the hops ended: `sent` when the last one went out; `status` of the last
// answer that came, `ok` unless that was a redirect that cannot be followed.
struct Reply {
    bool sent = false;
    bool ok = false;
    int status = 0;
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

// The spool file the body streams from, kept open only when its size fits
// WinInet's 32-bit total; otherwise the request goes out without a body.
void OpenUpload(Exchange& x) {
    x.spoolSize = OpenSpool(x.request, &x.spool);
    if (x.spoolSize > MAXDWORD) x.spool.Close();
}

// Streams the open spool file in 1024-byte blocks; false when a write failed.
bool Upload(Exchange& x) {
    IFileSystem& fs = IFileSystem::Instance();
    char block[kBlock];
    int64_t sent = 0;
    for (;;) {
        const size_t n = fs.Read(x.spool, block, sizeof block);
        if (n == 0) return true;
        size_t done = 0;
        while (done < n) {
            DWORD written = 0;
            HINTERNET h = x.guard.Use();
            if (!h) return false;
            if (!InternetWriteFile(h, block + done, static_cast<DWORD>(n - done), &written) &&
                GetLastError() != ERROR_IO_PENDING) {
                return false;
            }
            if (written == 0) return false;  // nothing taken: fail rather than spin
            done += written;
            x.guard.Progress(written);
        }
        sent += static_cast<int64_t>(n);
        x.connection.OnUploadProgress(&x.request, sent, x.spoolSize);
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

// The headers, the spool file block by block, then the end of the request;
// `bodySent` once the whole body went out.
bool SendStreamed(Exchange& x, HINTERNET h, bool* bodySent) {
    INTERNET_BUFFERSA buffers = {};
    buffers.dwStructSize = sizeof buffers;
    buffers.lpcszHeader = x.headers.c_str();
    buffers.dwHeadersLength = static_cast<DWORD>(x.headers.size());
    buffers.dwHeadersTotal = static_cast<DWORD>(x.headers.size());
    buffers.dwBufferTotal = static_cast<DWORD>(x.spoolSize);
    *bodySent = HttpSendRequestExA(h, &buffers, nullptr, HSR_INITIATE, 1) != FALSE && Upload(x);
    h = *bodySent ? x.guard.Use() : nullptr;
    return h && HttpEndRequestA(h, nullptr, HSR_SYNC, 1) != FALSE;
}

// The headers with the in-memory body, or none, in one call.
bool SendInOne(Exchange& x, HINTERNET h, const Hop& hop) {
    const std::vector<char>& body = x.request.GetBody();
    const bool withBody = hop.withBody && x.request.GetSpoolPath().empty() && !body.empty();
    return HttpSendRequestA(h, x.headers.c_str(), static_cast<DWORD>(x.headers.size()),
                            withBody ? const_cast<char*>(body.data()) : nullptr,
                            withBody ? static_cast<DWORD>(body.size()) : 0) != FALSE;
}

// Opens the request and sends it with its body. An upload that fails before
// its whole body went out is tried once more: the connection WinInet kept
// from an earlier exchange may have been closed by the server meanwhile (its
// keep-alive ran out), and Wine's WinInet, unlike Windows', does not then
// open a fresh one by itself. The server never acts on a body it did not
// receive whole, so nothing can be applied twice; a failure after the whole
// body went out is not retried.
bool SendRequest(Exchange& x, const Hop& hop) {
    IFileSystem& fs = IFileSystem::Instance();
    const char* accept[] = {"*/*", nullptr};
    const bool streamed = hop.withBody && x.spool.IsOpen();
    if (streamed && !fs.Seek(x.spool, 0, IFileSystem::kBegin)) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!x.guard.OpenRequest([&] {
                return HttpOpenRequestA(x.session.get(), hop.verb, hop.object.c_str(), "HTTP/1.1", nullptr, accept,
                                        hop.flags, 1);
            })) {
            return false;
        }
        SetTimeLimits(x.guard);
        HINTERNET h = x.guard.Use();
        if (!h) return false;
        bool bodySent = true;
        const bool sent = streamed ? SendStreamed(x, h, &bodySent) : SendInOne(x, h, hop);
        if (sent) return true;
        if (bodySent || attempt > 0 || !x.guard.Use() || !fs.Seek(x.spool, 0, IFileSystem::kBegin)) return false;
    }
    return false;
}

// A fresh session to the hop's host, and the hop sent over it.
bool SendHop(Exchange& x, const UrlParts& parts, Hop& hop) {
    hop.flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                (parts.secure ? INTERNET_FLAG_SECURE : 0);
    x.guard.CloseRequest();
    x.session.reset();
    x.session.reset(x.guard.Create([&] {
        return InternetConnectA(x.internet.get(), parts.host.c_str(), static_cast<INTERNET_PORT>(parts.port), "", "",
                                INTERNET_SERVICE_HTTP, 0, 1);
    }));
    return x.session && SendRequest(x, hop);
}

// Where the redirect answered with `status` leads; false when it cannot be
// followed. A 301, 302 or 303 turns a POST into a GET without body.
bool NextHop(Guarded& guard, int status, UrlParts* parts, Hop* hop) {
    std::string next;
    if (!ResolveRedirect(*parts, QueryHeader(guard, HTTP_QUERY_LOCATION, kLocationBuffer), &next) ||
        !SplitUrl(next, parts)) {
        return false;
    }
    hop->object = parts->object;
    if (!RedirectKeepsMethod(status) && hop->withBody) {
        hop->verb = "GET";
        hop->withBody = false;
    }
    return true;
}

// Redirects are followed here, not by WinInet, which would follow one from
// https to http.
Reply SendFollowingRedirects(Exchange& x, UrlParts& parts, Hop& hop) {
    Reply reply;
    for (int redirects = 0;; ++redirects) {
        reply.sent = SendHop(x, parts, hop);
        if (!reply.sent) break;
        reply.status = static_cast<int>(QueryNumber(x.guard, HTTP_QUERY_STATUS_CODE));
        reply.ok = true;
        if (!IsRedirect(reply.status)) break;
        if (redirects == kMaxRedirects || !NextHop(x.guard, reply.status, &parts, &hop)) {
            reply.ok = false;
            break;
        }
    }
    return reply;
}

// Reads the answer into `answer`; false when it broke off, passed its cap,
// or ran out of time (`timedOut`).
bool ReadAnswer(Exchange& x, AnswerBuffer& answer, int64_t contentLength, bool* timedOut) {
    if (!answer.Admits(contentLength) || !answer.Expect(contentLength)) return false;
    char block[kBlock];
    for (;;) {
        // Only what has arrived: a blocking read waits to fill its whole
        // buffer, and under Wine closing the handle does not end that wait,
        // so a trickle would outlast the time limit and starve the rate.
        DWORD available = 0;
        HINTERNET h = x.guard.Use();
        if (!h || !InternetQueryDataAvailable(h, &available, 0, 0)) {
            // The connection broke mid-answer, or stalled.
            if (h && GetLastError() == ERROR_INTERNET_TIMEOUT) *timedOut = true;
            return false;
        }
        if (available == 0) break;
        DWORD got = 0;
        h = x.guard.Use();
        if (!h || !InternetReadFile(h, block, available < kBlock ? available : kBlock, &got)) {
            if (h && GetLastError() == ERROR_INTERNET_TIMEOUT) *timedOut = true;
            return false;
        }
        if (got == 0) break;
        x.guard.Progress(got);
        if (!answer.Append(block, got)) return false;
        x.connection.OnDownloadProgress(&x.request, static_cast<int64_t>(answer.size()), contentLength);
    }
    // A declared length not reached means the answer was cut short.
    return contentLength <= 0 || static_cast<int64_t>(answer.size()) == contentLength;
}

// Reads the final answer and stores it in the request; `elapsedMs` counts
// from `started` to its last byte.
bool ReceiveAnswer(Exchange& x, int status, uint32_t started, uint32_t* elapsedMs, bool* timedOut) {
    // Headers first: a watchdog may close the handle once the last block is
    // in, and a whole answer is a success all the same.
    const int64_t contentLength = QueryNumber(x.guard, HTTP_QUERY_CONTENT_LENGTH);
    const std::string contentType = FitHeader(QueryHeader(x.guard, HTTP_QUERY_CONTENT_TYPE));
    AnswerBuffer answer(x.request);
    const bool ok = ReadAnswer(x, answer, contentLength, timedOut);
    *elapsedMs = platform::TimeMs() - started;
    // An answer that memory cannot hold fails like one past the cap.
    return ok && StoreAnswer(x.connection, x.request, status, contentType, answer);
}

// Closes the handles, innermost first, and completes the request. Out of
// time fails as if no server had answered, whatever arrived.
void Finish(Exchange& x, bool ok, int status, uint32_t elapsedMs, bool timedOut) {
    if (!ok && (timedOut || x.guard.OutOfTime())) status = 0;
    x.guard.CloseRequest();
    WriteTimingLine(x.request.GetUrl(), elapsedMs);
    x.session.reset();
    x.internet.reset();
    FinishExchange(x.connection, x.request, ok && status != 0, status);
}

} // namespace

void AbortLibraryExchanges() { Guarded::CloseAllForWorkers(); }

void RunExchange(HTTPConnection& connection, HTTPRequest& request) {
    std::string headers = RequestHeaders(request);
    UrlParts parts;
    if (!SplitUrl(request.GetUrl(), &parts)) return FinishExchange(connection, request, false, 0);

    Exchange x(connection, request, std::move(headers));
    if (!x.guard.Watched()) return FinishExchange(connection, request, false, 0);
    x.internet.reset(
        x.guard.Create([] { return InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0); }));
    if (!x.internet) return FinishExchange(connection, request, false, 0);

    const bool get = SendsAsGet(request);
    Hop hop{get ? "GET" : "POST", ObjectWithQuery(request, parts), 0, !get};
    if (!get && !request.GetSpoolPath().empty()) OpenUpload(x);

    const uint32_t started = platform::TimeMs();
    Reply reply = SendFollowingRedirects(x, parts, hop);
    x.spool.Close();
    uint32_t elapsedMs = 0;
    bool timedOut = false;
    if (reply.sent && reply.ok) reply.ok = ReceiveAnswer(x, reply.status, started, &elapsedMs, &timedOut);
    Finish(x, reply.ok, reply.status, elapsedMs, timedOut);
}

} // namespace net
