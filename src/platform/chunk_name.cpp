// Building and parsing chunk file names, display names and small path operations.
#include "platform/chunk_name.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/os_env.h"

namespace {

const char kChunkPrefix[] = ":::chunk";
constexpr size_t kChunkPrefixLen = sizeof(kChunkPrefix) - 1;

// Reads an unsigned decimal number; false on no digits or overflow.
bool ReadDecimal(const char*& p, uint64_t* value) {
    if (*p < '0' || *p > '9') return false;
    uint64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
        ++p;
    }
    *value = v;
    return true;
}

// Reads a hexadecimal number up to the end of the text; false on no digits, a stray character or
// overflow.
bool ReadHexToEnd(const char* p, uint64_t* value) {
    if (*p == '\0') return false;
    uint64_t v = 0;
    for (; *p; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9')
            digit = static_cast<unsigned>(*p - '0');
        else if (*p >= 'a' && *p <= 'f')
            digit = static_cast<unsigned>(*p - 'a' + 10);
        else if (*p >= 'A' && *p <= 'F')
            digit = static_cast<unsigned>(*p - 'A' + 10);
        else
            return false;
        if (v >> 60) return false;
        v = (v << 4) | digit;
    }
    *value = v;
    return true;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

char* MakeChunkName(const char* name, char* buffer, size_t bufferSize, int64_t base, uint64_t size, uint64_t offset,
                    const void* container) {
    if (!buffer || bufferSize == 0) return buffer;
    if (!name) name = "";
    int written;
    if (base == -1) {
        written = std::snprintf(buffer, bufferSize, ":::chunkS%d:%" PRIu64 "*%s?%" PRIxPTR, static_cast<int>(offset),
                                size, name, reinterpret_cast<uintptr_t>(container));
    } else {
        const char* path = container ? static_cast<const char*>(container) : "";
        written = std::snprintf(buffer, bufferSize, ":::chunk%" PRIu64 ":%" PRIu64 "*%s?%s",
                                static_cast<uint64_t>(base) + offset, size, name, path);
    }
    if (written < 0 || static_cast<size_t>(written) >= bufferSize) buffer[0] = '\0';
    return buffer;
}

bool IsChunkName(const char* name) { return name && std::strncmp(name, kChunkPrefix, kChunkPrefixLen) == 0; }

bool ParseChunkName(const char* name, qzChunkNameParts* out) {
    if (!IsChunkName(name)) return false;
    qzChunkNameParts parts;
    const char* p = name + kChunkPrefixLen;
    bool memory = false;
    if (*p == 'S') {
        memory = true;
        ++p;
        bool negative = false;
        if (*p == '-') {
            negative = true;
            ++p;
        }
        uint64_t source;
        if (!ReadDecimal(p, &source) || source > INT32_MAX) return false;
        parts.sourceNumber = negative ? -static_cast<int>(source) : static_cast<int>(source);
    } else {
        if (!ReadDecimal(p, &parts.offset)) return false;
    }
    if (*p++ != ':') return false;
    if (!ReadDecimal(p, &parts.size)) return false;
    if (*p++ != '*') return false;
    const char* question = std::strchr(p, '?');
    if (!question) return false;
    parts.embeddedName.assign(p, static_cast<size_t>(question - p));
    size_t dot = parts.embeddedName.rfind('.');
    if (dot != std::string::npos) parts.extension = parts.embeddedName.substr(dot);
    if (memory) {
        uint64_t address;
        if (!ReadHexToEnd(question + 1, &address) || address > UINTPTR_MAX) return false;
        parts.address = static_cast<uintptr_t>(address);
    } else {
        // The data must fit in a 64-bit signed file position.
        if (parts.offset > static_cast<uint64_t>(INT64_MAX) ||
            parts.size > static_cast<uint64_t>(INT64_MAX) - parts.offset)
            return false;
        parts.containerPath = question + 1;
    }
    if (out) *out = std::move(parts);
    return true;
}

std::string GetDisplayFileName(const char* name) {
    if (!name) return std::string();
    std::string text;
    qzChunkNameParts parts;
    if (IsChunkName(name) && ParseChunkName(name, &parts))
        text = parts.embeddedName;
    else
        text = name;
    if (text.size() < 2) return text;
    if (IsSeparator(text.back())) return std::string();
    size_t sep = text.find_last_of("/\\");
    if (sep != std::string::npos) return text.substr(sep + 1);
    size_t colon = text.find(':');
    if (colon != std::string::npos) return text.substr(colon + 1);
    return text;
}

bool AddPathPart(char* buffer, size_t bufferSize, const char* name) {
    if (!buffer || bufferSize == 0) return false;
    if (!name) name = "";
    size_t len = strnlen(buffer, bufferSize);
    if (len == bufferSize) return false;
    bool slash = len > 0 && !IsSeparator(buffer[len - 1]);
    size_t nameLen = std::strlen(name);
    if (len + (slash ? 1 : 0) + nameLen + 1 > bufferSize) return false;
    if (slash) buffer[len++] = '/';
    std::memcpy(buffer + len, name, nameLen + 1);
    return true;
}

void AddPathPart(std::string& path, const char* name) {
    if (!path.empty() && !IsSeparator(path.back())) path += '/';
    path += name ? name : "";
}

size_t GetPathPartEnd(const char* path) {
    if (!path) return 0;
    size_t start = 0;
    while (path[start] == '/') ++start;
    size_t lastSep = std::string::npos, lastColon = std::string::npos;
    for (size_t i = start; path[i]; ++i) {
        if (IsSeparator(path[i]))
            lastSep = i;
        else if (path[i] == ':')
            lastColon = i;
    }
    if (lastColon != std::string::npos && (lastSep == std::string::npos || lastColon > lastSep)) return lastColon + 1;
    if (lastSep != std::string::npos) return lastSep;
    return start;
}

std::string GetFileExtension(const char* name) {
    std::string file = GetDisplayFileName(name);
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? std::string() : file.substr(dot);
}

bool MakeTempFileNameFor(char* buffer, size_t bufferSize, const char* name) {
    // The extension is part of the name the file is created under, so the returned name is the
    // one that was reserved (no second, unreserved name beside an empty file).
    return OsGetTempFileNameWithSuffix(buffer, bufferSize, GetFileExtension(name).c_str());
}
