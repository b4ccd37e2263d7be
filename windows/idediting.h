// The national-ID box's editing rules over the real ID, apart from the edit
// control so they can be tested natively. The box shows only a masked copy;
// every key and paste is first applied here, at the box's selection.
#pragma once

#include <cstddef>
#include <string>

namespace windows {

const size_t kIdMaxLength = 10;
const size_t kIdShownPrefix = 6;

// The first six characters as they are, every later one as '*'.
std::string MaskId(const std::string& fullId);

// Clipboard text as the ID box takes it, by the rules of typed keys: letters
// and digits only (full-width ones as their ASCII forms), upper-cased, at most
// kIdMaxLength of them; spaces (full-width ones too), punctuation and anything
// else are dropped.
std::string IdFromClipboard(const std::wstring& text);

class IdEditing {
public:
    const std::string& FullId() const { return fullId_; }
    void SetFullId(const std::string& id) { fullId_ = id; }
    std::string Masked() const { return MaskId(fullId_); }

    // A byte that passed KeyFilter, typed with the selection [start, end).
    // Returns false when the box must not see it (anything but a letter, a
    // digit or backspace); a lower-case letter is upper-cased in `key` too.
    bool Type(char& key, int start, int end);
    // The Delete key: the selection, or the one character at the caret.
    void Delete(int start, int end);
    // Text in the ID's alphabet (see IdFromClipboard) inserted at the
    // selection, then the ID cut to the limit.
    void Paste(const std::string& text, int start, int end);

private:
    // Erases [start, end) when it is a real selection inside the ID.
    void EraseSelection(int start, int end);

    std::string fullId_;
};

} // namespace windows
