#include <cstdio>

#include "center/kovacenter_records.h"
#include "text/uitext.h"

namespace {

void ReadText(XMLNode& node, const char* key, std::string& field) {
    if (XMLNode* member = node.FindFirst(key)) field = member->value;
}

void ReadDateField(XMLNode& node, const char* key, DateTime& field) {
    if (XMLNode* member = node.FindFirst(key)) ReadDate(member->value, field);
}

} // namespace

void KovaCenterRecords::ParseApiApply(ApiApply& record, XMLNode& node) {
    ReadText(node, "CustID", record.CustID);
    ReadText(node, "Prod", record.Prod);
    ReadText(node, "BranchNo", record.BranchNo);
    ReadText(node, "Account", record.Account);
    ReadText(node, "RiskSignStus", record.RiskSignStus);
    ReadDateField(node, "RiskSignDate", record.RiskSignDate);
    ReadText(node, "APIStus", record.APIStus);
    ReadText(node, "CertiSeno", record.CertiSeno);
    ReadDateField(node, "CertiDate", record.CertiDate);
    ReadText(node, "CustIP", record.CustIP);
    ReadText(node, "Act", record.Act);
    ReadDateField(node, "UptDate", record.UptDate);
}

void KovaCenterRecords::ParseBranch(Branch& record, XMLNode& node) {
    ReadText(node, "gatway_no", record.gatway_no);
    ReadText(node, "branch_no", record.branch_no);
    ReadText(node, "branch_name", record.branch_name);
}

void KovaCenterRecords::ParseSignResult(SignResult& record, XMLNode& node) {
    ReadText(node, "signature", record.signature);
    ReadText(node, "alias", record.alias);
    ReadText(node, "serial", record.serial);
    ReadText(node, "subject_cn", record.subject_cn);
}

std::string KovaCenterRecords::GetProductName(const ApiApply& record) {
    return UiText(record.Prod == "S" ? "證券" : "複委託");
}

std::string KovaCenterRecords::GetBranchName(const std::vector<Branch>& branches, const ApiApply& record) {
    const Branch* branch = FindBranch(branches, record.BranchNo);
    return branch ? branch->branch_name : record.BranchNo;
}

std::string KovaCenterRecords::FormatDate(const DateTime& date) {
    if (date.tm_year <= 0) return std::string();
    // 64-bit: a saturated year or month read from the wire must not wrap.
    char text[64];
    std::snprintf(text, sizeof text, "%lld/%02lld/%02lld", static_cast<long long>(date.tm_year) + 1900,
                  static_cast<long long>(date.tm_mon) + 1, static_cast<long long>(date.tm_mday));
    return text;
}

const KovaCenterRecords::Branch* KovaCenterRecords::FindBranch(const std::vector<Branch>& branches,
                                                               const std::string& number) {
    if (number.size() != 4 && number.size() != 3) return nullptr;
    for (const Branch& branch : branches) {
        const std::string& key = number.size() == 4 ? branch.branch_no : branch.gatway_no;
        if (key == number) return &branch;
    }
    return nullptr;
}

KovaCenterRecords::ApiApply* KovaCenterRecords::FindApiApply(std::vector<ApiApply>& records,
                                                             const std::string& branch,
                                                             const std::string& account) {
    for (ApiApply& record : records) {
        if (record.BranchNo == branch && record.Account == account) return &record;
    }
    return nullptr;
}
