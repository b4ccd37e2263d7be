// IsNewerVersion on any pair of texts (split at the first newline): an order
// never claims both directions, nor a version newer than itself, and for
// plain versions (at most four pieces below 100) it agrees with comparing
// the pieces in order.
#include <cstdlib>
#include <string>
#include <vector>

#include "center/kovacenter.h"

namespace {

// The pieces of a plain version ("1.02.3"), or false for anything else.
bool PlainPieces(const std::string& text, std::vector<int>* pieces) {
    pieces->clear();
    size_t start = 0;
    for (;;) {
        size_t dot = text.find('.', start);
        if (dot == std::string::npos) dot = text.size();
        const size_t length = dot - start;
        if (length < 1 || length > 2) return false;
        int value = 0;
        for (size_t i = start; i < dot; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + (text[i] - '0');
        }
        pieces->push_back(value);
        if (dot == text.size()) return pieces->size() <= 4;
        start = dot + 1;
    }
}

bool PiecesNewer(std::vector<int> own, std::vector<int> server) {
    const size_t n = own.size() > server.size() ? own.size() : server.size();
    own.resize(n, 0);
    server.resize(n, 0);
    for (size_t i = 0; i < n; ++i)
        if (own[i] != server[i]) return own[i] < server[i];
    return false;
}

bool Newer(KovaCenter& center, const std::string& own, const std::string& server) {
    center.version = own;
    center.serverVersion = server;
    return center.IsNewerVersion();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static KovaCenter* center = new KovaCenter(nullptr);
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t cut = input.find('\n');
    const std::string a = input.substr(0, cut);
    const std::string b = cut == std::string::npos ? std::string() : input.substr(cut + 1);

    const bool forward = Newer(*center, a, b);
    const bool backward = Newer(*center, b, a);
    if (forward && backward) std::abort();
    if (Newer(*center, a, a) || Newer(*center, b, b)) std::abort();
    std::vector<int> pa, pb;
    if (PlainPieces(a, &pa) && PlainPieces(b, &pb)) {
        if (forward != PiecesNewer(pa, pb) || backward != PiecesNewer(pb, pa)) std::abort();
    }
    return 0;
}
