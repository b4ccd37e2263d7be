// JSON escapes of a string read raw by the reader.
#include <cstring>

#include "text/encoding.h"
#include "json/jsonescape.h"
#include "json/jsonreader.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The four bytes after "\u" read the way a "%x" scan conversion reads them
// (white space, a sign and a 0x prefix allowed); the low 16 bits are the unit.
// Done by hand so that both systems' C runtimes give the same answer.
bool ScanHex4(const char* four, char16_t* unit) {
    int d0 = HexDigit(four[0]), d1 = HexDigit(four[1]), d2 = HexDigit(four[2]), d3 = HexDigit(four[3]);
    if ((d0 | d1 | d2 | d3) >= 0) {
        *unit = static_cast<char16_t>(d0 << 12 | d1 << 8 | d2 << 4 | d3);
        return true;
    }
    char buf[5];
    std::memcpy(buf, four, 4);
    buf[4] = '\0';
    const char* p = buf;
    while (IsScanSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
    if (HexDigit(*p) < 0) return false;
    uint32_t v = 0;
    for (; HexDigit(*p) >= 0; ++p) v = v * 16 + static_cast<uint32_t>(HexDigit(*p));
    if (negative) v = 0u - v;
    *unit = static_cast<char16_t>(v & 0xFFFF);
    return true;
}

const char kEscapeLetters[] = "\\\"/bfnrt";
const char kEscapeValues[] = "\\\"/\b\f\n\r\t";

} // namespace

void AssignUnescapedJSON(const char* text, size_t size, unsigned codePage, UnescapeScratch& scratch,
                         std::string& out) {
    if (!std::memchr(text, '\\', size)) {
        AssignExact(text, size, out);
        return;
    }
    const bool doubleByte = codePage != platform::kCodePageUtf8;
    std::string& t = scratch.text;
    std::u16string& units = scratch.units;
    t.clear();
    size_t i = 0;
    while (i < size) {
        char c = text[i];
        if (c != '\\') {
            // In a double-byte code page a trail byte may be 0x5C; it is part
            // of its character, not an escape (the Big5 backslash problem).
            size_t n = 1;
            if (doubleByte && static_cast<unsigned char>(c) >= 0x80) {
                n = CharLength(codePage, text + i);
                if (n == 0 || n > size - i) n = 1;
            } else {
                // A run up to the next backslash goes in one piece.
                const void* next = std::memchr(text + i, '\\', size - i);
                n = next ? static_cast<size_t>(static_cast<const char*>(next) - (text + i)) : size - i;
                if (doubleByte) {
                    size_t ascii = 0;
                    while (ascii < n && static_cast<unsigned char>(text[i + ascii]) < 0x80) ++ascii;
                    n = ascii;
                }
            }
            t.append(text + i, n);
            i += n;
            continue;
        }
        if (i + 1 >= size) {
            t.push_back('\\');
            break;
        }
        char letter = text[i + 1];
        if (letter == 'u') {
            units.clear();
            size_t k = i;
            char16_t unit;
            while (size - k >= 6 && text[k] == '\\' && text[k + 1] == 'u' && ScanHex4(text + k + 2, &unit)) {
                units.push_back(unit);
                k += 6;
            }
            if (units.empty()) {
                t.push_back('\\');
                ++i;
            } else {
                if (Utf16ToWide(units.data(), units.size() * 2, scratch.wide)) {
                    t += WideToAnsi(scratch.wide);
                } else {
                    t.append(text + i, k - i);
                }
                i = k;
            }
            continue;
        }
        const char* hit = letter ? std::strchr(kEscapeLetters, letter) : nullptr;
        if (hit) {
            t.push_back(kEscapeValues[hit - kEscapeLetters]);
            i += 2;
        } else {
            t.push_back('\\');
            ++i;
        }
    }
    AssignExact(t.data(), t.size(), out);
}

std::string UnescapeJSON(const std::string& s) {
    UnescapeScratch scratch;
    std::string out;
    AssignUnescapedJSON(s.c_str(), s.size(), ProcessCodePage(), scratch, out);
    return out;
}
