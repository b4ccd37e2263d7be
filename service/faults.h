// Misbehaviour on demand, for tests of the client: a fault chosen on the
// command line (--fault) or through POST /_admin/fault applies to the next
// requests of one path (or of every path) until its count runs out or it is
// cleared. Kinds:
//   status   answer HTTP `code` with an HTML page     html      200 with an HTML page
//   nostate  200 JSON without "state"                  hang      accept, read, never answer
//   close    send half of a declared answer, then close the connection
//   oversize / oversize-chunked   200 JSON of `size` bytes, with / without Content-Length
//   delay    answer normally after `ms` milliseconds   echo-fail IP echo answers "status":"fail"
//   truncate the update download: 200 without length, half the file, then the connection closes
//   echo-hostile  IP echo answers "success" with a `query` that is no address:
//            value=crlf (CR LF and a form-part header), long (100 KiB of digits), word
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include <httplib.h>

namespace kovasvc {

struct FaultDesc {
    std::string kind = "none";
    std::string path;          // exact request path; empty = every path
    int code = 500;            // status
    std::uint64_t size = 17u << 20;  // oversize: past the client's 16 MiB cap by default
    int ms = 1000;             // delay
    int count = 0;             // how many requests; 0 = until cleared
    std::string value = "crlf";  // echo-hostile: crlf, long or word
};

// Builds a desc from key/value pairs ("kind", "path", "code", "size", "ms",
// "count", "value"); false with a reason on an unknown kind or a value out of range.
bool MakeFaultDesc(const std::map<std::string, std::string>& fields, FaultDesc& out, std::string& error);
// "kind[:key=value,key=value...]" as given to --fault.
bool ParseFaultOption(const std::string& text, FaultDesc& out, std::string& error);

class Faults {
public:
    void Set(const FaultDesc& desc);
    FaultDesc Current();
    // Applies the pending fault to this request. True when the fault produced
    // the answer; false when the request should be served normally (no fault,
    // another path, or a delay that has run out).
    bool Intercept(const httplib::Request& req, httplib::Response& res);
    // The download's own fault, which Intercept leaves alone: true (and one of
    // its count used) when a truncate fault is pending for `path`.
    bool TakeTruncate(const std::string& path);
    // Releases every hanging or delayed request (at shutdown).
    void Shutdown();

private:
    // Takes the pending fault for `path` when it is (truncate) or is not
    // (!truncate) a truncate fault.
    bool Take(const std::string& path, bool truncate, FaultDesc& desc);
    // Waits up to `ms` unless the fault changes or the service stops.
    void Wait(int ms);

    std::mutex mutex_;
    std::condition_variable changed_;
    FaultDesc desc_;
    int remaining_ = 0;
    std::uint64_t generation_ = 0;
    bool stopping_ = false;
};

} // namespace kovasvc
