#include <gtest/gtest.h>

#include <string>

#include "text/encoding.h"
#include "json/jsonreader.h"

namespace {

// name=value{children}, children joined by ','; "=value" and "{...}" only
// when there is one.
std::string Dump(const XMLNode& node) {
    std::string out;
    for (size_t i = 0; i < node.children.size(); ++i) {
        const XMLNode& c = node.children[i];
        if (i) out += ',';
        out += c.name;
        if (!c.value.empty()) out += "=" + c.value;
        if (!c.children.empty()) out += "{" + Dump(c) + "}";
    }
    return out;
}

std::string Ansi(const char* utf8) {
    std::string out;
    Utf8ToAnsi(utf8, out);
    return out;
}

} // namespace

TEST(ParseJSON, GrammarAndLeniencies) {
    struct Case {
        const char* text;
        bool ok;
        const char* tree;
    };
    const Case cases[] = {
        {"{}", false, ""},
        {"{\"a\":null}", true, ""},
        {"{\"a\":[]}", true, ""},
        {"{\"list\":[{\"x\":\"1\"},{\"x\":\"2\"}]}", true, "list{x=1},list{x=2}"},
        {"{\"n\": 12 , \"b\":true}", true, "n=12,b=true"},
        {"{\"s\":\"a\\\"b\\\\\",\"t\":\"u\"}", true, "s=a\"b\\,t=u"},
        {"[1,\"x\",null]", true, "=1,=x,"},
        {"[[1,2]]", true, "{=1,=2}"},
        {"{\"a\":1", false, ""},
        {"{\"a\":\"1\",\"a\":\"2\"}", true, "a=1,a=2"},
        {"{\"q\":\"x\\qy\"}", true, "q=x\\qy"},
        {"{\"a\":\"1\" \"b\":\"2\",,}", true, "a=1,b=2"},             // commas optional
        {"{\"a\":{\"b\":\"c\"", true, "a{b=c}"},                      // closers optional
        {"{\"a\":[1,[2,3],{\"b\":null}]}", true, "a=1,a{=2,=3},a"},
        {"{\"k\":[\"v\",\"w\"],\"z\":\"1\"}", true, "k=v,k=w,z=1"},  // '}' closes again after an array
        {"{\"a\":\"abc}", true, "a=\"abc"},                          // unterminated: read as a literal
        {"[\"abc, 1]", true, "=\"abc,=1"},
        {"{\"a\": }", false, ""},
        {"{\"e\":\"\\u00\"}", true, "e=\\u00"},                      // short escape stays
        {"{\"t\":\"\\t\\n\\/\"}", true, "t=\t\n/"},
        {"{\"a\\u0062\":\"1\"}", true, "ab=1"},                      // keys are unescaped too
        {"x", false, ""},
        {"  ", false, ""},
        {"\"s\"", false, ""},
    };
    for (const Case& c : cases) {
        XMLNode root;
        EXPECT_EQ(c.ok, ParseJSON(c.text, root)) << c.text;
        EXPECT_EQ(c.tree, Dump(root)) << c.text;
    }
}

TEST(ParseJSON, UnicodeEscapesBecomeTheCodePage) {
    XMLNode root;
    ASSERT_TRUE(ParseJSON("{\"k\":\"\\u4e2d\\u6587\",\"e\":\"\\ud83d\\ude00\",\"l\":\"\\ude00x\"}", root));
    EXPECT_EQ(Ansi("中文"), root.Child("k").value);
    if (ProcessCodePage() == platform::kCodePageUtf8) {
        EXPECT_EQ("\xF0\x9F\x98\x80", root.Child("e").value);  // not U+F600
    } else {
        EXPECT_EQ("\xA4\xA4\xA4\xE5", root.Child("k").value);
        EXPECT_EQ("??", root.Child("e").value);
    }
    EXPECT_EQ("\\ude00x", root.Child("l").value);  // a low surrogate first does not convert
}

TEST(ParseJSON, RawTextInTheCodePage) {
    // 許 ends in 0x5C in code page 950: neither an escape nor an escaped quote.
    std::string text = "{\"n\":\"" + Ansi("許") + "\",\"m\":\"" + Ansi("許") + "n\"}";
    XMLNode root;
    ASSERT_TRUE(ParseJSON(text, root));
    EXPECT_EQ(Ansi("許"), root.Child("n").value);
    EXPECT_EQ(Ansi("許") + "n", root.Child("m").value);
}

// Regression: in UTF-8 U+200D joins the backslash after it into its
// character, so the reader saw no backslash and left the escapes raw.
TEST(ParseJSON, EscapeAfterZeroWidthJoinerIsUnescaped) {
    const std::string joined = "\xE4\xB8\xAD\xE2\x80\x8D";  // 中 U+200D
    XMLNode root;
    ASSERT_TRUE(ParseJSON("{\"n\":\"" + joined + "\\n\",\"u\":\"" + joined + "\\u4e2d\"}", root));
    if (ProcessCodePage() == platform::kCodePageUtf8) {
        EXPECT_EQ(joined + "\n", root.Child("n").value);
        EXPECT_EQ(joined + "\xE4\xB8\xAD", root.Child("u").value);
    } else {
        // In 950 the same backslash is the trail byte of 8D 5C: no escape.
        EXPECT_EQ(joined + "\\n", root.Child("n").value);
        EXPECT_EQ(joined + "\\u4e2d", root.Child("u").value);
    }
}

