// Events of displays, driven by headless input: key and mouse handlers, buttons (press, release,
// overlap, capture, over and out, disabling), mouse moves of two displays, close requests, the
// key and mouse state commands, and handlers that free what the machine points at.
#include <cstring>

#include "display/display_test_util.h"
#include "display/event_buttons.h"
#include "display/event_display.h"
#include "display/event_labels.h"
#include "display/event_pump.h"
#include "display/event_sources.h"
#include "display/event_test_util.h"
#include "libs/event/event_lib.h"
#include "platform/display_adapter.h"
#include "platform/host/engine_keys.h"
#include "platform/host/headless/headless.h"
#include "platform/host/input_script.h"
#include "platform/plugin_api.h"
#include "player/event_loop_link.h"

namespace event_display_test {

using eventtest::Calls;
using eventtest::HandlerBody;
using eventtest::RecordingHandler;
using qztest::Arg;
using qztest::Nil;

namespace {

class DisplayEvents : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzSystemLibrary, &qzDisplayLibrary, &qzEventLibrary};
        Calls().clear();
        HandlerBody() = nullptr;
        ASSERT_EQ(InitEventQueue(), 0);
        LinkEventLoop();
        OpenCurrent(1, Arg::Table({{"width", 100}, {"height", 80}}));
    }
    void TearDown() override {
        HandlerBody() = nullptr;
        delete vm;
        vm = nullptr;
        FreeEventQueue(nullptr);
        UnlinkEventLoop();
        SetQuitFlag(0);
        MacShutdownPlatform();
    }

    // Delivers the input script's lines (times ignored) and lets the event loop take them.
    void Input(const std::string& text) {
        std::vector<qzScriptedEvent> events;
        std::string message;
        ASSERT_TRUE(ParseInputScript(text, "test", &events, &message)) << message;
        for (qzScriptedEvent& e : events) e.atMicros = 0;
        HeadlessSetInputScript(events);
        Pass();
    }

    // CheckEvent: "action id" of what it dispatched, "-" for nothing.
    std::string Check() {
        EXPECT_EQ(vm->CallFresh("CheckEvent"), 0);
        auto field = [&](const char* key) {
            VmPushString(*vm, key);
            VmGetTable(*vm, 1);
            std::string s = eventtest::RenderField(*vm, -1);
            VmPop(*vm, 1);
            return s;
        };
        std::string action = field("action");
        return action == "\"\"" ? "-" : action + " " + field("id");
    }
    // Every dispatch until a cycle finds nothing, joined by "; ".
    std::string Drain() {
        std::string all;
        for (int guard = 0; guard < 50; guard++) {
            std::string one = Check();
            if (one == "-") {
                // A cycle ends without a dispatch; a second empty one means nothing is left.
                one = Check();
                if (one == "-") break;
            }
            all += (all.empty() ? "" : "; ") + one;
        }
        return all;
    }
    void Handlers(std::vector<std::pair<Arg, Arg>> names) {
        vm->Ok("InstallEventHandler", {Arg::Table(std::move(names))});
    }
    static Arg H() { return Arg::Function(RecordingHandler); }
};

