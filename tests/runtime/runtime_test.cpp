#include <gtest/gtest.h>

#include <vector>

#include "base/double_list.h"
#include "base/error_codes.h"
#include "runtime/applet_version.h"
#include "runtime/error_messages.h"
#include "runtime/runtime.h"

namespace runtime_test {

namespace {

class Runtime : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(InitRuntime(), 0); }
    void TearDown() override { FreeRuntime(nullptr); }
};

std::vector<uint32_t> setterSeen;
int SoundSetter(VmState*, uint32_t tag, intptr_t value) {
    setterSeen.push_back(tag);
    return tag == 2 || tag == 3;
}
int GfxGetter(VmState*, uint32_t tag, void* out) {
    if (tag != 4) return 0;
    *static_cast<int*>(out) = 77;
    return 1;
}

}  // namespace

TEST_F(Runtime, AttributesAndChains) {
    int depth = -1, quiet = -1, trap = -1;
    EXPECT_EQ(GetRuntimeAttrs(nullptr, {{QZ_RTA_EXITONERROR, &trap}}), 1);
    EXPECT_EQ(trap, 1);  // error trapping is on by default

    // Raising twice and lowering once leaves the counter at 1; it never goes below 0.
    EXPECT_EQ(SetRuntimeAttrs(nullptr, {{10, 1}, {10, 1}, {10, 0}}), 3);
    EXPECT_EQ(GetCallbackDepth(), 1);
    SetRuntimeAttrs(nullptr, {{10, 0}, {10, 0}});
    EXPECT_EQ(GetCallbackDepth(), 0);

    // Unknown tags are not counted; the list ends at tag 0.
    setterSeen.clear();
    EXPECT_EQ(SetRuntimeAttrs(nullptr, {{QZ_RTA_QUIET, 1}, {2, 1}, {0, 0}, {QZ_RTA_EXITONERROR, 0}}), 1);
    EXPECT_TRUE(IsRuntimeQuiet());
    EXPECT_TRUE(IsExitOnError());
    ASSERT_EQ(AddAttrSetter(SoundSetter), 0);
    ASSERT_EQ(AddAttrGetter(GfxGetter), 0);
    EXPECT_EQ(SetRuntimeAttrs(nullptr, {{2, 1}, {3, 30}, {99, 5}, {QZ_RTA_SCRIPTRUNNING, 1}}), 3);
    EXPECT_EQ(setterSeen, (std::vector<uint32_t>{2, 3, 99}));
    EXPECT_TRUE(IsScriptRunning());
    int mask = 0;
    EXPECT_EQ(GetRuntimeAttrs(nullptr, {{4, &mask},
                                        {QZ_RTA_QUIET, &quiet},
                                        {QZ_RTA_CALLBACKDEPTH, &depth},
                                        {5, nullptr},
                                        {QZ_RTA_SCRIPTRUNNING, &depth},
                                        {99, &mask}}),
              4);  // 22 is set-only, 99 unknown
    EXPECT_EQ(mask, 77);
    EXPECT_EQ(quiet, 1);
    EXPECT_EQ(depth, 0);

    // FreeRuntime drops the chains and restores the defaults.
    FreeRuntime(nullptr);
    ASSERT_EQ(InitRuntime(), 0);
    EXPECT_FALSE(IsRuntimeQuiet());
    EXPECT_EQ(SetRuntimeAttrs(nullptr, {{2, 1}}), 0);
}

namespace {
std::vector<int> hookLog;
int Pump(void* data) {
    int* left = static_cast<int*>(data);
    hookLog.push_back(*left);
    return --*left > 0 ? 0 : -1;
}
int FailingPump(void*) { return 1003; }
int Once(VmState*, void* data) {
    hookLog.push_back(*static_cast<int*>(data));
    return *static_cast<int*>(data) == 2 ? 42 : 0;
}
}  // namespace

TEST_F(Runtime, PluginHooks) {
    EXPECT_EQ(AddPluginHook(2, reinterpret_cast<qzHookFunc>(Once), nullptr, 0), nullptr);
    int one = 1, two = 2, three = 3;
    qzHookNode* a = AddPluginHook(1, reinterpret_cast<qzHookFunc>(Once), &one, 0);
    qzHookNode* foreign = AddPluginHook(1, reinterpret_cast<qzHookFunc>(Once), &three, 1);
    qzHookNode* b = AddPluginHook(1, reinterpret_cast<qzHookFunc>(Once), &two, 0);
    AddPluginHook(1, reinterpret_cast<qzHookFunc>(Once), &three, 0);
    ASSERT_TRUE(a && foreign && b);
    hookLog.clear();
    EXPECT_EQ(RunPluginHooks(nullptr, 1), 42);  // stops at the first non-zero result
    EXPECT_EQ(hookLog, (std::vector<int>{1, 2}));
    SetPluginHookEnabled(b, 0);
    hookLog.clear();
    EXPECT_EQ(RunPluginHooks(nullptr, 1), 0);
    EXPECT_EQ(hookLog, (std::vector<int>{1, 3}));
    SetPluginHookEnabled(b, 1);
    RemovePluginHook(a);
    hookLog.clear();
    EXPECT_EQ(RunPluginHooks(nullptr, 1), 42);
    EXPECT_EQ(hookLog, (std::vector<int>{2}));

    // Kind 0: the first enabled pump runs until it answers -1.
    int count = 3;
    qzHookNode* pump = AddPluginHook(0, reinterpret_cast<qzHookFunc>(Pump), &count, 0);
    AddPluginHook(0, reinterpret_cast<qzHookFunc>(FailingPump), nullptr, 0);
    hookLog.clear();
    EXPECT_EQ(RunPluginHooks(nullptr, 0), 0);
    EXPECT_EQ(hookLog, (std::vector<int>{3, 2, 1}));
    SetPluginHookEnabled(pump, 0);
    EXPECT_EQ(RunPluginHooks(nullptr, 0), 1003);
    // A foreign pump is never called here, so the run cannot hang on it.
    RemovePluginHook(pump);
    FreeRuntime(nullptr);
    ASSERT_EQ(InitRuntime(), 0);
    AddPluginHook(0, reinterpret_cast<qzHookFunc>(FailingPump), nullptr, 1);
    EXPECT_EQ(RunPluginHooks(nullptr, 0), 0);
    EXPECT_EQ(RunPluginHooks(nullptr, 0), 0);
}

