// Bytecode assembler and disassembler for test applets and demos.
//
// The text form is described in tools/asm/FORMAT.md. The assembler writes chunk bytes itself and
// does not need a running VM; tests call it in-process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct AsmOptions {
    // Byte order of the chunk when the text does not name one with ".endian".
    bool bigEndian = false;

    // Overrides for deliberately broken chunks. They apply after the text is assembled and win
    // over the matching directives of the text.
    std::optional<std::string> signature;                 // bytes written instead of the 4-byte signature
    int byteOrderByte = -1;                               // 0..255: value of the byte-order byte
    int sizeBytes[8] = {-1, -1, -1, -1, -1, -1, -1, -1};  // 0..255: the eight size bytes
    std::optional<double> testNumber;                     // replaces the header's test number
    long long truncateAt = -1;                            // >= 0: keep only the first N bytes of the output

    // Wrap the chunk in an applet container (as the text's ".applet" does).
    bool applet = false;
};

struct AsmResult {
    std::vector<uint8_t> chunk;
    // Player labels declared with ".label NAME" in the main function: name and instruction index.
    std::vector<std::pair<std::string, int>> labels;
};

// Assembles a source text into chunk bytes. On failure returns an empty vector and, when error is
// not null, stores a message that starts with "line N: ".
std::vector<uint8_t> QzAssemble(const std::string& text, const AsmOptions& options, std::string* error);
std::vector<uint8_t> QzAssemble(const std::string& text, std::string* error = nullptr);
// As QzAssemble, also returning the player labels. Returns false on failure.
bool QzAssembleFull(const std::string& text, const AsmOptions& options, AsmResult* out, std::string* error);

// Prints chunk bytes as assembler text that assembles back to the same bytes. A chunk that cannot
// be decoded is printed in the raw form (".rawchunk" and ".hex" lines) and error, when not null,
// receives the reason; otherwise error is cleared.
std::string QzDisassemble(const uint8_t* data, size_t size, std::string* error);
