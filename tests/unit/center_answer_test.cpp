// KovaCenter's requests as built and its answers as read, with the exchange
// replaced by a connection that completes requests by hand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "center/kovacenter.h"
#include "text/encoding.h"
#include "text/uitext.h"
#include "net/httpconnection.h"
#include "platform/notify.h"
#include "wait.h"

namespace {

// Keeps the last request sent; the test answers it.
class HandConnection : public HTTPConnection {
public:
    bool Send(HTTPRequest* request) override {
        if (!HTTPConnection::Send(request)) return false;
        last = request;
        return true;
    }
    void Answer(const std::string& body, int status = 200) {
        OnText(last, body.c_str());
        OnComplete(last, status == 200 ? HTTPRequest::kDone : HTTPRequest::kFailed, status);
    }
    HTTPRequest* last = nullptr;
};

platform::WindowHandle const kWindow = reinterpret_cast<platform::WindowHandle>(0x77);

class CenterAnswer : public ::testing::Test {
protected:
    void SetUp() override { platform::ClearNotify(); }
    void TearDown() override { EXPECT_EQ(platform::PendingNotifyCount(kWindow), 0); }
    int Taken(unsigned message) {
        platform::Notification n;
        if (!platform::WaitNotify(kWindow, n, 0)) return -999;
        EXPECT_EQ(n.message, message);
        center.TakeAnswer(n.message);  // as the window does when the message arrives
        return static_cast<int>(n.wParam);
    }
    static std::vector<std::string> Names(const HTTPRequest* r) {
        std::vector<std::string> names;
        for (size_t i = 0; i < r->GetFields().size(); i += 2) names.push_back(r->GetFields()[i]);
        return names;
    }
    HandConnection* connection = new HandConnection;
    KovaCenter center{connection};
    ~CenterAnswer() override { connection->Release(); }
};

TEST_F(CenterAnswer, StateReading) {
    const struct {
        const char* body;
        int code;
    } cases[] = {
        {R"({"state":"1"})", 1},         {R"({"state":1})", 1},
        {R"({"state":" 1"})", 1},        {R"({"state":"1 ok"})", 1},
        {R"({"state":2,"message":"m"})", 2}, {R"({"state":-7})", -7},
        {R"({"message":"m"})", kStateUnreadable}, {R"({"state":"ok"})", kStateUnreadable},
        {R"({"state":""})", kStateUnreadable}, {"<html>1</html>", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        ASSERT_TRUE(center.UserAuth("A1", "p", kWindow));
        EXPECT_EQ(center.loginState, 1);
        connection->Answer(c.body);
        EXPECT_EQ(Taken(kMsgUserAuth), c.code);
        EXPECT_EQ(center.loginState, c.code == 1 ? 2 : 3);
    }
}

TEST_F(CenterAnswer, UserAuthRequestAndLists) {
    center.SetIPAddress("192.0.2.9");
    ASSERT_TRUE(center.UserAuth("A123456789", "p&w=d", kWindow));
    HTTPRequest* r = connection->last;
    EXPECT_EQ(r->GetUrl(), std::string(ServiceOrigin()) + "/kovaapp/api/userAuth.do");
    EXPECT_FALSE(r->GetUseGet());
    EXPECT_EQ(Names(r), (std::vector<std::string>{"cust_id", "pwd", "ipaddr"}));
    EXPECT_EQ(r->GetFields()[5], "192.0.2.9");
    connection->Answer(R"({"state":1,"name":"N","id":"X","applyList":[{"BranchNo":"0012","Account":"1"},)"
                       R"({"BranchNo":"0025","Account":"2"}],"branchList":{"branch_no":"0012"}})");
    EXPECT_EQ(Taken(kMsgUserAuth), 1);
    // The id and password kept are the ones sent, not the answer's "id".
    EXPECT_EQ(center.custId, "A123456789");
    EXPECT_EQ(center.password, "p&w=d");
    EXPECT_EQ(center.custName, "N");
    ASSERT_EQ(center.applyList.size(), 2u);
    EXPECT_EQ(center.applyList[1].BranchNo, "0025");
    ASSERT_EQ(center.branchList.size(), 1u);

    // A failure keeps the lists; a success without them empties them.
    ASSERT_TRUE(center.Relogin(kWindow));
    connection->Answer(R"({"state":9,"message":"no"})");
    EXPECT_EQ(Taken(kMsgUserAuth), 9);
    EXPECT_EQ(center.message, "no");
    EXPECT_EQ(center.applyList.size(), 2u);
    ASSERT_TRUE(center.Relogin(kWindow));
    connection->Answer(R"({"state":1})");
    EXPECT_EQ(Taken(kMsgUserAuth), 1);
    EXPECT_TRUE(center.applyList.empty() && center.branchList.empty());
    EXPECT_EQ(center.message, "no");  // a success keeps the previous text
}

TEST_F(CenterAnswer, SignTextAndApplyRequests) {
    const std::string pfx = ::testing::TempDir() + "center_answer." + std::to_string(::getpid()) + ".pfx";
    std::FILE* f = std::fopen(pfx.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("pfx", f);
    std::fclose(f);

    const std::string text = UiText("王小明");
    ASSERT_TRUE(center.SignText(text, "cp", pfx, kWindow));
    HTTPRequest* r = connection->last;
    EXPECT_EQ(Names(r), (std::vector<std::string>{"text", "pwd"}));
    EXPECT_EQ(r->GetFields()[1], "王小明");  // UTF-8 on the wire
    ASSERT_EQ(r->GetFiles().size(), 1u);
    EXPECT_EQ(r->GetFiles()[0].name, "pfxFile");
    connection->Answer(R"({"state":1,"subject_cn":"A1","serial":"0F","message":"ok"})");
    EXPECT_EQ(Taken(kMsgSignText), 1);
    EXPECT_EQ(center.GetSignResult().subject_cn, "A1");
    ASSERT_TRUE(center.SignText(text, "cp", pfx, kWindow));
    connection->Answer(R"({"state":3,"subject_cn":"B2","message":"bad"})");
    EXPECT_EQ(Taken(kMsgSignText), 3);
    EXPECT_EQ(center.GetSignResult().subject_cn, "A1");  // only a success reads the result
    EXPECT_EQ(center.message, "bad");

    center.loginState = 2;
    center.applyList.resize(2);
    center.applyList[1].CustID = "A1";
    center.applyList[1].BranchNo = "0012";
    center.applyList[1].Account = "77";
    ASSERT_TRUE(center.Apply(center.applyList[1], "cp", pfx, kWindow));
    r = connection->last;
    EXPECT_EQ(Names(r), (std::vector<std::string>{"cust_id", "branch", "account", "ipaddr", "pwd"}));
    connection->Answer(R"({"state":1,"message":"done","data":{"APIStus":"S"}})");
    EXPECT_EQ(Taken(kMsgApply), 1);
    EXPECT_EQ(center.applyList[1].APIStus, "S");
    EXPECT_EQ(center.applyList[1].Account, "77");
    EXPECT_TRUE(center.applyList[0].APIStus.empty());

    // No matching record: nothing changes, still success.
    KovaCenter::ApiApply stray = center.applyList[1];
    stray.Account = "88";
    ASSERT_TRUE(center.Apply(stray, "cp", pfx, kWindow));
    connection->Answer(R"({"state":1,"message":"done","data":{"APIStus":"Y"}})");
    EXPECT_EQ(Taken(kMsgApply), 1);
    EXPECT_EQ(center.applyList[1].APIStus, "S");
    std::remove(pfx.c_str());
}

// A signed-in center with two accounts and a certificate file to apply with.
class CenterSignedIn : public CenterAnswer {
protected:
    void SetUp() override {
        CenterAnswer::SetUp();
        std::FILE* f = std::fopen(pfx.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("pfx", f);
        std::fclose(f);
        ASSERT_TRUE(center.UserAuth("A1", "p", kWindow));
        connection->Answer(kTwoAccounts);
        ASSERT_EQ(Taken(kMsgUserAuth), 1);
        ASSERT_EQ(center.applyList.size(), 2u);
    }
    void TearDown() override {
        std::remove(pfx.c_str());
        CenterAnswer::TearDown();
    }
    static constexpr const char* kTwoAccounts =
        R"({"state":1,"applyList":[{"CustID":"A1","BranchNo":"0012","Account":"1","APIStus":"N"},)"
        R"({"CustID":"A1","BranchNo":"0025","Account":"2","APIStus":"N"}]})";
    const std::string pfx = ::testing::TempDir() + "center_signed_in." + std::to_string(::getpid()) + ".pfx";
};

// A reload that fails in any way (no answer, a refusal such as a password
// changed meanwhile, an unreadable one) leaves the sign-in and the list as
// they were: the list can still apply.
TEST_F(CenterSignedIn, FailedReloadKeepsTheSignIn) {
    const struct {
        const char* body;
        int status;
        int code;
    } failures[] = {{"", 503, 503}, {R"({"state":2,"message":"changed"})", 200, 2}, {"<html>", 200, -1}};
    for (const auto& f : failures) {
        SCOPED_TRACE(f.code);
        ASSERT_TRUE(center.Relogin(kWindow));
        EXPECT_EQ(center.loginState, 2);
        connection->Answer(f.body, f.status);
        EXPECT_EQ(Taken(kMsgUserAuth), f.code);
        EXPECT_EQ(center.loginState, 2);
        ASSERT_EQ(center.applyList.size(), 2u);
        EXPECT_EQ(center.custId, "A1");
        EXPECT_TRUE(center.Apply(center.applyList[1], "cp", pfx, kWindow));
        connection->Answer(R"({"state":1,"data":{"APIStus":"S"}})");
        EXPECT_EQ(Taken(kMsgApply), 1);
    }
    EXPECT_EQ(center.applyList[1].APIStus, "S");
    // A failed first sign-in still reads as failed.
    ASSERT_TRUE(center.UserAuth("A1", "p", kWindow));
    connection->Answer(R"({"state":2,"message":"no"})");
    EXPECT_EQ(Taken(kMsgUserAuth), 2);
    EXPECT_EQ(center.loginState, 3);
}

// A submission that cannot start says why.
TEST_F(CenterSignedIn, RefusedApplicationSaysWhy) {
    EXPECT_FALSE(center.Apply(center.applyList[0], "cp", pfx + ".missing", kWindow));
    EXPECT_EQ(center.message, UiText("憑證路徑有誤"));
    center.loginState = 3;
    EXPECT_FALSE(center.Apply(center.applyList[0], "cp", pfx, kWindow));
    EXPECT_EQ(center.message, UiText("請重新登入"));
}

// Completions run on workers while the GUI thread paints the records at any
// moment: an apply answer arriving after its dialog closed, and a reload
// refilling the list while the dialog holds its account. The records change
// only when the GUI thread takes the answer in, so ThreadSanitizer sees no
// race, and the dialog's account stays readable throughout.
TEST_F(CenterSignedIn, RecordsReachTheGuiThreadWhole) {
    auto paintWhile = [&](const std::string& body) {
        HTTPRequest* request = connection->last;
        std::atomic<bool> finished{false};
        std::thread worker([&] {
            connection->OnText(request, body.c_str());
            connection->OnComplete(request, HTTPRequest::kDone, 200);
            finished = true;
        });
        size_t painted = 0;
        do {
            for (const KovaCenter::ApiApply& record : center.applyList) painted += record.APIStus.size();
        } while (!finished);
        worker.join();
        return painted > 0;
    };
    const KovaCenter::ApiApply account = center.applyList[1];
    ASSERT_TRUE(center.Apply(account, "cp", pfx, kWindow));
    EXPECT_TRUE(paintWhile(R"({"state":1,"data":{"APIStus":"S","CertiSeno":"0F0F0F0F0F0F0F0F0F0F0F0F"}})"));
    EXPECT_EQ(center.applyList[1].APIStus, "N");  // not yet taken in
    EXPECT_EQ(Taken(kMsgApply), 1);
    EXPECT_EQ(center.applyList[1].APIStus, "S");

    ASSERT_TRUE(center.Relogin(kWindow));
    EXPECT_TRUE(paintWhile(R"({"state":1,"applyList":[{"BranchNo":"0031","Account":"3","APIStus":"Y"},)"
                           R"({"BranchNo":"0025","Account":"2","APIStus":"S"},{"BranchNo":"0012","Account":"1"}]})"));
    EXPECT_EQ(center.applyList.size(), 2u);
    EXPECT_EQ(Taken(kMsgUserAuth), 1);
    ASSERT_EQ(center.applyList.size(), 3u);
    EXPECT_EQ(account.Account, "2");
    // The account is found again by branch and number in the new list.
    ASSERT_TRUE(center.Apply(account, "cp", pfx, kWindow));
    connection->Answer(R"({"state":1,"data":{"APIStus":"Y"}})");
    EXPECT_EQ(Taken(kMsgApply), 1);
    EXPECT_EQ(center.applyList[1].APIStus, "Y");
    EXPECT_EQ(center.applyList[0].APIStus, "Y");
    EXPECT_TRUE(center.applyList[2].APIStus.empty());
}

// The version check's messages reach the window that asked for it, whatever
// window a later call names (a reload from the list during the download).
TEST_F(CenterAnswer, UpdateMessagesKeepTheirWindow) {
    const platform::WindowHandle list = reinterpret_cast<platform::WindowHandle>(0x78);
    ASSERT_TRUE(center.CheckVersion(kWindow));
    HTTPRequest* manifest = connection->last;
    ASSERT_TRUE(center.UserAuth("A1", "p", list));
    connection->Answer(R"({"state":1})");
    platform::Notification n;
    ASSERT_TRUE(platform::WaitNotify(list, n, 0));
    EXPECT_EQ(n.message, kMsgUserAuth);
    connection->last = manifest;
    connection->Answer(R"({"version":")" KOVA_NEXT_VERSION R"(","url":"HTTPS://host/kovaapp.exe"})");
    EXPECT_EQ(Taken(kMsgUpdateOffered), 0);
    EXPECT_EQ(platform::PendingNotifyCount(list), 0);
    EXPECT_EQ(center.updateUrl, "HTTPS://host/kovaapp.exe");
}

// Lookups complete on another thread while the GUI thread builds calls that
// send the address: each call sends a whole address, and ThreadSanitizer sees
// no race on it nor on the window the completions post to.
TEST_F(CenterAnswer, IPAddressHandOverHasNoDataRace) {
    const int kLookups = 200;
    std::vector<HTTPRequest*> lookups;
    for (int i = 0; i < kLookups; ++i) {
        center.QueryPublicIP();
        lookups.push_back(connection->last);
    }
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        for (int i = 0; i < kLookups; ++i) {
            // Longer than a short string's buffer, so the copies show to ThreadSanitizer.
            const std::string body = R"({"status":"success","query":"2001:db8::ffff:)" + std::to_string(1000 + i) + "\"}";
            connection->OnText(lookups[i], body.c_str());
            connection->OnComplete(lookups[i], HTTPRequest::kDone, 200);
        }
        finished = true;
    });
    std::string sent;
    do {
        EXPECT_TRUE(center.UserAuth("A1", "p", kWindow));
        connection->last->GetField("ipaddr", sent);
        EXPECT_TRUE(sent.empty() || sent.rfind("2001:db8::ffff:", 0) == 0) << sent;
    } while (!finished);
    worker.join();
    ASSERT_TRUE(center.UserAuth("A1", "p", kWindow));
    connection->last->GetField("ipaddr", sent);
    EXPECT_EQ(sent, "2001:db8::ffff:" + std::to_string(1000 + kLookups - 1));
    platform::ClearNotify();  // the lookups' own messages
}

// Writing the update to disk must not hold the instance guard: the GUI thread
// reaches the center meanwhile, and may even release it (the completion then
// posts nothing). The file is made new, a leftover removed first, so no pipe
// can stand in for it and hold the write: the publisher check, which runs on
// the written file in the same unguarded stretch, holds the completion until
// the GUI thread got through.
std::atomic<bool> g_inCheck{false}, g_guiReached{false};
std::atomic<int64_t> g_sizeAtCheck{-1};
bool HoldUntilTheGuiGotThrough(const std::string& path) {
    struct stat st;
    g_sizeAtCheck = ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
    g_inCheck = true;
    // Longer than the test waits for the GUI thread: held under the guard, it fails.
    return testsupport::WaitUntil([] { return g_guiReached.load(); }, 10000);
}

TEST(CenterDownload, FileIsWrittenWithoutTheInstanceGuard) {
    platform::ClearNotify();
    // Per process: the test runs twice at once (both code pages).
    const std::string target = ::testing::TempDir() + "center_download." + std::to_string(::getpid()) + ".exe";
    const std::string payload(1 << 20, 'k');
    KovaCenter::SetUpdateCheck(&HoldUntilTheGuiGotThrough);
    for (bool release : {false, true}) {
        SCOPED_TRACE(release ? "released during the write" : "kept");
        ::unlink(target.c_str());
        g_inCheck = false;
        g_guiReached = false;
        HandConnection* connection = new HandConnection;
        KovaCenter* center = new KovaCenter(connection);
        center->updateUrl = "https://h/kovaapp.exe";
        ASSERT_TRUE(center->DownloadUpdate(target, kWindow));
        std::thread worker([&] {
            connection->OnData(connection->last, payload.data(), static_cast<int>(payload.size()));
            connection->OnComplete(connection->last, HTTPRequest::kDone, 200);
        });
        ASSERT_TRUE(testsupport::WaitUntil([] { return g_inCheck.load(); }, 10000));
        std::thread gui([&] {
            if (release) delete center;
            else KovaCenter::Instance();
            g_guiReached = true;
        });
        EXPECT_TRUE(testsupport::WaitUntil([] { return g_guiReached.load(); }, 5000));
        gui.join();
        worker.join();
        EXPECT_EQ(g_sizeAtCheck.load(), static_cast<int64_t>(payload.size()));
        EXPECT_EQ(platform::PendingNotifyCount(kWindow), release ? 0 : 1);
        if (!release) {
            EXPECT_EQ(center->GetUpdateFile(), target);
            delete center;
        }
        platform::ClearNotify();
        connection->Release();
    }
    ::unlink(target.c_str());
    KovaCenter::SetUpdateCheck(nullptr);
}

} // namespace

// Regression: the echo comes over plain HTTP and its address went as sent
// into every sign-in and application body: CR LF could add a form part, a
// long or odd value made the service refuse them all. Anything but an
// address literal leaves the address as a refused lookup does.
TEST_F(CenterAnswer, PublicIPEchoIsTrustedOnlyForAnAddress) {
    center.notifyWindow = kWindow;
    const std::string refused[] = {
        "192.0.2.1\\r\\n--boundary\\r\\nContent-Disposition: form-data; name=\\\"ipaddr\\\"\\r\\n\\r\\n10.0.0.1",
        "192.0.2.1\\n",
        std::string(100 * 1024, '1'),
        "192.0.2.1" + std::string(100 * 1024, ' '),
        "localhost", "192.0.2", "192.0.2.1.1", "192.0.2.256", "192.0.2.01", " 192.0.2.1", "192.0.2.1/24",
        "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9", "1::2::3", "12345::", "2001:db8::g", ":1::", "1:", "2001:db8::1%eth0",
        "1:2:3:4:5:6:7:192.0.2.1", "::ffff:192.0.2", "",
    };
    for (const std::string& query : refused) {
        SCOPED_TRACE(query.substr(0, 80));
        center.QueryPublicIP();
        connection->Answer(R"({"status":"success","query":")" + query + "\"}");
        EXPECT_EQ(Taken(kMsgPublicIP), kStateUnreadable);
        EXPECT_EQ(center.GetIPAddress(), "");
    }
    ASSERT_TRUE(center.UserAuth("A1", "p", kWindow));
    std::string sent = "unset";
    EXPECT_TRUE(connection->last->GetField("ipaddr", sent));
    EXPECT_EQ(sent, "");

