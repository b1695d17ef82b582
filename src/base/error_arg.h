// The error argument: the text and the number that go with the next error code a command, the
// interpreter or the platform layer returns. The message of the code takes the text for its "%s"
// and the number for its "%d" and "%ld". One state serves every layer, so an argument set by the
// file layer reaches the report of the command that called it.
#pragma once

#include <cstddef>
#include <cstdint>

// Longest argument text kept, plus its terminator.
constexpr size_t QZ_ERROR_ARG_SIZE = 1024;

// Sets the text (null counts as empty; longer texts are cut to QZ_ERROR_ARG_SIZE - 1 characters).
// The text may be a piece of the current argument.
void SetErrorArgString(const char* text);
void SetErrorArgIndex(int32_t n);
const char* GetErrorArgString();
int32_t GetErrorArgIndex();
// Empties the text and sets the number to 0.
void ClearErrorArg();
