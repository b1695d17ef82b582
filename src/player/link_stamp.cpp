// The link stamp and the linker block in the player's constant data.
#include "player/link_stamp.h"

#include <cstring>

// The stamp and the linker block as one array, so that the block lies directly behind the stamp.
// volatile keeps every byte in the file and every read a real memory access.
extern const volatile uint8_t qzLinkStampData[QZ_LINK_STAMP_SIZE + QZ_LINKER_BLOCK_SIZE];
__attribute__((used)) const volatile uint8_t qzLinkStampData[QZ_LINK_STAMP_SIZE + QZ_LINKER_BLOCK_SIZE] = {
    // maker name (30) and two zero bytes
    'P', 'e', 'l', 'l', 'o', 'm', 'a', 'r', ' ', 'B', 'r', 'i', 'g', 'h', 't', 'l', 'i', 'n', 'e', ' ',
    'A', 'm', 'u', 's', 'e', 'm', 'e', 'n', 't', 's', 0, 0,
    // applet offset: none appended
    0xDE, 0xAD, 0xC0, 0xDE,
    // magic words and the closing zero
    0xC0, 0xDE, 0xCA, 0xFE, 0xC0, 0xCA, 0xC0, 0x1A, 0,
    // linker block: 256-byte text slot
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // three marker words
    0xDE, 0xAD, 0xBE, 0xEF, 0xFE, 0xED, 0xF0, 0x0D, 0xBE, 0xEF, 0xF0, 0x0D,
    // credit sentence, zero-padded to 104 bytes
    'M', 'a', 'd', 'e', ' ', 'w', 'i', 't', 'h', ' ', 'Q', 'u', 'a', 'r', 'n', 'e', 'l', 'i', 'x', ',',
    ' ', 't', 'h', 'e', ' ', 'C', 'r', 'o', 's', 's', '-', 'P', 'l', 'a', 't', 'f', 'o', 'r', 'm', ' ',
    'M', 'u', 'l', 't', 'i', 'm', 'e', 'd', 'i', 'a', ' ', 'A', 'p', 'p', 'l', 'i', 'c', 'a', 't', 'i',
    'o', 'n', ' ', 'L', 'a', 'y', 'e', 'r', '.', 0,
};

static_assert(sizeof(qzLinkStampData) == 417, "stamp and linker block are 45 + 372 bytes");

void CopyLinkStamp(uint8_t stamp[QZ_LINK_STAMP_SIZE], uint8_t linkerBlock[QZ_LINKER_BLOCK_SIZE]) {
    for (size_t i = 0; i < QZ_LINK_STAMP_SIZE; i++) stamp[i] = qzLinkStampData[i];
    for (size_t i = 0; i < QZ_LINKER_BLOCK_SIZE; i++) linkerBlock[i] = qzLinkStampData[QZ_LINK_STAMP_SIZE + i];
}

int ReadLinkStamp(const uint8_t stamp[QZ_LINK_STAMP_SIZE], uint64_t* offset) {
    const uint8_t* w = stamp + QZ_LINK_OFFSET_POS;
    uint32_t word = ((uint32_t)w[0] << 24) | ((uint32_t)w[1] << 16) | ((uint32_t)w[2] << 8) | w[3];
    if (word == QZ_LINK_NO_APPLET) return 0;
    *offset = word;
    return 1;
}

std::vector<size_t> FindLinkStamps(const uint8_t* data, size_t size) {
    // The pattern is the player's own stamp, so the search adds no second copy of it to a binary.
    uint8_t stamp[QZ_LINK_STAMP_SIZE], block[QZ_LINKER_BLOCK_SIZE];
    CopyLinkStamp(stamp, block);
    std::vector<size_t> found;
    if (size < QZ_LINK_STAMP_SIZE) return found;
    for (size_t i = 0; i + QZ_LINK_STAMP_SIZE <= size; i++) {
        if (data[i] != stamp[0]) continue;
        if (std::memcmp(data + i, stamp, QZ_LINK_OFFSET_POS) != 0) continue;
        if (std::memcmp(data + i + QZ_LINK_OFFSET_POS + 4, stamp + QZ_LINK_OFFSET_POS + 4,
                        QZ_LINK_STAMP_SIZE - QZ_LINK_OFFSET_POS - 4) != 0)
            continue;
        found.push_back(i);
    }
    return found;
}

void WriteLinkStampOffset(uint8_t* data, size_t position, uint32_t offset) {
    uint8_t* w = data + position + QZ_LINK_OFFSET_POS;
    w[0] = (uint8_t)(offset >> 24);
    w[1] = (uint8_t)(offset >> 16);
    w[2] = (uint8_t)(offset >> 8);
    w[3] = (uint8_t)offset;
}
