#include "center/ipliteral.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Four numbers up to 255; no leading zeros, which some readers take for octal.
bool IsIPv4(const char* p, const char* end) {
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (p == end || *p != '.') return false;
            ++p;
        }
        const char* start = p;
        int value = 0;
        while (p != end && IsDigit(*p) && p - start < 3) value = value * 10 + (*p++ - '0');
        if (p == start || value > 255 || (*start == '0' && p - start > 1)) return false;
    }
    return p == end;
}

// Eight groups of up to four hex digits; "::" at most once for one or more
// zero groups; an IPv4 address may stand for the last two.
bool IsIPv6(const std::string& s) {
    const char* const end = s.data() + s.size();
    const char* p = s.data();
    int groups = 0;
    bool gap = false;
    if (s.compare(0, 2, "::") == 0) {
        gap = true;
        p += 2;
        if (p == end) return true;
    }
    for (;;) {
        const char* q = p;
        while (q != end && IsHexDigit(*q) && q - p < 5) ++q;
        if (q != end && *q == '.') {
            if (!IsIPv4(p, end)) return false;
            groups += 2;
            break;
        }
        if (q == p || q - p > 4) return false;
        ++groups;
        p = q;
        if (p == end) break;
        if (*p != ':' || ++p == end) return false;
        if (*p == ':') {
            if (gap) return false;
            gap = true;
            if (++p == end) break;
        }
    }
    return gap ? groups <= 7 : groups == 8;
}

} // namespace

bool IsIPAddressLiteral(const std::string& text) {
    return IsIPv4(text.data(), text.data() + text.size()) || IsIPv6(text);
}
