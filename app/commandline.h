// Mode selection from the command line (the text after the program's name).
#pragma once

#include <string>

// Restart mode takes exactly the parameter text the program's own launch
// writes: "restart=" and the path of an .exe, with nothing before it, no
// quotes and no control characters. Anything else, "restart=" elsewhere in
// the text included, is a normal start: false, and *target untouched.
bool FindRestartTarget(const char* commandLine, std::string* target);
