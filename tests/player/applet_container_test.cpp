// Applet container reader: every record type, version gates, icons, linked data in plain, appended
// and packed containers, and damaged containers.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "player/applet_container.h"
#include "player/container_builder.h"
#include "runtime/error_messages.h"
#include "runtime/linked_file.h"

namespace applet_container_test {

namespace {

ByteBuilder Magic() {
    ByteBuilder b;
    b.raw(std::string("QZA\0", 4));
    return b;
}

void Bytecode(ByteBuilder& b, const std::string& code) { b.u8(1).i32((int64_t)code.size()).raw(code); }

int ReadMem(const ByteBuilder& b, qzAppletDescriptor* applet, qzPlayerContext* context = nullptr) {
    qzPlayerContext local;
    return ReadAppletContainerData(b.bytes.data(), b.size(), "/apps/test.qza", context ? context : &local, applet);
}

// Directive head: type, id, name offset/length, data offset/size, value, flags, line.
void DirectiveHead(ByteBuilder& b, int type, int id, int nameOffset, int nameLength, int dataOffset, int dataSize,
                   int value, int flags, int line) {
    b.u8(type).i32(id).i32(nameOffset).i32(nameLength).i32(dataOffset).i32(dataSize).i32(value).i32(flags).i32(line);
}

void GradientRecord(ByteBuilder& b) {
    b.u8(3).i32(250000).i32(750000).i32(500000).i32(100000).u8(2);
    b.i32(0xFF0000).i32(0).i32(0x0000FF).i32(1000000);
}

struct TempFile {
    std::string path;
    explicit TempFile(const std::string& name) : path(testing::TempDir() + name) {}
    ~TempFile() { std::remove(path.c_str()); }
    void Write(const std::vector<uint8_t>& data) const {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
        std::fclose(f);
    }
};

std::string ReadWindow(const std::string& path, uint64_t offset, uint64_t size) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string data(size, '\0');
    fseeko(f, (off_t)offset, SEEK_SET);
    size_t got = std::fread(&data[0], 1, size, f);
    std::fclose(f);
    data.resize(got);
    return data;
}

// The bytes behind a linked file's chunk name, as the file layer would read them.
std::string ResolveAndRead(const qzAppletDescriptor& applet, const char* name) {
    char buffer[4096];
    const char* chunk = ResolveLinkedFileIn(applet.linkedFiles, applet.containerBase, applet.containerPath.c_str(),
                                            name, 0, nullptr, buffer, sizeof buffer);
    qzChunkNameParts parts;
    if (!ParseChunkName(chunk, &parts)) return "<not linked>";
    return ReadWindow(parts.containerPath, parts.offset, parts.size);
}

// Keeps the working directory across tests: the reader changes into the applet's folder.
class ContainerFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(getcwd(cwd_, sizeof cwd_)); }
    void TearDown() override { ASSERT_EQ(chdir(cwd_), 0); }
    char cwd_[4096];
};

}  // namespace

TEST(AppletContainer, OnlyBytecode) {
    ByteBuilder b = Magic();
    Bytecode(b, "\x1bQZB-code");
    qzAppletDescriptor applet;
    qzPlayerContext context;
    ASSERT_EQ(ReadMem(b, &applet, &context), 0);
    EXPECT_EQ(std::string(applet.bytecode.begin(), applet.bytecode.end()), "\x1bQZB-code");
    EXPECT_EQ(applet.versionMajor, 6);
    EXPECT_EQ(applet.versionMinor, 0);
    EXPECT_TRUE(applet.directives.empty());
    EXPECT_EQ(applet.linkedFiles, nullptr);
    EXPECT_EQ(applet.containerRead, 1);
    EXPECT_EQ(context.compiledApplet, 1);
    for (const qzIconSlot& slot : applet.icons) EXPECT_FALSE(slot.used);
}

TEST(AppletContainer, VersionGate) {
    const struct {
        int major, minor, error;
        const char* argument;
    } cases[] = {{6, 0, 0, ""}, {5, 9, 0, ""}, {6, 1, ERR_APPLETVERSION, "6.1"}, {7, 0, ERR_APPLETVERSION, "7.0"}};
    for (const auto& c : cases) {
        ByteBuilder b = Magic();
        b.u8(10).u8(c.major).u8(c.minor);
        Bytecode(b, "x");
        qzAppletDescriptor applet;
        SetErrorArgString("");
        EXPECT_EQ(ReadMem(b, &applet), c.error) << c.major << "." << c.minor;
        if (c.error)
            EXPECT_STREQ(GetErrorArgString(), c.argument);
        else
            EXPECT_EQ(applet.versionMajor * 10 + applet.versionMinor, c.major * 10 + c.minor);
    }
}

