// ParseJSON on any text: no crash, no read out of bounds, no deep recursion,
// and a tree no deeper than the nesting limit.
#include "doc/xmlnode.h"
#include "fuzz/fuzz_codepage.h"

namespace {

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
    ParseJSON(text, root);
    if (Depth(root, 0) > kMaxJSONDepth) std::abort();
    XMLNode copy = root;
    for (XMLNode* n = copy.FindFirst(""); n; n = copy.FindNext()) n->Child("state");
    return 0;
}
