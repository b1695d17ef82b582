// Pattern matching engine (see pattern.h).
#include "libs/string/pattern.h"

#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"

namespace {

struct qzMatchState {
    const unsigned char* srcInit;
    const unsigned char* srcEnd;
    const unsigned char* patEnd;
    int level;
    int depth;
    int error;  // first error met; stops every further attempt
    struct {
        const unsigned char* init;
        ptrdiff_t len;
    } capture[PATTERN_MAXCAPTURES];
};

const unsigned char* Fail(qzMatchState* ms, int code) {
    if (!ms->error) ms->error = code;
    return nullptr;
}

// "%a" and "%w" follow the player's Latin-1 letter table. Control characters, digits, lower and
// upper case, punctuation, white space and hexadecimal digits are those of the "C" locale, which
// the player never changes: ASCII only, so no byte from 128 up is in these classes.
bool IsUpper(int c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(int c) { return c >= 'a' && c <= 'z'; }

bool MatchClass(int c, int cl) {
    bool res;
    switch (qzLowerCaseTable[cl]) {
    case 'a': res = IsAlphaChar(c); break;
    case 'c': res = c < 32 || c == 127; break;
    case 'd': res = c >= '0' && c <= '9'; break;
    case 'l': res = IsLower(c); break;
    case 'p': res = c > 32 && c < 127 && !((c >= '0' && c <= '9') || ((c | 32) >= 'a' && (c | 32) <= 'z')); break;
    case 's': res = c == ' ' || (c >= '\t' && c <= '\r'); break;
    case 'u': res = IsUpper(c); break;
    case 'w': res = IsAlnumChar(c); break;
    case 'x': res = (c >= '0' && c <= '9') || ((c | 32) >= 'a' && (c | 32) <= 'f'); break;
    case 'z': res = c == 0; break;
    default: return cl == c;
    }
    // The upper-case class letter gives the complement (only ASCII letters name classes).
    return (cl >= 'A' && cl <= 'Z') ? !res : res;
}

// Position just behind the single-character class at p, or null (with the error set).
const unsigned char* ClassEnd(qzMatchState* ms, const unsigned char* p) {
    int c = *p++;
    if (c == '%') {
        if (p >= ms->patEnd) return Fail(ms, ERR_MALFORMPAT1);
        return p + 1;
    }
    if (c == '[') {
        if (p < ms->patEnd && *p == '^') p++;
        // The first byte of the set is a member even when it is "]".
        do {
            if (p >= ms->patEnd) return Fail(ms, ERR_MALFORMPAT2);
            c = *p++;
            if (c == '%' && p < ms->patEnd) p++;
        } while (p >= ms->patEnd || *p != ']');
        return p + 1;
    }
    return p;
}

// Set membership: p is the "[", ec the closing "]".
bool MatchBracketClass(int c, const unsigned char* p, const unsigned char* ec) {
    bool sig = true;
    if (p[1] == '^') {
        sig = false;
        p++;
    }
    while (++p < ec) {
        if (*p == '%') {
            p++;
            if (MatchClass(c, *p)) return sig;
        } else if (p + 2 < ec && p[1] == '-') {
            if (*p <= c && c <= p[2]) return sig;
            p += 2;
        } else if (*p == c) {
            return sig;
        }
    }
    return !sig;
}

bool SingleMatch(const qzMatchState* ms, const unsigned char* s, const unsigned char* p, const unsigned char* ep) {
    if (s >= ms->srcEnd) return false;
    int c = *s;
    switch (*p) {
    case '.': return true;
    case '%': return MatchClass(c, p[1]);
    case '[': return MatchBracketClass(c, p, ep - 1);
    default: return *p == c;
    }
}

const unsigned char* Match(qzMatchState* ms, const unsigned char* s, const unsigned char* p);

const unsigned char* MatchBalance(qzMatchState* ms, const unsigned char* s, const unsigned char* p) {
    if (p + 1 >= ms->patEnd) return Fail(ms, ERR_UNBALANCEDPAT);
    if (s >= ms->srcEnd || *s != *p) return nullptr;
    int open = *p, close = p[1];
    int depth = 1;
    while (++s < ms->srcEnd) {
        if (*s == close) {
            if (--depth == 0) return s + 1;
        } else if (*s == open) {
            depth++;
        }
    }
    return nullptr;
}

const unsigned char* MaxExpand(qzMatchState* ms, const unsigned char* s, const unsigned char* p,
                               const unsigned char* ep) {
    ptrdiff_t i = 0;
    while (SingleMatch(ms, s + i, p, ep)) i++;
    // Longest run first, then shorter ones.
    for (; i >= 0; i--) {
        if (const unsigned char* res = Match(ms, s + i, ep + 1)) return res;
        if (ms->error) return nullptr;
    }
    return nullptr;
}

const unsigned char* MinExpand(qzMatchState* ms, const unsigned char* s, const unsigned char* p,
                               const unsigned char* ep) {
    for (;;) {
        if (const unsigned char* res = Match(ms, s, ep + 1)) return res;
        if (ms->error) return nullptr;
        if (!SingleMatch(ms, s, p, ep)) return nullptr;
        s++;
    }
}

const unsigned char* StartCapture(qzMatchState* ms, const unsigned char* s, const unsigned char* p, ptrdiff_t what) {
    if (ms->level >= PATTERN_MAXCAPTURES) return Fail(ms, ERR_TOOMANYCAPTURES);
    ms->capture[ms->level].init = s;
    ms->capture[ms->level].len = what;
    ms->level++;
    const unsigned char* res = Match(ms, s, p);
    if (!res) ms->level--;
    return res;
}

const unsigned char* EndCapture(qzMatchState* ms, const unsigned char* s, const unsigned char* p) {
    int l = -1;
    for (int i = ms->level - 1; i >= 0; i--)
        if (ms->capture[i].len == PATTERN_CAP_UNFINISHED) {
            l = i;
            break;
        }
    if (l < 0) return Fail(ms, ERR_INVPATCAP);
    ms->capture[l].len = s - ms->capture[l].init;
    const unsigned char* res = Match(ms, s, p);
    if (!res) ms->capture[l].len = PATTERN_CAP_UNFINISHED;
    return res;
}

const unsigned char* MatchCapture(qzMatchState* ms, const unsigned char* s, int digit) {
    int l = digit - '1';
    if (l < 0 || l >= ms->level || ms->capture[l].len == PATTERN_CAP_UNFINISHED) return Fail(ms, ERR_INVCAPIDX);
    ptrdiff_t len = ms->capture[l].len;
    // A position capture has no text to compare with.
    if (len < 0) return nullptr;
    if (ms->srcEnd - s >= len && std::memcmp(ms->capture[l].init, s, (size_t)len) == 0) return s + len;
    return nullptr;
}

const unsigned char* DoMatch(qzMatchState* ms, const unsigned char* s, const unsigned char* p) {
    for (;;) {
        if (p >= ms->patEnd) return s;
        switch (*p) {
        case '(':
            if (p + 1 < ms->patEnd && p[1] == ')') return StartCapture(ms, s, p + 2, PATTERN_CAP_POSITION);
            return StartCapture(ms, s, p + 1, PATTERN_CAP_UNFINISHED);
        case ')': return EndCapture(ms, s, p + 1);
        case '$':
            if (p + 1 == ms->patEnd) return s == ms->srcEnd ? s : nullptr;
            break;
        case '%':
            if (p + 1 >= ms->patEnd) break;  // ClassEnd reports the dangling "%"
            if (p[1] == 'b') {
                s = MatchBalance(ms, s, p + 2);
                if (!s) return nullptr;
                p += 4;
                continue;
            }
            if (p[1] == 'f') {
                p += 2;
                if (p >= ms->patEnd || *p != '[') return Fail(ms, ERR_MISSINGOPBRACK);
                const unsigned char* ep = ClassEnd(ms, p);
                if (!ep) return nullptr;
                int previous = s == ms->srcInit ? 0 : s[-1];
                int current = s < ms->srcEnd ? *s : 0;
                if (MatchBracketClass(previous, p, ep - 1) || !MatchBracketClass(current, p, ep - 1)) return nullptr;
                p = ep;
                continue;
            }
            if (p[1] >= '0' && p[1] <= '9') {
                s = MatchCapture(ms, s, p[1]);
                if (!s) return nullptr;
                p += 2;
                continue;
            }
            break;
        default: break;
        }
        // A single-character class, perhaps followed by a quantifier.
        const unsigned char* ep = ClassEnd(ms, p);
        if (!ep) return nullptr;
        int quantifier = ep < ms->patEnd ? *ep : 0;
        if (!SingleMatch(ms, s, p, ep)) {
            if (quantifier == '*' || quantifier == '?' || quantifier == '-') {
                p = ep + 1;
                continue;
            }
            return nullptr;
        }
        switch (quantifier) {
        case '?': {
            if (const unsigned char* res = Match(ms, s + 1, ep + 1)) return res;
            if (ms->error) return nullptr;
            p = ep + 1;
            continue;
        }
        case '+': return MaxExpand(ms, s + 1, p, ep);
        case '*': return MaxExpand(ms, s, p, ep);
        case '-': return MinExpand(ms, s, p, ep);
        default:
            s++;
            p = ep;
            continue;
        }
    }
}

// Every nested attempt passes here, so the depth bound holds for all of them.
const unsigned char* Match(qzMatchState* ms, const unsigned char* s, const unsigned char* p) {
    if (ms->error) return nullptr;
    if (ms->depth >= PATTERN_MAXDEPTH) return Fail(ms, ERR_STACK);
    ms->depth++;
    const unsigned char* res = DoMatch(ms, s, p);
    ms->depth--;
    return res;
}

void InitState(qzMatchState* ms, std::string_view subject, std::string_view pattern) {
    ms->srcInit = reinterpret_cast<const unsigned char*>(subject.data());
    ms->srcEnd = ms->srcInit + subject.size();
    ms->patEnd = reinterpret_cast<const unsigned char*>(pattern.data()) + pattern.size();
    ms->level = 0;
    ms->depth = 0;
    ms->error = 0;
}

// Walks the pattern's items once so that a malformed pattern fails whatever the subject, not only
// when a match attempt happens to reach the fault.
int ValidatePattern(qzMatchState* ms, const unsigned char* p) {
    while (p < ms->patEnd) {
        if (*p == '(' || *p == ')') {
            p++;
            continue;
        }
        if (*p == '%' && p + 1 < ms->patEnd) {
            if (p[1] == 'b') {
                if (p + 3 >= ms->patEnd) return ERR_UNBALANCEDPAT;
                p += 4;
                continue;
            }
            if (p[1] == 'f') {
                p += 2;
                if (p >= ms->patEnd || *p != '[') return ERR_MISSINGOPBRACK;
                p = ClassEnd(ms, p);
                if (!p) return ms->error;
                continue;
            }
            if (p[1] >= '0' && p[1] <= '9') {
                p += 2;
                continue;
            }
        }
        p = ClassEnd(ms, p);
        if (!p) return ms->error;
        if (p < ms->patEnd && (*p == '*' || *p == '+' || *p == '-' || *p == '?')) p++;
    }
    return 0;
}

// Tries one position; fills match on success.
int TryAt(qzMatchState* ms, const unsigned char* s, const unsigned char* p, qzPatternMatch* match) {
    ms->level = 0;
    ms->depth = 0;
    const unsigned char* e = Match(ms, s, p);
    if (ms->error) return ms->error;
    if (!e) return PATTERN_NOMATCH;
    match->start = (size_t)(s - ms->srcInit);
    match->end = (size_t)(e - ms->srcInit);
    match->level = ms->level;
    for (int i = 0; i < ms->level; i++) {
        match->capture[i].start = (size_t)(ms->capture[i].init - ms->srcInit);
        match->capture[i].len = ms->capture[i].len;
    }
    return PATTERN_FOUND;
}

}  // namespace

int PatternFind(std::string_view subject, std::string_view pattern, int64_t init, bool honourAnchor,
                qzPatternMatch* match) {
    if (init < 0 || (uint64_t)init > subject.size()) return ERR_WRONGUSAGE;
    qzMatchState ms;
    InitState(&ms, subject, pattern);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern.data());
    bool anchor = honourAnchor && !pattern.empty() && *p == '^';
    if (anchor) p++;
    if (int rc = ValidatePattern(&ms, p)) return rc;
    const unsigned char* s = ms.srcInit + init;
    do {
        int rc = TryAt(&ms, s, p, match);
        if (rc != PATTERN_NOMATCH) return rc;
    } while (s++ < ms.srcEnd && !anchor);
    return PATTERN_NOMATCH;
}

