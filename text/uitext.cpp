#include "text/uitext.h"

#include <cstring>

platform::WideString UiWide(const char* utf8) {
    if (!utf8) return platform::WideString();
    return platform::MultiByteToWide(platform::kCodePageUtf8, utf8, std::strlen(utf8));
}

std::string UiText(const char* utf8) {
    platform::WideString w = UiWide(utf8);
    return platform::WideToMultiByte(platform::AnsiCodePage(), w.data(), w.size());
}
