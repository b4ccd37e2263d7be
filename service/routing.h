// What every handler shares: the service's context, route registration with
// "405 for the other methods", the fault hook and the request-field readers
// (each answers the bad request itself and returns false).
#pragma once

#include <functional>
#include <string>

#include <httplib.h>

#include "faults.h"
#include "signin_limit.h"
#include "store.h"

namespace kovasvc {

struct ServiceContext {
    Store store;
    Faults faults;
    SignInLimit signIns;
    std::string dir;
    std::string caPath;
    int httpsPort = 0;
    int httpPort = 0;
};

using ServiceHandler = std::function<void(ServiceContext&, const httplib::Request&, httplib::Response&)>;

// Registers `handler` for `method` ("GET" or "POST") on `pattern`, behind the
// fault hook, and a 405 answer for the other methods on the same pattern.
void Route(httplib::Server& server, ServiceContext& ctx, const std::string& pattern, const std::string& method,
           ServiceHandler handler);
// GET and POST handlers without the fault hook (the admin endpoints).
void RouteAdmin(httplib::Server& server, ServiceContext& ctx, const std::string& pattern, ServiceHandler get,
                ServiceHandler post);

bool RequireForm(const httplib::Request& req, httplib::Response& res);
bool RequireMultipart(const httplib::Request& req, httplib::Response& res);
// A URL-encoded field of at most `maxBytes`; present but empty is allowed.
bool FormField(const httplib::Request& req, httplib::Response& res, const char* name, size_t maxBytes,
               std::string& out);
// A multipart part (text field or file) of at most `maxBytes`.
bool PartField(const httplib::Request& req, httplib::Response& res, const char* name, size_t maxBytes,
               std::string& out);
// Text fields: UTF-8 without control characters; answers 400 otherwise.
bool CheckText(httplib::Response& res, const char* name, const std::string& value);

} // namespace kovasvc