TEST_F(DisplayEvents, KeysAndMouseReachTheDisplaysHandlers) {
    Handlers({{"onkeydown", H()},
              {"onkeyup", H()},
              {"onmousedown", H()},
              {"onmouseup", H()},
              {"onrightmousedown", H()},
              {"onwheelup", H()},
              {"onwheeldown", H()}});
    Input("0 keydown a\n0 keydown escape\n");
    EXPECT_EQ(vm->Run("IsKeyDown", {"A"}), "0");
    EXPECT_EQ(vm->Run("IsKeyDown", {"a"}), "1");
    EXPECT_EQ(vm->Run("IsKeyDown", {"esc"}), "1");
    EXPECT_EQ(vm->Run("IsKeyDown", {"lshift"}), "0");
    EXPECT_EQ(vm->Run("IsKeyDown", {"nokey"}), "ERR " + std::to_string(ERR_WRONGUSAGE));
    Input("0 keyup a\n0 keyup escape\n0 click 5 6\n0 click right 7 8\n0 wheel up\n0 wheel down\n");
    EXPECT_EQ(Drain(),
              "\"OnKeyDown\" 1; \"OnKeyDown\" 1; \"OnKeyUp\" 1; \"OnKeyUp\" 1; \"OnMouseDown\" 1; \"OnMouseUp\" 1; "
              "\"OnRightMouseDown\" 1; \"OnWheelUp\" 1; \"OnWheelDown\" 1");
    ASSERT_EQ(Calls().size(), 9u);
    EXPECT_EQ(Calls()[0]["key"], "\"a\"");
    EXPECT_EQ(Calls()[1]["key"], "\"ESC\"");
    EXPECT_EQ(vm->Run("IsKeyDown", {"a"}), "0");
    EXPECT_EQ(vm->Run("MouseX"), "7");
    EXPECT_EQ(vm->Run("MouseY"), "8");
}

TEST_F(DisplayEvents, WindowEventsAndTheirTables) {
    Handlers({{"closewindow", H()}, {"sizewindow", H()}, {"inactivewindow", H()}, {"activewindow", H()}});
    Input("0 close\n0 resize 120 90\n0 unfocus\n0 focus\n");
    EXPECT_EQ(Drain(), "\"CloseWindow\" 1; \"SizeWindow\" 1; \"InactiveWindow\" 1; \"ActiveWindow\" 1");
    EXPECT_EQ(Calls()[1]["width"], "120");
    EXPECT_EQ(Calls()[1]["height"], "90");
    // The close request went to the handler: the player goes on.
    EXPECT_FALSE(IsQuitRequested());
    // A queued event of a display that has no handler for it is consumed unseen.
    Input("0 minimize\n0 restore\n");
    EXPECT_EQ(Drain(), "");
}

TEST_F(DisplayEvents, ButtonsPressAndRelease) {
    auto make = [&](int id, int x, int y, int w, int h) {
        vm->Ok("MakeButton",
               {id, 0, x, y, w, h, Arg::Table({{"onmousedown", H()}, {"onmouseup", H()}, {"onrightmousedown", H()}}),
                "ud" + std::to_string(id)});
    };
    make(1, 10, 10, 20, 20);
    make(2, 20, 20, 20, 20);  // overlaps button 1; newer, so found first
    Input("0 click 25 25\n");
    EXPECT_EQ(Drain(), "\"OnMouseDown\" 2; \"OnMouseUp\" 2");
    EXPECT_EQ(Calls()[0]["x"], "20");
    EXPECT_EQ(Calls()[0]["width"], "20");
    EXPECT_EQ(Calls()[0]["mousedown"], "1");
    EXPECT_EQ(Calls()[0]["userdata"], "\"ud2\"");
    EXPECT_EQ(Calls()[0]["display"], "1");
    EXPECT_EQ(Calls()[1]["mousedown"], "0");

    // A 1 x 1 button is hit only at its own pixel.
    make(3, 50, 50, 1, 1);
    Input("0 click 51 50\n0 click 50 50\n");
    EXPECT_EQ(Drain(), "\"OnMouseDown\" 3; \"OnMouseUp\" 3");

    // Released outside every button: the pressed flag is cleared without a handler.
    Input("0 mousedown 12 12\n0 mouseup 90 70\n");
    EXPECT_EQ(Drain(), "\"OnMouseDown\" 1");
    qzBGPicButton* b1 = FindButton(Display(1)->bgpic, {1, nullptr});
    ASSERT_NE(b1, nullptr);
    EXPECT_EQ(b1->pressed[0], 0);

    // Disabling a button that is held down: its release calls nothing.
    Input("0 mousedown 12 12\n");
    EXPECT_EQ(Drain(), "\"OnMouseDown\" 1");
    vm->Ok("DisableButton", {1});
    Input("0 mouseup 12 12\n");
    EXPECT_EQ(Drain(), "");
    vm->Ok("EnableButton", {1});

    // Replacing a button by its id releases the old one's handlers.
    make(1, 0, 0, 5, 5);
    Input("0 click 12 12\n0 click right 2 2\n");
    EXPECT_EQ(Drain(), "\"OnRightMouseDown\" 1");
}

