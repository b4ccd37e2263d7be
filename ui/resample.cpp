#include "ui/resample.h"

#include <vector>

namespace ui {
namespace {

const int32_t kMaxSide = 16384;
const int kShift = 16;  // fixed-point weights, summing to 1 << kShift

struct Tap {
    int32_t index;
    uint32_t weight;
};

// For each destination index, the source indices it covers and their weights.
// Spans hold the taps of one destination index: [begin[i], begin[i + 1]).
void Coverage(int32_t from, int32_t to, std::vector<Tap>* taps, std::vector<size_t>* begin) {
    taps->clear();
    begin->assign(1, 0);
    // Destination pixel i covers source [i * from / to, (i + 1) * from / to);
    // in units of 1 / to source pixels it is [i * from, (i + 1) * from).
    for (int64_t i = 0; i < to; ++i) {
        const int64_t lo = i * from, hi = (i + 1) * from;
        uint32_t total = 0;
        const size_t first = taps->size();
        for (int64_t s = lo / to; s * to < hi && s < from; ++s) {
            const int64_t a = s * to > lo ? s * to : lo;
            const int64_t b = (s + 1) * to < hi ? (s + 1) * to : hi;
            const uint32_t w = static_cast<uint32_t>(((b - a) << kShift) / from);
            taps->push_back(Tap{static_cast<int32_t>(s), w});
            total += w;
        }
        // Rounding remainder to the largest tap, so a flat area stays flat.
        size_t big = first;
        for (size_t k = first; k < taps->size(); ++k)
            if ((*taps)[k].weight > (*taps)[big].weight) big = k;
        (*taps)[big].weight += (1u << kShift) - total;
        begin->push_back(taps->size());
    }
}

} // namespace

bool ResamplePixels(const uint8_t* src, int32_t srcWidth, int32_t srcHeight, size_t srcStride, uint8_t* dst,
                    int32_t dstWidth, int32_t dstHeight, size_t dstStride) {
    if (!src || !dst || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0 ||
        srcWidth > kMaxSide || srcHeight > kMaxSide || dstWidth > kMaxSide || dstHeight > kMaxSide ||
        srcStride < static_cast<size_t>(srcWidth) * 4 || dstStride < static_cast<size_t>(dstWidth) * 4)
        return false;
    std::vector<Tap> xt, yt;
    std::vector<size_t> xb, yb;
    Coverage(srcWidth, dstWidth, &xt, &xb);
    Coverage(srcHeight, dstHeight, &yt, &yb);

    // Across first, into rows of the destination's width (kept in fixed point).
    // 8 fraction bits: at most 255 << 8, so two bytes a channel suffice.
    std::vector<uint16_t> across(static_cast<size_t>(dstWidth) * 4 * static_cast<size_t>(srcHeight));
    for (int32_t y = 0; y < srcHeight; ++y) {
        const uint8_t* row = src + static_cast<size_t>(y) * srcStride;
        uint16_t* out = &across[static_cast<size_t>(y) * dstWidth * 4];
        for (int32_t x = 0; x < dstWidth; ++x) {
            uint32_t sum[4] = {0, 0, 0, 0};
            for (size_t k = xb[x]; k < xb[x + 1]; ++k) {
                const uint8_t* p = row + static_cast<size_t>(xt[k].index) * 4;
                for (int c = 0; c < 4; ++c) sum[c] += p[c] * xt[k].weight;
            }
            for (int c = 0; c < 4; ++c) out[x * 4 + c] = static_cast<uint16_t>(sum[c] >> 8);
        }
    }
    // Then down.
    for (int32_t y = 0; y < dstHeight; ++y) {
        uint8_t* out = dst + static_cast<size_t>(y) * dstStride;
        for (int32_t x = 0; x < dstWidth * 4; ++x) {
            uint64_t sum = 0;
            for (size_t k = yb[y]; k < yb[y + 1]; ++k) {
                const uint16_t v = across[static_cast<size_t>(yt[k].index) * dstWidth * 4 + x];
                sum += static_cast<uint64_t>(v) * yt[k].weight;
            }
            // 8 + 16 fraction bits, rounded.
            const uint64_t v = (sum + (1u << 23)) >> 24;
            out[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
    return true;
}

} // namespace ui