TEST(AppletContainer, EveryRecordType) {
    ByteBuilder b = Magic();
    b.u8(10).u8(6).u8(0);
    b.u8(11).cstr("My Game");
    b.u8(12)
        .raw(
            "\xFF"
            "1.2")
        .u8(0);
    b.u8(13).cstr("(c) me");
    b.u8(14).cstr("Author");
    b.u8(15).cstr("Description");
    b.u8(29);
    b.u8(0).i32(3).raw("abc");  // skipped
    b.u8(4).str16("Window Title");
    b.u8(3).i16(320).i16(200);  // creates display 1 with the title of tag 4
    b.u8(5).i32(0x123456);
    b.u8(6).i32(10).i32(20);
    b.u8(18).u8(1).u8(19).u8(0).u8(20).u8(1).u8(24).u8(1).u8(25).u8(1).u8(30).u8(1);
    b.u8(28).u8(1).i32(640).i32(480).u8(1);
    b.u8(7);
    b.u8(16).u8(2);
    b.u8(17).u8(4).i32(5).i32(-1).i32(-2).i32(0x111111).i32(0x222222).u8(1).u8(1);
    b.u8(21).u8(1);
    b.u8(22).i16(1024).i16(768);
    b.u8(23).u8(24);
    b.u8(8).i32(1).i32(1).i32(10).i32(100).cstr("inc.qzs");
    b.u8(27).i32(1).i32(11).i32(20).i32(200).cstr("lib.qzs").cstr("/other.qza");
    b.u8(33).i32(1).i32(21).i32(30).i32(300).xstr("secret.qzs").xstr("/hidden.qza");
    b.u8(9).i32(2).i32(5).cstr("start").i32(9).cstr("loop");
    b.u8(31).cstr("PI2").u8(0).f64(6.25).cstr("NAME").u8(1).cstr("Quarnelix").u8(0);
    b.u8(32).i32(3).i32(7).i32(8).u8(9);
    // Linked files: inline data, data elsewhere in the container, a dropped entry.
    b.u8(26).i32(3).i32(0);
    b.cstr("data/one.txt").i32(5).raw("HELLO");
    size_t elsewhereAt = b.size() + std::string("two.bin").size() + 1 + 4;
    b.cstr("two.bin").i32(-1).i32(4).i32(0);  // offset patched below
    b.cstr("gone.txt").i32(-2);
    // Directives: names and linked data lie in a blob placed before the bytecode.
    b.u8(2).i32(14);
    size_t nameFixups[2];
    DirectiveHead(b, 0, 1, 0, 0, 0, 0, -1, 0, 11);  // BGPIC
    b.str16("").str16("");
    b.u8(2).i32(0xAA0000).i32(0x00BB00).i16(45).i32(3).i32(4).i32(5);
    GradientRecord(b);
    b.i32(800).i32(600).i32(1);
    nameFixups[0] = b.size() + 5;
    DirectiveHead(b, 1, 2, 0, 10, 0, 4, 0xFF00FF, 1, 12);  // BRUSH, name and linked data patched
    b.str16("inbuilt").str16("myadapter");
    b.i16(10).i16(11).i16(12).i16(13).i16(128).u8(1).i32(50).i32(60).i32(1).i32(2);
    DirectiveHead(b, 2, 3, 0, 0, 0, 0, -1, 0, 13);  // ANIM
    b.str16("").str16("");
    b.u8(1).i16(1).i16(2).i16(3).i16(4).i16(5).i16(6).u8(1).u8(0);
    DirectiveHead(b, 7, 4, 0, 0, 0, 0, -1, 0, 14);  // SPRITE
    b.str16("").str16("");
    b.i16(1).i16(2).i16(8).i16(4).i16(5).i16(6);
    DirectiveHead(b, 5, 5, 0, 0, 0, 0, -1, 0, 15);  // BUTTON
    b.str16("").str16("");
    b.i16(1).i16(2).i16(30).i16(40);
    for (int type : {3, 4, 6, 8, 9, 11}) {  // no type data
        DirectiveHead(b, type, 6, 0, 0, 0, 0, type == 9 ? 12 : -1, 0, 16);
        b.str16("").str16("");
    }
    DirectiveHead(b, 10, 2, 0, 0, 0, 0, -1, 0, 17);  // DISPLAY
    b.str16("").str16("");
    b.i32(0).i32(1).i32(2).i32(300).i32(400).i32(0x00FF00).i32(0x1 | 0x400).i32(0).i32(0).i32(0);
    b.i32(1).i32(0).i32(0).i32(0).i32(300).i32(20);  // one drag region
    b.i32(0);                                        // no size regions
    b.str16("Second");
    b.u8(2).i32(0x0000FF).i16(90).i32(0).i32(0).i32(0);
    GradientRecord(b);
    b.str16("unused");
    b.u8(1);  // orientation
    b.u8(1).u8(1).i32(7).u8(2).u8(0).i16(800).i16(600).u8(32).u8(1);
    b.u8(1).i32(0x404040);  // backfill: colour
    b.str16("").str16("").str16("");
    nameFixups[1] = b.size() + 5;
    DirectiveHead(b, 12, 0, 0, 7, 0, 0, 2, 3, 18);  // plugin requirement, name patched
    b.str16("").str16("");
    b.i32(2).i32(10).cstr("depth").u8(0).f64(2.5).i32(10).cstr("mode").u8(1).cstr("fast");
    DirectiveHead(b, 13, 1, 0, 0, 0, 0, -1, 0, 19);  // MENU
    b.str16("").str16("");
    b.i16(4).raw("File").str16("").str16("").i32(0).u8(2);  // File with a sub-menu
    b.i16(4).raw("Open").str16("open").str16("o").i32(1).u8(1);
    b.i16(0).str16("").str16("").i32(2).u8(0);  // separator without name ends the sub-menu
    b.u8(1);                                    // marker after the sub-menu: another item
    b.i16(4).raw("Quit").str16("quit").str16("q").i32(0).u8(0);
    // Blob: directive names and linked data.
    b.u8(0).i32(0);
    size_t blobAt = b.size() - 0;
    b.patch32(b.size() - 4, 10 + 7 + 4);
    b.raw(std::string("brush.png\0", 10)).raw(std::string("plugin\0", 7)).raw("DATA");
    b.patch32(nameFixups[0], (uint32_t)blobAt);
    b.patch32(nameFixups[0] + 8, (uint32_t)(blobAt + 17));
    b.patch32(nameFixups[1], (uint32_t)(blobAt + 10));
    b.patch32(elsewhereAt + 4, (uint32_t)(blobAt + 17));
    Bytecode(b, "CODE");

    qzAppletDescriptor applet;
    qzPlayerContext context;
    ASSERT_EQ(ReadMem(b, &applet, &context), 0);
    EXPECT_EQ(applet.title, "My Game");
    EXPECT_EQ(applet.version, "$1.2");
    EXPECT_EQ(applet.copyright, "(c) me");
    EXPECT_EQ(applet.author, "Author");
    EXPECT_EQ(applet.description, "Description");
    EXPECT_EQ(context.displaySettingsLocked, 1);

    ASSERT_EQ(applet.directives.size(), 15u);
    const qzDisplayDirective* d1 = applet.directives[0].display.get();
    ASSERT_TRUE(d1);
    EXPECT_EQ(applet.directives[0].id, 1);
    EXPECT_EQ(d1->title, "Window Title");
    EXPECT_EQ(d1->width, 320);
    EXPECT_EQ(d1->height, 200);
    EXPECT_EQ(d1->color, 0x123456);
    EXPECT_EQ(d1->x, 10);
    EXPECT_EQ(d1->y, 20);
    EXPECT_EQ(d1->flags, QZ_DISPF_ACTIVE | QZ_DISPF_BORDERLESS | QZ_DISPF_SIZEABLE | QZ_DISPF_HIDEPOINTER |
                             QZ_DISPF_NOMODESWITCH | QZ_DISPF_NOHIDE | QZ_DISPF_LAYERSCALE | QZ_DISPF_SMOOTHSCALE);
    EXPECT_EQ(d1->scaleWidth, 640);

    const qzScreenOptions& so = applet.screenOptions;
    EXPECT_EQ(so.desktop, 1);
    EXPECT_EQ(so.displayMode, 2);
    EXPECT_EQ(so.backfill.type, 4);
    EXPECT_EQ(so.backfill.brush, 5);
    EXPECT_EQ(so.backfill.x, -1);
    EXPECT_EQ(so.backfill.y, -2);
    EXPECT_EQ(so.backfill.startColor, 0x111111);
    EXPECT_EQ(so.backfill.endColor, 0x222222);
    EXPECT_EQ(so.backfill.scalePicture, 1);
    EXPECT_EQ(so.backfill.smoothScale, 1);
    EXPECT_EQ(so.backfill.hideTitleBar, 1);
    EXPECT_EQ(so.screenWidth, 1024);
    EXPECT_EQ(so.screenHeight, 768);
    EXPECT_EQ(so.screenDepth, 24);

    ASSERT_EQ(applet.includeRanges.size(), 3u);
    EXPECT_EQ(applet.includeRanges[0].sourceName, "inc.qzs");
    EXPECT_EQ(applet.includeRanges[0].containerName, "/apps/test.qza");
    EXPECT_EQ(applet.includeRanges[0].lineOffset, 100);
    EXPECT_EQ(applet.includeRanges[1].containerName, "/other.qza");
    EXPECT_EQ(applet.includeRanges[2].sourceName, "secret.qzs");
    EXPECT_EQ(applet.includeRanges[2].containerName, "/hidden.qza");
    EXPECT_EQ(applet.includeRanges[2].firstLine, 21);

    ASSERT_EQ(applet.labels.size(), 2u);
    EXPECT_EQ(applet.labels[1].name, "loop");
    EXPECT_EQ(applet.labels[1].value, 9);
    ASSERT_EQ(applet.constants.size(), 2u);
    EXPECT_EQ(applet.constants[0].name, "PI2");
    EXPECT_EQ(applet.constants[0].number, 6.25);
    EXPECT_EQ(applet.constants[1].isString, 1);
    EXPECT_EQ(applet.constants[1].text, "Quarnelix");
    EXPECT_EQ(applet.timerSettings.flags, 3);
    EXPECT_EQ(applet.timerSettings.value1, 7);
    EXPECT_EQ(applet.timerSettings.value2, 8);
    EXPECT_EQ(applet.timerSettings.byte, 9);

    // Linked files: the dropped one is gone; both others read back their data.
    int linked = 0;
    for (const qzLinkedFile* f = applet.linkedFiles; f; f = f->next) linked++;
    EXPECT_EQ(linked, 2);
    EXPECT_EQ(applet.linkedFiles->containerPath, "/apps/test.qza");
    std::string data(b.bytes.begin(), b.bytes.end());
    EXPECT_EQ(data.substr(applet.linkedFiles->offset, applet.linkedFiles->size), "HELLO");
    EXPECT_EQ(data.substr(applet.linkedFiles->next->offset, applet.linkedFiles->next->size), "DATA");

    const qzDirective& bg = applet.directives[1];
    EXPECT_EQ(bg.type, QZ_DIR_BGPIC);
    EXPECT_EQ(bg.line, 11);
    ASSERT_TRUE(bg.bgpic);
    EXPECT_EQ(bg.bgpic->fillStyle, 2);
    EXPECT_EQ(bg.bgpic->gradient.startColor, 0xAA0000u);
    EXPECT_EQ(bg.bgpic->gradient.endColor, 0x00BB00u);
    EXPECT_EQ(bg.bgpic->gradient.angle, 45);
    EXPECT_EQ(bg.bgpic->gradient.style, 3);
    EXPECT_DOUBLE_EQ(bg.bgpic->gradient.centerX, 0.25);
    EXPECT_DOUBLE_EQ(bg.bgpic->gradient.centerY, 0.75);
    ASSERT_EQ(bg.bgpic->gradient.stops.size(), 2u);
    EXPECT_DOUBLE_EQ(bg.bgpic->gradient.stops[1].position, 1.0);
    EXPECT_EQ(bg.bgpic->textureY, 5);
    EXPECT_EQ(bg.bgpic->smoothScale, 1);

    const qzDirective& brush = applet.directives[2];
    EXPECT_EQ(brush.name, "brush.png");
    EXPECT_EQ(brush.loader, "inbuilt");
    EXPECT_EQ(brush.adapter, "myadapter");
    EXPECT_EQ(brush.containerPath, "/apps/test.qza");
    EXPECT_EQ(data.substr(brush.dataOffset, brush.dataSize), "DATA");
    EXPECT_EQ(brush.value, 0xFF00FF);
    EXPECT_EQ(brush.image.globalAlpha, 128);
    EXPECT_EQ(brush.image.hardware, 1);
    EXPECT_EQ(brush.image.scaleHeight, 60);
    EXPECT_EQ(brush.image.display, 2);

    const qzDirective& anim = applet.directives[3];
    EXPECT_EQ(anim.image.fromDisk, 1);
    EXPECT_EQ(anim.image.frames, 3);
    EXPECT_EQ(anim.image.y, 6);
    EXPECT_EQ(anim.image.skipLoopFrames, 1);
    EXPECT_EQ(applet.directives[4].image.frames, 8);
    EXPECT_EQ(applet.directives[5].button[3], 40);
    EXPECT_EQ(applet.directives[10].type, QZ_DIR_FONT);
    EXPECT_EQ(applet.directives[10].value, 12);  // point size

    const qzDirective& disp = applet.directives[12];
    ASSERT_EQ(disp.type, QZ_DIR_DISPLAY);
    ASSERT_TRUE(disp.display);
    EXPECT_EQ(disp.display->title, "Second");
    EXPECT_EQ(disp.display->height, 400);
    ASSERT_EQ(disp.display->dragRegions.size(), 1u);
    EXPECT_EQ(disp.display->dragRegions[0].width, 300);
    EXPECT_EQ(disp.display->fillStyle, 2);
    EXPECT_EQ(disp.display->gradient.startColor, 0x00FF00u);
    EXPECT_EQ(disp.display->gradient.endColor, 0x0000FFu);
    EXPECT_EQ(disp.display->orientation, 1);
    EXPECT_EQ(disp.display->monitor, 1);
    EXPECT_EQ(disp.display->menuId, 7);
    EXPECT_EQ(disp.display->screen.displayMode, 2);
    EXPECT_EQ(disp.display->screen.screenWidth, 800);
    EXPECT_EQ(disp.display->screen.screenDepth, 32);
    EXPECT_EQ(disp.display->screen.backfill.type, 1);
    EXPECT_EQ(disp.display->screen.backfill.startColor, 0x404040);
    EXPECT_EQ(disp.display->screen.backfill.hideTitleBar, 1);

    const qzDirective* req = &applet.directives[13];
    const qzDirective* menu = &applet.directives[14];
    ASSERT_EQ(req->type, QZ_DIR_PLUGIN);
    ASSERT_EQ(menu->type, QZ_DIR_MENU);
    EXPECT_EQ(req->name, "plugin");
    EXPECT_EQ(req->value, 2);
    EXPECT_EQ(req->flags, 3);
    ASSERT_EQ(req->tags.size(), 2u);
    EXPECT_EQ(req->tags[0].key, "depth");
    EXPECT_EQ(req->tags[0].number, 2.5);
    EXPECT_EQ(req->tags[1].text, "fast");
    ASSERT_EQ(menu->menu.size(), 2u);
    EXPECT_EQ(menu->menu[0].name, "File");
    ASSERT_EQ(menu->menu[0].subMenu.size(), 2u);
    EXPECT_EQ(menu->menu[0].subMenu[0].hotkey, "o");
    EXPECT_EQ(menu->menu[0].subMenu[1].hasName, 0);
    EXPECT_EQ(menu->menu[1].id, "quit");
    EXPECT_EQ(std::string(applet.bytecode.begin(), applet.bytecode.end()), "CODE");
}

