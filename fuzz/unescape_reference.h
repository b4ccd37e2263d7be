// Character stepping and UnescapeJSON written plainly from their rules, for
// the fuzzers to compare the code with. Only the code page 950 character
// table is borrowed, from the platform layer (WideCharToMultiByte on Windows).
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace reference {

// The byte at `p`, NUL past the end, as in a NUL-terminated string.
inline unsigned char ByteAt(const std::string& t, size_t p) {
    return p < t.size() ? static_cast<unsigned char>(t[p]) : 0;
}

inline bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// One UTF-8 sequence; 0 when invalid. An encoded surrogate pair counts whole
// only when all six bytes are there.
inline size_t Utf8Sequence(const std::string& t, size_t p) {
    unsigned char b = ByteAt(t, p);
    if (b < 0x80) return b ? 1 : 0;
    size_t n = (b & 0xF8) == 0xF0 ? 4 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xE0) == 0xC0 ? 2 : 0;
    for (size_t k = 1; k < n; ++k) {
        if (!IsContinuation(ByteAt(t, p + k))) return 0;
    }
    if (n == 3 && b == 0xED && ByteAt(t, p + 3) == 0xED && IsContinuation(ByteAt(t, p + 4)) &&
        IsContinuation(ByteAt(t, p + 5))) {
        return 6;
    }
    return n;
}

// A sequence with the variation selector or skin-tone modifier after it.
inline size_t Utf8Modified(const std::string& t, size_t p) {
    size_t n = Utf8Sequence(t, p);
    if (n < 2) return n;
    size_t q = p + n;
    if (ByteAt(t, q) == 0xEF && ByteAt(t, q + 1) == 0xB8 && ByteAt(t, q + 2) >= 0x80) return n + 3;
    if (ByteAt(t, q) == 0xF0 && ByteAt(t, q + 1) == 0x9F && ByteAt(t, q + 2) == 0x8F && ByteAt(t, q + 3) >= 0xBB &&
        ByteAt(t, q + 3) <= 0xBF) {
        return n + 4;
    }
    return n;
}

// Bytes of the character at `p`; 0 at the end (and at invalid UTF-8). Code
// page 950 steps as CharNextExA does: a lead byte 0x81..0xFE takes any next
// byte but NUL, whatever it is.
inline size_t CharLength(const std::string& t, size_t p, unsigned codePage) {
    unsigned char b = ByteAt(t, p);
    if (b == 0) return 0;
    if (codePage == 950) return b >= 0x81 && b <= 0xFE && ByteAt(t, p + 1) ? 2 : 1;
    size_t n = Utf8Modified(t, p);
    // A zero-width joiner takes the next character into this one; ASCII
    // takes nothing after it.
    size_t last = n;
    while (last >= 2 && ByteAt(t, p + n) == 0xE2 && ByteAt(t, p + n + 1) == 0x80 && ByteAt(t, p + n + 2) == 0x8D) {
        n += 3;
        last = Utf8Modified(t, p + n);
        n += last;
    }
    return n;
}

// The four bytes after "\u" through "%x", which C defines as strtoul's base 16.
inline bool Hex4(const std::string& s, size_t at, char16_t& unit) {
    char four[5] = {};
    std::memcpy(four, s.data() + at, 4);
    char* end = nullptr;
    unsigned long v = std::strtoul(four, &end, 16);
    if (end == four) return false;
    unit = static_cast<char16_t>(v & 0xFFFF);
    return true;
}

inline void AppendUtf8(std::string& out, uint32_t v) {
    if (v < 0x80) {
        out += static_cast<char>(v);
    } else if (v < 0x800) {
        out += static_cast<char>(0xC0 | (v >> 6));
        out += static_cast<char>(0x80 | (v & 0x3F));
    } else if (v < 0x10000) {
        out += static_cast<char>(0xE0 | (v >> 12));
        out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (v & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (v >> 18));
        out += static_cast<char>(0x80 | ((v >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (v & 0x3F));
    }
}

inline bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// A run's code units as text in the code page. False when a low surrogate
// starts a character anywhere in the run. The text ends at a zero unit; a
// valid pair is one character; a lone surrogate is U+FFFD in UTF-8 and '?'
// in 950, where a pair is "??" (no character outside the BMP).
inline bool UnitsToText(const std::u16string& units, unsigned codePage, std::string& out) {
    for (size_t i = 0; i < units.size(); ++i) {
        if (IsLow(units[i])) return false;
        if (IsHigh(units[i]) && i + 1 < units.size() && IsLow(units[i + 1])) ++i;
    }
    out.clear();
    for (size_t i = 0; i < units.size() && units[i] != 0; ++i) {
        char16_t u = units[i];
        bool pair = IsHigh(u) && i + 1 < units.size() && IsLow(units[i + 1]);
        if (codePage == 950) {
            if (IsHigh(u)) {
                out += pair ? "??" : "?";
            } else {
                out += platform::WideToMultiByte(950, &u, 1);
            }
        } else if (pair) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800u) << 10) + (units[i + 1] - 0xDC00u));
        } else {
            AppendUtf8(out, IsHigh(u) ? 0xFFFDu : u);
        }
        if (pair) ++i;
    }
    return true;
}

// In 950 a double-byte character is passed whole: its trail byte may be 0x5C
// and is no escape. UTF-8 bytes of multi-byte characters are never 0x5C.
inline std::string UnescapeJSON(const std::string& s, unsigned codePage) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c != '\\') {
            size_t n = codePage == 950 && c >= 0x81 && c <= 0xFE && ByteAt(s, i + 1) ? 2 : 1;
            out.append(s, i, n);
            i += n;
            continue;
        }
        if (i + 1 == s.size()) {
            out += '\\';
            break;
        }
        char letter = s[i + 1];
        if (letter == 'u') {
            std::u16string units;
            size_t k = i;
            char16_t unit;
            while (s.size() - k >= 6 && s[k] == '\\' && s[k + 1] == 'u' && Hex4(s, k + 2, unit)) {
                units += unit;
                k += 6;
            }
            std::string text;
            if (units.empty()) {
                out += '\\';
                ++i;
            } else if (UnitsToText(units, codePage, text)) {
                out += text;
                i = k;
            } else {
                out.append(s, i, k - i);
                i = k;
            }
            continue;
        }
        switch (letter) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        default:
            out += '\\';
            ++i;
            continue;
        }
        i += 2;
    }
    return out;
}

} // namespace reference
