#include "ui/windowclass.h"

namespace ui {

bool RegisterWindowClass(const wchar_t* name, WNDPROC proc, UINT style, const wchar_t* iconResource) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Registered already: a second RegisterClassW would fail, and the class
    // keeps the procedure it was first registered with.
    WNDCLASSW existing = {};
    if (GetClassInfoW(instance, name, &existing)) return true;
    WNDCLASSW wc = {};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = iconResource ? LoadIconW(instance, iconResource) : nullptr;
    wc.lpszClassName = name;
    return RegisterClassW(&wc) != 0;
}

} // namespace ui