TEST(AppletContainer, VersionGatedFieldsAbsentBeforeTag10) {
    // Without tag 10 the working version is 0.0: no loader and adapter, a brush has only its five
    // 16-bit fields, an anim and a BGPIC none, a display only its base fields.
    ByteBuilder b = Magic();
    b.u8(2).i32(4);
    DirectiveHead(b, 1, 1, 0, 0, 0, 0, -1, 0, 1);
    b.i16(10).i16(20).i16(0).i16(0).i16(-1);
    DirectiveHead(b, 2, 2, 0, 0, 0, 0, -1, 0, 2);
    DirectiveHead(b, 0, 3, 0, 0, 0, 0, -1, 0, 3);
    DirectiveHead(b, 10, 1, 0, 0, 0, 0, -1, 0, 4);
    b.i32(0).i32(0).i32(0).i32(100).i32(100).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).str16("Old");
    Bytecode(b, "C");
    qzAppletDescriptor applet;
    ASSERT_EQ(ReadMem(b, &applet), 0);
    ASSERT_EQ(applet.directives.size(), 4u);
    EXPECT_EQ(applet.directives[0].image.height, 20);
    EXPECT_EQ(applet.directives[0].loader, "");
    EXPECT_EQ(applet.directives[1].image.frames, 0);
    EXPECT_EQ(applet.directives[2].bgpic->fillStyle, 0);
    EXPECT_EQ(applet.directives[2].bgpic->gradient.style, 2);  // defaults
    EXPECT_EQ(applet.directives[3].display->title, "Old");
    EXPECT_EQ(applet.directives[3].display->fillStyle, 1);
    EXPECT_EQ(applet.directives[3].display->menuId, -1);
    // A display directive with id 1 in tag 2 is kept as read, beside any created by display tags.
    EXPECT_EQ(applet.directives[3].id, 1);
}

