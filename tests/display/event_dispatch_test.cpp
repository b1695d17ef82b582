// Handler dispatch: the result table of CheckEvent, the handler slots, the table layouts of the
// sources without displays (sound ends, network, plugin types), the queue's quit and call
// events, nesting, expiry, key names and command lines.
#include <chrono>
#include <cstring>
#include <thread>

#include "display/event_test_util.h"
#include "libs/network/network.h"
#include "media/sound/sound_events.h"
#include "net/net_events.h"
#include "platform/os_alloc.h"

namespace event_dispatch_test {

using eventtest::Calls;
using eventtest::EventTest;
using eventtest::HandlerBody;
using eventtest::RecordingHandler;
using qztest::Arg;
using qztest::Nil;

namespace {

using EventDispatch = EventTest;

// A plugin event type's data and what its callbacks saw.
struct PluginLog {
    int fills = 0, pushes = 0, afters = 0, frees = 0;
    int pushResult = 1;
};
PluginLog gPlugin;

void FillType(VmState* state, int32_t type, void* data) {
    gPlugin.fills++;
    VmPushString(state, "value");
    VmPushNumber(state, *static_cast<int*>(data) + type);
    VmSetTable(state, -3);
}
int PushType(VmState* state, int32_t, void* data) {
    gPlugin.pushes++;
    if (gPlugin.pushResult < 0) return gPlugin.pushResult;
    VmPushNumber(state, *static_cast<int*>(data));
    return 1;
}
void AfterType(VmState*, int32_t, void*) { gPlugin.afters++; }
void FreeType(VmState*, int32_t, void* data) {
    gPlugin.frees++;
    OsFree(data);
}

void* IntData(int value) {
    int* data = static_cast<int*>(OsAlloc(sizeof(int), 0));
    *data = value;
    return data;
}

TEST_F(EventDispatch, ResultTableIsTheHandlersOwnWithItsResults) {
    HandlerBody() = [](VmState* state) {
        VmPushString(state, "mark");
        VmPushNumber(state, 42);
        VmSetTable(state, 1);
        VmPushString(state, "first");
        VmPushNumber(state, 2);
        return 2;
    };
    vm.Ok("SetTimeout", {3, Arg::Function(RecordingHandler), 5});
    Advance(5);
    EXPECT_EQ(Check(), "\"Timeout\" 3 1 2");
    EXPECT_EQ(ResultField("mark"), "42");
    VmPushString(vm, "results");
    VmGetTable(vm, 1);
    ASSERT_EQ(VmType(vm, -1), VM_TTABLE);
    VmRawGetI(vm, -1, 0);
    VmRawGetI(vm, -2, 1);
    EXPECT_EQ(qztest::Render(vm, -2), "\"first\"");
    EXPECT_EQ(qztest::Render(vm, -1), "2");
    EXPECT_EQ(VmGetTop(vm), 4);
}

TEST_F(EventDispatch, CheckEventInsideAHandlerIsRefused) {
    int inner = -1;
    HandlerBody() = [&inner](VmState* state) {
        VmPushString(state, "waitevent");
        VmGetTable(state, VM_GLOBALSINDEX);
        inner = VmProtectedCall(state, 0, 0, 0);
        return 0;
    };
    vm.Ok("SetTimeout", {1, Arg::Function(RecordingHandler), 5});
    vm.Ok("SetTimeout", {2, Arg::Function(RecordingHandler), 5});
    Advance(5);
    EXPECT_EQ(Check(), "\"Timeout\" 1 1 0");
    EXPECT_EQ(inner, ERR_WRONGUSAGE);
    EXPECT_EQ(Calls().size(), 1u);  // the inner WaitEvent dispatched nothing
    HandlerBody() = nullptr;
    EXPECT_EQ(Check(), "\"Timeout\" 2 1 0");
}

TEST_F(EventDispatch, AHandlersErrorIsReturnedAndTheWalkGoesOn) {
    HandlerBody() = [](VmState* state) -> int { VmRaiseError(state, ERR_ZERODIVISION); };
    vm.Ok("SetTimeout", {1, Arg::Function(RecordingHandler), 5});
    vm.Ok("SetTimeout", {2, Arg::Function(RecordingHandler), 5});
    Advance(5);
    EXPECT_EQ(vm.CallErr("CheckEvent"), ERR_ZERODIVISION);
    EXPECT_EQ(VmGetTop(vm), 0);
    HandlerBody() = nullptr;
    EXPECT_EQ(Check(), "\"Timeout\" 2 1 0");
}

TEST_F(EventDispatch, InstallEventHandlerSetsClearsAndKeepsUserData) {
    qzHandlerSlot* slots = GlobalHandlerSlots();
    vm.Ok("InstallEventHandler", {Arg::Table({{"onsampleend", Arg::Function(RecordingHandler)}}), "ud"});
    EXPECT_NE(slots[QZ_GLOBAL_ONSAMPLEEND].function, -1);
    EXPECT_NE(slots[QZ_GLOBAL_ONSAMPLEEND].userData, -1);
    // Set again without user data: the old user data stays.
    vm.Ok("InstallEventHandler", {Arg::Table({{"onsampleend", Arg::Function(RecordingHandler)}})});
    EXPECT_NE(slots[QZ_GLOBAL_ONSAMPLEEND].userData, -1);
    // false clears the handler, as a number does; the user data goes with it.
    vm.Ok("InstallEventHandler", {Arg::Table({{"onsampleend", false}})});
    EXPECT_EQ(slots[QZ_GLOBAL_ONSAMPLEEND].function, -1);
    EXPECT_EQ(slots[QZ_GLOBAL_ONSAMPLEEND].userData, -1);
    vm.Ok("InstallEventHandler", {Arg::Table({{"onmusicend", Arg::Function(RecordingHandler)}})});
    vm.Ok("InstallEventHandler", {Arg::Table({{"onmusicend", 0}})});
    EXPECT_EQ(slots[QZ_GLOBAL_ONMUSICEND].function, -1);

    // A wrong value changes nothing, not even the entries before it.
    EXPECT_EQ(vm.CallErr("InstallEventHandler",
                         {Arg::Table({{"onsampleend", Arg::Function(RecordingHandler)}, {"onmusicend", true}})}),
              ERR_FUNCEXPECTED);
    EXPECT_EQ(slots[QZ_GLOBAL_ONSAMPLEEND].function, -1);
    EXPECT_EQ(vm.CallErr("InstallEventHandler", {"no table"}), ERR_TABEXPECTED);
}

// The sound side's end events, taken off its list oldest first.
TEST_F(EventDispatch, SoundEndTables) {
    ASSERT_EQ(InitSoundEventMutex(), 0);
    // Time: (pass - 1) x pass length, plus the last pass for a sample end; starts: the pass.
    PushSoundEvent(QZ_SOUNDEVENT_SAMPLEEND, {1, nullptr}, 1000, 2, 500, 0);
    PushSoundEvent(QZ_SOUNDEVENT_SAMPLELOOP, {2, nullptr}, 10, 1, 0, 0);
    PushSoundEvent(QZ_SOUNDEVENT_MUSICEND, {3, nullptr}, 99, 9, 0, 0);
    PushSoundEvent(QZ_SOUNDEVENT_VIDEOEND, {4, nullptr}, 1, 1, 0, 0);
    vm.Ok("InstallEventHandler", {Arg::Table({{"onsampleend", Arg::Function(RecordingHandler)},
                                              {"onmusicend", Arg::Function(RecordingHandler)}})});
    EXPECT_EQ(Check(), "\"OnSampleEnd\" 1 1 0");
    EXPECT_EQ(Calls()[0]["time"], "1500");
    EXPECT_EQ(Calls()[0]["starts"], "2");
    // The sample loop has no handler: dropped. The music end has no time and start count.
    EXPECT_EQ(Check(), "\"OnMusicEnd\" 3 1 0");
    EXPECT_EQ(Calls()[1]["time"], "");
    EXPECT_EQ(Calls()[1]["starts"], "");
    EXPECT_EQ(Check(), "- 0 0 0");
    int32_t code = 0, time = 0, starts = 0;
    qzObjectId object = {0, nullptr};
    EXPECT_EQ(PopSoundEvent(&code, &object, &time, &starts), 0);  // the video end went with them
    FreeSoundEventsAtExit();
}

// The network library, open for one test.
struct NetworkOpen {
    VmState* state;
    explicit NetworkOpen(VmState* vm) : state(vm) { EXPECT_EQ(OpenLibrary(state, &qzNetworkLibrary), 0); }
    ~NetworkOpen() {
        const qzLibraryDescriptor* const table[] = {&qzNetworkLibrary, nullptr};
        CloseLibraries(state, table);
    }
};

// The network's sources on loopback: one object per step, data before disconnects whatever the
// order of the connection list, and a source without its handler is not walked.
TEST_F(EventDispatch, NetworkTablesInSourceOrder) {
    NetworkOpen network(vm);
    // Checks until something is dispatched (loopback events arrive within moments).
    auto checkUntilDispatched = [this] {
        std::string result = Check();
        for (int i = 0; i < 200 && result == "- 0 0 0"; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            result = Check();
        }
        return result;
    };
    // A datagram waits for the UDP object, whose handler is not installed.
    vm.Ok("CreateUDPObject", {3, 0, "127.0.0.1"});
    const double udpPort = vm.CallNum("GetLocalPort", {3, 117});
    vm.Ok("SendUDPData", {3, "datagram", "127.0.0.1", udpPort});
    vm.Ok("InstallEventHandler", {Arg::Table({{"onconnect", Arg::Function(RecordingHandler)},
                                              {"ondisconnect", Arg::Function(RecordingHandler)},
                                              {"onreceivedata", Arg::Function(RecordingHandler)}})});
    vm.Ok("CreateServer", {1, 0, "127.0.0.1"});
    const double port = vm.CallNum("GetLocalPort", {1, 115});
    vm.Ok("OpenConnection", {2, "127.0.0.1", port});
    EXPECT_EQ(checkUntilDispatched(), "\"OnConnect\" 0 1 0");
    EXPECT_EQ(Calls()[0]["serverid"], "1");
    EXPECT_NE(Calls()[0]["clientid"], "");
    vm.Ok("OpenConnection", {4, "127.0.0.1", port});
    EXPECT_EQ(checkUntilDispatched(), "\"OnConnect\" 0 1 0");
    EXPECT_EQ(Check(), "- 0 0 0");
    // The first client goes, the second sends: the data comes first.
    vm.Ok("CloseConnection", {2});
    vm.Ok("SendData", {4, "ping"});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Check().rfind("\"OnReceiveData\"", 0), 0u);
    EXPECT_EQ(Check().rfind("\"OnDisconnect\"", 0), 0u);
    EXPECT_EQ(Check(), "- 0 0 0");
    ResetNetEventCursors();
    qzNetEvent event;
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_UDP, &event), 1);  // still unreported
    vm.Ok("InstallEventHandler", {Arg::Table({{"onconnect", 0}, {"ondisconnect", 0}, {"onreceivedata", 0}})});
}

