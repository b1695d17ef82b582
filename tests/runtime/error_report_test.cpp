// Error reporting against the running VM: command errors with trapping on and off, the context
// recorded for a failing command, the script error handler, and the final error text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "runtime/applet_records.h"
#include "runtime/error_messages.h"
#include "runtime/error_report.h"
#include "runtime/object_registry.h"
#include "runtime/player_records.h"
#include "runtime/runtime.h"
#include "runtime/script_position.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"

namespace error_report_test {

namespace {

// "LoadBrush" stand-in: fails like a lookup of brush 7.
int FailCommand(VmState*) {
    SetErrorArgIndex(7);
    return ERR_FINDBRUSH;
}
// Fills every free slot of its frame, then fails.
int FullStackCommand(VmState* L) {
    for (int i = 0; i < VM_MINSTACK; i++) VmPushNumber(L, i);
    return ERR_FINDBRUSH;
}
int OkCommand(VmState* L) {
    VmPushNumber(L, 1);
    return 1;
}
int LastErrorCommand(VmState* L) {
    VmPushNumber(L, GetLastErrorCode());
    return 1;
}

struct HandlerCall {
    int code;
    std::string message, command;
    int line;
};
std::vector<HandlerCall> handlerCalls;
int handlerResult;
int ErrorHandler(VmState* L) {
    handlerCalls.push_back(
        {static_cast<int>(VmToNumber(L, 1)), VmToString(L, 2), VmToString(L, 3), static_cast<int>(VmToNumber(L, 4))});
    VmPushNumber(L, handlerResult);
    return 1;
}
// Runs its function argument as a script callback (nesting counter raised).
int RunCallback(VmState* L) {
    SetRuntimeAttrs(L, {{QZ_RTA_CALLBACKDEPTH, 1}});
    int status = VmProtectedCall(L, 0, 0, 0);
    SetRuntimeAttrs(L, {{QZ_RTA_CALLBACKDEPTH, 0}});
    VmPushNumber(L, status);
    return 1;
}

std::string requesterTitle, requesterText;
void CaptureRequester(const char* title, const char* text, int) {
    requesterTitle = title;
    requesterText = text;
}

const char* Reader(void* data, size_t* size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(data);
    if (bytes->empty()) {
        *size = 0;
        return nullptr;
    }
    static std::vector<uint8_t> held;
    held.swap(*bytes);
    *size = held.size();
    return reinterpret_cast<const char*>(held.data());
}

// The main function calls failcmd on line 5 and returns 42 on line 6; "myfunc" fails with an
// arithmetic error on nil on its line 21.
const char* kScript = R"(
.function main
  .source "game.qzs"
  .line 4
  CLOSURE r0 myfunc
  SETGLOBAL r0 "myfunc"
  .line 5
  GETGLOBAL r0 "failcmd"
  CALL r0 1 1
  .line 6
  LOADK r0 42
  RETURN r0 2
  .function myfunc
    .linedefined 20
    .line 21
    LOADNIL r0 0
    ADD r1 r0 r0
    RETURN r1 2
  .end
.end
)";

class ErrorReport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(InitRuntime(), 0);
        L = VmOpen();
        Global("failcmd", FailCommand);
        Global("okcmd", OkCommand);
        Global("lasterror", LastErrorCommand);
        Global("runcallback", RunCallback);
        Global("fullstack", FullStackCommand);
        vmRuntime.getLastErrorFunction = LastErrorCommand;
        handlerCalls.clear();
        handlerResult = 0;
        SetErrorRequesterFunction(CaptureRequester);
    }
    void TearDown() override {
        SetStartupRecords(L, nullptr, nullptr);
        VmClose(L);
        FreeRuntime(nullptr);
        SetErrorRequesterFunction(nullptr);
    }
    void Global(const char* name, VmCFunction f) {
        VmPushString(L, name);
        VmPushCFunction(L, f);
        VmSetTable(L, VM_GLOBALSINDEX);
    }
    // Assembles and runs text protected; the first result goes to *result.
    int Run(const std::string& text, double* result = nullptr) {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        int top = VmGetTop(L);
        int status = VmLoad(L, Reader, &bytes, "=test");
        if (status == 0) status = VmProtectedCall(L, 0, 1, 0);
        if (status == 0 && result) *result = VmToNumber(L, -1);
        VmSetTop(L, top);
        return status;
    }
    VmState* L = nullptr;
};

}  // namespace

