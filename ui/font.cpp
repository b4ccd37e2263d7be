#include "ui/font.h"

#include "platform/platform.h"

namespace ui {

FontHandle CreateFontFor(const FontSpec& spec) {
    LOGFONTW lf = {};
    lf.lfHeight = -spec.pixelHeight;
    lf.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = spec.underline ? TRUE : FALSE;
    // DEFAULT_CHARSET: where the face is missing (Wine) the font mapper falls
    // back to one that covers the ANSI code page, so Chinese stays readable.
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    size_t n = spec.face.size() < LF_FACESIZE - 1 ? spec.face.size() : LF_FACESIZE - 1;
    for (size_t i = 0; i < n; ++i) lf.lfFaceName[i] = static_cast<wchar_t>(spec.face[i]);
    return FontHandle(CreateFontIndirectW(&lf));
}

std::wstring AnsiToWide(const std::string& ansi) {
    platform::WideString w = platform::MultiByteToWide(platform::AnsiCodePage(), ansi.data(), ansi.size());
    return std::wstring(reinterpret_cast<const wchar_t*>(w.data()), w.size());
}

std::string WideToAnsi(const std::wstring& wide) {
    return platform::WideToMultiByte(platform::AnsiCodePage(), reinterpret_cast<const char16_t*>(wide.data()),
                                     wide.size());
}

} // namespace ui
