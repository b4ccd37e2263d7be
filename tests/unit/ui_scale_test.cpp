// The scale rule (DPI, work area and window size to a scale, logical to
// device pixels) and the area resampling of the faces.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/resample.h"
#include "ui/scale.h"

namespace {

using namespace ui;

TEST(Scale, TheDpiScaleUnlessTheWindowWouldNotFitItsWorkArea) {
    // 96 DPI on a large screen: exactly the identity, every pixel as drawn.
    EXPECT_TRUE(FitScale(96, MakeRect(0, 0, 1920, 1040), 1280, 798).IsIdentity());
    // 1366 x 768 less a 40-pixel taskbar: the height decides.
    Scale laptop = FitScale(96, MakeRect(0, 0, 1366, 728), 1280, 798);
    EXPECT_EQ(laptop, (Scale{728, 798}));
    EXPECT_LE(laptop.ToDevice(798), 728);
    EXPECT_LE(laptop.ToDevice(1280), 1366);
    // The dialogs fit there at full size.
    EXPECT_TRUE(FitScale(96, MakeRect(0, 0, 1366, 728), 500, 620).IsIdentity());
    // 150 % on 1920 x 1080: 1.5 would be 1197 high, so it fits the height.
    Scale big = FitScale(144, MakeRect(0, 0, 1920, 1040), 1280, 798);
    EXPECT_EQ(big, (Scale{1040, 798}));
    EXPECT_EQ(big.ToDevice(798), 1040);
    // 125 % fits there as it is; a work area off the origin counts by its size.
    EXPECT_EQ(FitScale(120, MakeRect(1920, 40, 1920, 1040), 1280, 798), (Scale{120, 96}));
    EXPECT_EQ(FitScale(192, MakeRect(0, 0, 3840, 2100), 500, 620), (Scale{2, 1}));
}

TEST(Scale, NonsenseInputsFallBackInsteadOfCollapsing) {
    EXPECT_TRUE(FitScale(0, MakeRect(0, 0, 0, 0), 1280, 798).IsIdentity());
    EXPECT_EQ(FitScale(-5, MakeRect(0, 0, 1920, 1040), 1280, 798), (Scale{1, 1}));
    EXPECT_EQ(FitScale(144, MakeRect(0, 0, -1, 600), 1280, 798), (Scale{600, 798}));
    // A tiny work area: the window stays usable at the smallest scale.
    EXPECT_EQ(FitScale(96, MakeRect(0, 0, 300, 200), 1280, 798), kSmallestScale);
    EXPECT_TRUE(FitScale(96, MakeRect(0, 0, 1920, 1040), 0, 0).IsIdentity());
}

TEST(Scale, MappingKeepsEdgesTouchingAndRoundTrips) {
    const Scale scales[] = {{1, 1}, {728, 798}, {1040, 798}, {120, 96}, {3, 2}, {2, 1}, {1, 2}};
    for (const Scale& s : scales) {
        SCOPED_TRACE(std::to_string(s.num) + "/" + std::to_string(s.den));
        // The grid's columns: each starts where the one before ends.
        const int32_t widths[] = {90, 120, 90, 120, 120, 440, 120};
        int32_t left = 90, deviceEnd = s.ToDevice(90);
        for (int32_t w : widths) {
            Rect d = s.ToDevice(MakeRect(left, 291, w, 65));
            EXPECT_EQ(d.left, deviceEnd);
            EXPECT_GE(d.width, 0);
            deviceEnd = d.left + d.width;
            left += w;
        }
        EXPECT_EQ(deviceEnd, s.ToDevice(left));
        for (int32_t x = -50; x <= 1300; ++x) {
            int32_t d = s.ToDevice(x);
            // A logical pixel's device span maps back to it whenever it has one.
            if (s.ToDevice(x + 1) > d) {
                EXPECT_EQ(s.ToLogical(d), x) << x;
            }
            // And every device pixel lies in the span of the pixel it maps to.
            int32_t back = s.ToLogical(x);
            EXPECT_LE(s.ToDevice(back), x) << x;
            EXPECT_GT(s.ToDevice(back + 1), x) << x;
        }
    }
    // Identity is exact, at any value.
    Scale one;
    EXPECT_EQ(one.ToDevice(2147483647), 2147483647);
    EXPECT_EQ(one.ToLogical(-2147483647 - 1), -2147483647 - 1);
    // Rounding as GDI's mapping modes: halves up, also below zero (rows
    // scrolled above the grid), so spans never overlap.
    Scale half{3, 2};
    EXPECT_EQ(half.ToDevice(1), 2);
    EXPECT_EQ(half.ToDevice(-1), -1);
    EXPECT_EQ(half.ToDevice(3), 5);
}

TEST(Scale, PlacementKeepsTheWindowOnItsWorkArea) {
    Point p = PlaceIn(MakeRect(0, 0, 1366, 728), 1168, 728);
    EXPECT_EQ(p.x, 99);
    EXPECT_EQ(p.y, 0);
    p = PlaceIn(MakeRect(100, 50, 800, 600), 1000, 700);  // too big: top-left on it
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 50);
    // Dragged half off the bottom right, then the work area shrinks.
    p = KeepInside(MakeRect(900, 500, 600, 400), MakeRect(0, 0, 1366, 728));
    EXPECT_EQ(p.x, 766);
    EXPECT_EQ(p.y, 328);
    p = KeepInside(MakeRect(-40, -10, 600, 400), MakeRect(0, 40, 1366, 728));
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 40);
    p = KeepInside(MakeRect(300, 300, 2000, 1000), MakeRect(0, 0, 1366, 728));
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

