// Conversion of paths between the engine's ISO 8859-1 text and the file system's UTF-8.
#include "platform/os_path.h"

#include <sys/stat.h>

#include <cstring>

#include "base/charset.h"
#include "platform/chunk_name.h"

namespace {

// Whether text[begin, end) is valid UTF-8; *beyondLatin1 tells whether a character above 0xFF
// occurs and *nonAscii whether any byte has its top bit set.
bool ScanUtf8(std::string_view text, size_t begin, size_t end, bool* beyondLatin1) {
    *beyondLatin1 = false;
    for (size_t i = begin; i < end;) {
        uint32_t cp;
        size_t len = DecodeUtf8Char(text.substr(0, end), i, &cp);
        if (len == 0) return false;
        if (cp > 0xFF) *beyondLatin1 = true;
        i += len;
    }
    return true;
}

void AppendLatin1AsUtf8(std::string& out, const std::string& text, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

bool Exists(const std::string& fsPath) {
    struct stat st;
    return lstat(fsPath.c_str(), &st) == 0;
}

std::string SeparatorRule(const char* path) {
    char buffer[QZ_PATH_MAX];
    return OsConvertPath(path, buffer);
}

}  // namespace

const char* OsConvertPath(const char* path, char* buffer) {
    size_t len = strnlen(path, QZ_PATH_MAX);
    if (len >= QZ_PATH_MAX) return path;
    std::memcpy(buffer, path, len + 1);
    if (IsChunkName(path)) return buffer;
    for (size_t i = 0; i < len; ++i)
        if (buffer[i] == '\\') buffer[i] = '/';
    return buffer;
}

bool MacPathToFileSystem(const char* path, std::string* out) {
    if (!path) return false;
    std::string text = SeparatorRule(path);
    std::string result;
    result.reserve(text.size() * 2);
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find('/', begin);
        if (end == std::string::npos) end = text.size();
        bool beyond;
        if (ScanUtf8(text, begin, end, &beyond) && beyond)
            result.append(text, begin, end - begin);
        else
            AppendLatin1AsUtf8(result, text, begin, end);
        if (end == text.size()) break;
        result += '/';
        begin = end + 1;
    }
    *out = std::move(result);
    return true;
}

bool OsExistingFileSystemPath(const char* path, std::string* out) {
    std::string converted;
    if (!MacPathToFileSystem(path, &converted)) return false;
    if (!Exists(converted)) {
        std::string raw = SeparatorRule(path);
        if (raw != converted && Exists(raw)) {
            *out = std::move(raw);
            return true;
        }
    }
    *out = std::move(converted);
    return true;
}

std::string FileSystemToEnginePath(const std::string& fsPath) {
    std::string result;
    result.reserve(fsPath.size());
    FileSystemToEnginePath(fsPath, &result);
    return result;
}

void FileSystemToEnginePath(std::string_view fsPath, std::string* out) {
    out->clear();
    size_t begin = 0;
    while (begin <= fsPath.size()) {
        size_t end = fsPath.find('/', begin);
        if (end == std::string_view::npos) end = fsPath.size();
        bool beyond;
        if (ScanUtf8(fsPath, begin, end, &beyond) && !beyond) {
            for (size_t i = begin; i < end;) {
                uint32_t cp = 0;
                i += DecodeUtf8Char(fsPath.substr(0, end), i, &cp);
                *out += static_cast<char>(cp);
            }
        } else {
            out->append(fsPath.substr(begin, end - begin));
        }
        if (end == fsPath.size()) break;
        *out += '/';
        begin = end + 1;
    }
}

void CopyPathOut(const std::string& text, char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    size_t len = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), len);
    buffer[len] = '\0';
}
