// The tree of a parsed answer and the lenient JSON reader that builds it.
// The tree holds text only: numbers, true and false keep the characters they
// were written with. A JSON array has no node of its own: each element
// becomes a child that carries the array's key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct XMLNode {
    std::string name;   // key in the parent; the array's key for array elements
    std::string value;  // unescaped string, or a literal's text; empty for objects
    std::vector<XMLNode> children;  // document order, duplicate names kept
    int32_t cursor = -1;  // index of the child FindFirst/FindNext returned last

    // The first child named `name` (exact bytes); appends an empty one when
    // there is none, so a missing field reads as empty text.
    XMLNode& Child(const std::string& name);
    // Starts a walk: the first child named `name`, or null (cursor -1).
    XMLNode* FindFirst(const std::string& name);
    // The next child with the name of the one at the cursor; null, and the
    // walk ended (cursor -1), when there is no further one.
    XMLNode* FindNext();
};

// Deepest nesting of objects and arrays ParseJSON accepts.
const int kMaxJSONDepth = 512;
// The most a tree may hold: nodes, and bytes of names and values together.
// Far above any answer of the service, far below what a hostile one of the
// answer cap could make a 32-bit process allocate.
const size_t kMaxJSONNodes = 1000000;
const size_t kMaxJSONTextBytes = 64u * 1024 * 1024;

// Reads `text` (process code page) into `root`. Lenient: commas optional,
// missing closers accepted, null members dropped, literals not validated.
// False when the text starts with neither '{' nor '[', an object has no
// member, a literal runs into the end of the text, nesting passes
// kMaxJSONDepth, or the tree would pass kMaxJSONNodes or kMaxJSONTextBytes;
// the members read before a failure stay in `root`. Takes time
// linear in the length of `text`; the first NUL byte ends the text.
bool ParseJSON(const std::string& text, XMLNode& root);

// JSON escapes -> text in the process code page. Runs of \uXXXX go through
// Utf16ToWide and WideToAnsi (a run that does not convert stays as written);
// \\ \" \/ \b \f \n \r \t become their character; any other escape stays.
std::string UnescapeJSON(const std::string& s);
