#include "seed.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "answer.h"
#include "certgen.h"
#include "password.h"
#include "pkcs12.h"
#include "store.h"

namespace kovasvc {
namespace {

struct DemoCustomer {
    const char* id;
    const char* name;
    const char* password;
};

const DemoCustomer kCustomers[] = {
    {"A123456789", "王小明", "Demo1234"},   // the demo customer: every account state
    {"B223456789", "陳美麗", "Test5678"},   // owner of the "other person's" certificate
    {"C100000001", "林大同", "Empty0001"},  // a customer without accounts
};

// CustID, Prod, BranchNo, Account, RiskSignStus, RiskSignDate, APIStus,
// CertiSeno, CertiDate, CustIP, Act, UptDate.
const Account kAccounts[] = {
    // may apply (securities)
    {"A123456789", "S", "0012", "1234567", "S", "2024-03-05 14:07:09", "N", "", "", "", "1", "2024-03-05 14:07:09"},
    // risk declaration not signed: not enabled
    {"A123456789", "S", "0012", "2345678", "N", "", "N", "", "", "", "1", "2023-12-01 09:00:00"},
    // applied, under review, with the application date
    {"A123456789", "S", "0025", "3456789", "S", "2023-11-20 09:30:00", "S", "5A3C9E0B7D1F2468",
     "2024-06-01 10:15:00", "203.0.113.7", "1", "2024-06-01 10:15:00"},
    // under review without an application date
    {"A123456789", "S", "0031", "4567890", "S", "2024-01-10 08:00:00", "S", "", "", "", "1", "2024-01-10 08:00:00"},
    // enabled with a certificate serial: the enabling date shows
    {"A123456789", "H", "001", "8000123", "S", "2022-08-15 16:45:30", "Y", "1F2E3D4C5B6A7988",
     "2022-09-01 11:00:00", "198.51.100.23", "1", "2022-09-03 09:00:00"},
    // enabled without a serial: no enabling date
    {"A123456789", "H", "002", "8000456", "S", "2023-02-02 13:13:13", "Y", "", "", "", "1", "2023-02-10 10:00:00"},
    // may apply (sub-brokerage)
    {"A123456789", "H", "001", "8000789", "S", "2024-05-20 10:20:30", "", "", "", "", "1", "2024-05-20 10:20:30"},
    // sub-brokerage, risk declaration not signed
    {"A123456789", "H", "003", "8000999", "", "", "", "", "", "", "0", ""},
    // a second securities account that may apply
    {"A123456789", "S", "0044", "5678901", "S", "2024-07-07 07:07:07", "N", "", "", "", "1", "2024-07-07 07:07:07"},
    {"B223456789", "S", "0044", "9000001", "S", "2024-02-29 12:00:00", "N", "", "", "", "1", "2024-02-29 12:00:00"},
    // a branch number that no branch carries
    {"B223456789", "S", "0099", "9000002", "S", "2021-03-05 14:07:09", "Y", "7E6D5C4B3A291807",
     "2021-03-06 10:00:00", "192.0.2.44", "1", "2021-03-08 15:30:00"},
};

const Branch kBranches[] = {
    {"001", "0012", "台北分公司"}, {"002", "0025", "台中分公司"}, {"003", "0031", "高雄分公司"},
    {"004", "0044", "新竹分公司"}, {"005", "0050", "桃園分公司"},
};

struct DemoPfx {
    const char* role;
    const char* file;
    const char* cn;
    const char* alias;
    const char* password;
    bool trusted;  // issued by the local CA
};

const DemoPfx kPfx[] = {
    {"demo", "A123456789.pfx", "A123456789", "王小明", "pfx1234", true},
    {"other", "B223456789.pfx", "B223456789", "陳美麗", "other5678", true},
    {"untrusted", "A123456789-selfsigned.pfx", "A123456789", "王小明 (自行簽發)", "pfx1234", false},
};

bool MakeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

int Fail(const std::string& what) {
    std::cerr << "kova-service seed: " << what << "\n";
    return 1;
}

} // namespace

int SeedCommand(const std::string& dirArg, int iterations) {
    if (!MakeFolder(dirArg)) return Fail("cannot create " + dirArg);
    char resolved[PATH_MAX];
    if (!realpath(dirArg.c_str(), resolved)) return Fail("cannot resolve " + dirArg);
    const std::string dir = resolved;
    if (!MakeFolder(dir + "/pfx") || !MakeFolder(dir + "/download")) return Fail("cannot create sub-folders");

    Store store;
    std::string error;
    if (!store.Create(dir, error)) return Fail(error);
    for (const auto& c : kCustomers) {
        Customer customer{c.id, c.name, {}};
        if (!HashPassword(c.password, iterations, customer.password) || !store.AddCustomer(customer))
            return Fail(std::string("cannot store customer ") + c.id);
    }
    for (const auto& a : kAccounts)
        if (!store.AddAccount(a)) return Fail("cannot store account " + a.Account);
    int order = 0;
    for (const auto& b : kBranches)
        if (!store.AddBranch(b, order++)) return Fail("cannot store branch " + b.branch_no);

    KeyPtr caKey = GenerateRsaKey(2048);
    CertDesc caDesc;
    caDesc.commonName = "KOVA Local Test CA";
    caDesc.organization = "kova-service";
    caDesc.ca = true;
    caDesc.days = 3650;
    X509Ptr ca = caKey ? MakeCertificate(caDesc, caKey.get(), nullptr, nullptr) : nullptr;
    if (!ca || !WriteCertificatePem(dir + "/ca.pem", ca.get()) || !WritePrivateKeyPem(dir + "/ca.key", caKey.get()))
        return Fail("cannot make the local CA: " + OsslError());

    KeyPtr serverKey = GenerateRsaKey(2048);
    CertDesc serverDesc;
    serverDesc.commonName = "localhost";
    serverDesc.organization = "kova-service";
    serverDesc.server = true;
    serverDesc.dnsNames = {"localhost"};
    serverDesc.ipAddresses = {"127.0.0.1", "::1"};
    X509Ptr server = serverKey ? MakeCertificate(serverDesc, serverKey.get(), ca.get(), caKey.get()) : nullptr;
    if (!server || !WriteCertificatePem(dir + "/server.pem", server.get()) ||
        !WritePrivateKeyPem(dir + "/server.key", serverKey.get()))
        return Fail("cannot make the server certificate: " + OsslError());

    Json seed;
    seed["data_dir"] = dir;
    seed["database"] = Store::DatabasePath(dir);
    seed["ca"] = dir + "/ca.pem";
    seed["server_cert"] = dir + "/server.pem";
    seed["customers"] = Json::array();
    for (const auto& c : kCustomers)
        seed["customers"].push_back(Json{{"id", c.id}, {"name", c.name}, {"password", c.password}});
    seed["pfx"] = Json::array();
    for (const auto& p : kPfx) {
        KeyPtr key = GenerateRsaKey(2048);
        CertDesc desc;
        desc.commonName = p.cn;
        desc.organization = p.trusted ? "KOVA Securities customers" : "";
        X509Ptr cert = key ? (p.trusted ? MakeCertificate(desc, key.get(), ca.get(), caKey.get())
                                        : MakeCertificate(desc, key.get(), nullptr, nullptr))
                           : nullptr;
        std::string path = dir + "/pfx/" + p.file;
        if (!cert || !WritePfx(path, p.password, p.alias, key.get(), cert.get(), p.trusted ? ca.get() : nullptr))
            return Fail(std::string("cannot make ") + p.file + ": " + OsslError());
        seed["pfx"].push_back(Json{{"role", p.role}, {"path", path}, {"password", p.password},
                                   {"subject_cn", p.cn}, {"alias", p.alias}, {"serial", SerialHex(cert.get())}});
    }

    std::string text = seed.dump(2);
    std::ofstream out(dir + "/seed.json", std::ios::binary | std::ios::trunc);
    out << text << "\n";
    if (!out.flush()) return Fail("cannot write seed.json");
    std::cout << text << "\n";
    return 0;
}

} // namespace kovasvc
