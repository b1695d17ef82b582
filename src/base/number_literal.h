// Reader of numbers written the way scripts write them: decimal and floating-point numbers,
// "$" and "0x" hexadecimal, "%" binary, each with an optional leading minus.
#pragma once

// Reads the number at the start of text. consumed receives the count of characters up to the end
// of the number (a leading sign included); error receives 0, ERR_SYNTAXERROR or
// ERR_VALUEEXPECTED. On an error the result is 0. Callers that need a whole value check that
// consumed equals the text's length.
double ParseNumberLiteral(const char* text, int* consumed, int* error);
