#include "ui/dimpixels.h"

#include <limits>

namespace ui {

bool DibRowBytes(int32_t width, int32_t bitsPerPixel, size_t* rowBytes) {
    if (width <= 0 || bitsPerPixel <= 0) return false;
    uint64_t bits = static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel) + 31;
    uint64_t bytes = bits / 32 * 4;
    if (bytes > std::numeric_limits<size_t>::max()) return false;
    *rowBytes = static_cast<size_t>(bytes);
    return true;
}

bool DibBufferBytes(int32_t width, int32_t height, int32_t bitsPerPixel, size_t* bytes) {
    size_t row = 0;
    if (height <= 0 || !DibRowBytes(width, bitsPerPixel, &row)) return false;
    if (row > std::numeric_limits<size_t>::max() / static_cast<size_t>(height)) return false;
    *bytes = row * static_cast<size_t>(height);
    return true;
}

uint32_t HalvePixel(uint32_t bgrx) {
    // Shift the three colour bytes together; the mask drops each byte's lowest
    // bit before it could slide into its lower neighbour.
    return ((bgrx & 0x00FEFEFEu) >> 1) | (bgrx & 0xFF000000u);
}

void HalvePixels(uint8_t* bgrx, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = bgrx + i * 4;
        p[0] = static_cast<uint8_t>(p[0] >> 1);
        p[1] = static_cast<uint8_t>(p[1] >> 1);
        p[2] = static_cast<uint8_t>(p[2] >> 1);
    }
}

} // namespace ui
