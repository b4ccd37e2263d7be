// The steps of an exchange that do not depend on the HTTP library: the URL
// split, the request headers, the answer cap and storage, the timing line and
// the completion with its failure text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class File;
class HTTPConnection;
class HTTPRequest;

namespace net {

// Answer caps: text and JSON answers, and binary results (the update).
const size_t kTextAnswerCap = 16u * 1024 * 1024;
const size_t kBinaryAnswerCap = 256u * 1024 * 1024;
// Time limits of both exchanges: to connect, and for an answer or upload
// that stalls. Without them a server that accepts and never answers would
// hold a worker for good.
const uint32_t kConnectTimeoutMs = 60000;
const uint32_t kStallTimeoutMs = 30000;
// The total deadline of a service call, set when the program is built.
#ifndef KOVA_SERVICE_DEADLINE_MS
#define KOVA_SERVICE_DEADLINE_MS 60000
#endif
const uint32_t kServiceDeadlineMs = KOVA_SERVICE_DEADLINE_MS;
// Redirects followed at most, as curl's limit.
const int kMaxRedirects = 10;
// Header values are read into a buffer of this size; a longer one reads as
// absent, as a too-small WinInet query buffer does.
const size_t kHeaderBuffer = 128;

struct UrlParts {
    std::string scheme;  // "http://" or "https://"
    bool secure = false;
    std::string host;
    int port = 0;
    std::string object;  // path and query
};

// The scheme must open the URL (an "http://" inside the query of an https URL
// must never downgrade it); the path starts at the first "/" after the host;
// an optional ":port" (1..65535) ends the host. False for anything else: such
// a request fails with status 0 without touching the network.
bool SplitUrl(const std::string& url, UrlParts* parts);

// The whole exchange's limit: a deadline counted from its start, or (when
// minimumRate > 0) a minimum average rate over each window of windowMs, with
// no deadline. A window is never shorter than a second.
struct TimeLimit {
    uint32_t deadlineMs = 0;
    uint32_t minimumRate = 0;
    uint32_t windowMs = 0;
};
TimeLimit TimeLimitOf(const HTTPRequest& request);

// Redirects: the statuses followed, and whether one keeps the method and
// body (307, 308) or turns a POST into a GET without body (301, 302, 303).
bool IsRedirect(int statusCode);
bool RedirectKeepsMethod(int statusCode);
// The address a Location value leads to from `from` (absolute, scheme-
// relative, absolute path or relative path); false when it cannot be used,
// and always when it would leave https: a body that may carry the
// certificate and its password never continues over plain http.
bool ResolveRedirect(const UrlParts& from, const std::string& location, std::string* to);

// "Content-Type: " + content type + CR LF, then the extra headers and CR LF
// when there are any. Builds the body.
std::string RequestHeaders(HTTPRequest& request);

// The object name for the request line: a GET with a body carries it as the
// query string.
bool SendsAsGet(HTTPRequest& request);
std::string ObjectWithQuery(HTTPRequest& request, const UrlParts& parts);

// Opens the request's spool file for reading, at its start: its size, or -1
// with `spool` closed when it cannot be opened, measured or rewound (the
// request then goes out without a body).
int64_t OpenSpool(const HTTPRequest& request, File* spool);

// The answer body, refusing to grow past the request's cap or past the memory
// there is; it never throws. Its storage is handed to the request as it is.
class AnswerBuffer {
public:
    explicit AnswerBuffer(const HTTPRequest& request);
    // False (nothing appended) once the data would pass the cap, or when
    // memory for it cannot be had.
    bool Append(const void* data, size_t length);
    // A declared length already past the cap fails before reading.
    bool Admits(int64_t contentLength) const;
    // Room for a declared length (within the cap) and a text's NUL, reserved
    // once, so a large answer is neither copied while it grows nor held
    // twice at the hand-over. False when that memory cannot be had.
    bool Expect(int64_t contentLength);
    bool overflowed() const { return overflowed_; }
    const std::vector<char>& data() const { return data_; }
    size_t size() const { return data_.size(); }
    // Gives the storage away; the buffer is empty afterwards.
    std::vector<char> Take() { return std::move(data_); }

private:
    size_t cap_;
    bool overflowed_ = false;
    bool outOfMemory_ = false;
    std::vector<char> data_;
};

// Status 200: moves the answer into the request as data (binary results,
// non-text types; only when not empty) or as NUL-terminated text; false when
// memory ran out on the way (the exchange then fails). Other statuses store
// nothing and write the status and answer to the debug output.
bool StoreAnswer(HTTPConnection& connection, HTTPRequest& request, int statusCode, const std::string& contentType,
                 AnswerBuffer& answer);

// "[hh:mm:ss] url=... elasped=Nms" on standard output.
void WriteTimingLine(const std::string& url, uint32_t elapsedMs);

// Completion: `ok` and status 200 give state 2; anything else state 3 with
// the status reached and the failure text on the debug output. A request
// cancelled while its exchange ran completes as cancelled (5, status 0).
void FinishExchange(HTTPConnection& connection, HTTPRequest& request, bool ok, int statusCode);

// The library half of AbortOpenExchanges: unblocks exchanges waiting inside
// the library (WinInet: closes their open request handles; curl: nothing, its
// progress callback polls the flag).
void AbortLibraryExchanges();

// Header value as the 128-byte query returns it: empty when absent or when
// it would not fit with its NUL.
std::string FitHeader(const std::string& value);

} // namespace net