TEST_F(EventDispatch, PluginEventTypes) {
    gPlugin = PluginLog{};
    qzPluginEventCallbacks fill = {FillType, nullptr, nullptr, nullptr};
    qzPluginEventCallbacks push = {nullptr, PushType, AfterType, FreeType};
    const int32_t first = RegisterPluginEventType("OnGadget", 0, &fill, 0);
    const int32_t second = RegisterPluginEventType("OnWidget", 1, &push, 0);
    EXPECT_EQ(first, 28);
    EXPECT_EQ(second, 29);
    // Refused: handler names, an existing type, any case; names of 32 characters or more.
    for (const char* name : {"onKeyDown", "ONSAMPLEEND", "ongadget", "", "abcdefghijklmnopqrstuvwxyz012345"})
        EXPECT_EQ(RegisterPluginEventType(name, 0, &fill, 0), 0) << name;
    EXPECT_EQ(RegisterPluginEventType("abcdefghijklmnopqrstuvwxyz01234", 0, &fill, 0), 30);

    // No handler yet: a mode-0 event is consumed unseen and its data left to the plugin.
    int kept = 5;
    ASSERT_EQ(TranslateAdapterEvent(vm, first, &kept), 0);
    EXPECT_EQ(Check(), "- 0 0 0");
    EXPECT_EQ(gPlugin.fills, 0);

    vm.Ok("InstallEventHandler",
          {Arg::Table({{"ongadget", Arg::Function(RecordingHandler)}, {"onwidget", Arg::Function(RecordingHandler)}})});
    ASSERT_EQ(TranslateAdapterEvent(vm, first, &kept), 0);
    EXPECT_EQ(Check(), "\"OnGadget\" 0 1 0");
    EXPECT_EQ(Calls().back()["value"], "33");

    // Mode 1: the plugin pushes the argument; the call counts as nothing for the result table,
    // and the data goes to the plugin's free callback.
    ASSERT_EQ(TranslateAdapterEvent(vm, second, IntData(17)), 0);
    EXPECT_EQ(Check(), "- 0 0 0");
    EXPECT_EQ(gPlugin.pushes, 1);
    EXPECT_EQ(gPlugin.afters, 1);
    EXPECT_EQ(gPlugin.frees, 1);
    EXPECT_EQ(Calls().size(), 2u);

    // A push that answers -n fails the dispatch with n; the data is still freed.
    gPlugin.pushResult = -ERR_WRONGUSAGE;
    ASSERT_EQ(TranslateAdapterEvent(vm, second, IntData(1)), 0);
    EXPECT_EQ(vm.CallFresh("CheckEvent"), ERR_WRONGUSAGE);
    EXPECT_EQ(gPlugin.frees, 2);
    EXPECT_EQ(VmGetTop(vm), 0);
}

