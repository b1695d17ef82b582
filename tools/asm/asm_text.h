// Literal syntax shared by the assembler and the disassembler: integers, numbers, quoted strings.
#pragma once

#include <cstdint>
#include <string>

// Decimal or "0x" hexadecimal integer with an optional sign; the whole text must be used.
bool AsmParseInt(const std::string& text, int64_t* out);

// A name (label, function, mark): letters, digits, '_', '.', '$', not starting with a digit.
bool AsmIsName(const std::string& text);

// Number literal: decimal (as read by from_chars), "0x" hexadecimal integer, "inf", "-inf",
// "nan", or "bits:HHHHHHHHHHHHHHHH" giving the double's 64-bit pattern in hexadecimal.
bool AsmParseNumber(const std::string& text, uint64_t* bits);

// The shortest literal that AsmParseNumber reads back to exactly these bits.
std::string AsmFormatNumber(uint64_t bits);

// Double-quoted form of a byte string with escapes (\n \t \r \" \\ \0 \xNN).
std::string AsmQuote(const std::string& bytes);

// Reads a double-quoted string starting at text[*pos] == '"'; advances *pos past the closing
// quote. Returns false with a message for a bad escape or a missing closing quote.
bool AsmUnquote(const std::string& text, size_t* pos, std::string* out, std::string* error);
