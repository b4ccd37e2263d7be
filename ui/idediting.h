// The national-ID box's editing rules over the real ID, apart from the edit
// control so they can be tested natively. The box shows only a masked copy;
// every key and paste is first applied here, at the box's selection.
#pragma once

#include <cstddef>
#include <string>

namespace ui {

const size_t kIdMaxLength = 10;
const size_t kIdShownPrefix = 6;

// The first six characters as they are, every later one as '*'.
std::string MaskId(const std::string& fullId);

// The key-press filter of the ID and password boxes. A byte with the high bit
// set is discarded and so is the next plain byte: a double-byte character
// never gets in by halves.
class KeyFilter {
public:
    // False when the byte must be discarded.
    bool Accept(unsigned char byte);
    void Reset() { skipNextByte_ = false; }
    bool SkipNextByte() const { return skipNextByte_; }

private:
    bool skipNextByte_ = false;
};

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
    // Text from the clipboard (already in the process code page), inserted at
    // the selection unfiltered and unchanged in case, then cut to the limit.
    void Paste(const std::string& text, int start, int end);

private:
    // Erases [start, end) when it is a real selection inside the ID.
    void EraseSelection(int start, int end);

    std::string fullId_;
};

} // namespace ui