int PatternFindNext(std::string_view subject, std::string_view pattern, size_t* next, qzPatternMatch* match) {
    qzMatchState ms;
    InitState(&ms, subject, pattern);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern.data());
    if (int rc = ValidatePattern(&ms, p)) return rc;
    for (size_t at = *next; at <= subject.size(); at++) {
        int rc = TryAt(&ms, ms.srcInit + at, p, match);
        if (rc == PATTERN_FOUND) *next = match->end == match->start ? match->end + 1 : match->end;
        if (rc != PATTERN_NOMATCH) return rc;
    }
    return PATTERN_NOMATCH;
}

int PatternValueCount(const qzPatternMatch& match) { return match.level ? match.level : 1; }

int PatternValue(const qzPatternMatch& match, std::string_view subject, int i, qzPatternValue* value) {
    value->isPosition = false;
    if (i < 0 || i >= match.level) {
        if (i != 0) return ERR_INVCAPIDX;
        value->text = subject.substr(match.start, match.end - match.start);
        return 0;
    }
    const qzPatternCapture& cap = match.capture[i];
    if (cap.len == PATTERN_CAP_UNFINISHED) return ERR_UNFINISHEDCAPTURE;
    if (cap.len == PATTERN_CAP_POSITION) {
        value->isPosition = true;
        value->position = cap.start + 1;
        return 0;
    }
    value->text = subject.substr(cap.start, (size_t)cap.len);
    return 0;
}

