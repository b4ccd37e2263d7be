// The exchange against a real loopback HTTP/HTTPS server (net_testserver,
// started by net_exchange.sh): natively over libcurl, under Wine over
// WinInet. The server records what it received, as its multipart parser saw
// it, in KOVA_NET_RECORDS/<tag>.rec.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "env.h"
#include "files/filesystem.h"
#include "largealloc.h"
#include "net/exchange.h"
#include "net/httpconnection.h"
#include "platform/platform.h"
#include "scheduler.h"
#include "wait.h"
#ifndef _WIN32
#include "net/exchange_curl.h"
#endif

namespace {

IFileSystem& fs() { return IFileSystem::Instance(); }

using testsupport::Env;

std::string ReadAll(const std::string& path) {
    File f = fs().Open(path, "rb");
    std::string out;
    char buf[8192];
    size_t n;
    while (f.IsOpen() && (n = fs().Read(f, buf, sizeof buf)) > 0) out.append(buf, n);
    return out;
}

bool Exists(const std::string& path) { return fs().Open(path, "rb").IsOpen(); }

struct Part {
    std::string name, filename, type, content;
};

struct Received {
    bool found = false;
    std::string method, target, body;
    std::vector<std::string> headers;
    std::vector<Part> parts;

    int Count(const std::string& name) const {
        int n = 0;
        for (const std::string& h : headers)
            if (h.compare(0, name.size() + 2, name + ": ") == 0) ++n;
        return n;
    }
    std::string Header(const std::string& name) const {
        for (const std::string& h : headers)
            if (h.compare(0, name.size() + 2, name + ": ") == 0) return h.substr(name.size() + 2);
        return "";
    }
};

Received ReadRecord(const std::string& tag) {
    Received r;
    const std::string text = ReadAll(Env("KOVA_NET_RECORDS") + "/" + tag + ".rec");
    size_t at = 0;
    while (at < text.size()) {
        const size_t space = text.find(' ', at), nl = text.find('\n', at);
        if (space == std::string::npos || nl == std::string::npos) break;
        const std::string key = text.substr(at, space - at);
        const size_t len = std::strtoul(text.c_str() + space + 1, nullptr, 10);
        const std::string value = text.substr(nl + 1, len);
        at = nl + 1 + len + 1;
        r.found = true;
        if (key == "method") r.method = value;
        else if (key == "target") r.target = value;
        else if (key == "header") r.headers.push_back(value);
        else if (key == "body") r.body = value;
        else if (key == "part") r.parts.push_back(Part{value, "", "", ""});
        else if (key == "part-filename" && !r.parts.empty()) r.parts.back().filename = value;
        else if (key == "part-type" && !r.parts.empty()) r.parts.back().type = value;
        else if (key == "part-content" && !r.parts.empty()) r.parts.back().content = value;
    }
    return r;
}

const Part* FindPart(const Received& r, const std::string& name) {
    for (const Part& p : r.parts)
        if (p.name == name) return &p;
    return nullptr;
}

// What a completed request carried, copied before it is released.
struct Outcome {
    int state = -1, status = -1, kind = -1;
    std::string data;
    std::string spoolPath;
    int64_t uploaded = 0, uploadTotal = 0;
};

class Exchange : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#ifndef _WIN32
        net::SetTrustAnchorsFile(Env("KOVA_NET_CA"));
#endif
        HTTPRequest::SetSpoolFolder(Env("KOVA_NET_SPOOL"));
    }

    void SetUp() override {
        ASSERT_FALSE(Env("KOVA_NET_RECORDS").empty()) << "run through net_exchange.sh";
        requests = HTTPRequest::LiveCount();
        tasks = HTTPRequestTask::LiveCount();
        ASSERT_TRUE(scheduler.Start());
        connection = new HTTPConnectionImp;
    }

    void TearDown() override {
        scheduler.Stop();
        connection->Release();
        // Every request and task is gone once its exchange has completed.
        EXPECT_EQ(HTTPRequest::LiveCount(), requests);
        EXPECT_EQ(HTTPRequestTask::LiveCount(), tasks);
    }

    static std::string Http(const std::string& path) { return "http://127.0.0.1:" + Env("KOVA_NET_HTTP_PORT") + path; }
    static std::string Raw(const std::string& path) { return "http://127.0.0.1:" + Env("KOVA_NET_RAW_PORT") + path; }
    static std::string Https(const std::string& path) {
        return "https://localhost:" + Env("KOVA_NET_HTTPS_PORT") + path;
    }

    // Sends the request (the connection takes the creator's reference) and
    // waits for its completion callback.
    Outcome Run(HTTPRequest* r) {
        Outcome out;
        std::atomic<bool> done{false};
        r->SetUploadProgress([&](HTTPRequest*, int64_t sent, int64_t total) {
            out.uploaded = sent;
            out.uploadTotal = total;
        });
        r->SetCallback([&](HTTPRequest* req) {
            out.state = req->GetState();
            out.status = req->GetStatusCode();
            out.kind = req->GetResultKind();
            if (req->GetResultData()) out.data.assign(req->GetResultData(), req->GetResultLength());
            out.spoolPath = req->GetSpoolPath();
            done = true;
        });
        EXPECT_TRUE(connection->Send(r));
        EXPECT_TRUE(testsupport::WaitUntil([&] { return done.load(); }, 120000));
        EXPECT_TRUE(testsupport::WaitUntil([&] { return connection->PendingCount() == 0; }));
        return out;
    }

    testsupport::CurrentScheduler scheduler;
    HTTPConnectionImp* connection = nullptr;
    int32_t requests = 0, tasks = 0;
};

