// Menu objects: parsing the tree, creating and freeing, the item-state commands on a display's
// menu bar, and a choice on the bar reaching the event queue.
#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "base/event_types.h"
#include "display/menus.h"
#include "display_test_util.h"
#include "platform/host/backend_menus.h"
#include "platform/host/headless/headless.h"
#include "platform/host/input_script.h"
#include "platform/host/menu_tree.h"
#include "player/event_loop_link.h"
#include "runtime/event_queue.h"

namespace menus_test {

using qztest::Arg;
using qztest::Nil;

namespace {

// {text, submenu}, {text, Nil, {flags =, id =}} and the like as script tables.
Arg Entry(Arg text, Arg sub = Nil{}) { return Arg::List({text, sub}); }
Arg Item(const char* text, const char* id, int flags = 0, const char* hotkey = "") {
    return Arg::Table({{0, text}, {"id", id}, {"flags", flags}, {"hotkey", hotkey}});
}
Arg Tree(std::vector<Arg> titles) { return Arg::List(std::move(titles)); }

// File > Open (hotkey O), -, Quit; Options > Sound (toggle, checked), Hidden (disabled), More > Deep.
Arg SampleTree() {
    return Tree({Entry("File", Arg::List({Item("Open", "open", 0, "o"), Entry(Nil{}), Item("Quit", "QUIT")})),
                 Entry("Options", Arg::List({Item("Sound", "sound", QZ_MENUITEM_TOGGLE | QZ_MENUITEM_SELECTED),
                                             Item("Hidden", "hidden", QZ_MENUITEM_DISABLED),
                                             Entry("More", Arg::List({Item("Deep", "open")}))}))});
}

}  // namespace

class MenuTest : public DisplayTest {};

TEST_F(MenuTest, TreesAreParsedOrRefusedWithTheirErrors) {
    const struct {
        const char* what;
        Arg tree;
        int error;
    } rows[] = {
        {"sample", SampleTree(), 0},
        {"empty tree", Tree({}), ERR_EMPTYMENUTREE},
        {"empty title", Tree({Entry("")}), ERR_WRONGUSAGE},
        {"nil title", Tree({Entry(Nil{})}), ERR_STRINGEXPECTED},
        {"entry not a table", Tree({Arg("File")}), ERR_TABLEORNIL},
        {"submenu not a table", Tree({Entry("File", 5)}), ERR_TABLEORNIL},
        {"three levels", Tree({Entry("A", Arg::List({Entry("B", Arg::List({Item("C", "c")}))}))}), 0},
        {"four levels",
         Tree({Entry("A", Arg::List({Entry("B", Arg::List({Entry("C", Arg::List({Item("D", "d")}))}))}))}),
         ERR_MENUCOMPLEXITY},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm->CallErr("CreateMenu", {7, r.tree}), r.error) << r.what;
        // Whatever failed left nothing behind, and a success replaced the menu of that number.
        int menus = 0;
        for (qzObjectHeader* h = *MenuListHead(); h; h = h->next) menus++;
        EXPECT_LE(menus, 1) << r.what;
    }

    qzMenu* menu = nullptr;
    vm->Ok("CreateMenu", {1, SampleTree()});
    ASSERT_EQ(FindMenuById({1, nullptr}, &menu), 0);
    const qzMenuItem* file = menu->tree;
    ASSERT_NE(file->children, nullptr);
    EXPECT_EQ(file->children->text, "Open");
    EXPECT_TRUE(file->children->next->separator);
    EXPECT_EQ(file->children->next->next->text, "Quit");
    // Ids match without case; the first in depth-first order wins.
    EXPECT_EQ(FindMenuItemById(menu->tree, "quit"), file->children->next->next);
    EXPECT_EQ(FindMenuItemById(menu->tree, "OPEN"), file->children);

    EXPECT_EQ(vm->Run("CreateMenu", {Nil{}, SampleTree()}).rfind("userdata", 0), 0u);
    EXPECT_EQ(vm->CallErr("FreeMenu", {99}), ERR_FINDMENU);
    vm->Ok("FreeMenu", {1});
    EXPECT_EQ(vm->CallErr("FreeMenu", {1}), ERR_FINDMENU);
}

