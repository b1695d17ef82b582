// The display engine at each failing allocation: what it holds while it reads a plugin's answer,
// makes a button, copies a picture, dispatches an event or loads the application icons is handed
// back or freed on every way out (plugin answers are counted here, LeakSanitizer checks the rest
// at exit).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/display_adapter_calls.h"
#include "display/display_host_services.h"
#include "display/display_icons.h"
#include "display/display_test_util.h"
#include "display/event_buttons.h"
#include "display/event_dispatch.h"
#include "display/event_pump.h"
#include "display/event_sources.h"
#include "display/requesters.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "oom/alloc_faults.h"
#include "platform/file_test_util.h"
#include "platform/host/backend_requesters.h"
#include "platform/plugin_api.h"
#include "platform/plugin_display_adapter.h"
#include "player/event_loop_link.h"
#include "player/image_link.h"
#include "runtime/applet_records.h"
#include "runtime/event_queue.h"
#include "runtime/plugin_manager.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace failing_display_test {

namespace {

using qztest::Arg;

// Blocks the fake plugins handed out and not yet got back.
int outstanding = 0;

char* HandOut(const void* bytes, size_t size) {
    outstanding++;
    char* copy = static_cast<char*>(std::malloc(size));
    std::memcpy(copy, bytes, size);
    return copy;
}
void TakeBack(void* block) {
    if (!block) return;
    outstanding--;
    std::free(block);
}

// Two monitors as quadruples, three modes as triples, each list ended by zeros.
const int32_t kMonitors[] = {0, 0, 640, 480, 640, 0, 800, 600, 0, 0, 0, 0};
const int32_t kModes[] = {640, 480, 0, 800, 600, 0, 1024, 768, 0, 0, 0, 0};
void* MonitorInfo(const qzTagItem* tags) {
    const bool modes = tags && tags->tag == QZ_MONITORTAG_KIND && tags->value == 1;
    return modes ? HandOut(kModes, sizeof kModes) : HandOut(kMonitors, sizeof kMonitors);
}
void FreeMonitorInfo(void* list) { TakeBack(list); }

const char kFiles[] = "/d/a.txt\0/d/b.txt\0";
int FileRequest(void*, const char*, uint32_t, const qzTagItem*, char** result) {
    *result = HandOut(kFiles, sizeof kFiles);
    return 0;
}
int PathRequest(void*, const char*, uint32_t, char** result, const qzTagItem*) {
    *result = HandOut("/d/e", 5);
    return 0;
}
void FreeRequest(int, void* result) { TakeBack(result); }

// A handler that does nothing.
int Handler(VmState*) { return 0; }

// Runs body in a protected call of its own: a failing allocation anywhere in it (pushing the
// arguments included) ends the call with its error.
int Protected(VmState* state, const std::function<void(VmState*)>& body) {
    return VmCProtectedCall(
        state,
        [](VmState* s) {
            (*static_cast<const std::function<void(VmState*)>*>(VmToUserdata(s, 1)))(s);
            return 0;
        },
        const_cast<std::function<void(VmState*)>*>(&body));
}

// Calls a command by name with the arguments from inside a protected call.
void Command(VmState* state, std::string name, const std::vector<Arg>& args) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    VmPushString(state, name.c_str());
    VmGetTable(state, VM_GLOBALSINDEX);
    for (const Arg& arg : args) arg.PushOnto(state);
    VmCall(state, static_cast<int>(args.size()), 0);
}

// Fails every allocation of the VM while installed; the engine's own blocks are still made.
int FailVm(size_t) { return 1; }

// Takes registry references while the VM cannot allocate, until one would grow the registry:
// then the registry is full and its free list empty, and the next new reference grows it.
// Returns the last reference taken.
int FillRegistry(VmState* state) {
    int last = -1;
    for (;;) {
        int status = VmCProtectedCall(
            state,
            [](VmState* s) {
                VmSetAllocFailHook(FailVm);
                VmPushBoolean(s, 1);
                *static_cast<int*>(VmToUserdata(s, 1)) = VmRef(s, VM_REGISTRYINDEX);
                VmSetAllocFailHook(nullptr);
                return 0;
            },
            &last);
        VmSetAllocFailHook(nullptr);
        if (status) return last;
    }
}