TEST_F(DisplayEvents, ButtonOverAndOut) {
    auto make = [&](int id, int x) {
        vm->Ok("MakeButton", {id, 0, x, 10, 10, 10, Arg::Table({{"onmouseover", H()}, {"onmouseout", H()}})});
    };
    make(1, 0);   // A
    make(2, 20);  // B
    Input("0 move 5 15\n");
    EXPECT_EQ(Drain(), "\"OnMouseOver\" 1");
    // From A to B: A's out, then B's over, in two steps.
    Input("0 move 25 15\n");
    EXPECT_EQ(Check(), "\"OnMouseOut\" 1");
    EXPECT_EQ(Check(), "\"OnMouseOver\" 2");
    Input("0 move 90 70\n");
    EXPECT_EQ(Drain(), "\"OnMouseOut\" 2");

    // While a button is held down, moving over others changes no marks.
    vm->Ok("MakeButton",
           {3, 0, 40, 10, 10, 10, Arg::Table({{"onmousedown", H()}, {"onmouseover", H()}, {"onmouseout", H()}})});
    Input("0 mousedown 45 15\n");
    EXPECT_EQ(Drain(), "\"OnMouseDown\" 3");
    Input("0 move 46 15\n");
    EXPECT_EQ(Drain(), "\"OnMouseOver\" 3");
    Input("0 move 5 15\n");
    EXPECT_EQ(Drain(), "\"OnMouseOut\" 3");
    Input("0 move 25 15\n");
    EXPECT_EQ(Drain(), "");
}

TEST_F(DisplayEvents, HandlersDeleteWhatTheWalkPointsAt) {
    // A's out handler deletes B, whose over the walk was about to report.
    auto make = [&](int id, int x) {
        vm->Ok("MakeButton", {id, 0, x, 10, 10, 10, Arg::Table({{"onmouseover", H()}, {"onmouseout", H()}})});
    };
    make(1, 0);
    make(2, 20);
    make(3, 40);
    Input("0 move 5 15\n");
    EXPECT_EQ(Drain(), "\"OnMouseOver\" 1");
    HandlerBody() = [](VmState* state) {
        if (Calls().back()["action"] == "\"OnMouseOut\"") {
            VmPushString(state, "deletebutton");
            VmGetTable(state, VM_GLOBALSINDEX);
            VmPushNumber(state, 2);
            EXPECT_EQ(VmProtectedCall(state, 1, 0, 0), 0);
            VmPushString(state, "deletebutton");
            VmGetTable(state, VM_GLOBALSINDEX);
            VmPushNumber(state, 1);
            EXPECT_EQ(VmProtectedCall(state, 1, 0, 0), 0);
        }
        return 0;
    };
    Input("0 move 25 15\n");
    EXPECT_EQ(Drain(), "\"OnMouseOut\" 1");
    HandlerBody() = nullptr;
    Input("0 move 45 15\n");
    EXPECT_EQ(Drain(), "\"OnMouseOver\" 3");
    EXPECT_EQ(vm->CallErr("DeleteButton", {2}), ERR_FINDBUTTON);
}

