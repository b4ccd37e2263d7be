// The sign-in road against kova-service: userAuth, signText, apply, reload,
// every failure kind of an exchange, the preconditions, the IP lookup, and a
// shut-down while an exchange hangs.
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "center_fixture.h"
#include "text/uitext.h"
#include "net/exchange.h"

namespace centertest {

namespace {

const char kAuthPath[] = "/kovaapp/api/userAuth.do";

// A loopback port nothing listens on.
int ClosedPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

class CenterSignIn : public CenterTest {
protected:
    bool SignIn(const char* id = "A123456789", const char* pwd = "Demo1234") {
        return center_->UserAuth(id, pwd, window_) && Await(kMsgUserAuth) == 1;
    }
};

TEST_F(CenterSignIn, FullSignInApplyAndReload) {
    ASSERT_TRUE(center_->UserAuth("A123456789", "Demo1234", window_));
    ASSERT_EQ(Await(kMsgUserAuth), 1) << center_->message;
    EXPECT_EQ(center_->loginState, 2);
    EXPECT_EQ(center_->custName, UiText("王小明"));
    EXPECT_EQ(center_->custId, "A123456789");
    EXPECT_EQ(center_->password, "Demo1234");

    // The records in the answer's order, as the service itself answers them.
    svctest::Answer direct = svctest::PostForm(service_->Url(kAuthPath), service_->Ca(),
                                               {{"cust_id", "A123456789"}, {"pwd", "Demo1234"}, {"ipaddr", ""}});
    ASSERT_EQ(center_->applyList.size(), direct.json["applyList"].size());
    for (size_t i = 0; i < center_->applyList.size(); ++i) {
        EXPECT_EQ(center_->applyList[i].BranchNo, direct.json["applyList"][i]["BranchNo"]) << i;
        EXPECT_EQ(center_->applyList[i].Account, direct.json["applyList"][i]["Account"]) << i;
        EXPECT_EQ(center_->applyList[i].APIStus, direct.json["applyList"][i].value("APIStus", "")) << i;
    }
    ASSERT_EQ(center_->branchList.size(), 5u);
    EXPECT_EQ(center_->branchList[0].branch_no, "0012");
    EXPECT_EQ(center_->branchList[0].branch_name, UiText("台北分公司"));
    EXPECT_EQ(center_->branchList[4].gatway_no, "005");

    ASSERT_TRUE(center_->SignText(center_->custId, PfxPassword("demo"), Pfx("demo"), window_));
    ASSERT_EQ(Await(kMsgSignText), 1) << center_->message;
    const KovaCenter::SignResult sign = center_->GetSignResult();
    EXPECT_EQ(sign.subject_cn, "A123456789");
    EXPECT_EQ(sign.serial, service_->Pfx("demo")["serial"]);
    EXPECT_FALSE(sign.signature.empty());

    // Apply on an eligible account: only the matched record changes.
    const std::vector<KovaCenter::ApiApply> before = center_->applyList;
    KovaCenter::ApiApply* target = center_->FindApiApply("0012", "1234567");
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(center_->Apply(*target, PfxPassword("demo"), Pfx("demo"), window_));
    ASSERT_EQ(Await(kMsgApply), 1) << center_->message;
    for (size_t i = 0; i < before.size(); ++i) {
        const KovaCenter::ApiApply& now = center_->applyList[i];
        if (&now == target) {
            EXPECT_EQ(now.APIStus, "S");
            EXPECT_EQ(now.CertiSeno, sign.serial);
            EXPECT_GT(now.CertiDate.tm_year, 100);
        } else {
            EXPECT_EQ(now.APIStus, before[i].APIStus) << i;
            EXPECT_EQ(now.CertiSeno, before[i].CertiSeno) << i;
        }
    }

    // A reload brings the service's view back, with the application in it.
    center_->applyList.clear();
    ASSERT_TRUE(center_->Relogin(window_));
    ASSERT_EQ(Await(kMsgUserAuth), 1);
    ASSERT_EQ(center_->applyList.size(), before.size());
    ASSERT_NE(center_->FindApiApply("0012", "1234567"), nullptr);
    EXPECT_EQ(center_->FindApiApply("0012", "1234567")->APIStus, "S");

    // Applying again is refused by the service with its message.
    ASSERT_TRUE(center_->Apply(*center_->FindApiApply("0012", "1234567"), PfxPassword("demo"), Pfx("demo"), window_));
    EXPECT_EQ(Await(kMsgApply), 4);
    EXPECT_FALSE(center_->message.empty());

    // Nothing is ever written to the data folder.
    const std::string settings = service_->Dir() + "/kova.xml";
    EXPECT_FALSE(center_->LoadSettings(settings));
    center_->Logout();
    EXPECT_FALSE(std::filesystem::exists(settings));
    EXPECT_TRUE(center_->custId.empty() && center_->password.empty());
    EXPECT_FALSE(center_->Relogin(window_));
    // The message is posted before the connection drops its entry: wait for that.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return connection_->PendingCount() == 0; }, 5000));
}

TEST_F(CenterSignIn, SomeoneElsesCertificateSignsButNamesItsOwner) {
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(center_->SignText("A123456789", PfxPassword("other"), Pfx("other"), window_));
    ASSERT_EQ(Await(kMsgSignText), 1);
    EXPECT_EQ(center_->GetSignResult().subject_cn, "B223456789");  // the login window refuses it

    ASSERT_TRUE(center_->SignText("A123456789", "wrong", Pfx("demo"), window_));
    EXPECT_EQ(Await(kMsgSignText), 3);
    EXPECT_EQ(center_->message, UiText("憑證密碼錯誤"));
    EXPECT_EQ(center_->GetSignResult().subject_cn, "B223456789");  // kept from the last success
}

// Files created in `folder` from now on, seen by inotify: a spool file
// removed again after its exchange still counts.
class CreationWatch {
public:
    explicit CreationWatch(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK)) {
        if (fd_ >= 0) watch_ = inotify_add_watch(fd_, folder.c_str(), IN_CREATE);
    }
    ~CreationWatch() {
        if (fd_ >= 0) close(fd_);
    }
    bool Watching() const { return fd_ >= 0 && watch_ >= 0; }
    std::vector<std::string> Created() {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + n;) {
                const inotify_event* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len > 0) created_.push_back(e->name);
                p += sizeof(inotify_event) + e->len;
            }
        }
        return created_;
    }

