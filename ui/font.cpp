#include "ui/font.h"

#include "platform/platform.h"

namespace ui {

FontHandle CreateFontFor(const FontDesc& desc) {
    LOGFONTW lf = {};
    lf.lfHeight = -desc.pixelHeight;
    lf.lfWeight = desc.bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = desc.underline ? TRUE : FALSE;
    // DEFAULT_CHARSET: where the face is missing (Wine) the font mapper falls
    // back to one that covers the ANSI code page, so Chinese stays readable.
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    size_t n = desc.face.size() < LF_FACESIZE - 1 ? desc.face.size() : LF_FACESIZE - 1;
    for (size_t i = 0; i < n; ++i) lf.lfFaceName[i] = static_cast<wchar_t>(desc.face[i]);
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