// ---- resampling -------------------------------------------------------------

std::vector<uint8_t> Pixels(int32_t w, int32_t h, uint32_t (*at)(int32_t, int32_t)) {
    std::vector<uint8_t> p(static_cast<size_t>(w) * h * 4);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) p[(static_cast<size_t>(y) * w + x) * 4 + c] = (at(x, y) >> (8 * c)) & 0xFF;
    return p;
}

TEST(Resample, HalvingAveragesEachTwoByTwoBlock) {
    // A one-pixel checkerboard of white and black text strokes turns grey;
    // 0 and 255 average to 127.5, rounded up.
    std::vector<uint8_t> src = Pixels(8, 6, [](int32_t x, int32_t y) -> uint32_t {
        return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    });
    std::vector<uint8_t> dst(4 * 3 * 4, 0);
    ASSERT_TRUE(ResamplePixels(src.data(), 8, 6, 8 * 4, dst.data(), 4, 3, 4 * 4));
    for (size_t i = 0; i < dst.size(); i += 4) {
        EXPECT_EQ(dst[i], 128);
        EXPECT_EQ(dst[i + 2], 128);
        EXPECT_EQ(dst[i + 3], 255);  // opaque stays opaque
    }
}

TEST(Resample, FlatAreasStayFlatAndCoverageWeighsTheEdges) {
    // 3 -> 2 across: the middle source pixel is split between both.
    std::vector<uint8_t> src = Pixels(3, 1, [](int32_t x, int32_t) -> uint32_t {
        return x == 0 ? 0xFF000000u : x == 1 ? 0xFF000090u : 0xFF0000F0u;
    });
    std::vector<uint8_t> dst(2 * 4, 0);
    ASSERT_TRUE(ResamplePixels(src.data(), 3, 1, 12, dst.data(), 2, 1, 8));
    EXPECT_EQ(dst[0], 0x30);  // (0 * 2 + 0x90) / 3
    EXPECT_EQ(dst[4], 0xD0);  // (0x90 + 0xF0 * 2) / 3
    // Any size from a flat colour is that colour, also with padded rows.
    std::vector<uint8_t> flat = Pixels(37, 23, [](int32_t, int32_t) -> uint32_t { return 0xFF68091Eu; });
    for (int32_t w : {1, 17, 37, 50}) {
        const size_t stride = static_cast<size_t>(w) * 4 + 8;
        std::vector<uint8_t> out(stride * 29, 0xAB);
        ASSERT_TRUE(ResamplePixels(flat.data(), 37, 23, 37 * 4, out.data(), w, 29, stride));
        for (int32_t y = 0; y < 29; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = &out[y * stride + x * 4];
                ASSERT_EQ(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24, 0xFF68091Eu) << w;
            }
        EXPECT_EQ(out[static_cast<size_t>(w) * 4], 0xAB);  // the padding is not written
    }
}

TEST(Resample, RefusesWhatItCannotHold) {
    std::vector<uint8_t> src(16, 1), dst(16, 7);
    EXPECT_FALSE(ResamplePixels(src.data(), 2, 2, 8, dst.data(), 0, 2, 8));
    EXPECT_FALSE(ResamplePixels(src.data(), 2, 2, 4, dst.data(), 2, 2, 8));  // stride shorter than a row
    EXPECT_FALSE(ResamplePixels(src.data(), 2, 2, 8, dst.data(), 1 << 20, 1, size_t(1) << 22));
    EXPECT_FALSE(ResamplePixels(nullptr, 2, 2, 8, dst.data(), 2, 2, 8));
    EXPECT_EQ(dst, std::vector<uint8_t>(16, 7));
}

} // namespace