TEST_F(Runtime, CapabilityLists) {
    int p1 = 0, p2 = 0;
    EXPECT_EQ(RegisterPluginForCapability(&p1, 0x10), 0);
    EXPECT_EQ(RegisterPluginForCapability(&p2, 0x10), 0);
    EXPECT_EQ(RegisterPluginForCapability(&p1, 0x10), 0);  // already listed
    EXPECT_EQ(RegisterPluginForCapability(&p1, 0x4000), 0);
    EXPECT_EQ(RegisterPluginForCapability(&p1, 0x20), ERR_WRONGUSAGE);
    const qzCapabilityNode* sound = GetCapabilityList(0x10);
    ASSERT_TRUE(sound && sound->next && !sound->next->next);
    EXPECT_EQ(sound->plugin, &p1);
    EXPECT_EQ(sound->next->plugin, &p2);
    UnregisterPluginForCapability(&p1, 0x10);
    sound = GetCapabilityList(0x10);
    ASSERT_TRUE(sound && !sound->next);
    EXPECT_EQ(sound->plugin, &p2);
    EXPECT_NE(GetCapabilityList(0x4000), nullptr);  // other lists untouched
    EXPECT_EQ(GetCapabilityList(0x20), nullptr);
}

TEST(DoubleList, Operations) {
    struct Item {
        qzDoubleNode node;
        int value;
    };
    Item items[4] = {{{}, 1}, {{}, 2}, {{}, 3}, {{}, 4}};
    qzDoubleList list;
    InitDoubleList(&list);
    EXPECT_TRUE(IsDoubleListEmpty(&list));
    EXPECT_EQ(RemoveListHead(&list), nullptr);
    AddListTail(&list, &items[1].node);
    AddListHead(&list, &items[0].node);
    AddListTail(&list, &items[3].node);
    InsertListNode(&list, &items[2].node, &items[1].node);
    auto values = [&] {
        std::vector<int> v, back;
        for (qzDoubleNode* n = list.front.next; n != &list.back; n = n->next)
            v.push_back(reinterpret_cast<Item*>(n)->value);
        for (qzDoubleNode* n = list.back.prev; n != &list.front; n = n->prev)
            back.insert(back.begin(), reinterpret_cast<Item*>(n)->value);
        EXPECT_EQ(v, back);
        return v;
    };
    EXPECT_EQ(values(), (std::vector<int>{1, 2, 3, 4}));
    RemoveListNode(&items[2].node);
    RemoveListNode(&items[3].node);
    EXPECT_EQ(values(), (std::vector<int>{1, 2}));
    InsertListNode(&list, &items[3].node, nullptr);
    EXPECT_EQ(values(), (std::vector<int>{4, 1, 2}));
    EXPECT_EQ(RemoveListHead(&list), &items[3].node);
    EXPECT_EQ(RemoveListHead(&list), &items[0].node);
    EXPECT_EQ(RemoveListHead(&list), &items[1].node);
    EXPECT_TRUE(IsDoubleListEmpty(&list));
}

TEST_F(Runtime, ValueListNeedsVersion6) {
    qzValueNode* list = nullptr;
    ResetAppletVersion();
    EXPECT_EQ(AppendListValue(&list, 1), 0);
    EXPECT_EQ(AppendListValue(&list, 2), 0);
    ASSERT_TRUE(list && list->next && !list->next->next);
    EXPECT_EQ(list->value, 1);
    EXPECT_EQ(list->next->value, 2);
    SetAppletVersion(5, 3);
    EXPECT_EQ(AppendListValue(&list, 3), ERR_OLDAPPLET);
    EXPECT_EQ(FormatErrorText(ERR_OLDAPPLET),
              "This functionality is only available to applets compiled by Quarnelix 6.0 or higher!");
    SetAppletVersion(6, 0);
    EXPECT_EQ(AppendListValue(&list, 3), 0);
    ResetAppletVersion();
    FreeValueList(&list);
    EXPECT_EQ(list, nullptr);
}

}  // namespace runtime_test
