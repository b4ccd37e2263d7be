#include "net/bodyencoding.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "platform/platform.h"

namespace net {

namespace {

const char kHex[] = "0123456789ABCDEF";

template <class Text>
void AppendPercent(Text& out, unsigned char c) {
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0x0F]);
}

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '~';
}

// Appending in place: a body holding a password is built without
// temporaries that would be freed unwiped.
template <class Text>
void UrlEncodeInto(Text& out, const std::string& text, bool spaceAsPercent) {
    for (unsigned char c : text) {
        if (Unreserved(c)) {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ' && !spaceAsPercent) {
            out.push_back('+');
        } else {
            AppendPercent(out, c);
        }
    }
}

template <class Text>
void JsonEscapeInto(Text& out, const std::string& text) {
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0x0F]);
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
}

} // namespace

std::string UrlEncode(const std::string& text, bool spaceAsPercent) {
    std::string out;
    out.reserve(text.size());
    UrlEncodeInto(out, text, spaceAsPercent);
    return out;
}

void AppendUrlEncoded(SecretText& out, const std::string& text, bool spaceAsPercent) {
    UrlEncodeInto(out, text, spaceAsPercent);
}

std::string QuoteSafe(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '"' || c == '\r' || c == '\n') {
            AppendPercent(out, c);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string JsonEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    JsonEscapeInto(out, text);
    return out;
}

void AppendJsonEscaped(SecretText& out, const std::string& text) { JsonEscapeInto(out, text); }

std::string NewBoundary() {
    unsigned char random[16];
    if (!platform::RandomBytes(random, sizeof random)) {
        // Without a random source the boundary can be guessed; the body
        // encoder still leaves out any value that holds it.
        static std::atomic<uint32_t> counter{0};
        const uint32_t n = counter.fetch_add(1) ^ platform::TimeMs();
        for (size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<unsigned char>(n >> (i % 4 * 8));
    }
    std::string out = "------------";
    for (unsigned char c : random) {
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 0x0F]);
    }
    return out;
}

namespace {
// Its whole storage, the small-string buffer inside the object included.
void WipeText(SecretText& text) {
    text.resize(text.capacity());
    if (!text.empty()) platform::WipeMemory(&text[0], text.size());
    text.clear();
}
} // namespace

NeedleScan::~NeedleScan() { WipeText(tail_); }

void NeedleScan::Feed(const char* data, size_t length) {
    if (found_ || needle_.empty() || length == 0) return;
    const size_t keep = needle_.size() - 1;
    // A needle across the join lies within the kept tail and this feed's
    // first needle_.size() - 1 bytes.
    SecretText join(tail_);
    join.append(data, length < keep ? length : keep);
    found_ = join.find(needle_) != SecretText::npos ||
             std::search(data, data + length, needle_.begin(), needle_.end()) != data + length;
    WipeText(join);
    if (found_) return;
    if (length >= keep) {
        tail_.assign(data + length - keep, keep);
    } else {
        tail_.append(data, length);
        if (tail_.size() > keep) tail_.erase(0, tail_.size() - keep);
    }
}

std::string SpoolFileName(uint32_t counter) {
    char name[32];
    std::snprintf(name, sizeof name, "http_post_%02u.body", static_cast<unsigned>(counter % 10));
    return name;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == '\\' || last == '/') return folder + name;
    const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
    return folder + separator + name;
}

} // namespace net