TEST(AppletContainer, DisplayTagCreatesDisplayOneBeforeLaterDirectives) {
    ByteBuilder b = Magic();
    b.u8(3).i16(100).i16(50);  // no tag 4: default title
    b.u8(2).i32(1);
    DirectiveHead(b, 10, 1, 0, 0, 0, 0, -1, 0, 4);
    b.i32(0).i32(0).i32(0).i32(100).i32(100).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).str16("X");
    b.u8(20).u8(1);  // changes the display tag 3 created, not the later directive
    Bytecode(b, "C");
    qzAppletDescriptor applet;
    ASSERT_EQ(ReadMem(b, &applet), 0);
    ASSERT_EQ(applet.directives.size(), 2u);
    EXPECT_EQ(applet.directives[0].display->title, "Quarnelix");
    EXPECT_EQ(applet.directives[0].display->width, 100);
    EXPECT_EQ(applet.directives[0].display->flags, QZ_DISPF_ACTIVE | QZ_DISPF_SIZEABLE);
    EXPECT_EQ(applet.directives[1].display->flags, 0u);
}

TEST(AppletContainer, IconBlock) {
    ByteBuilder b = Magic();
    Bytecode(b, "CODE");
    b.u8(0).u8(0).u8('I').u8(0).u8(0);
    size_t icon16 = b.size() + 9;
    b.i16(16).i16(16).u8(0).i32(4).raw("i16!");
    b.i16(20).i16(20).u8(0).i32(3).raw("odd");  // no slot of that size: skipped
    size_t icon32s = b.size() + 9;
    b.i16(32).i16(32).u8(3).i32(2).raw("ss");  // selected variant, flag set
    b.i16(0);
    qzAppletDescriptor applet;
    ASSERT_EQ(ReadMem(b, &applet), 0);
    int used = 0;
    for (const qzIconSlot& slot : applet.icons) used += slot.used;
    EXPECT_EQ(used, 2);
    EXPECT_STREQ(applet.icons[0].label, "ic16x16");
    EXPECT_EQ(applet.icons[0].chunkName, ":::chunk" + std::to_string(icon16) + ":4*16x16?/apps/test.qza");
    EXPECT_EQ(applet.icons[0].flag, 0);
    EXPECT_STREQ(applet.icons[11].label, "ic32x32s");
    EXPECT_EQ(applet.icons[11].chunkName, ":::chunk" + std::to_string(icon32s) + ":2*32x32?/apps/test.qza");
    EXPECT_EQ(applet.icons[11].flag, 1);
    EXPECT_FALSE(applet.icons[2].used);
}

