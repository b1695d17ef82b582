// Message texts and Latin-1/UTF-8 conversion on arbitrary input: a registered (or translated)
// message with any '%' sequences and any argument text is filled without reading or writing
// outside its buffers, and Latin-1 text survives the trip through UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/charset.h"
#include "runtime/error_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    int32_t index;
    std::memcpy(&index, data, 4);
    size_t split = data[4] % (size - 5 + 1);
    size_t bufferSize = 1 + data[5] % 64;
    std::string rest(reinterpret_cast<const char*>(data + 6), size - 6);
    std::string message = rest.substr(0, split).c_str();
    std::string arg = rest.substr(split < rest.size() ? split : rest.size()).c_str();

    int code = AddUserErrorText(message.c_str());
    SetErrorArgString(arg.c_str());
    SetErrorArgIndex(index);
    std::vector<char> buffer(bufferSize);
    size_t n = FormatErrorText(code, buffer.data(), buffer.size());
    if (n >= bufferSize || buffer[n] != 0 || std::strlen(buffer.data()) != n) std::abort();
    if (FormatErrorText(code).size() >= QZ_ERROR_TEXT_SIZE) std::abort();
    FreeUserErrorTexts();

    if (ConvertUtf8ToLatin1(ConvertLatin1ToUtf8(rest)) != rest) std::abort();
    std::string latin = ConvertUtf8ToLatin1(rest);
    size_t m = ConvertUtf8ToLatin1(rest, buffer.data(), buffer.size());
    if (m >= bufferSize || latin.compare(0, m, buffer.data(), m) != 0) std::abort();
    return 0;
}
