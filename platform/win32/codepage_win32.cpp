// Win32 code-page conversions: MultiByteToWideChar, WideCharToMultiByte, CharNextExA.
#include "platform/platform.h"

#include <windows.h>

namespace platform {

// ---- code pages ------------------------------------------------------------

unsigned AnsiCodePage() { return GetACP(); }
bool SetAnsiCodePage(unsigned codePage) { return codePage == GetACP(); }

WideString MultiByteToWide(unsigned codePage, const char* text, size_t length) {
    if (!text || length == 0 || length > 0x7FFFFFFF) return WideString();
    int n = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return WideString();
    WideString out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), reinterpret_cast<wchar_t*>(&out[0]), n);
    return out;
}

std::string WideToMultiByte(unsigned codePage, const char16_t* text, size_t length) {
    if (!text || length == 0 || length > 0x3FFFFFFF) return std::string();
    const wchar_t* w = reinterpret_cast<const wchar_t*>(text);
    int n = WideCharToMultiByte(codePage, 0, w, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, w, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

size_t CharNextLength(unsigned codePage, const char* p) {
    if (!p || !*p) return 0;
    const char* next = CharNextExA(static_cast<WORD>(codePage), p, 0);
    return next ? static_cast<size_t>(next - p) : 0;
}

} // namespace platform
