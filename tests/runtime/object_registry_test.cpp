#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "platform/os_alloc.h"
#include "runtime/object_data.h"
#include "runtime/object_registry.h"
#include "runtime/runtime.h"
#include "support/commands.h"
#include "vm/vm_aux.h"

namespace object_registry_test {

namespace {

class ObjectRegistry : public ::testing::Test {
protected:
    void TearDown() override { FreeObjectRegistry(); }
};

int handleA, handleB;

int Handler(VmState*, void* argument, void* out) {
    *static_cast<int*>(out) = *static_cast<int*>(argument) * 2;
    return 17;
}

TEST_F(ObjectRegistry, PluginTypesAndHandlers) {
    qzObjectHeader* listA = nullptr;
    qzObjectHeader* listB = nullptr;
    qzObjectHeader* builtin = nullptr;
    int32_t first = 0, second = 0;
    ASSERT_EQ(RegisterObjectList(&builtin), 0);
    ASSERT_EQ(RegisterObjectType(&listA, "Ribbon", Handler, &first, 0), 0);
    ASSERT_EQ(RegisterObjectType(&listB, "Foreign", Handler, &second, 1), 0);
    EXPECT_EQ(first, 58);
    EXPECT_EQ(second, 59);
    EXPECT_EQ(GetPluginTypeCount(), 2);
    EXPECT_STREQ(GetObjectTypeName(58), "Ribbon");
    EXPECT_STREQ(GetObjectTypeName(59), "Foreign");
    EXPECT_EQ(GetObjectTypeName(3), nullptr);
    EXPECT_EQ(GetObjectTypeName(60), nullptr);

    int argument = 21, out = 0;
    EXPECT_EQ(CallObjectTypeHandler(nullptr, 58, &argument, &out), 17);
    EXPECT_EQ(out, 42);
    out = 0;
    EXPECT_EQ(CallObjectTypeHandler(nullptr, 59, &argument, &out), 0);  // foreign: not called
    EXPECT_EQ(out, 0);
    EXPECT_EQ(CallObjectTypeHandler(nullptr, 77, &argument, &out), ERR_WRONGUSAGE);

    // The runtime's end frees the registry and starts the numbers over.
    ASSERT_EQ(InitRuntime(), 0);
    FreeRuntime(nullptr);
    EXPECT_EQ(GetPluginTypeCount(), 0);
    EXPECT_EQ(GetObjectTypeName(58), nullptr);
    ASSERT_EQ(RegisterObjectType(&listA, "Again", nullptr, &first, 0), 0);
    EXPECT_EQ(first, 58);
    EXPECT_EQ(CallObjectTypeHandler(nullptr, 58, &argument, &out), ERR_WRONGUSAGE);  // no handler
}

TEST_F(ObjectRegistry, LookupsOverAllLists) {
    // Two libraries' lists; type 3 objects live in both.
    qzObjectHeader b1{3, {5, nullptr}, nullptr, nullptr};
    qzObjectHeader b2{3, {0, &handleA}, nullptr, &b1};
    qzObjectHeader s1{2, {5, nullptr}, nullptr, nullptr};
    qzObjectHeader* listOne = &b2;
    qzObjectHeader x1{3, {9, nullptr}, nullptr, nullptr};
    qzObjectHeader x0{2, {1, nullptr}, nullptr, &x1};
    qzObjectHeader* listTwo = &x0;
    qzObjectHeader* listThree = &s1;
    ASSERT_EQ(RegisterObjectList(&listOne), 0);
    ASSERT_EQ(RegisterObjectList(&listTwo), 0);
    ASSERT_EQ(RegisterObjectList(&listThree), 0);

    EXPECT_EQ(FindObjectById(3, {5, nullptr}), &b1);
    EXPECT_EQ(FindObjectById(2, {5, nullptr}), &s1);
    EXPECT_EQ(FindObjectById(3, {0, &handleA}), &b2);
    EXPECT_EQ(FindObjectById(3, {9, nullptr}), &x1);
    // Both identifier words must match: a number never finds a handle and vice versa.
    EXPECT_EQ(FindObjectById(3, {0, nullptr}), nullptr);
    EXPECT_EQ(FindObjectById(3, {5, &handleA}), nullptr);
    EXPECT_EQ(FindObjectById(3, {0, &handleB}), nullptr);

    EXPECT_EQ(CountObjectsOfType(3), 3);
    EXPECT_EQ(CountObjectsOfType(2), 2);
    EXPECT_EQ(CountObjectsOfType(4), 0);
    EXPECT_EQ(GetTypeOfObjectPointer(&handleA), 3);
    EXPECT_EQ(GetTypeOfObjectPointer(&handleB), -1);
    EXPECT_EQ(GetTypeOfObjectPointer(nullptr), -1);

    // A list emptied later is seen through its head variable.
    listOne = nullptr;
    EXPECT_EQ(CountObjectsOfType(3), 1);
    listOne = &b2;

    qztest::VmScope vm;
    VmState* s = vm;
    VmNewTable(s);
    EXPECT_EQ(PushObjectIdsOfType(s, 3), 3);
    EXPECT_EQ(VmGetTop(s), 1);
    VmRawGetI(s, 1, 0);
    EXPECT_EQ(VmToUserdata(s, -1), &handleA);  // list order: the handle first
    VmRawGetI(s, 1, 1);
    EXPECT_EQ(VmToNumber(s, -1), 5);
    VmRawGetI(s, 1, 2);
    EXPECT_EQ(VmToNumber(s, -1), 9);
    VmSetTop(s, 0);

    VmNewTable(s);
    VmPushString(s, "kept");
    VmRawSetI(s, 1, 0);
    EXPECT_EQ(PushObjectIdsOfType(s, 40), 0);
    VmRawGetI(s, 1, 0);
    EXPECT_STREQ(VmToString(s, -1), "kept");
}

TEST_F(ObjectRegistry, CommandTables) {
    static const qzCommandRow graphics[] = {{"Box", nullptr}, {nullptr, nullptr}};
    static const qzCommandRow sound[] = {{"PlaySample", nullptr}, {nullptr, nullptr}};
    ASSERT_EQ(RegisterCommandTable(graphics, "graphics"), 0);
    std::string longName(100, 'n');
    ASSERT_EQ(RegisterCommandTable(sound, longName.c_str()), 0);
    const qzCommandTableNode* node = GetCommandTables();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->table, graphics);
    EXPECT_STREQ(node->libraryName, "graphics");
    node = node->next;
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->table, sound);
    EXPECT_EQ(std::string(node->libraryName), std::string(QZ_MAX_LIBRARY_NAME, 'n'));
    EXPECT_EQ(node->next, nullptr);
}

