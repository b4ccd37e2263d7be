// The program's own texts for the user are written once, in UTF-8, in the
// source; this is the one way they become strings of the process code page.
#pragma once

#include <string>

#include "platform/platform.h"

// UTF-8 source text -> the process's ANSI code page (950 on the systems served).
std::string UiText(const char* utf8);
// UTF-8 source text -> UTF-16, for the wide platform functions.
platform::WideString UiWide(const char* utf8);
