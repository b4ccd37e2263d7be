// Resizing of 32-bit pixels (four bytes per pixel, premultiplied alpha) by
// area averaging: each destination pixel is the mean of the source area it
// covers, weighted by coverage. Drawn at twice the size, a face shrunk this
// way keeps its painted text crisp at any scale in between.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ui {

// Rows are `stride` bytes apart (at least width * 4). False, with nothing
// written, for an empty or oversized picture.
bool ResamplePixels(const uint8_t* src, int32_t srcWidth, int32_t srcHeight, size_t srcStride, uint8_t* dst,
                    int32_t dstWidth, int32_t dstHeight, size_t dstStride);

} // namespace ui
