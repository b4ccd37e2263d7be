// Loopback HTTP and HTTPS server for the exchange tests of both builds. It
// records every request it receives under /KIND/TAG into RECORDS/TAG.rec,
// before answering, as its own multipart parser saw it.
//
//   net_testserver PKI_DIR RECORDS_DIR PORTS_FILE
// PKI_DIR holds server.pem/server.key (trusted CA) and untrusted.pem/
// untrusted.key (a CA nobody trusts). PORTS_FILE receives
// "HTTP HTTPS UNTRUSTED RAW\n" once all listen (RAW: plain
// HTTP, records the body exactly as it arrived); SIGTERM ends the server.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string g_records;
std::atomic<bool> g_stopping{false};

// Entries "key length\n" + bytes + "\n", so binary bodies pass unchanged.
void Put(std::string& out, const char* key, const std::string& value) {
    out += key;
    out += " " + std::to_string(value.size()) + "\n" + value + "\n";
}

void Record(const httplib::Request& req, const std::string& tag) {
    std::string out;
    Put(out, "method", req.method);
    Put(out, "target", req.target);
    for (const auto& h : req.headers) Put(out, "header", h.first + ": " + h.second);
    Put(out, "body", req.body);
    for (const auto& f : req.files) {
        Put(out, "part", f.second.name);
        Put(out, "part-filename", f.second.filename);
        Put(out, "part-type", f.second.content_type);
        Put(out, "part-content", f.second.content);
    }
    const std::string path = g_records + "/" + tag + ".rec";
    {
        std::ofstream file(path + ".tmp", std::ios::binary);
        file << out;
    }
    std::rename((path + ".tmp").c_str(), path.c_str());
}

size_t ParamSize(const httplib::Request& req, const char* name) {
    return req.has_param(name) ? static_cast<size_t>(std::stoull(req.get_param_value(name))) : 0;
}

void Handle(const httplib::Request& req, httplib::Response& res) {
    const std::string kind = req.matches[1];
    const std::string tag = req.matches[2];
    if (kind != "sink") Record(req, tag);
    if (kind == "r" || kind == "sink") {
        res.set_content("ok " + tag, "text/plain");
    } else if (kind == "json") {
        res.set_content("{\"state\":1,\"message\":\"\xC3\xA9\"}", "application/json; charset=UTF-8");
    } else if (kind == "empty") {
        res.set_content("", "application/octet-stream");
    } else if (kind == "missing") {
        res.status = 404;
        res.set_content("no such thing", "text/plain");
    } else if (kind == "cut") {
        // Promises 1000 bytes, sends 10, then drops the connection.
        res.set_content_provider(1000, "text/plain", [](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset == 0) sink.write("0123456789", 10);
            return offset == 0 ? true : false;
        });
    } else if (kind == "big") {
        const size_t total = ParamSize(req, "n");
        const std::string type = req.has_param("type") ? req.get_param_value("type") : "text/plain";
        // Only the chunked sink has done(); a sized answer ends at its length.
        auto provide = [total](size_t offset, httplib::DataSink& sink, bool chunked) {
            static const std::string block(64 * 1024, 'x');
            const size_t n = std::min(block.size(), total - offset);
            if (n) sink.write(block.data(), n);
            if (chunked && offset + n >= total) sink.done();
            return true;
        };
        if (req.has_param("chunked")) {
            res.set_chunked_content_provider(type, [provide](size_t offset, httplib::DataSink& sink) {
                return provide(offset, sink, true);
            });
        } else {
            res.set_content_provider(total, type, [provide](size_t offset, size_t, httplib::DataSink& sink) {
                return provide(offset, sink, false);
            });
        }
    } else if (kind == "stall") {
        // Headers, then silence for 5 s, then the whole answer: an exchange
        // that completes is one that was not aborted.
        res.set_content_provider(2, "text/plain", [](size_t, size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::seconds(5));
            sink.write("ok", 2);
            return true;
        });
    } else if (kind == "silent") {
        // Reads the request and says nothing for longer than a client's
        // stall limit, then answers: an exchange that succeeds waited it out.
        for (int i = 0; i < 450 && !g_stopping; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        res.set_content("late", "text/plain");
    } else if (kind == "redirect") {
        res.set_redirect(req.get_param_value("to"), req.has_param("code") ? std::stoi(req.get_param_value("code")) : 302);
    } else if (kind == "chain") {
        // `left` more redirects, then the answer.
        const size_t left = ParamSize(req, "left");
        if (left == 0) {
            res.set_content("ok " + tag, "text/plain");
        } else {
            res.set_redirect("/chain/" + tag + "?left=" + std::to_string(left - 1), 302);
        }
    } else if (kind == "trickle") {
        // Headers at once, then one byte of the n (100) every ms (200)
        // milliseconds: each read gets data well within any stall limit,
        // and only a limit on the whole exchange ends it early.
        const size_t total = req.has_param("n") ? ParamSize(req, "n") : 100;
        const size_t ms = req.has_param("ms") ? ParamSize(req, "ms") : 200;
        const std::string type = req.has_param("type") ? req.get_param_value("type") : "text/plain";
        res.set_content_provider(total, type, [ms](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return !g_stopping && sink.write(offset % 2 ? "b" : "a", 1);
        });
    }
}