TEST_F(DisplayEvents, MouseMovesOfTwoDisplaysOncePerCycle) {
    Handlers({{"onmousemove", H()}});
    OpenCurrent(2, Arg::Table({{"width", 60}, {"height", 60}}));
    Handlers({{"onmousemove", H()}});
    vm->Ok("SelectDisplay", {1});
    Input("0 @1 move 3 4\n0 @2 move 7 8\n");
    EXPECT_EQ(Check(), "\"OnMouseMove\" 1");
    EXPECT_EQ(Check(), "\"OnMouseMove\" 2");
    // The queue is empty: the over/out pass clears the flags and ends the cycle.
    EXPECT_EQ(Check(), "-");
    EXPECT_EQ(Check(), "-");
    EXPECT_EQ(Calls()[0]["x"], "3");
    EXPECT_EQ(Calls()[1]["y"], "8");

    // A handler that frees the display the walk goes to next.
    HandlerBody() = [](VmState* state) {
        VmPushString(state, "freedisplay");
        VmGetTable(state, VM_GLOBALSINDEX);
        VmPushNumber(state, 2);
        EXPECT_EQ(VmProtectedCall(state, 1, 0, 0), 0);
        return 0;
    };
    Input("0 @1 move 5 5\n0 @2 move 6 6\n");
    EXPECT_EQ(Check(), "\"OnMouseMove\" 1");
    HandlerBody() = nullptr;
    EXPECT_EQ(Check(), "-");
    EXPECT_EQ(CountDisplays(), 1);
}

TEST_F(DisplayEvents, AClickGoesToTheDisplayThenToTheButton) {
    Handlers({{"onmousedown", H()}});
    vm->Ok("MakeButton", {1, 0, 0, 0, 10, 10, Arg::Table({{"onmousedown", H()}})});
    Input("0 mousedown 5 5\n");
    EXPECT_EQ(Check(), "\"OnMouseDown\" 1");
    EXPECT_EQ(Calls()[0]["mousedown"], "");  // the display's table
    EXPECT_EQ(Check(), "\"OnMouseDown\" 1");
    EXPECT_EQ(Calls()[1]["mousedown"], "1");  // the button's
    EXPECT_EQ(vm->Run("IsLeftMouse"), "1");
    vm->Ok("ResetKeyStates");
    EXPECT_EQ(vm->Run("IsLeftMouse"), "0");
    EXPECT_EQ(FindButton(Display(1)->bgpic, {1, nullptr})->pressed[0], 0);

    // BreakEventHandler abandons the click's second pass: the button hears nothing of it.
    Input("0 mousedown 5 5\n");
    EXPECT_EQ(Check(), "\"OnMouseDown\" 1");
    vm->Ok("BreakEventHandler");
    EXPECT_EQ(Drain(), "");
    EXPECT_EQ(Calls().size(), 3u);
}

TEST_F(DisplayEvents, WaitsFollowTheInputAndEmptyTheQueue) {
    Handlers({{"onkeydown", H()}});
    std::vector<qzScriptedEvent> events;
    std::string message;
    ASSERT_TRUE(ParseInputScript("20 mousedown 5 5\n+0 keydown a\n+20 mouseup 5 5\n", "test", &events, &message));
    HeadlessSetInputScript(events);
    vm->Ok("WaitLeftMouse");
    EXPECT_EQ(vm->Run("IsLeftMouse"), "0");
    // The key pressed during the wait went with the queue.
    EXPECT_EQ(Drain(), "");
    EXPECT_EQ(vm->Run("IsKeyDown", {"a"}), "1");
    ASSERT_TRUE(ParseInputScript("20 keyup a\n+20 key b\n", "test", &events, &message));
    HeadlessSetInputScript(events);
    vm->Ok("WaitKeyDown", {"b"});
    EXPECT_EQ(vm->Run("IsKeyDown", {"a"}), "0");
    EXPECT_EQ(vm->CallErr("WaitKeyDown", {"nokey"}), ERR_WRONGUSAGE);
}

