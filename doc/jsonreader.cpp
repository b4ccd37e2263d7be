// The lenient JSON reader: text in the process code page into XMLNode trees.
//
// Hazards it guards against, since answers arrive over plain HTTP too:
// nesting is limited (no stack overflow), and a scan that once ran into the
// end of the text is not repeated from a later position by every enclosing
// level (no quadratic time on unterminated strings and literals).
#include <cstring>

#include "doc/encoding.h"
#include "doc/xmlnode.h"

namespace {

const size_t kNone = static_cast<size_t>(-1);

// What one parse shares across its readers: the text, the position, the depth.
struct ParseState {
    const char* text;
    size_t pos = 0;
    unsigned codePage;
    int depth = 0;
    bool aborted = false;  // nesting limit passed: every step now fails
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

    // Length of the character at `at`; 0 ends any scan. ASCII needs no call.
    size_t Len(size_t at) const {
        unsigned char b = static_cast<unsigned char>(text[at]);
        if (b < 0x80) return b ? 1 : 0;
        return CharLength(codePage, text + at);
    }
};

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }
bool IsWordSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int ClosingIndex(char closing) { return closing == ',' ? 0 : closing == '}' ? 1 : 2; }

class JSONReader {
public:
    JSONReader(ParseState& state, XMLNode& target) : s(state), target(target) {}

    ParseState& s;
    XMLNode& target;
    char closing = ',';

    // Skips separators and consumes `c`. At the closing character it stops
    // with the separators consumed; at any other character, or at the end,
    // it puts the position back.
    bool Expect(char c) {
        const size_t start = s.pos;
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
    bool ReadString(std::string& out) {
        const size_t save = s.pos;
        if (!Expect('"')) return false;
        const size_t open = s.pos - 1;
        if (open >= s.stringFailFrom) {
            s.pos = save;
            return false;
        }
        size_t p = s.pos;
        size_t backslashes = 0;
        for (;;) {
            size_t n = s.Len(p);
            if (n == 0) {
                s.stringFailFrom = open;
                s.pos = save;
                return false;
            }
            if (n == 1) {
                char ch = s.text[p];
                if (ch == '"' && backslashes % 2 == 0) {
                    out.assign(s.text + open + 1, p - open - 1);
                    s.pos = p + 1;
                    return true;
                }
                backslashes = ch == '\\' ? backslashes + 1 : 0;
            } else {
                backslashes = 0;
            }
            p += n;
        }
    }

    // An unquoted token up to ',' (consumed) or the closing character (not
    // consumed, and at least one byte must come before it); `out` is its
    // first white-space-delimited word.
    bool ReadLiteral(std::string& out) {
        const int memo = ClosingIndex(closing);
        const size_t start = s.pos;
        if (start >= s.literalFailFrom[memo]) return false;
        size_t p = start;
        size_t end;
        for (;;) {
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
        out.assign(s.text + b, e - b);
        return true;
    }

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

bool ParseObject(JSONReader& r) {
    ParseState& s = r.s;
    DepthGuard depth(s);
    if (s.aborted) return false;
    if (!r.Expect('{')) return ParseArray(r, std::string());
    r.closing = '}';
    bool result = false;
    std::string key;
    std::string text;
    while (!s.aborted && r.ReadString(key) && r.Expect(':')) {
        XMLNode member;
        member.name = UnescapeJSON(key);
        result = true;
        const size_t mark = s.pos;
        if (r.Expect('{')) {
            s.pos = mark;
            JSONReader inner(s, member);
            ParseObject(inner);
            r.target.children.push_back(std::move(member));
        } else if (ParseArray(r, member.name)) {
            r.closing = '}';
        } else if (r.ReadString(text)) {
            member.value = UnescapeJSON(text);
            r.target.children.push_back(std::move(member));
        } else {
            if (!r.ReadLiteral(text)) {
                result = false;
                break;
            }
            if (text != "null") {
                member.value = UnescapeJSON(text);
                r.target.children.push_back(std::move(member));
            }
        }
        r.Expect(',');
    }
    r.Expect('}');
    return result && !s.aborted;
}

bool ParseArray(JSONReader& r, const std::string& name) {
    ParseState& s = r.s;
    DepthGuard depth(s);
    if (s.aborted || !r.Expect('[')) return false;
    r.closing = ']';
    std::string text;
    while (!s.aborted) {
        XMLNode element;
        element.name = name;
        const size_t mark = s.pos;
        if (r.Expect('{')) {
            s.pos = mark;
            JSONReader inner(s, element);
            ParseObject(inner);
        } else if (r.Expect('[')) {
            s.pos = mark;
            JSONReader inner(s, element);
            ParseArray(inner, std::string());
        } else if (r.ReadString(text)) {
            element.value = UnescapeJSON(text);
        } else {
            if (!r.ReadLiteral(text)) break;
            if (text != "null") element.value = UnescapeJSON(text);
        }
        r.target.children.push_back(std::move(element));
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
    JSONReader reader(state, root);
    return ParseObject(reader) && !state.aborted;
}
