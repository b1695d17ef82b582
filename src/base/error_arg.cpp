// The error-argument state shared by every layer.
#include "base/error_arg.h"

#include <cstring>

namespace {

char errorArgText[QZ_ERROR_ARG_SIZE];
int32_t errorArgIndex;

}  // namespace

void SetErrorArgString(const char* text) {
    if (!text) text = "";
    size_t n = std::strlen(text);
    if (n >= sizeof errorArgText) n = sizeof errorArgText - 1;
    // memmove: the text may lie inside the buffer.
    std::memmove(errorArgText, text, n);
    errorArgText[n] = 0;
}

void SetErrorArgIndex(int32_t n) { errorArgIndex = n; }

const char* GetErrorArgString() { return errorArgText; }

int32_t GetErrorArgIndex() { return errorArgIndex; }

void ClearErrorArg() {
    errorArgText[0] = 0;
    errorArgIndex = 0;
}
