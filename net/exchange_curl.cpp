// The exchange with libcurl, reproducing on the wire what the WinInet build
// sends: the same headers and single accept type, HTTP/1.1, no proxy, TLS
// verification, redirects followed (never from https to http), and the
// exchange's time limit: a total deadline, or a minimum rate.
#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "files/filesystem.h"
#include "net/exchange.h"
#include "net/exchange_curl.h"
#include "net/exchangesteps.h"
#include "net/httpconnection.h"
#include "task/cslock.h"

namespace net {

namespace {

const char kAgent[] = "Mozilla/4.0 (Compatible; MSIE 6.0;)";
// Receive buffer: curl's 16 KiB default costs a callback per 16 KiB of a
// large download; the tool itself uses 100 KiB.
const long kReceiveBuffer = 100 * 1024;

CS_Lock& TrustLock() {
    static CS_Lock lock(0);
    return lock;
}
std::string& TrustFile() {
    static std::string path;
    return path;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
typedef std::unique_ptr<CURL, EasyDeleter> EasyHandle;
typedef std::unique_ptr<curl_slist, ListDeleter> HeaderList;

struct Transfer {
    HTTPConnection* connection;
    HTTPRequest* request;
    CURL* easy;
    AnswerBuffer* answer;
    File* spool;
    int64_t spoolSize;
    int64_t sent;
};

size_t ReadSpool(char* buffer, size_t size, size_t count, void* user) {
    Transfer* t = static_cast<Transfer*>(user);
    const size_t room = size * count;
    if (ExchangesAborted()) return CURL_READFUNC_ABORT;
    const size_t n = IFileSystem::Instance().Read(*t->spool, buffer, room);
    if (n > 0) {
        t->sent += static_cast<int64_t>(n);
        t->connection->OnUploadProgress(t->request, t->sent, t->spoolSize);
    }
    return n;
}

// A redirect that keeps the method (307, 308) sends the body again from its
// start.
int SeekSpool(void* user, curl_off_t offset, int origin) {
    Transfer* t = static_cast<Transfer*>(user);
    if (origin != SEEK_SET || !IFileSystem::Instance().Seek(*t->spool, static_cast<int64_t>(offset), IFileSystem::kBegin))
        return CURL_SEEKFUNC_CANTSEEK;
    t->sent = static_cast<int64_t>(offset);
    return CURL_SEEKFUNC_OK;
}

size_t WriteAnswer(char* data, size_t size, size_t count, void* user) {
    Transfer* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    curl_off_t declared = -1;
    curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
    // Past the cap, or more than memory holds: the transfer fails.
    if (!t->answer->Admits(declared) || !t->answer->Expect(declared)) return 0;
    if (!t->answer->Append(data, n)) return 0;
    t->connection->OnDownloadProgress(t->request, static_cast<int64_t>(t->answer->size()),
                                      declared > 0 ? static_cast<int64_t>(declared) : 0);
    return n;
}

// Shut-down aborts through here; curl calls it about once a second even
// while a transfer stalls.
int Progress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return ExchangesAborted() ? 1 : 0; }

// Header lines one by one; "Expect:" suppresses curl's 100-continue, which
// WinInet never sends.
HeaderList HeaderLines(const std::string& headers) {
    HeaderList list;
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string::npos) end = headers.size();
        if (end > start) list.reset(curl_slist_append(list.release(), headers.substr(start, end - start).c_str()));
        start = end + 2;
    }
    list.reset(curl_slist_append(list.release(), "Expect:"));
    return list;
}

// What goes on the wire as WinInet sends it, and the redirects it may follow.
void SetRequest(CURL* c, const std::string& target, bool secure, curl_slist* headers) {
    curl_easy_setopt(c, CURLOPT_URL, target.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROXY, "");  // direct, whatever the environment says
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_USERAGENT, kAgent);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
}

void SetTimeLimits(CURL* c, const TimeLimit& limit) {
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(kConnectTimeoutMs));
    if (limit.minimumRate > 0) {
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(limit.minimumRate));
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>((limit.windowMs + 999) / 1000));
    } else {
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(limit.deadlineMs));
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(kStallTimeoutMs / 1000));
    }
}

