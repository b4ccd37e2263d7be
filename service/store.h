// The service's data in SQLite: customers, their accounts, the branches, the
// applications received and the version manifest. One connection per Store,
// serialised by a mutex, so concurrent requests never interleave a
// check-then-update; other processes (the admin commands) wait on SQLite's lock.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "database.h"
#include "password.h"

namespace kovasvc {

// Members named after the answer's JSON keys. Dates are "YYYY-MM-DD HH:MM:SS"
// or empty (no date).
struct Account {
    std::string CustID, Prod, BranchNo, Account, RiskSignStus, RiskSignDate;
    std::string APIStus, CertiSeno, CertiDate, CustIP, Act, UptDate;
};

struct Branch {
    std::string gatway_no, branch_no, branch_name;
};

struct Customer {
    std::string id, name;
    PasswordHash password;
};

struct Manifest {
    std::string version;
    std::string file;  // name under DIR/download, empty when no download is offered
    std::string url;   // explicit address; empty means "built from the request's host"
};

// A name fit for DIR/download and for /download/API/NAME: letters, digits and
// "._-", 1..100 bytes, not hidden and not the manifest's own name.
bool SafeDownloadName(const std::string& name);

struct Application {
    std::string custId, branch, account, ipaddr, serial, subjectCn, peer, received;
};

enum class ApplyOutcome { Ok, NoCustomer, NoAccount, RiskUnsigned, AlreadyEnabled, UnderReview, Failed };

class Store {
public:
    static std::string DatabasePath(const std::string& dir);
    // Creates a new database with the schema; false when one already exists.
    bool Create(const std::string& dir, std::string& error);
    bool Open(const std::string& dir, std::string& error);

    bool AddCustomer(const Customer& c);
    bool AddAccount(const Account& a);
    bool AddBranch(const Branch& b, int order);

    std::optional<Customer> FindCustomer(const std::string& id);
    std::vector<Account> Accounts(const std::string& custId);
    std::vector<Account> AllAccounts();
    std::vector<Branch> Branches();
    std::vector<Application> Applications();

    // Checks the account and its states and records the application in one
    // transaction; on Ok `updated` holds the record as it now stands.
    ApplyOutcome Apply(const Application& app, Account& updated);
    // The operator's review: "S" -> "Y" with UptDate = now. False with a reason.
    bool Approve(const std::string& custId, const std::string& branch, const std::string& account,
                 std::string& error);

    Manifest GetManifest();
    bool SetManifest(const Manifest& m);

private:
    // The customer's first account with that branch and number, and its row id.
    std::optional<Account> FindAccountLocked(const std::string& custId, const std::string& branch,
                                             const std::string& account, std::int64_t& rowId);

    std::mutex mutex_;
    Database db_;
};

} // namespace kovasvc
