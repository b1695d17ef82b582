// Plain stdio files for the library cores (see libfile.h).
#include "libs/libfile.h"

#include <cstdio>
#include <string>

struct LibFile {
    FILE* fp;
};

static std::string PlatformName(const char* name) {
    // Paths shorter than 1024 characters use "/" as the separator.
    std::string path(name);
    if (path.size() < 1024)
        for (char& c : path)
            if (c == '\\') c = '/';
    return path;
}

LibFile* LibFileOpen(const char* name, int mode) {
    if (!name || !*name) return nullptr;
    const char* how = (mode & LIBFILE_UPDATE) ? "r+b" : (mode & LIBFILE_WRITE) ? "wb" : "rb";
    FILE* fp = std::fopen(PlatformName(name).c_str(), how);
    if (!fp) return nullptr;
    return new LibFile{fp};
}

int LibFileClose(LibFile* file) {
    if (!file) return 0;
    int rc = std::fclose(file->fp);
    delete file;
    return rc;
}

size_t LibFileRead(LibFile* file, void* buffer, size_t count) {
    return std::fread(buffer, 1, count, file->fp);
}

size_t LibFileWrite(LibFile* file, const void* buffer, size_t count) {
    return std::fwrite(buffer, 1, count, file->fp);
}

int64_t LibFileSeek(LibFile* file, int64_t offset, int mode) {
    int64_t previous = ftello(file->fp);
    if (previous < 0) return -1;
    int whence = mode == 1 ? SEEK_SET : mode == 2 ? SEEK_END : SEEK_CUR;
    if (fseeko(file->fp, (off_t)offset, whence) != 0) return -1;
    return previous;
}

int LibFileEof(LibFile* file) {
    return std::feof(file->fp) ? 1 : 0;
}

int LibFileError(LibFile* file) {
    return std::ferror(file->fp) ? 1 : 0;
}
