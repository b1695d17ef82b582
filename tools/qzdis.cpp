// qzdis FILE: prints a chunk, an applet container (plain or packed) or the applet linked into a
// player as assembler text on stdout. Parts that do not decode are printed as raw bytes, named on
// standard error, and the exit status is 1.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "player/link_stamp.h"
#include "tool_file.h"

static bool IsContainer(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 4 && (memcmp(bytes.data(), "QZA\0", 4) == 0 || memcmp(bytes.data(), "QZZ\0", 4) == 0);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: qzdis FILE\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(argv[1], &bytes)) {
        fprintf(stderr, "qzdis: cannot read %s\n", argv[1]);
        return 1;
    }

    // A player with an applet linked into it: the applet runs from the stamp's offset to the end.
    size_t start = 0;
    std::vector<size_t> stamps;
    if (!IsContainer(bytes)) stamps = FindLinkStamps(bytes.data(), bytes.size());
    if (stamps.size() == 1) {
        const uint8_t* word = bytes.data() + stamps[0] + QZ_LINK_OFFSET_POS;
        uint32_t offset = ((uint32_t)word[0] << 24) | ((uint32_t)word[1] << 16) | ((uint32_t)word[2] << 8) | word[3];
        if (offset == QZ_LINK_NO_APPLET) {
            fprintf(stderr, "qzdis: %s: neither a chunk nor an applet, and no applet is linked into it\n", argv[1]);
            return 1;
        }
        if (offset > bytes.size()) {
            fprintf(stderr, "qzdis: %s: the linked applet's offset %u lies beyond the end of the file\n", argv[1],
                    offset);
            return 1;
        }
        start = offset;
        printf("; the applet linked into %s at byte %u\n", argv[1], offset);
    }

    std::string error;
    std::string text = QzDisassemble(bytes.data() + start, bytes.size() - start, &error);
    fwrite(text.data(), 1, text.size(), stdout);
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "qzdis: cannot write the text\n");
        return 1;
    }
    if (!error.empty()) {
        fprintf(stderr, "qzdis: %s: %s (printed as raw bytes)\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
