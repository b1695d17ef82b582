#include "platform/host/headless/headless_answers.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "base/charset.h"
#include "platform/host/input_script.h"

namespace {

// A script stays a script: more answers than this are refused rather than held in memory.
constexpr size_t kMaxAnswers = 1000000;

bool ParseInt(const std::string& word, int64_t low, int64_t high, int64_t* out) {
    if (word.empty() || word.size() > 18) return false;
    size_t i = word[0] == '-' ? 1 : 0;
    if (i >= word.size()) return false;
    int64_t value = 0;
    for (; i < word.size(); i++) {
        if (word[i] < '0' || word[i] > '9') return false;
        value = value * 10 + (word[i] - '0');
    }
    if (word[0] == '-') value = -value;
    if (value < low || value > high) return false;
    *out = value;
    return true;
}

// "$RRGGBB", "#RRGGBB", "0xRRGGBB" or a decimal number up to 0xFFFFFF.
bool ParseColor(const std::string& word, int32_t* out) {
    size_t skip = 0;
    if (!word.empty() && (word[0] == '$' || word[0] == '#'))
        skip = 1;
    else if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
        skip = 2;
    if (!skip) {
        int64_t v;
        if (!ParseInt(word, 0, 0xFFFFFF, &v)) return false;
        *out = int32_t(v);
        return true;
    }
    if (word.size() == skip || word.size() - skip > 6) return false;
    int32_t v = 0;
    for (size_t i = skip; i < word.size(); i++) {
        char c = word[i];
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) return false;
        v = v * 16 + d;
    }
    *out = v;
    return true;
}

bool SameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (ToLowerChar(static_cast<unsigned char>(a[i])) != ToLowerChar(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// An entry chosen by its text, compared without case.
bool PickEntry(const std::string& text, const std::vector<std::string>& entries, int32_t* out) {
    for (size_t i = 0; i < entries.size(); i++) {
        if (SameNoCase(text, entries[i])) {
            *out = int32_t(i);
            return true;
        }
    }
    return false;
}

std::string Joined(const qzAnswerLine& line) {
    std::string text;
    for (size_t i = 0; i < line.words.size(); i++) text += (i ? " " : "") + line.words[i];
    return text;
}

// One unquoted word of digits (with a sign): a number, not a text.
bool IsNumber(const qzAnswerLine& line) {
    int64_t n;
    return line.words.size() == 1 && !line.quoted[0] && ParseInt(line.words[0], INT64_MIN / 2, INT64_MAX / 2, &n);
}

}  // namespace

bool ParseAnswers(const std::string& text, const std::string& name, std::vector<qzAnswerLine>* out,
                  std::string* message) {
    std::vector<qzAnswerLine> answers;
    std::istringstream in(text);
    // A line that cannot be read for want of memory throws instead of ending the answers early.
    in.exceptions(std::ios::badbit);
    std::string line;
    int32_t number = 0;
    while (std::getline(in, line)) {
        number++;
        qzAnswerLine answer;
        answer.line = number;
        if (!SplitScriptWords(line, &answer.words, &answer.quoted)) {
            *message = name + ":" + std::to_string(number) + ": unterminated quote";
            return false;
        }
        if (answer.words.empty() || (!answer.quoted[0] && answer.words[0][0] == '#')) continue;
        if (answers.size() >= kMaxAnswers) {
            *message = name + ":" + std::to_string(number) + ": too many answers (more than " +
                       std::to_string(kMaxAnswers) + ")";
            return false;
        }
        answers.push_back(std::move(answer));
    }
    out->insert(out->end(), answers.begin(), answers.end());
    return true;
}

bool LoadAnswers(const char* path, std::vector<qzAnswerLine>* out, std::string* message) {
    std::string text;
    return ReadScriptFile(path, "QUARNELIX_ANSWERS", &text, message) && ParseAnswers(text, path, out, message);
}

void AnswerDialog(const qzHostDialog& dialog, const qzAnswerLine& line, qzHostDialogAnswer* answer,
                  std::string* complaint) {
    *answer = qzHostDialogAnswer{};
    complaint->clear();
    if (line.words.size() == 1 && !line.quoted[0] && line.words[0] == "cancel") return;
    const std::string& first = line.words[0];
    auto refuse = [&](const std::string& what) { *complaint = what; };
    switch (dialog.kind) {
    case QZ_HDLG_MESSAGE: {
        // Buttons as the requester numbers them: 1, 2, ... from the left and 0 for the last; or
        // a button's text.
        int32_t count = int32_t(dialog.buttons.size());
        int32_t index = -1;
        int64_t n;
        if (IsNumber(line)) {
            if (ParseInt(first, 0, count - 1, &n)) index = n == 0 ? count - 1 : int32_t(n) - 1;
        } else {
            PickEntry(Joined(line), dialog.buttons, &index);
        }
        if (index < 0)
            return refuse("the requester has buttons 0 to " + std::to_string(count - 1) + ", not \"" + Joined(line) +
                          "\"");
        answer->button = index;
        break;
    }
    case QZ_HDLG_FILE:
        if (dialog.fileMode != QZ_HFILE_OPENSEVERAL && line.words.size() != 1)
            return refuse("the file requester takes one path");
        answer->paths = line.words;
        break;
    case QZ_HDLG_FOLDER:
        if (line.words.size() != 1) return refuse("the path requester takes one path");
        answer->paths = line.words;
        break;
    case QZ_HDLG_TEXT: answer->text = Joined(line); break;
    case QZ_HDLG_LIST: {
        int32_t index = -1;
        int64_t n;
        if (IsNumber(line)) {
            if (ParseInt(first, 0, int64_t(dialog.items.size()) - 1, &n)) index = int32_t(n);
        } else {
            PickEntry(Joined(line), dialog.items, &index);
        }
        if (index < 0)
            return refuse("the list has entries 0 to " + std::to_string(dialog.items.size() - 1) + ", not \"" +
                          Joined(line) + "\"");
        answer->index = index;
        break;
    }
    case QZ_HDLG_FONT: {
        answer->family = first;
        answer->size = dialog.size;
        for (size_t i = 1; i < line.words.size(); i++) {
            const std::string& w = line.words[i];
            int64_t n;
            if (SameNoCase(w, "bold"))
                answer->style |= QZ_HFONT_BOLD;
            else if (SameNoCase(w, "italic"))
                answer->style |= QZ_HFONT_ITALIC;
            else if (SameNoCase(w, "underline") || SameNoCase(w, "underlined"))
                answer->style |= QZ_HFONT_UNDERLINE;
            else if (ParseInt(w, 1, 10000, &n))
                answer->size = int32_t(n);
            else
                return refuse("the font requester takes a family, a size and bold, italic or underline, not \"" + w +
                              "\"");
        }
        break;
    }
    case QZ_HDLG_COLOR:
        if (line.words.size() != 1 || !ParseColor(first, &answer->color))
            return refuse("the colour requester takes one colour such as $FF8000, not \"" + Joined(line) + "\"");
        break;
    default: return refuse("this requester cannot be answered");
    }
    answer->accepted = 1;
}
