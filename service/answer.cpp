#include "answer.h"

namespace kovasvc {

const char* const kJsonContentType = "application/json; charset=UTF-8";

std::string DumpJson(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

void SendJson(httplib::Response& res, int httpStatus, const Json& body) {
    res.status = httpStatus;
    res.set_content(DumpJson(body), kJsonContentType);
}

void SendOk(httplib::Response& res, Json body, const std::string& message) {
    Json j;
    j["state"] = kStateOk;
    j["message"] = message;
    for (auto& item : body.items()) j[item.key()] = std::move(item.value());
    SendJson(res, 200, j);
}

void SendRefusal(httplib::Response& res, int state, const std::string& message) {
    SendJson(res, 200, Json{{"state", state}, {"message", message}});
}

void SendError(httplib::Response& res, int httpStatus, const std::string& code, const std::string& message) {
    SendJson(res, httpStatus, Json{{"state", kStateRequestError}, {"message", message}, {"error", code}});
}

void FillErrorBody(httplib::Response& res) {
    switch (res.status) {
    case 400: SendError(res, 400, "bad_request", "要求格式錯誤"); break;
    case 404: SendError(res, 404, "not_found", "找不到要求的資源"); break;
    case 405: SendError(res, 405, "method_not_allowed", "不支援此要求方法"); break;
    case 413: SendError(res, 413, "payload_too_large", "傳送的資料過大"); break;
    case 414: SendError(res, 414, "uri_too_long", "要求網址過長"); break;
    case 416: SendError(res, 416, "range_not_satisfiable", "要求的範圍無效"); break;
    default:
        if (res.status >= 500) SendError(res, res.status, "server_error", "伺服器發生錯誤，請稍後再試");
        else SendError(res, res.status, "request_error", "要求無法處理");
    }
}

bool IsValidUtf8(const std::string& s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t n = s.size(), i = 0;
    while (i < n) {
        unsigned char c = p[i];
        size_t len;
        unsigned min;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { len = 2; min = 0x80; }
        else if ((c & 0xF0) == 0xE0) { len = 3; min = 0x800; }
        else if ((c & 0xF8) == 0xF0) { len = 4; min = 0x10000; }
        else return false;
        if (n - i < len) return false;
        unsigned cp = c & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
        i += len;
    }
    return true;
}

} // namespace kovasvc
