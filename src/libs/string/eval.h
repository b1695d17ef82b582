// Expression evaluator: computes an arithmetic and logical expression given as text, with
// optional named variables, directly on doubles (no tree, no script code).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct qzEvalVariable {
    std::string name;
    double value;
};

// Deepest nesting of sub-expressions; deeper text fails with ERR_COMPLEXEXPR.
constexpr int EVAL_MAXDEPTH = 200;
// Longest variable name.
constexpr size_t EVAL_MAXNAME = 64;

// Checks a variable name: 1 to 64 bytes, a letter or "_" first, then letters, digits, "_", "$"
// or "!". Returns 0 or ERR_WRONGUSAGE.
int EvalCheckVariableName(std::string_view name);

// Evaluates text; variables are matched case-insensitively in the given order. Returns 0 and the
// value, or an error code (ERR_VALUEEXPECTED, ERR_UNMPARENTHESES, ERR_SYNTAXERROR,
// ERR_ZERODIVISION, ERR_WRONGOPCST, ERR_COMPLEXEXPR, or a number reader's code).
int EvalExpression(std::string_view text, const qzEvalVariable* variables, size_t count, double* result);
