#include "ui/dialogs.h"

#include <commdlg.h>
#include <shellapi.h>

#include <vector>

#include "ui/application.h"
#include "ui/dialogfilter.h"
#include "ui/font.h"

namespace ui {

bool OpenDialog::Execute(HWND owner) {
    std::wstring filterW = AnsiToWide(filter_);
    std::u16string list = DialogFilterList(std::u16string(filterW.begin(), filterW.end()));
    std::wstring listW(list.begin(), list.end());
    platform::WideString dirUnits;
    ::Utf8ToWide(initialDir_, dirUnits);
    std::wstring dir(dirUnits.begin(), dirUnits.end());
    std::vector<wchar_t> file(MAX_PATH * 4, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = listW.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    // The dialog's library (and the printing libraries it brings) loads on
    // first use, not with the program: start-up needs none of it.
    typedef BOOL(WINAPI * OpenFileName)(OPENFILENAMEW*);
    static HMODULE library = LoadLibraryW(L"comdlg32.dll");
    OpenFileName open =
        library ? reinterpret_cast<OpenFileName>(reinterpret_cast<void*>(GetProcAddress(library, "GetOpenFileNameW")))
                : nullptr;
    if (!open || !open(&ofn)) return false;
    file.back() = L'\0';
    wideFileName_ = file.data();
    fileName_ = WideToAnsi(wideFileName_);
    return true;
}

void ShowMessage(HWND owner, const std::string& title, const std::string& text) {
    // Owned by the window on screen, whichever window asked: a box owned by a
    // hidden window can sink behind the shown one.
    HWND shown = Application::Instance().DialogOwner(owner);
    MessageBoxW(shown ? shown : owner, AnsiToWide(text).c_str(), AnsiToWide(title).c_str(), MB_OK);
}

namespace {
class ClipboardScope {
public:
    explicit ClipboardScope(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    ~ClipboardScope() { if (open_) CloseClipboard(); }
    ClipboardScope(const ClipboardScope&) = delete;
    ClipboardScope& operator=(const ClipboardScope&) = delete;
    bool Open() const { return open_; }

private:
    bool open_;
};
}  // namespace

bool ReadClipboardText(HWND owner, std::wstring* text, size_t limit) {
    text->clear();
    ClipboardScope clip(owner);
    if (!clip.Open()) return false;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return false;
    const wchar_t* p = static_cast<const wchar_t*>(GlobalLock(data));
    if (!p) return false;
    // The block's size bounds the read: clipboard data need not be terminated.
    size_t units = GlobalSize(data) / sizeof(wchar_t);
    size_t n = 0;
    while (n < units && n < limit && p[n] != L'\0') ++n;
    text->assign(p, n);
    GlobalUnlock(data);
    return true;
}

bool ShellOpen(const std::string& ansiUrl) {
    HINSTANCE r = ShellExecuteA(nullptr, "open", ansiUrl.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

} // namespace ui
