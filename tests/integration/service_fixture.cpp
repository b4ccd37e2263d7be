#include "service_fixture.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "wait.h"

namespace svctest {
namespace {

// Far above anything the service sends in these tests except the oversize
// faults, which read to this cap and stop.
constexpr size_t kMaxAnswer = 64u << 20;

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
} curlGlobal;

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    size_t n = size * count;
    if (body->size() + n > kMaxAnswer) return 0;
    body->append(data, n);
    return n;
}

void Prepare(CURL* curl, const std::string& url, const std::string& ca, long timeoutMs, std::string* body) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
}

Answer Perform(CURL* curl, std::string& body) {
    Answer a;
    a.curlCode = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &a.status);
    char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    if (type) a.contentType = type;
    a.body = std::move(body);
    a.json = Json::parse(a.body, nullptr, false);
    if (a.json.is_discarded()) a.json = nullptr;
    return a;
}

std::string Encode(CURL* curl, const Fields& fields) {
    std::string out;
    for (const auto& [k, v] : fields) {
        char* ek = curl_easy_escape(curl, k.c_str(), static_cast<int>(k.size()));
        char* ev = curl_easy_escape(curl, v.c_str(), static_cast<int>(v.size()));
        out += (out.empty() ? "" : "&") + std::string(ek) + "=" + ev;
        curl_free(ek);
        curl_free(ev);
    }
    return out;
}

curl_mime* Mime(CURL* curl, const std::vector<Part>& parts) {
    curl_mime* mime = curl_mime_init(curl);
    for (const auto& p : parts) {
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, p.name.c_str());
        curl_mime_data(part, p.value.data(), p.value.size());
        if (p.file) {
            curl_mime_filename(part, "cert.pfx");
            curl_mime_type(part, "application/octet-stream");
        }
    }
    return mime;
}

// fork + exec with stdout/stderr sent to files; returns the child's pid.
// Everything is prepared before fork: the child of a threaded process may only
// make async-signal-safe calls.
pid_t Spawn(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid != 0) return pid;
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (o >= 0) dup2(o, 1);
    if (e >= 0) dup2(e, 2);
    execv(argv[0], argv.data());
    _exit(127);
}

int WaitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Service::~Service() {
    Stop();
    if (ownsDir_) std::filesystem::remove_all(dir_);
}

bool Service::Start(const std::vector<std::string>& extraArgs, const std::string& dir) {
    if (dir.empty()) {
        char tmpl[] = "/tmp/kova-svc-test-XXXXXX";
        if (!mkdtemp(tmpl)) return false;
        dir_ = tmpl;
        ownsDir_ = true;
        if (RunTool({"seed", dir_, "--iterations", "5000"}) != 0) return false;
    } else {
        dir_ = dir;
    }
    seed_ = Json::parse(ReadFile(dir_ + "/seed.json"), nullptr, false);
    if (!seed_.is_object()) return false;
    ca_ = seed_["ca"];
    std::string ports = dir_ + "/ports.json";
    std::remove(ports.c_str());
    std::vector<std::string> args = {KOVA_SERVICE_EXE, "serve", "--data", dir_};
    if (std::find(extraArgs.begin(), extraArgs.end(), "--https-port") == extraArgs.end())
        args.insert(args.end(), {"--https-port", "0", "--http-port", "0"});
    if (admin_ == Admin::On) args.push_back("--admin");
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = Spawn(args, dir_ + "/service.out", dir_ + "/service.log");
    if (pid_ < 0) return false;
    Json p;
    bool up = testsupport::WaitUntil([&] {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return true;  // died: stop waiting
        p = Json::parse(ReadFile(ports), nullptr, false);
        return p.is_object() && p.value("pid", 0) == pid_;
    }, 15000);
    if (!up || !p.is_object() || p.value("pid", 0) != pid_) {
        pid_ = -1;
        return false;
    }
    https_ = p["https"];
    http_ = p["http"];
    return true;
}

int Service::Stop(int signal) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    bool ended = testsupport::WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 15000);
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Service::RunTool(const std::vector<std::string>& args, std::string* output) const {
    std::vector<std::string> full = {KOVA_SERVICE_EXE};
    full.insert(full.end(), args.begin(), args.end());
    std::string out = (dir_.empty() ? std::string("/tmp") : dir_) + "/tool.out." + std::to_string(getpid());
    int code = WaitExit(Spawn(full, out, dir_.empty() ? "/dev/null" : dir_ + "/tool.log"));
    if (output) *output = ReadFile(out);
    std::remove(out.c_str());
    return code;
}

std::string Service::Url(const std::string& path) const { return "https://localhost:" + std::to_string(https_) + path; }

std::string Service::EchoUrl(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(http_) + path; }

const Json& Service::Pfx(const std::string& role) const {
    for (const auto& p : seed_["pfx"])
        if (p["role"] == role) return p;
    static const Json none;
    return none;
}

std::string Service::PfxBytes(const std::string& role) const { return ReadFile(Pfx(role)["path"]); }

Answer Get(const std::string& url, const std::string& ca, long timeoutMs) {
    CURL* curl = curl_easy_init();
    std::string body;
    Prepare(curl, url, ca, timeoutMs, &body);
    Answer a = Perform(curl, body);
    curl_easy_cleanup(curl);
    return a;
}

Answer GetOverOldTls(const std::string& url, const std::string& ca) {
    CURL* curl = curl_easy_init();
    std::string body;
    Prepare(curl, url, ca, 20000, &body);
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_0 | CURL_SSLVERSION_MAX_TLSv1_1);
    curl_easy_setopt(curl, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");
    Answer a = Perform(curl, body);
    curl_easy_cleanup(curl);
    return a;
}

Answer PostRaw(const std::string& url, const std::string& ca, const std::string& contentType,
               const std::string& body, const std::string& method) {
    CURL* curl = curl_easy_init();
    std::string answer;
    Prepare(curl, url, ca, 20000, &answer);
    curl_slist* headers = curl_slist_append(nullptr, ("Content-Type: " + contentType).c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    if (method != "POST") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    Answer a = Perform(curl, answer);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return a;
}

Answer PostForm(const std::string& url, const std::string& ca, const Fields& fields, long timeoutMs) {
    Client c(ca);
    return c.PostForm(url, fields, timeoutMs);
}

Answer PostMultipart(const std::string& url, const std::string& ca, const std::vector<Part>& parts) {
    Client c(ca);
    return c.PostMultipart(url, parts);
}

bool SetFault(const Service& s, const Fields& fields) {
    return PostForm(s.EchoUrl("/_admin/fault"), s.Ca(), fields).State() == 1;
}

Client::Client(std::string ca) : curl_(curl_easy_init()), ca_(std::move(ca)) {}

Client::~Client() { curl_easy_cleanup(static_cast<CURL*>(curl_)); }

Answer Client::PostForm(const std::string& url, const Fields& fields, long timeoutMs) {
    CURL* curl = static_cast<CURL*>(curl_);
    std::string body;
    Prepare(curl, url, ca_, timeoutMs, &body);
    std::string encoded = Encode(curl, fields);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, encoded.c_str());
    return Perform(curl, body);
}

Answer Client::PostMultipart(const std::string& url, const std::vector<Part>& parts) {
    CURL* curl = static_cast<CURL*>(curl_);
    std::string body;
    Prepare(curl, url, ca_, 20000, &body);
    curl_mime* mime = Mime(curl, parts);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    Answer a = Perform(curl, body);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
    curl_mime_free(mime);
    return a;
}

} // namespace svctest
