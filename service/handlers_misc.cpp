// The manifest, the download it names, the IP echo and the fault switch.
#include "handlers.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <regex>

#include "answer.h"

namespace kovasvc {
namespace {

const char kManifestPath[] = "/download/API/kovaapp.json";

// The download address names the host the client reached, when that is one of
// the loopback names the server certificate carries.
std::string ServedHost(ServiceContext& ctx, const httplib::Request& req) {
    static const std::regex loopback(R"((localhost|127\.0\.0\.1|\[::1\]):[0-9]{1,5})");
    std::string host = req.get_header_value("Host");
    if (std::regex_match(host, loopback)) return host;
    return "localhost:" + std::to_string(ctx.httpsPort);
}

void GetManifest(ServiceContext& ctx, const httplib::Request& req, httplib::Response& res) {
    Manifest m = ctx.store.GetManifest();
    std::string url = m.url;
    if (url.empty() && !m.file.empty()) url = "https://" + ServedHost(ctx, req) + "/download/API/" + m.file;
    SendOk(res, Json{{"version", m.version}, {"url", url}}, "");
}

struct FileCloser {
    void operator()(FILE* f) const { if (f) std::fclose(f); }
};

void Download(ServiceContext& ctx, const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches.size() > 1 ? req.matches[1].str() : "";
    Manifest m = ctx.store.GetManifest();
    // Only the one file the manifest names is served, so no request can reach
    // another file of the data folder.
    if (m.file.empty() || name != m.file) {
        SendError(res, 404, "not_found", "找不到要下載的檔案");
        return;
    }
    std::shared_ptr<FILE> file(std::fopen((ctx.dir + "/download/" + m.file).c_str(), "rb"), FileCloser());
    struct stat st {};
    if (!file || fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
        SendError(res, 404, "not_found", "找不到要下載的檔案");
        return;
    }
    res.set_header("Content-Disposition", "attachment; filename=\"" + m.file + "\"");
    res.set_content_provider(static_cast<size_t>(st.st_size), "application/octet-stream",
                             [file](size_t offset, size_t length, httplib::DataSink& sink) {
                                 char buf[64 * 1024];
                                 if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) return false;
                                 size_t n = std::fread(buf, 1, std::min(length, sizeof buf), file.get());
                                 return n > 0 && sink.write(buf, n);
                             });
}

void Echo(ServiceContext&, const httplib::Request& req, httplib::Response& res) {
    // Shaped like a public IP-echo answer; the location is made up.
    SendJson(res, 200,
             Json{{"status", "success"}, {"country", "Taiwan"}, {"countryCode", "TW"}, {"region", "TPE"},
                  {"regionName", "Taipei City"}, {"city", "Taipei"}, {"zip", "100"}, {"lat", 25.0478},
                  {"lon", 121.5319}, {"timezone", "Asia/Taipei"}, {"isp", "Loopback"}, {"org", "kova-service"},
                  {"as", "AS0 kova-service"}, {"query", req.remote_addr}, {"state", kStateOk}, {"message", ""}});
}

Json FaultJson(const FaultDesc& f) {
    return Json{{"kind", f.kind}, {"path", f.path}, {"code", f.code}, {"size", f.size},
                {"ms", f.ms},     {"count", f.count}};
}

void ShowFault(ServiceContext& ctx, const httplib::Request&, httplib::Response& res) {
    SendOk(res, Json{{"fault", FaultJson(ctx.faults.Current())}}, "");
}

void SetFault(ServiceContext& ctx, const httplib::Request& req, httplib::Response& res) {
    if (!RequireForm(req, res)) return;
    std::map<std::string, std::string> fields;
    for (const auto& [key, value] : req.params) fields[key] = value;
    FaultDesc desc;
    std::string error;
    if (!MakeFaultDesc(fields, desc, error)) {
        SendError(res, 400, "bad_fault", "故障設定錯誤：" + error);
        return;
    }
    ctx.faults.Set(desc);
    SendOk(res, Json{{"fault", FaultJson(desc)}}, "");
}

} // namespace

void RegisterDownloads(httplib::Server& server, ServiceContext& ctx) {
    // The manifest first: the download pattern would match its name too.
    Route(server, ctx, kManifestPath, "GET", GetManifest);
    Route(server, ctx, R"(/download/API/([^/]+))", "GET", Download);
}

void RegisterEcho(httplib::Server& server, ServiceContext& ctx) { Route(server, ctx, "/json", "GET", Echo); }

void RegisterAdmin(httplib::Server& server, ServiceContext& ctx) {
    RouteAdmin(server, ctx, "/_admin/fault", ShowFault, SetFault);
}

} // namespace kovasvc