// A display adapter's window events: mapped to the display of the window, key codes outside the
// key table post their event without touching any key state, and the quit keys ask to quit.
TEST_F(DisplayEvents, AdapterEventsOfTheDisplaysWindow) {
    Handlers(
        {{"onkeydown", H()}, {"onmousedown", H()}, {"closewindow", H()}, {"movewindow", H()}, {"hidewindow", H()}});
    qzDisplay* display = Display(1);
    void* window = display->window;
    ASSERT_NE(window, nullptr);
    const uint8_t before[QZ_DISPLAY_KEYSTATES] = {};
    for (int32_t code : {300, 0x7fffffff, -1}) {
        qzAdapterKeyEvent key = {window, code, 1, 0};
        EXPECT_EQ(TranslateAdapterEvent(*vm, 4, &key), 0) << code;
    }
    EXPECT_EQ(std::memcmp(display->keyStates, before, sizeof before), 0);
    qzAdapterKeyEvent key = {window, 'a', 1, 0};
    qzAdapterMouseEvent press = {window, 5, 6, 1, 1};
    qzAdapterMouseEvent move = {window, 7, 8, 0, 0};
    qzAdapterSizeEvent at = {window, 30, 40};
    qzAdapterFlagEvent hidden = {window, 0};
    EXPECT_EQ(TranslateAdapterEvent(*vm, 4, &key), 0);
    EXPECT_EQ(TranslateAdapterEvent(*vm, 3, &press), 0);
    EXPECT_EQ(TranslateAdapterEvent(*vm, 3, &move), 0);
    EXPECT_EQ(TranslateAdapterEvent(*vm, 5, &window), 0);
    EXPECT_EQ(TranslateAdapterEvent(*vm, 7, &at), 0);
    EXPECT_EQ(TranslateAdapterEvent(*vm, 8, &hidden), 0);
    // The display's own input state (the adapter's displays have no window record of their own).
    EXPECT_EQ(display->keyStates['a'], 1);
    EXPECT_EQ(display->leftButton, 1);
    EXPECT_EQ(display->mouseMoved, 1);
    EXPECT_EQ(display->state, QZ_DISPSTATE_HIDDEN);
    EXPECT_EQ(Drain(),
              "\"OnKeyDown\" 1; \"OnKeyDown\" 1; \"OnKeyDown\" 1; \"OnKeyDown\" 1; \"OnMouseDown\" 1; "
              "\"CloseWindow\" 1; \"MoveWindow\" 1; \"HideWindow\" 1");
    EXPECT_EQ(Calls()[3]["key"], "\"a\"");
    EXPECT_EQ(Calls()[6]["x"], "30");
    EXPECT_EQ(Calls()[6]["y"], "40");
    EXPECT_FALSE(IsQuitRequested());

    // Escape with the Escape quit option on asks to quit; a window no display has is refused.
    vm->Ok("EscapeQuit", {true});
    key.code = QZ_KEY_ESCAPE;
    EXPECT_EQ(TranslateAdapterEvent(*vm, 4, &key), 0);
    EXPECT_TRUE(IsQuitRequested());
    qzAdapterFlagEvent stranger = {this, 1};
    EXPECT_EQ(TranslateAdapterEvent(*vm, 9, &stranger), ERR_FINDDISPLAY);
}

// What the window side reports through the event loop's hooks: a menu choice reaches the
// display's "onmenuselect" handler; with a display-adapter plugin the plugin takes the wake-ups.
TEST_F(DisplayEvents, MenuChoicesAndAdapterWakeUps) {
    Handlers({{"onmenuselect", H()}});
    HostHooks().menuSelected(Display(1), "file.open", 1);
    HostHooks().menuSelected(Display(1), "", 0);
    EXPECT_EQ(Drain(), "\"OnMenuSelect\" 1; \"OnMenuSelect\" 1");
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[0]["item"], "\"file.open\"");
    EXPECT_EQ(Calls()[0]["selected"], "1");
    EXPECT_EQ(Calls()[1]["item"], "\"\"");
    EXPECT_EQ(Calls()[1]["selected"], "0");

    static int wakes = 0;
    qzPluginInfo plugin = {};
    plugin.ForceEventLoopIteration = [] {
        wakes++;
        return 0;
    };
    qzDisplayAdapter adapter = {};
    adapter.plugin = &plugin;
    SetDisplayAdapter(&adapter);
    MacForceEventLoopIteration();
    SetDisplayAdapter(nullptr);
    EXPECT_EQ(wakes, 1);
}

