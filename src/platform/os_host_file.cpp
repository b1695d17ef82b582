// Host-path files over stdio with 64-bit positions.
#include "platform/os_host_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <new>

struct qzHostFile {
    FILE* stream;
};

qzHostFile* OsHostOpen(const char* path, bool write) {
    FILE* stream = std::fopen(path, write ? "wb" : "rb");
    if (!stream) return nullptr;
    qzHostFile* file = new (std::nothrow) qzHostFile{stream};
    if (!file) std::fclose(stream);
    return file;
}

int OsHostClose(qzHostFile* file) {
    if (!file) return 0;
    int result = std::fclose(file->stream) == 0 ? 0 : -1;
    delete file;
    return result;
}

size_t OsHostRead(qzHostFile* file, void* buffer, size_t count) { return std::fread(buffer, 1, count, file->stream); }

size_t OsHostWrite(qzHostFile* file, const void* buffer, size_t count) {
    return std::fwrite(buffer, 1, count, file->stream);
}

bool OsHostReadFailed(qzHostFile* file) { return std::ferror(file->stream) != 0; }

bool OsHostSeek(qzHostFile* file, uint64_t offset) {
    return offset <= static_cast<uint64_t>(INT64_MAX) && fseeko(file->stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool OsHostSize(qzHostFile* file, uint64_t* size) {
    if (fseeko(file->stream, 0, SEEK_END) != 0) return false;
    off_t end = ftello(file->stream);
    if (end < 0) return false;
    *size = static_cast<uint64_t>(end);
    return true;
}

bool OsHostIsRegularFile(qzHostFile* file) {
    struct stat st;
    return fstat(fileno(file->stream), &st) == 0 && S_ISREG(st.st_mode);
}

bool OsHostPathExists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
}

bool OsHostDeleteFile(const char* path) { return unlink(path) == 0; }

std::string OsHostCurrentDir() {
    char buffer[PATH_MAX + 1];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool OsHostChangeDir(const char* path) { return chdir(path) == 0; }
