// The two writes of an account's API state: the customer's application and
// the operator's approval. Each runs check and update in one transaction.
#include "store.h"

#include "accountrow.h"
#include "clock.h"

namespace kovasvc {

std::optional<Account> Store::FindAccountLocked(const std::string& custId, const std::string& branch,
                                                const std::string& account, std::int64_t& rowId) {
    Statement s = db_.Prepare("SELECT " + AccountColumnNames() +
                              ", id FROM accounts "
                              "WHERE cust_id = ? AND branch_no = ? AND account = ? ORDER BY id LIMIT 1");
    s.Bind(1, custId).Bind(2, branch).Bind(3, account);
    if (!s.Next()) return std::nullopt;
    rowId = s.Int(kAccountColumnCount);
    return ReadAccount(s);
}

ApplyOutcome Store::Apply(const Application& app, Account& updated) {
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction tx(db_);
    if (!tx.Began()) return ApplyOutcome::Failed;
    {
        Statement c = db_.Prepare("SELECT 1 FROM customers WHERE cust_id = ?");
        c.Bind(1, app.custId);
        if (!c.Next()) return ApplyOutcome::NoCustomer;
    }
    std::int64_t rowId = 0;
    std::optional<Account> found = FindAccountLocked(app.custId, app.branch, app.account, rowId);
    if (!found) return ApplyOutcome::NoAccount;
    if (found->RiskSignStus != "S") return ApplyOutcome::RiskUnsigned;
    if (found->APIStus == "Y") return ApplyOutcome::AlreadyEnabled;
    if (found->APIStus == "S") return ApplyOutcome::UnderReview;

    bool ok = db_.Prepare("UPDATE accounts SET api_stus = 'S', certi_seno = ?, certi_date = ?, cust_ip = ?, "
                          "upt_date = ? WHERE id = ?")
                  .Bind(1, app.serial).Bind(2, app.received).Bind(3, app.ipaddr).Bind(4, app.received)
                  .Bind(5, rowId).Run() &&
              db_.Prepare("INSERT INTO applications (cust_id, branch_no, account, ipaddr, serial, subject_cn, "
                          "peer, received) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
                  .Bind(1, app.custId).Bind(2, app.branch).Bind(3, app.account).Bind(4, app.ipaddr)
                  .Bind(5, app.serial).Bind(6, app.subjectCn).Bind(7, app.peer).Bind(8, app.received).Run();
    if (!ok || !tx.Commit()) return ApplyOutcome::Failed;
    updated = *found;
    updated.APIStus = "S";
    updated.CertiSeno = app.serial;
    updated.CertiDate = app.received;
    updated.CustIP = app.ipaddr;
    updated.UptDate = app.received;
    return ApplyOutcome::Ok;
}

bool Store::Approve(const std::string& custId, const std::string& branch, const std::string& account,
                    std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction tx(db_);
    if (!tx.Began()) {
        error = db_.LastError();
        return false;
    }
    std::int64_t rowId = 0;
    std::optional<Account> found = FindAccountLocked(custId, branch, account, rowId);
    if (!found) {
        error = "no account " + branch + "/" + account + " of customer " + custId;
        return false;
    }
    if (found->APIStus != "S") {
        error = "account " + branch + "/" + account + " has APIStus \"" + found->APIStus + "\", not \"S\"";
        return false;
    }
    if (!db_.Prepare("UPDATE accounts SET api_stus = 'Y', upt_date = ? WHERE id = ?")
             .Bind(1, NowText()).Bind(2, rowId).Run() ||
        !tx.Commit()) {
        error = db_.LastError();
        return false;
    }
    return true;
}

} // namespace kovasvc