TEST_F(ErrorReport, TrappedCommandErrorEndsTheScript) {
    EXPECT_EQ(Run(kScript), ERR_FINDBRUSH);
    EXPECT_EQ(GetLastErrorCode(), ERR_FINDBRUSH);
    EXPECT_STREQ(GetErrorCommandName(), "failcmd");
    EXPECT_STREQ(GetErrorSourceFile(), "game.qzs");
    EXPECT_EQ(vmRuntime.errorLine, 5);  // the script line that called the command
    EXPECT_TRUE(IsQuitRequested());     // outside callbacks the main chunk ends

    // The final report: message, and while the script runs its file and line.
    char text[QZ_ERROR_TEXT_SIZE];
    const char* file = "x";
    int line = 1;
    GetErrorInfo(L, ERR_FINDBRUSH, text, sizeof text, &file, &line);
    EXPECT_STREQ(text, "Could not find brush 7!");
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(line, 0);
}

TEST_F(ErrorReport, ScriptErrorNamesTheFunction) {
    std::string script = kScript;
    script.replace(script.find("GETGLOBAL r0 \"failcmd\""), 22, "GETGLOBAL r0 \"myfunc\"");
    EXPECT_EQ(Run(script), ERR_WRONGOP);
    EXPECT_STREQ(GetErrorCommandName(), "myfunc");
    EXPECT_EQ(vmRuntime.errorLine, 21);  // the failing instruction's own line wins
    EXPECT_FALSE(IsQuitRequested());     // raised by the VM, not a command error
}

// The innermost frame with a name names the failure: a command called through a global, a named
// script function, or "<<unnamed>>" for a script function called from a register without a name;
// an error in the main chunk itself names nothing. The line is the failing instruction's.
TEST_F(ErrorReport, ContextNamesTheInnermostNamedFrame) {
    struct Case {
        const char* call;  // how main reaches "inner", which runs body on its line 31
        const char* body;
        int code;
        const char* command;
        int line;
    };
    const Case cases[] = {
        {"CLOSURE r0 inner\n  SETGLOBAL r0 \"helper\"\n  GETGLOBAL r0 \"helper\"", "LOADNIL r0 0\n    ADD r1 r0 r0",
         ERR_WRONGOP, "helper", 31},
        {"CLOSURE r0 inner", "LOADNIL r0 0\n    ADD r1 r0 r0", ERR_WRONGOP, "<<unnamed>>", 31},
        {"CLOSURE r0 inner", "GETGLOBAL r0 \"failcmd\"\n    CALL r0 1 1", ERR_FINDBRUSH, "failcmd", 31},
        {"LOADNIL r0 0\n  ADD r0 r0 r0\n  CLOSURE r0 inner", "LOADNIL r0 0", ERR_WRONGOP, "----", 5},
    };
    for (const Case& c : cases) {
        SetErrorCommandName(QZ_NO_COMMAND);
        SetQuitFlag(0);
        std::string script =
            std::string(".function main\n  .source \"game.qzs\"\n  .line 5\n  ") + c.call +
            "\n  CALL r0 1 1\n  RETURN r0 1\n  .function inner\n    .linedefined 30\n    .line 31\n    " + c.body +
            "\n    RETURN r0 1\n  .end\n.end\n";
        EXPECT_EQ(Run(script), c.code) << script;
        EXPECT_STREQ(GetErrorCommandName(), c.command) << script;
        EXPECT_EQ(vmRuntime.errorLine, c.line) << script;
        EXPECT_STREQ(GetErrorSourceFile(), "game.qzs");
    }
}

