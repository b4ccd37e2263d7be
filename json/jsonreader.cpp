// The lenient JSON reader: text in the process code page into XMLNode trees.
//
// Hazards it guards against, since answers arrive over plain HTTP too:
// nesting is limited (no stack overflow), and a scan that once ran into the
// end of the text is not repeated from a later position by every enclosing
// level (no quadratic time on unterminated strings and literals), and the
// tree may not pass a node count nor a total of text: a short answer of many
// empty elements, or an array under a long key (each element copies the key),
// would otherwise cost far more memory than its own size.
//
// Members are built in place in their node's child list, reserved for as
// many as the last object of the same level had (answers repeat the shape of
// their records) and cut to the exact size when the guess was wrong: no copy
// of a node, and no spare capacity in the tree, when the guess holds.
#include <algorithm>
#include <cstring>
#include <vector>

#include "text/encoding.h"
#include "json/jsonescape.h"
#include "json/jsonreader.h"

namespace {

const size_t kNone = static_cast<size_t>(-1);
// Most children a list is reserved for before it is read.
const size_t kMaxGuess = 256;

// What one parse shares across its readers: the text, the position, the depth.
struct ParseState {
    const char* text;
    size_t pos = 0;
    unsigned codePage;
    int depth = 0;
    bool aborted = false;  // a limit passed: every step now fails
    // What the nodes in the tree hold, against the limits.
    size_t nodes = 0;
    size_t bytes = 0;  // names and values
    // Earliest opening quote from which a string scan reached the end.
    size_t stringFailFrom = kNone;
    // Earliest start from which a literal scan reached the end, per closing
    // character (',', '}', ']').
    size_t literalFailFrom[3] = {kNone, kNone, kNone};
    // The separator run Expect last walked and put back: from `runFrom`, the
    // first comma or other stop (`runToPure`), and with commas counted as
    // separators (`runToAll`, kNone until known). Enclosing levels retry the
    // same position and array elements start inside a run of commas; both
    // jump instead of walking the run again.
    size_t runFrom = kNone;
    size_t runToPure = kNone;
    size_t runToAll = kNone;
    // Per nesting level: how many children the last node read there got.
    std::vector<size_t> lastCount;
    UnescapeScratch scratch;

    // Length of the character at `at`; 0 ends any scan. ASCII needs no call.
    size_t Len(size_t at) const {
        unsigned char b = static_cast<unsigned char>(text[at]);
        if (b < 0x80) return b ? 1 : 0;
        return CharLength(codePage, text + at);
    }

    // Counts what is about to enter the tree; past a limit the parse aborts.
    bool Charge(size_t addNodes, size_t addBytes) {
        if (aborted || addNodes > kMaxJSONNodes - nodes || addBytes > kMaxJSONTextBytes - bytes) {
            aborted = true;
            return false;
        }
        nodes += addNodes;
        bytes += addBytes;
        return true;
    }
    // A node taken out of the tree again.
    void Release(const XMLNode& node) {
        nodes -= 1;
        bytes -= node.name.size() + node.value.size();
    }
};

// Bytes a string scan passes without a second look: ASCII from 0x20 but the
// quote and the backslash.
struct PlainBytes {
    bool table[256];
    PlainBytes() : table() {
        for (int b = 0x20; b < 0x80; ++b) table[b] = b != '"' && b != '\\';
    }
};
const PlainBytes kPlain;
inline bool IsPlain(unsigned char b) { return kPlain.table[b]; }

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }
bool IsWordSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int ClosingIndex(char closing) { return closing == ',' ? 0 : closing == '}' ? 1 : 2; }

// A piece of the text: where a string's or literal's bytes are.
struct Piece {
    const char* data = nullptr;
    size_t size = 0;
    bool plain = false;  // no backslash UnescapeJSON would read: nothing to unescape
};

// One string at most as long as the text, into an empty `out`: charged once
// it is there.
void Assign(ParseState& s, const Piece& piece, std::string& out) {
    if (piece.plain) {
        AssignExact(piece.data, piece.size, out);
    } else {
        AssignUnescapedJSON(piece.data, piece.size, s.codePage, s.scratch, out);
    }
    if (!s.Charge(0, out.size())) std::string().swap(out);
}

class JSONReader {
public:
    // Appends to the children of `target`, which keeps what was read
    // whether the parse succeeds or not.
    JSONReader(ParseState& state, XMLNode& target, size_t level)
        : s(state), level(level), out(target.children), start_(out.size()) {
        if (s.lastCount.size() <= level) s.lastCount.resize(level + 1, 0);
        // Capped: after one huge list, a hostile run of empty siblings would
        // each reserve its size.
        out.reserve(start_ + std::min(s.lastCount[level], kMaxGuess));
    }
    ~JSONReader() {
        s.lastCount[level] = out.size() - start_;
        if (out.capacity() != out.size()) {
            // Spelled out: shrink_to_fit is only a request.
            std::vector<XMLNode> exact;
            exact.reserve(out.size());
            for (XMLNode& node : out) exact.push_back(std::move(node));
            out.swap(exact);
        }
    }
    JSONReader(const JSONReader&) = delete;
    JSONReader& operator=(const JSONReader&) = delete;