    for (const char* query : {"192.0.2.1", "0.0.0.0", "255.255.255.255", "2001:db8::1", "2001:DB8:0:0:0:0:0:1", "::1",
                              "fe80::", "::", "1:2:3:4:5:6::8", "::ffff:192.0.2.1", "1:2:3:4:5:6:192.0.2.1"}) {
        SCOPED_TRACE(query);
        center.QueryPublicIP();
        connection->Answer(std::string(R"({"status":"success","query":")") + query + "\"}");
        EXPECT_EQ(Taken(kMsgPublicIP), 1);
        EXPECT_EQ(center.GetIPAddress(), query);
    }
    platform::ClearNotify();  // the unanswered sign-in's
}

#include <stdexcept>

#include "largealloc.h"

// Regression: the request's final state was set before its completion ran,
// and an exception there (out of memory reading a large answer) left the
// window without its message: the login window stayed dimmed for good. Each
// call's window now hears of it as of an unreadable answer.
TEST_F(CenterAnswer, CompletionThatRunsOutOfMemoryStillTellsItsWindow) {
    const std::string pfx = ::testing::TempDir() + "center_oom." + std::to_string(::getpid()) + ".pfx";
    std::FILE* f = std::fopen(pfx.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("pfx", f);
    std::fclose(f);
    // Readable and successful when there is memory enough to read it.
    const std::string large = R"({"state":1,"message":")" + std::string(256 * 1024, 'x') + "\"}";
    auto answerWithoutMemory = [&] {
        connection->OnText(connection->last, large.c_str());
        testsupport::LargeAllocations refuse(128 * 1024, true);
        EXPECT_NO_THROW(connection->OnComplete(connection->last, HTTPRequest::kDone, 200));
        EXPECT_GT(refuse.count(), 0u);
    };

    ASSERT_TRUE(center.UserAuth("A1", "p", kWindow));
    answerWithoutMemory();
    EXPECT_EQ(Taken(kMsgUserAuth), -1);
    EXPECT_EQ(center.loginState, 3);  // the window leaves its waiting state

    ASSERT_TRUE(center.SignText("t", "cp", pfx, kWindow));
    answerWithoutMemory();
    EXPECT_EQ(Taken(kMsgSignText), -1);

    center.loginState = 2;
    center.applyList.resize(1);
    center.applyList[0].BranchNo = "0012";
    center.applyList[0].Account = "1";
    ASSERT_TRUE(center.Apply(center.applyList[0], "cp", pfx, kWindow));
    answerWithoutMemory();
    EXPECT_EQ(Taken(kMsgApply), -1);
    EXPECT_TRUE(center.applyList[0].APIStus.empty());
    EXPECT_EQ(connection->PendingCount(), 0u);
    std::remove(pfx.c_str());
}

// A callback that throws anything still leaves its request completed, off the
// pending list and freed; nothing reaches the worker that completed it.
TEST_F(CenterAnswer, CallbackThatThrowsIsCompletedAndReleased) {
    const int32_t live = HTTPRequest::LiveCount();
    int calls = 0;
    for (int kind = 0; kind < 2; ++kind) {
        HTTPRequest* r = new HTTPRequest("http://h/x");
        r->SetCallback([&calls, kind](HTTPRequest*) {
            ++calls;
            if (kind == 0) throw std::runtime_error("callback");
            throw std::bad_alloc();
        });
        ASSERT_TRUE(connection->Send(r));
        EXPECT_NO_THROW(connection->OnComplete(r, HTTPRequest::kDone, 200));
        EXPECT_FALSE(connection->IsPending(r));
    }
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(HTTPRequest::LiveCount(), live);
}