// Peer and host name verified, against the trust anchors file when one is set.
void SetTrust(CURL* c) {
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    CS_Guard guard(TrustLock(), __FILE__, __LINE__);
    if (!TrustFile().empty()) {
        curl_easy_setopt(c, CURLOPT_CAINFO, TrustFile().c_str());
        curl_easy_setopt(c, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    }
}

// The answer into the transfer's buffer, and the progress callback that
// carries the abort.
void SetAnswerSink(CURL* c, Transfer* transfer) {
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteAnswer);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, transfer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
}

// A GET, or a POST of the in-memory body or of the spool file streamed
// through the transfer; a spool file that cannot be read sends no body.
void SetBody(CURL* c, HTTPRequest& request, bool get, Transfer* transfer) {
    if (get) {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
        return;
    }
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    const std::vector<char>& body = request.GetBody();
    if (request.GetSpoolPath().empty()) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
        return;
    }
    const int64_t size = OpenSpool(request, transfer->spool);
    if (size < 0) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, 0L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, "");
        return;
    }
    transfer->spoolSize = size;
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadSpool);
    curl_easy_setopt(c, CURLOPT_READDATA, transfer);
    curl_easy_setopt(c, CURLOPT_SEEKFUNCTION, SeekSpool);
    curl_easy_setopt(c, CURLOPT_SEEKDATA, transfer);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
}

// What the transfer left to judge the exchange by.
struct Performed {
    CURLcode result;
    int status;
    std::string contentType;
    uint32_t elapsedMs;
};

// Sends the request and receives its answer into the transfer's buffer.
Performed Perform(CURL* c, File& spool) {
    const uint32_t started = platform::TimeMs();
    Performed done;
    done.result = curl_easy_perform(c);
    spool.Close();
    long status = 0;
    // Out of time (the deadline, a stall, too slow a rate) fails as if no
    // server had answered, whatever arrived before.
    if (done.result != CURLE_OPERATION_TIMEDOUT) curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    done.status = static_cast<int>(status);
    char* type = nullptr;
    curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type);
    done.contentType = FitHeader(type ? type : "");
    // As WinInet reports it: 0 when no answer arrived.
    done.elapsedMs = status != 0 ? platform::TimeMs() - started : 0;
    return done;
}

} // namespace

void AbortLibraryExchanges() {}

void SetTrustAnchorsFile(const std::string& path) {
    CS_Guard guard(TrustLock(), __FILE__, __LINE__);
    TrustFile() = path;
}

void RunExchange(HTTPConnection& connection, HTTPRequest& request) {
    const std::string headers = RequestHeaders(request);
    UrlParts parts;
    if (!SplitUrl(request.GetUrl(), &parts)) return FinishExchange(connection, request, false, 0);
    GlobalInit();
    EasyHandle easy(curl_easy_init());
    if (!easy) return FinishExchange(connection, request, false, 0);
    CURL* c = easy.get();

    const bool get = SendsAsGet(request);
    const std::string target =
        parts.scheme + parts.host + ":" + std::to_string(parts.port) + ObjectWithQuery(request, parts);
    AnswerBuffer answer(request);
    File spool;
    Transfer transfer{&connection, &request, c, &answer, &spool, 0, 0};
    const HeaderList list = HeaderLines(headers);
    SetRequest(c, target, parts.secure, list.get());
    SetTimeLimits(c, TimeLimitOf(request));
    SetTrust(c);
    SetAnswerSink(c, &transfer);
    SetBody(c, request, get, &transfer);

    const Performed done = Perform(c, spool);
    // A transfer cut short (closed mid-answer, stalled, past the cap,
    // aborted) is a failure with the status it had, never a short success.
    // So does an answer that memory cannot hold.
    const bool ok = done.result == CURLE_OK && done.status != 0 &&
                    StoreAnswer(connection, request, done.status, done.contentType, answer);
    WriteTimingLine(request.GetUrl(), done.elapsedMs);
    easy.reset();
    FinishExchange(connection, request, ok, done.status);
}

} // namespace net