TEST(XMLNode, ChildFindFirstFindNext) {
    XMLNode root;
    ASSERT_TRUE(ParseJSON("{\"a\":\"1\",\"b\":\"x\",\"a\":\"2\",\"A\":\"3\"}", root));
    EXPECT_EQ("1", root.Child("a").value);
    XMLNode* first = root.FindFirst("a");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ("1", first->value);
    XMLNode* second = root.FindNext();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ("2", second->value);
    EXPECT_EQ(nullptr, root.FindNext());
    EXPECT_EQ(-1, root.cursor);
    EXPECT_EQ(nullptr, root.FindNext());
    EXPECT_EQ(nullptr, root.FindFirst("c"));
    EXPECT_EQ(-1, root.cursor);
    EXPECT_EQ(nullptr, root.FindFirst("a "));  // exact length
    size_t before = root.children.size();
    XMLNode& z = root.Child("z");
    EXPECT_EQ("z", z.name);
    EXPECT_TRUE(z.value.empty());
    EXPECT_EQ(before + 1, root.children.size());
}

// Regression: deep nesting used to recurse until the stack overflowed.
TEST(ParseJSONDepth, DeepNestingFailsInsteadOfOverflowing) {
    const int levels = 100000;
    std::string arrays(levels, '[');
    std::string objects;
    for (int i = 0; i < levels; ++i) objects += "{\"a\":";
    std::string mixed;
    for (int i = 0; i < levels; ++i) mixed += "{\"a\":[";
    for (const std::string* text : {&arrays, &objects, &mixed}) {
        XMLNode root;
        EXPECT_FALSE(ParseJSON(*text, root));
    }
    // The limit counts open brackets: a string at the deepest level is fine.
    std::string fits;
    for (int i = 0; i < kMaxJSONDepth; ++i) fits += i % 2 ? "{\"a\":" : "[";
    std::string tooDeep = fits + "[\"x\"]";
    fits += "\"x\"";
    XMLNode root;
    EXPECT_TRUE(ParseJSON(fits, root));
    XMLNode copy = root;  // copies and destroys the deep tree
    EXPECT_EQ(1u, copy.children.size());
    XMLNode deeper;
    EXPECT_FALSE(ParseJSON(tooDeep, deeper));
}

// Regression: every level retried an unterminated string or literal from
// the same place up to the end of the text: quadratic, a hang on a few MB.
TEST(ParseJSONTime, UnterminatedTextIsScannedOnce) {
    struct Case {
        std::string text;
        size_t rootChildren;
    };
    std::string spaces(200000, ' ');
    std::string strings = "[";
    for (int i = 0; i < 100000; ++i) strings += "\"a,";  // "a," a, "a," a, ...
    const Case cases[] = {
        {std::string(400, '[') + spaces + "\"x", 1},
        {std::string(400, '[') + spaces + "x", 1},
        {"[" + std::string(100000, '"') + "]", 50000},
        {strings, 100000},
        {std::string(400, '[') + std::string(200000, ','), 1},
    };
    for (const Case& c : cases) {
        XMLNode root;
        EXPECT_TRUE(ParseJSON(c.text, root));  // a hang here is caught by the ctest timeout
        EXPECT_EQ(c.rootChildren, root.children.size());
    }
}

// Regression: an answer within the answer cap could make the tree cost many
// times its own size: a million tiny elements, or one long key copied into
// every element of its array. Past the bounds the reader fails like on any
// unreadable answer.
TEST(ParseJSONCost, TreePastItsBoundsFails) {
    std::string elements = "[";
    elements.reserve(2 * kMaxJSONNodes + 8);
    for (size_t i = 0; i < kMaxJSONNodes; ++i) elements += "1,";
    {
        XMLNode fits;
        EXPECT_TRUE(ParseJSON(elements + "]", fits));
        EXPECT_EQ(kMaxJSONNodes, fits.children.size());
    }
    {
        XMLNode over;
        EXPECT_FALSE(ParseJSON(elements + "1]", over));
        EXPECT_LE(over.children.size(), kMaxJSONNodes);
    }
    // Members of nested objects count as well.
    std::string members = "{\"o\":{";
    for (size_t i = 0; i <= kMaxJSONNodes; ++i) members += "\"k\":1,";
    XMLNode nested;
    EXPECT_FALSE(ParseJSON(members + "}}", nested));

    // 96 copies of a 1 MiB key.
    std::string copies = "{\"" + std::string(1 << 20, 'k') + "\":[";
    for (int i = 0; i < 96; ++i) copies += "1,";
    XMLNode keys;
    EXPECT_FALSE(ParseJSON(copies + "]}", keys));
    // Half as many copies stay within the bound.
    copies = "{\"" + std::string(1 << 20, 'k') + "\":[";
    for (int i = 0; i < 48; ++i) copies += "1,";
    XMLNode half;
    EXPECT_TRUE(ParseJSON(copies + "]}", half));
    EXPECT_EQ(48u, half.children.size());
}

// Child lists are reserved for the size of the last list of their level and
// cut back when the guess was wrong: a list of another size than its
// predecessor must not keep the spare room, which would add up over an answer.
TEST(ParseJSONCost, ChildListsKeepNoSpareRoomWhenShapesVary) {
    struct Walk {
        static void Check(const XMLNode& node, const std::string& path) {
            EXPECT_EQ(node.children.size(), node.children.capacity()) << path;
            for (const XMLNode& c : node.children) Check(c, path + "/" + c.name);
        }
    };
    const char* texts[] = {
        "{\"l\":[{\"a\":1,\"b\":2,\"c\":3},{\"a\":1},{\"a\":1,\"b\":2,\"c\":3,\"d\":4},{},{\"a\":null}]}",
        "[[1,2,3,4],[1],[1,2],{\"k\":[1,2,3]}]",
        "{\"a\":{\"b\":1,\"c\":2,\"d\":3},\"e\":{\"f\":",  // fails: what was read stays, cut back too
    };
    for (const char* text : texts) {
        XMLNode root;
        ParseJSON(text, root);
        Walk::Check(root, text);
    }
}
