#include "records_json.h"

namespace kovasvc {
namespace {

void PutDate(Json& j, const char* key, const std::string& date) {
    if (!date.empty()) j[key] = date;
}

} // namespace

Json AccountJson(const Account& a) {
    Json j;
    j["CustID"] = a.CustID;
    j["Prod"] = a.Prod;
    j["BranchNo"] = a.BranchNo;
    j["Account"] = a.Account;
    j["RiskSignStus"] = a.RiskSignStus;
    PutDate(j, "RiskSignDate", a.RiskSignDate);
    j["APIStus"] = a.APIStus;
    j["CertiSeno"] = a.CertiSeno;
    PutDate(j, "CertiDate", a.CertiDate);
    j["CustIP"] = a.CustIP;
    j["Act"] = a.Act;
    PutDate(j, "UptDate", a.UptDate);
    return j;
}

Json BranchJson(const Branch& b) {
    return Json{{"gatway_no", b.gatway_no}, {"branch_no", b.branch_no}, {"branch_name", b.branch_name}};
}

} // namespace kovasvc
