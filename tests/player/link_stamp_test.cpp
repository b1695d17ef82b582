// The link stamp and the qzlink tool.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "player/applet_container.h"
#include "player/container_builder.h"
#include "player/link_stamp.h"

namespace link_stamp_test {

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> data;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
    std::fclose(f);
}

std::vector<uint8_t> OwnStamp() {
    uint8_t stamp[QZ_LINK_STAMP_SIZE], block[QZ_LINKER_BLOCK_SIZE];
    CopyLinkStamp(stamp, block);
    return std::vector<uint8_t>(stamp, stamp + QZ_LINK_STAMP_SIZE);
}

// A stand-in player: filler bytes with the given number of stamps in between.
std::vector<uint8_t> DummyPlayer(int stamps) {
    std::vector<uint8_t> data(300, 0x55);
    for (int i = 0; i < stamps; i++) {
        std::vector<uint8_t> stamp = OwnStamp();
        data.insert(data.end(), stamp.begin(), stamp.end());
        data.insert(data.end(), 123, 0xAA);
    }
    return data;
}

int RunLink(const std::string& player, const std::string& applet, const std::string& output) {
    std::string tool = std::string(QZ_BINARY_DIR) + "/bin/qzlink";
    std::string command = "'" + tool + "' '" + player + "' '" + applet + "' -o '" + output + "' 2>/dev/null";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

TEST(LinkStamp, LayoutAndPlaceholder) {
    uint8_t stamp[QZ_LINK_STAMP_SIZE], block[QZ_LINKER_BLOCK_SIZE];
    CopyLinkStamp(stamp, block);
    EXPECT_EQ(std::string((const char*)stamp, 30), "Pellomar Brightline Amusements");
    const uint8_t tail[] = {0, 0, 0xDE, 0xAD, 0xC0, 0xDE, 0xC0, 0xDE, 0xCA, 0xFE, 0xC0, 0xCA, 0xC0, 0x1A, 0};
    EXPECT_EQ(std::memcmp(stamp + 30, tail, sizeof tail), 0);
    for (size_t i = 0; i < QZ_LINKER_TEXT_SIZE; i++) ASSERT_EQ(block[i], 0);
    const uint8_t words[] = {0xDE, 0xAD, 0xBE, 0xEF, 0xFE, 0xED, 0xF0, 0x0D, 0xBE, 0xEF, 0xF0, 0x0D};
    EXPECT_EQ(std::memcmp(block + QZ_LINKER_TEXT_SIZE, words, sizeof words), 0);
    const char* credit = (const char*)block + QZ_LINKER_CREDIT_POS;
    EXPECT_NE(std::strstr(credit, "Quarnelix"), nullptr);
    EXPECT_LT(std::strlen(credit), QZ_LINKER_CREDIT_SIZE);

    uint64_t offset = 99;
    EXPECT_EQ(ReadLinkStamp(stamp, &offset), 0);
    EXPECT_EQ(offset, 99u);
    WriteLinkStampOffset(stamp, 0, 0x01020304);
    EXPECT_EQ(ReadLinkStamp(stamp, &offset), 1);
    EXPECT_EQ(offset, 0x01020304u);
}

TEST(LinkStamp, ExecutableHoldsExactlyOneStamp) {
    // This test program links the stamp like the player does; the link tool must find it once.
    std::vector<uint8_t> self = ReadFile("/proc/self/exe");
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(FindLinkStamps(self.data(), self.size()).size(), 1u);
    // So must the player itself, the file the link tool is given.
    for (const char* name : {"qzlink", "qzplayer"}) {
        std::vector<uint8_t> tool = ReadFile(std::string(QZ_BINARY_DIR) + "/bin/" + name);
        ASSERT_FALSE(tool.empty()) << name;
        EXPECT_EQ(FindLinkStamps(tool.data(), tool.size()).size(), 1u) << name;
    }
}

TEST(LinkStamp, LinkToolAppendsAndFillsTheStamp) {
    std::string dir = testing::TempDir();
    std::string player = dir + "qzlink_player", applet = dir + "qzlink_applet.qza", output = dir + "qzlink_out";
    std::vector<uint8_t> playerData = DummyPlayer(1);
    WriteFile(player, playerData);
    chmod(player.c_str(), 0750);
    ByteBuilder b;
    b.raw(std::string("QZA\0", 4)).u8(11).cstr("Linked Game").u8(26).i32(1).i32(0).cstr("f.txt").i32(3).raw("abc");
    b.u8(1).i32(4).raw("CODE");
    WriteFile(applet, b.bytes);

    ASSERT_EQ(RunLink(player, applet, output), 0);
    std::vector<uint8_t> out = ReadFile(output);
    ASSERT_EQ(out.size(), playerData.size() + b.size());
    std::vector<size_t> stamps = FindLinkStamps(out.data(), out.size());
    ASSERT_EQ(stamps.size(), 1u);
    EXPECT_EQ(stamps[0], 300u);
    uint64_t offset = 0;
    ASSERT_EQ(ReadLinkStamp(out.data() + stamps[0], &offset), 1);
    EXPECT_EQ(offset, playerData.size());
    EXPECT_EQ(std::memcmp(out.data() + offset, b.bytes.data(), b.size()), 0);
    // Everything but the offset word is the player as it was.
    std::vector<uint8_t> head(out.begin(), out.begin() + playerData.size());
    WriteLinkStampOffset(head.data(), stamps[0], QZ_LINK_NO_APPLET);
    EXPECT_EQ(head, playerData);
    struct stat st;
    ASSERT_EQ(stat(output.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    // The linked file reads back as an appended applet.
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    qzPlayerContext context;
    context.appended = 1;
    context.appendedOffset = offset;
    context.appletPath = context.programPath = output;
    qzAppletDescriptor descriptor;
    EXPECT_EQ(ReadAppletContainer(&context, &descriptor), 0);
    EXPECT_EQ(descriptor.title, "Linked Game");
    EXPECT_EQ(descriptor.containerBase, offset);
    ASSERT_EQ(chdir(cwd), 0);

    // A player that already carries an applet is refused.
    std::string again = dir + "qzlink_again";
    EXPECT_NE(RunLink(output, applet, again), 0);
    EXPECT_FALSE(Exists(again));
    std::remove(player.c_str());
    std::remove(applet.c_str());
    std::remove(output.c_str());
}

TEST(LinkStamp, LinkToolRefusesBadInput) {
    std::string dir = testing::TempDir();
    std::string applet = dir + "qzlink_refuse.qza", notApplet = dir + "qzlink_refuse.txt";
    ByteBuilder b;
    b.raw(std::string("QZA\0", 4)).u8(1).i32(0);
    WriteFile(applet, b.bytes);
    WriteFile(notApplet, {'h', 'e', 'l', 'l', 'o'});
    const struct {
        int stamps;
        bool validApplet;
        const char* what;
    } cases[] = {{0, true, "no stamp"}, {2, true, "two stamps"}, {1, false, "not an applet"}};
    for (const auto& c : cases) {
        std::string player = dir + "qzlink_refuse_player", output = dir + "qzlink_refuse_out";
        WriteFile(player, DummyPlayer(c.stamps));
        EXPECT_NE(RunLink(player, c.validApplet ? applet : notApplet, output), 0) << c.what;
        EXPECT_FALSE(Exists(output)) << c.what;
        std::remove(player.c_str());
    }
    EXPECT_NE(RunLink(dir + "qzlink_no_such_player", applet, dir + "qzlink_refuse_out"), 0);
    std::remove(applet.c_str());
    std::remove(notApplet.c_str());
}

}  // namespace link_stamp_test