TEST_F(ErrorReport, InterpreterFillsTheErrorArgument) {
    const char* script = R"(
.function main
  GETGLOBAL r0 "nothere"
  GETTABLE r1 r0 "key"
  RETURN r1 2
.end
)";
    ASSERT_EQ(Run(script), ERR_TABLEDECLA);
    std::string message = FormatErrorText(ERR_TABLEDECLA);
    EXPECT_EQ(message.rfind("Table nothere", 0), 0u) << message;
}

TEST_F(ErrorReport, UntrappedCommandErrorIsOnlyRecorded) {
    SetRuntimeAttrs(L, {{QZ_RTA_EXITONERROR, 0}});
    const char* script = R"(
.function main
  .source "game.qzs"
  .line 3
  GETGLOBAL r0 "failcmd"
  CALL r0 1 2
  GETGLOBAL r1 "lasterror"
  CALL r1 1 2
  GETGLOBAL r2 "okcmd"
  CALL r2 1 1
  GETGLOBAL r2 "lasterror"
  CALL r2 1 2
  MUL r1 r1 10000     ; lasterror after the failure * 10000 + lasterror after okcmd
  ADD r1 r1 r2
  EQ 0 r0 nil         ; the failed command yielded nothing: r0 is nil
  JMP +1
  RETURN r1 2
  LOADK r1 -1
  RETURN r1 2
.end
)";
    double result = 0;
    ASSERT_EQ(Run(script, &result), 0);
    EXPECT_EQ(result, 11740000.0);
    EXPECT_STREQ(GetErrorCommandName(), "----");
    EXPECT_EQ(vmRuntime.errorLine, -1);
    EXPECT_FALSE(IsQuitRequested());
}

TEST_F(ErrorReport, UserErrorHandler) {
    VmPushCFunction(L, ErrorHandler);
    SetUserErrorHandler(L, -1);
    VmPop(L, 1);
    ASSERT_TRUE(IsUserErrorHandlerInstalled(L));

    // The handler takes the error: the script goes on and returns 42.
    double result = 0;
    ASSERT_EQ(Run(kScript, &result), 0);
    EXPECT_EQ(result, 42);
    ASSERT_EQ(handlerCalls.size(), 1u);
    EXPECT_EQ(handlerCalls[0].code, ERR_FINDBRUSH);
    EXPECT_EQ(handlerCalls[0].message, "Could not find brush 7!");
    EXPECT_EQ(handlerCalls[0].command, "failcmd");
    EXPECT_STREQ(GetErrorCommandName(), "----");

    // The handler runs even when the failing command used up its frame's free slots.
    std::string full = kScript;
    full.replace(full.find("\"failcmd\""), 9, "\"fullstack\"");
    ASSERT_EQ(Run(full, &result), 0);
    EXPECT_EQ(handlerCalls.size(), 2u);
    EXPECT_EQ(handlerCalls[1].command, "fullstack");
    handlerCalls.pop_back();

    // A handler that hands the code back lets it end the script.
    handlerResult = ERR_FINDBRUSH;
    EXPECT_EQ(Run(kScript), ERR_FINDBRUSH);
    EXPECT_EQ(handlerCalls.size(), 2u);

    // Inside a script callback the handler is not asked.
    handlerCalls.clear();
    FreeRuntime(nullptr);
    ASSERT_EQ(InitRuntime(), 0);
    const char* viaCallback = R"(
.function main
  GETGLOBAL r0 "runcallback"
  CLOSURE r1 inner
  CALL r0 2 2
  RETURN r0 2
  .function inner
    GETGLOBAL r0 "failcmd"
    CALL r0 1 1
    RETURN r0 1
  .end
.end
)";
    double status = 0;
    ASSERT_EQ(Run(viaCallback, &status), 0);
    EXPECT_EQ(status, ERR_FINDBRUSH);  // the callback's protected call caught it
    EXPECT_TRUE(handlerCalls.empty());
    EXPECT_FALSE(IsQuitRequested());  // a failing callback does not end the main chunk
    EXPECT_EQ(GetCallbackDepth(), 0);

    VmPushNil(L);
    SetUserErrorHandler(L, -1);
    VmPop(L, 1);
    EXPECT_FALSE(IsUserErrorHandlerInstalled(L));
}

