// Where the account list's grid sits on the list face, in the face's pixels.
// tests/e2e/list_e2e.sh reads these lines as they are written: one constant a
// line, `constexpr int kName = value;`, the widths on one line.
#pragma once

#include "windows/accountrows.h"

namespace windows {

constexpr int kGridLeft = 90;
constexpr int kGridTop = 291;
constexpr int kGridWidth = 1100;
constexpr int kGridHeight = 262;
constexpr int kGridRowHeight = 65;
constexpr int kGridColumnWidths[kAccountColumns] = {90, 120, 90, 120, 120, 440, 120};

} // namespace windows
