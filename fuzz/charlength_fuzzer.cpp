// CharLength steps through any NUL-terminated text without passing its NUL.
#include "text/encoding.h"
#include "fuzz/fuzz_codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = TakeCodePage(data, size);
    const char* p = text.c_str();
    const char* nul = p + std::char_traits<char>::length(p);
    while (size_t n = CharLength(p)) {
        p += n;
        if (p > nul) std::abort();
    }
    if (*p && ProcessCodePage() != platform::kCodePageUtf8) std::abort();  // only UTF-8 stops early
    return 0;
}
