// The directive run: which library commands it calls, with which arguments and option tables,
// the display option merge, shared image loads, plugin requirements and the REQUIRETAGS syntax,
// and how a failing directive is reported. Recording command handlers stand in for the real
// libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "player/directives.h"
#include "runtime/applet_records.h"
#include "runtime/error_messages.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_runtime_link.h"

namespace directives_test {

namespace {

std::string Describe(VmState* L, int index);

std::string DescribeTable(VmState* L, int index) {
    if (index < 0) index = VmGetTop(L) + index + 1;
    std::vector<std::string> entries;
    VmPushNil(L);
    while (VmNext(L, index)) {
        std::string key = VmType(L, -2) == VM_TSTRING ? VmToString(L, -2) : Describe(L, -2);
        entries.push_back(key + "=" + Describe(L, -1));
        VmPop(L, 1);
    }
    std::sort(entries.begin(), entries.end());
    std::string out = "{";
    for (size_t i = 0; i < entries.size(); i++) out += (i ? " " : "") + entries[i];
    return out + "}";
}

std::string Describe(VmState* L, int index) {
    char buffer[64];
    switch (VmType(L, index)) {
    case VM_TNUMBER: std::snprintf(buffer, sizeof buffer, "%.17g", VmToNumber(L, index)); return buffer;
    case VM_TSTRING: return std::string("\"") + VmToString(L, index) + "\"";
    case VM_TTABLE: return DescribeTable(L, index);
    default: return VmTypeName(L, VmType(L, index));
    }
}

struct Call {
    std::string text;     // "name(arg, arg, ...)"
    std::string command;  // the current-command buffer during the call
};
std::vector<Call> calls;
int failWith;  // a handler result >= 1000 makes every recorded command fail

int Recorder(VmState* L) {
    std::string text = VmToString(L, VmUpvalueIndex(1));
    text += "(";
    for (int i = 1; i <= VmGetTop(L); i++) text += (i > 1 ? ", " : "") + Describe(L, i);
    text += ")";
    calls.push_back({text, GetErrorCommandName()});
    return failWith ? failWith : 0;
}

const char* const kCommands[] = {"loadbgpic",    "loadbrush",     "loadanim",     "loadsprite", "openmusic",
                                 "loadsample",   "openvideo",     "openfile",     "openfont",   "createmenu",
                                 "createbutton", "createkeydown", "createdisplay"};

class DirectivesTest : public ::testing::Test {
protected:
    VmState* L = nullptr;
    qzPlayerContext context;
    qzAppletDescriptor applet;

    void SetUp() override {
        L = VmOpen();
        ASSERT_NE(L, nullptr);
        ASSERT_EQ(InitRuntime(), 0);
        calls.clear();
        failWith = 0;
        context.compiledApplet = 1;
        context.quiet = 1;
        applet.containerPath = "/apps/game.qza";
        applet.containerBase = 100;
    }
    void TearDown() override {
        FreeRuntime(L);
        VmClose(L);
    }

    void RegisterAll() {
        for (const char* name : kCommands) Register(name);
    }
    void Register(const char* name) {
        VmPushString(L, name);
        VmPushString(L, name);
        VmPushCClosure(L, Recorder, 1);
        VmRawSet(L, VM_GLOBALSINDEX);
    }