int failAfter = -1;
int FailCountdown(size_t) { return failAfter >= 0 && failAfter-- == 0; }

TEST_F(ObjectRegistry, RegistrationOutOfMemory) {
    qzObjectHeader* list = nullptr;
    int32_t number = -1;
    OsSetAllocFailHook(FailCountdown);
    for (int n : {0, 1}) {  // the node, then the name
        failAfter = n;
        EXPECT_EQ(RegisterObjectType(&list, "Name", nullptr, &number, 0), ERR_MEM);
    }
    failAfter = 0;
    EXPECT_EQ(RegisterCommandTable(nullptr, "x"), ERR_MEM);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(number, -1);
    EXPECT_EQ(GetPluginTypeCount(), 0);  // a failed registration uses no number
    EXPECT_EQ(GetCommandTables(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Object data

std::string ValueOf(VmState* s, const qzObjectDataNode* node) {
    VmRawGetI(s, VM_REGISTRYINDEX, node->ref);
    std::string v = VmToString(s, -1) ? VmToString(s, -1) : "<nil>";
    VmPop(s, 1);
    return v;
}

std::vector<std::string> Keys(const qzObjectDataNode* list) {
    std::vector<std::string> keys;
    for (; list; list = list->next) keys.push_back(list->key);
    return keys;
}

TEST(ObjectData, StoreFindReplaceRemove) {
    qztest::VmScope vm;
    VmState* s = vm;
    qzObjectDataNode* list = nullptr;
    VmPushString(s, "fast");
    VmPushString(s, "faster");
    VmPushString(s, "red");
    ASSERT_EQ(StoreObjectData(s, "Speed", 1, &list), 0);
    ASSERT_EQ(StoreObjectData(s, "Colour", 3, &list), 0);
    const int firstRef = list->ref;
    ASSERT_EQ(StoreObjectData(s, "SPEED", 2, &list), 0);  // same key: replaced in place
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"Speed", "Colour"}));
    EXPECT_EQ(VmGetTop(s), 3);

    qzObjectDataNode* node = FindObjectData(list, "speed");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(ValueOf(s, node), "faster");
    EXPECT_EQ(FindObjectData(list, "size"), nullptr);

    // The old reference was released: the next reference reuses its key.
    VmPushString(s, "other");
    EXPECT_EQ(VmRef(s, VM_REGISTRYINDEX), firstRef);

    EXPECT_EQ(RemoveObjectData(s, &list, "COLOUR"), 1);
    EXPECT_EQ(RemoveObjectData(s, &list, "colour"), 0);
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"Speed"}));
    FreeObjectDataList(s, list);
}

