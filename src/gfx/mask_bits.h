// Bits of 1-bit masks: one bit a pixel, the most significant bit of each byte is the leftmost
// pixel, a set bit is a visible pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

inline int GetMaskBit(const uint8_t* row, int64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

inline void SetMaskBit(uint8_t* row, int64_t x) { row[x >> 3] |= (uint8_t)(0x80 >> (x & 7)); }

inline void ClearMaskBit(uint8_t* row, int64_t x) { row[x >> 3] &= (uint8_t) ~(0x80 >> (x & 7)); }

inline void PutMaskBit(uint8_t* row, int64_t x, int bit) {
    if (bit)
        SetMaskBit(row, x);
    else
        ClearMaskBit(row, x);
}

// Sets the bits x0..x1 (inclusive) of a mask row, whole bytes at a time in the middle.
inline void SetMaskBitRun(uint8_t* row, int64_t x0, int64_t x1) {
    if (x1 < x0) return;
    const int64_t first = x0 >> 3, last = x1 >> 3;
    const uint8_t head = (uint8_t)(0xFF >> (x0 & 7)), tail = (uint8_t)(0xFF << (7 - (x1 & 7)));
    if (first == last) {
        row[first] |= (uint8_t)(head & tail);
        return;
    }
    row[first] |= head;
    for (int64_t b = first + 1; b < last; b++) row[b] = 0xFF;
    row[last] |= tail;
}

// Address of row y of a buffer with the given bytes per row (64-bit offset).
template <typename T>
inline T* RowAt(T* base, int64_t y, int64_t bytesPerRow) {
    using Byte = std::conditional_t<std::is_const_v<T>, const uint8_t, uint8_t>;
    return reinterpret_cast<T*>(reinterpret_cast<Byte*>(base) + y * bytesPerRow);
}

// Runs `copy(i)` for every column i of a mask row whose bit (x0 + i) is set, a byte at a time so
// that empty and full bytes cost one test.
template <typename F>
inline void ForEachSetBit(const uint8_t* maskRow, int64_t x0, int width, F copy) {
    int i = 0;
    // Up to the first byte boundary of the mask.
    while (i < width && ((x0 + i) & 7) != 0) {
        if (GetMaskBit(maskRow, x0 + i)) copy(i);
        i++;
    }
    const uint8_t* m = maskRow + ((x0 + i) >> 3);
    for (; i + 8 <= width; i += 8, m++) {
        uint8_t bits = *m;
        if (bits == 0xFF) {
            for (int k = 0; k < 8; k++) copy(i + k);
        } else if (bits) {
            for (int k = 0; k < 8; k++)
                if (bits & (0x80 >> k)) copy(i + k);
        }
    }
    for (; i < width; i++)
        if (GetMaskBit(maskRow, x0 + i)) copy(i);
}
