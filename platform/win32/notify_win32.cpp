#include "platform/notify.h"

#include <windows.h>

namespace platform {

bool PostNotify(WindowHandle window, unsigned message, intptr_t wParam) {
    if (!window) return false;
    return PostMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam), 0) != 0;
}

} // namespace platform
