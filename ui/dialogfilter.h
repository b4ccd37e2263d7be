// File-dialog filters written as "description|pattern|description|pattern".
#pragma once

#include <string>

namespace ui {

// The '|'-separated form turned into the NUL-separated, double-NUL-terminated
// list that GetOpenFileName expects. An odd last part (description without a
// pattern) is dropped rather than handed on half.
std::u16string DialogFilterList(const std::u16string& filter);

} // namespace ui
