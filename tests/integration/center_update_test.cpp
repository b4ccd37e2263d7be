// The version check and the download of the update against kova-service's
// manifest.
#include <filesystem>

#include "center_fixture.h"

namespace centertest {
namespace {

// The publisher's check as the program makes it, in small: here a file is
// "signed" when it holds the payload. What it saw is kept for the tests.
std::string g_checked;
bool g_checkSawTheWholeFile = false;
bool PayloadOnly(const std::string& path);

class CenterUpdate : public CenterTest {
protected:
    void SetUp() override {
        CenterTest::SetUp();
        target_ = service_->Dir() + "/kovaapp-new.exe";
        std::filesystem::remove(target_);
        g_checked.clear();
        KovaCenter::SetUpdateCheck(&PayloadOnly);
    }
    void TearDown() override {
        KovaCenter::SetUpdateCheck(nullptr);
        CenterTest::TearDown();
    }
    // Sets the manifest through the service's admin command.
    static void Manifest(const std::vector<std::string>& args) {
        std::vector<std::string> full = {"manifest", service_->Dir()};
        full.insert(full.end(), args.begin(), args.end());
        ASSERT_EQ(service_->RunTool(full), 0);
    }
public:
    static std::string Payload() {
        std::string bytes;
        for (int i = 0; i < 300000; ++i) bytes.push_back(static_cast<char>((static_cast<uint32_t>(i) * 7919u) >> 3));
        return bytes;
    }
protected:
    static std::string WritePayload() {
        const std::string path = service_->Dir() + "/kovaapp.exe";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        const std::string bytes = Payload();
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
    // Checks the manifest; true when an update was offered.
    bool Offered() {
        EXPECT_TRUE(center_->CheckVersion(window_));
        EXPECT_TRUE(Settled());
        if (platform::PendingNotifyCount(window_) == 0) return false;
        return Await(kMsgUpdateOffered) == 0;
    }
    std::string target_;
};

bool PayloadOnly(const std::string& path) {
    g_checked = path;
    g_checkSawTheWholeFile = svctest::ReadFile(path) == CenterUpdate::Payload();
    return g_checkSawTheWholeFile;
}

TEST_F(CenterUpdate, VersionsComparedByBase100Weights) {
    // The examples are those of a program at 0.9.2, whatever this build's version.
    center_->version = "0.9.2";
    const std::string file = WritePayload();
    const struct {
        const char* version;
        bool newer;
    } cases[] = {
        {"0.9.2", false}, {"0.9.10", true}, {"0.10", true}, {"0.9", false},
        {"1.0 beta", true}, {"0.9.1", false}, {"0.9.2.1", true}, {"0..9.3", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        Manifest({"--version", c.version, "--file", file});
        EXPECT_EQ(Offered(), c.newer);
        EXPECT_EQ(center_->serverVersion, c.version);
        EXPECT_EQ(center_->IsNewerVersion(), c.newer);
    }
}

TEST_F(CenterUpdate, DownloadSavesTheWholeFile) {
    Manifest({"--version", KOVA_NEXT_VERSION, "--file", WritePayload()});
    ASSERT_TRUE(Offered());
    EXPECT_EQ(center_->updateUrl.rfind("https://", 0), 0u);
    ASSERT_TRUE(center_->DownloadUpdate(target_, window_));
    ASSERT_EQ(Await(kMsgUpdateDownloaded), 1);
    EXPECT_EQ(center_->GetUpdateFile(), target_);
    EXPECT_EQ(svctest::ReadFile(target_), Payload());
    EXPECT_EQ(g_checked, target_);
    EXPECT_TRUE(g_checkSawTheWholeFile) << "the check ran before the file was whole";
}

// A download the publisher's check refuses, or any download when no check is
// set, is a failed download: 0, no file, nothing to start at the end.
TEST_F(CenterUpdate, OnlyADownloadThePublisherCheckAcceptsIsKept) {
    Manifest({"--version", KOVA_NEXT_VERSION, "--file", WritePayload()});
    for (KovaCenter::UpdateCheck check : {KovaCenter::UpdateCheck(nullptr),
                                          KovaCenter::UpdateCheck([](const std::string&) { return false; })}) {
        KovaCenter::SetUpdateCheck(check);
        ASSERT_TRUE(Offered());
        ASSERT_TRUE(center_->DownloadUpdate(target_, window_));
        EXPECT_EQ(Await(kMsgUpdateDownloaded), 0);
        EXPECT_TRUE(center_->GetUpdateFile().empty());
        EXPECT_FALSE(std::filesystem::exists(target_));
    }
}

// After a version failed to install here, neither it nor an older one is
// offered again; a later one is.
TEST_F(CenterUpdate, AVersionThatFailedToInstallIsNotOfferedAgain) {
    const std::string file = WritePayload();
    center_->refusedVersion = KOVA_NEXT_VERSION;
    Manifest({"--version", KOVA_NEXT_VERSION, "--file", file});
    EXPECT_FALSE(Offered());
    EXPECT_TRUE(center_->IsNewerVersion());
    const std::string later = std::string(KOVA_NEXT_VERSION) + ".1";
    Manifest({"--version", later, "--file", file});
    EXPECT_TRUE(Offered());
}

// No url, or one that is not https: no offer and nothing to download.
TEST_F(CenterUpdate, OnlyAnHttpsAddressIsOffered) {
    const std::string file = WritePayload();
    Manifest({"--version", KOVA_NEXT_VERSION, "--file", ""});
    EXPECT_FALSE(Offered());
    EXPECT_EQ(center_->serverVersion, KOVA_NEXT_VERSION);
    EXPECT_TRUE(center_->updateUrl.empty());

    const std::string plain = service_->EchoUrl("/download/API/kovaapp.exe");
    Manifest({"--version", KOVA_NEXT_VERSION, "--file", file, "--url", plain});
    EXPECT_FALSE(Offered());
    EXPECT_TRUE(center_->updateUrl.empty());
    EXPECT_FALSE(center_->DownloadUpdate(target_, window_));
    // The message is posted before the connection drops its entry: wait for that.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return connection_->PendingCount() == 0; }, 5000));
    Manifest({"--url", ""});
}

// A download that fails in any way reports 0 and leaves no file behind.
TEST_F(CenterUpdate, FailedDownloadsLeaveNoFile) {
    Manifest({"--version", KOVA_NEXT_VERSION, "--file", WritePayload()});
    const struct {
        const char* what;
        svctest::Fields fault;
        std::string target;
    } cases[] = {
        {"404", {{"kind", "status"}, {"code", "404"}}, target_},
        {"cut short", {{"kind", "close"}}, target_},
        {"folder missing", {{"kind", "none"}}, service_->Dir() + "/no/such/folder/kovaapp.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Fault({{"kind", "none"}}));
        ASSERT_TRUE(Offered());
        svctest::Fields fault = c.fault;
        fault.push_back({"path", "/download/API/kovaapp.exe"});
        ASSERT_TRUE(Fault(fault));
        ASSERT_TRUE(center_->DownloadUpdate(c.target, window_));
        EXPECT_EQ(Await(kMsgUpdateDownloaded), 0);
        EXPECT_TRUE(center_->GetUpdateFile().empty());
        EXPECT_FALSE(std::filesystem::exists(c.target));
    }
    // The manifest fault itself: silently no update.
    ASSERT_TRUE(Fault({{"kind", "html"}, {"path", "/download/API/kovaapp.json"}}));
    center_->serverVersion.clear();
    EXPECT_FALSE(Offered());
    EXPECT_TRUE(center_->serverVersion.empty());
}

} // namespace
} // namespace centertest