// The boundary a recorded request's Content-Type names (fresh for each body).
std::string BoundaryOf(const Received& r) {
    const std::string type = r.Header("Content-Type");
    const size_t at = type.find("; boundary=");
    return at == std::string::npos ? std::string() : type.substr(at + 11);
}

} // namespace

// ---- what goes on the wire ---------------------------------------------------

TEST_F(Exchange, PostUrlEncodedWithTheProgramsHeadersAndTimingLine) {
    HTTPRequest* r = new HTTPRequest(Http("/r/urlenc"));
    r->AddField("text", "a b&c", false);
    r->AddField("ipaddr", "1.2.3.4", false);
    const std::string url = r->GetUrl();
    ::testing::internal::CaptureStdout();
    Outcome o = Run(r);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(o.state, HTTPRequest::kDone);
    EXPECT_EQ(o.status, 200);
    EXPECT_EQ(o.kind, HTTPRequest::kText);  // text/plain
    EXPECT_EQ(o.data, "ok urlenc");
    EXPECT_TRUE(std::regex_search(out, std::regex("\\[\\d\\d:\\d\\d:\\d\\d\\] url=" +
                                                  std::regex_replace(url, std::regex("[.?]"), "\\$&") +
                                                  " elasped=\\d+ms\n")))
        << out;

    Received got = ReadRecord("urlenc");
    ASSERT_TRUE(got.found);
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.target, "/r/urlenc");
    EXPECT_EQ(got.body, "text=a+b%26c&ipaddr=1.2.3.4");
    EXPECT_EQ(got.Header("Content-Type"), "application/x-www-form-urlencoded; charset=UTF-8");
    EXPECT_EQ(got.Header("User-Agent"), "Mozilla/4.0 (Compatible; MSIE 6.0;)");
    EXPECT_EQ(got.Header("Accept"), "*/*");
    EXPECT_EQ(got.Count("Content-Length"), 1);
    EXPECT_EQ(got.Count("Expect"), 0);
}

