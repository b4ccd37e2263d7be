#include "windows/weblinks.h"

#include "ui/dialogs.h"

namespace windows {

std::string WebPageUrl(WebPage page) {
    const std::string site = KOVA_WEB_ORIGIN, trading = KOVA_TRADING_WEB_ORIGIN;
    switch (page) {
    case WebPage::More: return site + "/ekova/upload/kovaapi/index.html";
    case WebPage::Faq: return site + "/ekova/upload/kovaapi/faq.html";
    case WebPage::RiskSign: return trading + "/KovaWeb/miniRiskLogin.aspx";
    case WebPage::CertTool: return site + "/project/ekey/RAWinApp.exe";
    case WebPage::FindPassword: return site + "/ekovaTran/forgetPw.do";
    case WebPage::Instructions: return site + "/ekova/upload/kovaapi/teach0.html";
    }
    return std::string();
}

bool OpenWebPage(WebPage page) { return ui::ShellOpen(WebPageUrl(page)); }

} // namespace windows
