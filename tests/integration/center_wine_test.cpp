// KovaCenter under Wine over WinInet against the native kova-service started
// by center_wine.sh: the sign-in, the failure kinds and the update download.
// Completion messages arrive at a message-only window of the test thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "center/kovacenter.h"
#include "env.h"
#include "files/filesystem.h"
#include "text/uitext.h"
#include "net/httpconnection.h"
#include "platform/platform.h"
#include "scheduler.h"
#include "wait.h"

namespace {

using testsupport::Env;

std::string ReadAll(const std::string& path) {
    IFileSystem& fs = IFileSystem::Instance();
    File f = fs.Open(path, "rb");
    std::string out;
    char buf[8192];
    size_t n;
    while (f.IsOpen() && (n = fs.Read(f, buf, sizeof buf)) > 0) out.append(buf, n);
    return out;
}

// A secret as the program could hold it: ANSI bytes, or UTF-16 after a
// conversion for a wide API. The literals live in the image, not the heap.
// Searched without the first character, which is all a string's clear()
// zeroes of a short value.
struct Secret {
    const char* ansi;
    const wchar_t* wide;
    int Count() const {
        const int a = platform::CountInProgramHeap(ansi + 1, std::strlen(ansi + 1));
        const int w = platform::CountInProgramHeap(wide + 1, std::wcslen(wide + 1) * sizeof(wchar_t));
        return a < 0 || w < 0 ? -1 : a + w;
    }
};

class CenterWine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scheduler_ = new testsupport::CurrentScheduler;
        ASSERT_TRUE(scheduler_->Start());
    }
    static void TearDownTestSuite() {
        delete scheduler_;
        scheduler_ = nullptr;
    }
    void SetUp() override {
        ASSERT_FALSE(Env("KOVA_CENTER_HTTPS").empty()) << "run through center_wine.sh";
        window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        connection_ = new HTTPConnectionImp;
        connection_->AddURLMapping(ServiceOrigin(), Url(""));
        connection_->AddURLMapping(IPEchoOrigin(), "http://127.0.0.1:" + Env("KOVA_CENTER_HTTP"));
        center_ = new KovaCenter(connection_);
    }
    void TearDown() override {
        delete center_;
        EXPECT_TRUE(testsupport::WaitUntil([&] { return connection_->PendingCount() == 0; }, 20000));
        Fault("none", "");
        connection_->Release();
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, window_, WM_USER, WM_USER + 6, PM_REMOVE)) << "unexpected " << msg.message;
        DestroyWindow(window_);
    }

    static std::string Url(const std::string& path) { return "https://localhost:" + Env("KOVA_CENTER_HTTPS") + path; }

    // The wParam of the next completion message; INT_MIN when none came.
    int Await(unsigned message) {
        const DWORD deadline = GetTickCount() + 30000;
        MSG msg;
        for (;;) {
            if (PeekMessageA(&msg, window_, WM_USER, WM_USER + 6, PM_REMOVE)) {
                EXPECT_EQ(msg.message, message);
                center_->TakeAnswer(msg.message);  // as the window does when the message arrives
                return static_cast<int>(msg.wParam);
            }
            const DWORD now = GetTickCount();
            if (static_cast<int32_t>(deadline - now) <= 0) break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, deadline - now, QS_POSTMESSAGE);
        }
        ADD_FAILURE() << "no message " << message;
        return INT_MIN;
    }

    // The service's fault switch, over the echo port.
    bool Fault(const char* kind, const char* path, const char* code = nullptr) {
        auto* r = new HTTPRequest("http://127.0.0.1:" + Env("KOVA_CENTER_HTTP") + "/_admin/fault");
        r->AddField("kind", kind, false);
        if (*path) r->AddField("path", path, false);
        if (code) r->AddField("code", code, false);
        auto done = std::make_shared<std::atomic<int>>(-1);
        r->SetCallback([done](HTTPRequest* q) { done->store(q->GetStatusCode()); });
        if (!connection_->Send(r)) {
            r->Release();  // refused: still ours
            return false;
        }
        return testsupport::WaitUntil([&] { return done->load() >= 0; }, 20000) && done->load() == 200;
    }

    static inline testsupport::CurrentScheduler* scheduler_ = nullptr;
    HWND window_ = nullptr;
    HTTPConnectionImp* connection_ = nullptr;
    KovaCenter* center_ = nullptr;
};

