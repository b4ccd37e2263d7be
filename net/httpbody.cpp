// The body encoder of HTTPRequest: URL-encoded fields, or a multipart body
// (form-data, or the related layout with the fields as one JSON part), built
// once on the worker thread. Bodies with files go through a spool file
// unless the request keeps its body in memory. Every buffer that held a
// value or a file's bytes is wiped before it is freed.
#include <cstdio>
#include <string>

#include "files/filesystem.h"
#include "net/bodyencoding.h"
#include "net/httprequest.h"
#include "net/spoolfile.h"
#include "platform/platform.h"

namespace {

const char kCrLf[] = "\r\n";
const size_t kCopyBlock = 4096;
// The in-memory fallback holds every file whole: past this the file is left
// out rather than exhausting a 32-bit address space.
const int64_t kMaxMemoryBody = 256 * 1024 * 1024;
// Fresh boundaries tried before a part that holds one is left out; with a
// working random source a second try is already never needed.
const int kBoundaryTries = 4;

std::string BoundaryLine(const std::string& boundary) { return "--" + boundary + kCrLf; }
std::string ClosingLine(const std::string& boundary) { return "--" + boundary + "--" + kCrLf; }

bool Holds(const std::string& text, const std::string& boundary) {
    return text.find(boundary) != std::string::npos;
}

void Put(net::SecretText& out, const std::string& text) { out.append(text.data(), text.size()); }

// The fields as parts; false when one holds the boundary, unless
// `leaveOutClashes` drops that field instead. Escaping leaves the boundary's
// dashes and hex digits alone, so the raw texts are what must be checked.
bool FieldsPart(const std::vector<std::string>& fields, bool related, const std::string& boundary,
                bool leaveOutClashes, net::SecretText& out) {
    out.clear();
    net::SecretText json;
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (Holds(fields[i], boundary) || Holds(fields[i + 1], boundary)) {
            if (!leaveOutClashes) return false;
            continue;
        }
        if (related) {
            json += json.empty() ? "\"" : ",\"";
            net::AppendJsonEscaped(json, fields[i]);
            json += "\":\"";
            net::AppendJsonEscaped(json, fields[i + 1]);
            json += "\"";
            continue;
        }
        Put(out, BoundaryLine(boundary));
        Put(out, "Content-Disposition: form-data; name=\"" + net::QuoteSafe(fields[i]) + "\"\r\n\r\n");
        Put(out, fields[i + 1]);
        out += kCrLf;
    }
    if (related && !fields.empty()) {
        Put(out, BoundaryLine(boundary));
        out += "Content-Type: application/json; charset=UTF-8\r\n\r\n{";
        out += json;
        out += "}\r\n\r\n";
    }
    return true;
}

std::string FilePartHead(const HTTPRequest::FileData& file, bool related, const std::string& boundary) {
    std::string out = BoundaryLine(boundary);
    if (!related) {
        out += "Content-Disposition: form-data; name=\"" + net::QuoteSafe(file.name) + "\"; filename=\"" +
               net::QuoteSafe(file.fileName) + "\"\r\n";
    }
    out += "Content-Type: application/octet-stream\r\n\r\n";
    return out;
}

bool FileNamesHold(const HTTPRequest::FileData& file, const std::string& boundary) {
    return Holds(file.name, boundary) || Holds(file.fileName, boundary);
}

bool WriteBytes(IFileSystem& fs, File& out, const char* data, size_t size) { return fs.Write(out, data, size) == size; }
bool WriteText(IFileSystem& fs, File& out, const std::string& text) {
    return WriteBytes(fs, out, text.data(), text.size());
}

// Writes the whole multipart body to `out`; false on any write failure and
// when a file holds the boundary (the caller then builds it afresh).
bool WriteSpool(IFileSystem& fs, File& out, const net::SecretText& head,
                const std::vector<HTTPRequest::FileData>& files, bool related, const std::string& boundary) {
    if (!WriteBytes(fs, out, head.data(), head.size())) return false;
    char block[kCopyBlock];
    struct WipeOnExit {
        char* p;
        ~WipeOnExit() { platform::WipeMemory(p, kCopyBlock); }
    } wipeBlock{block};
    for (const HTTPRequest::FileData& f : files) {
        File in(platform::OpenFileUtf8(f.path, "rb"));  // the path is UTF-8
        if (!in.IsOpen()) continue;  // unreadable by now: left out
        if (FileNamesHold(f, boundary)) return false;
        if (!WriteText(fs, out, FilePartHead(f, related, boundary))) return false;
        // Checked as it is copied, so a file changed since it was added is
        // checked as it goes out.
        net::NeedleScan scan(boundary);
        for (;;) {
            const size_t n = fs.Read(in, block, sizeof block);
            scan.Feed(block, n);
            if (scan.Found()) return false;
            if (n > 0 && fs.Write(out, block, n) != n) return false;
            if (n < sizeof block) break;
        }
        if (!WriteText(fs, out, kCrLf)) return false;
    }
    return WriteText(fs, out, ClosingLine(boundary));
}

