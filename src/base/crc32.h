// CRC-32 (ISO 3309 / ITU-T V.42, reflected polynomial 0xEDB88320) of byte strings.
#pragma once

#include <cstddef>
#include <cstdint>

// Builds the shared 256-entry table; start-up calls it once, later calls do nothing. The
// checksum functions call it themselves, so no caller can see an empty table.
void InitCrc32Table();
// The shared table (built on first use).
const uint32_t* GetCrc32Table();

// Continues a running CRC: start with crc = 0xFFFFFFFF, complement the final value.
uint32_t Crc32Update(uint32_t crc, const void* bytes, size_t length);
// The finished checksum of a byte string.
uint32_t Crc32(const void* bytes, size_t length);
