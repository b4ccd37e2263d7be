// The connection's bookkeeping and the exchange steps that need no network:
// registration, cancelling, releasing, completion on workers, reference
// counts, the URL split, headers, the answer cap, the answer's hand-over and
// running out of memory.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "net/exchangesteps.h"
#include "net/httpconnection.h"
#include "largealloc.h"
#include "platform/platform.h"
#include "scheduler.h"
#include "wait.h"

namespace {

struct Counts {
    int32_t requests = HTTPRequest::LiveCount();
    int32_t tasks = HTTPRequestTask::LiveCount();
};

void ExpectNoLeak(const Counts& before) {
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        return HTTPRequest::LiveCount() == before.requests && HTTPRequestTask::LiveCount() == before.tasks;
    }));
}

} // namespace

TEST(SplitUrl, SchemeHostPortAndObject) {
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        int port;
        bool secure;
        const char* object;
    } cases[] = {
        {"https://api.example:8443/api/x.do?a=1", true, "api.example", 8443, true, "/api/x.do?a=1"},
        {"http://127.0.0.1/json", true, "127.0.0.1", 80, false, "/json"},
        {"https://h/", true, "h", 443, true, "/"},
        {"http://h/p?u=http://x:1/y", true, "h", 80, false, "/p?u=http://x:1/y"},
        {"https://h", false, "", 0, false, ""},            // no path: no connection at all
        {"https://h:8443", false, "", 0, false, ""},
        {"ftp://h/x", false, "", 0, false, ""},
        {"xhttps://h/x", false, "", 0, false, ""},         // the scheme must open the URL
        {"https://h/?next=http://evil/", true, "h", 443, true, "/?next=http://evil/"},  // never downgraded
        {"http:///x", false, "", 0, false, ""},
        {"http://h:/x", false, "", 0, false, ""},
        {"http://h:0/x", false, "", 0, false, ""},
        {"http://h:65536/x", false, "", 0, false, ""},
        {"http://h:4294967376/x", false, "", 0, false, ""},  // would wrap to 80
        {"http://h:+80/x", false, "", 0, false, ""},
    };
    for (const Case& c : cases) {
        net::UrlParts p;
        ASSERT_EQ(net::SplitUrl(c.url, &p), c.ok) << c.url;
        if (!c.ok) continue;
        EXPECT_EQ(p.host, c.host) << c.url;
        EXPECT_EQ(p.port, c.port) << c.url;
        EXPECT_EQ(p.secure, c.secure) << c.url;
        EXPECT_EQ(p.object, c.object) << c.url;
    }
}

TEST(ExchangeSteps, HeadersQueryStringAndCap) {
    HTTPRequest get("http://h/json?x=1", HTTPRequest::kGet);
    get.AddField("a", "b c", false);
    get.SetExtraHeaders("X-One: 1");
    EXPECT_EQ(net::RequestHeaders(get), "Content-Type: application/x-www-form-urlencoded; charset=UTF-8\r\nX-One: 1\r\n");
    net::UrlParts parts;
    ASSERT_TRUE(net::SplitUrl(get.GetUrl(), &parts));
    EXPECT_TRUE(net::SendsAsGet(get));
    EXPECT_EQ(net::ObjectWithQuery(get, parts), "/json?x=1?a=b+c");  // appended as given

    HTTPRequest forced("http://h/x", HTTPRequest::kGet, HTTPRequest::kTextAnswer, HTTPRequest::kAlwaysMultipart);
    EXPECT_FALSE(net::SendsAsGet(forced));
    EXPECT_EQ(net::ObjectWithQuery(forced, parts), "/json?x=1");

    HTTPRequest text("http://h/x", HTTPRequest::kGet);
    net::AnswerBuffer a(text);
    EXPECT_TRUE(a.Admits(static_cast<int64_t>(net::kTextAnswerCap)));
    EXPECT_FALSE(a.Admits(static_cast<int64_t>(net::kTextAnswerCap) + 1));
    std::vector<char> big(net::kTextAnswerCap);
    EXPECT_TRUE(a.Append(big.data(), big.size()));
    EXPECT_FALSE(a.Append("x", 1));
    EXPECT_TRUE(a.overflowed());
    HTTPRequest binary("http://h/x", HTTPRequest::kGet, HTTPRequest::kBinaryAnswer);
    EXPECT_TRUE(net::AnswerBuffer(binary).Admits(static_cast<int64_t>(net::kBinaryAnswerCap)));

    EXPECT_EQ(net::FitHeader(std::string(127, 't')).size(), 127u);
    EXPECT_EQ(net::FitHeader(std::string(128, 't')), "");
}