TEST_F(Exchange, MultipartStreamedFromASpoolFileThatIsGoneAfterwards) {
    // Binary content with CR LF and NUL bytes, several 1024-byte blocks long.
    std::string cert;
    for (int i = 0; i < 5000; ++i) cert.push_back(static_cast<char>(i * 7 % 256));
    cert += "\r\n--\r\n";
    const std::string certPath = Env("KOVA_NET_SPOOL") + "/cert.pfx";
    {
        File f = fs().Open(certPath, "wb");
        ASSERT_EQ(fs().Write(f, cert.data(), cert.size()), cert.size());
    }
    // The same body twice: parsed by the server's multipart parser, and raw.
    Outcome o, raw;
    for (const std::string& url : {Https("/r/multipart"), Raw("/raw/multipart_raw")}) {
        HTTPRequest* r = new HTTPRequest(url);
        r->AddField("text", "A123456789", false);
        r->AddField("pwd", "p w\"x", false);
        ASSERT_TRUE(r->AddFile("pfxFile", certPath, false, nullptr));
        (url.find("/raw/") == std::string::npos ? o : raw) = Run(r);
    }
    EXPECT_EQ(o.state, HTTPRequest::kDone);
    EXPECT_EQ(o.status, 200);
    EXPECT_EQ(raw.state, HTTPRequest::kDone);

    Received rawGot = ReadRecord("multipart_raw");
    const std::string B = BoundaryOf(rawGot);
    ASSERT_FALSE(B.empty());
    const std::string expected = "--" + B + "\r\nContent-Disposition: form-data; name=\"text\"\r\n\r\nA123456789\r\n" +
                                 "--" + B + "\r\nContent-Disposition: form-data; name=\"pwd\"\r\n\r\np w\"x\r\n" + "--" +
                                 B + "\r\nContent-Disposition: form-data; name=\"pfxFile\"; filename=\"cert.pfx\"\r\n" +
                                 "Content-Type: application/octet-stream\r\n\r\n" + cert + "\r\n--" + B + "--\r\n";
    EXPECT_EQ(rawGot.body, expected);
    Received got = ReadRecord("multipart");
    ASSERT_TRUE(got.found);
    EXPECT_EQ(got.Header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);
    EXPECT_EQ(BoundaryOf(got).size(), B.size());
    EXPECT_NE(BoundaryOf(got), B);  // each body its own
    EXPECT_EQ(got.Count("Content-Length"), 1);
    EXPECT_EQ(got.Header("Content-Length"), std::to_string(expected.size()));
    ASSERT_EQ(got.parts.size(), 3u);
    ASSERT_NE(FindPart(got, "text"), nullptr);
    EXPECT_EQ(FindPart(got, "text")->content, "A123456789");
    EXPECT_EQ(FindPart(got, "pwd")->content, "p w\"x");
    const Part* file = FindPart(got, "pfxFile");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->filename, "cert.pfx");
    EXPECT_EQ(file->type, "application/octet-stream");
    EXPECT_EQ(file->content, cert);

    EXPECT_EQ(o.uploaded, static_cast<int64_t>(expected.size()));
    EXPECT_EQ(o.uploadTotal, static_cast<int64_t>(expected.size()));
    ASSERT_EQ(o.spoolPath.compare(0, Env("KOVA_NET_SPOOL").size() + 1, Env("KOVA_NET_SPOOL") + "/"), 0);
    EXPECT_FALSE(Exists(o.spoolPath));
    EXPECT_FALSE(Exists(o.spoolPath.substr(o.spoolPath.rfind('/') + 1)));  // not in the current directory
}

TEST_F(Exchange, RelatedModeArrivesByteForByte) {
    const std::string certPath = Env("KOVA_NET_SPOOL") + "/related.bin";
    {
        File f = fs().Open(certPath, "wb");
        ASSERT_EQ(fs().Write(f, "\x00\x01related", 9), 9u);
    }
    HTTPRequest* r = new HTTPRequest(Http("/r/related"));
    r->AddField("cust_id", "A1", false);
    ASSERT_TRUE(r->AddFile("", certPath, false, nullptr));
    Outcome o = Run(r);
    EXPECT_EQ(o.state, HTTPRequest::kDone);
    Received got = ReadRecord("related");
    const std::string B = BoundaryOf(got);
    EXPECT_EQ(got.Header("Content-Type"), "multipart/related; boundary=" + B);
    EXPECT_EQ(got.body, "--" + B + "\r\nContent-Type: application/json; charset=UTF-8\r\n\r\n{\"cust_id\":\"A1\"}\r\n\r\n" +
                            "--" + B + "\r\nContent-Type: application/octet-stream\r\n\r\n" +
                            std::string("\x00\x01related", 9) + "\r\n--" + B + "--\r\n");
}

TEST_F(Exchange, GetCarriesTheFieldsAsQueryStringAndAPortAndQueryInTheUrl) {
    HTTPRequest* get = new HTTPRequest(Http("/r/get"), HTTPRequest::kGet);
    get->AddField("a", "1", false);
    get->AddField("b", "x y", false);
    EXPECT_EQ(Run(get).state, HTTPRequest::kDone);
    Received got = ReadRecord("get");
    EXPECT_EQ(got.method, "GET");
    EXPECT_EQ(got.target, "/r/get?a=1&b=x+y");
    EXPECT_EQ(got.body, "");

    HTTPRequest* query = new HTTPRequest(Https("/r/portquery?a=1"));
    EXPECT_EQ(Run(query).state, HTTPRequest::kDone);
    EXPECT_EQ(ReadRecord("portquery").target, "/r/portquery?a=1");
}

