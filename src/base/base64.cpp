// Base64 encoding and decoding.
#include "base/base64.h"

#include <cstring>

#include "base/error_codes.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a Base64 character, 64 for "=", -1 for anything else.
int CharValue(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=') return 64;
    return -1;
}

int Put(qzBase64Target* target, const char* bytes, size_t length) {
    switch (target->kind) {
    case BASE64_TO_STRING: target->string->append(bytes, length); return 0;
    case BASE64_TO_MEMORY:
        if (length > target->capacity - target->count) return ERR_MEM;
        std::memcpy(target->memory + target->count, bytes, length);
        target->count += length;
        return 0;
    default: {
        size_t done = target->write(target->writeContext, bytes, length);
        target->count += done;
        return done == length ? 0 : ERR_WRITE;
    }
    }
}

}  // namespace

int EncodeBase64(qzBase64Target* target, const void* bytes, size_t length) {
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    const bool lines = target->kind == BASE64_TO_FILE;
    char out[4096 + 64];
    size_t n = 0;
    for (size_t i = 0; i < length; i += 3) {
        size_t rest = length - i;
        uint32_t v = (uint32_t)in[i] << 16;
        if (rest > 1) v |= (uint32_t)in[i + 1] << 8;
        if (rest > 2) v |= in[i + 2];
        char quad[4] = {kAlphabet[(v >> 18) & 63], kAlphabet[(v >> 12) & 63], rest > 1 ? kAlphabet[(v >> 6) & 63] : '=',
                        rest > 2 ? kAlphabet[v & 63] : '='};
        for (char c : quad) {
            if (lines) {
                if (target->column == 72) {
                    out[n++] = '\n';
                    target->column = 0;
                }
                target->column++;
            }
            out[n++] = c;
        }
        if (n >= 4096) {
            if (int rc = Put(target, out, n)) return rc;
            n = 0;
        }
    }
    return n ? Put(target, out, n) : 0;
}

int DecodeBase64(const char* text, size_t length, qzBase64Target* target) {
    int group[4];
    int have = 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c < 33) continue;
        int v = CharValue(c);
        if (v < 0) return ERR_BADBASE64;
        group[have++] = v;
        if (have < 4) continue;
        have = 0;
        uint32_t bits = 0;
        for (int k = 0; k < 4; k++) bits = (bits << 6) | (uint32_t)(group[k] == 64 ? 0 : group[k]);
        char bytes[3] = {(char)(bits >> 16), (char)(bits >> 8), (char)bits};
        size_t count = group[2] == 64 ? 1 : group[3] == 64 ? 2 : 3;
        if (int rc = Put(target, bytes, count)) return rc;
        if (count < 3) return 0;
    }
    return have ? ERR_BADBASE64 : 0;
}

std::string Base64Encode(const void* bytes, size_t length) {
    std::string out;
    out.reserve(length / 3 * 4 + 4);
    qzBase64Target target;
    target.string = &out;
    EncodeBase64(&target, bytes, length);
    return out;
}

std::string Base64DecodeLenient(const char* text, size_t length) {
    std::string out;
    qzBase64Target target;
    target.string = &out;
    DecodeBase64(text, length, &target);
    return out;
}
