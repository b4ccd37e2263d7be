#include "store.h"

#include <sys/stat.h>

#include "accountrow.h"

namespace kovasvc {
namespace {

const char* const kSchema = R"(
CREATE TABLE customers (
  cust_id TEXT PRIMARY KEY, name TEXT NOT NULL,
  pwd_salt BLOB NOT NULL, pwd_hash BLOB NOT NULL, pwd_iterations INTEGER NOT NULL);
CREATE TABLE accounts (
  id INTEGER PRIMARY KEY, cust_id TEXT NOT NULL REFERENCES customers(cust_id),
  prod TEXT NOT NULL, branch_no TEXT NOT NULL, account TEXT NOT NULL,
  risk_sign_stus TEXT NOT NULL, risk_sign_date TEXT NOT NULL,
  api_stus TEXT NOT NULL, certi_seno TEXT NOT NULL, certi_date TEXT NOT NULL,
  cust_ip TEXT NOT NULL, act TEXT NOT NULL, upt_date TEXT NOT NULL);
CREATE INDEX accounts_by_customer ON accounts(cust_id);
CREATE TABLE branches (
  ord INTEGER NOT NULL, gatway_no TEXT NOT NULL, branch_no TEXT NOT NULL, branch_name TEXT NOT NULL);
CREATE TABLE applications (
  id INTEGER PRIMARY KEY, cust_id TEXT NOT NULL, branch_no TEXT NOT NULL, account TEXT NOT NULL,
  ipaddr TEXT NOT NULL, serial TEXT NOT NULL, subject_cn TEXT NOT NULL, peer TEXT NOT NULL,
  received TEXT NOT NULL);
CREATE TABLE manifest (
  id INTEGER PRIMARY KEY CHECK (id = 1), version TEXT NOT NULL, file TEXT NOT NULL, url TEXT NOT NULL);
)";

} // namespace

bool SafeDownloadName(const std::string& name) {
    if (name.empty() || name.size() > 100 || name == "kovaapp.json" || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string Store::DatabasePath(const std::string& dir) { return dir + "/kova.db"; }

bool Store::Create(const std::string& dir, std::string& error) {
    struct stat st {};
    if (stat(DatabasePath(dir).c_str(), &st) == 0) {
        error = DatabasePath(dir) + " already exists";
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    // A new data set offers the program's own version: no update until the
    // operator sets another.
    if (!db_.Open(DatabasePath(dir), true) || !db_.Exec(kSchema) ||
        !db_.Prepare("INSERT INTO manifest VALUES (1, ?, '', '')").Bind(1, KOVA_VERSION).Run()) {
        error = db_.LastError();
        return false;
    }
    return true;
}

bool Store::Open(const std::string& dir, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!db_.Open(DatabasePath(dir), false)) {
        error = DatabasePath(dir) + ": " + db_.LastError();
        return false;
    }
    return true;
}

bool Store::AddCustomer(const Customer& c) {
    std::lock_guard<std::mutex> lock(mutex_);
    return db_.Prepare("INSERT INTO customers VALUES (?, ?, ?, ?, ?)")
        .Bind(1, c.id).Bind(2, c.name).BindBlob(3, c.password.salt).BindBlob(4, c.password.hash)
        .Bind(5, static_cast<std::int64_t>(c.password.iterations)).Run();
}

bool Store::AddAccount(const Account& a) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s = db_.Prepare("INSERT INTO accounts (" + AccountColumnNames() + ") VALUES (" +
                              AccountParameters() + ")");
    return BindAccount(s, a).Run();
}

bool Store::AddBranch(const Branch& b, int order) {
    std::lock_guard<std::mutex> lock(mutex_);
    return db_.Prepare("INSERT INTO branches VALUES (?, ?, ?, ?)")
        .Bind(1, static_cast<std::int64_t>(order)).Bind(2, b.gatway_no).Bind(3, b.branch_no)
        .Bind(4, b.branch_name).Run();
}

std::optional<Customer> Store::FindCustomer(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s = db_.Prepare(
        "SELECT cust_id, name, pwd_salt, pwd_hash, pwd_iterations FROM customers WHERE cust_id = ? COLLATE NOCASE");
    s.Bind(1, id);
    if (!s.Next()) return std::nullopt;
    Customer c;
    c.id = s.Text(0);
    c.name = s.Text(1);
    c.password.salt = s.Blob(2);
    c.password.hash = s.Blob(3);
    std::int64_t iterations = s.Int(4);
    c.password.iterations = iterations > 0 && iterations < (1 << 30) ? static_cast<int>(iterations) : 0;
    return c;
}

std::vector<Account> Store::Accounts(const std::string& custId) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s = db_.Prepare("SELECT " + AccountColumnNames() + " FROM accounts WHERE cust_id = ? ORDER BY id");
    s.Bind(1, custId);
    std::vector<Account> out;
    while (s.Next()) out.push_back(ReadAccount(s));
    return out;
}

std::vector<Account> Store::AllAccounts() {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s = db_.Prepare("SELECT " + AccountColumnNames() + " FROM accounts ORDER BY id");
    std::vector<Account> out;
    while (s.Next()) out.push_back(ReadAccount(s));
    return out;
}

std::vector<Branch> Store::Branches() {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s = db_.Prepare("SELECT gatway_no, branch_no, branch_name FROM branches ORDER BY ord, rowid");
    std::vector<Branch> out;
    while (s.Next()) out.push_back(Branch{s.Text(0), s.Text(1), s.Text(2)});
    return out;
}

std::vector<Application> Store::Applications() {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s = db_.Prepare(
        "SELECT cust_id, branch_no, account, ipaddr, serial, subject_cn, peer, received "
        "FROM applications ORDER BY id");
    std::vector<Application> out;
    while (s.Next()) {
        out.push_back(Application{s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4), s.Text(5),
                                  s.Text(6), s.Text(7)});
    }
    return out;
}

Manifest Store::GetManifest() {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s = db_.Prepare("SELECT version, file, url FROM manifest WHERE id = 1");
    Manifest m;
    if (s.Next()) {
        m.version = s.Text(0);
        m.file = s.Text(1);
        m.url = s.Text(2);
    }
    return m;
}

bool Store::SetManifest(const Manifest& m) {
    std::lock_guard<std::mutex> lock(mutex_);
    return db_.Prepare("UPDATE manifest SET version = ?, file = ?, url = ? WHERE id = 1")
        .Bind(1, m.version).Bind(2, m.file).Bind(3, m.url).Run();
}

} // namespace kovasvc
