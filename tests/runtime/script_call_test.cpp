#include <gtest/gtest.h>

#include <string>

#include "runtime/error_messages.h"
#include "runtime/object_id.h"
#include "runtime/script_call.h"
#include "vm/vm.h"

namespace script_call_test {

namespace {

// Returns a description of its arguments and their count.
int Describe(VmState* L) {
    std::string out;
    for (int i = 1; i <= VmGetTop(L); i++) {
        if (i > 1) out += ",";
        switch (VmType(L, i)) {
        case VM_TNUMBER: out += std::to_string(static_cast<long long>(VmToNumber(L, i))); break;
        case VM_TSTRING: out += std::string("'") + VmToString(L, i) + "'"; break;
        case VM_TLIGHTUSERDATA: out += "ptr"; break;
        default: out += VmTypeName(L, VmType(L, i)); break;
        }
    }
    VmPushString(L, out.c_str());
    VmPushNumber(L, VmGetTop(L) - 1);
    return 2;
}

}  // namespace

TEST(ScriptCall, CallsGlobalByFoldedName) {
    VmState* L = VmOpen();
    VmPushString(L, "describe\xE9");
    VmPushCFunction(L, Describe);
    VmSetTable(L, VM_GLOBALSINDEX);
    int dummy = 0;
    qzObjectId byNumber{12, nullptr}, byHandle{0, &dummy};
    ASSERT_EQ(CallScriptFunction(L, "DeScribe\xC9", 2,
                                 {{QZ_ARG_INT, -5, nullptr},
                                  {QZ_ARG_UINT, 0xFFFFFFFFll, nullptr},
                                  {QZ_ARG_STRING, 0, "text"},
                                  {QZ_ARG_STRING, 0, nullptr},
                                  {QZ_ARG_NIL, 0, nullptr},
                                  {QZ_ARG_LIGHTUSERDATA, 0, &dummy},
                                  {QZ_ARG_OBJECTID, 0, &byNumber},
                                  {QZ_ARG_OBJECTID, 0, &byHandle}}),
              0);
    ASSERT_EQ(VmGetTop(L), 2);
    EXPECT_STREQ(VmToString(L, 1), "-5,4294967295,'text',nil,nil,ptr,12,ptr");
    EXPECT_EQ(VmToNumber(L, 2), 8);
    VmSetTop(L, 0);

    EXPECT_EQ(CallScriptFunction(L, "missing", 0, {}), ERR_FUNCDECLA);
    EXPECT_STREQ(GetErrorArgString(), "missing");
    std::string tooLong(132, 'a');
    EXPECT_EQ(CallScriptFunction(L, tooLong.c_str(), 0, {}), ERR_FUNCDECLA);
    EXPECT_EQ(CallScriptFunction(L, nullptr, 0, {}), ERR_FUNCDECLA);
    EXPECT_EQ(VmGetTop(L), 0);
    VmClose(L);
}

}  // namespace script_call_test
