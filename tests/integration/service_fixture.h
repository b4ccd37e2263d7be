// A real kova-service for the tests: seeded into a fresh temporary folder,
// started on loopback with port 0, stopped with SIGTERM at the end; and a
// small libcurl client that trusts only the seeded CA.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <csignal>

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace svctest {

using Json = nlohmann::json;

struct Answer {
    int curlCode = 0;       // CURLE_OK when the exchange completed
    long status = 0;        // HTTP status, 0 without an answer
    std::string contentType;
    std::string body;
    Json json;              // null when the body is not JSON
    int State() const { return json.is_object() && json.contains("state") ? json["state"].get<int>() : -999; }
    std::string Message() const { return json.is_object() && json.contains("message") ? json["message"].get<std::string>() : ""; }
};

struct Part {
    std::string name;
    std::string value;         // text, or the file's bytes
    bool file = false;
};

using Fields = std::vector<std::pair<std::string, std::string>>;

class Service {
public:
    // The /_admin routes (faults, manifest) are opened unless asked otherwise.
    enum class Admin { On, Off };
    explicit Service(Admin admin = Admin::On) : admin_(admin) {}
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    ~Service();

    // Seeds a new folder (or reuses `dir` when given) and starts the service,
    // on free ports unless `extraArgs` names them.
    bool Start(const std::vector<std::string>& extraArgs = {}, const std::string& dir = "");
    // Signals (SIGTERM by default) and waits; returns the exit status (-1 when
    // it had to be killed).
    int Stop(int signal = SIGTERM);

    // Runs `kova-service args...`; returns its exit code, stdout into `output`.
    int RunTool(const std::vector<std::string>& args, std::string* output = nullptr) const;

    std::string Url(const std::string& path) const;      // https://localhost:N...
    std::string EchoUrl(const std::string& path) const;  // http://127.0.0.1:M...
    const std::string& Dir() const { return dir_; }
    const std::string& Ca() const { return ca_; }
    const Json& Seed() const { return seed_; }
    // The seeded PFX of a role ("demo", "other", "untrusted").
    const Json& Pfx(const std::string& role) const;
    std::string PfxBytes(const std::string& role) const;
    pid_t Pid() const { return pid_; }
    int HttpsPort() const { return https_; }
    int HttpPort() const { return http_; }

private:
    Admin admin_;
    std::string dir_, ca_;
    bool ownsDir_ = false;
    Json seed_;
    int https_ = 0, http_ = 0;
    pid_t pid_ = -1;
};

// One seeded service for all the tests of a suite, stopped at the suite's end.
class ServiceSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        service_ = new Service;
        ASSERT_TRUE(service_->Start()) << "kova-service did not start";
    }
    static void TearDownTestSuite() {
        // A clean exit on SIGTERM; a sanitizer's report would change the code.
        EXPECT_EQ(service_->Stop(), 0);
        delete service_;
        service_ = nullptr;
    }
    static inline Service* service_ = nullptr;
};

std::string ReadFile(const std::string& path);

// One exchange on a fresh connection; `timeoutMs` bounds the whole exchange.
Answer Get(const std::string& url, const std::string& ca, long timeoutMs = 20000);
Answer PostForm(const std::string& url, const std::string& ca, const Fields& fields, long timeoutMs = 20000);
Answer PostMultipart(const std::string& url, const std::string& ca, const std::vector<Part>& parts);
Answer PostRaw(const std::string& url, const std::string& ca, const std::string& contentType,
               const std::string& body, const std::string& method = "POST");

// A GET whose client offers only TLS 1.0 and 1.1 (with the weak signatures
// they need), as an outdated client would.
Answer GetOverOldTls(const std::string& url, const std::string& ca);

// Sets the service's fault (POST /_admin/fault on the echo port).
bool SetFault(const Service& s, const Fields& fields);

// A reusable connection for load runs (keeps the TLS session alive).
class Client {
public:
    explicit Client(std::string ca);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    Answer PostForm(const std::string& url, const Fields& fields, long timeoutMs = 20000);
    Answer PostMultipart(const std::string& url, const std::vector<Part>& parts);

private:
    void* curl_;
    std::string ca_;
};

} // namespace svctest