// The display code finds (the "menu" option) and frees menus only while menus are switched on;
// switched off, a menu that exists is not found and the clean-up at exit leaves it alone.
TEST_F(MenuTest, DisplayLookupsFollowTheMenuSwitch) {
    vm->Ok("CreateMenu", {1, SampleTree()});
    qzMenu* menu = nullptr;
    EnableMenus(false);
    EXPECT_EQ(FindDisplayMenu({1, nullptr}, &menu), ERR_FINDMENU);
    EXPECT_EQ(menu, nullptr);
    EXPECT_EQ(vm->CallErr("CreateDisplay", {1, Arg::Table({{"menu", 1}})}), ERR_FINDMENU);
    FreeAllMenus(*vm);
    EnableMenus(true);
    EXPECT_EQ(FindDisplayMenu({1, nullptr}, &menu), 0);
    ASSERT_NE(menu, nullptr);
    vm->Ok("CreateDisplay", {1, Arg::Table({{"menu", 1}})});
    EXPECT_EQ(Display(1)->menu, menu);
}

TEST_F(MenuTest, ItemStatesLiveInTheOpenWindowsMenuBar) {
    vm->Ok("CreateMenu", {1, SampleTree()});
    vm->Ok("CreateDisplay", {1, Arg::Table({{"menu", 1}})});
    EXPECT_EQ(vm->CallErr("IsMenuItemSelected", {1, "sound"}), ERR_CLOSEDDISPLAY);
    vm->Ok("OpenDisplay", {1});

    EXPECT_EQ(vm->Run("IsMenuItemSelected", {1, "sound"}), "1");
    vm->Ok("DeselectMenuItem", {1, "SOUND"});
    EXPECT_EQ(vm->Run("IsMenuItemSelected", {1, "sound"}), "0");
    vm->Ok("SelectMenuItem", {1, "sound"});
    EXPECT_EQ(vm->Run("IsMenuItemSelected", {1, "sound"}), "1");
    EXPECT_EQ(vm->Run("IsMenuItemDisabled", {1, "hidden"}), "1");
    vm->Ok("EnableMenuItem", {1, "hidden"});
    EXPECT_EQ(vm->Run("IsMenuItemDisabled", {1, "hidden"}), "0");
    vm->Ok("DisableMenuItem", {1, "quit"});
    EXPECT_EQ(vm->Run("IsMenuItemDisabled", {1, "quit"}), "1");

    vm->Ok("CreateDisplay", {2});
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } errors[] = {
        {"SelectMenuItem", {1, "quit"}, ERR_WRONGUSAGE},  // not a toggle entry
        {"IsMenuItemSelected", {1, "quit"}, ERR_WRONGUSAGE}, {"SelectMenuItem", {1, "nothing"}, ERR_FINDMENUITEM},
        {"SelectMenuItem", {0, "sound"}, ERR_NOCONTEXTMENU}, {"SelectMenuItem", {2, "sound"}, ERR_NOMENU},
        {"SelectMenuItem", {9, "sound"}, ERR_FINDDISPLAY},
    };
    for (const auto& e : errors) EXPECT_EQ(vm->CallErr(e.command, e.args), e.error) << e.command;

    // An attached menu stays, also while its display is closed.
    EXPECT_EQ(vm->CallErr("FreeMenu", {1}), ERR_MENUATTACHED);
    vm->Ok("CloseDisplay", {1});
    EXPECT_EQ(vm->CallErr("FreeMenu", {1}), ERR_MENUATTACHED);
}

TEST_F(MenuTest, ChoosingAnEntryPostsTheMenuEventWithItsId) {
    ASSERT_EQ(InitEventQueue(), 0);
    LinkEventLoop();
    vm->Ok("CreateMenu", {1, SampleTree()});
    OpenCurrent(1, Arg::Table({{"menu", 1}}));
    qzHostWindow* window = Window(1);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(window->menuBar, nullptr);

    qzHostEvent event;
    event.kind = QZ_HEV_MENU;
    event.text = "hidden";  // disabled: nothing happens
    HandleMenuEvent(window, event);
    event.text = "sound";
    HandleMenuEvent(window, event);
    EXPECT_EQ(vm->Run("IsMenuItemSelected", {1, "sound"}), "0");  // the toggle switched
    // Ctrl with an entry's hotkey chooses it too.
    std::vector<qzScriptedEvent> keys;
    std::string message;
    ASSERT_TRUE(ParseInputScript("0 @1 key ctrl+o\n", "input", &keys, &message)) << message;
    HeadlessSetInputScript(keys);
    Pass();

    qzPeekedEvent peeked;
    std::vector<std::string> chosen;
    for (int i = 0; PeekQueuedEvent(*vm, i, &peeked, 0); i++) {
        if (peeked.type != QZ_EVENT_MENUSELECT) continue;
        chosen.push_back(static_cast<const char*>(peeked.userdata));
        EXPECT_EQ(peeked.params[2], 0);
        EXPECT_EQ(peeked.display, Display(1));
    }
    EXPECT_EQ(chosen, std::vector<std::string>({"sound", "open"}));
    vm->CloseLibraries();
    FreeEventQueue(nullptr);
    UnlinkEventLoop();
}

}  // namespace menus_test