class FailingDisplay : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzBGPicLibrary};
        ASSERT_EQ(InitEventQueue(), 0);
        LinkEventLoop();
        InstallImageLoaders();
        OpenCurrent(1, Arg::Table({{"width", 40}, {"height", 30}}));
    }
    void TearDown() override {
        FreeApplicationIcons();
        delete vm;
        vm = nullptr;
        FreeEventQueue(nullptr);
        UnlinkEventLoop();
        RemoveImageLoaders();
        MacShutdownPlatform();
    }
};

TEST_F(FailingDisplay, PluginAnswersGoBackOnEveryWayOut) {
    qzPluginInfo display{};
    display.capabilities = QZ_PLUGINCAPS_DISPLAYADAPTER;
    display.displayFlags = QZ_ADAPTER_MONITORS;
    display.GetMonitorInfo = MonitorInfo;
    display.FreeMonitorInfo = FreeMonitorInfo;
    qzPluginInfo requests{};
    requests.capabilities = QZ_PLUGINCAPS_REQUESTERADAPTER;
    requests.FileRequest = FileRequest;
    requests.PathRequest = PathRequest;
    requests.FreeRequest = FreeRequest;
    SetPluginStartupPhase(1);
    ASSERT_EQ(HostInstallRequesterAdapter(&requests, 0x7E), 0);
    SetPluginStartupPhase(0);
    UsePluginAsDisplayAdapter(&display, 0);
    const struct {
        const char* name;
        std::function<bool()> call;  // true when the whole answer was read
    } rows[] = {
        {"monitors",
         [] {
             std::vector<qzMonitorRect> rects;
             return GetMonitorRects(&rects) && rects.size() == 2 && rects[1].x == 640 && rects[1].height == 600;
         }},
        {"modes",
         [] {
             std::vector<qzModeSize> modes;
             return GetMonitorModes(0, &modes) && modes.size() == 3 && modes[2].width == 1024;
         }},
        {"files",
         [&] {
             qzFileRequesterResult out;
             return ShowFileRequester(*vm, nullptr, "t", "", QZ_REQ_MULTISELECT, nullptr, nullptr, 0, 0, &out) == 0 &&
                    out.count == 2 && out.directory == "/d/" && out.names == std::string("a.txt\0b.txt\0", 12);
         }},
        {"path",
         [&] {
             std::string path;
             int chosen = 0;
             return ShowPathRequester(*vm, nullptr, "t", 0, nullptr, 0, &path, &chosen) == 0 && chosen &&
                    path == "/d/e";
         }},
    };
    for (const auto& row : rows) {
        bool read = false;
        uint64_t count = ForEachFailingAllocation(
            [&] {
                try {
                    read = row.call();
                } catch (const std::bad_alloc&) {
                    read = false;
                }
            },
            [&](uint64_t n) {
                EXPECT_EQ(outstanding, 0) << row.name << ", allocation " << n;
                if (n == 0) {
                    EXPECT_TRUE(read) << row.name;
                }
                outstanding = 0;
            });
        EXPECT_GT(count, 0u) << row.name;
    }
    ClearPluginDisplayAdapter();
}

