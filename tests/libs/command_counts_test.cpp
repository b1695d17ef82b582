// Argument counts that the command rows give: too few arguments fail with ERR_MISSINGPARAMTR and
// too many with ERR_TOOMANYARGS before the handler reads any of them.
#include <gtest/gtest.h>

#include <vector>

#include "base/error_codes.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layers_lib.h"
#include "libs/math/math_lib.h"
#include "libs/memblock/memblock.h"
#include "libs/string/string_lib.h"
#include "libs/system/system.h"
#include "support/commands.h"

namespace command_counts_test {

using qztest::Arg;
using qztest::N;

namespace {

TEST(CommandCounts, RowsRefuseWrongCounts) {
    qztest::Commands vm{&qzSystemLibrary, &qzMathLibrary,   &qzStringLibrary,  &qzGraphicsLibrary,
                        &qzEventLibrary,  &qzLayersLibrary, &qzMemblockLibrary};
    const struct {
        const char* command;
        int min, max;
    } rows[] = {
        {"Blue", 1, 1},         {"CreatePort", 1, 1},  {"BitComplement", 1, 1}, {"HexStr", 1, 1},
        {"CompareDates", 2, 3}, {"GetConstant", 1, 1}, {"AllocMem", 2, 2},      {"AllocMemFromPointer", 3, 3},
        {"StartTimer", 0, 1},   {"SelectLayer", 1, 4},
    };
    for (const auto& row : rows) {
        // Arguments of a type no command takes there: a count check that came late would say so.
        if (row.min > 0) {
            EXPECT_EQ(vm.CallErr(row.command, std::vector<Arg>(row.min - 1, Arg::Table({}))), ERR_MISSINGPARAMTR)
                << row.command;
        }
        EXPECT_EQ(vm.CallErr(row.command, std::vector<Arg>(row.max + 1, Arg::Table({}))), ERR_TOOMANYARGS)
            << row.command;
    }
}

}  // namespace

}  // namespace command_counts_test
