#include "admin.h"

#include <fstream>
#include <iostream>

#include "answer.h"
#include "records_json.h"
#include "store.h"

namespace kovasvc {
namespace {

int Fail(const std::string& command, const std::string& what) {
    std::cerr << "kova-service " << command << ": " << what << "\n";
    return 1;
}

bool Need(const CommandLine& cl, const char* key, std::string& value) {
    auto it = cl.options.find(key);
    if (it == cl.options.end()) return false;
    value = it->second;
    return true;
}

bool OpenStore(const CommandLine& cl, Store& store, std::string& error) {
    if (cl.dir.empty()) {
        error = "no data folder";
        return false;
    }
    return store.Open(cl.dir, error);
}

bool CopyInto(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to + ".tmp", std::ios::binary | std::ios::trunc);
    if (!in || !out) return false;
    out << in.rdbuf();
    out.close();
    return out && !in.bad() && std::rename((to + ".tmp").c_str(), to.c_str()) == 0;
}

} // namespace

int ApproveCommand(const CommandLine& cl) {
    std::string cust, branch, account, error;
    if (!Need(cl, "cust", cust) || !Need(cl, "branch", branch) || !Need(cl, "account", account))
        return Fail("approve", "usage: approve DIR --cust ID --branch NO --account NO");
    Store store;
    if (!OpenStore(cl, store, error) || !store.Approve(cust, branch, account, error)) return Fail("approve", error);
    std::cout << "approved " << cust << " " << branch << "/" << account << "\n";
    return 0;
}

int ManifestCommand(const CommandLine& cl) {
    Store store;
    std::string error;
    if (!OpenStore(cl, store, error)) return Fail("manifest", error);
    Manifest m = store.GetManifest();
    std::string value;
    if (Need(cl, "version", value)) m.version = value;
    if (Need(cl, "url", value)) m.url = value;
    if (Need(cl, "file", value)) {
        if (value.empty()) {
            m.file.clear();
        } else {
            const std::string source = value;
            std::string name = source.substr(source.find_last_of('/') + 1);
            if (Need(cl, "name", value)) name = value;
            if (!SafeDownloadName(name)) return Fail("manifest", "unsuitable download name: " + name);
            if (!CopyInto(source, cl.dir + "/download/" + name)) return Fail("manifest", "cannot copy " + source);
            m.file = name;
        }
    }
    if (!store.SetManifest(m)) return Fail("manifest", "cannot store the manifest");
    std::cout << DumpJson(Json{{"version", m.version}, {"file", m.file}, {"url", m.url}}) << "\n";
    return 0;
}

int DumpCommand(const CommandLine& cl) {
    Store store;
    std::string error;
    if (!OpenStore(cl, store, error)) return Fail("dump", error);
    Json out;
    out["accounts"] = Json::array();
    for (const auto& a : store.AllAccounts()) out["accounts"].push_back(AccountJson(a));
    Manifest m = store.GetManifest();
    out["manifest"] = Json{{"version", m.version}, {"file", m.file}, {"url", m.url}};
    out["applications"] = Json::array();
    for (const auto& a : store.Applications()) {
        out["applications"].push_back(Json{{"cust_id", a.custId}, {"branch", a.branch}, {"account", a.account},
                                           {"ipaddr", a.ipaddr}, {"serial", a.serial}, {"subject_cn", a.subjectCn},
                                           {"peer", a.peer}, {"received", a.received}});
    }
    std::cout << out.dump(2) << "\n";
    return 0;
}

} // namespace kovasvc
