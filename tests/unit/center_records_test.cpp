#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "center/kovacenter_records.h"
#include "json/jsonreader.h"
#include "text/encoding.h"
#include "text/uitext.h"

typedef KovaCenterRecords R;

namespace {

std::string Ansi(const std::string& utf8) {
    std::string out;
    Utf8ToAnsi(utf8, out);
    return out;
}

std::vector<int32_t> Fields(const DateTime& d) {
    return {d.tm_year, d.tm_mon, d.tm_mday, d.tm_hour, d.tm_min, d.tm_sec, d.tm_wday, d.tm_yday, d.tm_isdst};
}

} // namespace

TEST(ReadDate, SixIntegersAndWhereReadingStops) {
    struct Case {
        const char* text;
        std::vector<int32_t> fields;  // year-1900, month-1, day, h, m, s, 0, 0, 0
        const char* formatted;
    };
    const Case cases[] = {
        {"2021-03-05 14:07:09", {121, 2, 5, 14, 7, 9, 0, 0, 0}, "2021/03/05"},
        {"2021/03/05 14:07:09", {121, 2, 5, 14, 7, 9, 0, 0, 0}, "2021/03/05"},
        {"2020-1-5", {120, 0, 5, 0, 0, 0, 0, 0, 0}, "2020/01/05"},
        {" 2021-03-05T1:2:3", {121, 2, 5, 1, 2, 3, 0, 0, 0}, "2021/03/05"},
        {"2021--3", {121, -4, 1, 0, 0, 0, 0, 0, 0}, "2021/-3/01"},  // one - skipped, then -3 read
        {"", {0, 0, 1, 0, 0, 0, 0, 0, 0}, ""},
        {"abc", {0, 0, 1, 0, 0, 0, 0, 0, 0}, ""},
        {"2021", {121, 0, 1, 0, 0, 0, 0, 0, 0}, "2021/01/01"},
        {"1900-01-01", {0, 0, 1, 0, 0, 0, 0, 0, 0}, ""},
        // Long digit runs saturate; formatting does not wrap either.
        {"99999999999999999999-99999999999-1", {INT_MAX - 1900, INT_MAX - 1, 1, 0, 0, 0, 0, 0, 0},
         "2147483647/2147483647/01"},
        {"-99999999999-1-1", {INT_MIN, 0, 1, 0, 0, 0, 0, 0, 0}, ""},
    };
    for (const Case& c : cases) {
        DateTime d;
        d.tm_wday = 7;  // every field is reset
        ReadDate(c.text, d);
        EXPECT_EQ(c.fields, Fields(d)) << c.text;
        EXPECT_EQ(c.formatted, R::FormatDate(d)) << c.text;
    }
}

TEST(ReadInt, SignsSpacesAndSaturation) {
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
        size_t consumed;
    };
    const Case cases[] = {
        {"  42x", true, 42, 4},       {"-7", true, -7, 2},
        {"+8", true, 8, 2},           {"+", false, 99, 0},
        {"- 5", false, 99, 0},        {"", false, 99, 0},
        {"x1", false, 99, 0},         {"2147483647", true, INT_MAX, 10},
        {"2147483648", true, INT_MAX, 10},
        {"-2147483648", true, INT_MIN, 11},
        {"-99999999999999999999999", true, INT_MIN, 24},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        const char* p = text.data();
        int32_t value = 99;
        EXPECT_EQ(c.ok, ReadInt(p, text.data() + text.size(), value)) << c.text;
        EXPECT_EQ(c.value, value) << c.text;
        EXPECT_EQ(c.consumed, static_cast<size_t>(p - text.data())) << c.text;
    }
}

namespace {

// A userAuth answer of `count` accounts over three branches, UTF-8 as the
// service sends it; the names come raw and as \u escapes.
std::string UserAuthAnswer(int count) {
    std::string t = "{\"state\":1,\"message\":\"\",\"name\":\"\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E\",\"applyList\":[";
    for (int i = 0; i < count; ++i) {
        char buf[512];
        const char* branch = i % 4 == 0 ? "0012" : i % 4 == 1 ? "001" : i % 4 == 2 ? "00123" : "9999";
        std::snprintf(buf, sizeof buf,
                      "%s{\"CustID\":\"A123456789\",\"Prod\":\"%s\",\"BranchNo\":\"%s\",\"Account\":\"%07d\","
                      "\"RiskSignStus\":\"%s\",%s\"APIStus\":\"%s\",\"CertiSeno\":\"%s\","
                      "\"CertiDate\":\"2021-03-%02d 14:07:09\",\"CustIP\":\"127.0.0.1\",\"Act\":null,"
                      "\"UptDate\":\"2022-1-%d 08:00:00\"}",
                      i ? "," : "", i % 3 ? "s" : "S", branch, i, i % 2 ? "N" : "S",
                      i % 5 ? "\"RiskSignDate\":\"2020/12/31 23:59:59\"," : "", i % 2 ? "Y" : "S",
                      i % 2 ? "12AB" : "", i % 28 + 1, i % 28 + 1);
        t += buf;
    }
    t += "],\"branchList\":[{\"gatway_no\":\"001\",\"branch_no\":\"0012\",\"branch_name\":\"\\u53f0\\u5317\"},"
         "{\"gatway_no\":\"002\",\"branch_no\":\"0012\",\"branch_name\":\"second\"},"
         "{\"gatway_no\":\"003\",\"branch_no\":\"0034\",\"branch_name\":\"\xE6\x96\xB0\xE7\xAB\xB9\"}]}";
    return t;
}

} // namespace

