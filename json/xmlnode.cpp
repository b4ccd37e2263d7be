#include "json/xmlnode.h"

XMLNode& XMLNode::Child(const std::string& childName) {
    for (XMLNode& child : children) {
        if (child.name == childName) return child;
    }
    children.emplace_back();
    children.back().name = childName;
    return children.back();
}

XMLNode* XMLNode::FindFirst(const std::string& childName) {
    cursor = -1;
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i].name == childName) {
            cursor = static_cast<int32_t>(i);
            return &children[i];
        }
    }
    return nullptr;
}

XMLNode* XMLNode::FindNext() {
    if (cursor < 0 || static_cast<size_t>(cursor) >= children.size()) {
        cursor = -1;
        return nullptr;
    }
    const std::string& walked = children[static_cast<size_t>(cursor)].name;
    for (size_t i = static_cast<size_t>(cursor) + 1; i < children.size(); ++i) {
        if (children[i].name == walked) {
            cursor = static_cast<int32_t>(i);
            return &children[i];
        }
    }
    cursor = -1;
    return nullptr;
}