    ParseState& s;
    const size_t level;
    std::vector<XMLNode>& out;  // the target's children
    char closing = ',';

    // Skips separators and consumes `c`. At the closing character it stops
    // with the separators consumed; at any other character, or at the end,
    // it puts the position back.
    bool Expect(char c) {
        const size_t start = s.pos;
        // Most calls stand right on `c` or on the closer: the walk below
        // would end there at once, its memo untouched.
        const char first = s.text[start];
        if (first == c) {
            s.pos = start + 1;
            return true;
        }
        if (first == closing) return false;
        // Commas separate unless one is expected or closes this level.
        const bool commaSeparates = c != ',' && closing != ',';
        size_t p = start;
        size_t pureEnd = kNone;  // the first comma passed
        // Anywhere inside the known run the walk ends where it ended before.
        const bool inPure = start >= s.runFrom && start < s.runToPure;
        const bool inAll = s.runToAll != kNone && start >= s.runFrom && start < s.runToAll;
        if (inPure) p = s.runToPure;
        if (commaSeparates && inAll) p = s.runToAll;
        const bool known = inPure || inAll || start == s.runFrom;
        for (;;) {
            size_t n = s.Len(p);
            if (n == 1) {
                char ch = s.text[p];
                if (ch == c) {
                    s.pos = p + 1;
                    return true;
                }
                if (ch == closing) {
                    s.pos = p;
                    return false;
                }
                if (IsSeparator(ch)) {
                    if (ch == ',' && pureEnd == kNone) pureEnd = p;
                    ++p;
                    continue;
                }
            } else if (n > 1) {
                p += n;
                continue;
            }
            // A character that is not a separator, or the end of the text.
            if (!known) {
                s.runFrom = start;
                s.runToPure = pureEnd != kNone ? pureEnd : p;
                s.runToAll = kNone;
            }
            if (commaSeparates) s.runToAll = p;
            s.pos = start;
            return false;
        }
    }

    // A quoted string, raw (escapes kept). A quote counts as escaped when an
    // odd number of one-byte backslashes stands right before it.
    bool ReadString(Piece& piece) {
        const size_t save = s.pos;
        if (!Expect('"')) return false;
        const size_t open = s.pos - 1;
        if (open >= s.stringFailFrom) {
            s.pos = save;
            return false;
        }
        size_t p = s.pos;
        size_t backslashes = 0;
        bool plain = true;
        for (;;) {
            // ASCII fast path: nothing but quotes, backslashes, NUL and
            // bytes of 0x80 and above needs a closer look.
            const unsigned char* u = reinterpret_cast<const unsigned char*>(s.text);
            if (IsPlain(u[p])) {
                backslashes = 0;
                do {
                    ++p;
                } while (IsPlain(u[p]));
            }
            size_t n = s.Len(p);
            if (n == 0) {
                s.stringFailFrom = open;
                s.pos = save;
                return false;
            }
            if (n == 1) {
                char ch = s.text[p];
                if (ch == '"' && backslashes % 2 == 0) {
                    piece.data = s.text + open + 1;
                    piece.size = p - open - 1;
                    piece.plain = plain;
                    s.pos = p + 1;
                    return true;
                }
                if (ch == '\\') plain = false;
                backslashes = ch == '\\' ? backslashes + 1 : 0;
            } else {
                // A backslash joined into a UTF-8 character (after U+200D)
                // escapes no quote, but UnescapeJSON reads UTF-8 byte by
                // byte and still takes it for an escape.
                if (plain && s.codePage == platform::kCodePageUtf8 && std::memchr(s.text + p, '\\', n)) {
                    plain = false;
                }
                backslashes = 0;
            }
            p += n;
        }
    }

