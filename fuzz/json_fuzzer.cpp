// ParseJSON on any text: no crash, no read out of bounds, no deep recursion,
// a tree no deeper than the nesting limit, and the same result as the plainly
// written algorithm, in code page 950 and in UTF-8.
#include "json/jsonreader.h"
#include "fuzz/fuzz_codepage.h"
#include "fuzz/json_reference.h"

namespace {

bool Same(const XMLNode& a, const XMLNode& b) {
    if (a.name != b.name || a.value != b.value || a.children.size() != b.children.size()) return false;
    for (size_t i = 0; i < a.children.size(); ++i) {
        if (!Same(a.children[i], b.children[i])) return false;
    }
    return true;
}

int Depth(const XMLNode& node, int level) {
    int deepest = level;
    for (const XMLNode& child : node.children) {
        int d = Depth(child, level + 1);
        if (d > deepest) deepest = d;
    }
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = TakeCodePage(data, size);
    XMLNode root;
    bool ok = ParseJSON(text, root);
    if (Depth(root, 0) > kMaxJSONDepth) std::abort();
    // The shortcuts must not change the result.
    XMLNode plain;
    if (reference::ParseJSON(text, platform::AnsiCodePage(), plain) != ok || !Same(root, plain)) std::abort();
    XMLNode copy = root;
    for (XMLNode* n = copy.FindFirst(""); n; n = copy.FindNext()) n->Child("state");
    return 0;
}
