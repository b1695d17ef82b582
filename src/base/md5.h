// MD5 message digest (RFC 1321) of byte strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct qzMd5Context {
    uint64_t bitCount;  // message length in bits so far
    uint32_t state[4];
    uint8_t block[64];  // partial input block
};

void Md5Init(qzMd5Context* ctx);
void Md5Update(qzMd5Context* ctx, const void* bytes, size_t length);
void Md5Final(qzMd5Context* ctx, uint8_t digest[16]);

// The digest as 32 lower-case hexadecimal digits, in digest order.
std::string Md5HexDigest(const uint8_t digest[16]);
// MD5 of a byte string as 32 lower-case hexadecimal digits.
std::string Md5Hex(const void* bytes, size_t length);
