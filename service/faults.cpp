#include "faults.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>

#include "answer.h"

namespace kovasvc {
namespace {

const std::set<std::string> kKinds = {"none", "status", "html", "nostate", "hang", "close",
                                      "oversize", "oversize-chunked", "delay", "echo-fail", "echo-hostile", "truncate"};
const std::set<std::string> kHostileValues = {"crlf", "long", "word"};
// A hanging request is let go after this long even if nobody clears the fault.
constexpr int kHangLimitMs = 600 * 1000;
constexpr std::uint64_t kMaxOversize = 4ull << 30;

bool ReadNumber(const std::string& text, std::uint64_t max, std::uint64_t& out) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || v > max) return false;
    out = v;
    return true;
}

const char kHtmlPage[] = "<html><head><title>Error</title></head><body><h1>Service unavailable</h1></body></html>";
const char kPadHead[] = "{\"state\":1,\"message\":\"\",\"pad\":\"";
const char kPadTail[] = "\"}";

// Writes bytes [offset, offset + 64 KiB) of a JSON document of `size` bytes:
// {"state":1,"message":"","pad":"xxx...x"}.
bool WritePad(std::uint64_t offset, std::uint64_t size, httplib::DataSink& sink) {
    const std::uint64_t head = sizeof kPadHead - 1, tail = sizeof kPadTail - 1;
    char buf[64 * 1024];
    std::uint64_t n = std::min<std::uint64_t>(sizeof buf, size - offset);
    std::memset(buf, 'x', static_cast<size_t>(n));
    for (std::uint64_t i = offset; i < head && i < offset + n; ++i) buf[i - offset] = kPadHead[i];
    for (std::uint64_t i = std::max(offset, size - tail); i < offset + n; ++i)
        buf[i - offset] = kPadTail[i - (size - tail)];
    return sink.write(buf, static_cast<size_t>(n));
}

// What a party on the plain-HTTP path could put in the echo's query: a form
// part of its own after CR LF (under the boundary the client once used), a
// value far past any field limit, or a word.
std::string HostileQuery(const std::string& value, const std::string& peer) {
    if (value == "long") return peer + std::string(100 * 1024, '1');
    if (value == "word") return "localhost";
    return peer + "\r\n--------------0x0x0x0x0x0x0x0x\r\nContent-Disposition: form-data; name=\"injected\"\r\n\r\nyes";
}

} // namespace

bool MakeFaultDesc(const std::map<std::string, std::string>& fields, FaultDesc& out, std::string& error) {
    FaultDesc desc;
    for (const auto& [key, value] : fields) {
        std::uint64_t n = 0;
        if (key == "kind") {
            if (!kKinds.count(value)) { error = "unknown fault kind: " + value; return false; }
            desc.kind = value;
        } else if (key == "path") {
            if (!value.empty() && value[0] != '/') { error = "path must begin with /"; return false; }
            desc.path = value;
        } else if (key == "code") {
            if (!ReadNumber(value, 599, n) || n < 100) { error = "code must be 100..599"; return false; }
            desc.code = static_cast<int>(n);
        } else if (key == "size") {
            if (!ReadNumber(value, kMaxOversize, n) || n < 64) { error = "size must be 64..4294967296"; return false; }
            desc.size = n;
        } else if (key == "ms") {
            if (!ReadNumber(value, 60000, n)) { error = "ms must be 0..60000"; return false; }
            desc.ms = static_cast<int>(n);
        } else if (key == "count") {
            if (!ReadNumber(value, 1000000, n)) { error = "count must be 0..1000000"; return false; }
            desc.count = static_cast<int>(n);
        } else if (key == "value") {
            if (!kHostileValues.count(value)) { error = "value must be crlf, long or word"; return false; }
            desc.value = value;
        } else {
            error = "unknown fault setting: " + key;
            return false;
        }
    }
    out = desc;
    return true;
}

