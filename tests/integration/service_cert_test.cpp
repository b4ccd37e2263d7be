// signText and apply: a real PKCS#12 round trip, the certificate refusals,
// the application's checks and what it records.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <memory>
#include <regex>

#include "service_fixture.h"

namespace svctest {
namespace {

const char kSign[] = "/kovaapp/api/signText.do";
const char kApply[] = "/kovaapp/api/apply.do";
const char kDemoId[] = "A123456789";

class ServiceCert : public ServiceSuite {
protected:
    static Answer Sign(const std::string& text, const std::string& pwd, const std::string& pfx) {
        return PostMultipart(service_->Url(kSign), service_->Ca(),
                             {{"text", text}, {"pwd", pwd}, {"pfxFile", pfx, true}});
    }
    static Answer Apply(const std::string& id, const std::string& branch, const std::string& account,
                        const std::string& pwd, const std::string& pfx) {
        return PostMultipart(service_->Url(kApply), service_->Ca(),
                             {{"cust_id", id}, {"branch", branch}, {"account", account}, {"ipaddr", "203.0.113.9"},
                              {"pwd", pwd}, {"pfxFile", pfx, true}});
    }
    static Json Dump() {
        std::string out;
        EXPECT_EQ(service_->RunTool({"dump", service_->Dir()}, &out), 0);
        return Json::parse(out, nullptr, false);
    }
    static Json FindAccount(const Json& list, const std::string& branch, const std::string& account) {
        for (const auto& r : list)
            if (r["BranchNo"] == branch && r["Account"] == account) return r;
        return nullptr;
    }
};

// The certificate's public key, read from the PFX by the test itself.
std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> PublicKeyOf(const std::string& der, const std::string& pwd) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    PKCS12* p12 = d2i_PKCS12(nullptr, &p, static_cast<long>(der.size()));
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    EVP_PKEY* pub = nullptr;
    if (p12 && PKCS12_parse(p12, pwd.c_str(), &key, &cert, nullptr) && cert) pub = X509_get_pubkey(cert);
    EVP_PKEY_free(key);
    X509_free(cert);
    PKCS12_free(p12);
    return {pub, EVP_PKEY_free};
}

bool Verifies(EVP_PKEY* pub, const std::string& text, const std::string& base64) {
    std::string sig(base64.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&sig[0]),
                            reinterpret_cast<const unsigned char*>(base64.data()), static_cast<int>(base64.size()));
    if (n <= 0) return false;
    size_t pad = base64.size() >= 2 ? (base64.end()[-1] == '=') + (base64.end()[-2] == '=') : 0;
    sig.resize(static_cast<size_t>(n) - pad);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = EVP_DigestVerifyInit(ctx, nullptr, EVP_sha256(), nullptr, pub) == 1 &&
              EVP_DigestVerify(ctx, reinterpret_cast<const unsigned char*>(sig.data()), sig.size(),
                               reinterpret_cast<const unsigned char*>(text.data()), text.size()) == 1;
    EVP_MD_CTX_free(ctx);
    return ok;
}

TEST_F(ServiceCert, SignatureVerifiesWithTheCertificatesPublicKey) {
    const Json& demo = service_->Pfx("demo");
    const std::string text = "A123456789 王小明";
    Answer a = Sign(text, demo["password"], service_->PfxBytes("demo"));
    ASSERT_EQ(a.State(), 1) << a.body;
    EXPECT_EQ(a.contentType, "application/json; charset=UTF-8");
    EXPECT_EQ(a.json["subject_cn"], kDemoId);
    EXPECT_EQ(a.json["alias"], demo["alias"]);
    EXPECT_EQ(a.json["serial"], demo["serial"]);
    EXPECT_TRUE(std::regex_match(a.json["serial"].get<std::string>(), std::regex("[0-9A-F]+")));

    auto own = PublicKeyOf(service_->PfxBytes("demo"), demo["password"]);
    auto other = PublicKeyOf(service_->PfxBytes("other"), service_->Pfx("other")["password"]);
    ASSERT_TRUE(own && other);
    std::string sig = a.json["signature"];
    EXPECT_TRUE(Verifies(own.get(), text, sig));
    EXPECT_FALSE(Verifies(own.get(), text + ".", sig)) << "a signature over other text must not verify";
    EXPECT_FALSE(Verifies(other.get(), text, sig)) << "another key must not verify it";
}

// Older tools export PFX files with RC2/3DES; OpenSSL 3 opens them only with
// its legacy provider loaded.
TEST_F(ServiceCert, LegacyEncryptedPfxOpens) {
    const Json& demo = service_->Pfx("demo");
    const std::string legacy = service_->Dir() + "/legacy.pfx";
    const std::string pass = "pass:" + demo["password"].get<std::string>();
    const std::string pem = service_->Dir() + "/legacy.pem";
    const std::string cmd = "openssl pkcs12 -in '" + demo["path"].get<std::string>() + "' -nodes -passin " + pass +
                            " -out '" + pem + "' && openssl pkcs12 -export -legacy -in '" + pem + "' -passout " +
                            pass + " -out '" + legacy + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    Answer a = Sign(kDemoId, demo["password"], ReadFile(legacy));
    EXPECT_EQ(a.State(), 1) << a.body;
    EXPECT_EQ(a.json["serial"], demo["serial"]);
}

