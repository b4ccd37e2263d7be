// The system's dialogs and shell services the windows use.
#pragma once

#include <windows.h>

#include <string>

#include "text/encoding.h"

namespace ui {

// The file-open dialog. Filter as "description|pattern|..." in the process
// code page; the initial folder in UTF-8, as the program keeps paths.
class OpenDialog {
public:
    void SetFilter(const std::string& ansi) { filter_ = ansi; }
    void SetInitialDirUtf8(const std::string& utf8) { initialDir_ = utf8; }
    // The chosen file's full path, whole; FileName is its rendering in the
    // process code page, which need not name the file.
    const std::wstring& WideFileName() const { return wideFileName_; }
    const std::string& FileName() const { return fileName_; }
    // True when the user chose a file.
    bool Execute(HWND owner);

private:
    std::string filter_, initialDir_, fileName_;
    std::wstring wideFileName_;
};

// A path kept whole while an ANSI edit box shows it: code page 950 cannot
// spell every folder name, and the box's rendering of such a path names no
// file. The box stands for the kept path as long as it still shows that
// rendering; a path the user typed or changed is taken as typed.
class KeptPath {
public:
    // Keeps the path; returns its rendering for the box.
    std::string Keep(const std::wstring& wide) {
        const platform::WideString w(wide.begin(), wide.end());
        utf8_ = ::WideToUtf8(w);
        shown_ = ::WideToAnsi(w);
        return shown_;
    }
    std::string KeepUtf8(const std::string& utf8) {
        platform::WideString w;
        ::Utf8ToWide(utf8, w);
        utf8_ = utf8;
        shown_ = ::WideToAnsi(w);
        return shown_;
    }
    // The path, in UTF-8, that a box showing `shown` stands for.
    std::string Resolve(const std::string& shown) const { return shown == shown_ ? utf8_ : ::AnsiToUtf8(shown); }

private:
    std::string utf8_, shown_;
};

// A message box with one OK button, owned by the window on screen; title and
// text in the process code page.
void ShowMessage(HWND owner, const std::string& title, const std::string& text);

// The clipboard's Unicode text (CF_UNICODETEXT), at most `limit` UTF-16 units.
// False when the clipboard cannot be opened or holds no text. `owner` may be null.
bool ReadClipboardText(HWND owner, std::wstring* text, size_t limit = 65536);

// Opens a document or web address with the shell's "open" verb, SW_SHOWNORMAL.
bool ShellOpen(const std::string& ansiUrl);

} // namespace ui