bool ParseFaultOption(const std::string& text, FaultDesc& out, std::string& error) {
    std::map<std::string, std::string> fields;
    size_t colon = text.find(':');
    fields["kind"] = text.substr(0, colon);
    if (colon != std::string::npos) {
        std::string rest = text.substr(colon + 1);
        size_t start = 0;
        while (start <= rest.size()) {
            size_t comma = rest.find(',', start);
            std::string item = rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            size_t eq = item.find('=');
            if (eq == std::string::npos) { error = "expected key=value in --fault: " + item; return false; }
            fields[item.substr(0, eq)] = item.substr(eq + 1);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    return MakeFaultDesc(fields, out, error);
}

void Faults::Set(const FaultDesc& desc) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        desc_ = desc;
        remaining_ = desc.count;
        ++generation_;
    }
    changed_.notify_all();
}

FaultDesc Faults::Current() {
    std::lock_guard<std::mutex> lock(mutex_);
    FaultDesc s = desc_;
    if (s.count) s.count = remaining_;
    return s;
}

void Faults::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

bool Faults::Take(const std::string& path, bool truncate, FaultDesc& desc) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (desc_.kind == "none" || (desc_.kind == "truncate") != truncate) return false;
    if (desc_.path.empty() ? path.rfind("/_admin", 0) == 0 : desc_.path != path) return false;
    // The IP-echo fault only makes sense on the echo itself.
    if ((desc_.kind == "echo-fail" || desc_.kind == "echo-hostile") && path != "/json") return false;
    desc = desc_;
    if (desc_.count && --remaining_ == 0) desc_ = FaultDesc{};
    return true;
}

bool Faults::TakeTruncate(const std::string& path) {
    FaultDesc desc;
    return Take(path, true, desc);
}

void Faults::Wait(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::uint64_t start = generation_;
    changed_.wait_for(lock, std::chrono::milliseconds(ms),
                      [&] { return stopping_ || generation_ != start; });
}

bool Faults::Intercept(const httplib::Request& req, httplib::Response& res) {
    FaultDesc desc;
    if (!Take(req.path, false, desc)) return false;
    const std::string& kind = desc.kind;
    if (kind == "delay") {
        Wait(desc.ms);
        return false;
    }
    if (kind == "status") {
        res.status = desc.code;
        res.set_content(kHtmlPage, "text/html; charset=UTF-8");
    } else if (kind == "html") {
        res.status = 200;
        res.set_content(kHtmlPage, "text/html; charset=UTF-8");
    } else if (kind == "nostate") {
        SendJson(res, 200, Json{{"message", "回應缺少狀態"}});
    } else if (kind == "echo-fail") {
        SendJson(res, 200, Json{{"status", "fail"}, {"message", "reserved range"}, {"query", req.remote_addr}});
    } else if (kind == "echo-hostile") {
        SendJson(res, 200, Json{{"status", "success"}, {"query", HostileQuery(desc.value, req.remote_addr)}});
    } else if (kind == "hang") {
        Wait(kHangLimitMs);
        // Whatever goes out now is cut short: the promised byte never comes.
        res.status = 200;
        res.set_content_provider(1, kJsonContentType, [](size_t, size_t, httplib::DataSink&) { return false; });
    } else if (kind == "close") {
        std::string body = DumpJson(Json{{"state", 1}, {"message", "這個回應會在中途被截斷"}, {"pad", std::string(4096, 'x')}});
        res.status = 200;
        res.set_content_provider(body.size(), kJsonContentType,
                                 [body](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset == 0) sink.write(body.data(), body.size() / 2);
                                     return false;
                                 });
    } else if (kind == "oversize") {
        std::uint64_t size = desc.size;
        res.status = 200;
        res.set_content_provider(static_cast<size_t>(size), kJsonContentType,
                                 [size](size_t offset, size_t, httplib::DataSink& sink) {
                                     return WritePad(offset, size, sink);
                                 });
    } else if (kind == "oversize-chunked") {
        std::uint64_t size = desc.size;
        res.status = 200;
        res.set_chunked_content_provider(kJsonContentType, [size](size_t offset, httplib::DataSink& sink) {
            if (offset >= size) {
                sink.done();
                return true;
            }
            return WritePad(offset, size, sink);
        });
    }
    return true;
}

} // namespace kovasvc
