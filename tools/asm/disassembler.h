// Pieces of the disassembler shared by chunk printing and applet-container printing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "asm/asm_chunk.h"

// Player labels: name and the instruction index in the main function.
using AsmLabelList = std::vector<std::pair<std::string, int>>;

// Reads chunk bytes into the model. False with the reason when they do not decode or do not write
// back to the same bytes (then only the raw form reproduces them).
bool AsmDecodeChunk(const uint8_t* data, size_t size, AsmChunk* chunk, std::string* why);

// Text of a decoded chunk: header directives, the main function with a ".label NAME" line before
// each instruction a player label names (labels in instruction order, an index equal to the
// instruction count standing behind the last instruction), and the trailer as ".hex" lines.
std::string AsmChunkText(const AsmChunk& chunk, const AsmLabelList& labels);

// ".hex" lines of 16 bytes each.
void AsmHexLines(const std::string& bytes, std::string* out);

// Text of an applet container (data starting with "QZA\0" or "QZZ\0"); as QzDisassemble.
std::string AsmAppletText(const uint8_t* data, size_t size, std::string* error);