    qzDirective& Add(int type, int id, const char* name, int line = 0) {
        qzDirective d;
        d.type = type;
        d.id = id;
        if (name) {
            d.hasName = 1;
            d.name = name;
        }
        d.line = line;
        if (type == QZ_DIR_DISPLAY) {
            d.display = std::make_unique<qzDisplayDirective>();
            InitDisplayDirective(d.display.get());
        }
        if (type == QZ_DIR_BGPIC) d.bgpic = std::make_unique<qzBGPicDirectiveData>();
        applet.directives.push_back(std::move(d));
        return applet.directives.back();
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const Call& c : calls) out.push_back(c.text);
        return out;
    }
};

const char* const kDefaultDisplay =
    "createdisplay(1, {active=1 backfill={hidetitlebar=0} color=0 desktop=0 fillstyle=1 height=480 "
    "mode=\"windowed\" monitor=1 orientation=0 scrdepth=0 scrheight=0 scrwidth=0 title=\"Quarnelix\" "
    "width=640 x=-100000 y=-100000})";

TEST_F(DirectivesTest, AppletWithoutDisplayGetsDefaultDisplayOne) {
    RegisterAll();
    ASSERT_EQ(RunDirectives(L, &context, &applet), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{kDefaultDisplay});
    EXPECT_TRUE(applet.directives.empty());  // freed after the run
    EXPECT_STREQ(GetErrorCommandName(), QZ_NO_COMMAND);
    EXPECT_EQ(GetDirectiveLine(), -1);
    EXPECT_FALSE(IsScriptRunning());
}

TEST_F(DirectivesTest, PreloadCallsInListOrderWithTheirArguments) {
    RegisterAll();
    qzDirective& bg = Add(QZ_DIR_BGPIC, 1, "back.png");
    bg.value = 0xFF00FF;
    bg.flags = 3;  // load alpha wins over load transparency
    bg.bgpic->fillStyle = 2;
    bg.bgpic->gradient.startColor = 0x10;
    bg.bgpic->gradient.endColor = 0x20;
    bg.bgpic->gradient.stops = {{0x30, 0.25}};
    bg.loader = "inbuilt";
    qzDirective& brush = Add(QZ_DIR_BRUSH, 2, "b.png");
    brush.image.width = 16;
    brush.image.globalAlpha = 128;
    brush.image.display = 3;
    brush.flags = 2;
    Add(QZ_DIR_MUSIC, 3, "m.mod");
    Add(QZ_DIR_SAMPLE, 4, "s.wav").adapter = "myadapter";
    Add(QZ_DIR_FILE, 5, "data.txt");
    qzDirective& font = Add(QZ_DIR_FONT, 6, "Vera");
    font.value = 12;
    font.flags = 0x10002;
    qzDirective& menu = Add(QZ_DIR_MENU, 7, nullptr);
    qzDirectiveMenuItem file;
    file.hasName = 1;
    file.name = "File";
    file.hasSubMenu = 1;
    qzDirectiveMenuItem quit;
    quit.hasName = 1;
    quit.name = "Quit";
    quit.id = "quit";
    quit.hotkey = "Q";
    quit.flags = 4;
    file.subMenu.push_back(quit);
    menu.menu.push_back(file);
    qzDirective& button = Add(QZ_DIR_BUTTON, 8, nullptr);
    button.button[0] = 1;
    button.button[1] = 2;
    button.button[2] = 30;
    button.button[3] = -4;
    Add(QZ_DIR_KEYDOWN, 9, "ESC");
    qzDirective& anim = Add(QZ_DIR_ANIM, 10, "a.gif");
    anim.image.frames = 5;
    anim.image.fromDisk = 1;
    VmPushCFunction(L, Recorder);  // stands for the main chunk, which must stay on the stack top
    ASSERT_EQ(RunDirectives(L, &context, &applet), 0);
    EXPECT_EQ(VmGetTop(L), 1);
    EXPECT_EQ(VmToCFunction(L, 1), Recorder);
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(texts.size(), 11u);
    EXPECT_EQ(texts[0],
              "loadbgpic(1, \"back.png\", {fillstyle=2 gradientangle=0 gradientbalance=0.5 gradientborder=0 "
              "gradientcenterx=0.5 gradientcentery=0.5 gradientcolors={0=48 1=0.25} gradientendcolor=32 "
              "gradientstartcolor=16 gradientstyle=2 loadalpha=1 loader=\"inbuilt\" scaleheight=0 scalewidth=0 "
              "smoothscale=0 transparency=16711935})");
    EXPECT_EQ(texts[1],
              "loadbrush(2, \"b.png\", {display=3 globalalpha=128 hardware=0 height=0 loadtransparency=1 "
              "scaleheight=0 scalewidth=0 smoothscale=0 width=16 x=0 y=0})");
    EXPECT_EQ(texts[2], "openmusic(3, \"m.mod\")");
    EXPECT_EQ(texts[3], "loadsample(4, \"s.wav\", {adapter=\"myadapter\"})");
    EXPECT_EQ(texts[4], "openfile(5, \"data.txt\", 1005)");
    EXPECT_EQ(texts[5], "openfont(6, \"Vera\", 12, {cache=0 engine=2})");
    EXPECT_EQ(texts[6], "createmenu(7, {0={0=\"File\" 1={0={0=\"Quit\" flags=4 hotkey=\"Q\" id=\"quit\"}} flags=0}})");
    EXPECT_EQ(texts[7], "createbutton(8, 1, 2, 30, -4)");
    EXPECT_EQ(texts[8], "createkeydown(9, \"ESC\")");
    EXPECT_EQ(texts[9],
              "loadanim(10, \"a.gif\", {deinterlace=0 fpr=0 frames=5 fromdisk=1 height=0 scaleheight=0 "
              "scalewidth=0 skiploopframes=0 smoothscale=0 width=0 x=0 y=0})");
    // Display 1 shows background picture 1 when one is declared.
    EXPECT_NE(texts[10].find("bgpic=1"), std::string::npos);
    EXPECT_EQ(texts[10].find("width=640"), std::string::npos);

    // The command buffer names each command while it runs; a button has no entry of its own.
    EXPECT_EQ(calls[1].command, "LoadBrush");
    EXPECT_EQ(calls[6].command, "CreateMenu");
    EXPECT_EQ(calls[7].command, QZ_NO_COMMAND);
    EXPECT_EQ(calls[8].command, "CreateKeyDown");
    EXPECT_EQ(calls[10].command, "CreateDisplay");
}

TEST_F(DirectivesTest, LinkedDataLoadsThroughChunkName) {
    RegisterAll();
    // A packed applet appended at 5000: its directives' data lies in the unpacked copy, whose
    // container starts at 0 there, not at the appended offset.
    context.appended = 1;
    context.appendedOffset = 5000;
    applet.containerBase = 0;
    applet.containerPath = "/tmp/unpacked.qza";
    qzDirective& d = Add(QZ_DIR_BRUSH, 1, "pic.png");
    d.dataOffset = 20;
    d.dataSize = 300;
    qzDirective& e = Add(QZ_DIR_SAMPLE, 2, "s.wav");
    e.dataOffset = 400;
    e.dataSize = 10;
    e.containerPath = "/apps/other.qza";
    ASSERT_EQ(RunDirectives(L, &context, &applet), 0);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].text.substr(0, calls[0].text.find(',', calls[0].text.find(',') + 1)),
              "loadbrush(1, \":::chunk20:300*pic.png?/tmp/unpacked.qza\"");
    EXPECT_EQ(calls[1].text, "loadsample(2, \":::chunk400:10*s.wav?/apps/other.qza\")");
}

