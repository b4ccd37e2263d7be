// Stands in for the login window until the forms exist: a plain main window
// whose closing ends the message loop. Like the login window it starts the
// version check and announces and starts the update.
#pragma once

#include "platform/platform.h"

bool CreatePlaceholderWindow(const platform::WideString& title);
