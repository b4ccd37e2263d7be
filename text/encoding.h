// Conversions between the three forms of text the program handles: 8-bit
// strings in the process code page (inside the program), UTF-8 (on the wire)
// and UTF-16 (for the wide platform functions), plus the character stepping
// the JSON reader uses.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

// The process code page: GetACP on Windows; on Linux chosen per process with
// platform::SetAnsiCodePage (950 or 65001), by default from the locale.
unsigned ProcessCodePage();

// Process code page -> UTF-16 (MultiByteToWideChar, flags 0). Converts up to
// the first NUL; empty when nothing converts. Bytes that do not convert
// become the code page's default: '?' in 950, U+FFFD in UTF-8.
platform::WideString AnsiToWide(const std::string& ansi);
// UTF-16 -> process code page (WideCharToMultiByte, flags 0). Converts up to
// the first zero unit; unrepresentable characters become the code page's
// default character ('?' in 950).
std::string WideToAnsi(const platform::WideString& wide);

// UTF-8 -> UTF-16, lenient: overlong forms and encoded surrogates pass. A
// 4-byte sequence becomes a surrogate pair (U+FFFD above U+10FFFF). Returns
// false at a stray continuation byte, a byte 0xF8..0xFF or a missing
// continuation byte; `out` then keeps the units decoded before it.
bool Utf8ToWide(const char* utf8, size_t length, platform::WideString& out);
bool Utf8ToWide(const std::string& utf8, platform::WideString& out);
// UTF-16 -> UTF-8. A valid surrogate pair becomes one 4-byte sequence; a lone
// surrogate is encoded on its own (3 bytes); a zero unit gives no byte.
std::string WideToUtf8(const platform::WideString& wide);
// `byteLength` / 2 UTF-16 units -> wide string. A valid high/low pair is kept
// as the pair and a high surrogate without its low half is copied; a low
// surrogate where a character starts ends the conversion with false.
bool Utf16ToWide(const char16_t* units, size_t byteLength, platform::WideString& out);

// The service client's compound conversions. Utf8ToAnsi returns Utf8ToWide's
// result; `out` holds whatever was decoded either way.
std::string AnsiToUtf8(const std::string& ansi);
bool Utf8ToAnsi(const std::string& utf8, std::string& out);

// Bytes of the character at `p` in a NUL-terminated string of the process
// code page; 0 at the NUL (and, in UTF-8, at an invalid sequence), which ends
// any scan. Never passes the terminating NUL.
size_t CharLength(const char* p);
// The same for a given code page (the reader fetches the code page once).
size_t CharLength(unsigned codePage, const char* p);
// UTF-8 character length with the joining rules: variation selectors
// (U+FE00..U+FE3F) and skin-tone modifiers (U+1F3FB..U+1F3FF) join the
// character before them, U+200D joins the next character, and an encoded
// surrogate pair (ED xx xx ED xx xx) counts as one character.
size_t Utf8CharLength(const char* p);