namespace {

// Appends piece unless the result would grow beyond PATTERN_MAXRESULT bytes.
bool Append(std::string* out, std::string_view piece) {
    if (piece.size() > PATTERN_MAXRESULT - out->size()) return false;
    out->append(piece);
    return true;
}

int AppendTemplate(std::string_view templ, const qzPatternMatch& match, std::string_view subject, std::string* out) {
    for (size_t i = 0; i < templ.size(); i++) {
        size_t literal = i;
        if (templ[i] == '%' && i + 1 < templ.size()) {
            char c = templ[++i];
            literal = i;
            if (c >= '0' && c <= '9') {
                qzPatternValue value;
                if (int rc = PatternValue(match, subject, c - '1', &value)) return rc;
                std::string number;
                if (value.isPosition) number = std::to_string(value.position);
                if (!Append(out, value.isPosition ? std::string_view(number) : value.text)) return ERR_MEM;
                continue;
            }
        }
        if (!Append(out, templ.substr(literal, 1))) return ERR_MEM;
    }
    return 0;
}

}  // namespace

int PatternReplace(std::string_view subject, std::string_view pattern, std::string_view templ, qzPatternReplaceFn fn,
                   void* context, int64_t maxCount, std::string* out, int64_t* count) {
    out->clear();
    *count = 0;
    if (maxCount <= 0) {
        out->assign(subject);
        return 0;
    }
    qzMatchState ms;
    InitState(&ms, subject, pattern);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern.data());
    bool anchor = !pattern.empty() && *p == '^';
    if (anchor) p++;
    if (int rc = ValidatePattern(&ms, p)) return rc;
    size_t at = 0;
    int64_t n = 0;
    while (n < maxCount) {
        qzPatternMatch match;
        int rc = TryAt(&ms, ms.srcInit + at, p, &match);
        if (rc != PATTERN_FOUND && rc != PATTERN_NOMATCH) return rc;
        bool found = rc == PATTERN_FOUND;
        if (found) {
            n++;
            rc = fn ? fn(context, match, subject, out) : AppendTemplate(templ, match, subject, out);
            if (rc) return rc;
            if (out->size() > PATTERN_MAXRESULT) return ERR_MEM;
        }
        if (found && match.end > at) {
            at = match.end;
        } else if (at < subject.size()) {
            if (!Append(out, subject.substr(at++, 1))) return ERR_MEM;
        } else {
            break;
        }
        if (anchor) break;
    }
    if (!Append(out, subject.substr(at))) return ERR_MEM;
    *count = n;
    return 0;
}