// Legacy over-buttons: with the queue empty, the mouse inside a CreateButton rectangle jumps to
// its ONBUTTONOVER label; WhileMouseOn then waits until the mouse leaves or the record is
// forgotten.
TEST_F(DisplayEvents, OverLabelsAndWhileMouseOn) {
    VmDefineLabel(*vm, "ONBUTTONOVER5", 1);
    vm->Ok("CreateButton", {5, 10, 10, 19, 19});
    Input("0 move 15 15\n");
    qzDispatchRecord record;
    EXPECT_EQ(RunEventSources(*vm, 1, 0, &record), 0);  // over labels suppressed
    EXPECT_EQ(LastOverRecord(), nullptr);
    EXPECT_EQ(RunEventSources(*vm, 0, 0, &record), -1);
    EXPECT_EQ(record.kind, QZ_DISPATCH_LABEL);
    ASSERT_NE(LastOverRecord(), nullptr);

    std::vector<qzScriptedEvent> events;
    std::string message;
    ASSERT_TRUE(ParseInputScript("20 move 12 12\n+20 move 30 30\n", "test", &events, &message));
    HeadlessSetInputScript(events);
    vm->Ok("WhileMouseOn");
    EXPECT_EQ(vm->Run("MouseX"), "30");

    // A forgotten record ends the wait at once, even with the mouse inside.
    Input("0 move 15 15\n");
    vm->Ok("BreakWhileMouseOn");
    vm->Ok("WhileMouseOn");
    EXPECT_EQ(vm->Run("MouseX"), "15");
}

TEST_F(DisplayEvents, ButtonCommandErrors) {
    const Arg handlers = Arg::Table({{"onmousedown", H()}});
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } rows[] = {
        {"MakeButton", {1, 0, 0, 0, 0, 5, handlers}, ERR_WRONGUSAGE},
        {"MakeButton", {1, 0, 0, 0, 5, 5, Arg::Table({})}, ERR_WRONGUSAGE},
        {"MakeButton", {1, 0, 0, 0, 5, 5, Arg::Table({{"onmouseup", 3}})}, ERR_FUNCEXPECTED},
        {"MakeButton", {1, 0, 0, 0, 5, 5, "no table"}, ERR_TABEXPECTED},
        {"MakeButton", {1, 7, 0, 0, 5, 5, handlers}, ERR_WRONGUSAGE},
        {"MakeButton", {1, 1, 1, 0, 0, handlers}, ERR_LAYERRANGE},
        {"DeleteButton", {4}, ERR_FINDBUTTON},
        {"EnableButton", {Arg::Pointer(this)}, ERR_FINDARRAY},
    };
    for (const auto& r : rows) EXPECT_EQ(vm->CallErr(r.command, r.args), r.error) << r.command;
    EXPECT_EQ(*EventPictureButtons(Display(1)->bgpic), nullptr);
    // An automatic id comes back as a handle; a centred button lies in the middle.
    ASSERT_EQ(vm->CallFresh("MakeButton", {Nil{}, 0, -100000, -100000, 10, 10, handlers}), 0);
    ASSERT_EQ(VmType(*vm, 1), VM_TLIGHTUSERDATA);
    qzBGPicButton* b = *EventPictureButtons(Display(1)->bgpic);
    EXPECT_EQ(b->left, 45);
    EXPECT_EQ(b->bottom, 44);
    vm->Ok("DeleteButton", {Arg::Stack(1)});
}

}  // namespace

}  // namespace event_display_test
