// kova-service's handlers on any bytes, read as one HTTP request by the
// service's own server code, on a seeded data folder (no admin routes). A
// crash, a sanitizer report or a handler that throws ends the run: the
// service would answer a throw with 500 and hide it.
//
// At start it adds a signText request carrying the seed's real certificate
// file to the first corpus folder, so that mutations reach PKCS#12 parsing and
// signing without a committed private key.
#include <fcntl.h>
#include <httplib.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "handlers.h"
#include "pkcs12.h"
#include "routing.h"
#include "seed.h"
#include "server.h"

namespace {

// The request's bytes to read; whatever is written back is dropped.
class InputStream : public httplib::Stream {
public:
    InputStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, size_ - position_);
        std::memcpy(ptr, data_ + position_, n);
        position_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char*, size_t size) override { return static_cast<ssize_t>(size); }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 8443;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

class FuzzServer : public httplib::Server {
public:
    void Feed(httplib::Stream& stream) {
        bool closed = false;
        process_request(stream, true, closed, [](httplib::Request&) {});
    }
};

std::string g_root;

void RemoveRoot() {
    std::error_code ignored;
    if (!g_root.empty()) std::filesystem::remove_all(g_root, ignored);
}

struct Service {
    kovasvc::ServiceContext ctx;
    FuzzServer server;

    Service() {
        char folder[] = "/tmp/kova-service-fuzz.XXXXXX";
        if (!mkdtemp(folder)) std::abort();
        g_root = folder;
        std::atexit(RemoveRoot);
        const std::string dir = g_root + "/data";
        // The seed prints what it made; the fuzzer's output is not the place.
        std::fflush(stdout);
        const int saved = dup(1), quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        close(quiet);
        const int seeded = kovasvc::SeedCommand(dir, 1000);
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
        std::string error;
        if (seeded != 0 || !ctx.store.Open(dir, error)) {
            std::fprintf(stderr, "service fuzzer: seed failed %s\n", error.c_str());
            std::abort();
        }
        ctx.dir = dir;
        ctx.caPath = dir + "/ca.pem";
        ctx.httpsPort = 8443;
        ctx.httpPort = 8080;
        kovasvc::EnableLegacyPfx();
        server.set_payload_max_length(kovasvc::kMaxBody);
        server.set_exception_handler(
            [](const httplib::Request&, httplib::Response&, std::exception_ptr) { std::abort(); });
        kovasvc::RegisterApi(server, ctx);
        kovasvc::RegisterDownloads(server, ctx);
        kovasvc::RegisterEcho(server, ctx);
    }
};

Service* g_service = nullptr;

std::string SignTextRequest(const std::string& pfx) {
    const std::string boundary = "fuzzboundary";
    std::string body;
    auto part = [&](const std::string& head, const std::string& content) {
        body += "--" + boundary + "\r\n" + head + "\r\n\r\n" + content + "\r\n";
    };
    part("Content-Disposition: form-data; name=\"text\"", "A123456789");
    part("Content-Disposition: form-data; name=\"pwd\"", "pfx1234");
    part("Content-Disposition: form-data; name=\"pfxFile\"; filename=\"A123456789.pfx\"\r\n"
         "Content-Type: application/octet-stream",
         pfx);
    body += "--" + boundary + "--\r\n";
    return "POST /kovaapp/api/signText.do HTTP/1.1\r\nHost: localhost:8443\r\n"
           "Content-Type: multipart/form-data; boundary=" +
           boundary + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    g_service = new Service;
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (arg[0] == '-') continue;
        std::ifstream in(g_service->ctx.dir + "/pfx/A123456789.pfx", std::ios::binary);
        const std::string pfx((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(std::string(arg) + "/signtext-seeded-pfx", std::ios::binary) << SignTextRequest(pfx);
        break;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputStream in(data, size);
    g_service->server.Feed(in);
    return 0;
}
