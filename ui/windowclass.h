// The framework's own window classes (forms, grids, the application's
// taskbar window), each registered in the program's module once.
#pragma once

#include <windows.h>

namespace ui {

// Registers the class `name` with this procedure, class style and icon
// resource (null: none), no cursor and no background brush, unless the
// program's module already has a class of that name. True when the class is
// there afterwards; a failed registration is tried again at the next call.
bool RegisterWindowClass(const wchar_t* name, WNDPROC proc, UINT style, const wchar_t* iconResource);

// The icon resource a program gives its forms and taskbar window.
constexpr const wchar_t* kProgramIcon = L"APP_ICON";

} // namespace ui
