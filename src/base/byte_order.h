// Byte order of the host and the reversal of a value's bytes, for the file and memory formats
// that name the order of their numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline bool HostIsBigEndian() {
    const uint16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 0;
}

inline void ReverseBytes(unsigned char* bytes, size_t n) {
    for (size_t i = 0; i < n / 2; i++) {
        unsigned char t = bytes[i];
        bytes[i] = bytes[n - 1 - i];
        bytes[n - 1 - i] = t;
    }
}
