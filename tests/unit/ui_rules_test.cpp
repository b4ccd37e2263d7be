// The window framework's pure rules: dimming arithmetic, the placeholder rule,
// drag, hit testing and grid cells, file-dialog filters.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "ui/dialogfilter.h"
#include "ui/dimpixels.h"
#include "ui/geometry.h"
#include "ui/placeholder.h"

namespace {

using namespace ui;

// ---- dimming ---------------------------------------------------------------

uint32_t Bgrx(uint8_t r, uint8_t g, uint8_t b, uint8_t x = 0) {
    return static_cast<uint32_t>(b) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(r) << 16) |
           (static_cast<uint32_t>(x) << 24);
}

TEST(DimPixels, HalvesEachColourByteAndKeepsTheFourth) {
    struct Case {
        uint32_t in, out;
    } cases[] = {
        {Bgrx(255, 255, 255), Bgrx(127, 127, 127)},
        {Bgrx(1, 3, 255), Bgrx(0, 1, 127)},
        {Bgrx(0, 0, 0, 0xFF), Bgrx(0, 0, 0, 0xFF)},
        // A byte's low bit must not leak into its lower neighbour.
        {Bgrx(1, 1, 1, 0x81), Bgrx(0, 0, 0, 0x81)},
        {Bgrx(30, 9, 104), Bgrx(15, 4, 52)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HalvePixel(c.in), c.out) << std::hex << c.in;
        uint8_t bytes[4];
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(c.in >> (8 * i));
        HalvePixels(bytes, 1);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes[i]) << (8 * i);
        EXPECT_EQ(v, c.out) << std::hex << c.in;
    }
}

TEST(DimPixels, BufferCoversEveryPixelOfEveryRow) {
    // 3 x 2 pixels: the buffer function and the halving agree on 24 bytes.
    std::vector<uint8_t> buf(3 * 2 * 4, 0xFF);
    size_t bytes = 0;
    ASSERT_TRUE(DibBufferBytes(3, 2, 32, &bytes));
    ASSERT_EQ(bytes, buf.size());
    HalvePixels(buf.data(), bytes / 4);
    for (size_t i = 0; i < buf.size(); ++i) EXPECT_EQ(buf[i], i % 4 == 3 ? 0xFF : 0x7F) << i;
}

TEST(DimPixels, RowAndBufferSizes) {
    size_t n = 0;
    ASSERT_TRUE(DibRowBytes(1280, 32, &n));
    EXPECT_EQ(n, 1280u * 4);
    ASSERT_TRUE(DibRowBytes(3, 24, &n));
    EXPECT_EQ(n, 12u);  // 9 bytes padded to a 4-byte boundary
    ASSERT_TRUE(DibBufferBytes(1280, 798, 32, &n));
    EXPECT_EQ(n, 1280u * 798 * 4);
    EXPECT_FALSE(DibBufferBytes(0, 10, 32, &n));
    EXPECT_FALSE(DibBufferBytes(10, -1, 32, &n));
    // Would wrap a 32-bit size_t: refused, not truncated.
    bool fits = DibBufferBytes(std::numeric_limits<int32_t>::max(), 4, 32, &n);
    if (sizeof(size_t) == 4) {
        EXPECT_FALSE(fits);
    }
}

// ---- placeholder rule ---------------------------------------------------------

// Colours unlike the framework's own, so a rule that ignored them shows.
const BoxColours kBox{MakeColour(30, 9, 104), MakeColour(255, 255, 255), MakeColour(137, 104, 162)};

TEST(PlaceholderRule, EnterClearsThePlaceholderLeaveRestoresIt) {
    const std::string hint = "placeholder";
    EditBoxState box;
    box.text = hint;
    box.textColour = kBox.placeholder;
    // Focus enter on a placeholder: cleared, in the typed colour, masked as the eye says.
    EXPECT_TRUE(ApplyPlaceholderRule(box, hint, '*', kBox));
    EXPECT_EQ(box.text, "");
    EXPECT_EQ(box.textColour, MakeColour(255, 255, 255));
    EXPECT_EQ(box.passwordChar, '*');
    // Focus leave while empty: placeholder back, its colour, masking off.
    EXPECT_TRUE(ApplyPlaceholderRule(box, hint, '*', kBox));
    EXPECT_EQ(box.text, hint);
    EXPECT_EQ(box.textColour, MakeColour(137, 104, 162));
    EXPECT_EQ(box.passwordChar, 0);
}

TEST(PlaceholderRule, TypedTextIsLeftAlone) {
    EditBoxState box;
    box.text = "A123";
    box.passwordChar = '*';
    box.textColour = kBox.text;
    EXPECT_FALSE(ApplyPlaceholderRule(box, "hint", 0, kBox));
    EXPECT_EQ(box.text, "A123");
    EXPECT_EQ(box.passwordChar, '*');
    EXPECT_EQ(box.textColour, kBox.text);
}

TEST(PlaceholderRule, ClearedBoxOfAPlainFieldStaysUnmasked) {
    EditBoxState box;
    box.text = "hint";
    box.passwordChar = '*';
    ApplyPlaceholderRule(box, "hint", 0, kBox);
    EXPECT_EQ(box.passwordChar, 0);
}

