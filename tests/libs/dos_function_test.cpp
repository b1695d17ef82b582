#include "base/error_codes.h"
#include "libs/dos_test_util.h"
#include "vm/vm_script_util.h"

namespace dos_function_test {

using namespace dostest;
using namespace libtest;

namespace {

// A function whose chunk is large enough for several lines of Base64; it returns its argument
// plus 1.
std::string AddOne() {
    std::string body = ".params 1\n";
    for (int i = 0; i < 20; i++) body += ".const \"padding constant " + std::to_string(i) + "\"\n";
    return MainFunction(body + "ADD r1 r0 1\nRETURN r1 2");
}

}  // namespace

TEST_F(DosTest, FunctionRecordsRoundTripInBothForms) {
    ASSERT_EQ(LoadAsm(vm, AddOne()), 0);
    for (bool text : {false, true}) {
        std::string name = F(text ? "f1" : "f0");
        Ok("OpenFile", {N(1), S(name), N(QZ_MODE_WRITE)});
        Ok("WriteString", {N(1), S("pre")});
        Ok("WriteFunction", {N(1), V(1), B(text)});
        Ok("WriteString", {N(1), S("post")});
        Ok("CloseFile", {N(1)});
        std::string bytes = ReadFile(name);
        ASSERT_GT(bytes.size(), 20u);
        EXPECT_EQ(bytes.substr(3, 4), text ? "QZF1" : "QZF0");
        EXPECT_EQ(bytes.substr(bytes.size() - 4), "post");
        if (text) {
            // The size counts the Base64 text with its line feeds; every line holds 72 characters.
            std::string py = Python(R"PY(
import sys, base64
d = open(sys.argv[1], 'rb').read()[3:-4]
n = int(d[4:12], 16)
body = d[12:]
lines = body.split(b'\n')
print(n == len(body), all(len(l) == 72 for l in lines[:-1]), len(lines) > 1, len(base64.b64decode(body.replace(b'\n', b''))) > 0)
)PY",
                                    name);
            EXPECT_EQ(py, "True True True True\n");
        }
        Ok("OpenFile", {N(1), S(name)});
        Ok("Seek", {N(1), N(3)});
        ASSERT_EQ(Call("ReadFunction", {N(1)}), 0);
        VmPushNumber(vm, 41);
        ASSERT_EQ(VmProtectedCall(vm, 1, 1, 0), 0);
        EXPECT_EQ(VmToNumber(vm, -1), 42);
        VmPop(vm, 1);
        EXPECT_EQ(CallStr("ReadString", {N(1), N(4)}), "post");
        Ok("CloseFile", {N(1)});
    }
}

TEST_F(DosTest, FunctionRecordErrors) {
    ASSERT_EQ(LoadAsm(vm, AddOne()), 0);
    Ok("OpenFile", {N(1), S(F("t")), N(QZ_MODE_WRITE)});
    Ok("WriteFunction", {N(1), V(1), B(true)});
    VmPushCFunction(vm, [](VmState*) { return 0; });
    EXPECT_EQ(CallErr("WriteFunction", {N(1), V(2)}), ERR_NOQZFUNC);
    EXPECT_EQ(CallErr("WriteFunction", {N(1), N(2)}), ERR_FUNCEXPECTED);
    EXPECT_EQ(CallErr("ReadFunction", {N(1)}), ERR_WRITEONLY);
    Ok("CloseFile", {N(1)});
    std::string good = ReadFile(F("t"));

    struct Case {
        const char* what;
        std::string bytes;
        int code;
    } cases[] = {
        {"magic", "QZF2000000", ERR_READFUNC},
        {"short", "QZF", ERR_READ},
        {"bad base64", good.substr(0, 20) + "!" + good.substr(21), ERR_BADBASE64},
        {"size past end", std::string("QZF0\x00\x10\x00\x00", 8), ERR_READ},
        {"bad hex size", "QZF100000x10abcd", ERR_READFUNC},
    };
    for (const Case& c : cases) {
        WriteFile(F("bad"), c.bytes);
        Ok("OpenFile", {N(1), S(F("bad"))});
        EXPECT_EQ(CallErr("ReadFunction", {N(1)}), c.code) << c.what;
        Ok("CloseFile", {N(1)});
    }
}

}  // namespace dos_function_test
