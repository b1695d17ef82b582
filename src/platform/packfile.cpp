// Packed files through zlib: default level, window 15, memory level 8, 16384-byte buffers.
#include "platform/packfile.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <zlib.h>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_dir.h"
#include "platform/os_file.h"
#include "platform/vfs.h"

const char qzPackMagic[4] = {'Q', 'Z', 'P', 'K'};
const char qzPackedAppletMagic[4] = {'Q', 'Z', 'Z', '\0'};

namespace {

constexpr size_t kChunk = 16384;

// A destination written beside its final name and renamed over it on success.
struct qzReplacement {
    std::string temporary;
    std::string finalName;
    qzVfsFile* file = nullptr;

    // Opens the temporary file; false (with the error argument set) when it cannot be made.
    bool Open(const char* target) {
        if (!target || !*target || IsChunkName(target) || !OsCreateSiblingTempFile(target, &temporary, &finalName) ||
            !(file = VfsOpen(temporary.c_str(), QZ_VFS_WRITE, "inbuilt"))) {
            SetErrorArgString(target ? target : "");
            if (!temporary.empty()) OsDeleteFile(temporary.c_str());
            temporary.clear();
            return false;
        }
        return true;
    }
    // Closes and renames over the target; returns 0, ERR_WRITE or ERR_WRITEFILE.
    int Commit(const char* target) {
        int rc = VfsClose(file) == 1 ? 0 : ERR_WRITE;
        file = nullptr;
        if (!rc && OsRename(temporary.c_str(), finalName.c_str()) != 1) {
            SetErrorArgString(target);
            rc = ERR_WRITEFILE;
        }
        if (!rc) temporary.clear();
        return rc;
    }
    ~qzReplacement() {
        if (file) VfsClose(file);
        if (!temporary.empty()) OsDeleteFile(temporary.c_str());
    }
};

struct qzVfsCloser {
    qzVfsFile* file = nullptr;
    ~qzVfsCloser() {
        if (file) VfsClose(file);
    }
};

}  // namespace

int MapZlibError(int zlibResult) {
    switch (zlibResult) {
    case Z_VERSION_ERROR: return ERR_ZLIBVERSION;
    case Z_MEM_ERROR: return ERR_MEM;
    case Z_DATA_ERROR:
    case Z_NEED_DICT: return ERR_ZLIBDATA;
    case Z_STREAM_ERROR: return ERR_ZLIBSTREAM;
    case Z_ERRNO: return ERR_ZLIBIO;
    default: return ERR_UNKNOWN;
    }
}

int CompressFileContainer(const char magic[4], const char* source, const char* destination, uint64_t* outSize) {
    std::unique_ptr<uint8_t[]> in(new (std::nothrow) uint8_t[kChunk]);
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[kChunk]);
    if (!in || !out) return ERR_MEM;
    qzVfsCloser src;
    src.file = VfsOpen(source, QZ_VFS_READ | QZ_VFS_ADAPTERS, "default");
    if (!src.file) {
        SetErrorArgString(source ? source : "");
        return ERR_READFILE;
    }
    qzReplacement dst;
    if (!dst.Open(destination)) return ERR_WRITEFILE;
    const uint8_t header[8] = {(uint8_t)magic[0], (uint8_t)magic[1], (uint8_t)magic[2], (uint8_t)magic[3], 0, 0, 0, 0};
    if (VfsWrite(dst.file, header, 8) != 8) return ERR_WRITE;

    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    int ret = deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    if (ret != Z_OK) return MapZlibError(ret);
    int rc = 0;
    int flush = Z_NO_FLUSH;
    uint64_t written = 8;
    do {
        size_t got = VfsRead(src.file, in.get(), kChunk);
        bool atEnd = VfsEof(src.file) != 0;
        if (got < kChunk && !atEnd) {
            rc = ERR_READ;
            break;
        }
        flush = atEnd ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = in.get();
        zs.avail_in = (uInt)got;
        do {
            zs.next_out = out.get();
            zs.avail_out = (uInt)kChunk;
            deflate(&zs, flush);
            size_t have = kChunk - zs.avail_out;
            if (VfsWrite(dst.file, out.get(), have) != have) {
                rc = ERR_WRITE;
                break;
            }
            written += have;
        } while (zs.avail_out == 0);
    } while (!rc && flush != Z_FINISH);
    deflateEnd(&zs);
    if (rc) return rc;
    if ((rc = dst.Commit(destination))) return rc;
    if (outSize) *outSize = written;
    return 0;
}

int DecompressFileContainer(const char magic[4], const char* source, const char* destination, int64_t offset,
                            uint64_t* outSize, uint64_t* outConsumed, uint8_t* buffer, size_t bufferSize) {
    if (outSize) *outSize = 0;
    if (outConsumed) *outConsumed = 0;
    std::unique_ptr<uint8_t[]> in(new (std::nothrow) uint8_t[kChunk]);
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[kChunk]);
    if (!in || !out) return ERR_MEM;
    qzVfsCloser src;
    src.file = VfsOpen(source, QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU, "default");
    if (!src.file) {
        SetErrorArgString(source ? source : "");
        return ERR_READFILE;
    }
    if (offset < 0 || VfsSeek(src.file, offset, QZ_VFS_SEEK_BEGINNING) < 0) return ERR_READ;
    uint8_t head[4];
    if (VfsRead(src.file, head, 4) < 4) return ERR_READ;
    if (std::memcmp(head, magic, 4) != 0) return ERR_PAKFORMAT;
    // The word behind the magic is not used. A file that ends inside it simply has no stream.
    VfsSeek(src.file, 4, QZ_VFS_SEEK_CURRENT);

    qzReplacement dst;
    if (!buffer && !dst.Open(destination)) return ERR_WRITEFILE;

    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    int ret = inflateInit2(&zs, 15);
    if (ret != Z_OK) return MapZlibError(ret);
    int rc = 0;
    bool complete = false;
    uint64_t produced = 0;
    ret = Z_OK;
    while (!rc && !complete && ret != Z_STREAM_END) {
        size_t got = VfsRead(src.file, in.get(), kChunk);
        if (got < kChunk && !VfsEof(src.file)) {
            rc = ERR_READ;
            break;
        }
        if (got == 0) break;
        zs.next_in = in.get();
        zs.avail_in = (uInt)got;
        do {
            zs.next_out = out.get();
            zs.avail_out = (uInt)kChunk;
            ret = inflate(&zs, Z_NO_FLUSH);
            if (ret == Z_NEED_DICT) ret = Z_DATA_ERROR;
            if (ret == Z_DATA_ERROR || ret == Z_MEM_ERROR) {
                rc = MapZlibError(ret);
                break;
            }
            size_t have = kChunk - zs.avail_out;
            if (buffer) {
                size_t room = bufferSize - (size_t)produced;
                size_t take = have < room ? have : room;
                std::memcpy(buffer + produced, out.get(), take);
                produced += take;
                if (produced == bufferSize) {
                    complete = true;
                    break;
                }
            } else {
                if (VfsWrite(dst.file, out.get(), have) != have) {
                    rc = ERR_WRITE;
                    break;
                }
                produced += have;
            }
        } while (zs.avail_out == 0);
    }
    if (ret == Z_STREAM_END) complete = true;
    if (outConsumed) *outConsumed = (uint64_t)zs.total_in + 8;
    inflateEnd(&zs);
    if (!rc && !complete) rc = ERR_ZLIBDATA;
    if (!rc && !buffer) rc = dst.Commit(destination);
    if (rc) return rc;
    if (outSize) *outSize = produced;
    return 0;
}
