// The placeholder rule of the edit boxes, over a plain description of a box so
// it can be tested natively. The Edit control applies it to a real box.
#pragma once

#include <string>

#include "ui/colour.h"

namespace ui {

struct EditBoxState {
    std::string text;
    Colour textColour = 0;
    char passwordChar = 0;  // 0: masking off
};

// True when the box holds nothing the user typed: empty, or its placeholder.
bool IsEmptyOrPlaceholder(const std::string& text, const std::string& placeholder);

// One handler for focus enter and leave:
// - text equal to the placeholder: cleared, in the typed-text colour, masked
//   with `maskWhenCleared` (0 for a box that is not a password box or whose
//   clear-text state is shown);
// - empty text: the placeholder, in the placeholder colour, masking off;
// - anything else: unchanged.
// Returns true when the state changed.
bool ApplyPlaceholderRule(EditBoxState& box, const std::string& placeholder, char maskWhenCleared,
                          const BoxColours& colours);

} // namespace ui
