// The account list's texts for every account state, and where its link and
// apply button lie.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/uitext.h"
#include "windows/accountrows.h"

namespace {

using Record = KovaCenterRecords::ApiApply;
using Branch = KovaCenterRecords::Branch;

DateTime Date(int y, int m, int d) {
    DateTime t;
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    return t;
}

Record Make(const char* prod, const char* branch, const char* risk, const char* api) {
    Record r;
    r.Prod = prod;
    r.BranchNo = branch;
    r.Account = "1234567";
    r.RiskSignStus = risk;
    r.APIStus = api;
    return r;
}

// Names arrive in the process code page, as the JSON reader hands them over.
std::vector<Branch> Branches() { return {{"001", "0012", UiText("台北分公司")}}; }

TEST(AccountRows, EveryStateHasItsWordsAndSentence) {
    struct Case {
        Record record;
        const char *risk, *word, *sentence;
    };
    Record enabled = Make("H", "001", "S", "Y");
    enabled.CertiSeno = "0A1B";
    enabled.UptDate = Date(2024, 6, 10);
    Record enabledNoSerial = enabled;  // the date counts only with a certificate serial
    enabledNoSerial.CertiSeno.clear();
    Record review = Make("S", "0012", "S", "S");
    review.CertiDate = Date(2024, 6, 2);
    review.RiskSignDate = Date(2024, 5, 1);
    const Case cases[] = {
        {enabled, "已簽署", "已開通", "已於2024/06/10開通正式環境權限。"},
        {enabledNoSerial, "已簽署", "已開通", "已開通正式環境權限。"},
        {review, "已簽署\n2024/05/01", "申請中", "已於2024/06/02送出權限申請，審核中。"},
        {Make("S", "0012", "S", "S"), "已簽署", "申請中", "已送出權限申請，審核中。"},
        {Make("S", "0012", "S", "N"), "已簽署", "可申請", "已完成簽署，並具正式環境申請資格，可申請開通權限。"},
        {Make("S", "0012", "s", ""), "未簽署", "未開通", "尚未簽署聲明書，若欲使用此帳號，請立即簽署。"},
    };
    for (const Case& c : cases) {
        windows::AccountRow row = windows::MakeAccountRow(c.record, Branches());
        EXPECT_EQ(UiText(c.risk), row.cells[3]) << c.word;
        EXPECT_EQ(UiText(c.word), row.cells[4]);
        EXPECT_EQ(UiText(c.sentence), row.cells[5]);
        EXPECT_EQ(c.record.Account, row.cells[2]);
        EXPECT_EQ(std::string(c.word) == "可申請", windows::IsEligible(row.cells[4])) << c.word;
    }
}

TEST(AccountRows, ProductAndBranchNames) {
    windows::AccountRow row = windows::MakeAccountRow(Make("S", "0012", "S", ""), Branches());
    EXPECT_EQ(UiText("證券"), row.cells[0]);
    EXPECT_EQ(UiText("台北分公司"), row.cells[1]);
    row = windows::MakeAccountRow(Make("H", "0099", "S", ""), Branches());
    EXPECT_EQ(UiText("複委託"), row.cells[0]);
    EXPECT_EQ("0099", row.cells[1]) << "a branch the list lacks shows its number";
}

TEST(AccountRows, TheLinkFollowsItsPrefixAndIsCentredInTheCell) {
    std::string prefix;
    ASSERT_TRUE(windows::LinkPrefix(UiText("尚未簽署聲明書，若欲使用此帳號，請立即簽署。"), &prefix));
    EXPECT_EQ(UiText("尚未簽署聲明書，若欲使用此帳號，"), prefix);
    EXPECT_FALSE(windows::LinkPrefix(UiText("已開通正式環境權限。"), &prefix));

    ui::Rect cell;
    cell.left = 520;
    cell.top = 65;
    cell.width = 440;
    cell.height = 65;
    ui::Rect link = windows::LinkRect(cell, 256, 22);
    EXPECT_EQ(776, link.left);
    EXPECT_EQ(184, link.width);  // to the cell's right edge
    EXPECT_EQ(65 + 21, link.top);  // (65 - 22) / 2, toward zero
    EXPECT_EQ(22, link.height);
    ui::Point p;
    p.x = 776;
    p.y = 86;
    EXPECT_TRUE(link.Contains(p));
    p.x = 775;
    EXPECT_FALSE(link.Contains(p)) << "left of the link is the sentence";
    p.x = 959;
    p.y = 107;
    EXPECT_TRUE(link.Contains(p));
    p.y = 108;
    EXPECT_FALSE(link.Contains(p)) << "the bottom edge is outside";
}

TEST(AccountRows, TheApplyButtonIsThePictureCentredInItsCell) {
    ui::Rect cell;
    cell.left = 980;
    cell.top = 130;
    cell.width = 120;
    cell.height = 65;
    ui::Rect b = windows::CentredRect(cell, 100, 32);
    EXPECT_EQ(990, b.left);
    EXPECT_EQ(146, b.top);  // (65 - 32) / 2 = 16
    EXPECT_EQ(100, b.width);
    EXPECT_EQ(32, b.height);
    ui::Point beside;
    beside.x = 985;
    beside.y = 160;
    EXPECT_FALSE(b.Contains(beside)) << "a click beside the picture in its cell";
}

} // namespace