enum class FilePart { kAdded, kLeftOut, kClash };

// Reads a file whole into `body` as one part. An unreadable or too large
// file is left out; so is one that holds the boundary when `leaveOutClashes`.
FilePart AppendFilePart(IFileSystem& fs, net::SecretText& body, HTTPRequest::FileData& f, bool related,
                        const std::string& boundary, bool leaveOutClashes) {
    const FilePart clash = leaveOutClashes ? FilePart::kLeftOut : FilePart::kClash;
    File in(platform::OpenFileUtf8(f.path, "rb"));
    if (!in.IsOpen()) return FilePart::kLeftOut;
    // Unbuffered: the C library's buffer would keep the file's bytes (a
    // certificate) in the heap, unwiped, once the file is closed.
    std::setvbuf(in.stream(), nullptr, _IONBF, 0);
    if (!fs.Seek(in, 0, IFileSystem::kEnd)) return FilePart::kLeftOut;
    const int64_t size = fs.Tell(in);
    if (size < 0 || size > kMaxMemoryBody - static_cast<int64_t>(body.size())) return FilePart::kLeftOut;
    if (!fs.Seek(in, 0, IFileSystem::kBegin)) return FilePart::kLeftOut;
    if (FileNamesHold(f, boundary)) return clash;
    net::SecretBytes data(static_cast<size_t>(size));
    const size_t got = data.empty() ? 0 : fs.Read(in, data.data(), data.size());
    data.resize(got);
    net::NeedleScan scan(boundary);
    scan.Feed(data.data(), data.size());
    if (scan.Found()) return clash;
    f.size = static_cast<int>(size);
    Put(body, FilePartHead(f, related, boundary));
    body.append(data.data(), data.size());
    body += kCrLf;
    return FilePart::kAdded;
}

// The body goes out of `text` into storage of its exact size, so `body`
// never grows (a reallocation would free an unwiped copy).
void StoreBody(std::vector<char>& body, const net::SecretText& text) {
    platform::WipeVector(body);
    body.reserve(text.size());
    body.assign(text.begin(), text.end());
}

} // namespace

void HTTPRequest::BuildBody() {
    platform::WipeVector(body);
    RemoveSpoolFile();  // a rebuild never leaves the previous spool behind
    spoolPath.clear();
    spoolRemoved = false;

    if (files.empty() && !forceMultipart) {
        net::SecretText encoded;
        for (size_t i = 0; i + 1 < fields.size(); i += 2) {
            if (!encoded.empty()) encoded += "&";
            net::AppendUrlEncoded(encoded, fields[i]);
            encoded += "=";
            net::AppendUrlEncoded(encoded, fields[i + 1]);
        }
        StoreBody(body, encoded);
        contentType = "application/x-www-form-urlencoded; charset=UTF-8";
        boundary.clear();
        bodyBuilt = 1;
        return;
    }

    const bool related = files.size() == 1 && files[0].name.empty();
    for (int attempt = 1;; ++attempt) {
        boundary = net::NewBoundary();
        if (BuildMultipart(related, attempt >= kBoundaryTries)) break;
        platform::WipeVector(body);
        RemoveSpoolFile();
        spoolPath.clear();
        spoolRemoved = false;
    }
    contentType = std::string("multipart/") + (related ? "related" : "form-data") + "; boundary=" + boundary;
    useGet = 0;
    bodyBuilt = 1;
}

bool HTTPRequest::BuildMultipart(bool related, bool leaveOutClashes) {
    net::SecretText head;
    if (!FieldsPart(fields, related, boundary, leaveOutClashes, head)) return false;
    IFileSystem& fs = IFileSystem::Instance();
    int64_t contentLength = -1;

    if (!files.empty() && !bodyInMemory) {
        File spool;
        std::string path;
        if (net::CreateSpoolFile(GetSpoolFolder(), &path, &spool)) {
            spoolPath = path;
            const bool written = WriteSpool(fs, spool, head, files, related, boundary);
            const int64_t end = written ? fs.Tell(spool) : -1;
            const bool closed = fs.Close(spool);
            if (written && closed && end >= 0) {
                contentLength = end;
            } else {
                // A short spool would go out with a matching, wrong length,
                // and a file holding the boundary must not go out at all:
                // drop it and build the body in memory instead.
                RemoveSpoolFile();
                spoolPath.clear();
                spoolRemoved = false;
            }
        }
    }
    if (contentLength < 0) {
        net::SecretText text;
        text.swap(head);
        for (FileData& f : files) {
            if (AppendFilePart(fs, text, f, related, boundary, leaveOutClashes) == FilePart::kClash) return false;
        }
        Put(text, ClosingLine(boundary));
        StoreBody(body, text);
        contentLength = static_cast<int64_t>(body.size());
    }

    if (!extraHeaders.empty()) extraHeaders += kCrLf;
    extraHeaders += "Content-Length: " + std::to_string(contentLength);
    return true;
}
