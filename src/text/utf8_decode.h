// Decoding a text into character codes for the outline and system font engines.
#pragma once

#include <cstddef>
#include <cstdint>

// Decodes UTF-8 text into code points. With utf8 = 0 it fails at once (the caller then takes
// every byte as one character). The code points go to `buffer` when length code points fit in
// `capacity`, else to a new block (OsAlloc) that the caller frees with OsFree when *allocated is
// set. Sequences of two to five bytes are accepted; a stray continuation byte, a lead byte of six
// or more 1 bits, a continuation byte without its top bit or a sequence cut off by the end of the
// text fails. Returns 0 on success, 1 on failure (an allocated block is then freed).
int DecodeTextToCodepoints(const char* text, size_t length, int utf8, uint32_t* buffer, size_t capacity,
                           uint32_t** codepoints, size_t* count, int* allocated);

// The characters of a text as the engines walk it: decoded UTF-8 when the encoding asks for it
// and the text is valid, else one character per byte (Latin-1).
struct qzCodepoints {
    uint32_t local[1024];
    uint32_t* codes = nullptr;
    size_t count = 0;
    int allocated = 0;
    bool decoded = false;  // the text was valid UTF-8 and decoded as such
    qzCodepoints(const char* text, size_t length, int encoding);
    ~qzCodepoints();
    qzCodepoints(const qzCodepoints&) = delete;
    qzCodepoints& operator=(const qzCodepoints&) = delete;
    bool ok() const { return codes != nullptr || count == 0; }
};
