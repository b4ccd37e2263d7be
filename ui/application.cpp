#include "ui/application.h"

#include <objbase.h>

#include <algorithm>

#include "ui/dialogs.h"
#include "ui/font.h"
#include "ui/form.h"
#include "ui/monitor.h"
#include "ui/windowclass.h"

namespace ui {
namespace {
const wchar_t kClassName[] = L"KovaApplication";
}

Application& Application::Instance() {
    static Application app;
    return app;
}

HWND Application::Handle() {
    if (hwnd_) return hwnd_;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Before the first window: a window keeps the awareness it was made with.
    DeclarePerMonitorDpiAwareness();
    // COM for the picture decoder, for the life of the GUI thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RegisterWindowClass(kClassName, WindowProc, 0, kProgramIcon);
    // Never shown except while minimised: then it is the application's one
    // taskbar entry, and restoring it brings the forms back.
    hwnd_ = CreateWindowExW(WS_EX_APPWINDOW, kClassName, L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                            nullptr, instance, nullptr);
    return hwnd_;
}

void Application::SetTitle(const std::string& ansi) {
    SetWindowTextW(Handle(), AnsiToWide(ansi).c_str());
}

void Application::Adopt(std::unique_ptr<Form> form) {
    forms_.push_back(std::move(form));
    Form* f = forms_.back().get();
    if (f->OnCreate) Guarded([f] { f->OnCreate(*f); });
}

int Application::Run() {
    Form* main = MainForm();
    if (main && !main->Visible() && !terminated_) Guarded([main] { main->Show(); });
    while (ProcessMessage()) {
    }
    return 0;
}

void Application::WhenIdle(std::function<void()> action) { idle_.push_back(std::move(action)); }

void Application::RunIdleActions() {
    std::vector<std::function<void()>> actions;
    actions.swap(idle_);
    for (std::function<void()>& action : actions) Guarded(action);
}

bool Application::ProcessMessage() {
    // A look that finds the queue empty also puts what was painted on the
    // screen (Wine flushes its window surfaces then).
    MSG msg;
    if (!idle_.empty() && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        RunIdleActions();
        return true;
    }
    // The ANSI loop: an ANSI edit box then receives a double-byte character as
    // its two bytes, one WM_CHAR each, which the key filters rely on.
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        terminated_ = true;
        return false;
    }
    const bool input = (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
                       (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST);
    if (input && !idle_.empty()) RunIdleActions();
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && MoveTabFocus(msg.hwnd)) return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

bool Application::MoveTabFocus(HWND from) {
    // Only controls marked as tab stops take part; in any other box Tab is an
    // ordinary key for the box's own handlers.
    HWND parent = GetParent(from);
    if (!parent || !(GetWindowLongW(from, GWL_STYLE) & WS_TABSTOP)) return false;
    HWND next = GetNextDlgTabItem(parent, from, GetKeyState(VK_SHIFT) < 0);
    if (next && next != from) SetFocus(next);
    return true;
}

namespace {

struct OwnerSearch {
    HWND skip;
    HWND found;
};

bool CanOwn(HWND w, HWND dialog) {
    return w && w != dialog && IsWindow(w) && IsWindowVisible(w) && IsWindowEnabled(w) &&
           GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId();
}

BOOL CALLBACK FindOwner(HWND w, LPARAM p) {
    auto* search = reinterpret_cast<OwnerSearch*>(p);
    if (!CanOwn(w, search->skip)) return TRUE;
    search->found = w;
    return FALSE;
}

} // namespace

HWND Application::DialogOwner(HWND preferred, HWND dialog) const {
    if (preferred && (GetWindowLongW(preferred, GWL_STYLE) & WS_CHILD)) preferred = GetAncestor(preferred, GA_ROOT);
    if (CanOwn(preferred, dialog)) return preferred;
    HWND active = GetActiveWindow();
    if (CanOwn(active, dialog)) return active;
    // Top-level windows come in z-order, the topmost first.
    OwnerSearch search = {dialog, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwner, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Application::Terminate() {
    if (terminated_) return;
    terminated_ = true;
    PostQuitMessage(0);
}

void Application::Minimize() {
    if (minimized_) return;
    minimized_ = true;
    hiddenByMinimize_.clear();
    for (auto& f : forms_) {
        if (f->Visible()) {
            hiddenByMinimize_.push_back(f.get());
            ShowWindow(f->Handle(), SW_HIDE);
        }
    }
    ShowWindow(Handle(), SW_SHOWMINNOACTIVE);
}

void Application::Restore() {
    if (!minimized_) return;
    minimized_ = false;
    ShowWindow(Handle(), SW_HIDE);
    for (Form* f : hiddenByMinimize_) ShowWindow(f->Handle(), SW_SHOWNA);
    if (!hiddenByMinimize_.empty()) SetForegroundWindow(hiddenByMinimize_.back()->Handle());
    hiddenByMinimize_.clear();
}

void Application::ShowException(const char* what) {
    std::wstring title(256, L'\0');
    int n = GetWindowTextW(Handle(), &title[0], static_cast<int>(title.size()));
    title.resize(n > 0 ? static_cast<size_t>(n) : 0);
    MessageBoxW(nullptr, AnsiToWide(what ? what : "").c_str(), title.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void Application::DestroyForms() {
    // Later forms first: a dialog may refer to the window that opened it.
    while (!forms_.empty()) forms_.pop_back();
}

LRESULT CALLBACK Application::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Application& app = Instance();
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_RESTORE) {
            Guarded([&app] { app.Restore(); });
            return 0;
        }
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            Form* main = app.MainForm();
            if (main) Guarded([main] { main->Close(); });
            return 0;
        }
        break;
    case WM_ACTIVATE:
        // The taskbar entry clicked while minimised.
        if (LOWORD(wParam) != WA_INACTIVE && app.minimized_ && !IsIconic(hwnd)) Guarded([&app] { app.Restore(); });
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace ui
