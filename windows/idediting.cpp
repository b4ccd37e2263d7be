#include "windows/idediting.h"

#include <algorithm>

namespace windows {

std::string MaskId(const std::string& fullId) {
    std::string shown = fullId;
    for (size_t i = kIdShownPrefix; i < shown.size(); ++i) shown[i] = '*';
    return shown;
}

std::string IdFromClipboard(const std::wstring& text) {
    std::string id;
    for (wchar_t w : text) {
        if (id.size() >= kIdMaxLength) break;
        unsigned long c = static_cast<unsigned long>(w);
        // Full-width digits and letters lie 0xFEE0 above their ASCII forms.
        if ((c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A)) c -= 0xFEE0;
        if (c >= 'a' && c <= 'z') c = c - 'a' + 'A';
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) id.push_back(static_cast<char>(c));
    }
    return id;
}

void IdEditing::EraseSelection(int start, int end) {
    // Selections come from the box in bytes; a negative or reversed one is
    // not a selection, and one reaching past the ID is the box's own text.
    if (start < 0 || start >= end || fullId_.size() < static_cast<size_t>(end)) return;
    fullId_.erase(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

bool IdEditing::Type(char& key, int start, int end) {
    const bool backspace = key == '\b';
    const bool letter = (key >= 'A' && key <= 'Z') || (key >= 'a' && key <= 'z');
    const bool digit = key >= '0' && key <= '9';
    if (!backspace && !letter && !digit) return false;
    EraseSelection(start, end);
    if (backspace) {
        if (start > 0 && start == end && static_cast<size_t>(start) <= fullId_.size())
            fullId_.erase(static_cast<size_t>(start - 1), 1);
        return true;
    }
    if (key >= 'a' && key <= 'z') key = static_cast<char>(key - 'a' + 'A');
    if (fullId_.size() < kIdMaxLength) {
        size_t at = std::min(static_cast<size_t>(std::max(start, 0)), fullId_.size());
        fullId_.insert(at, 1, key);
    }
    return true;
}

void IdEditing::Delete(int start, int end) {
    if (fullId_.empty() || start < 0) return;
    if (start < end) {
        EraseSelection(start, end);
    } else if (start == end && static_cast<size_t>(end) < fullId_.size()) {
        fullId_.erase(static_cast<size_t>(end), 1);
    }
}

void IdEditing::Paste(const std::string& text, int start, int end) {
    EraseSelection(start, end);
    size_t at = std::min(static_cast<size_t>(std::max(start, 0)), fullId_.size());
    fullId_.insert(at, text);
    if (fullId_.size() > kIdMaxLength) fullId_.resize(kIdMaxLength);
}

} // namespace windows
