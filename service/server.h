// `kova-service serve`: the HTTPS service and the plain-HTTP IP echo on
// loopback, until SIGINT or SIGTERM.
#pragma once

#include <string>

#include "faults.h"

namespace kovasvc {

// Limits on what a client may send.
constexpr size_t kMaxBody = 1024 * 1024;

struct ServeOptions {
    std::string dir;
    std::string listen = "127.0.0.1";
    int httpsPort = 8443;
    int httpPort = 8080;
    FaultDesc fault;
    // The /_admin routes take no credentials: only a test server opens them.
    bool admin = false;
};

// Writes DIR/ports.json ({"https":N,"http":M,"pid":P}) and one line
// "kova-service listening https=N http=M pid=P" on stdout once both ports
// accept connections; removes ports.json on the way out. Returns the exit code.
int Serve(const ServeOptions& options);

} // namespace kovasvc
