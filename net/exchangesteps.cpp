#include "net/exchangesteps.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "files/filesystem.h"
#include "net/exchange.h"
#include "net/httpconnection.h"
#include "net/httprequest.h"
#include "platform/platform.h"

namespace net {

namespace {
std::atomic<bool> g_aborted{false};
}

void AbortOpenExchanges() {
    g_aborted.store(true);
    AbortLibraryExchanges();
}
bool ExchangesAborted() { return g_aborted.load(); }
void ResetAbortForTests() { g_aborted.store(false); }

bool SplitUrl(const std::string& url, UrlParts* parts) {
    UrlParts p;
    if (url.compare(0, 7, "http://") == 0) {
        p.scheme = "http://";
        p.port = 80;
    } else if (url.compare(0, 8, "https://") == 0) {
        p.scheme = "https://";
        p.port = 443;
        p.secure = true;
    } else {
        return false;
    }
    const size_t hostStart = p.scheme.size();
    const size_t pathStart = url.find('/', hostStart);
    if (pathStart == std::string::npos) return false;
    const size_t colon = url.find(':', hostStart);
    if (colon != std::string::npos && colon < pathStart) {
        p.host = url.substr(hostStart, colon - hostStart);
        // Digits only, at full width: "%d" would take "+80", "80x" or wrap
        // a long number into some other port.
        const std::string digits = url.substr(colon + 1, pathStart - colon - 1);
        if (digits.empty() || digits.size() > 5) return false;
        int port = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return false;
        p.port = port;
    } else {
        p.host = url.substr(hostStart, pathStart - hostStart);
    }
    if (p.host.empty()) return false;
    p.object = url.substr(pathStart);
    *parts = p;
    return true;
}

TimeLimit TimeLimitOf(const HTTPRequest& request) {
    TimeLimit limit;
    if (request.GetMinimumRate() > 0) {
        limit.minimumRate = request.GetMinimumRate();
        limit.windowMs = request.GetRateWindow() < 1000 ? 1000 : request.GetRateWindow();
    } else {
        limit.deadlineMs = request.GetDeadline() ? request.GetDeadline() : kServiceDeadlineMs;
    }
    return limit;
}

bool IsRedirect(int statusCode) {
    return statusCode == 301 || statusCode == 302 || statusCode == 303 || statusCode == 307 || statusCode == 308;
}

bool RedirectKeepsMethod(int statusCode) { return statusCode == 307 || statusCode == 308; }

bool ResolveRedirect(const UrlParts& from, const std::string& location, std::string* to) {
    // Control characters or spaces would end up in the request line.
    if (location.empty()) return false;
    for (char c : location)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
    std::string url;
    const std::string origin = from.scheme + from.host + ":" + std::to_string(from.port);
    if (location.compare(0, 7, "http://") == 0 || location.compare(0, 8, "https://") == 0) {
        url = location;
    } else if (location.compare(0, 2, "//") == 0) {
        url = from.scheme + location.substr(2);
    } else if (location[0] == '/') {
        url = origin + location;
    } else if (location.find(':') != std::string::npos && location.find(':') < location.find('/')) {
        return false;  // another scheme
    } else {
        const std::string path = from.object.substr(0, from.object.find('?'));
        url = origin + path.substr(0, path.rfind('/') + 1) + location;
    }
    UrlParts next;
    if (!SplitUrl(url, &next)) {
        // "https://host" without a path means its root.
        if (!SplitUrl(url + "/", &next) || url.find('/', next.scheme.size()) != std::string::npos) return false;
        url += "/";
    }
    if (from.secure && !next.secure) return false;
    *to = url;
    return true;
}

std::string RequestHeaders(HTTPRequest& request) {
    std::string headers = "Content-Type: " + request.GetContentType() + "\r\n";
    if (!request.GetExtraHeaders().empty()) headers += request.GetExtraHeaders() + "\r\n";
    return headers;
}

bool SendsAsGet(HTTPRequest& request) {
    request.GetBody();  // a multipart body clears useGet
    return request.GetUseGet();
}

std::string ObjectWithQuery(HTTPRequest& request, const UrlParts& parts) {
    std::string object = parts.object;
    if (SendsAsGet(request)) {
        const std::vector<char>& body = request.GetBody();
        if (!body.empty()) object += "?" + std::string(body.begin(), body.end());
    }
    return object;
}

int64_t OpenSpool(const HTTPRequest& request, File* spool) {
    IFileSystem& fs = IFileSystem::Instance();
    *spool = fs.Open(request.GetSpoolPath(), "rb");
    int64_t size = -1;
    if (spool->IsOpen() && fs.Seek(*spool, 0, IFileSystem::kEnd)) size = fs.Tell(*spool);
    if (size >= 0 && fs.Seek(*spool, 0, IFileSystem::kBegin)) return size;
    spool->Close();
    return -1;
}

AnswerBuffer::AnswerBuffer(const HTTPRequest& request)
    : cap_(request.GetBinaryResult() ? kBinaryAnswerCap : kTextAnswerCap) {
    if (request.GetAnswerLimit() > 0 && request.GetAnswerLimit() < cap_) cap_ = request.GetAnswerLimit();
}

bool AnswerBuffer::Append(const void* data, size_t length) {
    if (overflowed_ || outOfMemory_) return false;
    if (length > cap_ - data_.size()) {
        overflowed_ = true;
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    try {
        data_.insert(data_.end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        // A 32-bit process meets this well before the cap; the exchange
        // fails instead of the worker ending the process.
        outOfMemory_ = true;
        return false;
    }
    return true;
}

bool AnswerBuffer::Admits(int64_t contentLength) const {
    return contentLength <= static_cast<int64_t>(cap_);
}

bool AnswerBuffer::Expect(int64_t contentLength) {
    if (outOfMemory_) return false;
    if (contentLength <= 0 || !Admits(contentLength)) return true;
    const size_t room = static_cast<size_t>(contentLength) + 1;
    if (data_.capacity() >= room) return true;
    try {
        data_.reserve(room);
    } catch (const std::bad_alloc&) {
        outOfMemory_ = true;
        return false;
    }
    return true;
}

bool StoreAnswer(HTTPConnection& connection, HTTPRequest& request, int statusCode, const std::string& contentType,
                 AnswerBuffer& answer) {
    if (statusCode == 200) {
        try {
            if (request.GetBinaryResult() || contentType.compare(0, 4, "text") != 0) {
                if (answer.size() > 0) connection.OnDataAnswer(&request, answer.Take());
            } else {
                connection.OnTextAnswer(&request, answer.Take());
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    char status[32];
    std::snprintf(status, sizeof status, "\nStatus Code %d\n", statusCode);
    const std::vector<char>& data = answer.data();
    try {
        std::string message = "URL: " + request.GetUrl() + status;
        if (!data.empty()) message.append(data.begin(), data.end()).append("\n");
        platform::DebugOutput(message.c_str());
    } catch (const std::bad_alloc&) {
        // Only the diagnostic is lost: the exchange fails on its status.
    }
    return true;
}

void WriteTimingLine(const std::string& url, uint32_t elapsedMs) {
    const platform::LocalTime t = platform::GetLocalTime();
    std::printf("[%02d:%02d:%02d] url=%s elasped=%dms\n", t.hour, t.minute, t.second, url.c_str(),
                static_cast<int>(elapsedMs));
    std::fflush(stdout);
}

void FinishExchange(HTTPConnection& connection, HTTPRequest& request, bool ok, int statusCode) {
    // The URL is copied first: completion may drop the last reference.
    const std::string url = request.GetUrl();
    if (request.CancelRequested()) {
        connection.OnComplete(&request, HTTPRequest::kCancelled, 0);
        return;
    }
    if (ok && statusCode == 200) {
        connection.OnComplete(&request, HTTPRequest::kDone, 200);
        return;
    }
    connection.OnComplete(&request, HTTPRequest::kFailed, statusCode);
    platform::DebugOutput(("HTTPRequest fail! URL: " + url + "\n").c_str());
}

std::string FitHeader(const std::string& value) { return value.size() < kHeaderBuffer ? value : std::string(); }

} // namespace net
