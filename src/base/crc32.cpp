// CRC-32: the shared table, and checksums computed by zlib's crc32 (the same polynomial).
#include "base/crc32.h"

#include <zlib.h>

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
    // zlib's crc32 takes and gives the complemented running value, and lengths of 32 bits.
    const Bytef* p = static_cast<const Bytef*>(bytes);
    uLong c = ~crc & 0xFFFFFFFFu;
    while (length > 0) {
        uInt n = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
        c = crc32(c, p, n);
        p += n;
        length -= n;
    }
    return ~static_cast<uint32_t>(c);
}

uint32_t Crc32(const void* bytes, size_t length) { return Crc32Update(0xFFFFFFFFu, bytes, length) ^ 0xFFFFFFFFu; }