TEST_F(Exchange, InMemoryMultipartCarriesOneContentLength) {
    // Forced multipart: a POST.
    HTTPRequest* r =
        new HTTPRequest(Raw("/raw/forced"), HTTPRequest::kGet, HTTPRequest::kTextAnswer, HTTPRequest::kAlwaysMultipart);
    r->AddField("k", "v", false);
    EXPECT_EQ(Run(r).state, HTTPRequest::kDone);
    Received got = ReadRecord("forced");
    const std::string B = BoundaryOf(got);
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.body, "--" + B + "\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n--" + B + "--\r\n");
    EXPECT_EQ(got.Count("Content-Length"), 1);
    EXPECT_EQ(got.Header("Content-Length"), std::to_string(got.body.size()));
}

// ---- outcomes ----------------------------------------------------------------

TEST_F(Exchange, AnswerKindsAndStatuses) {
    Outcome json = Run(new HTTPRequest(Https("/json/kinds")));
    EXPECT_EQ(json.state, HTTPRequest::kDone);
    EXPECT_EQ(json.kind, HTTPRequest::kData);  // application/json is not text
    EXPECT_EQ(json.data, "{\"state\":1,\"message\":\"\xC3\xA9\"}");

    Outcome empty = Run(new HTTPRequest(Http("/empty/kinds"), HTTPRequest::kGet));
    EXPECT_EQ(empty.state, HTTPRequest::kDone);
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.kind, HTTPRequest::kNone);

    Outcome binaryText = Run(new HTTPRequest(Http("/r/binarytext"), HTTPRequest::kGet, HTTPRequest::kBinaryAnswer));
    EXPECT_EQ(binaryText.kind, HTTPRequest::kData);  // binary results ignore the type
    EXPECT_EQ(binaryText.data, "ok binarytext");

    Outcome missing = Run(new HTTPRequest(Https("/missing/kinds")));
    EXPECT_EQ(missing.state, HTTPRequest::kFailed);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.kind, HTTPRequest::kNone);
}

TEST_F(Exchange, UrlWithoutPathFailsWithoutTouchingTheNetwork) {
    ::testing::internal::CaptureStdout();
    Outcome o = Run(new HTTPRequest("https://127.0.0.1:" + Env("KOVA_NET_HTTPS_PORT")));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");  // no request was opened
    EXPECT_EQ(o.state, HTTPRequest::kFailed);
    EXPECT_EQ(o.status, 0);
}

TEST_F(Exchange, UntrustedCertificateFailsWithStatusZero) {
    Outcome o = Run(new HTTPRequest("https://localhost:" + Env("KOVA_NET_UNTRUSTED_PORT") + "/r/untrusted"));
    EXPECT_EQ(o.state, HTTPRequest::kFailed);
    EXPECT_EQ(o.status, 0);
    EXPECT_FALSE(ReadRecord("untrusted").found);  // nothing crossed the handshake
}

TEST_F(Exchange, AnswerCutShortIsAFailureNotAShortSuccess) {
    Outcome o = Run(new HTTPRequest(Http("/cut/cut"), HTTPRequest::kGet));
    EXPECT_EQ(o.state, HTTPRequest::kFailed);
    EXPECT_EQ(o.kind, HTTPRequest::kNone);
}

TEST_F(Exchange, AnswersPastTheCapFailWithTheStatusTheyHad) {
    const std::string over = std::to_string(16 * 1024 * 1024 + 1);
    for (const char* mode : {"", "&chunked=1"}) {  // declared length, and none
        Outcome o = Run(new HTTPRequest(Http("/big/cap?n=" + over + mode), HTTPRequest::kGet));
        EXPECT_EQ(o.state, HTTPRequest::kFailed) << mode;
        EXPECT_EQ(o.status, 200) << mode;
        EXPECT_EQ(o.kind, HTTPRequest::kNone) << mode;
    }
    // Binary results (the update download) have the larger cap.
    Outcome binary = Run(new HTTPRequest(Http("/big/cap?type=application/octet-stream&n=" + over), HTTPRequest::kGet,
                                         HTTPRequest::kBinaryAnswer));
    EXPECT_EQ(binary.state, HTTPRequest::kDone);
    EXPECT_EQ(binary.kind, HTTPRequest::kData);
    EXPECT_EQ(binary.data.size(), 16u * 1024 * 1024 + 1);
}

