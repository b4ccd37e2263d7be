// Linux code pages with the results the Win32 calls give under Wine: code
// page 950 from tables built once (iconv's CP950 corrected to the Windows
// rules), UTF-8 by hand with Windows' replacement rules, and CharNextExA's
// double-byte stepping for code page 950.
#include "platform/platform.h"

#include <cctype>
#include <cstdlib>
#include <iconv.h>

#include <atomic>
#include <string>
#include <vector>

namespace platform {

namespace {

std::atomic<unsigned> g_codePage{0};

unsigned CodePageFromLocale() {
    // The C library's locale is set by the process (or not at all); read the
    // environment the way setlocale(LC_CTYPE, "") would.
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* name : names) {
        const char* v = getenv(name);
        if (!v || !*v) continue;
        std::string s(v);
        for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (s.find("big5") != std::string::npos || s.find("950") != std::string::npos) return 950;
        if (s.rfind("zh_tw", 0) == 0 && s.find("utf") == std::string::npos) return 950;
        return kCodePageUtf8;
    }
    return kCodePageUtf8;
}

const char* IconvName(unsigned codePage) {
    switch (codePage) {
    case 950: return "CP950";
    case kCodePageUtf8: return "UTF-8";
    default: return nullptr;
    }
}


// ---- code page 950, with Windows' tables ----------------------------------
//
// glibc's CP950 differs from the Windows tables in what the program can see:
// Windows maps the user-defined areas to the private use area, gives '?' for
// an unmapped pair and takes lead + any non-NUL byte as one character,
// and its WideCharToMultiByte uses best-fit replacements (U+00A1 -> '!').
// The tables here are built once from iconv and corrected to those rules.

// Index of a trail byte within a row of 157 (0x40..0x7E, 0xA1..0xFE); -1 otherwise.
int TrailIndex(unsigned t) {
    if (t >= 0x40 && t <= 0x7E) return static_cast<int>(t - 0x40);
    if (t >= 0xA1 && t <= 0xFE) return static_cast<int>(t - 0xA1 + 63);
    return -1;
}

// The user-defined areas and where Windows puts them in the private use area.
char16_t EudcToUnicode(unsigned lead, unsigned trail) {
    int t = TrailIndex(trail);
    if (t < 0) return 0;
    if (lead >= 0xFA && lead <= 0xFE) return static_cast<char16_t>(0xE000 + (lead - 0xFA) * 157 + t);
    if (lead >= 0x8E && lead <= 0xA0) return static_cast<char16_t>(0xE311 + (lead - 0x8E) * 157 + t);
    if (lead >= 0x81 && lead <= 0x8D) return static_cast<char16_t>(0xEEB8 + (lead - 0x81) * 157 + t);
    if (lead == 0xC6 && trail >= 0xA1) return static_cast<char16_t>(0xF6B1 + (trail - 0xA1));
    if (lead >= 0xC7 && lead <= 0xC8) return static_cast<char16_t>(0xF6B1 + 94 + (lead - 0xC7) * 157 + t);
    return 0;
}

struct BestFit {
    uint16_t unicode;
    uint16_t bytes;  // one byte (< 0x100) or lead << 8 | trail
};
#include "platform/posix/codepage950_bestfit.inc"

struct Cp950Tables {
    std::vector<char16_t> toUnicode;  // (lead - 0x80) << 8 | trail; 0 = unmapped
    std::vector<uint16_t> fromUnicode;  // 0 = unmapped

    Cp950Tables() : toUnicode(0x8000, 0), fromUnicode(0x10000, 0) {
        iconv_t cd = iconv_open("UTF-16LE", "CP950");
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (TrailIndex(trail) < 0) continue;
                char16_t u = EudcToUnicode(lead, trail);
                if (u == 0 && cd != reinterpret_cast<iconv_t>(-1)) u = IconvPair(cd, lead, trail);
                toUnicode[((lead - 0x80) << 8) | trail] = u;
            }
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
        // Reverse in code order, so where two codes give one character the
        // lower code is the one written back; then the best-fit entries.
        for (unsigned i = 0x8000; i-- > 0x0100;) {
            char16_t u = toUnicode[i];
            if (u) fromUnicode[u] = static_cast<uint16_t>(i + 0x8000);
        }
        for (const BestFit& f : kCp950BestFit) fromUnicode[f.unicode] = f.bytes;
    }

    static char16_t IconvPair(iconv_t cd, unsigned lead, unsigned trail) {
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char out[8];
        char* i = in;
        char* o = out;
        size_t inLeft = 2, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &i, &inLeft, &o, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
            sizeof out - outLeft != 2) {
            return 0;
        }
        return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
    }
};

const Cp950Tables& Tables950() {
    static const Cp950Tables tables;
    return tables;
}