int gCalls = 0;
int CallMe(void* argument) {
    gCalls++;
    return *static_cast<int*>(argument);
}

TEST_F(EventDispatch, QueuedQuitAndCallEvents) {
    int zero = 0, fail = ERR_READ;
    qzAdapterCallEvent call = {nullptr, CallMe, &zero};
    ASSERT_EQ(TranslateAdapterEvent(vm, 1, &call), 0);
    qzAdapterCallEvent failing = {nullptr, CallMe, &fail};
    ASSERT_EQ(TranslateAdapterEvent(vm, 1, &failing), 0);
    gCalls = 0;
    EXPECT_EQ(vm.CallErr("CheckEvent"), ERR_READ);
    EXPECT_EQ(gCalls, 2);

    // Code 0 asks to quit: the quit flag is set and the queued quit event ends the wait.
    ASSERT_EQ(TranslateAdapterEvent(vm, 0, nullptr), 0);
    EXPECT_TRUE(IsQuitRequested());
    EXPECT_EQ(vm.CallErr("CheckEvent"), ERR_USERABORT);
    // Window events of a window that no display has.
    qzAdapterFlagEvent flag = {this, 1};
    EXPECT_EQ(TranslateAdapterEvent(vm, 9, &flag), ERR_FINDDISPLAY);
}

