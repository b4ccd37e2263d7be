// Stands in for the login window until the forms exist: a plain main window
// whose closing ends the message loop.
#pragma once

#include "platform/platform.h"

bool CreatePlaceholderWindow(const platform::WideString& title);