TEST_F(DirectivesTest, ImageLoadsOfOneFileShareTheFirstLoad) {
    RegisterAll();
    Add(QZ_DIR_BRUSH, 1, "Pic.png");
    Add(QZ_DIR_BRUSH, 2, "pic.PNG").flags = 1;  // loads alpha: the first caches alpha too
    Add(QZ_DIR_BRUSH, 3, "pic.png").image.scaleWidth = 50;
    Add(QZ_DIR_SPRITE, 4, "pic.png");  // no frames: never shares
    ShareImageLoads(&applet);
    const auto& d = applet.directives;
    EXPECT_EQ(d[0].image.cache, 1);
    EXPECT_EQ(d[0].image.cacheAlpha, 1);
    EXPECT_EQ(d[1].image.cachedLoad, 1);
    EXPECT_EQ(d[2].image.cachedLoad, 0);
    EXPECT_EQ(d[2].image.cache, 0);
    EXPECT_EQ(d[3].image.cachedLoad, 1);  // a later SPRITE may share the brush's load
    ASSERT_EQ(RunDirectives(L, &context, &applet), 0);
    EXPECT_NE(calls[0].text.find("cache=\"Pic.png\" cachealpha=1"), std::string::npos);
    EXPECT_NE(calls[1].text.find("cachedload=\"pic.PNG\""), std::string::npos);
    EXPECT_EQ(calls[2].text.find("cache"), std::string::npos);
}

