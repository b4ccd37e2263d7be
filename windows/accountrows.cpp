#include "windows/accountrows.h"

#include "text/uitext.h"

namespace windows {

namespace {

std::string Dated(const char* before, const std::string& date, const char* after) {
    // "已" + ("於" + date, when there is one) + the rest.
    return UiText(before) + (date.empty() ? std::string() : UiText("於") + date) + UiText(after);
}

} // namespace

AccountRow MakeAccountRow(const KovaCenterRecords::ApiApply& record,
                          const std::vector<KovaCenterRecords::Branch>& branches) {
    AccountRow row;
    row.cells[0] = KovaCenterRecords::GetProductName(record);
    row.cells[1] = KovaCenterRecords::GetBranchName(branches, record);
    row.cells[2] = record.Account;
    const bool signedUp = record.RiskSignStus == "S";
    if (signedUp) {
        const std::string date = KovaCenterRecords::FormatDate(record.RiskSignDate);
        row.cells[3] = UiText("已簽署") + (date.empty() ? std::string() : "\n" + date);
    } else {
        row.cells[3] = UiText("未簽署");
    }
    if (record.APIStus == "Y") {
        const std::string date =
            record.CertiSeno.empty() ? std::string() : KovaCenterRecords::FormatDate(record.UptDate);
        row.cells[4] = UiText("已開通");
        row.cells[5] = Dated("已", date, "開通正式環境權限。");
    } else if (record.APIStus == "S") {
        row.cells[4] = UiText("申請中");
        row.cells[5] = Dated("已", KovaCenterRecords::FormatDate(record.CertiDate), "送出權限申請，審核中。");
    } else if (signedUp) {
        row.cells[4] = UiText("可申請");
        row.cells[5] = UiText("已完成簽署，並具正式環境申請資格，可申請開通權限。");
    } else {
        row.cells[4] = UiText("未開通");
        row.cells[5] = UiText("尚未簽署聲明書，若欲使用此帳號，請立即簽署。");
    }
    return row;
}

bool IsEligible(const std::string& permissionCell) { return permissionCell == UiText("可申請"); }

bool LinkPrefix(const std::string& sentence, std::string* prefix) {
    const size_t at = sentence.find(UiText("請立即簽署"));
    if (at == std::string::npos) return false;
    if (prefix) *prefix = sentence.substr(0, at);
    return true;
}

ui::Rect LinkRect(const ui::Rect& cell, int32_t prefixWidth, int32_t lineHeight) {
    ui::Rect link;
    link.left = cell.left + prefixWidth;
    link.width = cell.width - prefixWidth;
    link.height = lineHeight;
    link.top = cell.top + ui::CentredOffset(cell.height, lineHeight);
    return link;
}

ui::Rect CentredRect(const ui::Rect& cell, int32_t width, int32_t height) {
    ui::Rect r;
    r.left = cell.left + ui::CentredOffset(cell.width, width);
    r.top = cell.top + ui::CentredOffset(cell.height, height);
    r.width = width;
    r.height = height;
    return r;
}

} // namespace windows