// A download that memory cannot hold fails on its worker like one past the
// cap, whether its length was declared (reserved at once) or not (grown),
// and the process goes on: the same download then arrives whole.
TEST_F(Exchange, DownloadThatMemoryCannotHoldFailsAndTheProcessGoesOn) {
    const size_t n = 8u << 20;
    const std::string url = Http("/big/oom?type=application/octet-stream&n=" + std::to_string(n));
    for (const char* mode : {"", "&chunked=1"}) {
        testsupport::LargeAllocations refuse(2u << 20, true);
        Outcome o = Run(new HTTPRequest(url + mode, HTTPRequest::kGet, HTTPRequest::kBinaryAnswer));
        EXPECT_EQ(o.state, HTTPRequest::kFailed) << mode;
        EXPECT_EQ(o.status, 200) << mode;
        EXPECT_EQ(o.kind, HTTPRequest::kNone) << mode;
        EXPECT_GT(refuse.count(), 0u) << mode;
    }
    Outcome whole = Run(new HTTPRequest(url, HTTPRequest::kGet, HTTPRequest::kBinaryAnswer));
    EXPECT_EQ(whole.state, HTTPRequest::kDone);
    EXPECT_EQ(whole.data.size(), n);
}

TEST_F(Exchange, RedirectsAreFollowedToTheFinalAnswer) {
    Outcome o = Run(new HTTPRequest(Http("/redirect/hop?to=/r/hopped"), HTTPRequest::kGet));
    EXPECT_EQ(o.state, HTTPRequest::kDone);
    EXPECT_EQ(o.data, "ok hopped");
    EXPECT_EQ(ReadRecord("hopped").method, "GET");
}

// The body may carry the certificate and its password: an https exchange
// never continues over plain http. Regression: WinInet followed such a
// redirect by itself.
TEST_F(Exchange, RedirectFromHttpsToHttpIsRefused) {
    for (const char* code : {"302", "307"}) {
        HTTPRequest* r = new HTTPRequest(Https("/redirect/down?code=" + std::string(code) + "&to=" +
                                               Http("/r/downgraded")));
        r->AddField("pwd", "secret", false);
        Outcome o = Run(r);
        EXPECT_EQ(o.state, HTTPRequest::kFailed) << code;
        EXPECT_FALSE(ReadRecord("downgraded").found) << code;
    }
}

// A redirect whose next hop cannot be reached is a failure with the status
// of the last answer that came, never that answer taken for the final one.
TEST_F(Exchange, RedirectToAnUnreachableHopFails) {
    for (const char* code : {"302", "307"}) {
        HTTPRequest* r = new HTTPRequest(Https("/redirect/gone?code=" + std::string(code) +
                                               "&to=https://127.0.0.1:1/r/gone"));
        r->AddField("k", "v", false);
        Outcome o = Run(r);
        EXPECT_EQ(o.state, HTTPRequest::kFailed) << code;
        EXPECT_EQ(o.status, std::stoi(code)) << code;  // the last answer that came, on both builds
        EXPECT_EQ(o.data, "") << code;
    }
}

