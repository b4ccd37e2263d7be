// The pixel arithmetic of the dimmed snapshot, kept apart from GDI so it can be
// tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ui {

// Bytes of one row of an uncompressed DIB: ((width * bpp + 31) / 32) * 4.
// False when a dimension is not positive or the size would not fit in size_t
// (a 32-bit program: width * height * 4 wraps long before memory runs out).
bool DibRowBytes(int32_t width, int32_t bitsPerPixel, size_t* rowBytes);
bool DibBufferBytes(int32_t width, int32_t height, int32_t bitsPerPixel, size_t* bytes);

// One 32-bit BGRx pixel as a little-endian value (blue in the low byte): each of
// blue, green and red shifted right by one bit, the fourth byte kept.
uint32_t HalvePixel(uint32_t bgrx);
// The same over `count` pixels in place, bytes in memory order B, G, R, x.
void HalvePixels(uint8_t* bgrx, size_t count);

} // namespace ui