TEST_F(DirectivesTest, DisplayOptionsMergeIntoDeclaredDisplays) {
    struct Case {
        int allDisplays, locked;
        uint32_t display1Flags, display2Flags;
    };
    const Case cases[] = {
        {0, 0, QZ_DISPF_BORDERLESS, 0},
        {1, 0, QZ_DISPF_BORDERLESS, QZ_DISPF_BORDERLESS},
        {1, 1, 0, 0},
    };
    for (const Case& c : cases) {
        applet.directives.clear();
        Add(QZ_DIR_DISPLAY, 1, nullptr);
        Add(QZ_DIR_DISPLAY, 2, nullptr);
        context.allDisplays = c.allDisplays;
        context.displaySettingsLocked = c.locked;
        applet.displayFlags = QZ_DISPF_BORDERLESS;
        applet.displayMode = 2;
        applet.screenWidth = 800;
        applet.monitor = 1;
        MergeDisplayOptions(&context, &applet);
        for (int i = 0; i < 2; i++) {
            const qzDisplayDirective& dd = *applet.directives[i].display;
            uint32_t want = i == 0 ? c.display1Flags : c.display2Flags;
            bool merged = want != 0;
            SCOPED_TRACE("all " + std::to_string(c.allDisplays) + " locked " + std::to_string(c.locked) + " display " +
                         std::to_string(i + 1));
            EXPECT_EQ(dd.flags & QZ_DISPF_BORDERLESS, want);
            EXPECT_EQ(dd.screen.displayMode, merged ? 2 : 1);
            EXPECT_EQ(dd.screen.screenWidth, merged ? 800 : 0);
            EXPECT_EQ(dd.monitor, merged ? 1 : 0);
        }
    }
}

TEST_F(DirectivesTest, CreateDisplayTableCarriesFlagsRegionsAndBackfill) {
    RegisterAll();
    qzDirective& d = Add(QZ_DIR_DISPLAY, 2, nullptr);
    qzDisplayDirective& dd = *d.display;
    dd.title = "Two";
    dd.flags = QZ_DISPF_SIZEABLE | QZ_DISPF_LAYERSCALE | QZ_DISPF_HIDDEN | QZ_DISPF_DISABLEBLANKER;
    dd.fillStyle = 3;
    dd.textureBrush = 9;
    dd.dragRegions.push_back({1, 2, 3, 4, 5});
    dd.menuId = 4;
    dd.screen.displayMode = 6;
    dd.screen.backfill.type = 2;
    dd.screen.backfill.startColor = 0x111111;
    dd.screen.backfill.endColor = 0x222222;
    ASSERT_EQ(RunDirectives(L, &context, &applet), 0);
    ASSERT_EQ(calls.size(), 2u);  // display 2, then the default display 1 appended after it
    EXPECT_EQ(calls[0].text,
              "createdisplay(2, {backfill={brush=0 color=1118481 endcolor=2236962 hidetitlebar=0 scalepicture=0 "
              "smoothscale=0 startcolor=1118481 type=\"gradient\" x=-100000 y=-100000} desktop=0 disableblanker=1 "
              "dragregion={0={height=5 type=1 width=4 x=2 y=3}} fillstyle=3 height=480 hidden=1 menu=4 "
              "mode=\"fakefullscreen\" monitor=1 orientation=0 scalemode=2 scrdepth=0 scrheight=0 scrwidth=0 "
              "sizeable=1 texturebrush=9 texturex=0 texturey=0 title=\"Two\" width=640 x=-100000 y=-100000})");
    EXPECT_EQ(calls[1].text, kDefaultDisplay);
}

TEST_F(DirectivesTest, GlobalScreenOptionsGoToDisplayOne) {
    applet.screenOptions.screenWidth = 1024;
    applet.screenOptions.backfill.hideTitleBar = 1;
    ApplyGlobalScreenOptions(&applet);
    ASSERT_EQ(applet.directives.size(), 1u);
    const qzDisplayDirective& dd = *applet.directives[0].display;
    EXPECT_EQ(applet.directives[0].id, 1);
    EXPECT_EQ(dd.screen.screenWidth, 1024);
    EXPECT_EQ(dd.screen.screenHeight, 0);  // not set: the directive's own value stays
    EXPECT_EQ(dd.screen.backfill.hideTitleBar, 1);
    EXPECT_EQ(dd.screen.backfill.type, 0);

    // Nothing set: no display directive is added.
    qzAppletDescriptor other;
    ApplyGlobalScreenOptions(&other);
    EXPECT_TRUE(other.directives.empty());
}

