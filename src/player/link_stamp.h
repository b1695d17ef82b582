// The link stamp: a fixed record in the player's constant data that tells whether an applet is
// appended to the executable and at which file offset. The link tool finds it in a player file by
// its maker name and magic words, appends an applet and writes the offset into it.
//
//   0  30  maker name "Pellomar Brightline Amusements"
//  30   2  zero
//  32   4  big-endian file offset of the appended applet; 0xDEADC0DE when none is appended
//  36   4  0xC0DECAFE
//  40   4  0xC0CAC01A
//  44   1  zero
//
// The linker block follows directly: a 256-byte text slot, the words 0xDEADBEEF, 0xFEEDF00D,
// 0xBEEFF00D and a 104-byte zero-terminated credit sentence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t QZ_LINK_STAMP_SIZE = 45;
constexpr size_t QZ_LINKER_BLOCK_SIZE = 372;
constexpr size_t QZ_LINK_OFFSET_POS = 32;
constexpr uint32_t QZ_LINK_NO_APPLET = 0xDEADC0DEu;
constexpr size_t QZ_LINKER_TEXT_SIZE = 256;
constexpr size_t QZ_LINKER_CREDIT_POS = 268;  // within the linker block
constexpr size_t QZ_LINKER_CREDIT_SIZE = 104;

// Copies the stamp and the linker block out of the executable's constant data. The reads go
// through volatile accesses so that the compiler cannot fold the placeholder into the code: the
// link tool changes these bytes in the file after the player was built.
void CopyLinkStamp(uint8_t stamp[QZ_LINK_STAMP_SIZE], uint8_t linkerBlock[QZ_LINKER_BLOCK_SIZE]);

// Reads the offset word of a stamp copy. Returns 1 and the applet's file offset when an applet is
// appended, else 0.
int ReadLinkStamp(const uint8_t stamp[QZ_LINK_STAMP_SIZE], uint64_t* offset);

// Positions of every link stamp in data (any offset word).
std::vector<size_t> FindLinkStamps(const uint8_t* data, size_t size);

// Writes an applet offset into the stamp at data[position].
void WriteLinkStampOffset(uint8_t* data, size_t position, uint32_t offset);