TEST(ServiceRecords, TwoHundredAccountAnswer) {
    std::string ansi;
    ASSERT_TRUE(Utf8ToAnsi(UserAuthAnswer(200), ansi));
    XMLNode root;
    ASSERT_TRUE(ParseJSON(ansi, root));
    std::vector<R::ApiApply> accounts;
    for (XMLNode* n = root.FindFirst("applyList"); n; n = root.FindNext()) {
        accounts.emplace_back();
        R::ParseApiApply(accounts.back(), *n);
    }
    std::vector<R::Branch> branches;
    for (XMLNode* n = root.FindFirst("branchList"); n; n = root.FindNext()) {
        branches.emplace_back();
        R::ParseBranch(branches.back(), *n);
    }
    ASSERT_EQ(200u, accounts.size());
    ASSERT_EQ(3u, branches.size());
    EXPECT_EQ(Ansi("\xE5\x8F\xB0\xE5\x8C\x97"), branches[0].branch_name);  // 台北 from escapes
    for (int i = 0; i < 200; ++i) {
        const R::ApiApply& a = accounts[static_cast<size_t>(i)];
        char account[16], uptDate[16], certiDate[16];
        std::snprintf(account, sizeof account, "%07d", i);
        std::snprintf(uptDate, sizeof uptDate, "2022/01/%02d", i % 28 + 1);
        std::snprintf(certiDate, sizeof certiDate, "2021/03/%02d", i % 28 + 1);
        SCOPED_TRACE(i);
        EXPECT_EQ(account, a.Account);
        EXPECT_EQ(UiText(i % 3 ? "複委託" : "證券"), R::GetProductName(a));  // "s" is not "S"
        EXPECT_EQ(i % 5 ? "2020/12/31" : "", R::FormatDate(a.RiskSignDate));
        EXPECT_EQ(certiDate, R::FormatDate(a.CertiDate));
        EXPECT_EQ(uptDate, R::FormatDate(a.UptDate));
        EXPECT_EQ(14, a.CertiDate.tm_hour);
        EXPECT_TRUE(a.Act.empty());
        // 4 characters: branch_no, first match; 3: gatway_no; others unchanged.
        const std::string expected[] = {Ansi("\xE5\x8F\xB0\xE5\x8C\x97"), Ansi("\xE5\x8F\xB0\xE5\x8C\x97"), "00123",
                                        "9999"};
        EXPECT_EQ(expected[i % 4], R::GetBranchName(branches, a));
    }
    EXPECT_EQ(&branches[2], R::FindBranch(branches, "0034"));
    EXPECT_EQ(&branches[1], R::FindBranch(branches, "002"));
    EXPECT_EQ(nullptr, R::FindBranch(branches, "02"));
    EXPECT_EQ(nullptr, R::FindBranch(branches, "0034 "));
}

TEST(ServiceRecords, DuplicateAccountsResolveToTheFirstAndApplyUpdatesOnlyIt) {
    std::vector<R::ApiApply> accounts(3);
    const char* answers[] = {
        "{\"BranchNo\":\"0012\",\"Account\":\"77\",\"APIStus\":\"N\",\"CustIP\":\"1.1.1.1\"}",
        "{\"BranchNo\":\"0012\",\"Account\":\"77\",\"APIStus\":\"N\",\"CustIP\":\"2.2.2.2\"}",
        "{\"BranchNo\":\"0012\",\"Account\":\"78\",\"APIStus\":\"N\"}",
    };
    for (size_t i = 0; i < 3; ++i) {
        XMLNode node;
        ASSERT_TRUE(ParseJSON(answers[i], node));
        R::ParseApiApply(accounts[i], node);
    }
    R::ApiApply* found = R::FindApiApply(accounts, "0012", "77");
    ASSERT_EQ(&accounts[0], found);
    EXPECT_EQ(nullptr, R::FindApiApply(accounts, "0012", "7"));
    XMLNode answer;
    ASSERT_TRUE(ParseJSON("{\"state\":1,\"data\":{\"APIStus\":\"S\"}}", answer));
    R::ParseApiApply(*found, answer.Child("data"));
    EXPECT_EQ("S", accounts[0].APIStus);
    EXPECT_EQ("1.1.1.1", accounts[0].CustIP);
    EXPECT_EQ("0012", accounts[0].BranchNo);
    EXPECT_EQ("N", accounts[1].APIStus);
}

TEST(ServiceRecords, SignResultKeepsFieldsTheAnswerLacks) {
    R::SignResult result;
    result.alias = "old";
    result.serial = "old";
    XMLNode root;
    ASSERT_TRUE(ParseJSON("{\"state\":1,\"signature\":\"c2ln\",\"serial\":\"0A1B\",\"subject_cn\":\"A123456789\"}", root));
    R::ParseSignResult(result, root);
    EXPECT_EQ("c2ln", result.signature);
    EXPECT_EQ("old", result.alias);
    EXPECT_EQ("0A1B", result.serial);
    EXPECT_EQ("A123456789", result.subject_cn);
}
