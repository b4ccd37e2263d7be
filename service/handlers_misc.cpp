// The manifest, the download it names, the IP echo and the admin switches
// (fault, manifest).
#include "handlers.h"

#include <sys/stat.h>

#include <algorithm>
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

// Up to 64 KiB of the file from `offset`, at most `length` bytes.
bool SendFilePart(FILE* file, size_t offset, size_t length, httplib::DataSink& sink) {
    char buf[64 * 1024];
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    size_t n = std::fread(buf, 1, std::min(length, sizeof buf), file);
    return n > 0 && sink.write(buf, n);
}

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
    const size_t size = static_cast<size_t>(st.st_size);
    res.set_header("Content-Disposition", "attachment; filename=\"" + m.file + "\"");
    if (ctx.faults.TakeTruncate(req.path)) {
        // Neither a length nor chunks: the connection's end is the body's end,
        // so the client cannot tell that half never came. After done() httplib
        // holds the connection for the keep-alive time (2 s), then closes it
        // with a TLS close_notify; failing the provider would close at once,
        // but without one, which a TLS client may report as an error.
        const size_t half = size / 2;
        res.status = 200;
        res.set_content_provider("application/octet-stream",
                                 [file, half](size_t offset, httplib::DataSink& sink) {
                                     if (offset < half) return SendFilePart(file.get(), offset, half - offset, sink);
                                     sink.done();
                                     return true;
                                 });
        return;
    }
    res.set_content_provider(size, "application/octet-stream",
                             [file](size_t offset, size_t length, httplib::DataSink& sink) {
                                 return SendFilePart(file.get(), offset, length, sink);
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
                {"ms", f.ms},     {"count", f.count}, {"value", f.value}};
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

Json ManifestJson(const Manifest& m) { return Json{{"version", m.version}, {"file", m.file}, {"url", m.url}}; }

void ShowManifest(ServiceContext& ctx, const httplib::Request&, httplib::Response& res) {
    SendOk(res, Json{{"manifest", ManifestJson(ctx.store.GetManifest())}}, "");
}

// Offers another version, and optionally another of the files already in
// DIR/download, so that a test switches the update without the command line.
// Everything is checked before anything changes.
void SetManifest(ServiceContext& ctx, const httplib::Request& req, httplib::Response& res) {
    if (!RequireForm(req, res)) return;
    for (const auto& field : req.params) {
        if (field.first != "version" && field.first != "name" && field.first != "url") {
            SendError(res, 400, "bad_manifest", "版本清單設定錯誤：不認得的欄位 " + field.first);
            return;
        }
    }
    Manifest m = ctx.store.GetManifest();
    if (!FormField(req, res, "version", 64, m.version) || !CheckText(res, "version", m.version)) return;
    if (m.version.empty()) {
        SendError(res, 400, "bad_manifest", "版本清單設定錯誤：版本不可為空白");
        return;
    }
    if (req.has_param("name")) {
        const std::string name = req.get_param_value("name");
        if (!SafeDownloadName(name)) {
            SendError(res, 400, "bad_manifest",
                      "版本清單設定錯誤：檔名只能由英文字母、數字與 . _ - 組成（1 到 100 位元組，不以 . 開頭）");
            return;
        }
        // lstat: a link in the folder could lead outside it.
        struct stat st {};
        if (lstat((ctx.dir + "/download/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            SendError(res, 400, "bad_manifest", "版本清單設定錯誤：下載目錄中沒有這個檔案：" + name);
            return;
        }
        m.file = name;
    }
    m.url.clear();
    if (req.has_param("url") && (!FormField(req, res, "url", 2048, m.url) || !CheckText(res, "url", m.url))) return;
    if (!ctx.store.SetManifest(m)) {
        SendError(res, 500, "server_error", "伺服器發生錯誤，請稍後再試");
        return;
    }
    SendOk(res, Json{{"manifest", ManifestJson(m)}}, "");
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
    RouteAdmin(server, ctx, "/_admin/manifest", ShowManifest, SetManifest);
}

} // namespace kovasvc
