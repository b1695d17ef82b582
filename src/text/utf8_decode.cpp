// UTF-8 decoding for the font engines; see utf8_decode.h.
#include "text/utf8_decode.h"

#include "platform/os_alloc.h"
#include "text/font.h"

int DecodeTextToCodepoints(const char* text, size_t length, int utf8, uint32_t* buffer, size_t capacity,
                           uint32_t** codepoints, size_t* count, int* allocated) {
    *codepoints = nullptr;
    *count = 0;
    *allocated = 0;
    if (!utf8) return 1;
    uint32_t* out = buffer;
    int owned = 0;
    if (length > capacity) {
        if (length > SIZE_MAX / 4) return 1;
        out = static_cast<uint32_t*>(OsAlloc(length * 4, 0));
        if (!out) return 1;
        owned = 1;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    size_t n = 0;
    size_t i = 0;
    while (i < length) {
        uint8_t lead = p[i];
        if (lead < 0x80) {
            out[n++] = lead;
            i++;
            continue;
        }
        int ones = 0;
        while (ones < 8 && (lead & (0x80 >> ones))) ones++;
        if (ones == 1 || ones >= 6 || i + ones > length) {
            if (owned) OsFree(out);
            return 1;
        }
        static const uint8_t kLeadMask[6] = {0, 0, 0x1F, 0x0F, 0x07, 0x03};
        uint32_t code = (uint32_t)(lead & kLeadMask[ones]) << (6 * (ones - 1));
        for (int k = 1; k < ones; k++) {
            uint8_t c = p[i + k];
            if ((c & 0xC0) != 0x80) {
                if (owned) OsFree(out);
                return 1;
            }
            code |= (uint32_t)(c & 0x3F) << (6 * (ones - 1 - k));
        }
        out[n++] = code;
        i += ones;
    }
    *codepoints = out;
    *count = n;
    *allocated = owned;
    return 0;
}

qzCodepoints::qzCodepoints(const char* text, size_t length, int encoding) {
    if (encoding == ENCODING_UTF8 && DecodeTextToCodepoints(text, length, 1, local, sizeof local / sizeof local[0],
                                                            &codes, &count, &allocated) == 0) {
        decoded = true;
        return;
    }
    count = 0;
    codes = length <= sizeof local / sizeof local[0] ? local : static_cast<uint32_t*>(OsAlloc(length * 4, 0));
    if (!codes) return;
    for (size_t i = 0; i < length; i++) codes[i] = (uint8_t)text[i];
    count = length;
    allocated = codes != local;
}

qzCodepoints::~qzCodepoints() {
    if (allocated) OsFree(codes);
}
