// MD5 message digest (RFC 1321) of byte strings and files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct qzMd5Context {
    uint64_t bitCount;     // message length in bits so far
    uint32_t state[4];
    uint8_t block[64];     // partial input block
};

void Md5Init(qzMd5Context* ctx);
void Md5Update(qzMd5Context* ctx, const void* bytes, size_t length);
void Md5Final(qzMd5Context* ctx, uint8_t digest[16]);

// The digest as 32 lower-case hexadecimal digits, in digest order.
std::string Md5HexDigest(const uint8_t digest[16]);
// MD5 of a byte string as 32 lower-case hexadecimal digits.
std::string Md5Hex(const void* bytes, size_t length);

// MD5 of a file, read in blocks of 65536 bytes. Returns 0 and the hexadecimal digest, or
// ERR_WRONGUSAGE for an empty name, ERR_MEM, or ERR_READFILE when the file cannot be opened.
int Md5File(const char* name, std::string* hex);
