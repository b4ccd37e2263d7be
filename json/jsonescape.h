// UnescapeJSON for the reader: from a piece of a larger text, into a string
// it reuses, with the code page fetched once per parse.
#pragma once

#include <cstddef>
#include <string>

// `text` must be followed by a NUL somewhere (CharLength looks ahead at
// most to it); only `size` bytes are unescaped.
void AssignUnescapedJSON(const char* text, size_t size, unsigned codePage, std::string& out);