const char kAuthPath[] = "/kovaapp/api/userAuth.do";

TEST_F(CenterWine, SignInSignApplyReload) {
    const std::string pfx = Env("KOVA_CENTER_PFX");
    ASSERT_TRUE(center_->UserAuth("A123456789", "Demo1234", window_));
    ASSERT_EQ(Await(kMsgUserAuth), 1) << center_->message;
    EXPECT_EQ(center_->custName, UiText("王小明"));
    ASSERT_EQ(center_->applyList.size(), 9u);
    EXPECT_EQ(center_->branchList.size(), 5u);

    ASSERT_TRUE(center_->SignText(center_->custId, "pfx1234", pfx, window_));
    ASSERT_EQ(Await(kMsgSignText), 1) << center_->message;
    EXPECT_EQ(center_->GetSignResult().subject_cn, "A123456789");

    KovaCenter::ApiApply* target = center_->FindApiApply("0012", "1234567");
    ASSERT_NE(target, nullptr);
    const std::string otherBefore = center_->FindApiApply("0044", "5678901")->APIStus;
    ASSERT_TRUE(center_->Apply(*target, "pfx1234", pfx, window_));
    ASSERT_EQ(Await(kMsgApply), 1) << center_->message;
    EXPECT_EQ(target->APIStus, "S");
    EXPECT_EQ(target->CertiSeno, center_->GetSignResult().serial);
    EXPECT_EQ(center_->FindApiApply("0044", "5678901")->APIStus, otherBefore);

    ASSERT_TRUE(center_->Relogin(window_));
    ASSERT_EQ(Await(kMsgUserAuth), 1);
    EXPECT_EQ(center_->FindApiApply("0012", "1234567")->APIStus, "S");
    center_->Logout();
    EXPECT_FALSE(center_->Relogin(window_));
}

// After the whole road and the log-out, neither password is left in the
// program's heap: not in the center, the requests and their bodies, the
// answers taken in, nor in storage given up on the way.
TEST_F(CenterWine, PasswordsLeaveNoCopyInTheHeapAfterLogout) {
    const Secret secrets[] = {{"Demo1234", L"Demo1234"}, {"pfx1234", L"pfx1234"}};
    const std::string pfx = Env("KOVA_CENTER_PFX");
    // Every request of the earlier tests is gone (released just after its
    // completion): from here on each one is this test's.
    ASSERT_TRUE(testsupport::WaitUntil([] { return HTTPRequest::LiveCount() == 0; }, 20000));
    // The walk finds a copy where there is one.
    {
        std::string held = std::string(secrets[0].ansi) + " held long enough to need the heap";
        std::wstring wide = std::wstring(secrets[1].wide) + L" held in the heap as UTF-16";
        EXPECT_GE(secrets[0].Count(), 1);
        EXPECT_GE(secrets[1].Count(), 1);
        platform::WipeString(held);
        platform::WipeMemory(&wide[0], wide.size() * sizeof(wchar_t));
    }
    // As the program does: a spool folder is set, the certificate's body
    // still stays in memory.
    HTTPRequest::SetSpoolFolder(Env("KOVA_CENTER_TMP"));
    ASSERT_TRUE(center_->UserAuth("A123456789", secrets[0].ansi, window_));
    ASSERT_EQ(Await(kMsgUserAuth), 1) << center_->message;
    ASSERT_TRUE(center_->SignText(center_->custId, secrets[1].ansi, pfx, window_));
    ASSERT_EQ(Await(kMsgSignText), 1) << center_->message;
    center_->pfxPassword = secrets[1].ansi;  // kept for the reload, as the login window does
    KovaCenter::ApiApply* target = center_->FindApiApply("0044", "5678901");
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(center_->Apply(*target, secrets[1].ansi, pfx, window_));
    ASSERT_EQ(Await(kMsgApply), 1) << center_->message;
    HTTPRequest::SetSpoolFolder(std::string());
    center_->Logout();
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return connection_->PendingCount() == 0 && HTTPRequest::LiveCount() == 0; }, 20000));
    for (const Secret& secret : secrets) EXPECT_EQ(secret.Count(), 0) << secret.ansi;
    // Nor the certificate's bytes: 64 from its middle, kept off the heap.
    unsigned char middle[64];
    {
        char whole[16384];
        File f(platform::OpenFileUtf8(pfx, "rb"));
        ASSERT_TRUE(f.IsOpen());
        std::setvbuf(f.stream(), nullptr, _IONBF, 0);
        const size_t n = IFileSystem::Instance().Read(f, whole, sizeof whole);
        ASSERT_GT(n, 2 * sizeof middle);
        ASSERT_LT(n, sizeof whole);
        std::memcpy(middle, whole + n / 2, sizeof middle);
    }
    EXPECT_EQ(platform::CountInProgramHeap(middle, sizeof middle), 0);
}

