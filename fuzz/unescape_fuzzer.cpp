// UnescapeJSON on any string gives what the plainly written rules give, in
// code page 950 and in UTF-8; and a text escaped, or written wholly as \u
// escapes, comes back unchanged.
#include <cstdio>

#include "fuzz/fuzz_codepage.h"
#include "fuzz/unescape_reference.h"
#include "json/jsonreader.h"
#include "net/bodyencoding.h"
#include "text/encoding.h"

namespace {

// JsonEscape works on bytes, which is right for UTF-8; in 950 it would
// escape a trail byte 0x5C, so double-byte characters go through whole.
std::string Escape(const std::string& text, unsigned codePage) {
    if (codePage != 950) return net::JsonEscape(text);
    std::string out;
    for (size_t i = 0, n; (n = reference::CharLength(text, i, codePage)) != 0; i += n) {
        out += n == 1 ? net::JsonEscape(text.substr(i, 1)) : text.substr(i, n);
    }
    return out;
}

// Every UTF-16 unit as \uXXXX, upper-case hex for odd units.
std::string EscapeUnits(const platform::WideString& wide) {
    std::string out;
    char six[7];
    for (char16_t u : wide) {
        std::snprintf(six, sizeof six, (u & 1) ? "\\u%04X" : "\\u%04x", static_cast<unsigned>(u));
        out += six;
    }
    return out;
}

void Compare(const std::string& escaped, unsigned codePage) {
    if (UnescapeJSON(escaped) != reference::UnescapeJSON(escaped, codePage)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = TakeCodePage(data, size);
    const unsigned codePage = platform::AnsiCodePage();
    Compare(text, codePage);

    std::string plain(text.c_str());  // a NUL has no escape that survives (\u0000 ends the text)
    if (UnescapeJSON(Escape(plain, codePage)) != plain) std::abort();

    platform::WideString wide = AnsiToWide(plain);
    std::string units = EscapeUnits(wide);
    Compare(units, codePage);
    if (WideToAnsi(wide) == plain && UnescapeJSON(units) != plain) std::abort();
    return 0;
}
