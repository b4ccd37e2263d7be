// The key filter of edit boxes that take single-byte text only, apart from
// the edit control so that it can be tested natively.
#pragma once

namespace ui {

// One per box. A double-byte character (code page 950: lead byte 0x81..0xFE, then one
// trail byte 0x40..0x7E or 0xA1..0xFE) is refused whole, its trail byte too
// even when that is below 0x80; any other byte with the high bit set is
// refused alone. Nothing after the trail byte is ever refused for it.
class KeyFilter {
public:
    // False when the byte must be discarded.
    bool Accept(unsigned char byte);
    // A new key, or the box lost focus: an awaited trail byte is not coming.
    void Reset() { awaitingTrail_ = false; }

private:
    bool awaitingTrail_ = false;
};

} // namespace ui
