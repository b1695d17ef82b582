// Label events: key and window records matched against queued events, the ALL modes, enabling
// and disabling records, and the key names of labels, waits and IsKeyDown.
#include "display/event_labels.h"
#include "display/event_test_util.h"

namespace event_labels_test {

using eventtest::EventTest;
using qztest::Arg;

namespace {

class EventLabels : public EventTest {
protected:
    // One step of the machine: "jump" with the queue left behind, or "none".
    std::string Step() {
        qzDispatchRecord record;
        int result = RunEventSources(vm, 0, 0, &record);
        if (result == -1) {
            EXPECT_EQ(record.kind, QZ_DISPATCH_LABEL);
            return "jump, " + std::to_string(QueuedCount()) + " left";
        }
        EXPECT_EQ(result, 0);
        return "none, " + std::to_string(QueuedCount()) + " left";
    }
    int QueuedCount() {
        int n = 0;
        qzPeekedEvent e;
        while (PeekQueuedEvent(vm, n, &e, 0)) n++;
        return n;
    }
    void Key(uint32_t code, int pressed = 1) {
        ASSERT_EQ(PushEventToQueue(nullptr, QZ_EVENT_KEY, pressed, 0, static_cast<int32_t>(code), nullptr), 1);
    }
};

TEST_F(EventLabels, KeyRecordsJumpToTheirLabel) {
    VmDefineLabel(vm, "ONKEYDOWN1", 3);
    vm.Ok("CreateKeyDown", {1, "a"});
    vm.Ok("CreateKeyDown", {2, "ESC"});
    Key('b');
    Key('A', 0);  // releases do not count
    Key('A');
    Key(0x113);
    // 'A' matches "a" without regard to case; the events up to it go.
    EXPECT_EQ(Step(), "jump, 1 left");
    // Record 2 has no label of its own: the walk goes on and the queue takes the event.
    EXPECT_EQ(Step(), "none, 0 left");

    vm.Ok("DisableEvent", {3, 1});
    Key('a');
    EXPECT_EQ(Step(), "none, 0 left");
    vm.Ok("EnableEvent", {3, 1});
    vm.Ok("ModifyKeyDown", {1, "up"});
    Key('a');
    Key(0x100);
    EXPECT_EQ(Step(), "jump, 0 left");
    EXPECT_EQ(LastKeyCode(), 0x100u);
    vm.Ok("RemoveKeyDown", {1});
    Key(0x100);
    EXPECT_EQ(Step(), "none, 0 left");
}

TEST_F(EventLabels, AllModesAndWindowLabels) {
    VmDefineLabel(vm, "ONKEYDOWNALL", 5);
    VmDefineLabel(vm, "CloseWindow", 9);
    int closeLabel = 0;
    ASSERT_EQ(DefineLabelEvents(vm, &closeLabel), 0);
    EXPECT_EQ(closeLabel, 1);
    EXPECT_TRUE(IsLabelAllMode(QZ_LABEL_KEYDOWN));
    EXPECT_FALSE(IsLabelAllMode(QZ_LABEL_BUTTONCLICK));

    vm.Ok("CreateKeyDown", {7, "x"});
    Key('x');
    EXPECT_EQ(Step(), "jump, 0 left");
    EXPECT_EQ(vm.CallNum("GetEventCode"), 7);

    ASSERT_EQ(PushEventToQueue(nullptr, QZ_EVENT_MOVEWINDOW, 0, 0, 0, nullptr), 1);
    ASSERT_EQ(PushEventToQueue(nullptr, QZ_EVENT_CLOSEWINDOW, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(Step(), "jump, 0 left");

    // With the mode switched off, the record's own label is wanted (there is none).
    vm.Ok("DisableEvent", {14, 0});
    Key('x');
    EXPECT_EQ(Step(), "none, 0 left");

    vm.Ok("ClearEvents");
    EXPECT_EQ(FirstLabelRecord(), nullptr);
    ASSERT_EQ(PushEventToQueue(nullptr, QZ_EVENT_CLOSEWINDOW, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(Step(), "none, 0 left");
}

TEST_F(EventLabels, ButtonRecordsMatchPressesInsideTheirRectangle) {
    VmDefineLabel(vm, "ONBUTTONCLICK4", 1);
    VmDefineLabel(vm, "ONBUTTONRIGHTCLICK4", 2);
    vm.Ok("CreateButton", {4, 10, 10, 19, 19});
    const struct {
        int32_t type, x, y, pressed;
        const char* expected;
    } rows[] = {
        {QZ_EVENT_LEFTMOUSE, 9, 10, 1, "none, 0 left"},  {QZ_EVENT_LEFTMOUSE, 10, 10, 1, "jump, 0 left"},
        {QZ_EVENT_LEFTMOUSE, 19, 19, 1, "jump, 0 left"}, {QZ_EVENT_LEFTMOUSE, 19, 20, 1, "none, 0 left"},
        {QZ_EVENT_LEFTMOUSE, 15, 15, 0, "none, 0 left"}, {QZ_EVENT_RIGHTMOUSE, 15, 15, 1, "jump, 0 left"},
        {QZ_EVENT_MIDMOUSE, 15, 15, 1, "none, 0 left"},
    };
    for (const auto& r : rows) {
        ASSERT_EQ(PushEventToQueue(nullptr, r.type, r.x, r.y, r.pressed, nullptr), 1);
        EXPECT_EQ(Step(), r.expected) << r.type << " " << r.x << "," << r.y;
    }
    vm.Ok("ModifyButton", {4, 0, 0, 5, 5});
    ASSERT_EQ(PushEventToQueue(nullptr, QZ_EVENT_LEFTMOUSE, 2, 2, 1, nullptr), 1);
    EXPECT_EQ(Step(), "jump, 0 left");
    vm.Ok("RemoveButton", {4});
    EXPECT_EQ(FirstLabelRecord(), nullptr);
}

TEST(EventKeyNames, NamesOfKeysAndQualifiers) {
    const struct {
        const char* name;
        uint32_t code;
    } keys[] = {
        {"a", 'a'},          {"A", 'A'},       {"\xe9", 0xe9}, {" ", 0},         {"esc", 0x113},
        {"Return", 0x112},   {"ENTER", 0x111}, {"tab", 0x110}, {"space", 0x114}, {"f12", 0x117},
        {"pagedown", 0x11c}, {"lshift", 0},    {"nokey", 0},   {"", 0},
    };
    for (const auto& k : keys) EXPECT_EQ(KeyCodeFromName(k.name), k.code) << k.name;
    EXPECT_EQ(QualifierFromName("LShift"), 0x80010000u);
    EXPECT_EQ(QualifierFromName("rcontrol"), 0x80800000u);
    EXPECT_EQ(QualifierFromName("shift"), 0u);
}

}  // namespace

}  // namespace event_labels_test
