#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

#include "base/error_codes.h"
#include "platform/file_test_util.h"
#include "runtime/object_registry.h"
#include "runtime/tool_dumps.h"
#include "support/commands.h"
#include "vm/vm_aux.h"

namespace tool_dumps_test {

using namespace filetest;

TEST(ToolDumps, Keywords) {
    TempDir dir;
    std::string path = dir / "keys.txt";
    ASSERT_EQ(ExportPreprocessorKeywords(path.c_str()), 0);
    std::string text = ReadFile(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 23);
    EXPECT_EQ(text.substr(0, 12), "BGPIC\nBRUSH\n");
    EXPECT_EQ(text.substr(text.size() - 13), "REQUIRE\nMENU\n");
    EXPECT_EQ(ExportPreprocessorKeywords((dir / "no/such/dir").c_str()), ERR_WRITEFILE);
}

TEST(ToolDumps, ConstantNames) {
    TempDir dir;
    qztest::VmScope vm;
    const qzConstantRow rows[] = {{"#FIRST", nullptr, 1}, {"#Second", "two", 0}, {"#third", nullptr, 3}, {}};
    ASSERT_EQ(VmRegisterConstants(vm, rows, 0), 0);
    const qzConstantRow user[] = {{"#MINE", nullptr, 9}, {}};
    ASSERT_EQ(VmRegisterConstants(vm, user, 1), 0);
    std::string path = dir / "constants.txt";
    int top = VmGetTop(vm);
    ASSERT_EQ(ExportConstantNames(vm, path.c_str()), 0);
    EXPECT_EQ(VmGetTop(vm), top);
    std::istringstream lines(ReadFile(path));
    std::set<std::string> names;
    for (std::string line; std::getline(lines, line);) names.insert(line);
    EXPECT_EQ(names, (std::set<std::string>{"#first", "#second", "#third"}));  // user constants excluded
}

TEST(ToolDumps, CommandTables) {
    TempDir dir;
    static const qzCommandRow dosRows[] = {{"openfile", nullptr}, {"closefile", nullptr}, {nullptr, nullptr}};
    static const qzCommandRow emptyRows[] = {{nullptr, nullptr}};
    std::string path = dir / "commands.txt";
    ASSERT_EQ(ExportCommandTables(path.c_str()), 0);
    EXPECT_EQ(ReadFile(path), "::end\n");
    ASSERT_EQ(RegisterCommandTable(dosRows, "dos"), 0);
    ASSERT_EQ(RegisterCommandTable(emptyRows, "plugin"), 0);
    ASSERT_EQ(ExportCommandTables(path.c_str()), 0);
    FreeObjectRegistry();
    EXPECT_EQ(ReadFile(path), "::dos\n2\nopenfile\nclosefile\n::plugin\n0\n::end\n");
}

}  // namespace tool_dumps_test
