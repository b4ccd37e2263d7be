// How an Account is kept in the accounts table: each column beside the member
// it fills, in the one list that every query reading or writing a whole
// account is built from. Two lists kept by hand would drift apart, and a
// column read one place off lands in the wrong member without any error.
#pragma once

#include <iterator>
#include <string>

#include "database.h"
#include "store.h"

namespace kovasvc {

struct AccountColumn {
    const char* name;
    std::string Account::*member;
};

inline constexpr AccountColumn kAccountColumns[] = {
    {"cust_id", &Account::CustID},
    {"prod", &Account::Prod},
    {"branch_no", &Account::BranchNo},
    {"account", &Account::Account},
    {"risk_sign_stus", &Account::RiskSignStus},
    {"risk_sign_date", &Account::RiskSignDate},
    {"api_stus", &Account::APIStus},
    {"certi_seno", &Account::CertiSeno},
    {"certi_date", &Account::CertiDate},
    {"cust_ip", &Account::CustIP},
    {"act", &Account::Act},
    {"upt_date", &Account::UptDate},
};
inline constexpr int kAccountColumnCount = static_cast<int>(std::size(kAccountColumns));

constexpr bool EveryMemberOnce() {
    for (int i = 0; i < kAccountColumnCount; ++i)
        for (int j = i + 1; j < kAccountColumnCount; ++j)
            if (kAccountColumns[i].member == kAccountColumns[j].member) return false;
    return true;
}
// A member added to Account without its column would never be stored.
static_assert(sizeof(Account) == kAccountColumnCount * sizeof(std::string) && EveryMemberOnce(),
              "every member of Account has exactly one column");

// "cust_id, prod, ...": the columns in the list's order.
inline std::string AccountColumnNames() {
    std::string out;
    for (const AccountColumn& c : kAccountColumns) out += (out.empty() ? "" : ", ") + std::string(c.name);
    return out;
}

// "?, ?, ...": one parameter per column, for an INSERT of AccountColumnNames().
inline std::string AccountParameters() {
    std::string out = "?";
    for (int i = 1; i < kAccountColumnCount; ++i) out += ", ?";
    return out;
}

// Binds the members to parameters 1..kAccountColumnCount.
inline Statement& BindAccount(Statement& s, const Account& a) {
    for (int i = 0; i < kAccountColumnCount; ++i) s.Bind(i + 1, a.*kAccountColumns[i].member);
    return s;
}

// The account in the current row of a query whose first columns are
// AccountColumnNames(); the query's further columns start at kAccountColumnCount.
inline Account ReadAccount(const Statement& s) {
    Account a;
    for (int i = 0; i < kAccountColumnCount; ++i) a.*kAccountColumns[i].member = s.Text(i);
    return a;
}

} // namespace kovasvc
