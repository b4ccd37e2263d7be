#include "server.h"

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "answer.h"
#include "clock.h"
#include "handlers.h"
#include "pkcs12.h"

namespace kovasvc {
namespace {

constexpr int kBacklog = 128;
constexpr size_t kWorkerThreads = 32;  // a few hanging faults must not starve the rest

// httplib listens with a backlog of 5; a burst of clients would then see
// dropped SYNs and one-second retries. Re-listening widens the queue.
template <typename Base>
class LoopbackServer : public Base {
public:
    using Base::Base;
    int Bind(const std::string& host, int port) {
        int bound = port == 0 ? this->bind_to_any_port(host) : (this->bind_to_port(host, port) ? port : -1);
        if (bound > 0) ::listen(this->svr_sock_, kBacklog);
        return bound;
    }
};

// SO_REUSEADDR binds over the connections a run that just ended left in
// TIME_WAIT, as servers do. httplib's default on Linux is SO_REUSEPORT alone,
// which also lets a second service share a port that one already listens on.
void ReuseAddress(socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void Configure(httplib::Server& server, const char* scheme) {
    server.set_socket_options(ReuseAddress);
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    // Headers and body go out in separate writes; with Nagle on, a keep-alive
    // client waits for the delayed ACK (~40 ms) on every answer.
    server.set_tcp_nodelay(true);
    server.set_payload_max_length(kMaxBody);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_timeout(2);
    server.set_keep_alive_max_count(1000);
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty() && !res.content_provider_) FillErrorBody(res);
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        SendError(res, 500, "server_error", "伺服器發生錯誤，請稍後再試");
    });
    server.set_logger([scheme](const httplib::Request& req, const httplib::Response& res) {
        std::fprintf(stderr, "%s %s %s:%d %s %s %d %zu\n", NowText().c_str(), scheme, req.remote_addr.c_str(),
                     req.remote_port, req.method.c_str(), req.path.c_str(), res.status,
                     res.content_provider_ ? res.content_length_ : res.body.size());
    });
}

bool WritePorts(const std::string& dir, int https, int http) {
    std::string tmp = dir + "/ports.json.tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << DumpJson(Json{{"https", https}, {"http", http}, {"pid", static_cast<int>(getpid())}}) << "\n";
        if (!out.flush()) return false;
    }
    return std::rename(tmp.c_str(), (dir + "/ports.json").c_str()) == 0;
}

bool Exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

} // namespace

int Serve(const ServeOptions& options) {
    ServiceContext ctx;
    ctx.dir = options.dir;
    ctx.caPath = options.dir + "/ca.pem";
    std::string error;
    const std::string certPath = options.dir + "/server.pem", keyPath = options.dir + "/server.key";
    if (!ctx.store.Open(options.dir, error) || !Exists(certPath) || !Exists(keyPath) || !Exists(ctx.caPath)) {
        std::cerr << "kova-service serve: " << (error.empty() ? "missing certificates; run seed first" : error) << "\n";
        return 1;
    }
    ctx.faults.Set(options.fault);
    EnableLegacyPfx();

    // Signals go to the waiting thread below, never to a worker mid-request.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    LoopbackServer<httplib::SSLServer> https(certPath.c_str(), keyPath.c_str());
    LoopbackServer<httplib::Server> http;
    if (!https.is_valid()) {
        std::cerr << "kova-service serve: cannot load " << certPath << "\n";
        return 1;
    }
    // Whatever the machine's OpenSSL policy allows, nothing older than TLS 1.2.
    if (SSL_CTX_set_min_proto_version(https.ssl_context(), TLS1_2_VERSION) != 1) {
        std::cerr << "kova-service serve: cannot require TLS 1.2\n";
        return 1;
    }
    Configure(https, "https");
    Configure(http, "http");
    RegisterApi(https, ctx);
    RegisterDownloads(https, ctx);
    RegisterPages(https, ctx);
    RegisterEcho(http, ctx);
    if (options.admin) {
        RegisterAdmin(https, ctx);
        RegisterAdmin(http, ctx);
    }

    ctx.httpsPort = https.Bind(options.listen, options.httpsPort);
    ctx.httpPort = ctx.httpsPort > 0 ? http.Bind(options.listen, options.httpPort) : -1;
    if (ctx.httpsPort <= 0 || ctx.httpPort <= 0) {
        std::cerr << "kova-service serve: cannot listen on " << options.listen << " ports " << options.httpsPort
                  << "/" << options.httpPort << "\n";
        return 1;
    }
    if (!WritePorts(options.dir, ctx.httpsPort, ctx.httpPort)) {
        std::cerr << "kova-service serve: cannot write ports.json\n";
        return 1;
    }
    std::printf("kova-service listening https=%d http=%d pid=%d\n", ctx.httpsPort, ctx.httpPort,
                static_cast<int>(getpid()));
    std::fflush(stdout);

    // A listener that ends on its own (it should not) stops the whole service.
    auto run = [](httplib::Server& server) {
        server.listen_after_bind();
        kill(getpid(), SIGTERM);
    };
    std::thread httpsThread(run, std::ref(static_cast<httplib::Server&>(https)));
    std::thread httpThread(run, std::ref(static_cast<httplib::Server&>(http)));
    int sig = 0;
    sigwait(&stopSignals, &sig);
    ctx.faults.Shutdown();
    https.stop();
    http.stop();
    httpsThread.join();
    httpThread.join();
    std::remove((options.dir + "/ports.json").c_str());
    std::fprintf(stderr, "kova-service stopped (signal %d)\n", sig);
    return 0;
}

} // namespace kovasvc
