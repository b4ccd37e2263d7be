#include "windows/look.h"

#include "text/uitext.h"
#include "ui/dialogs.h"

namespace windows {

const char kMessageTitleUtf8[] = "KOVA API權限申請服務";

void ShowMessage(HWND owner, const std::string& ansi) { ui::ShowMessage(owner, UiText(kMessageTitleUtf8), ansi); }

} // namespace windows