TEST(AppletContainer, DamagedContainers) {
    ByteBuilder unknownTag = Magic();
    unknownTag.u8(34);
    ByteBuilder noBytecode = Magic();
    noBytecode.u8(11).cstr("t");
    ByteBuilder hugeBytecode = Magic();
    hugeBytecode.u8(1).i32(0x7FFFFFFF).raw("abc");
    ByteBuilder hugeCount = Magic();
    hugeCount.u8(9).i32(0x7FFFFFF0).i32(1).cstr("x");
    ByteBuilder negativeSkip = Magic();
    negativeSkip.u8(0).i32(-5);
    ByteBuilder nameOutside = Magic();
    nameOutside.u8(2).i32(1);
    DirectiveHead(nameOutside, 3, 1, 1000, 5, 0, 0, -1, 0, 1);
    Bytecode(nameOutside, "C");
    ByteBuilder dataOutside = Magic();
    dataOutside.u8(2).i32(1);
    DirectiveHead(dataOutside, 3, 1, 0, 0, 4, 0x7FFFFFFF, -1, 0, 1);
    Bytecode(dataOutside, "C");
    ByteBuilder linkedOutside = Magic();
    linkedOutside.u8(26).i32(1).i32(0).cstr("a").i32(-1).i32(100).i32(0);
    Bytecode(linkedOutside, "C");
    ByteBuilder negativeStr16 = Magic();
    negativeStr16.u8(4).i16(-3);
    ByteBuilder tooManyRegions = Magic();
    tooManyRegions.u8(2).i32(1);
    DirectiveHead(tooManyRegions, 10, 1, 0, 0, 0, 0, -1, 0, 1);
    tooManyRegions.i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(65);
    for (int i = 0; i < 65 * 5; i++) tooManyRegions.i32(0);
    ByteBuilder badType = Magic();
    badType.u8(2).i32(1);
    DirectiveHead(badType, 14, 1, 0, 0, 0, 0, -1, 0, 1);
    ByteBuilder deepMenu = Magic();
    deepMenu.u8(2).i32(1);
    DirectiveHead(deepMenu, 13, 1, 0, 0, 0, 0, -1, 0, 1);
    for (int i = 0; i < 10000; i++) deepMenu.i16(0).i16(0).i16(0).i32(0).u8(2);
    ByteBuilder truncatedIcons = Magic();
    Bytecode(truncatedIcons, "C");
    truncatedIcons.u8('I').u8(0).u8(0).i16(16).i16(16).u8(0).i32(100).raw("short");

    const struct {
        const char* what;
        const ByteBuilder& b;
        int error;
    } cases[] = {
        {"unknown tag", unknownTag, ERR_UNKNOWNSEC},
        {"end where a tag is expected", noBytecode, ERR_UNEXPECTEDEOF},
        {"bytecode longer than the file", hugeBytecode, ERR_READ},
        {"label count beyond the data", hugeCount, ERR_READ},
        {"negative skip", negativeSkip, ERR_READ},
        {"directive name outside", nameOutside, ERR_READ},
        {"directive data outside", dataOutside, ERR_READ},
        {"linked data outside", linkedOutside, ERR_READ},
        {"negative string length", negativeStr16, ERR_READ},
        {"more than 64 regions", tooManyRegions, ERR_READ},
        {"unknown directive type", badType, ERR_UNKNOWNSEC},
        {"menu nested too deep", deepMenu, ERR_MENUCOMPLEXITY},
        {"icon data cut off", truncatedIcons, ERR_READ},
    };
    for (const auto& c : cases) {
        qzAppletDescriptor applet;
        EXPECT_EQ(ReadMem(c.b, &applet), c.error) << c.what;
    }
    qzAppletDescriptor applet;
    ByteBuilder packedMagic;
    packedMagic.raw(std::string("QZZ\0", 4));
    SetErrorArgString("");
    EXPECT_EQ(ReadMem(packedMagic, &applet), ERR_NOAPPLET);
    EXPECT_STREQ(GetErrorArgString(), "test.qza");
}