TEST(Results, EachSetterReplacesThePreviousResult) {
    HTTPRequest r("http://h/x");
    r.SetTextResult("hello");
    EXPECT_EQ(r.GetResultKind(), HTTPRequest::kText);
    EXPECT_EQ(r.GetResultLength(), 5);
    EXPECT_STREQ(r.GetResultData(), "hello");
    const uint8_t px[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    r.SetImageResult(px, 2, 2, 1);
    EXPECT_EQ(r.GetResultKind(), HTTPRequest::kImage);
    EXPECT_EQ(r.GetResultLength(), 12);
    EXPECT_EQ(std::memcmp(r.GetResultData(), px, 12), 0);
    r.SetImageResult(px, 2, 2, 7);  // unknown format: no pixels
    EXPECT_EQ(r.GetResultLength(), 0);
    EXPECT_EQ(r.GetResultData(), nullptr);
    r.SetImageResult(px, 65536, 65536, 2);  // would overflow 32 bits: no pixels
    EXPECT_EQ(r.GetResultLength(), 0);
    r.SetDataResult("a\0b", 3);
    EXPECT_EQ(r.GetResultKind(), HTTPRequest::kData);
    EXPECT_EQ(r.GetResultWidth(), 0);
    EXPECT_EQ(std::memcmp(r.GetResultData(), "a\0b", 3), 0);

    // Text taken over reads as text copied did: up to its first NUL, with one.
    r.TakeTextResult(std::vector<char>{'a', 'b'});
    EXPECT_EQ(r.GetResultKind(), HTTPRequest::kText);
    EXPECT_STREQ(r.GetResultData(), "ab");
    EXPECT_EQ(r.GetResultLength(), 2);
    r.TakeTextResult(std::vector<char>{'a', '\0', 'b'});
    EXPECT_STREQ(r.GetResultData(), "a");
    EXPECT_EQ(r.GetResultLength(), 1);
    r.TakeTextResult(std::vector<char>());
    ASSERT_NE(r.GetResultData(), nullptr);
    EXPECT_STREQ(r.GetResultData(), "");
}

// The answer reaches the request in the buffer it was read into: an update of
// up to the download cap must not be held twice in a 32-bit process.
TEST(Answer, TheRequestKeepsTheExchangesBuffer) {
    const size_t n = 4u << 20;
    const std::string bytes(n, 'u');
    HTTPConnection connection;
    for (bool binary : {true, false}) {
        SCOPED_TRACE(binary ? "data" : "text");
        HTTPRequest r("http://h/x", HTTPRequest::kGet, binary ? HTTPRequest::kBinaryAnswer : HTTPRequest::kTextAnswer);
        net::AnswerBuffer answer(r);
        ASSERT_TRUE(answer.Expect(static_cast<int64_t>(n)));
        ASSERT_TRUE(answer.Append(bytes.data(), n));
        const char* read = answer.data().data();
        testsupport::LargeAllocations watch(n / 2, false);
        ASSERT_TRUE(net::StoreAnswer(connection, r, 200, "text/plain", answer));
        EXPECT_EQ(watch.count(), 0u);  // not even for the text's NUL
        EXPECT_EQ(r.GetResultData(), read);
        EXPECT_EQ(r.GetResultKind(), binary ? HTTPRequest::kData : HTTPRequest::kText);
        ASSERT_EQ(r.GetResultLength(), static_cast<int>(n));
        if (!binary) {
            EXPECT_EQ(r.GetResultData()[n], '\0');
        }
    }
}

// Memory refused at the hand-over (a text filled to its last byte needs room
// for its NUL): the exchange is told, and the request keeps no half result.
// Refusals while reading are exercised by the exchange tests.
TEST(Answer, RefusedMemoryAtTheHandOverFailsInsteadOfThrowing) {
    const size_t n = 4u << 20;
    const std::string bytes(n, 'm');
    HTTPConnection connection;
    HTTPRequest r("http://h/x", HTTPRequest::kGet);
    net::AnswerBuffer full(r);
    ASSERT_TRUE(full.Expect(static_cast<int64_t>(n) - 1));
    ASSERT_TRUE(full.Append(bytes.data(), n));
    ASSERT_EQ(full.data().capacity(), n);
    testsupport::LargeAllocations refuse(1u << 20, true);
    EXPECT_FALSE(net::StoreAnswer(connection, r, 200, "text/plain", full));
    EXPECT_EQ(r.GetResultKind(), HTTPRequest::kNone);
    EXPECT_EQ(refuse.count(), 1u);
}

TEST(Connection, RegistrationRefusesASecondSendAndMapsTheUrlOnce) {
    Counts before;
    {
        ref_counted_ptr<HTTPConnection> c(new HTTPConnection);
        c->Release();  // the pointer holds the only reference
        c->AddURLMapping("old.example", "new.example");
        c->AddURLMapping("new.example", "third.example");
        HTTPRequest* r = new HTTPRequest("https://old.example/a/old.example");
        ASSERT_TRUE(c->Send(r));
        EXPECT_EQ(r->GetState(), HTTPRequest::kPending);
        EXPECT_EQ(r->GetUrl(), "https://new.example/a/old.example");
        EXPECT_FALSE(c->Send(r));
        EXPECT_EQ(c->PendingCount(), 1u);
        EXPECT_EQ(r->RefCount(), 2);  // the creator's and the list's
    }  // the connection's destructor releases the pending request
    ExpectNoLeak(before);
}

TEST(Connection, CancelCompletesOnceAndALateCompletionIsIgnored) {
    Counts before;
    HTTPConnection c;
    HTTPRequest* r = new HTTPRequest("https://h/x");
    int calls = 0;
    r->SetCallback([&](HTTPRequest* req) {
        ++calls;
        EXPECT_EQ(req->GetState(), HTTPRequest::kCancelled);
    });
    HTTPRequestPtr keep(r);  // observe it after the connection lets go
    ASSERT_TRUE(c.Send(r));
    EXPECT_TRUE(c.Cancel(r));
    EXPECT_FALSE(c.Cancel(r));
    c.OnComplete(r, HTTPRequest::kDone, 200);  // the exchange finishing afterwards
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(r->GetState(), HTTPRequest::kCancelled);
    EXPECT_EQ(r->GetStatusCode(), 0);
    EXPECT_EQ(c.PendingCount(), 0u);
    EXPECT_EQ(r->RefCount(), 1);
    keep.reset();
    ExpectNoLeak(before);
}

TEST(Connection, WithoutSchedulerTheExchangeRunsOnTheCallingThread) {
    ASSERT_EQ(TaskScheduler::Current(), nullptr);
    Counts before;
    HTTPConnectionImp* c = new HTTPConnectionImp;
    HTTPRequest* r = new HTTPRequest("https://127.0.0.1");  // no path
    uint32_t thread = 0;
    int state = -1, status = -1;
    r->SetCallback([&](HTTPRequest* req) {
        thread = platform::CurrentThreadId();
        state = req->GetState();
        status = req->GetStatusCode();
    });
    EXPECT_TRUE(c->Send(r));
    EXPECT_EQ(thread, platform::CurrentThreadId());
    EXPECT_EQ(state, HTTPRequest::kFailed);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(c->PendingCount(), 0u);
    c->Release();
    ExpectNoLeak(before);
}

// An exchange that runs out of memory where no buffer checks for it (here:
// building the body) fails with status 0 instead of ending the process.
TEST(Connection, AnExchangeOutOfMemoryFailsInsteadOfEndingTheProcess) {
    ASSERT_EQ(TaskScheduler::Current(), nullptr);
    Counts before;
    HTTPConnectionImp* c = new HTTPConnectionImp;
    HTTPRequest* r = new HTTPRequest("http://127.0.0.1:9/x");
    r->AddField("text", std::string(2u << 20, 'b'), false);
    int state = -1, status = -1;
    r->SetCallback([&](HTTPRequest* req) {
        state = req->GetState();
        status = req->GetStatusCode();
    });
    {
        testsupport::LargeAllocations refuse(1u << 20, true);
        EXPECT_TRUE(c->Send(r));
        EXPECT_GT(refuse.count(), 0u);
    }
    EXPECT_EQ(state, HTTPRequest::kFailed);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(c->PendingCount(), 0u);
    c->Release();
    ExpectNoLeak(before);
}

TEST(Connection, ManyExchangesOnWorkersAllCompleteAndFreeEverything) {
    Counts before;
    testsupport::CurrentScheduler scheduler;
    ASSERT_TRUE(scheduler.Start());
    HTTPConnectionImp* c = new HTTPConnectionImp;
    std::atomic<int> done{0};
    std::atomic<int> onMain{0};
    const uint32_t main = platform::CurrentThreadId();
    const int kCount = 60;
    for (int i = 0; i < kCount; ++i) {
        HTTPRequest* r = new HTTPRequest(i % 2 ? "ftp://h/x" : "http://h");
        r->AddField("i", std::to_string(i), false);
        r->SetCallback([&](HTTPRequest* req) {
            if (platform::CurrentThreadId() == main) onMain++;
            if (req->GetState() == HTTPRequest::kFailed && req->GetStatusCode() == 0) done++;
        });
        ASSERT_TRUE(c->Send(r));
    }
    EXPECT_TRUE(testsupport::WaitUntil([&] { return done.load() == kCount; }));
    EXPECT_EQ(onMain.load(), 0);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return c->PendingCount() == 0; }));
    scheduler.Stop();
    c->Release();
    ExpectNoLeak(before);
}

