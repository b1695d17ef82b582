// CRC-32 (ISO 3309 / ITU-T V.42, reflected polynomial 0xEDB88320) of byte strings and files.
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

// CRC-32 of a file, read in blocks of 65536 bytes. Returns 0 and the checksum, or ERR_WRONGUSAGE
// for an empty name, ERR_MEM, or ERR_READFILE when the file cannot be opened.
int Crc32File(const char* name, uint32_t* crc);
