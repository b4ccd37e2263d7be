// The reader's algorithm written plainly, without its shortcuts (the memos of
// failed scans, the skipped separator runs, the in-place buffers): the JSON
// fuzzer compares the two trees. ASCII text only, where a character is a byte.
#pragma once

#include <string>

#include "json/xmlnode.h"

namespace reference {

struct State {
    const std::string& t;
    size_t pos = 0;
    int depth = 0;
    bool aborted = false;
    char At(size_t p) const { return p < t.size() ? t[p] : '\0'; }
};

struct Reader {
    State& s;
    XMLNode& target;
    char closing = ',';

    bool Expect(char c) {
        size_t p = s.pos;
        for (;; ++p) {
            char ch = s.At(p);
            if (ch == '\0') return false;
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
    }

    bool ReadString(std::string& out) {
        size_t save = s.pos;
        if (!Expect('"')) return false;
        size_t open = s.pos - 1;
        size_t backslashes = 0;
        for (size_t p = s.pos;; ++p) {
            char ch = s.At(p);
            if (ch == '\0') {
                s.pos = save;
                return false;
            }
            if (ch == '"' && backslashes % 2 == 0) {
                out = s.t.substr(open + 1, p - open - 1);
                s.pos = p + 1;
                return true;
            }
            backslashes = ch == '\\' ? backslashes + 1 : 0;
        }
    }

    bool ReadLiteral(std::string& out) {
        size_t start = s.pos, p = start, end;
        for (;; ++p) {
            char ch = s.At(p);
            if (ch == '\0') return false;
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
            m.name = UnescapeJSON(key);
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
                m.value = UnescapeJSON(v);
                r.target.children.push_back(m);
            } else {
                if (!r.ReadLiteral(v)) {
                    result = false;
                    break;
                }
                if (v != "null") {
                    m.value = UnescapeJSON(v);
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
                e.value = UnescapeJSON(v);
            } else {
                if (!r.ReadLiteral(v)) break;
                if (v != "null") e.value = UnescapeJSON(v);
            }
            r.target.children.push_back(e);
            r.Expect(',');
        }
        r.Expect(']');
    }
    --s.depth;
    return !s.aborted;
}

// Text up to its first NUL, as ParseJSON reads it.
inline bool ParseJSON(const std::string& text, XMLNode& root) {
    std::string t(text.c_str());
    State s{t};
    Reader r{s, root};
    return ParseObject(r) && !s.aborted;
}

} // namespace reference
