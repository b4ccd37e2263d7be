// Completion messages to windows. On Windows a notification is a message
// posted to the window (PostMessageA, lParam 0). The Linux build has no
// windows: notifications go to a process-wide queue that tests and tools
// wait on.
#pragma once

#include <cstdint>

namespace platform {

// An HWND on Windows; on Linux any non-null value names a receiver.
typedef void* WindowHandle;

// False, and nothing delivered, when `window` is null or the post fails.
bool PostNotify(WindowHandle window, unsigned message, intptr_t wParam);

#ifndef _WIN32
struct Notification {
    WindowHandle window = nullptr;
    unsigned message = 0;
    intptr_t wParam = 0;
};

// Takes the oldest notification posted to `window`, waiting up to
// `limitMs`; false when none arrived in time.
bool WaitNotify(WindowHandle window, Notification& out, int limitMs);
// Notifications posted to `window` and not yet taken.
int PendingNotifyCount(WindowHandle window);
// Drops every queued notification.
void ClearNotify();
#endif

} // namespace platform