// A refused send leaves the request as it was and the caller's reference
// with the caller: it releases it once, and ReleaseAll never sees it.
TEST(Connection, RefusedSendIsNotPendingAndStaysTheCallers) {
    Counts before;
    TaskScheduler stopped;  // never started: refuses every task
    TaskScheduler::SetCurrent(&stopped);
    HTTPConnectionImp* c = new HTTPConnectionImp;
    HTTPRequest* r = new HTTPRequest("https://h/x");
    EXPECT_FALSE(c->Send(r));
    EXPECT_FALSE(c->IsPending(r));
    EXPECT_EQ(r->GetState(), HTTPRequest::kCreated);
    EXPECT_EQ(r->RefCount(), 1);
    EXPECT_EQ(HTTPRequestTask::LiveCount(), before.tasks);  // the refused task is gone
    r->Release();
    c->ReleaseAll();
    TaskScheduler::SetCurrent(nullptr);
    c->Release();
    ExpectNoLeak(before);
}

// A completed request cannot be sent again: its exchange would never run and
// it would stay pending for good.
TEST(Connection, CompletedRequestSentAgainIsRefused) {
    HTTPConnection c;
    HTTPRequestPtr r(new HTTPRequest("https://h/x"));  // plus the creator's
    ASSERT_TRUE(c.Send(r.get()));
    c.OnComplete(r.get(), HTTPRequest::kDone, 200);
    EXPECT_FALSE(c.Send(r.get()));
    EXPECT_EQ(c.PendingCount(), 0u);
    EXPECT_EQ(r->GetState(), HTTPRequest::kDone);
    EXPECT_EQ(r->RefCount(), 1);
}

// Cancel completes the request itself and may drop its last references
// there: the request must outlive the whole call, as it does for a worker.
TEST(Connection, CancelHoldsTheRequestWhileItWorks) {
    struct Recheck : HTTPConnection {
        void OnComplete(HTTPRequest* request, int state, int statusCode) override {
            HTTPConnection::OnComplete(request, state, statusCode);
            liveAfter = HTTPRequest::LiveCount();
        }
        int32_t liveAfter = -1;
    };
    Counts before;
    Recheck c;
    HTTPRequest* r = new HTTPRequest("https://h/x");
    ASSERT_TRUE(c.Send(r));  // the only reference now is the connection's
    EXPECT_TRUE(c.Cancel(r));
    EXPECT_EQ(c.liveAfter, before.requests + 1);
    ExpectNoLeak(before);
}
