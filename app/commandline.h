// Mode selection from the command line (the text after the program's name).
#pragma once

#include <string>

// Restart mode is chosen by the first "restart=" anywhere in the command line.
// The target is all the text after it, unchanged: nothing is trimmed and no
// quotes are removed. False (and *target untouched) in normal mode.
bool FindRestartTarget(const char* commandLine, std::string* target);
