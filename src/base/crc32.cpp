// CRC-32 with one shared table.
#include "base/crc32.h"

#include <mutex>


namespace {
uint32_t crcTable[256];
std::once_flag crcTableOnce;

void BuildTable() {
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crcTable[n] = c;
    }
}
}  // namespace

void InitCrc32Table() { std::call_once(crcTableOnce, BuildTable); }

const uint32_t* GetCrc32Table() {
    InitCrc32Table();
    return crcTable;
}

uint32_t Crc32Update(uint32_t crc, const void* bytes, size_t length) {
    const uint32_t* table = GetCrc32Table();
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < length; i++) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t Crc32(const void* bytes, size_t length) {
    return Crc32Update(0xFFFFFFFFu, bytes, length) ^ 0xFFFFFFFFu;
}
