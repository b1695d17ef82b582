// Expression evaluator (see eval.h): a tokenizer and a precedence-climbing evaluator.
#include "libs/string/eval.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "base/number_literal.h"

namespace {

enum Token {
    TK_END = 256,
    TK_NUMBER,
    TK_SHL,
    TK_SHR,
    TK_CONCAT,
    TK_NE,
    TK_LE,
    TK_GE,
    TK_AND,
    TK_OR,
    TK_NOT,
};

// Word operators in the order they are tried.
const struct {
    const char* text;
    int token;
} kWordOps[] = {{"<<", TK_SHL}, {">>", TK_SHR},  {"..", TK_CONCAT}, {"<>", TK_NE},  {"<=", TK_LE},
                {">=", TK_GE},  {"and", TK_AND}, {"or", TK_OR},     {"not", TK_NOT}};

struct qzEvalState {
    const char* text;  // NUL-terminated copy of the expression
    size_t length;
    size_t pos;  // position behind the current token
    int token;
    size_t tokenStart;
    double number;  // value of a number token
    const qzEvalVariable* variables;
    size_t count;
    int depth;
};

bool IsWordByte(unsigned char c) { return IsAlphaChar(c) || (c >= '0' && c <= '9'); }

int32_t ToInt32(double d) {
    if (std::isnan(d)) return INT32_MIN;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return (int32_t)d;
}

// A value as an unsigned 32-bit integer: negatives via the signed truncation, values from 2^31
// keep their top bit.
uint32_t ToUInt32(double d) {
    if (d >= 2147483648.0) return (uint32_t)ToInt32(d - 2147483648.0) | 0x80000000u;
    return (uint32_t)ToInt32(d);
}

// True when the text at pos starts with word (case-insensitively) and no letter or digit follows.
bool MatchWord(const qzEvalState* es, size_t pos, const char* word, size_t len) {
    if (es->length - pos < len) return false;
    if (CompareNoCaseN(es->text + pos, word, len) != 0) return false;
    return pos + len >= es->length || !IsWordByte((unsigned char)es->text[pos + len]);
}

int NextToken(qzEvalState* es) {
    while (es->pos < es->length && (es->text[es->pos] == ' ' || es->text[es->pos] == '\t')) es->pos++;
    es->tokenStart = es->pos;
    if (es->pos >= es->length || es->text[es->pos] == '\0') {
        // The end token; the position moves past the terminator only at the real end.
        es->token = TK_END;
        if (es->pos >= es->length) es->pos = es->length + 1;
        return 0;
    }
    unsigned char c = (unsigned char)es->text[es->pos];
    if ((c >= '0' && c <= '9') || c == '$') {
        int consumed = 0, error = 0;
        es->number = ParseNumberLiteral(es->text + es->pos, &consumed, &error);
        if (error) return error;
        es->pos += (size_t)consumed;
        es->token = TK_NUMBER;
        return 0;
    }
    for (const auto& op : kWordOps) {
        size_t len = std::strlen(op.text);
        if (MatchWord(es, es->pos, op.text, len)) {
            es->pos += len;
            es->token = op.token;
            return 0;
        }
    }
    for (size_t i = 0; i < es->count; i++) {
        const std::string& name = es->variables[i].name;
        if (!name.empty() && MatchWord(es, es->pos, name.c_str(), name.size())) {
            es->pos += name.size();
            es->number = es->variables[i].value;
            es->token = TK_NUMBER;
            return 0;
        }
    }
    es->pos++;
    es->token = c;
    return 0;
}

struct BinaryOp {
    int left, right;
};

// Priorities of a binary operator token; left 0 when the token is none.
BinaryOp Priority(int token) {
    switch (token) {
    case '^': return {14, 13};
    case '*':
    case '/':
    case '\\':
    case '%': return {11, 11};
    case '+':
    case '-': return {10, 10};
    case TK_SHL:
    case TK_SHR: return {9, 9};
    case '&': return {8, 8};
    case '~': return {7, 7};
    case '|': return {6, 6};
    case TK_CONCAT: return {5, 4};
    case '=':
    case TK_NE:
    case '<':
    case TK_LE:
    case '>':
    case TK_GE: return {3, 3};
    case TK_AND: return {2, 2};
    case TK_OR: return {1, 1};
    default: return {0, 0};
    }
}

constexpr int kUnaryPriority = 12;

int Apply(int op, double a, double b, double* out) {
    switch (op) {
    case '^': *out = std::pow(a, b); return 0;
    case '*': *out = a * b; return 0;
    case '/':
        if (b == 0) return ERR_ZERODIVISION;
        *out = a / b;
        return 0;
    case '\\':
    case '%': {
        // 64-bit arithmetic so that -2147483648 \ -1 cannot overflow.
        int64_t x = ToInt32(a), y = ToInt32(b);
        if (y == 0) return ERR_ZERODIVISION;
        *out = (double)(op == '\\' ? x / y : x % y);
        return 0;
    }
    case '+': *out = a + b; return 0;
    case '-': *out = a - b; return 0;
    case TK_SHL:
    case TK_SHR: {
        uint32_t count = (uint32_t)ToInt32(b) & 63;
        uint32_t v = ToUInt32(a);
        *out = count >= 32 ? 0.0 : (double)(op == TK_SHL ? v << count : v >> count);
        return 0;
    }
    case '&': *out = (double)(ToUInt32(a) & ToUInt32(b)); return 0;
    case '~': *out = (double)(ToUInt32(a) ^ ToUInt32(b)); return 0;
    case '|': *out = (double)(ToUInt32(a) | ToUInt32(b)); return 0;
    case TK_CONCAT: return ERR_WRONGOPCST;
    case '=': *out = a == b; return 0;
    case TK_NE: *out = a != b; return 0;
    case '<': *out = a < b; return 0;
    case TK_LE: *out = a <= b; return 0;
    case '>': *out = a > b; return 0;
    case TK_GE: *out = a >= b; return 0;
    case TK_AND: *out = a == 0 ? 0.0 : b; return 0;
    // The left operand when it is non-zero, else the right one: "0 or 5" is 5.
    case TK_OR: *out = a != 0 ? a : b; return 0;
    default: return ERR_SYNTAXERROR;
    }
}

int SubExpression(qzEvalState* es, int limit, double* value) {
    if (++es->depth > EVAL_MAXDEPTH) return ERR_COMPLEXEXPR;
    int rc;
    double v = 0;
    int tok = es->token;
    if (tok == '-' || tok == TK_NOT || tok == '~') {
        if ((rc = NextToken(es))) return rc;
        if ((rc = SubExpression(es, kUnaryPriority, &v))) return rc;
        v = tok == '-' ? -v : tok == TK_NOT ? (v == 0 ? 1.0 : 0.0) : (double)(~ToUInt32(v));
    } else if (tok == TK_NUMBER) {
        v = es->number;
        if ((rc = NextToken(es))) return rc;
    } else if (tok == '(') {
        if ((rc = NextToken(es))) return rc;
        if ((rc = SubExpression(es, 0, &v))) return rc;
        if (es->token != ')') return ERR_UNMPARENTHESES;
        if ((rc = NextToken(es))) return rc;
    } else {
        return ERR_VALUEEXPECTED;
    }
    for (;;) {
        int op = es->token;
        BinaryOp pr = Priority(op);
        if (pr.left == 0 || pr.left <= limit) break;
        if ((rc = NextToken(es))) return rc;
        double right;
        if ((rc = SubExpression(es, pr.right, &right))) return rc;
        if ((rc = Apply(op, v, right, &v))) return rc;
    }
    es->depth--;
    *value = v;
    return 0;
}

}  // namespace

int EvalCheckVariableName(std::string_view name) {
    if (name.empty() || name.size() > EVAL_MAXNAME) return ERR_WRONGUSAGE;
    unsigned char first = (unsigned char)name[0];
    if (!IsAlphaChar(first) && first != '_') return ERR_WRONGUSAGE;
    for (size_t i = 1; i < name.size(); i++) {
        unsigned char c = (unsigned char)name[i];
        if (!IsAlnumChar(c) && c != '_' && c != '$' && c != '!') return ERR_WRONGUSAGE;
    }
    return 0;
}

int EvalExpression(std::string_view text, const qzEvalVariable* variables, size_t count, double* result) {
    std::string copy(text);  // the number reader needs a terminator
    qzEvalState es{};
    es.text = copy.c_str();
    es.length = copy.size();
    es.variables = variables;
    es.count = count;
    int rc = NextToken(&es);
    double v = 0;
    if (!rc) rc = SubExpression(&es, 0, &v);
    if (rc) return rc;
    // The whole text must be used: the end token must be the real end, not an embedded NUL.
    if (es.token != TK_END || es.pos <= es.length) return ERR_SYNTAXERROR;
    *result = v;
    return 0;
}
