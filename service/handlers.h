// The service's routes, registered on the HTTPS and the plain-HTTP server.
#pragma once

#include <httplib.h>

#include "routing.h"

namespace kovasvc {

// userAuth, signText, apply (HTTPS).
void RegisterApi(httplib::Server& server, ServiceContext& ctx);
// The manifest and the download it names (HTTPS).
void RegisterDownloads(httplib::Server& server, ServiceContext& ctx);
// The operator's web pages the program links to, each a small page (HTTPS).
void RegisterPages(httplib::Server& server, ServiceContext& ctx);
// The IP echo (plain HTTP).
void RegisterEcho(httplib::Server& server, ServiceContext& ctx);
// GET/POST /_admin/fault and /_admin/manifest (both servers).
void RegisterAdmin(httplib::Server& server, ServiceContext& ctx);

} // namespace kovasvc