private:
    int fd_;
    int watch_ = -1;
    std::vector<std::string> created_;
};

// The certificate and its password travel in memory only, even with the
// program's spool folder set; a file too large for a certificate is
// refused as an unreadable one, before anything is sent.
TEST_F(CenterSignIn, CertificateAndPasswordNeverReachTheSpoolFolder) {
    const std::string spool = service_->Dir() + "/spool";
    std::filesystem::create_directories(spool);
    HTTPRequest::SetSpoolFolder(spool);
    CreationWatch watch(spool);
    ASSERT_TRUE(watch.Watching());

    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(center_->SignText(center_->custId, PfxPassword("demo"), Pfx("demo"), window_));
    EXPECT_EQ(Await(kMsgSignText), 1) << center_->message;
    // An account no other test of the suite applies for.
    KovaCenter::ApiApply* target = center_->FindApiApply("0044", "5678901");
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(center_->Apply(*target, PfxPassword("demo"), Pfx("demo"), window_));
    EXPECT_EQ(Await(kMsgApply), 1) << center_->message;
    EXPECT_TRUE(Settled());
    EXPECT_EQ(watch.Created(), std::vector<std::string>());

    const std::string large = service_->Dir() + "/large.pfx";
    std::ofstream(large, std::ios::binary) << std::string(kMaxCertificateBytes + 1, 'x');
    const int32_t live = HTTPRequest::LiveCount();
    center_->message.clear();
    EXPECT_FALSE(center_->SignText(center_->custId, PfxPassword("demo"), large, window_));
    EXPECT_FALSE(center_->Apply(*target, PfxPassword("demo"), large, window_));
    EXPECT_EQ(center_->message, UiText("憑證路徑有誤"));
    EXPECT_EQ(connection_->PendingCount(), 0u);
    EXPECT_EQ(HTTPRequest::LiveCount(), live);

    // One byte less is a certificate's size: sent, and refused by the service.
    std::filesystem::resize_file(large, kMaxCertificateBytes);
    ASSERT_TRUE(center_->SignText(center_->custId, PfxPassword("demo"), large, window_));
    EXPECT_NE(Await(kMsgSignText), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(watch.Created(), std::vector<std::string>());
    HTTPRequest::SetSpoolFolder("");
}

TEST_F(CenterSignIn, PreconditionsSendNothing) {
    const int32_t live = HTTPRequest::LiveCount();
    KovaCenter::ApiApply record;
    record.BranchNo = "0012";
    record.Account = "1234567";
    const std::string pfx = Pfx("demo");
    EXPECT_FALSE(center_->Apply(record, "pfx1234", pfx, window_));  // before login
    EXPECT_FALSE(center_->UserAuth("", "Demo1234", window_));
    EXPECT_FALSE(center_->UserAuth("A123456789", "", window_));
    EXPECT_FALSE(center_->SignText("", "pfx1234", pfx, window_));
    EXPECT_FALSE(center_->SignText("A123456789", "", pfx, window_));
    EXPECT_FALSE(center_->SignText("A123456789", "pfx1234", "", window_));
    EXPECT_FALSE(center_->SignText("A123456789", "pfx1234", service_->Dir() + "/missing.pfx", window_));
    EXPECT_FALSE(center_->Relogin(window_));
    EXPECT_FALSE(center_->DownloadUpdate(service_->Dir() + "/x.exe", window_));
    EXPECT_EQ(connection_->PendingCount(), 0u);
    EXPECT_EQ(HTTPRequest::LiveCount(), live);
    EXPECT_EQ(center_->loginState, 0);
    EXPECT_EQ(center_->notifyWindow.load(), nullptr);

    // After a failed sign-in Apply is refused again.
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(center_->UserAuth("A123456789", "bad", window_));
    EXPECT_EQ(Await(kMsgUserAuth), 2);
    EXPECT_FALSE(center_->Apply(*center_->FindApiApply("0012", "2345678"), "pfx1234", pfx, window_));
    EXPECT_NE(center_->FindApiApply("0012", "2345678"), nullptr);  // the lists are kept
}

// Every way an exchange or an answer can fail, as wParam, message and state.
TEST_F(CenterSignIn, FailureKinds) {
    struct Case {
        const char* what;
        svctest::Fields fault;
        int code;
        const char* message;  // UTF-8; null: unchanged; "*": the answer's own text
    };
    const Case cases[] = {
        {"HTTP 500", {{"kind", "status"}, {"code", "500"}}, 500, "無法與伺服器連線 (500)"},
        {"HTTP 404", {{"kind", "status"}, {"code", "404"}}, 404, "無法與伺服器連線 (404)"},
        {"HTML with 200", {{"kind", "html"}}, -1, nullptr},
        {"no state", {{"kind", "nostate"}}, kStateUnreadable, "*"},
        {"cut short", {{"kind", "close"}}, 200, "無法與伺服器連線 (200)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        svctest::Fields fault = c.fault;
        fault.push_back({"path", kAuthPath});
        ASSERT_TRUE(Fault(fault));
        center_->message = "before";
        ASSERT_TRUE(center_->UserAuth("A123456789", "Demo1234", window_));
        EXPECT_EQ(Await(kMsgUserAuth), c.code);
        EXPECT_EQ(center_->loginState, 3);
        if (c.message && std::string(c.message) == "*") {
            EXPECT_NE(center_->message, "before");
            EXPECT_FALSE(center_->message.empty());
        } else {
            EXPECT_EQ(center_->message, c.message ? UiText(c.message) : std::string("before"));
        }
    }
    ASSERT_TRUE(Fault({{"kind", "none"}}));

    // The service's refusal: its state and message.
    ASSERT_TRUE(center_->UserAuth("A123456789", "wrong", window_));
    EXPECT_EQ(Await(kMsgUserAuth), 2);
    EXPECT_EQ(center_->message, UiText("身分證字號或密碼錯誤"));
    EXPECT_EQ(center_->loginState, 3);
}

TEST_F(CenterSignIn, NoServer) {
    const std::string nowhere = "https://127.0.0.1:" + std::to_string(ClosedPort());
    HTTPConnectionImp* lonely = NewConnection(nowhere, "http://127.0.0.1:" + std::to_string(ClosedPort()));
    delete center_;
    center_ = new KovaCenter(lonely);
    ASSERT_TRUE(center_->UserAuth("A123456789", "Demo1234", window_));
    EXPECT_EQ(Await(kMsgUserAuth), 0);
    EXPECT_EQ(center_->message, UiText("無法與伺服器連線 (0)"));
    EXPECT_EQ(center_->loginState, 3);

    center_->QueryPublicIP();
    EXPECT_EQ(Await(kMsgPublicIP), 0);
    EXPECT_TRUE(center_->GetIPAddress().empty());
    delete center_;
    center_ = new KovaCenter(connection_);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return lonely->PendingCount() == 0; }, 20000));
    lonely->Release();
}

