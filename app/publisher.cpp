#include "app/publisher.h"

#include <mutex>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool ParseKeyList(const std::string& text, std::vector<platform::KeyDigest>* keys) {
    std::vector<platform::KeyDigest> parsed;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        if (end - start != 64) return false;
        platform::KeyDigest key;
        for (size_t i = 0; i < key.size(); ++i) {
            const int hi = HexDigit(text[start + 2 * i]), lo = HexDigit(text[start + 2 * i + 1]);
            if (hi < 0 || lo < 0) return false;
            key[i] = static_cast<uint8_t>(hi << 4 | lo);
        }
        parsed.push_back(key);
        start = end + 1;
    }
    *keys = parsed;
    return true;
}

std::vector<platform::KeyDigest> AcceptedPublisherKeys() {
    // Read once: the executable does not change while it runs.
    static std::once_flag once;
    static std::vector<platform::KeyDigest> keys;
    std::call_once(once, [] {
        platform::KeyDigest own;
        if (!platform::ModuleSignerKey(&own)) return;
        std::vector<platform::KeyDigest> named;
        // Checked at configure time; an unreadable list adds nothing.
        ParseKeyList(KOVA_PUBLISHER_KEYS, &named);
        keys.push_back(own);
        keys.insert(keys.end(), named.begin(), named.end());
    });
    return keys;
}

bool IsAcceptedKey(const platform::KeyDigest& signer, const std::vector<platform::KeyDigest>& accepted) {
    for (const platform::KeyDigest& key : accepted)
        if (key == signer) return true;
    return false;
}

bool IsFromOurPublisher(const platform::ReadLockedFile& file, const std::string& path) {
    const std::vector<platform::KeyDigest> accepted = AcceptedPublisherKeys();
    if (accepted.empty()) return false;
    platform::KeyDigest signer;
    return platform::VerifyFileSignature(file, path, &signer) && IsAcceptedKey(signer, accepted);
}

bool IsUpdateFromOurPublisher(const std::string& path) {
    platform::ReadLockedFile file;
    return file.Open(path) && IsFromOurPublisher(file, path);
}