// Redirects followed by the exchange itself keep curl's rules on both
// builds: 301, 302 and 303 turn a POST into a GET without body, 307 and 308
// send the same POST again (a streamed body from its start), https stays
// https, and ten hops are the most.
TEST_F(Exchange, RedirectsFollowTheMethodRulesAndStopAfterTenHops) {
    for (const char* code : {"303", "307"}) {
        const std::string tag = std::string("after") + code;
        HTTPRequest* r = new HTTPRequest(Https("/redirect/p" + std::string(code) + "?code=" + code + "&to=/r/" + tag));
        r->AddField("k", "v", false);
        Outcome o = Run(r);
        EXPECT_EQ(o.state, HTTPRequest::kDone) << code;
        EXPECT_EQ(o.data, "ok " + tag);
        Received got = ReadRecord(tag);
        EXPECT_EQ(got.method, code[2] == '3' ? "GET" : "POST");
        EXPECT_EQ(got.body, code[2] == '3' ? "" : "k=v");
    }

    const std::string certPath = Env("KOVA_NET_SPOOL") + "/redirected.pfx";
    const std::string cert(3000, 'c');
    {
        File f = fs().Open(certPath, "wb");
        ASSERT_EQ(fs().Write(f, cert.data(), cert.size()), cert.size());
    }
    HTTPRequest* streamed = new HTTPRequest(Https("/redirect/p308?code=308&to=/r/after308"));
    ASSERT_TRUE(streamed->AddFile("pfxFile", certPath, false, nullptr));
    EXPECT_EQ(Run(streamed).state, HTTPRequest::kDone);
    const Received after308 = ReadRecord("after308");
    const Part* file = FindPart(after308, "pfxFile");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->content, cert);

    Outcome ten = Run(new HTTPRequest(Https("/chain/ten?left=10"), HTTPRequest::kGet));
    EXPECT_EQ(ten.state, HTTPRequest::kDone);
    EXPECT_EQ(ten.data, "ok ten");
    Outcome eleven = Run(new HTTPRequest(Https("/chain/eleven?left=11"), HTTPRequest::kGet));
    EXPECT_EQ(eleven.state, HTTPRequest::kFailed);
}

// ---- time limits ---------------------------------------------------------------

// Regression: WinInet's limits apply to each read, so a server that trickled
// its answer held a service call as long as it pleased. Every call has a
// total deadline, the build's unless the request sets one, and fails past it
// with status 0, like an unreachable server.
TEST_F(Exchange, ServiceCallThatTricklesPastItsDeadlineFailsWithStatusZero) {
    HTTPRequest* own = new HTTPRequest(Http("/trickle/own?n=150"), HTTPRequest::kGet);  // 30 s
    own->SetDeadline(1500);
    Outcome o = Run(own);
    EXPECT_EQ(o.state, HTTPRequest::kFailed);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.kind, HTTPRequest::kNone);

    const int n = (KOVA_SERVICE_DEADLINE_MS + 5000) / 200;
    Outcome build = Run(new HTTPRequest(Https("/trickle/build?n=" + std::to_string(n))));
    EXPECT_EQ(build.state, HTTPRequest::kFailed);
    EXPECT_EQ(build.status, 0);
    EXPECT_EQ(build.kind, HTTPRequest::kNone);
}

// The update download cannot meet a fixed deadline on a slow line: a minimum
// rate replaces it. Below that rate the download fails with status 0; above
// it, it may outlast the deadline it had.
TEST_F(Exchange, DownloadIsHeldToAMinimumRateInsteadOfADeadline) {
    const std::string type = "&type=application/octet-stream";
    HTTPRequest* slow =  // 5 B/s
        new HTTPRequest(Https("/trickle/slow?n=150" + type), HTTPRequest::kGet, HTTPRequest::kBinaryAnswer);
    slow->SetMinimumRate(50, 2000);
    Outcome o = Run(slow);
    EXPECT_EQ(o.state, HTTPRequest::kFailed);
    EXPECT_EQ(o.status, 0);

    HTTPRequest* steady =  // 3 s
        new HTTPRequest(Https("/trickle/steady?n=20&ms=150" + type), HTTPRequest::kGet, HTTPRequest::kBinaryAnswer);
    steady->SetDeadline(1000);
    steady->SetMinimumRate(2, 2000);
    Outcome whole = Run(steady);
    EXPECT_EQ(whole.state, HTTPRequest::kDone);
    EXPECT_EQ(whole.data, "abababababababababab");
}

