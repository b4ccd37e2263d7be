// The lenient JSON reader: an answer's text into an XMLNode tree, and the
// unescaping of its strings.
#pragma once

#include <cstddef>
#include <string>

#include "json/xmlnode.h"

// Deepest nesting of objects and arrays ParseJSON accepts.
const int kMaxJSONDepth = 512;
// The most a tree may hold: nodes, and bytes of names and values together.
// Far above any answer of the service, far below what a hostile one of the
// answer cap could make a 32-bit process allocate.
const size_t kMaxJSONNodes = 1000000;
const size_t kMaxJSONTextBytes = 64u * 1024 * 1024;

// Reads `text` (process code page) into `root`. Lenient: commas optional,
// missing closers accepted, null members dropped, literals not validated.
// False when the text starts with neither '{' nor '[', an object has no
// member, a literal runs into the end of the text, nesting passes
// kMaxJSONDepth, or the tree would pass kMaxJSONNodes or kMaxJSONTextBytes;
// the members read before a failure stay in `root`. Takes time
// linear in the length of `text`; the first NUL byte ends the text.
bool ParseJSON(const std::string& text, XMLNode& root);

// JSON escapes -> text in the process code page. Runs of \uXXXX go through
// Utf16ToWide and WideToAnsi (a run that does not convert stays as written);
// \\ \" \/ \b \f \n \r \t become their character; any other escape stays.
std::string UnescapeJSON(const std::string& s);
