#include "text/encoding.h"

#include <cstring>

using platform::WideString;

namespace {

size_t WideLength(const WideString& w) {
    size_t n = 0;
    while (n < w.size() && w[n] != 0) ++n;
    return n;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

const unsigned char* U(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

// Length of one UTF-8 sequence (rule 2, without joining); 0 when invalid.
// Every check stops at the first byte that does not match, so the NUL that
// ends the string is never passed.
size_t SequenceLength(const unsigned char* p) {
    unsigned char b = p[0];
    if (b < 0x80) return b ? 1 : 0;
    if ((b & 0xF8) == 0xF0) {
        return IsContinuation(p[1]) && IsContinuation(p[2]) && IsContinuation(p[3]) ? 4 : 0;
    }
    if ((b & 0xF0) == 0xE0) {
        if (!IsContinuation(p[1]) || !IsContinuation(p[2])) return 0;
        // An encoded surrogate pair counts whole, but only when all six bytes
        // are there: a pair cut short stays a 3-byte character.
        if (b == 0xED && p[3] == 0xED && IsContinuation(p[4]) && IsContinuation(p[5])) return 6;
        return 3;
    }
    if ((b & 0xE0) == 0xC0) return IsContinuation(p[1]) ? 2 : 0;
    return 0;
}

// One character with the modifiers that join it (rules 1 to 3).
size_t ModifiedLength(const unsigned char* p, bool* ascii) {
    size_t n = SequenceLength(p);
    *ascii = n == 1;
    if (n < 2) return n;
    const unsigned char* q = p + n;
    if (q[0] == 0xEF && q[1] == 0xB8 && q[2] >= 0x80) {
        n += 3;
    } else if (q[0] == 0xF0 && q[1] == 0x9F && q[2] == 0x8F && q[3] >= 0xBB && q[3] <= 0xBF) {
        n += 4;
    }
    return n;
}

} // namespace

unsigned ProcessCodePage() { return platform::AnsiCodePage(); }

WideString AnsiToWide(const std::string& ansi) {
    return platform::MultiByteToWide(ProcessCodePage(), ansi.c_str(), std::strlen(ansi.c_str()));
}

std::string WideToAnsi(const WideString& wide) {
    return platform::WideToMultiByte(ProcessCodePage(), wide.data(), WideLength(wide));
}

bool Utf8ToWide(const char* utf8, size_t length, WideString& out) {
    out.clear();
    if (!utf8) return length == 0;
    const unsigned char* p = U(utf8);
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        size_t extra;
        uint32_t v;
        if ((b & 0xF8) == 0xF0) {
            extra = 3;
            v = b & 0x07;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            v = b & 0x0F;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            v = b & 0x1F;
        } else {
            return false;
        }
        if (length - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if (!IsContinuation(p[i + k])) return false;
            v = (v << 6) | (p[i + k] & 0x3F);
        }
        i += extra + 1;
        if (v < 0x10000) {
            out.push_back(static_cast<char16_t>(v));
        } else if (v <= 0x10FFFF) {
            v -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            // F4 90.. to F7: no UTF-16 form; keeping the low bits would make
            // another character of it.
            out.push_back(u'\xFFFD');
        }
    }
    return true;
}

bool Utf8ToWide(const std::string& utf8, WideString& out) { return Utf8ToWide(utf8.data(), utf8.size(), out); }

std::string WideToUtf8(const WideString& wide) {
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t u = wide[i];
        if (u == 0) continue;
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                   wide[i + 1] <= 0xDFFF) {
            uint32_t v = 0x10000 + ((u & 0x3FF) << 10) + (wide[i + 1] & 0x3FF);
            ++i;
            out.push_back(static_cast<char>(0xF0 | (v >> 18)));
            out.push_back(static_cast<char>(0x80 | ((v >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

bool Utf16ToWide(const char16_t* units, size_t byteLength, WideString& out) {
    out.clear();
    size_t count = byteLength / 2;
    if (!units) return count == 0;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        char16_t u = units[i];
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        out.push_back(u);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            out.push_back(units[++i]);
        }
    }
    return true;
}

std::string AnsiToUtf8(const std::string& ansi) { return WideToUtf8(AnsiToWide(ansi)); }

bool Utf8ToAnsi(const std::string& utf8, std::string& out) {
    WideString wide;
    bool ok = Utf8ToWide(utf8, wide);
    out = WideToAnsi(wide);
    return ok;
}

size_t Utf8CharLength(const char* text) {
    if (!text) return 0;
    const unsigned char* p = U(text);
    bool ascii = false;
    size_t n = ModifiedLength(p, &ascii);
    if (n < 2) return n;
    // Each zero-width joiner takes the next character (with its modifiers)
    // into this one. Walked in a loop: a long chain must not recurse.
    while (p[n] == 0xE2 && p[n + 1] == 0x80 && p[n + 2] == 0x8D) {
        n += 3;
        size_t next = ModifiedLength(p + n, &ascii);
        n += next;
        if (next < 2) break;
    }
    return n;
}

size_t CharLength(unsigned codePage, const char* p) {
    if (!p || !*p) return 0;
    if (codePage == platform::kCodePageUtf8) return Utf8CharLength(p);
    if (static_cast<unsigned char>(*p) < 0x80) return 1;
    return platform::CharNextLength(codePage, p);
}

size_t CharLength(const char* p) { return CharLength(ProcessCodePage(), p); }