// Deadlines that close some exchanges' handles while others open theirs:
// every quick exchange still gets its own answer.
TEST_F(Exchange, DeadlineOfOneExchangeLeavesTheOthersWhole) {
    std::vector<HTTPRequest*> slow;
    std::atomic<int> slowFailed{0};
    for (int i = 0; i < 2; ++i) {
        HTTPRequest* r = new HTTPRequest(Http("/trickle/late" + std::to_string(i) + "?n=100&ms=50"), HTTPRequest::kGet);
        r->SetDeadline(300 + 200 * i);
        r->SetCallback([&](HTTPRequest* q) {
            if (q->GetState() == HTTPRequest::kFailed && q->GetStatusCode() == 0) slowFailed++;
        });
        ASSERT_TRUE(connection->Send(r));
    }
    for (int i = 0; i < 12; ++i) {
        const std::string tag = "quick" + std::to_string(i);
        Outcome o = Run(new HTTPRequest(Http("/r/" + tag), HTTPRequest::kGet));
        EXPECT_EQ(o.state, HTTPRequest::kDone) << tag;
        EXPECT_EQ(o.data, "ok " + tag);
    }
    EXPECT_TRUE(testsupport::WaitUntil([&] { return connection->PendingCount() == 0; }, 60000));
    EXPECT_EQ(slowFailed.load(), 2);
}

// Cancelling an exchange under way: the worker still owns the request and
// completes it as cancelled, once, when the exchange ends.
TEST_F(Exchange, CancelWhileRunningCompletesOnceAsCancelled) {
    std::atomic<int> calls{0};
    std::atomic<int> state{-1};
    HTTPRequest* r = new HTTPRequest(Http("/stall/cancel"), HTTPRequest::kGet);
    r->SetCallback([&](HTTPRequest* q) {
        state = q->GetState();
        calls++;
    });
    ASSERT_TRUE(connection->Send(r));
    ASSERT_TRUE(testsupport::WaitUntil([] { return ReadRecord("cancel").found; }));
    EXPECT_TRUE(connection->Cancel(r));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return calls.load() > 0; }, 60000));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return connection->PendingCount() == 0; }));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(state.load(), HTTPRequest::kCancelled);
}

// A server that takes the request and then says nothing must not hold a
// worker for good: the exchange gives up after its stall limit.
TEST_F(Exchange, SilentServerFailsTheExchangeInsteadOfHoldingTheWorker) {
    Outcome out = Run(new HTTPRequest(Http("/silent/quiet"), HTTPRequest::kGet));
    EXPECT_EQ(out.state, HTTPRequest::kFailed);
    EXPECT_EQ(out.status, 0);
    EXPECT_TRUE(out.data.empty());
}

// Shut-down: an exchange blocked waiting for its answer ends at once as a
// failure, and exchanges started afterwards fail too.
TEST_F(Exchange, AbortEndsAnExchangeWaitingForItsAnswer) {
    std::atomic<bool> done{false};
    std::atomic<int> state{-1};
    HTTPRequest* r = new HTTPRequest(Http("/stall/abort"), HTTPRequest::kGet);
    r->SetCallback([&](HTTPRequest* q) {
        state = q->GetState();
        done = true;
    });
    ASSERT_TRUE(connection->Send(r));
    ASSERT_TRUE(testsupport::WaitUntil([] { return ReadRecord("abort").found; }));  // the server has it
    net::AbortOpenExchanges();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return done.load(); }, 60000));
    EXPECT_EQ(state.load(), HTTPRequest::kFailed);
    Outcome later = Run(new HTTPRequest(Http("/r/afterabort"), HTTPRequest::kGet));
    EXPECT_EQ(later.state, HTTPRequest::kFailed);
    net::ResetAbortForTests();
}

