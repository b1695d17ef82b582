// qzlink PLAYER APPLET -o OUTPUT
//
// Links an applet into a copy of the player: finds the player's one link stamp, writes the file
// offset at which the applet will lie into it and appends the applet. The output is written to a
// temporary file beside it and renamed into place, so a failed run never leaves a half-written file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "player/link_stamp.h"
#include "tool_file.h"

static int Fail(const char* message, const char* detail) {
    std::fprintf(stderr, "qzlink: %s%s%s\n", message, detail ? ": " : "", detail ? detail : "");
    return 1;
}

int main(int argc, char** argv) {
    const char* player = nullptr;
    const char* applet = nullptr;
    const char* output = nullptr;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else if (!player) {
            player = argv[i];
        } else if (!applet) {
            applet = argv[i];
        } else {
            player = nullptr;
            break;
        }
    }
    if (!player || !applet || !output) {
        std::fprintf(stderr, "usage: qzlink PLAYER APPLET -o OUTPUT\n");
        return 2;
    }

    std::vector<uint8_t> playerData, appletData;
    if (!ReadWholeFile(player, &playerData)) return Fail("cannot read player", player);
    if (!ReadWholeFile(applet, &appletData)) return Fail("cannot read applet", applet);
    if (appletData.size() < 4 ||
        (std::memcmp(appletData.data(), "QZA\0", 4) != 0 && std::memcmp(appletData.data(), "QZZ\0", 4) != 0))
        return Fail("not an applet", applet);

    std::vector<size_t> stamps = FindLinkStamps(playerData.data(), playerData.size());
    if (stamps.empty()) return Fail("no link stamp found in player", player);
    if (stamps.size() > 1) return Fail("more than one link stamp found in player", player);
    size_t stamp = stamps[0];
    const uint8_t* word = playerData.data() + stamp + QZ_LINK_OFFSET_POS;
    uint32_t current = ((uint32_t)word[0] << 24) | ((uint32_t)word[1] << 16) | ((uint32_t)word[2] << 8) | word[3];
    if (current != QZ_LINK_NO_APPLET) return Fail("player already has an applet linked", player);
    // The offset is a 32-bit word, and the placeholder value itself cannot be an offset.
    if ((uint64_t)playerData.size() >= QZ_LINK_NO_APPLET) return Fail("player too large", player);
    WriteLinkStampOffset(playerData.data(), stamp, (uint32_t)playerData.size());

    std::string temp = std::string(output) + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return Fail("cannot create output", output);
    FILE* out = fdopen(fd, "wb");
    bool ok = out != nullptr;
    if (!out) close(fd);
    ok = ok && std::fwrite(playerData.data(), 1, playerData.size(), out) == playerData.size();
    ok = ok && (appletData.empty() || std::fwrite(appletData.data(), 1, appletData.size(), out) == appletData.size());
    if (out && std::fclose(out) != 0) ok = false;
    struct stat st;
    mode_t mode = stat(player, &st) == 0 ? (st.st_mode & 07777) : 0755;
    ok = ok && chmod(name.data(), mode | S_IXUSR) == 0;
    ok = ok && std::rename(name.data(), output) == 0;
    if (!ok) {
        std::remove(name.data());
        return Fail("cannot write output", output);
    }
    return 0;
}