WideString Cp950ToWide(const unsigned char* p, size_t length) {
    const Cp950Tables& t = Tables950();
    WideString out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        unsigned b = p[i];
        if (b < 0x80) {
            out.push_back(static_cast<char16_t>(b));
        } else if (b == 0x80) {
            out.push_back(u'\x0080');
        } else if (b == 0xFF) {
            out.push_back(u'\xF8F8');
        } else if (i + 1 < length && p[i + 1] != 0) {
            char16_t u = t.toUnicode[((b - 0x80) << 8) | p[i + 1]];
            out.push_back(u ? u : u'?');
            ++i;
        } else {
            out.push_back(u'?');  // a lead byte without its trail
        }
    }
    return out;
}

std::string WideToCp950(const char16_t* w, size_t length) {
    const Cp950Tables& t = Tables950();
    std::string out;
    out.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        char16_t u = w[i];
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        uint16_t code = t.fromUnicode[u];
        if (code == 0) {
            out.push_back('?');  // surrogates too: one per unit
        } else if (code < 0x100) {
            out.push_back(static_cast<char>(code));
        } else {
            out.push_back(static_cast<char>(code >> 8));
            out.push_back(static_cast<char>(code & 0xFF));
        }
    }
    return out;
}

// ---- UTF-8 the way MultiByteToWideChar(CP_UTF8) reads it --------------------
//
// A bad sequence gives one U+FFFD for its longest valid beginning (so E0 80 is
// one, the next 80 another), and a sequence cut off by the end of the input
// gives one U+FFFD for the rest of the input.

WideString Utf8ToWideLikeWindows(const unsigned char* p, size_t length) {
    WideString out;
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        unsigned b = p[i++];
        if (b < 0x80) {
            out.push_back(static_cast<char16_t>(b));
            continue;
        }
        size_t more = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
        if (more > length - i) {
            out.push_back(u'\xFFFD');
            i = length;
            continue;
        }
        uint32_t v = b & (more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07);
        bool ok = more > 0;
        for (size_t k = more; ok && k > 0; --k) {
            unsigned c = p[i] ^ 0x80u;
            if (c >= 0x40) {
                ok = false;
                break;
            }
            v = (v << 6) | c;
            ++i;
            // Overlong, surrogate and too-large forms fail as soon as their
            // first bytes show it; the bytes read so far go with the U+FFFD.
            if (k == 3 && (v < 0x10 || v >= 0x110)) ok = false;
            if (k == 2 && more == 2 && (v < 0x20 || (v >= 0x360 && v < 0x380))) ok = false;
            if (k == 1 && more == 1 && v < 0x80) ok = false;
        }
        if (!ok) {
            out.push_back(u'\xFFFD');
        } else if (v < 0x10000) {
            out.push_back(static_cast<char16_t>(v));
        } else {
            v -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        }
    }
    return out;
}

// WideCharToMultiByte(CP_UTF8): a valid pair is one 4-byte sequence, a lone
// surrogate becomes U+FFFD.
std::string WideToUtf8LikeWindows(const char16_t* w, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t u = w[i];
        if (u >= 0xD800 && u <= 0xDFFF) {
            if (u <= 0xDBFF && i + 1 < length && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (w[++i] - 0xDC00);
            } else {
                u = 0xFFFD;
            }
        }
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (u < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (u >> 18)));
            out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

} // namespace

unsigned AnsiCodePage() {
    unsigned cp = g_codePage.load(std::memory_order_relaxed);
    if (cp == 0) {
        cp = CodePageFromLocale();
        g_codePage.store(cp, std::memory_order_relaxed);
    }
    return cp;
}

bool SetAnsiCodePage(unsigned codePage) {
    if (!IconvName(codePage)) return false;
    g_codePage.store(codePage, std::memory_order_relaxed);
    return true;
}

WideString MultiByteToWide(unsigned codePage, const char* text, size_t length) {
    const char* name = IconvName(codePage);
    if (!text || length == 0 || !name) return WideString();
    if (codePage == 950) return Cp950ToWide(reinterpret_cast<const unsigned char*>(text), length);
    return Utf8ToWideLikeWindows(reinterpret_cast<const unsigned char*>(text), length);
}

std::string WideToMultiByte(unsigned codePage, const char16_t* text, size_t length) {
    const char* name = IconvName(codePage);
    if (!text || length == 0 || !name) return std::string();
    if (codePage == 950) return WideToCp950(text, length);
    return WideToUtf8LikeWindows(text, length);
}

size_t CharNextLength(unsigned codePage, const char* p) {
    if (!p || !*p) return 0;
    if (codePage == 950) {
        unsigned char lead = static_cast<unsigned char>(p[0]);
        if (lead >= 0x81 && lead <= 0xFE && p[1] != '\0') return 2;
    }
    return 1;
}

} // namespace platform