// A bare HTTP listener that records the request's body exactly as it
// arrived (httplib keeps only the parts of a form-data body): reads the
// header block and Content-Length bytes, answers "ok raw", closes. Under
// /slowraw/ it takes the body slowly (4 KiB every 20 ms) and gives up when
// the client does, so that a large upload is still under way seconds later.
// One thread per connection.
class RawListener {
public:
    int Start() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return -1;
        }
        thread_ = std::thread([this] { Loop(); });
        return ntohs(addr.sin_port);
    }
    void Stop() {
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        if (thread_.joinable()) thread_.join();
        for (std::thread& t : connections_) t.join();
    }

private:
    void Loop() {
        for (;;) {
            const int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            connections_.emplace_back([c] {
                Serve(c);
                close(c);
            });
        }
    }
    // Whether the client has closed its side (it gave up on the upload).
    static bool ClientGone(int c) {
        pollfd p{c, static_cast<short>(POLLIN | POLLRDHUP), 0};
        return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
    }
    static void Serve(int c) {
        std::string data;
        char buf[65536];
        size_t headerEnd = std::string::npos;
        size_t want = 0;
        for (;;) {
            if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + want) break;
            const bool slow = data.compare(0, 14, "POST /slowraw/") == 0;
            if (slow) {
                if (g_stopping || ClientGone(c)) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            const ssize_t n = recv(c, buf, slow ? 4096 : sizeof buf, 0);
            if (n <= 0) return;
            data.append(buf, static_cast<size_t>(n));
            if (headerEnd == std::string::npos && (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
                const size_t at = data.find("Content-Length: ");
                if (at != std::string::npos && at < headerEnd) want = std::stoul(data.substr(at + 16));
            }
            if (data.size() > 64u * 1024 * 1024) return;
        }
        httplib::Request req;
        const size_t firstSpace = data.find(' ');
        const size_t secondSpace = data.find(' ', firstSpace + 1);
        req.method = data.substr(0, firstSpace);
        req.target = data.substr(firstSpace + 1, secondSpace - firstSpace - 1);
        req.body = data.substr(headerEnd + 4, want);
        for (size_t at = data.find("\r\n") + 2; at < headerEnd;) {
            const size_t end = data.find("\r\n", at);
            const std::string line = data.substr(at, end - at);
            const size_t colon = line.find(": ");
            if (colon != std::string::npos) req.headers.emplace(line.substr(0, colon), line.substr(colon + 2));
            at = end + 2;
        }
        const size_t slash = req.target.rfind('/');
        Record(req, req.target.substr(slash + 1));
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\nConnection: close\r\n\r\nok raw";
        send(c, answer, sizeof answer - 1, MSG_NOSIGNAL);
    }
    int fd_ = -1;
    std::thread thread_;
    std::vector<std::thread> connections_;
};

void Serve(httplib::Server& server) {
    const char* pattern = R"(/(r|json|empty|missing|cut|big|stall|silent|redirect|sink|trickle|chain)/([A-Za-z0-9_-]+))";
    server.Get(pattern, Handle);
    server.Post(pattern, Handle);
    server.set_payload_max_length(512u * 1024 * 1024);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PKI_DIR RECORDS_DIR PORTS_FILE\n", argv[0]);
        return 2;
    }
    const std::string pki = argv[1];
    g_records = argv[2];
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // every server thread inherits the mask

    httplib::Server plain;
    httplib::SSLServer secure((pki + "/server.pem").c_str(), (pki + "/server.key").c_str());
    httplib::SSLServer untrusted((pki + "/untrusted.pem").c_str(), (pki + "/untrusted.key").c_str());
    if (!secure.is_valid() || !untrusted.is_valid()) {
        std::fprintf(stderr, "net_testserver: cannot load the certificates in %s\n", pki.c_str());
        return 1;
    }
    httplib::Server* servers[] = {&plain, &secure, &untrusted};
    int ports[3];
    for (int i = 0; i < 3; ++i) {
        Serve(*servers[i]);
        ports[i] = servers[i]->bind_to_any_port("127.0.0.1");
        if (ports[i] <= 0) {
            std::fprintf(stderr, "net_testserver: cannot listen on 127.0.0.1\n");
            return 1;
        }
    }
    RawListener raw;
    const int rawPort = raw.Start();
    if (rawPort <= 0) {
        std::fprintf(stderr, "net_testserver: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::thread threads[3];
    for (int i = 0; i < 3; ++i) threads[i] = std::thread([s = servers[i]] { s->listen_after_bind(); });
    {
        const std::string path = argv[3];
        std::ofstream file(path + ".tmp");
        file << ports[0] << " " << ports[1] << " " << ports[2] << " " << rawPort << "\n";
        file.close();
        std::rename((path + ".tmp").c_str(), path.c_str());
    }
    int signal = 0;
    sigwait(&stop, &signal);
    g_stopping = true;
    for (auto* s : servers) s->stop();
    for (auto& t : threads) t.join();
    raw.Stop();
    return 0;
}
