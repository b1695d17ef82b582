// Pattern engine on arbitrary patterns and subjects: every call ends in a match, no match or an
// error code, and match positions stay inside the subject. Inputs are kept short because
// backtracking time grows steeply with the number of quantified items.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "libs/string/pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t split = data[0] % 13;  // pattern length 0..12
    if (split > size - 1) split = size - 1;
    std::string_view pattern(reinterpret_cast<const char*>(data + 1), split);
    std::string_view rest(reinterpret_cast<const char*>(data + 1 + split), size - 1 - split);
    std::string_view subject = rest.substr(0, 32);
    std::string_view templ = rest.substr(subject.size(), 16);

    qzPatternMatch m;
    int rc = PatternFind(subject, pattern, data[0] % (subject.size() + 1), true, &m);
    if (rc == PATTERN_FOUND) {
        if (m.start > m.end || m.end > subject.size()) std::abort();
        for (int i = 0; i < PatternValueCount(m); i++) {
            qzPatternValue v;
            if (PatternValue(m, subject, i, &v) == 0 && !v.isPosition &&
                (v.text.data() < subject.data() || v.text.data() + v.text.size() > subject.data() + subject.size()))
                std::abort();
        }
    }
    size_t next = 0;
    for (int steps = 0; steps < 40 && PatternFindNext(subject, pattern, &next, &m) == PATTERN_FOUND; steps++)
        if (m.end > subject.size()) std::abort();
    std::string out;
    int64_t count = 0;
    if (PatternReplace(subject, pattern, templ, nullptr, nullptr, (int64_t)subject.size() + 1, &out, &count) == 0 &&
        count > (int64_t)subject.size() + 1)
        std::abort();
    return 0;
}
