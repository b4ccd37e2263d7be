// Linux code pages through iconv, with the results the Win32 calls give:
// invalid input becomes U+FFFD, unmappable output the code page's default
// character, and CharNextExA's double-byte stepping for code page 950.
#include "platform/platform.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>

#include <atomic>
#include <string>

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

// One iconv conversion that stops at the first bad sequence; the caller
// substitutes and resumes. Handles are per call: iconv_t is not thread safe.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // Converts as much as it can; returns false at an invalid or incomplete sequence.
    bool Run(const char*& in, size_t& inLeft, std::string& out) {
        char buffer[1024];
        while (inLeft > 0) {
            char* o = buffer;
            size_t oLeft = sizeof buffer;
            char* i = const_cast<char*>(in);
            size_t r = iconv(cd_, &i, &inLeft, &o, &oLeft);
            out.append(buffer, sizeof buffer - oLeft);
            in = i;
            if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

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
    Converter conv("UTF-16LE", name);
    if (!conv.ok()) return WideString();
    std::string bytes;
    const char* in = text;
    size_t left = length;
    while (!conv.Run(in, left, bytes)) {
        // One bad byte becomes U+FFFD, as MultiByteToWideChar does; a double-byte
        // lead with a valid-range trail consumes both, like the Win32 tables.
        bytes.append("\xFD\xFF", 2);
        size_t skip = 1;
        if (codePage == 950 && left >= 2) {
            unsigned char lead = static_cast<unsigned char>(in[0]);
            unsigned char trail = static_cast<unsigned char>(in[1]);
            if (lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail != 0x7F && trail != 0xFF) skip = 2;
        }
        in += skip;
        left -= skip;
    }
    WideString out(bytes.size() / 2, u'\0');
    for (size_t k = 0; k < out.size(); ++k) {
        out[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                       (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
    }
    return out;
}

std::string WideToMultiByte(unsigned codePage, const char16_t* text, size_t length) {
    const char* name = IconvName(codePage);
    if (!text || length == 0 || !name) return std::string();
    std::string units(length * 2, '\0');
    for (size_t k = 0; k < length; ++k) {
        units[2 * k] = static_cast<char>(text[k] & 0xFF);
        units[2 * k + 1] = static_cast<char>(text[k] >> 8);
    }
    Converter conv(name, "UTF-16LE");
    if (!conv.ok()) return std::string();
    std::string out;
    const char* in = units.data();
    size_t left = units.size();
    while (!conv.Run(in, left, out)) {
        // Unmappable or a lone surrogate: the default character, one per unit
        // (a valid pair that cannot be mapped counts as one character).
        out.append(codePage == kCodePageUtf8 ? "\xEF\xBF\xBD" : "?");
        size_t skip = 2;
        if (left >= 4) {
            unsigned hi = static_cast<unsigned char>(in[0]) | (static_cast<unsigned char>(in[1]) << 8);
            unsigned lo = static_cast<unsigned char>(in[2]) | (static_cast<unsigned char>(in[3]) << 8);
            if (hi >= 0xD800 && hi <= 0xDBFF && lo >= 0xDC00 && lo <= 0xDFFF) skip = 4;
        }
        if (skip > left) skip = left;
        in += skip;
        left -= skip;
    }
    return out;
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
