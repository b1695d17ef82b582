#include "base/number_literal.h"

#include <cmath>
#include <gtest/gtest.h>

#include "base/error_codes.h"

namespace number_literal_test {

namespace {

struct LiteralCase {
    const char* text;
    double value;
    int consumed;
    int error;
};

TEST(NumberLiteral, ReadsEveryForm) {
    const LiteralCase cases[] = {
        {"$FF0000", 16711680, 7, 0},
        {"-$10", -16, 4, 0},
        {"$-10", -16, 4, 0},
        {"$-FF", -255, 4, 0},
        {"$ff", 255, 3, 0},
        {"0x1F", 31, 4, 0},
        {"0X1f", 31, 4, 0},
        {"-0x10", -16, 5, 0},
        {"%101", 5, 4, 0},
        {"%", 0, 1, 0},
        {"%102", 2, 3, 0},
        {".5", 0.5, 2, 0},
        {"-.5", -0.5, 3, 0},
        {"12abc", 12, 2, 0},
        {"0", 0, 1, 0},
        {"1e3", 1000, 3, 0},
        {"1.25e-2x", 0.0125, 7, 0},
        {"1e", 1, 1, 0},
        {"3.75%", 3.75, 4, 0},
        // Hexadecimal and binary saturate at the largest unsigned 32-bit value.
        {"$FFFFFFFF", 4294967295.0, 9, 0},
        {"$123456789AB", 4294967295.0, 12, 0},
        {"%111111111111111111111111111111111111", 4294967295.0, 37, 0},
        // Errors give 0 and consume nothing.
        {"$", 0, 0, ERR_SYNTAXERROR},
        {"$-", 0, 0, ERR_SYNTAXERROR},
        {"$G", 0, 0, ERR_SYNTAXERROR},
        {"0x", 0, 0, ERR_SYNTAXERROR},
        {"0xZ", 0, 0, ERR_SYNTAXERROR},
        {".", 0, 0, ERR_VALUEEXPECTED},
        {"abc", 0, 0, ERR_VALUEEXPECTED},
        {"", 0, 0, ERR_VALUEEXPECTED},
        {"-", 0, 0, ERR_VALUEEXPECTED},
        {" 1", 0, 0, ERR_VALUEEXPECTED},
        {"+1", 0, 0, ERR_VALUEEXPECTED},
    };
    for (const LiteralCase& c : cases) {
        int consumed = -1, error = -1;
        double v = ParseNumberLiteral(c.text, &consumed, &error);
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(NumberLiteral, HugeDecimalsFollowTheFloatingPointRules) {
    int consumed = 0, error = 0;
    EXPECT_TRUE(std::isinf(ParseNumberLiteral("1e999", &consumed, &error)));
    EXPECT_EQ(consumed, 5);
    EXPECT_EQ(ParseNumberLiteral("1e-999", &consumed, &error), 0.0);
    EXPECT_EQ(error, 0);
}

}  // namespace

}  // namespace number_literal_test