TEST(PlaceholderRule, TextEqualToThePlaceholderCountsAsEmpty) {
    EXPECT_TRUE(IsEmptyOrPlaceholder("", "hint"));
    EXPECT_TRUE(IsEmptyOrPlaceholder("hint", "hint"));
    EXPECT_FALSE(IsEmptyOrPlaceholder("hint ", "hint"));
    EXPECT_FALSE(IsEmptyOrPlaceholder("x", "hint"));
}

TEST(PlaceholderRule, EmptyPlaceholderNeverLoops) {
    EditBoxState box;
    EXPECT_FALSE(ApplyPlaceholderRule(box, "", '*', kBox));
    EXPECT_EQ(box.passwordChar, 0);
}

// ---- geometry -------------------------------------------------------------------

TEST(Geometry, DragKeepsTheAnchorUnderThePointer) {
    Point window{100, 50}, anchor{10, 20};
    Point to = DragTarget(window, Point{40, 25}, anchor);  // pointer moved by (30, 5)
    EXPECT_EQ(to.x, 130);
    EXPECT_EQ(to.y, 55);
    to = DragTarget(window, Point{-5, 0}, anchor);  // left of the window: negative client x
    EXPECT_EQ(to.x, 85);
    EXPECT_EQ(to.y, 30);
    to = DragTarget(window, anchor, anchor);
    EXPECT_EQ(to.x, window.x);
    EXPECT_EQ(to.y, window.y);
}

TEST(Geometry, CentringDropsTheFractionTowardZero) {
    Point p = CentreIn(Rect{0, 0, 1366, 900}, 1280, 798);
    EXPECT_EQ(p.x, 43);
    EXPECT_EQ(p.y, 51);
    EXPECT_EQ(CentredOffset(120, 100), 10);
    EXPECT_EQ(CentredOffset(65, 32), 16);
    EXPECT_EQ(CentredOffset(31, 32), 0);   // -0.5 toward zero
    EXPECT_EQ(CentredOffset(30, 33), -1);  // -1.5 toward zero
}

TEST(Geometry, TopmostVisibleShapeWins) {
    // Background, a label over it, and a hidden overlay above both.
    std::vector<Shape> shapes = {
        {Rect{0, 0, 100, 100}, true},
        {Rect{10, 10, 20, 20}, true},
        {Rect{0, 0, 100, 100}, false},
    };
    EXPECT_EQ(HitTopmost(shapes, Point{15, 15}), 1);
    EXPECT_EQ(HitTopmost(shapes, Point{50, 50}), 0);
    EXPECT_EQ(HitTopmost(shapes, Point{30, 30}), 0);  // right/bottom edges are outside the label
    EXPECT_EQ(HitTopmost(shapes, Point{100, 5}), -1);
    shapes[2].visible = true;  // dimmed: the overlay covers the label
    EXPECT_EQ(HitTopmost(shapes, Point{15, 15}), 2);
}

TEST(Geometry, GridCellsUnderThePointer) {
    GridLayout g;
    g.colWidths = {90, 120, 90, 120, 120, 440, 120};
    g.rowHeight = 65;
    g.rowCount = 5;
    struct Case {
        Point p;
        bool hit;
        int32_t col, row;
    } cases[] = {
        {{0, 0}, true, 0, 0},       {{89, 64}, true, 0, 0},  {{90, 65}, true, 1, 1},
        {{1099, 300}, true, 6, 4},  {{1100, 10}, false, 0, 0}, {{10, 325}, false, 0, 0},
        {{-1, 10}, false, 0, 0},
    };
    for (const Case& c : cases) {
        int32_t col = -1, row = -1;
        EXPECT_EQ(CellAt(g, c.p, &col, &row), c.hit) << c.p.x << "," << c.p.y;
        if (c.hit) {
            EXPECT_EQ(col, c.col);
            EXPECT_EQ(row, c.row);
        }
    }
    g.topRow = 2;  // scrolled by two rows
    int32_t col = -1, row = -1;
    ASSERT_TRUE(CellAt(g, Point{700, 70}, &col, &row));
    EXPECT_EQ(col, 5);
    EXPECT_EQ(row, 3);
    Rect r = CellRect(g, 5, 3);
    EXPECT_EQ(r.left, 540);
    EXPECT_EQ(r.top, 65);
    EXPECT_EQ(r.width, 440);
    EXPECT_EQ(r.height, 65);
    EXPECT_EQ(FullyVisibleRows(g, 262), 4);
}

// ---- file-dialog filter -----------------------------------------------------------

TEST(DialogFilter, BarsBecomeNulsWithADoubleNulEnd) {
    std::u16string expected = u"PFX(*.pfx)";
    expected.push_back(0);
    expected += u"*.pfx";
    expected.push_back(0);
    expected.push_back(0);
    EXPECT_EQ(DialogFilterList(u"PFX(*.pfx)|*.pfx"), expected);
    // A description without its pattern is dropped, not passed on half.
    EXPECT_EQ(DialogFilterList(u"PFX(*.pfx)|*.pfx|All"), expected);
    EXPECT_EQ(DialogFilterList(u""), std::u16string(2, u'\0'));
}

} // namespace
