// Fonts by face, pixel height and style; "微軟正黑體" by default.
#pragma once

#include <windows.h>

#include <string>

#include "ui/gdi.h"
#include "ui/colour.h"

namespace ui {

struct FontDesc {
    std::u16string face = u"微軟正黑體";
    int pixelHeight = 16;  // character height, as a negative LOGFONT height
    bool bold = false;
    bool underline = false;
    Colour colour = MakeColour(255, 255, 255);
};

// A new font handle for the desc (null on failure).
FontHandle CreateFontFor(const FontDesc& desc);

// ANSI (process code page) text to UTF-16 for the wide drawing functions.
std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const std::wstring& wide);

} // namespace ui
