// A certificate in a folder that code page 950 cannot spell, under Wine
// against the native kova-service started by center_wine.sh: the path the
// file dialog gives is handed over as the windows hand it, then signed with
// and applied with (once with a spool folder set, once without).
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "center/kovacenter.h"
#include "env.h"
#include "net/httpconnection.h"
#include "scheduler.h"
#include "ui/dialogs.h"
#include "wait.h"

namespace {

using testsupport::Env;
std::wstring Wide(const std::string& utf8) {
    platform::WideString w;
    Utf8ToWide(utf8, w);
    return std::wstring(w.begin(), w.end());
}

TEST(CenterWidePath, CertificateInAFolderCodePage950CannotSpellIsSignedAndApplied) {
    ASSERT_FALSE(Env("KOVA_CENTER_HTTPS").empty()) << "run through center_wine.sh";
    ASSERT_EQ(GetACP(), 950u);
    const std::wstring dir = Wide(Env("KOVA_CENTER_TMP") + "/日本語のフォルダ 한국어 é 🔑");
    const std::wstring chosen = dir + Wide("\\證書 é.pfx");
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(Wide(Env("KOVA_CENTER_PFX")).c_str(), chosen.c_str(), TRUE));

    // The window keeps the chosen path; the box shows a rendering that names no file.
    ui::KeptPath kept;
    const std::string shown = kept.Keep(chosen);
    HTTPRequest probe("https://localhost/");
    HTTPRequest::FileData part;
    EXPECT_FALSE(probe.AddFile("pfxFile", shown, false, nullptr));  // the old route
    ASSERT_TRUE(probe.AddFile("pfxFile", kept.Resolve(shown), false, &part));
    EXPECT_EQ(part.fileName, shown.substr(shown.rfind('\\') + 1));  // named as code page 950 renders it
    EXPECT_EQ(kept.Resolve(shown + "x"), AnsiToUtf8(shown + "x"));  // a changed box is taken as typed

    testsupport::CurrentScheduler scheduler;
    ASSERT_TRUE(scheduler.Start(2));
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HTTPConnectionImp* connection = new HTTPConnectionImp;
    connection->AddURLMapping(ServiceOrigin(), "https://localhost:" + Env("KOVA_CENTER_HTTPS"));
    KovaCenter* center = new KovaCenter(connection);
    auto await = [&](unsigned message) {
        MSG msg;
        if (!testsupport::WaitUntil([&] { return PeekMessageA(&msg, window, message, message, PM_REMOVE) != 0; },
                                    30000))
            return INT_MIN;
        center->TakeAnswer(message);  // as the windows do when it arrives
        return static_cast<int>(msg.wParam);
    };

    EXPECT_FALSE(center->SignText("A123456789", "pfx1234", shown, window));
    HTTPRequest::SetSpoolFolder(Env("KOVA_CENTER_TMP"));
    EXPECT_TRUE(center->UserAuth("A123456789", "Demo1234", window) && await(kMsgUserAuth) == 1) << center->message;
    EXPECT_TRUE(center->SignText("A123456789", "pfx1234", kept.Resolve(shown), window));
    EXPECT_EQ(await(kMsgSignText), 1) << center->message;
    EXPECT_EQ(center->GetSignResult().subject_cn, "A123456789");

    // Stored by the login window; the submit dialog starts from it.
    center->pfxPath = kept.Resolve(shown);
    HTTPRequest::SetSpoolFolder(std::string());
    ui::KeptPath submit;
    const KovaCenter::ApiApply* target = center->FindApiApply("0012", "1234567");
    EXPECT_TRUE(target && center->Apply(*target, "pfx1234", submit.Resolve(submit.KeepUtf8(center->pfxPath)), window));
    EXPECT_EQ(await(kMsgApply), 1) << center->message;
    EXPECT_EQ(center->FindApiApply("0012", "1234567")->APIStus, "S");

    delete center;
    EXPECT_TRUE(testsupport::WaitUntil([&] { return connection->PendingCount() == 0; }, 20000));
    connection->Release();
    scheduler.Stop();
    DestroyWindow(window);
}

} // namespace
