// Host-path files over stdio with 64-bit positions.
#include "platform/os_host_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

// A host file is its stdio stream: opening one allocates nothing more, so a file that exists is
// never taken for a missing one because memory ran out.
static FILE* Stream(qzHostFile* file) { return reinterpret_cast<FILE*>(file); }

qzHostFile* OsHostOpen(const char* path, bool write) {
    return reinterpret_cast<qzHostFile*>(std::fopen(path, write ? "wb" : "rb"));
}

int OsHostClose(qzHostFile* file) {
    if (!file) return 0;
    return std::fclose(Stream(file)) == 0 ? 0 : -1;
}

size_t OsHostRead(qzHostFile* file, void* buffer, size_t count) { return std::fread(buffer, 1, count, Stream(file)); }

size_t OsHostWrite(qzHostFile* file, const void* buffer, size_t count) {
    return std::fwrite(buffer, 1, count, Stream(file));
}

bool OsHostReadFailed(qzHostFile* file) { return std::ferror(Stream(file)) != 0; }

bool OsHostSeek(qzHostFile* file, uint64_t offset) {
    return offset <= static_cast<uint64_t>(INT64_MAX) &&
           fseeko(Stream(file), static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool OsHostSize(qzHostFile* file, uint64_t* size) {
    if (fseeko(Stream(file), 0, SEEK_END) != 0) return false;
    off_t end = ftello(Stream(file));
    if (end < 0) return false;
    *size = static_cast<uint64_t>(end);
    return true;
}

bool OsHostIsRegularFile(qzHostFile* file) {
    struct stat st;
    return fstat(fileno(Stream(file)), &st) == 0 && S_ISREG(st.st_mode);
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
