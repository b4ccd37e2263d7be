// KovaCenter against a real kova-service: one service and scheduler per test
// suite, a fresh connection and center per test, with the configured origins
// mapped onto the service's port-0 listeners through the connection's URL
// mapping (the program itself has no runtime setting for them).
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "center/kovacenter.h"
#include "net/exchange_curl.h"
#include "net/httpconnection.h"
#include "platform/notify.h"
#include "platform/platform.h"
#include "scheduler.h"
#include "service_fixture.h"
#include "wait.h"

namespace centertest {

// Any non-null value names a receiver of the Linux notification sink.
inline platform::WindowHandle FakeWindow(uintptr_t n) { return reinterpret_cast<platform::WindowHandle>(n); }

class CenterTest : public svctest::ServiceSuite {
protected:
    static void SetUpTestSuite() {
        platform::SetAnsiCodePage(950);
        ServiceSuite::SetUpTestSuite();
        if (HasFatalFailure()) return;
        net::SetTrustAnchorsFile(service_->Ca());
        scheduler_ = new testsupport::CurrentScheduler;
        ASSERT_TRUE(scheduler_->Start());
    }
    static void TearDownTestSuite() {
        delete scheduler_;
        scheduler_ = nullptr;
        net::SetTrustAnchorsFile("");
        ServiceSuite::TearDownTestSuite();
    }

    void SetUp() override {
        platform::ClearNotify();
        connection_ = NewConnection(service_->Url(""), service_->EchoUrl(""));
        center_ = new KovaCenter(connection_);
    }
    void TearDown() override {
        delete center_;
        EXPECT_TRUE(testsupport::WaitUntil([&] { return connection_->PendingCount() == 0; }, 20000));
        connection_->Release();
        svctest::SetFault(*service_, {{"kind", "none"}});
        EXPECT_EQ(platform::PendingNotifyCount(window_), 0) << "an unexpected completion message";
    }

    static HTTPConnectionImp* NewConnection(const std::string& service, const std::string& echo) {
        auto* c = new HTTPConnectionImp;
        c->AddURLMapping(ServiceOrigin(), service);
        c->AddURLMapping(IPEchoOrigin(), echo);
        return c;
    }

    // The wParam of the next message to `window_`; INT_MIN when none came.
    int Await(unsigned message) {
        platform::Notification n;
        if (!platform::WaitNotify(window_, n, 30000)) {
            ADD_FAILURE() << "no message " << message;
            return INT_MIN;
        }
        EXPECT_EQ(n.message, message);
        center_->TakeAnswer(n.message);  // as the window does when the message arrives
        return static_cast<int>(n.wParam);
    }
    // Every exchange of the connection has completed (its callback has run).
    bool Settled() {
        return testsupport::WaitUntil([&] { return connection_->PendingCount() == 0; }, 30000);
    }
    static bool Fault(const svctest::Fields& fields) { return svctest::SetFault(*service_, fields); }

    static std::string Pfx(const char* role) { return service_->Pfx(role)["path"]; }
    static std::string PfxPassword(const char* role) { return service_->Pfx(role)["password"]; }

    static inline testsupport::CurrentScheduler* scheduler_ = nullptr;
    HTTPConnectionImp* connection_ = nullptr;
    KovaCenter* center_ = nullptr;
    platform::WindowHandle window_ = FakeWindow(0x4001);
};

} // namespace centertest