TEST_F(FailingDisplay, HeldRecordsAreFreedOnEveryWayOut) {
    filetest::TempDir dir;
    const std::string icon = dir / "icon.png";
    ASSERT_EQ(std::system(("convert -size 16x16 xc:red '" + icon + "'").c_str()), 0);
    qzAppletDescriptor applet;
    for (int i : {0, 3}) {
        applet.icons[i].chunkName = icon;
        applet.icons[i].size = 16;
    }
    // A menu item event for the display, and a handler for a message.
    vm->Ok("InstallEventHandler", {Arg::Table({{"onmenuselect", Arg::Function(Handler)}})});
    VmPushCFunction(*vm, Handler);
    const int handler = VmRef(*vm, VM_REGISTRYINDEX);
    const struct {
        const char* name;
        std::function<void(VmState*)> body;
        std::function<void()> after;  // puts back what a whole run changed
    } rows[] = {
        {"menu event", [](VmState* s) { Command(s, "CheckEvent", {}); },
         [&] {
             vm->CallErr("CheckEvent");
             PostMenuSelectEvent(Display(1), "item", 1);
         }},
        {"message dispatch",
         [&](VmState* s) {
             qzDispatchRecord record;
             record.kind = QZ_DISPATCH_MESSAGE;
             std::strcpy(record.action, "OnUserMessage");
             record.function = handler;
             record.command = "open \"a b\" c";
             DispatchEvent(s, &record, 1);
         },
         [] {}},
        {"icons", [&](VmState* s) { LoadApplicationIcons(s, &applet, 0); }, [] {}},
    };
    PostMenuSelectEvent(Display(1), "item", 1);
    for (const auto& row : rows) {
        int status = -1;
        uint64_t count = ForEachFailingAllocation([&] { status = Protected(*vm, row.body); },
                                                  [&](uint64_t n) {
                                                      if (n == 0) {
                                                          EXPECT_EQ(status, 0) << row.name;
                                                      }
                                                      row.after();
                                                  });
        EXPECT_GT(count, 0u) << row.name;
    }
    VmUnref(*vm, VM_REGISTRYINDEX, handler);
    ASSERT_NE(ApplicationIcons(), nullptr);
    EXPECT_NE(ApplicationIcons()->next, nullptr);
}

// A reference into the registry raises the VM's out-of-memory error when the registry must grow
// for it: a new button's user data and a copied picture's object data, each taken while the
// command holds a record of its own.
TEST_F(FailingDisplay, ReferenceThatCannotGrowTheRegistry) {
    vm->Ok("CreateBrush", {5, 6, 4, 0xFF0000});
    vm->Ok("CreateTexturedBGPic", {3, 5, 23, 11});
    vm->Ok("SetObjectData", {QZ_TYPE_BGPIC, 3, "key", "value"});
    // The handler names MakeButton looks up stay interned: looking them up allocates nothing.
    std::vector<std::pair<Arg, Arg>> names;
    for (const char* name : qzButtonHandlerNames) names.push_back({name, 1});
    Arg::Table(names).PushOnto(*vm);
    const int keep = VmRef(*vm, VM_REGISTRYINDEX);
    const struct {
        const char* name;
        std::vector<Arg> args;
        bool reused;  // the command takes one reference (a freed one) before the one that grows it
        std::function<bool()> nothingMade;
    } rows[] = {
        {"MakeButton",
         {1, 0, 10, 10, 20, 20, Arg::Table({{"onmousedown", Arg::Function(Handler)}}), "user data"},
         1,
         [&] { return vm->CallErr("DeleteButton", {1}) != 0; }},
        {"CopyBGPic",
         {3, 4},
         false,
         [&] {
             qzBGPic* copy = nullptr;
             return FindBGPic(*vm, {4, nullptr}, &copy, 0) != 0;
         }},
    };
    for (const auto& row : rows) {
        VmState* state = *vm;
        const int top = VmGetTop(state);
        std::string name = row.name;
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        VmPushString(state, name.c_str());
        VmGetTable(state, VM_GLOBALSINDEX);
        for (const Arg& arg : row.args) arg.PushOnto(state);
        const int last = FillRegistry(state);
        if (row.reused) VmUnref(state, VM_REGISTRYINDEX, last);
        VmSetAllocFailHook(FailVm);
        const int status = VmProtectedCall(state, static_cast<int>(row.args.size()), 0, 0);
        VmSetAllocFailHook(nullptr);
        VmSetTop(state, top);
        EXPECT_EQ(status, ERR_MEM) << row.name;
        EXPECT_TRUE(row.nothingMade()) << row.name;
    }
    VmUnref(*vm, VM_REGISTRYINDEX, keep);
}

}  // namespace

}  // namespace failing_display_test