TEST(AppletContainer, EveryTruncationFails) {
    // A container cut anywhere before the end of its bytecode fails cleanly.
    ByteBuilder b = Magic();
    b.u8(10).u8(6).u8(0).u8(11).cstr("T").u8(4).str16("Title").u8(3).i16(1).i16(2);
    b.u8(26).i32(1).i32(0).cstr("f").i32(2).raw("xy");
    b.u8(31).cstr("C").u8(1).cstr("v").u8(0);
    b.u8(33).i32(1).i32(1).i32(2).i32(3).xstr("a").xstr("b");
    b.u8(2).i32(2);
    DirectiveHead(b, 1, 1, 0, 0, 0, 0, -1, 0, 1);
    b.str16("l").str16("a").i16(1).i16(2).i16(3).i16(4).i16(5).u8(0).i32(0).i32(0).i32(0).i32(0);
    DirectiveHead(b, 13, 1, 0, 0, 0, 0, -1, 0, 1);
    b.str16("").str16("").i16(1).raw("M").str16("").str16("").i32(0).u8(0);
    Bytecode(b, "CODE");
    for (size_t n = 0; n < b.size(); n++) {
        ByteBuilder cut;
        cut.bytes.assign(b.bytes.begin(), b.bytes.begin() + n);
        qzAppletDescriptor applet;
        int error = ReadMem(cut, &applet);
        EXPECT_TRUE(error == ERR_READ || error == ERR_UNEXPECTEDEOF || error == ERR_NOAPPLET)
            << "cut at " << n << ": " << error;
    }
    qzAppletDescriptor applet;
    EXPECT_EQ(ReadMem(b, &applet), 0);
}