TEST_F(EventDispatch, OldEventsExpire) {
    RegisterPluginEventType("OnOld", 0, nullptr, 0);
    vm.Ok("InstallEventHandler", {Arg::Table({{"onold", Arg::Function(RecordingHandler)}})});
    vm.Ok("SetEventTimeout", {1000});
    ASSERT_EQ(TranslateAdapterEvent(vm, 28, nullptr), 0);
    clock.AdvanceMs(1001);
    ASSERT_EQ(TranslateAdapterEvent(vm, 28, nullptr), 0);
    EXPECT_EQ(Check(), "\"OnOld\" 0 1 0");
    EXPECT_EQ(Check(), "- 0 0 0");

    // The pump drops old events at most every 10 s.
    StampEventExpiry();
    ASSERT_EQ(TranslateAdapterEvent(vm, 28, nullptr), 0);
    UseWaitAdapter();
    clock.AdvanceMs(9000);
    int error = 0;
    EXPECT_EQ(PumpEvents(vm, QZ_PUMP_HOOKS, &error), 0);
    qzPeekedEvent peeked;
    EXPECT_EQ(PeekQueuedEvent(vm, 0, &peeked, 0), 1);
    clock.AdvanceMs(1000);
    EXPECT_EQ(PumpEvents(vm, QZ_PUMP_HOOKS, &error), 0);
    EXPECT_EQ(PeekQueuedEvent(vm, 0, &peeked, 0), 0);
}

