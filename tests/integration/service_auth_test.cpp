// userAuth: the answer's shape as the client reads it, the seeded account
// states, refusals, and requests that are not what the service expects.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "service_fixture.h"

namespace svctest {
namespace {

const char kAuth[] = "/kovaapp/api/userAuth.do";

class ServiceAuth : public ServiceSuite {
protected:
    static Answer SignIn(const std::string& id, const std::string& pwd) {
        return PostForm(service_->Url(kAuth), service_->Ca(), {{"cust_id", id}, {"pwd", pwd}, {"ipaddr", "192.0.2.1"}});
    }
};

TEST_F(ServiceAuth, SignInAnswersTheMembersTheClientReads) {
    Answer a = SignIn("A123456789", "Demo1234");
    ASSERT_EQ(a.curlCode, 0);
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.contentType, "application/json; charset=UTF-8");
    ASSERT_EQ(a.State(), 1) << a.body;
    EXPECT_EQ(a.json["name"], "王小明");
    EXPECT_EQ(a.json["id"], "A123456789");
    ASSERT_TRUE(a.json["applyList"].is_array());
    ASSERT_EQ(a.json["applyList"].size(), 9u);

    const std::regex date(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})");
    const std::set<std::string> dates = {"RiskSignDate", "CertiDate", "UptDate"};
    const std::set<std::string> known = {"CustID", "Prod", "BranchNo", "Account", "RiskSignStus", "RiskSignDate",
                                         "APIStus", "CertiSeno", "CertiDate", "CustIP", "Act", "UptDate"};
    for (const auto& rec : a.json["applyList"]) {
        for (const auto& [key, value] : rec.items()) {
            EXPECT_TRUE(known.count(key)) << key;
            ASSERT_TRUE(value.is_string()) << key;
            if (dates.count(key)) {
                EXPECT_TRUE(std::regex_match(value.get<std::string>(), date)) << value;
            }
        }
        for (const char* key : {"CustID", "Prod", "BranchNo", "Account", "RiskSignStus", "APIStus", "CertiSeno"})
            EXPECT_TRUE(rec.contains(key)) << key;
        EXPECT_EQ(rec["CustID"], "A123456789");
    }
    ASSERT_EQ(a.json["branchList"].size(), 5u);
    for (const auto& b : a.json["branchList"]) {
        EXPECT_EQ(b["gatway_no"].get<std::string>().size(), 3u);
        EXPECT_EQ(b["branch_no"].get<std::string>().size(), 4u);
        EXPECT_FALSE(b["branch_name"].get<std::string>().empty());
    }
}

// Every row of the account list's state table has a seeded account.
TEST_F(ServiceAuth, SeededAccountsCoverEveryState) {
    Answer a = SignIn("A123456789", "Demo1234");
    ASSERT_EQ(a.State(), 1);
    std::set<std::string> seen;
    for (const auto& r : a.json["applyList"]) {
        std::string api = r["APIStus"], risk = r["RiskSignStus"];
        seen.insert(risk == "S" ? "risk signed" : "risk unsigned");
        seen.insert(r["Prod"] == "S" ? "securities" : "sub-brokerage");
        seen.insert(r["BranchNo"].get<std::string>().size() == 4 ? "branch" : "gateway");
        if (api == "Y") seen.insert(r["CertiSeno"] == "" ? "enabled, no serial" : "enabled, serial");
        else if (api == "S") seen.insert(r.contains("CertiDate") ? "review, dated" : "review, undated");
        else seen.insert(risk == "S" ? "may apply" : "not enabled");
    }
    EXPECT_EQ(seen, (std::set<std::string>{"risk signed", "risk unsigned", "securities", "sub-brokerage", "branch",
                                           "gateway", "enabled, no serial", "enabled, serial", "review, dated",
                                           "review, undated", "may apply", "not enabled"}));
}

TEST_F(ServiceAuth, CustomerWithoutAccountsGetsEmptyList) {
    Answer a = SignIn("C100000001", "Empty0001");
    ASSERT_EQ(a.State(), 1) << a.body;
    EXPECT_TRUE(a.json["applyList"].is_array());
    EXPECT_TRUE(a.json["applyList"].empty());
    EXPECT_EQ(a.json["branchList"].size(), 5u);
}

TEST_F(ServiceAuth, WrongCredentialsAreRefusedInChinese) {
    const std::pair<const char*, const char*> cases[] = {
        {"A123456789", "demo1234"}, {"A123456789", ""},         {"a123456789", "demo1234"},
        {"Z999999999", "Demo1234"}, {"", ""},                   {"B223456789", "Demo1234"},
    };
    for (const auto& [id, pwd] : cases) {
        Answer a = SignIn(id, pwd);
        EXPECT_EQ(a.status, 200) << id;
        EXPECT_EQ(a.State(), 2) << id << " " << pwd;
        EXPECT_EQ(a.Message(), "身分證字號或密碼錯誤");
        EXPECT_FALSE(a.json.contains("applyList"));
    }
}