TEST_F(DirectivesTest, FailingDirectiveNamesCommandAndLine) {
    RegisterAll();
    Add(QZ_DIR_BRUSH, 1, "a.png", 40);
    Add(QZ_DIR_BRUSH, 2, "b.png", 41);
    failWith = ERR_FINDBRUSH;
    EXPECT_EQ(RunDirectives(L, &context, &applet), ERR_FINDBRUSH);
    EXPECT_EQ(calls.size(), 1u);  // the run stops at the first error
    EXPECT_STREQ(GetErrorCommandName(), "LoadBrush");
    EXPECT_EQ(vmRuntime.errorLine, 40);
    EXPECT_TRUE(IsScriptRunning());  // the report shows the file and line
}

TEST_F(DirectivesTest, MissingLibraryCommandFailsWithItsName) {
    Register("createdisplay");
    Add(QZ_DIR_SAMPLE, 1, "s.wav", 7);
    EXPECT_EQ(RunDirectives(L, &context, &applet), ERR_FUNCDECLA);
    EXPECT_STREQ(GetErrorArgString(), "LoadSample");
    EXPECT_TRUE(calls.empty());
}

TEST_F(DirectivesTest, WithoutDisplayLibraryNoDisplayIsCreated) {
    Add(QZ_DIR_DISPLAY, 1, nullptr);
    EXPECT_EQ(RunDirectives(L, &context, &applet), 0);
}

TEST_F(DirectivesTest, RequiredPluginsAreNotAvailable) {
    RegisterAll();
    qzDirective& d = Add(QZ_DIR_PLUGIN, 0, "parser.qzp");
    d.value = 2;
    d.flags = 1;
    EXPECT_EQ(RunDirectives(L, &context, &applet), ERR_REQUIREPLUGIN);
    EXPECT_STREQ(GetErrorArgString(), "parser.qzp 2.1");
    EXPECT_TRUE(calls.empty());

    // The option's list comes first; a bad tag text fails before any plugin is asked for.
    context.requirePlugins = {"first"};
    context.hasRequireTags = 1;
    context.requireTags = "first[x]";
    EXPECT_EQ(RunDirectives(L, &context, &applet), ERR_REQUIRETAGFMT);
    context.requireTags = "first[x=1]";
    EXPECT_EQ(RunDirectives(L, &context, &applet), ERR_REQUIREPLUGIN);
    EXPECT_STREQ(GetErrorArgString(), "first.qzp");
}

TEST(RequireTags, Syntax) {
    struct Case {
        const char* text;
        const char* plugin;
        int error;
        const char* tags;  // key=number or key='text', space separated
    };
    const Case cases[] = {
        {"myplugin[level=1]", "myplugin", 0, "level=1"},
        {"myplugin[title='a b']", "myplugin", 0, "title='a b'"},
        {"my[a=true,b=false, c=$10,d=1.5x]", "MyPlugin", 0, "a=1 b=0 c=16 d='1.5x'"},
        {"other[a=1] mine[b=2]", "mine", 0, "b=2"},
        {" [all=1] mine[b=2]", "mine", 0, "all=1"},
        {"other[a=1]", "mine", 0, ""},
        {"", "mine", 0, ""},
        {"[x=1]", "mine", ERR_REQUIRETAGFMT, ""},
        {"my plugin[x=1]", "my", ERR_REQUIRETAGFMT, ""},
        {"mine[1x=1]", "mine", ERR_REQUIRETAGFMT, ""},
        {"mine[x=1", "mine", ERR_REQUIRETAGFMT, ""},
        {"mine[x='open]", "mine", ERR_REQUIRETAGFMT, ""},
        {"mine[x=1 y=2]", "mine", ERR_REQUIRETAGFMT, ""},
        {"mine", "mine", ERR_REQUIRETAGFMT, ""},
        {"mine[x=1] broken", "mine", ERR_REQUIRETAGFMT, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<qzRequireTag> tags;
        EXPECT_EQ(ParseRequireTags(c.text, c.plugin, &tags), c.error);
        std::string got;
        for (const qzRequireTag& t : tags) {
            char number[32];
            std::snprintf(number, sizeof number, "%g", t.number);
            got += (got.empty() ? "" : " ") + t.key + "=" + (t.isString ? "'" + t.text + "'" : std::string(number));
        }
        EXPECT_EQ(got, c.tags);
    }
}

}  // namespace

}  // namespace directives_test
