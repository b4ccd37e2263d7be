// The tree of a parsed answer (json/jsonreader.h builds it from JSON).
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