TEST_F(CenterWine, FailureKinds) {
    const struct {
        const char* kind;
        const char* code;
        int wParam;
        const char* message;  // null: unchanged
    } cases[] = {
        {"status", "500", 500, "無法與伺服器連線 (500)"},
        {"html", nullptr, -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_TRUE(Fault(c.kind, kAuthPath, c.code));
        center_->message = "before";
        ASSERT_TRUE(center_->UserAuth("A123456789", "Demo1234", window_));
        EXPECT_EQ(Await(kMsgUserAuth), c.wParam);
        EXPECT_EQ(center_->loginState, 3);
        EXPECT_EQ(center_->message, c.message ? UiText(c.message) : std::string("before"));
    }
    ASSERT_TRUE(Fault("none", ""));
    ASSERT_TRUE(center_->UserAuth("A123456789", "wrong", window_));
    EXPECT_EQ(Await(kMsgUserAuth), 2);
    EXPECT_EQ(center_->message, UiText("身分證字號或密碼錯誤"));

    // No server: port 1 on loopback has no listener.
    HTTPConnectionImp* lonely = new HTTPConnectionImp;
    lonely->AddURLMapping(ServiceOrigin(), "https://127.0.0.1:1");
    center_->connection = lonely;
    ASSERT_TRUE(center_->UserAuth("A123456789", "Demo1234", window_));
    EXPECT_EQ(Await(kMsgUserAuth), 0);
    EXPECT_EQ(center_->message, UiText("無法與伺服器連線 (0)"));
    center_->connection = connection_;
    EXPECT_TRUE(testsupport::WaitUntil([&] { return lonely->PendingCount() == 0; }, 20000));
    lonely->Release();

    center_->notifyWindow = window_;
    center_->QueryPublicIP();
    EXPECT_EQ(Await(kMsgPublicIP), 1);
    EXPECT_EQ(center_->GetIPAddress(), "127.0.0.1");
}

TEST_F(CenterWine, UpdateDownload) {
    const std::string target = Env("KOVA_CENTER_TMP") + "\\kovaapp.exe";
    // The payload is not a program: the publisher's check is stood in for by
    // a comparison with it (publisher_test and update_test check the real one).
    KovaCenter::SetUpdateCheck(
        [](const std::string& path) { return ReadAll(path) == ReadAll(Env("KOVA_CENTER_PAYLOAD")); });
    ASSERT_TRUE(center_->CheckVersion(window_));
    ASSERT_EQ(Await(kMsgUpdateOffered), 0);
    EXPECT_EQ(center_->serverVersion, KOVA_NEXT_VERSION);
    ASSERT_TRUE(center_->DownloadUpdate(target, window_));
    ASSERT_EQ(Await(kMsgUpdateDownloaded), 1);
    EXPECT_EQ(center_->GetUpdateFile(), target);
    EXPECT_EQ(ReadAll(target), ReadAll(Env("KOVA_CENTER_PAYLOAD")));
    IFileSystem::Instance().Remove(target);

    ASSERT_TRUE(Fault("status", "/download/API/kovaapp.exe", "404"));
    ASSERT_TRUE(center_->DownloadUpdate(target, window_));
    EXPECT_EQ(Await(kMsgUpdateDownloaded), 0);
    EXPECT_TRUE(center_->GetUpdateFile().empty());
    EXPECT_FALSE(IFileSystem::Instance().Open(target, "rb").IsOpen());
    KovaCenter::SetUpdateCheck(nullptr);
}

} // namespace
