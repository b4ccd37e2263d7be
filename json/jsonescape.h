// UnescapeJSON for the reader: from a piece of a larger text, with the code
// page fetched once per parse and scratch space reused across strings.
#pragma once

#include <cstddef>
#include <string>

// Copies into an empty `out` with no spare capacity: assigning 16 to 29
// bytes would take a 30-byte buffer, and a temporary would copy short text
// twice.
inline void AssignExact(const char* text, size_t size, std::string& out) {
    if (size <= out.capacity()) {
        out.append(text, size);
    } else {
        out = std::string(text, size);
    }
}

// What unescaping builds in before the result is copied out at its exact
// size: reused, so that a parse does not allocate per escaped string.
struct UnescapeScratch {
    std::string text;
    std::u16string units;
    std::u16string wide;
};

// `text` must be followed by a NUL somewhere (CharLength looks ahead at
// most to it); only `size` bytes are unescaped. `out` must be empty.
void AssignUnescapedJSON(const char* text, size_t size, unsigned codePage, UnescapeScratch& scratch,
                         std::string& out);