TEST(AppletContainer, MetadataFromHead) {
    ByteBuilder b = Magic();
    b.u8(10).u8(6).u8(0).u8(29).u8(11).cstr("Head Title").u8(12).raw("\xFFV").u8(0).u8(3).i16(1).i16(1);
    b.u8(14).cstr("not reached");
    qzAppletDescriptor applet;
    ReadAppletMetadata(b.bytes.data(), b.size(), &applet);
    EXPECT_EQ(applet.title, "Head Title");
    EXPECT_EQ(applet.version, "$V");
    EXPECT_EQ(applet.author, "");  // reading stopped at tag 3
    // A text cut off at the end of the head is not taken.
    qzAppletDescriptor cut;
    ReadAppletMetadata(b.bytes.data(), 18, &cut);
    EXPECT_EQ(cut.title, "");
}

namespace {

// Packs a plain container the way packed applets are stored: "QZZ\0", a zero word, a zlib stream.
std::vector<uint8_t> Pack(const std::vector<uint8_t>& plain) {
    uLongf size = compressBound(plain.size());
    std::vector<uint8_t> out(8 + size);
    std::memcpy(out.data(), "QZZ\0\0\0\0\0", 8);
    EXPECT_EQ(compress2(out.data() + 8, &size, plain.data(), plain.size(), Z_DEFAULT_COMPRESSION), Z_OK);
    out.resize(8 + size);
    return out;
}

// A container with one linked file and one directive with linked data.
ByteBuilder LinkedContainer() {
    ByteBuilder b = Magic();
    b.u8(10).u8(6).u8(0).u8(11).cstr("Linked");
    b.u8(26).i32(1).i32(0).cstr("Data\\Img.PNG").i32(8).raw("PNGDATA!");
    size_t fix = b.size() + 18;
    b.u8(2).i32(1);
    DirectiveHead(b, 3, 1, 0, 0, 0, 4, -1, 0, 1);
    b.str16("").str16("");
    b.u8(0).i32(4);
    size_t dataAt = b.size();
    b.raw("TUNE");
    b.patch32(fix, (uint32_t)dataAt);
    Bytecode(b, "CODE");
    return b;
}

}  // namespace

TEST_F(ContainerFile, SeparateFileMissingAndWrongMagic) {
    TempFile file("container_test_plain.qza");
    ByteBuilder b = LinkedContainer();
    file.Write(b.bytes);
    qzPlayerContext context;
    context.appletPath = file.path;
    qzAppletDescriptor applet;
    ASSERT_EQ(ReadAppletContainer(&context, &applet), 0);
    EXPECT_EQ(applet.containerBase, 0u);
    EXPECT_EQ(ResolveAndRead(applet, "data/img.png"), "PNGDATA!");
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    EXPECT_EQ(std::string(cwd) + "/", testing::TempDir());

    qzPlayerContext missing;
    missing.appletPath = file.path + ".none";
    qzAppletDescriptor a2;
    EXPECT_EQ(ReadAppletContainer(&missing, &a2), ERR_FILEEXIST);
    EXPECT_EQ(GetErrorArgString(), file.path + ".none");

    TempFile wrong("container_test_wrong.qza");
    wrong.Write({'Q', 'Z', 'X', 0, 1, 0});
    qzPlayerContext c3;
    c3.appletPath = wrong.path;
    qzAppletDescriptor a3;
    EXPECT_EQ(ReadAppletContainer(&c3, &a3), ERR_NOAPPLET);
    EXPECT_STREQ(GetErrorArgString(), "container_test_wrong.qza");
}

TEST_F(ContainerFile, AppendedPlainUsesTheAppendedOffset) {
    TempFile player("container_test_player");
    std::vector<uint8_t> data(1000, 0x90);
    ByteBuilder b = LinkedContainer();
    data.insert(data.end(), b.bytes.begin(), b.bytes.end());
    player.Write(data);
    qzPlayerContext context;
    context.appended = 1;
    context.appendedOffset = 1000;
    context.appletPath = player.path;
    context.programPath = player.path;
    qzAppletDescriptor applet;
    ASSERT_EQ(ReadAppletContainer(&context, &applet), 0);
    EXPECT_EQ(applet.title, "Linked");
    EXPECT_EQ(applet.containerBase, 1000u);
    EXPECT_EQ(ResolveAndRead(applet, "data/img.png"), "PNGDATA!");
    const qzDirective& music = applet.directives[0];
    EXPECT_EQ(ReadWindow(music.containerPath, applet.containerBase + music.dataOffset, music.dataSize), "TUNE");
}

