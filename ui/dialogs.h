// The system's dialogs and shell services the windows use.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

// The file-open dialog. Filter as "description|pattern|..."; texts and the
// chosen path in the process code page.
class OpenDialog {
public:
    void SetFilter(const std::string& ansi) { filter_ = ansi; }
    void SetInitialDir(const std::string& ansi) { initialDir_ = ansi; }
    const std::string& FileName() const { return fileName_; }
    // True when the user chose a file (FileName then holds its full path).
    bool Execute(HWND owner);

private:
    std::string filter_, initialDir_, fileName_;
};

// The title of every message box of the program.
extern const char kMessageTitleUtf8[];

// A message box with that title and one OK button; text in the process code page.
void ShowMessage(HWND owner, const std::string& ansi);

// The clipboard's Unicode text (CF_UNICODETEXT), at most `limit` UTF-16 units.
// False when the clipboard cannot be opened or holds no text. `owner` may be null.
bool ReadClipboardText(HWND owner, std::wstring* text, size_t limit = 65536);

// Opens a document or web address with the shell's "open" verb, SW_SHOWNORMAL.
bool ShellOpen(const std::string& ansiUrl);

} // namespace ui
