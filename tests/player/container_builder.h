// A small big-endian byte builder for writing applet containers in tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct ByteBuilder {
    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }
    ByteBuilder& u8(int v) {
        bytes.push_back((uint8_t)v);
        return *this;
    }
    ByteBuilder& i16(int v) {
        u8((v >> 8) & 0xFF);
        return u8(v & 0xFF);
    }
    ByteBuilder& i32(int64_t v) {
        uint32_t w = (uint32_t)v;
        for (int s = 24; s >= 0; s -= 8) u8((w >> s) & 0xFF);
        return *this;
    }
    ByteBuilder& f64(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        for (int s = 56; s >= 0; s -= 8) u8((int)((bits >> s) & 0xFF));
        return *this;
    }
    ByteBuilder& raw(const std::string& s) {
        for (char c : s) bytes.push_back(static_cast<uint8_t>(c));
        return *this;
    }
    ByteBuilder& raw(const std::vector<uint8_t>& v) {
        bytes.insert(bytes.end(), v.begin(), v.end());
        return *this;
    }
    ByteBuilder& cstr(const std::string& s) {
        raw(s);
        return u8(0);
    }
    ByteBuilder& str16(const std::string& s) {
        i16((int)s.size());
        return raw(s);
    }
    // Complemented bytes ended by 0xFF.
    ByteBuilder& xstr(const std::string& s) {
        for (unsigned char c : s) u8((uint8_t)~c);
        return u8(0xFF);
    }
    // Overwrites a 32-bit word written earlier (for offsets known only later).
    void patch32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) bytes[at + i] = (uint8_t)(v >> (24 - 8 * i));
    }
};
