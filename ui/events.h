// Mouse and key event types shared by the controls.
#pragma once

#include <cstdint>
#include <functional>

namespace ui {

enum class MouseButton { Left, Right, Middle };

// Keys and buttons held during an event.
typedef unsigned ShiftState;
const ShiftState ssShift = 1, ssCtrl = 2, ssAlt = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32;

enum class Cursor { Default, HandPoint };

} // namespace ui
