// The operator's web pages that the windows open in the default browser. The
// hosts are configure-time constants (reserved names unless a build sets
// them), the paths are the operator's.
#pragma once

#include <string>

namespace windows {

enum class WebPage {
    More,           // the API area's home page
    Faq,
    RiskSign,       // the risk-declaration login, on the trading web host
    CertTool,       // the certificate tool, offered for download
    FindPassword,
    Instructions,
};

// The page's full address.
std::string WebPageUrl(WebPage page);

// Opens it with the shell's "open" verb (SW_SHOWNORMAL); false when the shell
// reports failure.
bool OpenWebPage(WebPage page);

} // namespace windows