TEST_F(ContainerFile, PackedAppendedReadsLinkedDataFromTheUnpackedCopy) {
    TempFile player("container_test_packed_player");
    std::vector<uint8_t> data(777, 0x90);
    std::vector<uint8_t> packed = Pack(LinkedContainer().bytes);
    data.insert(data.end(), packed.begin(), packed.end());
    // The icon block lies in the packed file, right behind the packed data.
    size_t iconAt = data.size() + 3 + 9;
    ByteBuilder icons;
    icons.u8('I').u8(0).u8(0).i16(48).i16(48).u8(0).i32(3).raw("ICO").i16(0);
    data.insert(data.end(), icons.bytes.begin(), icons.bytes.end());
    player.Write(data);

    qzPlayerContext context;
    context.appended = 1;
    context.appendedOffset = 777;
    context.appletPath = player.path;
    context.programPath = player.path;
    qzAppletDescriptor applet;
    ASSERT_EQ(ReadAppletContainer(&context, &applet), 0);
    ASSERT_EQ(context.tempFiles.size(), 1u);
    EXPECT_EQ(applet.containerPath, context.tempFiles[0]);
    EXPECT_EQ(context.appletPath, context.tempFiles[0]);
    EXPECT_EQ(applet.containerBase, 0u);
    EXPECT_EQ(applet.title, "Linked");
    // Linked data is found in the unpacked copy, not at the appended offset of the executable.
    EXPECT_EQ(ResolveAndRead(applet, "Data/img.png"), "PNGDATA!");
    const qzDirective& music = applet.directives[0];
    EXPECT_EQ(music.containerPath, context.tempFiles[0]);
    EXPECT_EQ(ReadWindow(music.containerPath, applet.containerBase + music.dataOffset, music.dataSize), "TUNE");
    EXPECT_EQ(applet.icons[3].chunkName, ":::chunk" + std::to_string(iconAt) + ":3*48x48?" + player.path);
    EXPECT_EQ(ReadWindow(player.path, iconAt, 3), "ICO");
    for (const std::string& t : context.tempFiles) std::remove(t.c_str());
}

TEST_F(ContainerFile, DamagedPackedContainer) {
    TempFile file("container_test_damaged.qza");
    std::vector<uint8_t> packed = Pack(LinkedContainer().bytes);
    packed.erase(packed.end() - 10, packed.end());  // stream cut off
    file.Write(packed);
    qzPlayerContext context;
    context.appletPath = file.path;
    qzAppletDescriptor applet;
    EXPECT_EQ(ReadAppletContainer(&context, &applet), ERR_ZLIBDATA);
    packed[12] ^= 0xFF;  // corrupted deflate data
    file.Write(packed);
    qzPlayerContext c2;
    c2.appletPath = file.path;
    qzAppletDescriptor a2;
    EXPECT_NE(ReadAppletContainer(&c2, &a2), 0);
    // Packed data that is no plain container: the report names the packed file.
    file.Write(Pack({'Q', 'Z', 'P', 'K', 0, 1, 0, 0, 0, 0}));
    qzPlayerContext c3;
    c3.appletPath = file.path;
    qzAppletDescriptor a3;
    EXPECT_EQ(ReadAppletContainer(&c3, &a3), ERR_NOAPPLET);
    EXPECT_STREQ(GetErrorArgString(), "container_test_damaged.qza");
    for (const std::string& t : context.tempFiles) std::remove(t.c_str());
    for (const std::string& t : c2.tempFiles) std::remove(t.c_str());
    for (const std::string& t : c3.tempFiles) std::remove(t.c_str());
}

TEST_F(ContainerFile, CheckFileAndHead) {
    TempFile plain("container_test_head.qza");
    plain.Write(LinkedContainer().bytes);
    TempFile packed("container_test_head_packed.qza");
    packed.Write(Pack(LinkedContainer().bytes));
    TempFile shortFile("container_test_short.qza");
    shortFile.Write({'Q', 'Z'});
    TempFile other("container_test_other.qza");
    other.Write({'Q', 'Z', 'P', 'K', 0});

    int isPacked = -1;
    EXPECT_EQ(CheckAppletFile(plain.path.c_str(), &isPacked), 0);
    EXPECT_EQ(isPacked, 0);
    EXPECT_EQ(CheckAppletFile(packed.path.c_str(), &isPacked), 0);
    EXPECT_EQ(isPacked, 1);
    EXPECT_EQ(CheckAppletFile(shortFile.path.c_str(), &isPacked), ERR_READ);
    EXPECT_EQ(CheckAppletFile(other.path.c_str(), &isPacked), ERR_NOAPPLET);
    EXPECT_EQ(GetErrorArgString(), other.path);
    EXPECT_EQ(CheckAppletFile((plain.path + "x").c_str(), &isPacked), ERR_FILEEXIST);

    qzAppletDescriptor a1, a2;
    EXPECT_EQ(ReadAppletHead(plain.path.c_str(), &a1), 0);
    EXPECT_EQ(a1.title, "Linked");
    EXPECT_EQ(ReadAppletHead(packed.path.c_str(), &a2), 0);
    EXPECT_EQ(a2.title, "Linked");
}

}  // namespace applet_container_test