TEST(ObjectData, CopySharesValuesNotReferences) {
    qztest::VmScope vm;
    VmState* s = vm;
    qzObjectDataNode* list = nullptr;
    qzObjectDataNode* copy = reinterpret_cast<qzObjectDataNode*>(&handleA);
    EXPECT_EQ(CopyObjectDataList(s, nullptr, &copy), 0);  // empty source, empty copy
    EXPECT_EQ(copy, nullptr);

    VmNewTable(s);
    VmPushString(s, "x");
    ASSERT_EQ(StoreObjectData(s, "table", 1, &list), 0);
    ASSERT_EQ(StoreObjectData(s, "text", 2, &list), 0);
    VmSetTop(s, 0);
    ASSERT_EQ(CopyObjectDataList(s, list, &copy), 0);
    EXPECT_EQ(Keys(copy), Keys(list));
    EXPECT_NE(copy->ref, list->ref);
    VmRawGetI(s, VM_REGISTRYINDEX, copy->ref);
    VmRawGetI(s, VM_REGISTRYINDEX, list->ref);
    EXPECT_TRUE(VmRawEqual(s, -1, -2));  // the same table
    VmSetTop(s, 0);

    // Freeing the original leaves the copy's values alive.
    FreeObjectDataList(s, list);
    EXPECT_EQ(ValueOf(s, copy->next), "x");
    FreeObjectDataList(s, copy);
}

TEST(ObjectData, OutOfMemory) {
    qztest::VmScope vm;
    VmState* s = vm;
    qzObjectDataNode* list = nullptr;
    VmPushString(s, "a");
    ASSERT_EQ(StoreObjectData(s, "one", 1, &list), 0);
    ASSERT_EQ(StoreObjectData(s, "two", 1, &list), 0);
    ASSERT_EQ(StoreObjectData(s, "three", 1, &list), 0);

    // The copy fails at its third node: what was copied is freed and its references released.
    failAfter = 2;
    OsSetAllocFailHook(FailCountdown);
    qzObjectDataNode* copy = list;
    EXPECT_EQ(CopyObjectDataList(s, list, &copy), ERR_MEM);
    EXPECT_EQ(copy, nullptr);
    failAfter = 0;
    EXPECT_EQ(StoreObjectData(s, "four", 1, &list), ERR_MEM);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"one", "two", "three"}));

    // Every reference taken on the failed paths was released: the next three come back from the
    // free list, only the fourth is new.
    std::vector<int> refs;
    for (int i = 0; i < 4; i++) {
        VmPushString(s, "n");
        refs.push_back(VmRef(s, VM_REGISTRYINDEX));
    }
    int highest = 0;
    for (const qzObjectDataNode* n = list; n; n = n->next) highest = std::max(highest, n->ref);
    std::vector<int> reused(refs.begin(), refs.begin() + 3);
    std::sort(reused.begin(), reused.end());
    EXPECT_EQ(reused, (std::vector<int>{highest + 1, highest + 2, highest + 3}));
    EXPECT_EQ(refs[3], highest + 4);
    FreeObjectDataList(s, list);
}

}  // namespace

}  // namespace object_registry_test