TEST_F(ErrorReport, FinalReportMapsIncludeRanges) {
    qzPlayerContext context;
    context.appletPath = "/apps/demo.qza";
    qzAppletDescriptor applet;
    qzIncludeRange range;
    range.firstLine = 3;
    range.lastLine = 10;
    range.lineOffset = 100;
    range.sourceName = "/src/include/inc.qzs";
    range.containerName = "game.qzs";
    applet.includeRanges.push_back(range);
    SetStartupRecords(L, &context, &applet);
    // The library's table writes the command's name as the user knows it.
    static const qzCommandRow table[] = {{"OkCmd", OkCommand}, {"FailCmd", FailCommand}, {nullptr, nullptr}};
    ASSERT_EQ(RegisterCommandTable(table, "test"), 0);
    EXPECT_EQ(GetPlayerContext(L), &context);
    EXPECT_EQ(GetAppletDescriptor(L), &applet);
    EXPECT_EQ(GetPlayerContext(nullptr), &context);
    EXPECT_EQ(GetAppletDescriptor(nullptr), &applet);

    SetRuntimeAttrs(L, {{QZ_RTA_SCRIPTRUNNING, 1}});
    EXPECT_EQ(Run(kScript), ERR_FINDBRUSH);
    char text[QZ_ERROR_TEXT_SIZE];
    const char* file = nullptr;
    int line = 0;
    GetErrorInfo(L, ERR_FINDBRUSH, text, sizeof text, &file, &line);
    ASSERT_NE(file, nullptr);
    EXPECT_STREQ(file, "/src/include/inc.qzs");
    EXPECT_EQ(line, 5 - 3 + 100 + 1);

    ShowErrorRequester(L, text, 0, 0);
    EXPECT_EQ(requesterTitle, "QuarnelixPlayer");
    EXPECT_EQ(requesterText, "Could not find brush 7!\nFile: inc.qzs (current line: 103 - In function: FailCmd)");
    ShowErrorRequester(L, text, 1, 0);
    EXPECT_EQ(requesterText, "Could not find brush 7!");

    // No range covers the line: line -1 and the applet's file.
    applet.includeRanges[0].lastLine = 4;
    GetErrorInfo(L, ERR_FINDBRUSH, text, sizeof text, &file, &line);
    EXPECT_STREQ(file, "/apps/demo.qza");
    EXPECT_EQ(line, -1);
}

TEST(ScriptPosition, Mapping) {
    std::vector<qzIncludeRange> ranges(2);
    ranges[0].firstLine = 10;
    ranges[0].lastLine = 19;
    ranges[0].lineOffset = 0;
    ranges[0].sourceName = "lib.qzs";
    ranges[0].containerName = "Main.qzs";
    ranges[1].firstLine = 30;
    ranges[1].lastLine = 34;
    ranges[1].sourceName = "MAIN.QZS";
    ranges[1].containerName = "other";
    struct Case {
        int errorLine;
        const char* script;
        int begin;
        const char* source;
        int line;
        const char* file;
    };
    const Case cases[] = {
        {12, ":none:", 0, "main.qzs", 3, "lib.qzs"},             // container name compared without case
        {19, nullptr, 0, "main.qzs", 10, "lib.qzs"},             // last line of the range
        {20, ":none:", 0, "main.qzs", -1, "default"},            // outside every range
        {12, ":none:", 0, "?", -1, "default"},                   // no source name recorded
        {50, "main.qzs", 40, "x", 50 - 40 + 1 + 4, "main.qzs"},  // source run: range lines added back
    };
    for (const Case& c : cases) {
        qzScriptPosition p = MapScriptPosition(c.errorLine, c.script, c.begin, c.source, ranges, "default");
        EXPECT_EQ(p.line, c.line) << c.errorLine;
        EXPECT_EQ(p.file, c.file) << c.errorLine;
    }
}

TEST_F(ErrorReport, CallTraceGoesToTheConsole) {
    SetCallTrace(true);
    testing::internal::CaptureStdout();
    Run(kScript);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Now calling failcmd()"), std::string::npos) << out;
}

}  // namespace error_report_test
