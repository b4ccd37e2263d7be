// Colours as Win32 takes them, spelt without <windows.h> so the pure rules
// can use them.
#pragma once

#include <cstdint>

namespace ui {

typedef uint32_t Colour;  // 0x00BBGGRR, as a Win32 COLORREF
constexpr Colour MakeColour(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}

// A text box's colours: its background, what is typed into it, its placeholder.
// The framework's own are the system's usual; a program gives its boxes theirs.
struct BoxColours {
    Colour back = MakeColour(255, 255, 255);
    Colour text = MakeColour(0, 0, 0);
    Colour placeholder = MakeColour(128, 128, 128);
};

} // namespace ui
