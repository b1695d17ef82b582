// Base64 (RFC 2045 alphabet, "=" padding) encoding and decoding into one of three targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum { BASE64_TO_STRING = 0, BASE64_TO_MEMORY = 1, BASE64_TO_FILE = 2 };

// Write function of a file target: returns the number of bytes written.
typedef size_t (*qzBase64WriteFn)(void* context, const void* bytes, size_t length);

struct qzBase64Target {
    int kind = BASE64_TO_STRING;
    std::string* string = nullptr;    // BASE64_TO_STRING: appended to
    uint8_t* memory = nullptr;        // BASE64_TO_MEMORY: written at memory[count]
    size_t capacity = 0;              //   room in memory
    qzBase64WriteFn write = nullptr;  // BASE64_TO_FILE
    void* writeContext = nullptr;
    size_t count = 0;   // running count of bytes written (memory and file)
    size_t column = 0;  // file: characters since the last line feed
};

// Encodes length bytes into the target. A file target gets a line feed before a character
// whenever 72 characters have been written since the last one (the count includes line feeds);
// string and memory targets get no line breaks. Returns 0, ERR_WRITE for a short file write, or
// ERR_MEM when a memory target has no room left.
int EncodeBase64(qzBase64Target* target, const void* bytes, size_t length);

// Decodes text (control characters and blanks are skipped) into a memory or string target.
// Returns 0 or ERR_BADBASE64; on an error the bytes of the groups before it stay in the target.
int DecodeBase64(const char* text, size_t length, qzBase64Target* target);

// Base64 text of a byte string, without line breaks.
std::string Base64Encode(const void* bytes, size_t length);
// Decoded bytes of a text; an invalid text gives the bytes decoded before the fault.
std::string Base64DecodeLenient(const char* text, size_t length);
