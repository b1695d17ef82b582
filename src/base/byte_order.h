// Byte order of the host and the reversal of a value's bytes, for the file and memory formats
// that name the order of their numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

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

// Big-endian 16- and 32-bit values of file data.
inline uint32_t LoadBE16(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }
inline uint32_t LoadBE32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// Appends a 16- or 32-bit value to file data, big-endian.
inline void AppendBE16(std::string& out, uint32_t v) {
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}
inline void AppendBE32(std::string& out, uint32_t v) {
    AppendBE16(out, v >> 16);
    AppendBE16(out, v & 0xFFFF);
}