TEST_F(CenterSignIn, PublicIPLookup) {
    // Without any window yet the message is lost, the address still read.
    center_->QueryPublicIP();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(center_->GetIPAddress(), "127.0.0.1");

    // A refused lookup keeps the address; a fresh center then sends none.
    center_->notifyWindow = window_;
    ASSERT_TRUE(Fault({{"kind", "echo-fail"}}));
    center_->QueryPublicIP();
    EXPECT_EQ(Await(kMsgPublicIP), kStateUnreadable);
    EXPECT_EQ(center_->GetIPAddress(), "127.0.0.1");
    ASSERT_TRUE(Fault({{"kind", "none"}}));

    center_->QueryPublicIP();
    EXPECT_EQ(Await(kMsgPublicIP), 1);
}

// Background calls failing around a sign-in: the window told of the refusal
// reads the service's words, whichever completion comes last.
TEST_F(CenterSignIn, FailedBackgroundCallsLeaveTheSignInMessage) {
    ASSERT_TRUE(Fault({{"kind", "status"}, {"code", "500"}, {"path", "/json"}}));
    center_->notifyWindow = window_;
    center_->QueryPublicIP();  // alongside the sign-in: either may end first
    ASSERT_TRUE(center_->UserAuth("A123456789", "wrong", window_));
    for (int i = 0; i < 2; ++i) {
        platform::Notification n;
        ASSERT_TRUE(platform::WaitNotify(window_, n, 30000));
        EXPECT_EQ(n.wParam, n.message == kMsgUserAuth ? 2 : 500);
        center_->TakeAnswer(n.message);
    }
    center_->QueryPublicIP();
    EXPECT_EQ(Await(kMsgPublicIP), 500);
    ASSERT_TRUE(Fault({{"kind", "status"}, {"code", "500"}, {"path", "/download/API/kovaapp.json"}}));
    ASSERT_TRUE(center_->CheckVersion(window_));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(center_->GetMessage(), UiText("身分證字號或密碼錯誤"));
}

// Shut-down while the service holds an exchange open: the center goes first,
// the abort ends the exchange as failed, and no completion reaches anyone.
TEST_F(CenterSignIn, ShutDownDuringAHangingExchange) {
    ASSERT_TRUE(Fault({{"kind", "hang"}, {"path", kAuthPath}}));
    ASSERT_TRUE(center_->UserAuth("A123456789", "Demo1234", window_));
    platform::SleepMs(300);  // let the exchange reach the service
    EXPECT_EQ(connection_->PendingCount(), 1u);
    delete center_;
    center_ = nullptr;
    EXPECT_EQ(KovaCenter::Instance(), nullptr);
    net::AbortOpenExchanges();
    EXPECT_TRUE(Settled()) << "the aborted exchange did not end";
    net::ResetAbortForTests();
    EXPECT_EQ(platform::PendingNotifyCount(window_), 0);
}

} // namespace
} // namespace centertest
