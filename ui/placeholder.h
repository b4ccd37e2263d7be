// The placeholder rule of the edit boxes, over a plain description of a box so
// it can be tested natively. The Edit control applies it to a real box.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

typedef uint32_t Colour;  // 0x00BBGGRR, as a Win32 COLORREF
constexpr Colour MakeColour(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}

const Colour kTypedTextColour = MakeColour(255, 255, 255);
const Colour kPlaceholderColour = MakeColour(137, 104, 162);
const Colour kEditBackColour = MakeColour(30, 9, 104);

struct EditBoxState {
    std::string text;
    Colour textColour = kTypedTextColour;
    char passwordChar = 0;  // 0: masking off
};

// True when the box holds nothing the user typed: empty, or its placeholder.
bool IsEmptyOrPlaceholder(const std::string& text, const std::string& placeholder);

// One handler for focus enter and leave:
// - text equal to the placeholder: cleared, white, masked with `maskWhenCleared`
//   (0 for a box that is not a password box or whose clear-text state is shown);
// - empty text: the placeholder, in the placeholder colour, masking off;
// - anything else: unchanged.
// Returns true when the state changed.
bool ApplyPlaceholderRule(EditBoxState& box, const std::string& placeholder, char maskWhenCleared);

} // namespace ui
