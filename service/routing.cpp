#include "routing.h"

#include "answer.h"

namespace kovasvc {
namespace {

void MethodNotAllowed(const std::string& allowed, httplib::Response& res) {
    res.set_header("Allow", allowed);
    SendError(res, 405, "method_not_allowed", "不支援此要求方法，請使用 " + allowed);
}

// Either handler may be empty: that method then answers 405.
void Register(httplib::Server& server, ServiceContext& ctx, const std::string& pattern, ServiceHandler get,
              ServiceHandler post, bool guarded) {
    std::string allowed = get && post ? "GET, POST" : get ? "GET" : "POST";
    httplib::Server::Handler refuse = [allowed](const httplib::Request&, httplib::Response& res) {
        MethodNotAllowed(allowed, res);
    };
    auto wrap = [&ctx, guarded, &refuse](ServiceHandler handler) -> httplib::Server::Handler {
        if (!handler) return refuse;
        return [&ctx, handler, guarded](const httplib::Request& req, httplib::Response& res) {
            if (guarded && ctx.faults.Intercept(req, res)) return;
            handler(ctx, req, res);
        };
    };
    server.Get(pattern, wrap(std::move(get)));
    server.Post(pattern, wrap(std::move(post)));
    server.Put(pattern, refuse);
    server.Patch(pattern, refuse);
    server.Delete(pattern, refuse);
    server.Options(pattern, refuse);
}

void Missing(httplib::Response& res, const char* name) {
    SendError(res, 400, "missing_field", std::string("缺少欄位：") + name);
}

void TooLong(httplib::Response& res, const char* name) {
    SendError(res, 400, "field_too_long", std::string("欄位內容過長：") + name);
}

} // namespace

void Route(httplib::Server& server, ServiceContext& ctx, const std::string& pattern, const std::string& method,
           ServiceHandler handler) {
    if (method == "GET") Register(server, ctx, pattern, std::move(handler), nullptr, true);
    else Register(server, ctx, pattern, nullptr, std::move(handler), true);
}

void RouteAdmin(httplib::Server& server, ServiceContext& ctx, const std::string& pattern, ServiceHandler get,
                ServiceHandler post) {
    Register(server, ctx, pattern, std::move(get), std::move(post), false);
}

bool RequireForm(const httplib::Request& req, httplib::Response& res) {
    if (req.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0) return true;
    SendError(res, 400, "bad_content_type", "要求格式錯誤：需要 application/x-www-form-urlencoded 表單");
    return false;
}

bool RequireMultipart(const httplib::Request& req, httplib::Response& res) {
    if (req.is_multipart_form_data()) return true;
    SendError(res, 400, "bad_content_type", "要求格式錯誤：需要 multipart/form-data 表單");
    return false;
}

bool FormField(const httplib::Request& req, httplib::Response& res, const char* name, size_t maxBytes,
               std::string& out) {
    if (!req.has_param(name)) {
        Missing(res, name);
        return false;
    }
    out = req.get_param_value(name);
    if (out.size() > maxBytes) {
        TooLong(res, name);
        return false;
    }
    return true;
}

bool PartField(const httplib::Request& req, httplib::Response& res, const char* name, size_t maxBytes,
               std::string& out) {
    if (!req.has_file(name)) {
        Missing(res, name);
        return false;
    }
    out = req.get_file_value(name).content;
    if (out.size() > maxBytes) {
        TooLong(res, name);
        return false;
    }
    return true;
}

bool CheckText(httplib::Response& res, const char* name, const std::string& value) {
    bool ok = IsValidUtf8(value);
    for (unsigned char c : value) ok = ok && (c >= 0x20 || c == '\t') && c != 0x7F;
    if (!ok) SendError(res, 400, "invalid_text", std::string("欄位不是有效的 UTF-8 文字：") + name);
    return ok;
}

} // namespace kovasvc
