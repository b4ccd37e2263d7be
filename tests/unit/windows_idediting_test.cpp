// The national-ID box's rules: what the real ID becomes under typed keys,
// Delete and paste at a selection, and what the box shows of it.
#include <gtest/gtest.h>

#include <string>

#include "windows/idediting.h"
#include "ui/keyfilter.h"

namespace {

using windows::IdEditing;
using ui::KeyFilter;

// Types each key at the end of the ID, as a person typing into an empty box.
void TypeAtEnd(IdEditing& id, const std::string& keys) {
    for (char k : keys) {
        int at = static_cast<int>(id.FullId().size());
        id.Type(k, at, at);
    }
}

TEST(IdEditing, TenKeysGiveTheUpperCaseIdAndItsMaskedForm) {
    IdEditing id;
    TypeAtEnd(id, "a12345678b");
    EXPECT_EQ("A12345678B", id.FullId());
    EXPECT_EQ("A12345****", id.Masked());
    TypeAtEnd(id, "9");  // an eleventh key changes nothing
    EXPECT_EQ("A12345678B", id.FullId());
}

TEST(IdEditing, MaskKeepsSixCharactersWhateverTheLength) {
    EXPECT_EQ("", windows::MaskId(""));
    EXPECT_EQ("A1234", windows::MaskId("A1234"));
    EXPECT_EQ("A12345", windows::MaskId("A12345"));
    EXPECT_EQ("A12345*", windows::MaskId("A123456"));
}

TEST(IdEditing, OnlyLettersDigitsAndBackspaceReachTheBox) {
    IdEditing id;
    for (char k : std::string(" -_.*\x16\x03\x18\r\t")) {
        char key = k;
        EXPECT_FALSE(id.Type(key, 0, 0)) << static_cast<int>(k);
    }
    EXPECT_EQ("", id.FullId());
    char lower = 'q';
    EXPECT_TRUE(id.Type(lower, 0, 0));
    EXPECT_EQ('Q', lower) << "the key passed on to the box is upper-cased too";
}

TEST(IdEditing, BackspaceErasesBeforeTheCaretAndNothingAtTheStart) {
    IdEditing id;
    id.SetFullId("A123456789");
    char bs = '\b';
    EXPECT_TRUE(id.Type(bs, 8, 8));
    EXPECT_EQ("A12345689", id.FullId());
    id.Type(bs, 0, 0);
    EXPECT_EQ("A12345689", id.FullId());
}

TEST(IdEditing, ATypedKeyReplacesTheSelection) {
    IdEditing id;
    id.SetFullId("A123456789");
    char k = 'z';
    id.Type(k, 2, 5);
    EXPECT_EQ("A1Z56789", id.FullId());
    // Backspace over a selection removes just the selection.
    char bs = '\b';
    id.Type(bs, 0, 3);
    EXPECT_EQ("56789", id.FullId());
    // A selection reaching past the ID is not one of its characters: the key
    // still goes in at the caret.
    k = 'x';
    id.Type(k, 4, 9);
    EXPECT_EQ("5678X9", id.FullId());
}

TEST(IdEditing, DeleteErasesTheSelectionOrTheCharacterAtTheCaret) {
    IdEditing id;
    id.SetFullId("A123456789");
    id.Delete(0, 0);
    EXPECT_EQ("123456789", id.FullId());
    id.Delete(9, 9);  // caret at the end: nothing
    EXPECT_EQ("123456789", id.FullId());
    id.Delete(1, 4);
    EXPECT_EQ("156789", id.FullId());
}

TEST(IdEditing, PasteGoesInAtTheSelectionAndIsCutToTen) {
    IdEditing id;
    id.Paste("A1234567890", 0, 0);
    EXPECT_EQ("A123456789", id.FullId());
    EXPECT_EQ("A12345****", id.Masked());

    id.SetFullId("A1");
    id.Paste("BC", 1, 1);  // at the caret
    EXPECT_EQ("ABC1", id.FullId());
    id.Paste("ZZ", 1, 3);  // replaces the selection
    EXPECT_EQ("AZZ1", id.FullId());
    id.Paste("9", 7, 7);  // a caret past the end pastes at the end
    EXPECT_EQ("AZZ19", id.FullId());
}

// A pasted ID went in exactly as pasted: lower case, spaces or punctuation
// made the right person's sign-in fail.
TEST(IdEditing, PastedIdFollowsTheTypedKeysRules) {
    EXPECT_EQ("A123456789", windows::IdFromClipboard(L"  a1234567890\r\n"));
    EXPECT_EQ("A123456789", windows::IdFromClipboard(L"\u3000A12-345.678\u30009"));
    EXPECT_EQ("AZ09", windows::IdFromClipboard(L"\uFF41\uFF3A\uFF10\uFF19"));  // full-width forms
    EXPECT_EQ("A12", windows::IdFromClipboard(L"\u4e2dA1\uFF0F2\u00e9"));
}

TEST(KeyFilter, ADoubleByteCharacterIsDiscardedWithBothBytes) {
    KeyFilter f;
    // Big5 "中" (A4 A4): both bytes high.
    EXPECT_FALSE(f.Accept(0xA4));
    EXPECT_FALSE(f.Accept(0xA4));
    EXPECT_TRUE(f.Accept('b'));
    // Big5 "功" (A5 5C): the trail byte is a backslash and is discarded.
    EXPECT_FALSE(f.Accept(0xA5));
    EXPECT_FALSE(f.Accept(0x5C));
    EXPECT_TRUE(f.Accept('c'));
    EXPECT_TRUE(f.Accept(' '));
    f.Accept(0x81);
    f.Reset();
    EXPECT_TRUE(f.Accept('d'));
}

// A refused character whose second byte was 0x80 or above ate the next key.
TEST(KeyFilter, KeyAfterARefusedCharacterIsNotLost) {
    KeyFilter f;
    for (unsigned char b : {0xA4, 0xA4, 0x81}) EXPECT_FALSE(f.Accept(b));
    EXPECT_TRUE(f.Accept('\b')) << "no trail byte after the lead: a key of its own";
    for (unsigned char b : {0x80, 0xFF}) EXPECT_FALSE(f.Accept(b));  // no lead bytes
    EXPECT_TRUE(f.Accept('a'));
}

} // namespace
