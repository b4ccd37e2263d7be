#include "ui/placeholder.h"

namespace ui {

bool IsEmptyOrPlaceholder(const std::string& text, const std::string& placeholder) {
    return text.empty() || text == placeholder;
}

bool ApplyPlaceholderRule(EditBoxState& box, const std::string& placeholder, char maskWhenCleared,
                          const BoxColours& colours) {
    // An empty placeholder equals an empty box: the first branch would clear
    // nothing forever, so such a box simply stays as it is.
    if (placeholder.empty()) return false;
    if (box.text == placeholder) {
        box.text.clear();
        box.textColour = colours.text;
        box.passwordChar = maskWhenCleared;
        return true;
    }
    if (box.text.empty()) {
        box.text = placeholder;
        box.textColour = colours.placeholder;
        box.passwordChar = 0;
        return true;
    }
    return false;
}

} // namespace ui
