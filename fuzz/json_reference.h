// The reader's algorithm written plainly, without its shortcuts (the memos of
// failed scans, the skipped separator runs, the in-place buffers): the JSON
// fuzzer compares the two trees. It steps by characters of the code page and
// unescapes with the plain UnescapeJSON, so no step calls the reader's code.
#pragma once

#include <string>

#include "fuzz/unescape_reference.h"
#include "json/jsonreader.h"

namespace reference {

struct State {
    const std::string& t;
    unsigned codePage;
    size_t pos = 0;
    int depth = 0;
    bool aborted = false;
    // Length of the character at `p`; 0 ends any scan.
    size_t Len(size_t p) const { return CharLength(t, p, codePage); }
    std::string Unescape(const std::string& raw) const { return UnescapeJSON(raw, codePage); }
};

struct Reader {
    State& s;
    XMLNode& target;
    char closing = ',';

    bool Expect(char c) {
        for (size_t p = s.pos, n; (n = s.Len(p)) != 0; p += n) {
            if (n > 1) continue;  // passed over like a separator
            char ch = s.t[p];
            if (ch == c) {
                s.pos = p + 1;
                return true;
            }
            if (ch == closing) {
                s.pos = p;
                return false;
            }
            if (ch != ' ' && ch != '\t' && ch != '\n' && ch != '\r' && ch != ',') return false;
        }
        return false;
    }

    bool ReadString(std::string& out) {
        size_t save = s.pos;
        if (!Expect('"')) return false;
        size_t open = s.pos - 1;
        size_t backslashes = 0;  // one-byte characters only
        for (size_t p = s.pos, n; (n = s.Len(p)) != 0; p += n) {
            char ch = n == 1 ? s.t[p] : '\0';
            if (ch == '"' && backslashes % 2 == 0) {
                out = s.t.substr(open + 1, p - open - 1);
                s.pos = p + 1;
                return true;
            }
            backslashes = ch == '\\' ? backslashes + 1 : 0;
        }
        s.pos = save;
        return false;
    }

    bool ReadLiteral(std::string& out) {
        size_t start = s.pos, p = start, end, n;
        for (;; p += n) {
            n = s.Len(p);
            if (n == 0) return false;
            char ch = n == 1 ? s.t[p] : '\0';
            if (ch == ',') {
                end = p;
                s.pos = p + 1;
                break;
            }
            if (ch == closing) {
                if (p == start) return false;
                end = p;
                s.pos = p;
                break;
            }
        }
        auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
        size_t b = start;
        while (b < end && space(s.t[b])) ++b;
        size_t e = b;
        while (e < end && !space(s.t[e])) ++e;
        out = s.t.substr(b, e - b);
        return true;
    }
};

bool ParseArray(Reader& r, const std::string& name);

inline bool Enter(State& s) {
    if (++s.depth > kMaxJSONDepth) s.aborted = true;
    return !s.aborted;
}

inline bool ParseObject(Reader& r) {
    State& s = r.s;
    if (s.aborted) return false;
    if (!r.Expect('{')) return ParseArray(r, "");
    bool entered = Enter(s);
    bool result = false;
    if (entered) {
        r.closing = '}';
        std::string key, v;
        while (!s.aborted && r.ReadString(key) && r.Expect(':')) {
            XMLNode m;
            m.name = s.Unescape(key);
            result = true;
            size_t mark = s.pos;
            if (r.Expect('{')) {
                s.pos = mark;
                Reader inner{s, m};
                ParseObject(inner);
                r.target.children.push_back(m);
            } else if (ParseArray(r, m.name)) {
                r.closing = '}';
            } else if (r.ReadString(v)) {
                m.value = s.Unescape(v);
                r.target.children.push_back(m);
            } else {
                if (!r.ReadLiteral(v)) {
                    result = false;
                    break;
                }
                if (v != "null") {
                    m.value = s.Unescape(v);
                    r.target.children.push_back(m);
                }
            }
            r.Expect(',');
        }
        r.Expect('}');
    }
    --s.depth;
    return result && !s.aborted;
}

inline bool ParseArray(Reader& r, const std::string& name) {
    State& s = r.s;
    if (s.aborted || !r.Expect('[')) return false;
    bool entered = Enter(s);
    if (entered) {
        r.closing = ']';
        std::string v;
        while (!s.aborted) {
            XMLNode e;
            e.name = name;
            size_t mark = s.pos;
            if (r.Expect('{')) {
                s.pos = mark;
                Reader inner{s, e};
                ParseObject(inner);
            } else if (r.Expect('[')) {
                s.pos = mark;
                Reader inner{s, e};
                ParseArray(inner, "");
            } else if (r.ReadString(v)) {
                e.value = s.Unescape(v);
            } else {
                if (!r.ReadLiteral(v)) break;
                if (v != "null") e.value = s.Unescape(v);
            }
            r.target.children.push_back(e);
            r.Expect(',');
        }
        r.Expect(']');
    }
    --s.depth;
    return !s.aborted;
}

// Text up to its first NUL, as ParseJSON reads it, in `codePage`.
inline bool ParseJSON(const std::string& text, unsigned codePage, XMLNode& root) {
    std::string t(text.c_str());
    State s{t, codePage};
    Reader r{s, root};
    return ParseObject(r) && !s.aborted;
}

} // namespace reference