TEST_F(EventDispatch, QueueControlsAndPorts) {
    RegisterPluginEventType("OnQueued", 0, nullptr, 0);
    vm.Ok("InstallEventHandler", {Arg::Table({{"onqueued", Arg::Function(RecordingHandler)}})});
    for (int i = 0; i < 3; i++) ASSERT_EQ(TranslateAdapterEvent(vm, 28, nullptr), 0);
    vm.Ok("FreeEventCache");
    EXPECT_EQ(Check(), "- 0 0 0");
    EXPECT_TRUE(Calls().empty());

    // Message ports: this platform has none to create or reach; bad names and commands are refused.
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } rows[] = {
        {"CreatePort", {"mine"}, ERR_CREATEPORT},
        {"CreatePort", {std::string(128, 'p')}, ERR_WRONGUSAGE},
        {"SendMessage", {"theirs", "cmd", "a b"}, ERR_FINDPORT},
        {"SendMessage", {"theirs", ""}, ERR_WRONGUSAGE},
        {"SendMessage", {"theirs", "two words"}, ERR_WRONGUSAGE},
        {"SendMessage", {"theirs"}, ERR_MISSINGPARAMTR},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.CallErr(r.command, r.args), r.error) << r.command;
}

TEST(EventNames, KeyNamesOfHandlers) {
    const struct {
        uint32_t code;
        const char* name;
    } rows[] = {
        {0x113, "ESC"},       {0x100, "UP"},  {0x105, "F1"},     {0x10e, "F10"},   {0x116, "F11"}, {0x122, "F16"},
        {0x10f, "BACKSPACE"}, {0x115, "DEL"}, {0x118, "INSERT"}, {0x11e, "PAUSE"}, {0x111, "\n"},  {0x112, "\n"},
        {0x110, "        "},  {0x114, " "},   {'a', "a"},        {0xe9, "\xe9"},   {0x123, ""},    {0, ""},
    };
    for (const auto& r : rows) {
        char name[QZ_DISPATCH_NAME_SIZE];
        KeyCodeName(r.code, name);
        EXPECT_STREQ(name, r.name) << std::hex << r.code;
    }
}

TEST(EventNames, CommandLines) {
    const struct {
        const char* line;
        std::string command, args, rawArgs;
        int argc;
    } rows[] = {
        {"cmd \"a b\" c", "cmd", std::string("a b\0c", 5), "\"a b\" c", 2},
        {"cmd", "cmd", "", "", 0},
        {"go 1 2 3", "go",
         std::string("1\0"
                     "2\0"
                     "3",
                     5),
         "1 2 3", 3},
        {"go ", "go", "", "", 1},
        {"", "", "", "", 0},
    };
    for (const auto& r : rows) {
        qzCommandLineParts parts;
        ASSERT_EQ(SplitCommandLine(r.line, &parts), 0);
        EXPECT_EQ(std::string(parts.command, parts.commandLength), r.command) << r.line;
        EXPECT_EQ(std::string(parts.args ? parts.args : "", parts.argsLength), r.args) << r.line;
        EXPECT_EQ(std::string(parts.rawArgs, parts.rawArgsLength), r.rawArgs) << r.line;
        EXPECT_EQ(parts.argc, r.argc) << r.line;
        OsFree(parts.args);
    }
}

}  // namespace

}  // namespace event_dispatch_test
