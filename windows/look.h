// The program's look beyond its faces: the colours of its text boxes and grid,
// and the title of its message boxes.
#pragma once

#include <windows.h>

#include <string>

#include "ui/colour.h"

namespace windows {

// Light text on the faces' dark violet boxes; placeholders in a muted lilac.
constexpr ui::BoxColours kBoxColours{ui::MakeColour(30, 9, 104), ui::MakeColour(255, 255, 255),
                                     ui::MakeColour(137, 104, 162)};

// The title of every message box of the program (UTF-8).
extern const char kMessageTitleUtf8[];

// A message box under that title with one OK button; text in the process code page.
void ShowMessage(HWND owner, const std::string& ansi);

} // namespace windows