    // An unquoted token up to ',' (consumed) or the closing character (not
    // consumed, and at least one byte must come before it); `out` is its
    // first white-space-delimited word.
    bool ReadLiteral(Piece& piece) {
        const int memo = ClosingIndex(closing);
        const size_t start = s.pos;
        if (start >= s.literalFailFrom[memo]) return false;
        size_t p = start;
        size_t end;
        const unsigned char* u = reinterpret_cast<const unsigned char*>(s.text);
        for (;;) {
            while (u[p] >= 0x20 && u[p] < 0x80 && u[p] != ',' && u[p] != static_cast<unsigned char>(closing)) ++p;
            size_t n = s.Len(p);
            if (n == 0) {
                s.literalFailFrom[memo] = start;
                return false;
            }
            if (n == 1 && s.text[p] == ',') {
                end = p;
                s.pos = p + 1;
                break;
            }
            if (n == 1 && s.text[p] == closing) {
                if (p == start) return false;
                end = p;
                s.pos = p;
                break;
            }
            p += n;
        }
        size_t b = start;
        while (b < end && IsWordSpace(s.text[b])) ++b;
        size_t e = b;
        while (e < end && !IsWordSpace(s.text[e])) ++e;
        piece.data = s.text + b;
        piece.size = e - b;
        piece.plain = false;
        return true;
    }

private:
    const size_t start_;  // children the target had before

};

// Counts one level of nesting for as long as it lives.
class DepthGuard {
public:
    explicit DepthGuard(ParseState& s) : s_(s) {
        if (++s_.depth > kMaxJSONDepth) s_.aborted = true;
    }
    ~DepthGuard() { --s_.depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    ParseState& s_;
};

bool ParseArray(JSONReader& r, const std::string& name);

bool IsNull(const Piece& t) { return t.size == 4 && std::memcmp(t.data, "null", 4) == 0; }

// Members and elements are built in place at the end of the reader's child
// list; a nested reader fills the children of the last one, and nothing is
// added to this list until it ends, so that node stays put meanwhile.
bool ParseObject(JSONReader& r) {
    ParseState& s = r.s;
    if (s.aborted) return false;
    if (!r.Expect('{')) return ParseArray(r, std::string());
    DepthGuard depth(s);
    if (s.aborted) return false;
    r.closing = '}';
    bool result = false;
    Piece key;
    Piece text;
    std::string name;
    while (!s.aborted && r.ReadString(key) && r.Expect(':')) {
        result = true;
        if (!s.Charge(1, 0)) break;
        r.out.emplace_back();
        Assign(s, key, r.out.back().name);
        const size_t mark = s.pos;
        // A quote right here fails the object and array tries without a
        // trace: go straight to the string.
        const bool quoted = s.text[s.pos] == '"';
        if (!quoted && r.Expect('{')) {
            s.pos = mark;
            JSONReader inner(s, r.out.back(), r.level + 1);
            ParseObject(inner);
        } else {
            if (!quoted) {
                // An array's elements take the member's place.
                s.Release(r.out.back());
                name = std::move(r.out.back().name);
                r.out.pop_back();
                if (ParseArray(r, name)) {
                    r.closing = '}';
                    r.Expect(',');
                    continue;
                }
                if (!s.Charge(1, name.size())) break;
                r.out.emplace_back();
                r.out.back().name = std::move(name);
            }
            if (r.ReadString(text)) {
                Assign(s, text, r.out.back().value);
            } else if (!r.ReadLiteral(text)) {
                s.Release(r.out.back());
                r.out.pop_back();
                result = false;
                break;
            } else if (IsNull(text)) {
                s.Release(r.out.back());
                r.out.pop_back();
            } else {
                Assign(s, text, r.out.back().value);
            }
        }
        r.Expect(',');
    }
    r.Expect('}');
    return result && !s.aborted;
}

bool ParseArray(JSONReader& r, const std::string& name) {
    ParseState& s = r.s;
    if (s.aborted || !r.Expect('[')) return false;
    DepthGuard depth(s);
    if (s.aborted) return false;
    r.closing = ']';
    Piece text;
    while (!s.aborted) {
        r.out.emplace_back();
        XMLNode& element = r.out.back();
        element.name = name;
        const size_t mark = s.pos;
        const bool quoted = s.text[s.pos] == '"';
        if (!quoted && r.Expect('{')) {
            s.pos = mark;
            JSONReader inner(s, element, r.level + 1);
            ParseObject(inner);
        } else if (!quoted && r.Expect('[')) {
            s.pos = mark;
            JSONReader inner(s, element, r.level + 1);
            ParseArray(inner, std::string());
        } else if (r.ReadString(text)) {
            Assign(s, text, element.value);
        } else if (!r.ReadLiteral(text)) {
            r.out.pop_back();  // the closing ']' ends the array here
            break;
        } else if (!IsNull(text)) {
            Assign(s, text, element.value);
        }
        // Counted once it stays: the try that meets ']' is no element.
        if (!s.Charge(1, name.size())) {
            r.out.pop_back();
            break;
        }
        r.Expect(',');
    }
    r.Expect(']');
    return !s.aborted;
}

} // namespace

bool ParseJSON(const std::string& text, XMLNode& root) {
    ParseState state;
    state.text = text.c_str();
    state.codePage = ProcessCodePage();
    bool ok;
    {
        JSONReader reader(state, root, 0);
        ok = ParseObject(reader);
    }
    return ok && !state.aborted;
}
