// How every answer of the service is written: one UTF-8 JSON object with
// "state" (1 = success) and "message", content type JSON with charset.
#pragma once

#include <string>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace kovasvc {

using Json = nlohmann::ordered_json;

extern const char* const kJsonContentType;

// "state" values. HTTP errors (4xx/5xx) carry kStateRequestError and an
// "error" code; business refusals come with HTTP 200.
enum State : int {
    kStateRequestError = 0,
    kStateOk = 1,
    kStateLoginRefused = 2,
    kStateCertificateRefused = 3,
    kStateApplyRefused = 4,
    kStateServerError = 9,
};

// Never throws: text that is not UTF-8 is replaced, not fatal.
std::string DumpJson(const Json& j);
void SendJson(httplib::Response& res, int httpStatus, const Json& body);
void SendOk(httplib::Response& res, Json body, const std::string& message);
void SendRefusal(httplib::Response& res, int state, const std::string& message);
// An HTTP-level error: `code` is a short English tag ("missing_field").
void SendError(httplib::Response& res, int httpStatus, const std::string& code, const std::string& message);
// The error answer for a status httplib produced on its own (413, 400, 404).
void FillErrorBody(httplib::Response& res);

bool IsValidUtf8(const std::string& s);

} // namespace kovasvc
