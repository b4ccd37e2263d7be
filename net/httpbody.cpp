// The body encoder of HTTPRequest: URL-encoded fields, or a multipart body
// (form-data, or the related layout with the fields as one JSON part), built
// once on the worker thread. Bodies with files go through a spool file.
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

std::string BoundaryLine() { return std::string("--") + HTTPRequest::kBoundary + kCrLf; }
std::string ClosingLine() { return std::string("--") + HTTPRequest::kBoundary + "--" + kCrLf; }

std::string FieldsPart(const std::vector<std::string>& fields, bool related) {
    std::string out;
    if (related) {
        if (fields.empty()) return out;
        out += BoundaryLine();
        out += "Content-Type: application/json; charset=UTF-8\r\n\r\n{";
        for (size_t i = 0; i + 1 < fields.size(); i += 2) {
            if (i) out += ",";
            out += "\"" + net::JsonEscape(fields[i]) + "\":\"" + net::JsonEscape(fields[i + 1]) + "\"";
        }
        out += "}\r\n\r\n";
        return out;
    }
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        out += BoundaryLine();
        out += "Content-Disposition: form-data; name=\"" + net::QuoteSafe(fields[i]) + "\"\r\n\r\n";
        out += fields[i + 1];
        out += kCrLf;
    }
    return out;
}

std::string FilePartHead(const HTTPRequest::FileData& file, bool related) {
    std::string out = BoundaryLine();
    if (!related) {
        out += "Content-Disposition: form-data; name=\"" + net::QuoteSafe(file.name) + "\"; filename=\"" +
               net::QuoteSafe(file.fileName) + "\"\r\n";
    }
    out += "Content-Type: application/octet-stream\r\n\r\n";
    return out;
}

bool WriteText(IFileSystem& fs, File& out, const std::string& text) {
    return fs.Write(out, text.data(), text.size()) == text.size();
}

// Writes the whole multipart body to `out`; false on any write failure.
bool WriteSpool(IFileSystem& fs, File& out, const std::string& head, const std::vector<HTTPRequest::FileData>& files,
                bool related) {
    if (!WriteText(fs, out, head)) return false;
    char block[kCopyBlock];
    for (const HTTPRequest::FileData& f : files) {
        File in(platform::OpenFileUtf8(f.path, "rb"));  // the path is UTF-8
        if (!in.IsOpen()) continue;  // unreadable by now: left out
        if (!WriteText(fs, out, FilePartHead(f, related))) return false;
        for (;;) {
            const size_t n = fs.Read(in, block, sizeof block);
            if (n > 0 && fs.Write(out, block, n) != n) return false;
            if (n < sizeof block) break;
        }
        if (!WriteText(fs, out, kCrLf)) return false;
    }
    return WriteText(fs, out, ClosingLine());
}

void AppendText(std::vector<char>& body, const std::string& text) { body.insert(body.end(), text.begin(), text.end()); }

// Reads a file whole into `body` as one part; false when it is left out.
bool AppendFilePart(IFileSystem& fs, std::vector<char>& body, HTTPRequest::FileData& f, bool related) {
    File in(platform::OpenFileUtf8(f.path, "rb"));
    if (!in.IsOpen() || !fs.Seek(in, 0, IFileSystem::kEnd)) return false;
    const int64_t size = fs.Tell(in);
    if (size < 0 || size > kMaxMemoryBody - static_cast<int64_t>(body.size())) return false;
    if (!fs.Seek(in, 0, IFileSystem::kBegin)) return false;
    f.size = static_cast<int>(size);
    std::vector<char> data(static_cast<size_t>(size));
    const size_t got = data.empty() ? 0 : fs.Read(in, data.data(), data.size());
    data.resize(got);
    AppendText(body, FilePartHead(f, related));
    body.insert(body.end(), data.begin(), data.end());
    AppendText(body, kCrLf);
    return true;
}

} // namespace

void HTTPRequest::BuildBody() {
    body.clear();
    RemoveSpoolFile();  // a rebuild never leaves the previous spool behind
    spoolPath.clear();
    spoolRemoved = false;

    if (files.empty() && !forceMultipart) {
        std::string encoded;
        for (size_t i = 0; i + 1 < fields.size(); i += 2) {
            if (!encoded.empty()) encoded += "&";
            encoded += net::UrlEncode(fields[i]) + "=" + net::UrlEncode(fields[i + 1]);
        }
        body.assign(encoded.begin(), encoded.end());
        contentType = "application/x-www-form-urlencoded; charset=UTF-8";
        bodyBuilt = 1;
        return;
    }

    const bool related = files.size() == 1 && files[0].name.empty();
    const std::string head = FieldsPart(fields, related);
    IFileSystem& fs = IFileSystem::Instance();
    int64_t contentLength = -1;

    if (!files.empty()) {
        File spool;
        std::string path;
        if (net::CreateSpoolFile(GetSpoolFolder(), &path, &spool)) {
            spoolPath = path;
            const bool written = WriteSpool(fs, spool, head, files, related);
            const int64_t end = written ? fs.Tell(spool) : -1;
            const bool closed = fs.Close(spool);
            if (written && closed && end >= 0) {
                contentLength = end;
            } else {
                // A short spool would go out with a matching, wrong length:
                // drop it and build the body in memory instead.
                RemoveSpoolFile();
                spoolPath.clear();
                spoolRemoved = false;
            }
        }
        if (contentLength < 0) {
            AppendText(body, head);
            for (FileData& f : files) AppendFilePart(fs, body, f, related);
        }
    } else {
        AppendText(body, head);
    }
    if (contentLength < 0) {
        AppendText(body, ClosingLine());
        contentLength = static_cast<int64_t>(body.size());
    }

    if (!extraHeaders.empty()) extraHeaders += kCrLf;
    extraHeaders += "Content-Length: " + std::to_string(contentLength);
    contentType = std::string("multipart/") + (related ? "related" : "form-data") + "; boundary=" + kBoundary;
    useGet = 0;
    bodyBuilt = 1;
}
