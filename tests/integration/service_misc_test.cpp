// The manifest and download, the IP echo, misbehaviour on demand, the command
// line's refusals, shutdown, and a concurrent load run.
#include <gtest/gtest.h>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "service_fixture.h"

namespace svctest {
namespace {

const char kManifest[] = "/download/API/kovaapp.json";
const char kAuth[] = "/kovaapp/api/userAuth.do";

// A made-up program: `size` bytes that differ with `seed`.
std::string Program(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(((i + seed) * 7919) >> 3);
    return bytes;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

size_t Append(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// A GET over HTTP/1.1 that also keeps the header block as received, in lower
// case (the fixture's client keeps only the content type).
Answer GetWithHeaders(const std::string& url, const std::string& ca, std::string& headers) {
    Answer a;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 20000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &a.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
    a.curlCode = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &a.status);
    curl_easy_cleanup(curl);
    std::transform(headers.begin(), headers.end(), headers.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return a;
}

class ServiceMisc : public ServiceSuite {
protected:
    void TearDown() override { SetFault(*service_, {{"kind", "none"}}); }
};

TEST_F(ServiceMisc, ManifestNamesTheDownloadItServes) {
    Answer m = Get(service_->Url(kManifest), service_->Ca());
    ASSERT_EQ(m.State(), 1) << m.body;
    EXPECT_EQ(m.json["version"], KOVA_VERSION) << "a new data set offers the program's own version";
    EXPECT_EQ(m.json["url"], "");

    std::string exe(300 * 1024, '\0');
    for (size_t i = 0; i < exe.size(); ++i) exe[i] = static_cast<char>((i * 7919) >> 3);
    const std::string src = service_->Dir() + "/new.bin";
    std::FILE* f = std::fopen(src.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(exe.data(), 1, exe.size(), f);
    std::fclose(f);
    ASSERT_EQ(service_->RunTool({"manifest", service_->Dir(), "--version", "1.0.0", "--file", src, "--name",
                                 "kovaapp.exe"}), 0);
    EXPECT_NE(service_->RunTool({"manifest", service_->Dir(), "--file", src, "--name", "../kova.db"}), 0);

    m = Get(service_->Url(kManifest), service_->Ca());
    EXPECT_EQ(m.json["version"], "1.0.0");
    ASSERT_EQ(m.json["url"], service_->Url("/download/API/kovaapp.exe"));
    Answer d = Get(m.json["url"], service_->Ca());
    EXPECT_EQ(d.status, 200);
    EXPECT_EQ(d.contentType, "application/octet-stream");
    EXPECT_TRUE(d.body == exe) << "downloaded " << d.body.size() << " bytes";

    for (const char* other : {"/download/API/seed.json", "/download/API/..%2Fkova.db", "/download/API/new.bin"}) {
        Answer n = Get(service_->Url(other), service_->Ca());
        EXPECT_EQ(n.status, 404) << other;
        EXPECT_EQ(n.State(), 0) << other;
    }
    ASSERT_EQ(service_->RunTool({"manifest", service_->Dir(), "--url", "http://127.0.0.1:1/kovaapp.exe"}), 0);
    EXPECT_EQ(Get(service_->Url(kManifest), service_->Ca()).json["url"], "http://127.0.0.1:1/kovaapp.exe");
}

// The admin route switches the offer among files already in DIR/download,
// on either port, and refuses anything that could name another file.
TEST_F(ServiceMisc, ManifestRouteOffersOnlyAPreparedFile) {
    const std::string download = service_->Dir() + "/download/";
    const std::string first = Program(70 * 1024, 1), second = Program(90 * 1024, 2);
    ASSERT_TRUE(WriteBytes(download + "first.exe", first));
    ASSERT_TRUE(WriteBytes(download + "second-1.0_b.exe", second));
    ASSERT_TRUE(WriteBytes(download + ".hidden", first));
    ASSERT_EQ(symlink("../kova.db", (download + "link.exe").c_str()), 0);

    Answer set = PostForm(service_->EchoUrl("/_admin/manifest"), "", {{"version", "2.0.0"}, {"name", "first.exe"}});
    ASSERT_EQ(set.State(), 1) << set.body;
    Answer m = Get(service_->Url(kManifest), service_->Ca());
    EXPECT_EQ(m.json["version"], "2.0.0");
    ASSERT_EQ(m.json["url"], service_->Url("/download/API/first.exe"));
    EXPECT_TRUE(Get(m.json["url"], service_->Ca()).body == first);
    EXPECT_EQ(Get(service_->Url("/download/API/second-1.0_b.exe"), service_->Ca()).status, 404);

    // The HTTPS port has the route too; left out, the name stays and the url is dropped.
    set = PostForm(service_->Url("/_admin/manifest"), service_->Ca(),
                   {{"version", "2.0.1"}, {"name", "second-1.0_b.exe"}, {"url", "http://127.0.0.1:1/x.exe"}});
    ASSERT_EQ(set.State(), 1) << set.body;
    EXPECT_EQ(Get(service_->Url(kManifest), service_->Ca()).json["url"], "http://127.0.0.1:1/x.exe");
    ASSERT_EQ(PostForm(service_->EchoUrl("/_admin/manifest"), "", {{"version", "2.0.2"}}).State(), 1);
    m = Get(service_->Url(kManifest), service_->Ca());
    EXPECT_EQ(m.json["version"], "2.0.2");
    ASSERT_EQ(m.json["url"], service_->Url("/download/API/second-1.0_b.exe"));
    EXPECT_TRUE(Get(m.json["url"], service_->Ca()).body == second);

    const Json before = Get(service_->EchoUrl("/_admin/manifest"), "").json["manifest"];
    EXPECT_EQ(before, (Json{{"version", "2.0.2"}, {"file", "second-1.0_b.exe"}, {"url", ""}}));
    const Fields refused[] = {
        {{"version", "3.0"}, {"name", "../kova.db"}},
        {{"version", "3.0"}, {"name", "download/first.exe"}},
        {{"version", "3.0"}, {"name", ".."}},
        {{"version", "3.0"}, {"name", ".hidden"}},
        {{"version", "3.0"}, {"name", "missing.exe"}},
        {{"version", "3.0"}, {"name", "link.exe"}},
        {{"version", "3.0"}, {"name", "kovaapp.json"}},
        {{"version", "3.0"}, {"name", ""}},
        {{"version", ""}, {"name", "first.exe"}},
        {{"version", std::string(65, '9')}},
        {{"name", "first.exe"}},
        {{"version", "3.0"}, {"file", "first.exe"}},
    };
    for (const auto& fields : refused) {
        const std::string what = fields.back().first + "=" + fields.back().second;
        Answer r = PostForm(service_->EchoUrl("/_admin/manifest"), "", fields);
        EXPECT_EQ(r.status, 400) << what;
        EXPECT_EQ(r.State(), 0) << what;
        EXPECT_FALSE(r.Message().empty()) << what;
        EXPECT_EQ(Get(service_->EchoUrl("/_admin/manifest"), "").json["manifest"], before) << what;
    }
}

// The download cut in half with nothing to show it: no length, no chunks, the
// connection's end is the body's end. Other paths leave the fault alone and
// each download uses one of its count.
TEST_F(ServiceMisc, TruncateFaultCutsTheDownloadSilently) {
    const std::string exe = Program(300 * 1024, 3);
    ASSERT_TRUE(WriteBytes(service_->Dir() + "/download/kovaapp.exe", exe));
    ASSERT_EQ(PostForm(service_->EchoUrl("/_admin/manifest"), "", {{"version", "2.1.0"}, {"name", "kovaapp.exe"}})
                  .State(), 1);
    const std::string url = service_->Url("/download/API/kovaapp.exe");

    auto expectCut = [&](const char* what) {
        std::string headers;
        Answer cut = GetWithHeaders(url, service_->Ca(), headers);
        EXPECT_EQ(cut.curlCode, CURLE_OK) << what;
        EXPECT_EQ(cut.status, 200) << what;
        EXPECT_EQ(headers.rfind("http/1.1 200", 0), 0u) << what << ": " << headers;
        EXPECT_EQ(headers.find("content-length:"), std::string::npos) << what << ": " << headers;
        EXPECT_EQ(headers.find("chunked"), std::string::npos) << what << ": " << headers;
        EXPECT_TRUE(!cut.body.empty() && cut.body.size() < exe.size() && exe.compare(0, cut.body.size(), cut.body) == 0)
            << what << ": " << cut.body.size() << " bytes";
    };
    auto expectWhole = [&](const char* what) {
        std::string headers;
        Answer whole = GetWithHeaders(url, service_->Ca(), headers);
        EXPECT_EQ(whole.status, 200) << what;
        EXPECT_NE(headers.find("content-length: " + std::to_string(exe.size())), std::string::npos) << what;
        EXPECT_TRUE(whole.body == exe) << what << ": " << whole.body.size() << " bytes";
    };

    ASSERT_TRUE(SetFault(*service_, {{"kind", "truncate"}, {"path", "/download/API/kovaapp.exe"}, {"count", "1"}}));
    expectCut("the faulty download");
    expectWhole("the next download");

    ASSERT_TRUE(SetFault(*service_, {{"kind", "truncate"}, {"count", "1"}}));
    EXPECT_EQ(Get(service_->Url(kManifest), service_->Ca()).State(), 1);
    EXPECT_EQ(Get(service_->EchoUrl("/json"), "").json["status"], "success");
    EXPECT_EQ(Get(service_->EchoUrl("/_admin/fault"), "").json["fault"]["count"], 1) << "still pending";
    expectCut("a fault on every path");
    expectWhole("after a fault on every path");
}

TEST_F(ServiceMisc, IpEchoAnswersTheCallersAddressOverPlainHttp) {
    Answer a = Get(service_->EchoUrl("/json"), service_->Ca());
    ASSERT_EQ(a.status, 200);
    EXPECT_EQ(a.contentType, "application/json; charset=UTF-8");
    EXPECT_EQ(a.json["status"], "success");
    EXPECT_EQ(a.json["query"], "127.0.0.1");
    EXPECT_EQ(Get(service_->Url("/json"), service_->Ca()).status, 404) << "the echo is not on the HTTPS port";
}

TEST_F(ServiceMisc, TheProgramsLinkedPagesAreSmallPagesOnTheHttpsPort) {
    for (const char* page : {"/ekova/upload/kovaapi/index.html", "/ekova/upload/kovaapi/faq.html",
                             "/ekova/upload/kovaapi/teach0.html", "/KovaWeb/miniRiskLogin.aspx",
                             "/project/ekey/RAWinApp.exe", "/ekovaTran/forgetPw.do"}) {
        Answer a = Get(service_->Url(page), service_->Ca());
        EXPECT_EQ(a.status, 200) << page;
        EXPECT_EQ(a.contentType, "text/html; charset=UTF-8") << page;
        EXPECT_NE(a.body.find("<title>"), std::string::npos) << page;
    }
    EXPECT_EQ(Get(service_->Url("/ekova/upload/kovaapi/other.html"), service_->Ca()).status, 404);
}

// Each fault hits the next request only; the one after is served normally.
TEST_F(ServiceMisc, FaultsMisbehaveOnceOnDemand) {
    struct Case {
        Fields fault;
        long status;
        int curlCode;
        const char* check;  // what the faulty answer must look like
    } cases[] = {
        {{{"kind", "status"}, {"code", "404"}}, 404, CURLE_OK, "html"},
        {{{"kind", "status"}, {"code", "500"}}, 500, CURLE_OK, "html"},
        {{{"kind", "html"}}, 200, CURLE_OK, "html"},
        {{{"kind", "nostate"}}, 200, CURLE_OK, "nostate"},
        {{{"kind", "close"}}, 200, CURLE_PARTIAL_FILE, "cut"},
        {{{"kind", "oversize"}}, 200, CURLE_OK, "big"},
        {{{"kind", "oversize-chunked"}, {"size", "17000000"}}, 200, CURLE_OK, "big"},
        {{{"kind", "delay"}, {"ms", "300"}}, 200, CURLE_OK, "normal"},
    };
    for (const auto& c : cases) {
        Fields fault = c.fault;
        fault.push_back({"count", "1"});
        fault.push_back({"path", kManifest});
        ASSERT_TRUE(SetFault(*service_, fault)) << c.fault[0].second;
        Answer a = Get(service_->Url(kManifest), service_->Ca());
        const std::string what = c.fault[0].second + " " + c.check;
        EXPECT_EQ(a.curlCode, c.curlCode) << what;
        EXPECT_EQ(a.status, c.status) << what;
        std::string check = c.check;
        if (check == "html") {
            EXPECT_TRUE(a.json.is_null() && a.body.find("<html>") == 0) << what;
        }
        if (check == "nostate") {
            EXPECT_TRUE(a.json.is_object() && !a.json.contains("state")) << what;
        }
        if (check == "cut") {
            EXPECT_TRUE(a.json.is_null() && !a.body.empty()) << what;
        }
        if (check == "big") {
            EXPECT_TRUE(a.body.size() > (16u << 20) && a.State() == 1) << what;
        }
        if (check == "normal") {
            EXPECT_TRUE(a.State() == 1 && a.json.contains("version")) << what;
        }
        EXPECT_EQ(Get(service_->Url(kManifest), service_->Ca()).State(), 1) << "after " << what;
    }
    ASSERT_TRUE(SetFault(*service_, {{"kind", "echo-fail"}, {"count", "1"}}));
    EXPECT_EQ(Get(service_->EchoUrl("/json"), "").json["status"], "fail");
    EXPECT_EQ(Get(service_->EchoUrl("/json"), "").json["status"], "success");
    Answer bad = PostForm(service_->EchoUrl("/_admin/fault"), "", {{"kind", "explode"}});
    EXPECT_EQ(bad.status, 400);
}

TEST_F(ServiceMisc, HangingAnswerIsReleasedWhenTheFaultIsCleared) {
    ASSERT_TRUE(SetFault(*service_, {{"kind", "hang"}, {"path", kAuth}}));
    Answer hung = PostForm(service_->Url(kAuth), service_->Ca(), {{"cust_id", "A"}, {"pwd", "b"}, {"ipaddr", ""}},
                           1000);
    EXPECT_EQ(hung.curlCode, 0 + CURLE_OPERATION_TIMEDOUT) << hung.body;
    EXPECT_EQ(hung.status, 0);
    // Other paths go on while one hangs.
    EXPECT_EQ(Get(service_->Url(kManifest), service_->Ca(), 5000).State(), 1);
    ASSERT_TRUE(SetFault(*service_, {{"kind", "none"}}));
    EXPECT_EQ(PostForm(service_->Url(kAuth), service_->Ca(), {{"cust_id", "A123456789"}, {"pwd", "Demo1234"},
                                                             {"ipaddr", ""}}).State(), 1);
}

TEST_F(ServiceMisc, CommandLineFaultAndLoopbackOnly) {
    Service second;
    ASSERT_TRUE(second.Start({"--fault", "status:code=503,path=/json"}, service_->Dir()));
    EXPECT_EQ(Get(second.EchoUrl("/json"), "").status, 503);
    EXPECT_EQ(second.Stop(SIGINT), 0) << "SIGINT ends the service cleanly";

    for (const char* address : {"0.0.0.0", "192.168.1.10", "::", "localhost"}) {
        EXPECT_EQ(service_->RunTool({"serve", "--data", service_->Dir(), "--listen", address}), 2) << address;
    }
    EXPECT_EQ(service_->RunTool({"serve", "--data", service_->Dir(), "--fault", "bogus"}), 2);
    EXPECT_NE(service_->RunTool({"seed", service_->Dir()}), 0) << "seeding over an existing data set";
}

// 8 clients, 250 sign-ins each, while two accounts receive 8 racing
// applications each: every sign-in succeeds and each account is applied for
// exactly once.
TEST_F(ServiceMisc, ConcurrentSignInsAndRacingApplications) {
    constexpr int kClients = 8, kCallsEach = 250;
    std::atomic<int> ok{0}, failed{0}, applied{0}, refused{0};
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kClients; ++t) {
        threads.emplace_back([&, t] {
            Client client(service_->Ca());
            for (int i = 0; i < kCallsEach; ++i) {
                Answer a = client.PostForm(service_->Url(kAuth),
                                           {{"cust_id", "A123456789"}, {"pwd", "Demo1234"}, {"ipaddr", "192.0.2.8"}});
                (a.State() == 1 && a.json["applyList"].size() == 9u ? ok : failed)++;
                if (i == 10 * (t + 1)) {
                    bool demo = t % 2 == 0;
                    Answer r = client.PostMultipart(
                        service_->Url("/kovaapp/api/apply.do"),
                        {{"cust_id", demo ? "A123456789" : "B223456789"}, {"branch", demo ? "001" : "0044"},
                         {"account", demo ? "8000789" : "9000001"}, {"ipaddr", "192.0.2.8"},
                         {"pwd", service_->Pfx(demo ? "demo" : "other")["password"]},
                         {"pfxFile", service_->PfxBytes(demo ? "demo" : "other"), true}});
                    (r.State() == 1 ? applied : r.State() == 4 ? refused : failed)++;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ load     ] %d sign-ins from %d clients in %.2f s: %.0f calls/s\n", kClients * kCallsEach,
                kClients, seconds, kClients * kCallsEach / seconds);
    EXPECT_EQ(ok, kClients * kCallsEach);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(applied, 2);
    EXPECT_EQ(refused, kClients - 2);
    std::string out;
    ASSERT_EQ(service_->RunTool({"dump", service_->Dir()}, &out), 0);
    EXPECT_EQ(Json::parse(out)["applications"].size(), 2u);
}

// The admin routes take no credentials, so a service started without --admin
// has none of them, on either port.
TEST_F(ServiceMisc, AdminRoutesExistOnlyWithTheAdminSwitch) {
    Service plain(Service::Admin::Off);
    ASSERT_TRUE(plain.Start({}, service_->Dir()));
    for (const std::string& url : {plain.EchoUrl("/_admin/fault"), plain.Url("/_admin/fault"),
                                   plain.EchoUrl("/_admin/manifest"), plain.Url("/_admin/manifest")}) {
        EXPECT_EQ(Get(url, plain.Ca()).status, 404) << url;
        Answer set = PostForm(url, plain.Ca(), {{"kind", "status"}, {"code", "503"}});
        EXPECT_EQ(set.status, 404) << url;
        EXPECT_EQ(set.json["error"], "not_found") << url;
    }
    EXPECT_EQ(Get(plain.EchoUrl("/json"), "").json["status"], "success") << "a fault was set after all";
    EXPECT_EQ(plain.Stop(), 0);
}

// A machine whose OpenSSL policy still allows TLS 1.0 and 1.1 must not lower
// what the service accepts.
TEST_F(ServiceMisc, HttpsRefusesTlsBelow12WhateverTheSystemPolicy) {
    const std::string conf = service_->Dir() + "/old-tls.cnf";
    ASSERT_TRUE(WriteBytes(conf, "openssl_conf = conf\n[conf]\nssl_conf = ssl\n[ssl]\nsystem_default = tls\n"
                                 "[tls]\nMinProtocol = TLSv1\nCipherString = DEFAULT@SECLEVEL=0\n"));
    const char* before = std::getenv("OPENSSL_CONF");
    const std::string saved = before ? before : "";
    setenv("OPENSSL_CONF", conf.c_str(), 1);
    Service lax;
    bool started = lax.Start({}, service_->Dir());
    if (before) setenv("OPENSSL_CONF", saved.c_str(), 1);
    else unsetenv("OPENSSL_CONF");
    ASSERT_TRUE(started);
    Answer old = GetOverOldTls(lax.Url(kManifest), lax.Ca());
    EXPECT_NE(old.curlCode, 0) << "TLS 1.1 accepted: " << old.body;
    EXPECT_EQ(old.status, 0);
    EXPECT_EQ(Get(lax.Url(kManifest), lax.Ca()).State(), 1);
}

// One request with "Connection: close", read to its end: the service closes
// first, so the connection's TIME_WAIT is on the service's port.
bool FetchAndClose(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    const std::string request = "GET /json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    ok = ok && write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size());
    std::string answer;
    char buf[4096];
    ssize_t n = 0;
    while (ok && (n = read(fd, buf, sizeof buf)) > 0) answer.append(buf, static_cast<size_t>(n));
    if (fd >= 0) close(fd);
    return ok && answer.rfind("HTTP/1.1 200", 0) == 0;
}

// The ports are bound with address reuse, not port sharing: a restart binds
// over the last run's closed connections, and a second service on ports one
// already listens on is refused instead of receiving a share of its clients.
TEST_F(ServiceMisc, RestartReusesThePortsButASecondServiceIsRefused) {
    Service first;
    ASSERT_TRUE(first.Start({}, service_->Dir()));
    const std::string https = std::to_string(first.HttpsPort()), http = std::to_string(first.HttpPort());
    ASSERT_TRUE(FetchAndClose(first.HttpPort()));
    EXPECT_EQ(first.Stop(), 0);

    Service again;
    ASSERT_TRUE(again.Start({"--https-port", https, "--http-port", http}, service_->Dir()))
        << ReadFile(service_->Dir() + "/service.log");
    EXPECT_EQ(Get(again.EchoUrl("/json"), "").json["status"], "success");

    Service second;
    EXPECT_FALSE(second.Start({"--https-port", https, "--http-port", http}, service_->Dir()));
    EXPECT_NE(ReadFile(service_->Dir() + "/service.log").find("cannot listen"), std::string::npos);
}

} // namespace
} // namespace svctest
