// The UTF-8 and UTF-16 decoders on any bytes. What Utf8ToWide produced comes
// back unchanged through WideToUtf8 and Utf8ToWide (zero units aside), and
// the code page conversions of the platform layer take anything.
#include "text/encoding.h"
#include "fuzz/fuzz_codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes = TakeCodePage(data, size);
    platform::WideString wide;
    Utf8ToWide(bytes, wide);
    platform::WideString again;
    if (!Utf8ToWide(WideToUtf8(wide), again)) std::abort();
    platform::WideString expected;
    for (char16_t u : wide) {
        if (u) expected.push_back(u);
    }
    if (again != expected) std::abort();

    platform::WideString units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    Utf16ToWide(units.data(), units.size() * 2, wide);
    WideToAnsi(units);
    AnsiToWide(bytes);
    std::string ansi;
    Utf8ToAnsi(bytes, ansi);
    AnsiToUtf8(bytes);
    return 0;
}
