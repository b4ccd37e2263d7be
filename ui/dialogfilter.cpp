#include "ui/dialogfilter.h"

#include <vector>

namespace ui {

std::u16string DialogFilterList(const std::u16string& filter) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (char16_t c : filter) {
        if (c == u'|') {
            parts.push_back(part);
            part.clear();
        } else if (c != 0) {
            part.push_back(c);
        }
    }
    parts.push_back(part);
    if (parts.size() % 2 != 0) parts.pop_back();
    std::u16string out;
    for (const std::u16string& p : parts) {
        out += p;
        out.push_back(0);
    }
    out.push_back(0);
    if (out.size() == 1) out.push_back(0);
    return out;
}

} // namespace ui
