// Start-up in process: library registration, the registry entries and options that start-up
// sets up, the applet's symbols, and shutdown releasing the records and temporary files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "player/library_table.h"
#include "player/startup.h"
#include "runtime/applet_records.h"
#include "runtime/library.h"
#include "runtime/player_records.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"

namespace startup_test {

namespace {

std::vector<std::string> registered;

template <int N>
int RecordLibrary(VmState* L) {
    // The globals table is the only value on the stack.
    EXPECT_EQ(VmGetTop(L), 1);
    EXPECT_TRUE(VmRawEqual(L, 1, VM_GLOBALSINDEX));
    VmPushNumber(L, N);  // left behind: the stack is emptied after each library
    registered.push_back("lib" + std::to_string(N));
    return N == 3 ? ERR_MEM : 0;
}

int RegisterInProtectedCall(VmState* L) {
    auto table = static_cast<const qzLibraryDescriptor* const*>(VmToUserdata(L, 1));
    VmPop(L, 1);
    VmPushNumber(L, OpenLibraries(L, table));
    return 1;
}

int RunRegistration(VmState* L, const qzLibraryDescriptor* const* table) {
    VmPushCFunction(L, RegisterInProtectedCall);
    VmPushLightUserdata(L, const_cast<qzLibraryDescriptor**>(table));
    EXPECT_EQ(VmProtectedCall(L, 1, 1, 0), 0);
    int result = static_cast<int>(VmToNumber(L, -1));
    VmPop(L, 1);
    return result;
}

TEST(Startup, LibrariesRegisterInTableOrderUntilOneFails) {
    VmState* L = VmOpen();
    const qzLibraryDescriptor one = {.name = "one", .open = RecordLibrary<1>};
    const qzLibraryDescriptor two = {.name = "two", .open = RecordLibrary<2>};
    const qzLibraryDescriptor three = {.name = "three", .open = RecordLibrary<3>};
    const qzLibraryDescriptor four = {.name = "four", .open = RecordLibrary<4>};
    const qzLibraryDescriptor* const table[] = {&one, &two, &three, &four, nullptr};
    registered.clear();
    EXPECT_EQ(RunRegistration(L, table), ERR_MEM);
    EXPECT_EQ(registered, (std::vector<std::string>{"lib1", "lib2", "lib3"}));
    // The shipped table is well-formed (ends with a null entry) and registers cleanly.
    EXPECT_EQ(RunRegistration(L, qzLibraryTable), 0);
    // Closing them takes their links and hooks out again.
    CloseLibraries(L, qzLibraryTable);
    VmClose(L);
}

TEST(Startup, AppletSymbolsGoIntoTheRegistry) {
    VmState* L = VmOpen();
    qzAppletDescriptor applet;
    applet.containerRead = 1;
    applet.hasLabels = 1;
    applet.labels = {{"MainLoop", 12}, {"Quit", 40}};
    qzUserConstant lives;
    lives.name = "MAXLIVES";
    lives.number = 3;
    qzUserConstant name;
    name.name = "Hero";
    name.isString = 1;
    name.text = "Bob";
    applet.constants = {lives, name};
    ASSERT_EQ(StoreAppletSymbols(L, &applet), 0);
    EXPECT_EQ(VmFindLabel(L, "mainloop"), 12);
    EXPECT_EQ(VmFindLabel(L, "QUIT"), 40);
    double number = 0;
    const char* text = nullptr;
    EXPECT_EQ(VmFindConstantIn(L, "maxlives", &text, &number, "userconstants"), 1);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(VmFindConstantIn(L, "hero", &text, &number, "userconstants"), 1);
    EXPECT_STREQ(text, "Bob");
    EXPECT_STREQ(VmGetRegistryString(L, "script"), ":none:");
    VmClose(L);
}

class StartupRun : public ::testing::Test {
protected:
    VmState* L = VmOpen();
    qzPlayerContext* context = new qzPlayerContext();
    qzAppletDescriptor* applet = new qzAppletDescriptor();
    uint8_t stamp[QZ_LINK_STAMP_SIZE];
    uint8_t block[QZ_LINKER_BLOCK_SIZE];

    StartupRun() { CopyLinkStamp(stamp, block); }
    ~StartupRun() override {
        if (L) ShutdownPlayer(0, L, context, applet);
    }
    int Init(std::vector<const char*> args) {
        args.insert(args.begin(), "qzplayer");
        return InitPlayerAndOptions(L, context, applet, stamp, block, static_cast<int>(args.size()), args.data());
    }
};

TEST_F(StartupRun, RegistryEntriesAndOptions) {
    ASSERT_EQ(Init({"-QUIET", "-DEBUGOUTPUT", "-mykey", "myvalue", "game.qza"}), 0);
    EXPECT_EQ(context->appletPath, "game.qza");
    EXPECT_EQ(context->firstFileArg, "game.qza");
    EXPECT_EQ(context->appended, 0);
    EXPECT_EQ(context->quiet, 1);
    EXPECT_EQ(context->soundSetting, 30);
    ASSERT_EQ(context->unknownArgs.size(), 1u);
    EXPECT_EQ(context->unknownArgs[0].value, "myvalue");
    EXPECT_EQ(context->debugOutput, 1);
    EXPECT_EQ(GetPlayerContext(L), context);
    EXPECT_EQ(GetAppletDescriptor(L), applet);

    // "_g" is the globals table itself.
    VmPushString(L, "_g");
    VmRawGet(L, VM_GLOBALSINDEX);
    EXPECT_TRUE(VmRawEqual(L, -1, VM_GLOBALSINDEX));
    VmPop(L, 1);
    VmPushString(L, "inclevels");
    VmRawGet(L, VM_REGISTRYINDEX);
    ASSERT_EQ(VmType(L, -1), VM_TTABLE);
    VmPushString(L, "count");
    VmRawGet(L, -2);
    EXPECT_EQ(VmToNumber(L, -1), 0);
    EXPECT_EQ(VmType(L, -1), VM_TNUMBER);
    VmPop(L, 2);
}

TEST_F(StartupRun, OptionErrorsAndMissingApplet) {
    EXPECT_EQ(Init({"game.qza", "-SCRWIDTH"}), ERR_ARGS);
    EXPECT_EQ(Init({"-QUIET"}), ERR_USERABORT);  // no applet and no requester: cancelled
    EXPECT_EQ(Init({"-MONITOR", "0", "game.qza"}), ERR_MONITORRANGE);
}

TEST_F(StartupRun, ShutdownDeletesTemporaryFiles) {
    ASSERT_EQ(Init({"-QUIET", "game.qza"}), 0);
    char path[] = "/tmp/qzstartupXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    context->tempFiles.push_back(path);
    EXPECT_EQ(ShutdownPlayer(0, L, context, applet), 0);
    L = nullptr;
    EXPECT_NE(access(path, F_OK), 0);
}

}  // namespace

}  // namespace startup_test
