// Pattern matching engine of the string library: a recursive backtracking matcher over byte
// strings with character classes, sets, quantifiers, captures (text and position), back-references,
// balanced runs, frontiers and anchors. It keeps no state outside one call's match state and
// reports faults as error codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr int PATTERN_MAXCAPTURES = 32;
// Capture lengths with a special meaning.
constexpr ptrdiff_t PATTERN_CAP_UNFINISHED = -1;
constexpr ptrdiff_t PATTERN_CAP_POSITION = -2;
// Deepest nesting of the matcher's recursion; deeper patterns fail with ERR_STACK.
constexpr int PATTERN_MAXDEPTH = 200;

// Longest result of a replacement; longer ones fail with ERR_MEM.
constexpr size_t PATTERN_MAXRESULT = 0x7FFFFFFF;

// Result of a search: PATTERN_FOUND, PATTERN_NOMATCH or an error code (1000 and up).
enum { PATTERN_NOMATCH = 0, PATTERN_FOUND = 1 };

struct qzPatternCapture {
    size_t start;   // offset in the subject
    ptrdiff_t len;  // length, or PATTERN_CAP_UNFINISHED / PATTERN_CAP_POSITION
};

// A successful match: where it lies and its captures.
struct qzPatternMatch {
    size_t start = 0;
    size_t end = 0;  // one past the last byte
    int level = 0;   // number of captures
    qzPatternCapture capture[PATTERN_MAXCAPTURES];
};

// One result value of a match: a text or a 1-based position.
struct qzPatternValue {
    bool isPosition = false;
    size_t position = 0;
    std::string_view text;
};

// Searches subject from init (0..length, else ERR_WRONGUSAGE) for the first match. With
// honourAnchor, a leading "^" anchors the match at init; without it "^" is an ordinary byte.
int PatternFind(std::string_view subject, std::string_view pattern, int64_t init, bool honourAnchor,
                qzPatternMatch* match);

// One step of an iterating search: tries positions from *next to the subject's end; on success
// moves *next to the match's end (one further for an empty match). "^" is an ordinary byte.
int PatternFindNext(std::string_view subject, std::string_view pattern, size_t* next, qzPatternMatch* match);

// Number of result values of a match: its captures, or 1 (the whole match) without captures.
int PatternValueCount(const qzPatternMatch& match);
// Result value i (0-based) of a match. A capture index outside the captures is ERR_INVCAPIDX
// (index 0 of a match without captures is the whole match); an open capture is
// ERR_UNFINISHEDCAPTURE.
int PatternValue(const qzPatternMatch& match, std::string_view subject, int i, qzPatternValue* value);

// Replacement callback: receives one match and appends its replacement to out (nothing to remove
// the match). Returns 0 or an error code, which ends the replacement.
typedef int (*qzPatternReplaceFn)(void* context, const qzPatternMatch& match, std::string_view subject,
                                  std::string* out);

// Replaces up to maxCount matches (maxCount <= 0: none) of pattern in subject, either by the
// template text (when fn is null: "%1".."%9" insert captures, "%" and another byte insert that
// byte) or by what fn appends. Fills out and count; returns 0 or an error code (ERR_MEM when the
// result would exceed PATTERN_MAXRESULT bytes).
int PatternReplace(std::string_view subject, std::string_view pattern, std::string_view templ, qzPatternReplaceFn fn,
                   void* context, int64_t maxCount, std::string* out, int64_t* count);