TEST_F(ServiceCert, SignTextRefusesWhatItCannotOpenOrTrust) {
    const std::string demo = service_->PfxBytes("demo");
    const std::string pwd = service_->Pfx("demo")["password"];
    struct Case {
        const char* what;
        std::string pwd, pfx;
        const char* message;
    } cases[] = {
        {"wrong password", "wrong", demo, "憑證密碼錯誤"},
        {"PEM, not PKCS#12", pwd, ReadFile(service_->Ca()), "憑證檔案格式錯誤，無法開啟"},
        {"truncated PKCS#12", pwd, demo.substr(0, demo.size() / 2), "憑證檔案格式錯誤，無法開啟"},
        {"not issued by the CA", service_->Pfx("untrusted")["password"], service_->PfxBytes("untrusted"),
         "憑證非本公司核發或已過期"},
    };
    for (const auto& c : cases) {
        Answer a = Sign(kDemoId, c.pwd, c.pfx);
        EXPECT_EQ(a.status, 200) << c.what;
        EXPECT_EQ(a.State(), 3) << c.what << ": " << a.body;
        EXPECT_EQ(a.Message(), c.message) << c.what;
        EXPECT_FALSE(a.json.contains("signature")) << c.what;
    }
    Answer notUtf8 = Sign("\xB4\xFA\xB8\xD5", pwd, demo);  // Big5, not UTF-8
    EXPECT_EQ(notUtf8.status, 400);
    EXPECT_EQ(notUtf8.json.value("error", ""), "invalid_text");
    Answer noFile = PostMultipart(service_->Url(kSign), service_->Ca(), {{"text", kDemoId}, {"pwd", pwd}});
    EXPECT_EQ(noFile.status, 400);
    EXPECT_EQ(noFile.Message(), "缺少欄位：pfxFile");
}

TEST_F(ServiceCert, ApplyRefusalsChangeNothing) {
    const std::string demo = service_->PfxBytes("demo");
    const std::string pwd = service_->Pfx("demo")["password"];
    struct Case {
        const char* what;
        std::string id, branch, account, pwd, pfx;
        int state;
        const char* message;
    } cases[] = {
        {"certificate of someone else", kDemoId, "0012", "1234567", service_->Pfx("other")["password"],
         service_->PfxBytes("other"), 3, "憑證持有人與申請人不符"},
        {"self-signed with the right CN", kDemoId, "0012", "1234567", pwd, service_->PfxBytes("untrusted"), 3,
         "憑證非本公司核發或已過期"},
        {"wrong certificate password", kDemoId, "0012", "1234567", "nope", demo, 3, "憑證密碼錯誤"},
        {"account of another customer", kDemoId, "0044", "9000001", pwd, demo, 4, "查無此帳號，或帳號不屬於申請人"},
        {"no such account", kDemoId, "0012", "0000000", pwd, demo, 4, "查無此帳號，或帳號不屬於申請人"},
        {"risk declaration unsigned", kDemoId, "0012", "2345678", pwd, demo, 4, "尚未簽署API風險預告書，無法申請"},
        {"already enabled", kDemoId, "001", "8000123", pwd, demo, 4, "此帳號已開通API權限"},
        {"under review", kDemoId, "0025", "3456789", pwd, demo, 4, "此帳號的API權限申請正在審核中"},
    };
    Json before = Dump();
    for (const auto& c : cases) {
        Answer a = Apply(c.id, c.branch, c.account, c.pwd, c.pfx);
        EXPECT_EQ(a.State(), c.state) << c.what << ": " << a.body;
        EXPECT_EQ(a.Message(), c.message) << c.what;
        EXPECT_FALSE(a.json.contains("data")) << c.what;
    }
    Json after = Dump();
    EXPECT_EQ(after["accounts"], before["accounts"]);
    EXPECT_EQ(after["applications"].size(), before["applications"].size());
}

TEST_F(ServiceCert, ApplyRecordsTheApplicationAndApprovalEnablesIt) {
    const Json& demo = service_->Pfx("demo");
    Answer a = Apply(kDemoId, "0044", "5678901", demo["password"], service_->PfxBytes("demo"));
    ASSERT_EQ(a.State(), 1) << a.body;
    const Json& data = a.json["data"];
    EXPECT_EQ(data["APIStus"], "S");
    EXPECT_EQ(data["CertiSeno"], demo["serial"]);
    EXPECT_EQ(data["CustIP"], "203.0.113.9");
    EXPECT_TRUE(std::regex_match(data["CertiDate"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})")));

    Json dump = Dump();
    Json rec = FindAccount(dump["accounts"], "0044", "5678901");
    EXPECT_EQ(rec["APIStus"], "S");
    EXPECT_EQ(rec["CertiSeno"], demo["serial"]);
    ASSERT_EQ(dump["applications"].size(), 1u);
    const Json& app = dump["applications"][0];
    EXPECT_EQ(app["cust_id"], kDemoId);
    EXPECT_EQ(app["serial"], demo["serial"]);
    EXPECT_EQ(app["ipaddr"], "203.0.113.9");
    EXPECT_EQ(app["peer"], "127.0.0.1");

    EXPECT_EQ(Apply(kDemoId, "0044", "5678901", demo["password"], service_->PfxBytes("demo")).State(), 4)
        << "a second application for the same account";
    const std::vector<std::string> approve = {"approve", service_->Dir(), "--cust", kDemoId, "--branch", "0044",
                                              "--account", "5678901"};
    EXPECT_EQ(service_->RunTool(approve), 0);
    EXPECT_NE(service_->RunTool(approve), 0) << "only an application under review can be approved";
    Answer auth = PostForm(service_->Url("/kovaapp/api/userAuth.do"), service_->Ca(),
                           {{"cust_id", kDemoId}, {"pwd", "Demo1234"}, {"ipaddr", ""}});
    Json enabled = FindAccount(auth.json["applyList"], "0044", "5678901");
    EXPECT_EQ(enabled["APIStus"], "Y");
    EXPECT_EQ(enabled["CertiSeno"], demo["serial"]);
    EXPECT_TRUE(enabled.contains("UptDate"));
}

} // namespace
} // namespace svctest
