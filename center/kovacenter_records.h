// The service's records and the small operations on them. KovaCenter derives
// from KovaCenterRecords, so the records are spelled KovaCenter::ApiApply,
// KovaCenter::Branch and KovaCenter::SignResult; the list lookups take the
// list explicitly here and KovaCenter wraps them over its own lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "json/xmlnode.h"

// Broken-down calendar time, the layout of struct tm. A zero date (tm_year 0)
// means "no date".
struct DateTime {
    int32_t tm_sec = 0;
    int32_t tm_min = 0;
    int32_t tm_hour = 0;
    int32_t tm_mday = 0;   // 1-based
    int32_t tm_mon = 0;    // 0-based
    int32_t tm_year = 0;   // years since 1900
    int32_t tm_wday = 0;   // always 0
    int32_t tm_yday = 0;   // always 0
    int32_t tm_isdst = 0;  // always 0
};

struct KovaCenterRecords {
    // One account of the customer. Field names are the JSON keys.
    struct ApiApply {
        std::string CustID;
        std::string Prod;          // "S" securities, anything else sub-brokerage
        std::string BranchNo;      // 4 characters: branch number; 3: gateway number
        std::string Account;
        std::string RiskSignStus;  // "S" signed
        DateTime RiskSignDate;
        std::string APIStus;       // "Y" enabled, "S" under review
        std::string CertiSeno;
        DateTime CertiDate;
        std::string CustIP;
        std::string Act;
        DateTime UptDate;
    };

    struct Branch {
        std::string gatway_no;  // the service spells the key this way
        std::string branch_no;
        std::string branch_name;
    };

    struct SignResult {
        std::string signature;
        std::string alias;
        std::string serial;
        std::string subject_cn;
    };

    // Readers: each field whose member is present in `node` takes its value
    // (dates through ReadDate); absent members leave the field as it was.
    static void ParseApiApply(ApiApply& record, XMLNode& node);
    static void ParseBranch(Branch& record, XMLNode& node);
    static void ParseSignResult(SignResult& record, XMLNode& node);

    // "證券" for Prod "S" exactly, otherwise "複委託", in the process code page.
    static std::string GetProductName(const ApiApply& record);
    // The name of the branch FindBranch finds for BranchNo, else BranchNo itself.
    static std::string GetBranchName(const std::vector<Branch>& branches, const ApiApply& record);
    // "2021/03/05" for a date with tm_year > 0, otherwise "".
    static std::string FormatDate(const DateTime& date);

    // The first branch whose branch_no (4-character number) or gatway_no
    // (3-character number) equals `number`; null for other lengths or no match.
    static const Branch* FindBranch(const std::vector<Branch>& branches, const std::string& number);
    // The first record with this BranchNo and Account; null when none.
    static ApiApply* FindApiApply(std::vector<ApiApply>& records, const std::string& branch,
                                  const std::string& account);
};

// "2021-03-05 14:07:09" and the like: six integers separated by single
// characters. Reading stops at the first missing number, leaving the later
// fields at their start values (day 1, the rest 0); an empty text gives the
// zero date.
void ReadDate(const std::string& text, DateTime& date);
// Skips leading white space, reads an optional sign and decimal digits into
// `value`, saturating at the int32 range, and advances `p`. False, with `p`
// and `value` unchanged, when no digit follows. Never reads at or past `end`.
bool ReadInt(const char*& p, const char* end, int32_t& value);
