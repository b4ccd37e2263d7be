// The operator's web pages that the program's links open: a small page for
// each, so that a click can be seen to arrive (one log line per request).
#include "handlers.h"

namespace kovasvc {
namespace {

struct Page {
    const char* path;
    const char* title;
};

const Page kPages[] = {
    {"/ekova/upload/kovaapi/index.html", "KOVA API申請專區"},
    {"/ekova/upload/kovaapi/faq.html", "常見問題"},
    {"/ekova/upload/kovaapi/teach0.html", "技術文件專區"},
    {"/KovaWeb/miniRiskLogin.aspx", "風險預告書簽署專區"},
    {"/project/ekey/RAWinApp.exe", "憑證管理工具"},
    {"/ekovaTran/forgetPw.do", "忘記密碼"},
};

} // namespace

void RegisterPages(httplib::Server& server, ServiceContext& ctx) {
    for (const Page& page : kPages) {
        const std::string title = page.title;
        Route(server, ctx, page.path, "GET", [title](ServiceContext&, const httplib::Request&, httplib::Response& res) {
            res.set_content("<!DOCTYPE html>\n<html lang=\"zh-Hant\"><head><meta charset=\"utf-8\"><title>" + title +
                                "</title></head>\n<body><h1>" + title + "</h1><p>KOVA 本機測試服務</p></body></html>\n",
                            "text/html; charset=UTF-8");
        });
    }
}

} // namespace kovasvc