// Regression: after the abort closed an exchange's request handle its worker
// could still query, read or end the request on that handle value, which a
// new handle may meanwhile have been given. Shut-down while exchanges are
// mid-upload and mid-answer, and more start: every one completes, those
// under way and those begun after the abort as failed, none hangs, and an
// answer that does arrive is its own.
TEST_F(Exchange, AbortMidUploadAndMidAnswerWhileMoreStart) {
    struct Tracked {
        std::string tag;
        std::atomic<int> state{-1};
        std::atomic<int64_t> sent{0};
        std::string data;
    };
    std::vector<std::unique_ptr<Tracked>> all;
    auto start = [&](HTTPRequest* r, const std::string& tag) {
        all.push_back(std::unique_ptr<Tracked>(new Tracked));
        Tracked* t = all.back().get();
        t->tag = tag;
        r->SetUploadProgress([t](HTTPRequest*, int64_t sent, int64_t) { t->sent = sent; });
        r->SetCallback([t](HTTPRequest* q) {
            if (q->GetResultData()) t->data.assign(q->GetResultData(), q->GetResultLength());
            t->state = q->GetState();
        });
        EXPECT_TRUE(connection->Send(r));
        return t;
    };
    const std::string certPath = Env("KOVA_NET_SPOOL") + "/large.pfx";
    {
        const std::string block(1 << 20, 'u');
        File f = fs().Open(certPath, "wb");
        for (int i = 0; i < 24; ++i) ASSERT_EQ(fs().Write(f, block.data(), block.size()), block.size());
    }
    std::vector<Tracked*> underWay;
    for (const char* tag : {"up1", "up2"}) {
        HTTPRequest* r = new HTTPRequest(Raw("/slowraw/" + std::string(tag)));
        ASSERT_TRUE(r->AddFile("pfxFile", certPath, false, nullptr));
        underWay.push_back(start(r, tag));
    }
    underWay.push_back(start(new HTTPRequest(Http("/trickle/answer?n=1000&ms=100"), HTTPRequest::kGet), "answer"));
    for (const char* tag : {"queued1", "queued2"})
        start(new HTTPRequest(Http("/r/" + std::string(tag)), HTTPRequest::kGet), tag);
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return underWay[0]->sent > (1 << 20) && underWay[1]->sent > (1 << 20) && ReadRecord("answer").found;
    }, 60000));

    std::vector<Tracked*> during;
    std::thread more([&] {
        for (int i = 0; i < 8; ++i) {
            const std::string tag = "during" + std::to_string(i);
            HTTPRequest* r = new HTTPRequest(Http("/r/" + tag), HTTPRequest::kGet);
            Tracked* t = new Tracked;
            t->tag = tag;
            r->SetCallback([t](HTTPRequest* q) {
                if (q->GetResultData()) t->data.assign(q->GetResultData(), q->GetResultLength());
                t->state = q->GetState();
            });
            during.push_back(t);
            EXPECT_TRUE(connection->Send(r));
            platform::SleepMs(5);
        }
    });
    platform::SleepMs(10);
    net::AbortOpenExchanges();
    more.join();
    Tracked* after = start(new HTTPRequest(Http("/r/afterall"), HTTPRequest::kGet), "afterall");

    auto finished = [](const Tracked* t) { return t->state.load() >= HTTPRequest::kDone; };
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        for (auto& t : all)
            if (!finished(t.get())) return false;
        for (Tracked* t : during)
            if (!finished(t)) return false;
        return true;
    }, 90000)) << "an exchange did not end after the abort";
    for (Tracked* t : underWay) EXPECT_EQ(t->state.load(), HTTPRequest::kFailed) << t->tag;
    EXPECT_EQ(after->state.load(), HTTPRequest::kFailed);
    EXPECT_FALSE(ReadRecord("up1").found);  // no upload arrived whole
    for (Tracked* t : during) {
        if (t->state.load() == HTTPRequest::kDone) {
            EXPECT_EQ(t->data, "ok " + t->tag);
        }
    }
    EXPECT_TRUE(testsupport::WaitUntil([&] { return connection->PendingCount() == 0; }));
    for (Tracked* t : during) delete t;
    net::ResetAbortForTests();
}

// Regression: the IP echo's answer, over plain HTTP, was read up to the text
// cap of 16 MiB. A request's own answer limit holds over both exchanges,
// with the length declared and without.
TEST_F(Exchange, AnswerPastTheRequestsOwnLimitFails) {
    const size_t limit = 4096;
    for (const char* mode : {"", "&chunked=1"}) {
        HTTPRequest* over =
            new HTTPRequest(Http("/big/limit?n=" + std::to_string(limit + 1) + mode), HTTPRequest::kGet);
        over->SetAnswerLimit(limit);
        Outcome o = Run(over);
        EXPECT_EQ(o.state, HTTPRequest::kFailed) << mode;
        EXPECT_EQ(o.kind, HTTPRequest::kNone) << mode;

        HTTPRequest* at = new HTTPRequest(Http("/big/limit?n=" + std::to_string(limit) + mode), HTTPRequest::kGet);
        at->SetAnswerLimit(limit);
        Outcome fits = Run(at);
        EXPECT_EQ(fits.state, HTTPRequest::kDone) << mode;
        EXPECT_EQ(fits.data, std::string(limit, 'x')) << mode;
    }
}
