// Lists handed to commands as a script's table constructor builds them ({a, b, c}: the items at
// keys 0, 1, 2, ...): polygon points, a polygon layer's vertices and a path layer's dashes are read
// from key 0, and a table whose key 0 is empty is an empty list, never read from key 1 instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/layer_test_util.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "vector/draw_state.h"
#include "vm/vm.h"

namespace script_list_test {

using qztest::Arg;

namespace {

// The list that the constructor {items} of a script builds, through NEWTABLE and SETLIST. Items
// are assembler literals ("40", "nil", "\"x\"").
Arg Constructed(const std::vector<std::string>& items) {
    std::string text = ".function main\n    NEWTABLE r0 0 0\n";
    for (size_t start = 0; start < items.size(); start += 32) {
        const size_t n = std::min<size_t>(32, items.size() - start);
        for (size_t i = 0; i < n; i++) text += "    LOADK r" + std::to_string(i + 1) + " " + items[start + i] + "\n";
        text += "    SETLIST r0 " + std::to_string(start + n - 1) + "\n";
    }
    return Arg::Script(text + "    RETURN r0 2\n.end\n");
}

const std::vector<std::string> kTriangle = {"0", "0", "40", "0", "0", "40"};
// The same triangle through 18 points: 36 numbers, more than one SETLIST block holds.
std::vector<std::string> ManyPointTriangle() {
    std::vector<std::string> items;
    auto add = [&](int x, int y) {
        items.push_back(std::to_string(x));
        items.push_back(std::to_string(y));
    };
    for (int x = 0; x <= 40; x += 5) add(x, 0);
    for (int x = 35; x >= 0; x -= 5) add(x, 40 - x);
    add(0, 20);
    return items;
}
// The same numbers behind an empty key 0: a list of nothing to a script.
const std::vector<std::string> kFromKeyOne = {"nil", "0", "0", "40", "0", "0", "40"};

class ScriptLists : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzDrawLibrary,   &qzVectorGraphicsLibrary};
    }
    // Opens display `number` (80 x 60, black, with or without layers) and makes it current.
    void Open(int number, bool layers) {
        OpenCurrent(number, Arg::Table({{"width", 80}, {"height", 60}, {"layers", layers}, {"color", 0.0}}));
        vm->Ok("SetFillStyle", {FILLCOLOR});
    }
    // Field key of GetLayerStyle(layer), or its item at that key when item is given, as the
    // harness renders it.
    std::string StyleField(int layer, const char* key, int item = -1) {
        if (vm->Call("GetLayerStyle", {layer}) != 0) return "no style";
        VmPushString(*vm, key);
        VmGetTable(*vm, vm->Base() + 1);
        if (item >= 0) {
            VmRawGetI(*vm, -1, item);
            VmRemove(*vm, -2);
        }
        std::string value = qztest::Render(*vm, -1);
        VmPop(*vm, 1);
        return value;
    }
};

TEST_F(ScriptLists, PolygonReadsItsPointsFromKeyZero) {
    const struct {
        std::vector<std::string> points;
        int count;
        bool layers;
        std::string result;
    } rows[] = {
        {kTriangle, 3, false, ""},
        {kTriangle, 3, true, ""},
        {ManyPointTriangle(), 18, false, ""},
        {kTriangle, 4, false, "ERR " + std::to_string(ERR_NUMTABLEARG)},
        {kFromKeyOne, 3, false, "ERR " + std::to_string(ERR_NUMTABLEARG)},
    };
    int number = 1;
    for (const auto& r : rows) {
        const int at = int(&r - rows);
        Open(number, r.layers);
        EXPECT_EQ(vm->Run("Polygon", {10, 10, Constructed(r.points), r.count, 0x0000FF}), r.result) << at;
        const bool drawn = r.result.empty();
        EXPECT_EQ(Pixel(number, 15, 15), drawn ? 0x0000FFu : 0u) << at;
        EXPECT_EQ(Pixel(number, 45, 45), 0u) << at;
        if (r.layers) {
            EXPECT_EQ(StyleField(1, "numvertices"), "4") << at;  // closed: the first point again
            EXPECT_EQ(StyleField(1, "vertices", 2), "40") << at;
        }
        number++;
    }
}

TEST_F(ScriptLists, LayerStyleListsAreReadFromKeyZero) {
    const struct {
        const char* key;
        std::vector<std::string> items;
        std::string result;
        const char* field;  // of GetLayerStyle afterwards
        int item;
        std::string value;
    } rows[] = {
        {"vertices", kTriangle, "", "numvertices", -1, "4"},
        {"vertices", kTriangle, "", "vertices", 2, "40"},
        {"vertices", kFromKeyOne, "ERR " + std::to_string(ERR_WRONGUSAGE), "numvertices", -1, "5"},
        {"dashes", {"6", "4"}, "", "dashes", 0, "6"},
        {"dashes", {"6", "4"}, "", "dashes", 1, "4"},
        // No items: solid, as an empty list.
        {"dashes", {"nil", "6", "4"}, "", "dashes", 0, "nil"},
    };
    int number = 1;
    for (const auto& r : rows) {
        const int at = int(&r - rows);
        Open(number++, true);
        if (std::string(r.key) == "vertices") {
            ASSERT_EQ(
                vm->Run("Polygon", {10, 10, Constructed({"0", "0", "20", "0", "20", "20", "0", "20"}), 4, 0x0000FF}),
                "")
                << at;
        } else {
            vm->Ok("StartPath", {1});
            vm->Ok("AddBoxToPath", {1, 0, 0, 30, 20});
            ASSERT_EQ(vm->Run("DrawPath", {1, 10, 10, 0x0000FF}), "") << at;
        }
        EXPECT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table({{r.key, Constructed(r.items)}})}), r.result) << at;
        EXPECT_EQ(StyleField(1, r.field, r.item), r.value) << at;
    }
}

}  // namespace

}  // namespace script_list_test