// Guessing passwords against one ID: five failures within a minute lock it,
// in either case of its letter and even against the right password; the
// lock spares other IDs and falls on unknown IDs alike, so it tells nothing.
TEST_F(ServiceAuth, FiveWrongPasswordsLockTheId) {
    ASSERT_EQ(SignIn("B223456789", "Test5678").State(), 1);  // clears what other tests left
    for (int i = 0; i < 4; ++i) EXPECT_EQ(SignIn("B223456789", "guess").Message(), "身分證字號或密碼錯誤");
    ASSERT_EQ(SignIn("B223456789", "Test5678").State(), 1) << "four failures do not lock; a success resets them";
    for (auto [id, lower] : {std::pair{"B223456789", "b223456789"}, std::pair{"Z900000001", "z900000001"}}) {
        for (int i = 0; i < 5; ++i) EXPECT_EQ(SignIn(i % 2 ? id : lower, "guess").State(), 2) << id;
        for (const char* pwd : {"guess", "Test5678"}) {
            Answer a = SignIn(id, pwd);
            EXPECT_EQ(a.status, 200);
            EXPECT_EQ(a.State(), 2) << id << " " << pwd;
            EXPECT_EQ(a.Message(), "密碼錯誤次數過多，請一分鐘後再試") << id;
            EXPECT_FALSE(a.json.contains("applyList"));
        }
    }
    EXPECT_EQ(SignIn("A123456789", "Demo1234").State(), 1);
}

// A national ID's letter is the same in either case: the operator answers the
// ID as it keeps it, and the client's certificate check then sees the case.
TEST_F(ServiceAuth, TheIdIsMatchedInEitherCaseAndAnsweredAsKept) {
    Answer a = SignIn("a123456789", "Demo1234");
    ASSERT_EQ(a.State(), 1) << a.body;
    EXPECT_EQ(a.json["id"], "A123456789");
    EXPECT_EQ(a.json["applyList"].size(), 9u);
}

TEST_F(ServiceAuth, PasswordsAreNotStoredInPlainText) {
    std::string db = ReadFile(service_->Dir() + "/kova.db") + ReadFile(service_->Dir() + "/kova.db-wal");
    ASSERT_FALSE(db.empty());
    EXPECT_EQ(db.find("Demo1234"), std::string::npos);
    EXPECT_EQ(db.find("Test5678"), std::string::npos);
}

struct BadRequest {
    const char* what;
    const char* method;
    const char* path;
    const char* contentType;
    std::string body;
    long status;
    const char* error;
};

TEST_F(ServiceAuth, BadRequestsGetAClearJsonError) {
    const std::string form = "application/x-www-form-urlencoded";
    const std::string boundary = "multipart/form-data; boundary=XyZ";
    const BadRequest cases[] = {
        {"no cust_id", "POST", kAuth, form.c_str(), "pwd=a&ipaddr=", 400, "missing_field"},
        {"no ipaddr", "POST", kAuth, form.c_str(), "cust_id=A123456789&pwd=Demo1234", 400, "missing_field"},
        {"multipart to a form call", "POST", kAuth, boundary.c_str(),
         "--XyZ\r\nContent-Disposition: form-data; name=\"cust_id\"\r\n\r\nA\r\n--XyZ--\r\n", 400, "bad_content_type"},
        {"id not UTF-8", "POST", kAuth, form.c_str(), "cust_id=%FF%FE&pwd=a&ipaddr=", 400, "invalid_text"},
        {"id too long", "POST", kAuth, form.c_str(), "cust_id=" + std::string(100, 'A') + "&pwd=a&ipaddr=", 400,
         "field_too_long"},
        {"wrong method", "PUT", kAuth, form.c_str(), "cust_id=A", 405, "method_not_allowed"},
        {"unknown path", "POST", "/kovaapp/api/nothing.do", form.c_str(), "a=b", 404, "not_found"},
        {"body over the limit", "POST", kAuth, form.c_str(), "cust_id=" + std::string(2 << 20, 'A'), 413,
         "payload_too_large"},
        {"malformed multipart", "POST", "/kovaapp/api/signText.do", boundary.c_str(),
         "--XyZ\r\nContent-Disposition: form-data; name=\"text\"\r\n\r\nA123", 400, "bad_request"},
        {"multipart without boundary", "POST", "/kovaapp/api/signText.do", "multipart/form-data", "garbage", 400,
         "bad_request"},
    };
    for (const auto& c : cases) {
        Answer a = PostRaw(service_->Url(c.path), service_->Ca(), c.contentType, c.body, c.method);
        EXPECT_EQ(a.curlCode, 0) << c.what;
        EXPECT_EQ(a.status, c.status) << c.what << ": " << a.body;
        EXPECT_EQ(a.contentType, "application/json; charset=UTF-8") << c.what;
        EXPECT_EQ(a.State(), 0) << c.what;
        EXPECT_FALSE(a.Message().empty()) << c.what;
        EXPECT_EQ(a.json.value("error", ""), c.error) << c.what;
    }
    Answer get = Get(service_->Url(kAuth), service_->Ca());
    EXPECT_EQ(get.status, 405);
    EXPECT_EQ(SignIn("A123456789", "Demo1234").State(), 1) << "the service must survive the bad requests";
}

} // namespace
} // namespace svctest
