// Latin-1 character handling for the whole player: case folding, character classes and the
// conversion between ISO 8859-1 and UTF-8. Every case-insensitive name (commands, constants,
// labels, object data keys, linked files, loader lists) folds through these tables, never through
// the C locale.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Upper-case folding: a-z -> A-Z, 0xE0-0xFE -> 0xC0-0xDE except 0xF7; 0xDF and 0xFF unchanged.
extern const std::array<unsigned char, 256> qzUpperCaseTable;
// Lower-case folding, the inverse: A-Z and 0xC0-0xDE except 0xD7.
extern const std::array<unsigned char, 256> qzLowerCaseTable;
// Latin-1 letters: A-Z, a-z and 0xC0-0xFF except 0xD7 and 0xF7.
extern const std::array<unsigned char, 256> qzLetterTable;
// Printable and not blank: 0x21-0x7E and 0xA1-0xFF.
extern const std::array<unsigned char, 256> qzGraphTable;
// UTF-8 encoding of 0x80-0xFF, two bytes per character (index c - 0x80).
extern const std::array<std::array<unsigned char, 2>, 128> qzLatin1ToUtf8Table;

inline int ToUpperChar(int c) { return (c >= 0 && c <= 255) ? qzUpperCaseTable[c] : c; }
inline int ToLowerChar(int c) { return (c >= 0 && c <= 255) ? qzLowerCaseTable[c] : c; }

// Lower-cases a NUL-terminated text in place and returns it.
char* LowerCaseString(char* text);
// Case-insensitive compares: the difference of the first differing upper-case folded bytes, like
// strcmp / strncmp. Identical pointers compare equal; a null text sorts before any other.
int CompareNoCase(const char* a, const char* b);
int CompareNoCaseN(const char* a, const char* b, size_t n);

// Character classes; all answer 0 for values outside 0..255.
int IsAlphaChar(int c);
int IsGraphChar(int c);
int IsAlnumChar(int c);

// Index of the lowest set bit (0..31), -1 for 0.
int LowestSetBit(uint32_t mask);

// Character set numbers of ConvertCharset.
enum { QZ_CHARSET_LATIN1 = 0, QZ_CHARSET_UTF8 = 1 };

// Latin-1 -> UTF-8: bytes below 0x80 as they are, others as two bytes.
std::string ConvertLatin1ToUtf8(std::string_view text);
// UTF-8 -> Latin-1: bytes below 0x80 are copied; a byte with the top bit set and a byte after it
// are decoded as one two-byte sequence ((lead & 3) << 6 | trail & 0x3F). A lead byte at the very
// end of the input has no trail and is copied unchanged. Longer sequences are not supported.
std::string ConvertUtf8ToLatin1(std::string_view text);
// The same into a caller's buffer of bufferSize bytes (at least 1); the result is cut to fit and
// always NUL-terminated. Returns the number of bytes written before the NUL.
size_t ConvertUtf8ToLatin1(std::string_view text, char* buffer, size_t bufferSize);
// Text that other programs hand over (dialogs, the clipboard) -> Latin-1: each valid UTF-8
// character becomes its Latin-1 byte, or `replacement` when it has none; a byte that does not
// start a valid UTF-8 character is taken as a Latin-1 character itself.
std::string ConvertTextToLatin1(std::string_view text, char replacement);
// Decodes the UTF-8 character at text[i]: returns its length and its code point in *codePoint,
// or 0 when the bytes there are not valid UTF-8 (bad lead or trail byte, cut off at the end,
// over-long form, surrogate, beyond U+10FFFF).
size_t DecodeUtf8Char(std::string_view text, size_t i, uint32_t* codePoint);
// Converts between QZ_CHARSET_LATIN1 and QZ_CHARSET_UTF8 into *out; returns false (out untouched)
// for any other pair, including a conversion to the same set.
bool ConvertCharset(std::string_view text, int from, int to, std::string* out);
