#include "ui/keyfilter.h"

namespace ui {

namespace {

bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE); }

} // namespace

bool KeyFilter::Accept(unsigned char byte) {
    if (awaitingTrail_) {
        awaitingTrail_ = false;
        // The refused character's second half. Anything else is a new key.
        if (IsTrailByte(byte)) return false;
    }
    if (byte < 0x80) return true;
    awaitingTrail_ = IsLeadByte(byte);
    return false;
}

} // namespace ui
