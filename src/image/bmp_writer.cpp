#include "image/bmp_writer.h"

#include <cstring>

#include "base/error_codes.h"
#include "image/image_out_file.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

void PutLE32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

}  // namespace

int SaveBMP(const char* name, const uint32_t* pixels, int width, int height) {
    if (!pixels || width < 1 || height < 1) return ERR_BADDIMENSIONS;
    const int64_t rowBytes = BmpRowBytes(width);
    const int64_t fileSize = 54 + (int64_t)height * rowBytes;
    if (fileSize > 0xFFFFFFFFLL) return ERR_BADDIMENSIONS;
    qzImageOutFile out;
    int rc = OpenImageOutFile(name, &out);
    if (rc) return rc;
    auto* row = static_cast<uint8_t*>(OsAlloc((size_t)rowBytes, 1));
    if (!row) {
        AbortImageOutFile(&out);
        return ERR_MEM;
    }
    uint8_t header[54] = {'B', 'M'};
    PutLE32(header + 2, (uint32_t)fileSize);
    PutLE32(header + 10, 54);
    PutLE32(header + 14, 40);
    PutLE32(header + 18, (uint32_t)width);
    PutLE32(header + 22, (uint32_t)height);
    header[26] = 1;
    header[28] = 24;
    if (VfsWrite(out.file, header, 2) != 2)
        rc = ERR_WRITE;
    else if (VfsWrite(out.file, header + 2, 52) != 52)
        rc = ERR_MEM;  // the header did not end at offset 54
    for (int y = height - 1; y >= 0 && !rc; y--) {
        const uint32_t* src = pixels + (int64_t)y * width;
        uint8_t* d = row;
        for (int x = 0; x < width; x++, d += 3) {
            const uint32_t c = src[x];
            d[0] = (uint8_t)c;
            d[1] = (uint8_t)(c >> 8);
            d[2] = (uint8_t)(c >> 16);
        }
        if (VfsWrite(out.file, row, (size_t)rowBytes) != (size_t)rowBytes) rc = ERR_WRITE;
    }
    OsFree(row);
    if (rc) {
        AbortImageOutFile(&out);
        return rc;
    }
    rc = CommitImageOutFile(&out, name);
    return rc == ERR_WRITE ? ERR_CLOSEFILE : rc;
}
