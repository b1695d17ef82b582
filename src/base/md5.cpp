// MD5 message digest (RFC 1321).
#include "base/md5.h"

#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Per-step shift amounts and additive constants (floor(abs(sin(i + 1)) * 2^32)).
const int kShift[64] = {7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
                        14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
                        4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};
const uint32_t kTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

void Transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; i++)
        x[i] = (uint32_t)block[i * 4] | ((uint32_t)block[i * 4 + 1] << 8) | ((uint32_t)block[i * 4 + 2] << 16) |
               ((uint32_t)block[i * 4 + 3] << 24);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; i++) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        uint32_t t = d;
        d = c;
        c = b;
        b = b + Rotl(a + f + kTable[i] + x[g], kShift[i]);
        a = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void Md5Init(qzMd5Context* ctx) {
    ctx->bitCount = 0;
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
    std::memset(ctx->block, 0, sizeof ctx->block);
}

void Md5Update(qzMd5Context* ctx, const void* bytes, size_t length) {
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    size_t used = (size_t)((ctx->bitCount >> 3) & 63);
    ctx->bitCount += (uint64_t)length << 3;
    if (used) {
        size_t room = 64 - used;
        if (length < room) {
            std::memcpy(ctx->block + used, in, length);
            return;
        }
        std::memcpy(ctx->block + used, in, room);
        Transform(ctx->state, ctx->block);
        in += room;
        length -= room;
    }
    while (length >= 64) {
        Transform(ctx->state, in);
        in += 64;
        length -= 64;
    }
    if (length) std::memcpy(ctx->block, in, length);
}

void Md5Final(qzMd5Context* ctx, uint8_t digest[16]) {
    uint8_t bits[8];
    uint64_t count = ctx->bitCount;
    for (int i = 0; i < 8; i++) bits[i] = (uint8_t)(count >> (8 * i));
    // Pad with 0x80 and zeros to 56 bytes modulo 64, then append the bit count.
    static const uint8_t padding[64] = {0x80};
    size_t used = (size_t)((count >> 3) & 63);
    size_t padLen = used < 56 ? 56 - used : 120 - used;
    Md5Update(ctx, padding, padLen);
    Md5Update(ctx, bits, 8);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) digest[i * 4 + j] = (uint8_t)(ctx->state[i] >> (8 * j));
    std::memset(ctx, 0, sizeof *ctx);
}

std::string Md5HexDigest(const uint8_t digest[16]) {
    static const char hex[] = "0123456789abcdef";
    std::string out(32, '0');
    for (int i = 0; i < 16; i++) {
        out[i * 2] = hex[digest[i] >> 4];
        out[i * 2 + 1] = hex[digest[i] & 15];
    }
    return out;
}

std::string Md5Hex(const void* bytes, size_t length) {
    qzMd5Context ctx;
    uint8_t digest[16];
    Md5Init(&ctx);
    Md5Update(&ctx, bytes, length);
    Md5Final(&ctx, digest);
    return Md5HexDigest(digest);
}
