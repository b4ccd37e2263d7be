#include <gtest/gtest.h>

#include <string>

#include "text/encoding.h"
#include "text/uitext.h"

using platform::WideString;

namespace {

std::string Hex(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

std::string Hex(const WideString& w) {
    std::string out;
    char buf[8];
    for (char16_t u : w) {
        std::snprintf(buf, sizeof buf, "%04X ", static_cast<unsigned>(u));
        out += buf;
    }
    return out;
}

bool Is950() { return ProcessCodePage() == 950; }

} // namespace

TEST(Utf8ToWide, DecodesLenientlyAndStopsAtBadBytes) {
    struct Case {
        std::string in;
        WideString out;
        bool ok;
    };
    const Case cases[] = {
        {"A", u"A", true},
        {"\xC3\xA9", u"\x00E9", true},
        {"\xE4\xB8\xAD", u"\x4E2D", true},
        // Outside the BMP: a surrogate pair, not the low 16 bits (U+F600).
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00", true},
        {"\xF4\x90\x80\x80", u"\xFFFD", true},  // above U+10FFFF
        {std::string("\xC0\x80", 2), WideString(1, u'\0'), true},  // overlong passes
        {"\xED\xA0\xBD", u"\xD83D", true},  // encoded surrogate passes
        {"A\x80" "B", u"A", false},
        {"AB\xE4\xB8", u"AB", false},
        {"\xE4\xB8" "A", u"", false},
        {"x\xF8\x88\x80\x80\x80", u"x", false},
        {"x\xFF", u"x", false},
    };
    for (const Case& c : cases) {
        WideString out = u"stale";
        EXPECT_EQ(c.ok, Utf8ToWide(c.in, out)) << Hex(c.in);
        EXPECT_EQ(Hex(c.out), Hex(out)) << Hex(c.in);
    }
}

TEST(WideToUtf8, JoinsValidPairsAndEncodesLoneSurrogates) {
    struct Case {
        WideString in;
        std::string out;
    };
    const Case cases[] = {
        {u"A\x00E9\x4E2D", "A\xC3\xA9\xE4\xB8\xAD"},
        {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {u"\xD83D", "\xED\xA0\xBD"},
        {u"\xDE00\xD83D", "\xED\xB8\x80\xED\xA0\xBD"},
        {WideString(u"A\0B", 3), "AB"},  // a zero unit gives no byte
    };
    for (const Case& c : cases) EXPECT_EQ(Hex(c.out), Hex(WideToUtf8(c.in))) << Hex(c.in);
}

TEST(Utf16ToWide, KeepsPairsAndRejectsLeadingLowSurrogate) {
    struct Case {
        WideString in;
        size_t bytes;
        WideString out;
        bool ok;
    };
    const Case cases[] = {
        {u"\xD83D\xDE00", 4, u"\xD83D\xDE00", true},
        {u"\xDE00", 2, u"", false},
        {u"A\xDE00", 4, u"A", false},
        {u"\xD83D", 2, u"\xD83D", true},        // high surrogate at the end: copied
        {u"\xD83D" u"A", 4, u"\xD83D" u"A", true},
        {u"AB\x4E2D", 5, u"AB", true},           // an odd byte does not count
    };
    for (const Case& c : cases) {
        WideString out;
        EXPECT_EQ(c.ok, Utf16ToWide(c.in.data(), c.bytes, out)) << Hex(c.in);
        EXPECT_EQ(Hex(c.out), Hex(out)) << Hex(c.in);
    }
}

TEST(Utf8CharLength, JoinsModifiersJoinersAndEncodedPairs) {
    struct Case {
        const char* text;
        size_t length;
    };
    const Case cases[] = {
        {"", 0},
        {"Ab", 1},
        {"A\xE2\x80\x8D" "B", 1},                        // nothing joins ASCII
        {"\xC3\xA9x", 2},
        {"\xE4\xB8\xADx", 3},
        {"\xF0\x9F\x98\x80x", 4},
        {"\xE2\x9D\xA4\xEF\xB8\x8Fx", 6},                // heart + VS16
        {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBDx", 8},        // thumbs up + skin tone
        // man + skin tone, ZWJ, woman, ZWJ, girl: one character of 22 bytes.
        {"\xF0\x9F\x91\xA8\xF0\x9F\x8F\xBB\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7x", 22},
        {"\xE4\xB8\xAD\xE2\x80\x8D" "A", 7},             // the joined character may be ASCII
        {"\xE4\xB8\xAD\xE2\x80\x8D", 6},                  // joiner at the end stops at the NUL
        {"\xED\xA0\xBD\xED\xB8\x80x", 6},                // encoded surrogate pair
        {"\xED\xA0\xBD\xED", 3},                          // pair cut short: never past the NUL
        {"\xED\xA0\xBD\xED\xB8", 3},
        {"\x80", 0},
        {"\xE4\xB8", 0},
        {"\xF8\x88\x80\x80\x80", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.length, Utf8CharLength(c.text)) << Hex(std::string(c.text));
}

TEST(Utf8CharLength, LongJoinerChainIsOneCharacterWithoutDeepRecursion) {
    std::string chain = "\xE4\xB8\xAD";
    for (int i = 0; i < 200000; ++i) chain += "\xE2\x80\x8D\xE4\xB8\xAD";
    EXPECT_EQ(chain.size(), Utf8CharLength(chain.c_str()));
}

TEST(CharLength, StepsByTheProcessCodePage) {
    EXPECT_EQ(0u, CharLength(""));
    EXPECT_EQ(1u, CharLength("A"));
    if (Is950()) {
        EXPECT_EQ(2u, CharLength("\xA4\xA4" "A"));  // 中
        EXPECT_EQ(2u, CharLength("\xB3\x5C"));       // 許: its trail byte is a backslash
        EXPECT_EQ(1u, CharLength("\xA4"));           // lead byte before the NUL
        EXPECT_EQ(1u, CharLength("\x80" "A"));
        EXPECT_EQ(1u, CharLength("\xFF" "A"));
    } else {
        EXPECT_EQ(3u, CharLength("\xE4\xB8\xAD" "A"));
        EXPECT_EQ(0u, CharLength("\x80" "A"));
        EXPECT_EQ(8u, CharLength("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"));
    }
}

// The same vectors hold for Wine's real conversions and for our Linux layer.
TEST(CodePageConversion, MatchesTheWindowsTables) {
    struct Case {
        std::string ansi;
        WideString wide;
    };
    if (Is950()) {
        const Case toWide[] = {
            {"\xA4\xA4\xA4\xE5", u"\x4E2D\x6587"},          // 中文
            {"\xA3\xE1", u"\x20AC"},                        // euro sign
            {"\xFA\x40\x81\x40\xC6\xA1", u"\xE000\xEEB8\xF6B1"},  // user-defined areas -> PUA
            {"\xA3\xC0", u"?"},                             // unmapped pair
            {"\x81\x30", u"?"},                             // bad trail: both bytes go
            {"A\xA4", u"A?"},                               // lead byte at the end
            {"\x80\xFF", u"\x0080\xF8F8"},
            {std::string("A\0B", 3), u"A"},                 // stops at the NUL
        };
        for (const Case& c : toWide) EXPECT_EQ(Hex(c.wide), Hex(AnsiToWide(c.ansi))) << Hex(c.ansi);
        const Case toAnsi[] = {
            {"\xA4\xA4\xA4\xE5", u"\x4E2D\x6587"},
            {"\xFA\x40", u"\xE000"},
            {"!\xA2\x46", u"\x00A1\x00A2"},                 // best fit
            {"??", u"\xD83D\xDE00"},                        // one '?' per unit
            {"?", u"\xAC00"},                               // Hangul: not in the code page
            {"\xA4\x51", u"\x5341"},                        // of two codes, the one Windows writes
            {"A", WideString(u"A\0B", 3)},
        };
        for (const Case& c : toAnsi) EXPECT_EQ(Hex(c.ansi), Hex(WideToAnsi(c.wide))) << Hex(c.wide);
    } else {
        const Case toWide[] = {
            {"\xE4\xB8\xAD", u"\x4E2D"},
            {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
            {"\xE0\x80\x80", u"\xFFFD\xFFFD"},             // longest valid beginning, then the rest
            {"\xE4\x41\xB8", u"\xFFFD" u"A\xFFFD"},
            {"A\xE4\xB8", u"A\xFFFD"},
        };
        for (const Case& c : toWide) EXPECT_EQ(Hex(c.wide), Hex(AnsiToWide(c.ansi))) << Hex(c.ansi);
        EXPECT_EQ(Hex(std::string("\xF0\x9F\x98\x80\xEF\xBF\xBD")), Hex(WideToAnsi(u"\xD83D\xDE00\xDC00")));
    }
}

TEST(CodePageConversion, CompoundConversionsAndUiText) {
    std::string ansi;
    EXPECT_TRUE(Utf8ToAnsi("\xE8\xAD\x89\xE5\x88\xB8", ansi));  // 證券
    EXPECT_EQ(UiText("證券"), ansi);
    EXPECT_EQ(Is950() ? std::string("\xC3\xD2\xA8\xE9") : std::string("\xE8\xAD\x89\xE5\x88\xB8"), ansi);
    EXPECT_EQ("\xE8\xAD\x89\xE5\x88\xB8", AnsiToUtf8(ansi));
    EXPECT_FALSE(Utf8ToAnsi("OK\x80", ansi));
    EXPECT_EQ("OK", ansi);
    EXPECT_EQ(u"\x8B49\x5238", UiWide("證券"));
}
