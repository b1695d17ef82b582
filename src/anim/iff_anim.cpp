#include "anim/iff_anim.h"

#include <cstring>

#include "image/ilbm.h"
#include "image/ilbm_body.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

constexpr int kDelayEntries = 4096;

}  // namespace

struct qzIffAnimReader {
    qzVfsFile* file;
    uint8_t* firstPlanes;  // the first frame's BODY
    uint8_t* chunky;       // width x height indices (or HAM codes)
    uint8_t* fieldPlanes;  // field animations: the other field / the detection copy
    uint8_t* fieldChunky;  // field animations with the default deinterlace
    uint32_t palette[256];
    uint32_t savedPalette[256];  // the palette as the first frame left it
    int32_t frameCount;
    int32_t nextFrame;  // the frame produced without rewinding or stepping
    int32_t width, height, depth, planes, compression, masking, transparentColour;
    int32_t halfBrite, ham6, ham8;
    int64_t firstDelta;  // file offset of the second FORM
    uint8_t* buffers[2];
    int32_t toggle;  // which buffer receives the next delta
    uint32_t* delays;
    int32_t fieldState;  // 0 unknown, 1 first changed row odd, 2 even
    int32_t fieldParity;
    int32_t deinterlace;
    int32_t loadTransparency;
    int64_t rowBytes;
    size_t planeSize;  // one plane: rowBytes x height
    size_t setSize;    // all planes
};

namespace {

bool ReadExact(qzVfsFile* file, void* buffer, size_t n) { return VfsRead(file, buffer, n) == n; }

bool ReadU32(qzVfsFile* file, uint32_t* out) {
    uint8_t b[4];
    if (!ReadExact(file, b, 4)) return false;
    *out = (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
    return true;
}

uint32_t Be32(const uint8_t* b) { return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]; }
uint32_t Be16(const uint8_t* b) { return (uint32_t)b[0] << 8 | b[1]; }

bool SeekTo(qzVfsFile* file, int64_t position) { return VfsSeek(file, position, QZ_VFS_SEEK_BEGINNING) >= 0; }
int64_t Tell(qzVfsFile* file) { return VfsSeek(file, 0, QZ_VFS_SEEK_CURRENT); }
int64_t Padded(uint32_t size) { return (int64_t)size + (size & 1); }

// A "CMAP" of `size` bytes at the file position into the palette (at most 256 colours), then the
// half-bright copies when the picture is extra half-brite. The file is left at the chunk's end.
bool ReadCmap(qzIffAnimReader* r, uint32_t size) {
    const int64_t end = Tell(r->file) + Padded(size);
    const uint32_t colours = size / 3;
    const uint32_t stored = colours < 256 ? colours : 256;
    for (uint32_t i = 0; i < stored; ++i) {
        uint8_t rgb[3];
        if (!ReadExact(r->file, rgb, 3)) return false;
        r->palette[i] = (uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2];
    }
    if (r->halfBrite) {
        for (uint32_t i = 0; i < colours && colours / 2 + i < 256; ++i)
            r->palette[colours / 2 + i] = r->palette[i] >> 1 & 0x7F7F7F;
    }
    return SeekTo(r->file, end);
}

void Rewind(qzIffAnimReader* r) {
    std::memcpy(r->buffers[0], r->firstPlanes, r->setSize);
    std::memcpy(r->buffers[1], r->firstPlanes, r->setSize);
    if (r->fieldPlanes) std::memcpy(r->fieldPlanes, r->firstPlanes, r->setSize);
    SeekTo(r->file, r->firstDelta);
}

// Big-endian values from a delta's data; reading past its end clears ok and yields 0.
struct Cursor {
    const uint8_t* data;
    size_t size;
    size_t at;
    bool ok;

    const uint8_t* Take(size_t n) {
        if (!ok || at > size || n > size - at) {
            ok = false;
            return nullptr;
        }
        at += n;
        return data + at - n;
    }
    uint32_t U8() {
        const uint8_t* p = Take(1);
        return p ? *p : 0;
    }
    uint32_t U16() {
        const uint8_t* p = Take(2);
        return p ? Be16(p) : 0;
    }
    uint32_t U32() {
        const uint8_t* p = Take(4);
        return p ? Be32(p) : 0;
    }
};

Cursor CursorAt(const uint8_t* data, size_t size, uint32_t offset) {
    return offset <= size ? Cursor{data, size, offset, true} : Cursor{data, size, 0, false};
}

// One plane of the target: stores that would leave the plane are dropped.
struct Plane {
    uint8_t* start;
    size_t size;
    int64_t stride;
    bool exclusiveOr;

    bool Inside(int64_t at, int unit) const { return at >= 0 && (uint64_t)at + unit <= size; }
    void Store(int64_t at, const uint8_t* bytes, int unit) const {
        if (!Inside(at, unit)) return;
        for (int i = 0; i < unit; ++i) start[at + i] = exclusiveOr ? start[at + i] ^ bytes[i] : bytes[i];
    }
};

// Byte vertical delta: one column per plane row byte.
bool DecodeOp5(Cursor& c, const Plane& p, int64_t rowBytes) {
    for (int64_t column = 0; column < rowBytes; ++column) {
        int64_t at = column;
        const uint32_t ops = c.U8();
        for (uint32_t i = 0; i < ops && c.ok; ++i) {
            const uint32_t op = c.U8();
            if (op & 0x80) {
                for (uint32_t n = op & 0x7F; n > 0 && c.ok; --n, at += p.stride) {
                    const uint8_t* b = c.Take(1);
                    if (b) p.Store(at, b, 1);
                }
            } else if (op == 0) {
                const uint32_t count = c.U8();
                const uint8_t* b = c.Take(1);
                for (uint32_t n = 0; b && n < count; ++n, at += p.stride) p.Store(at, b, 1);
            } else {
                at += (int64_t)op * p.stride;
            }
        }
        if (!c.ok) return false;
    }
    return true;
}

// Vertical delta with separate opcode and data lists; unit 2 or 4 bytes per column.
bool DecodeOp7(Cursor& ops, Cursor& data, const Plane& p, int64_t columns, int unit) {
    for (int64_t column = 0; column < columns; ++column) {
        int64_t at = column * unit;
        const uint32_t count = ops.U8();
        for (uint32_t i = 0; i < count && ops.ok && data.ok; ++i) {
            const uint32_t op = ops.U8();
            if (op & 0x80) {
                for (uint32_t n = op & 0x7F; n > 0 && data.ok; --n, at += p.stride) {
                    const uint8_t* b = data.Take(unit);
                    if (b) p.Store(at, b, unit);
                }
            } else if (op == 0) {
                const uint32_t rows = ops.U8();
                const uint8_t* b = data.Take(unit);
                for (uint32_t n = 0; b && n < rows; ++n, at += p.stride) p.Store(at, b, unit);
            } else {
                at += (int64_t)op * p.stride;
            }
        }
        if (!ops.ok || !data.ok) return false;
    }
    return true;
}

// The word form of the vertical delta with embedded data: `columns` 16-bit columns from plane
// byte `first`.
bool DecodeDeltaOp8Words(Cursor& c, const Plane& p, int64_t first, int64_t columns) {
    for (int64_t column = 0; column < columns; ++column) {
        int64_t at = first + column * 2;
        const uint32_t ops = c.U16();
        for (uint32_t i = 0; i < ops && c.ok; ++i) {
            const uint32_t op = c.U16();
            if (op & 0x8000) {
                for (uint32_t n = op & 0x7FFF; n > 0 && c.ok; --n, at += p.stride) {
                    const uint8_t* b = c.Take(2);
                    if (b) p.Store(at, b, 2);
                }
            } else if (op == 0) {
                const uint32_t count = c.U16();
                const uint8_t* b = c.Take(2);
                for (uint32_t n = 0; b && n < count && p.Inside(at, 2); ++n, at += p.stride) p.Store(at, b, 2);
            } else {
                at += (int64_t)op * p.stride;
            }
        }
        if (!c.ok) return false;
    }
    return true;
}

bool DecodeOp8Longs(Cursor& c, const Plane& p, int64_t columns, bool extraColumn) {
    for (int64_t column = 0; column < columns; ++column) {
        int64_t at = column * 4;
        const uint32_t ops = c.U32();
        for (uint32_t i = 0; i < ops && c.ok; ++i) {
            const uint32_t op = c.U32();
            if (op & 0x80000000u) {
                for (uint32_t n = op & 0x7FFFFFFF; n > 0 && c.ok; --n, at += p.stride) {
                    const uint8_t* b = c.Take(4);
                    if (b) p.Store(at, b, 4);
                }
            } else if (op == 0) {
                const uint32_t count = c.U32();
                const uint8_t* b = c.Take(4);
                for (uint32_t n = 0; b && n < count && p.Inside(at, 4); ++n, at += p.stride) p.Store(at, b, 4);
            } else {
                at += (int64_t)op * p.stride;
            }
        }
        if (!c.ok) return false;
    }
    return !extraColumn || DecodeDeltaOp8Words(c, p, columns * 4, 1);
}

// Runs at explicit positions: long runs (unit 4, 32-bit run count and length) or word runs
// (unit 2, 16-bit ones).
bool DecodeRuns(Cursor& c, const Plane& p, int unit) {
    const uint32_t runs = unit == 4 ? c.U32() : c.U16();
    for (uint32_t run = 0; run < runs && c.ok; ++run) {
        const int64_t v = unit == 4 ? (int64_t)(int32_t)c.U32() : (int64_t)(int16_t)c.U16();
        int64_t at = c.U32() & 0xFFFFFF;
        if (v < 0) {
            for (int64_t n = -v; n > 0 && c.ok; --n, at += p.stride) {
                const uint8_t* b = c.Take(unit);
                if (b) p.Store(at, b, unit);
            }
        } else {
            const uint8_t* b = c.Take(unit);
            for (int64_t n = 0; b && n < v && p.Inside(at, unit); ++n, at += p.stride) p.Store(at, b, unit);
        }
    }
    return c.ok;
}

// Reads the next delta FORM and applies it: the planes that hold the next frame, or null (an
// unknown operation, no "ANHD", a short read, data that runs out, or no memory). `frame` is the
// number of the frame being decoded, for the delay table.
uint8_t* DecodeIffAnimDelta(qzIffAnimReader* r, int frame) {
    bool header = false;
    int operation = 0, interleave = 0;
    uint32_t bits = 0, size = 0;
    for (;;) {
        uint8_t id[4];
        if (!ReadExact(r->file, id, 4) || !ReadU32(r->file, &size)) return nullptr;
        const uint32_t chunk = Be32(id);
        if (chunk == IffId("DLTA")) break;
        const int64_t end = Tell(r->file) + Padded(size);
        if (chunk == IffId("ANHD")) {
            uint8_t anhd[40];
            if (!ReadExact(r->file, anhd, sizeof anhd)) return nullptr;
            operation = anhd[0];
            if (!IsIffAnimDeltaOp(operation)) return nullptr;
            if (frame >= 0 && frame < kDelayEntries) r->delays[frame] = Be32(anhd + 14);
            interleave = anhd[18];
            bits = Be32(anhd + 20);
            header = true;
            if (size > sizeof anhd && !SeekTo(r->file, end)) return nullptr;
        } else if (chunk == IffId("CMAP")) {
            if (!ReadCmap(r, size)) return nullptr;
        } else if (chunk == IffId("FORM")) {
            uint8_t type[4];
            if (!ReadExact(r->file, type, 4)) return nullptr;
        } else if (!SeekTo(r->file, end)) {
            return nullptr;
        }
    }
    if (!header) return nullptr;
    // A chunk that claims more than the file holds is a short read: refused before allocating.
    const int64_t fileSize = VfsGetFileSize(r->file);
    if (fileSize >= 0 && Tell(r->file) + (int64_t)size > fileSize) return nullptr;
    uint8_t* data = static_cast<uint8_t*>(OsAlloc(size ? size : 1, 0));
    if (!data) return nullptr;
    if (!ReadExact(r->file, data, size)) {
        OsFree(data);
        return nullptr;
    }
    if (size & 1) VfsSeek(r->file, 1, QZ_VFS_SEEK_CURRENT);

    uint8_t* target = r->buffers[r->toggle];
    if (interleave == 0) r->toggle ^= 1;
    const bool field = (operation == 100 || operation == 101) && (bits & 0x40);
    bool detecting = false;
    if (field) {
        if (r->fieldState == 0) {
            if (!r->fieldPlanes) r->fieldPlanes = static_cast<uint8_t*>(OsAlloc(r->setSize, 1));
            if (!r->fieldPlanes) {
                OsFree(data);
                return nullptr;
            }
            std::memcpy(r->fieldPlanes, target, r->setSize);
            detecting = true;
        } else if (r->deinterlace == QZ_DEINTERLACE_DEFAULT && r->fieldPlanes) {
            std::memcpy(r->fieldPlanes, r->buffers[r->toggle], r->setSize);
        }
    }
    const bool longData = bits & 1;
    const int unit = longData ? 4 : 2;
    const int64_t columns = longData ? r->width / 32 : r->width / 16;
    bool ok = true;
    for (int plane = 0; plane < r->planes && ok; ++plane) {
        Cursor offsets{data, size, (size_t)plane * 4, true};
        const uint32_t offset = offsets.U32();
        if (!offsets.ok) {
            ok = false;
            break;
        }
        if (offset == 0) continue;
        const Plane p{target + (size_t)plane * r->planeSize, r->planeSize, r->rowBytes * (field ? 2 : 1),
                      operation == 5 && interleave == 1};
        Cursor c = CursorAt(data, size, offset);
        switch (operation) {
        case 5: ok = c.ok && DecodeOp5(c, p, r->rowBytes); break;
        case 7: {
            Cursor lists{data, size, (size_t)(plane + 8) * 4, true};
            Cursor values = CursorAt(data, size, lists.U32());
            ok = lists.ok && c.ok && values.ok && DecodeOp7(c, values, p, columns, unit);
            break;
        }
        case 8:
            ok = c.ok &&
                 (longData ? DecodeOp8Longs(c, p, columns, r->width % 32 != 0) : DecodeDeltaOp8Words(c, p, 0, columns));
            break;
        case 100: ok = c.ok && DecodeRuns(c, p, 4); break;
        default: ok = c.ok && DecodeRuns(c, p, 2); break;
        }
    }
    OsFree(data);
    if (!ok) return nullptr;
    if (detecting) {
        for (int plane = 0; plane < r->planes && r->fieldState == 0; ++plane) {
            for (int y = 0; y < r->height; ++y) {
                const size_t at = (size_t)plane * r->planeSize + (size_t)y * r->rowBytes;
                if (std::memcmp(target + at, r->fieldPlanes + at, (size_t)r->rowBytes) != 0) {
                    r->fieldState = (y & 1) ? 1 : 2;
                    break;
                }
            }
        }
    }
    return target;
}

void FreeReader(qzIffAnimReader* r) {
    OsFree(r->delays);
    OsFree(r->chunky);
    OsFree(r->fieldPlanes);
    OsFree(r->fieldChunky);
    OsFree(r->firstPlanes);
    OsFree(r->buffers[0]);
    OsFree(r->buffers[1]);
    if (r->file) VfsClose(r->file);
    OsFree(r);
}

qzIffAnimReader* Fail(qzIffAnimReader* r) {
    FreeReader(r);
    return nullptr;
}

bool IsForm(qzVfsFile* file, int64_t position) {
    uint8_t id[4];
    return SeekTo(file, position) && ReadExact(file, id, 4) && Be32(id) == IffId("FORM");
}

// The frames of a file without a "DPAN" count: 1 for the first picture and 1 for each FORM from
// the first delta on; 2 fewer when the deltas code fields. -1 when a chunk other than "FORM"
// stands at the top level.
int32_t CountFrames(qzIffAnimReader* r) {
    int32_t count = 1;
    int64_t at = r->firstDelta;
    bool fields = false;
    for (int form = 0;; ++form) {
        uint8_t id[4];
        uint32_t size = 0;
        if (!SeekTo(r->file, at) || !ReadExact(r->file, id, 4) || !ReadU32(r->file, &size)) break;
        if (Be32(id) != IffId("FORM")) return -1;
        if (count == INT32_MAX) break;
        ++count;
        at += 8 + Padded(size);
        if (form == 0) {
            // The first chunk inside the next FORM tells whether the deltas code fields.
            uint8_t head[21];
            if (SeekTo(r->file, at) && ReadExact(r->file, head, sizeof head) && Be32(head) == IffId("FORM") &&
                Be32(head + 12) == IffId("ANHD") && (head[20] == 100 || head[20] == 101))
                fields = true;
        }
    }
    return fields ? count - 2 : count;
}

}  // namespace

int IsIffAnimDeltaOp(int operation) {
    return operation == 5 || operation == 7 || operation == 8 || operation == 100 || operation == 101;
}

qzIffAnimReader* OpenIffAnim(qzVfsFile* file, int deinterlace, int* outWidth, int* outHeight, int* outFrameCount,
                             int loadTransparency) {
    auto* r = static_cast<qzIffAnimReader*>(OsAlloc(sizeof(qzIffAnimReader), 1));
    if (!r) {
        if (file) VfsClose(file);
        return nullptr;
    }
    r->file = file;
    r->loadTransparency = loadTransparency;
    r->deinterlace = deinterlace;
    r->delays = static_cast<uint32_t*>(OsAlloc(sizeof(uint32_t) * kDelayEntries, 1));
    if (!file || !r->delays) return Fail(r);
    const int64_t fileSize = VfsGetFileSize(file);
    if (!SeekTo(file, 24)) return Fail(r);

    uint32_t dpanFrames = 0, bodySize = 0;
    int64_t bodyData = 0;
    for (;;) {
        uint8_t id[4];
        uint32_t size = 0;
        if (!ReadExact(file, id, 4) || !ReadU32(file, &size)) return Fail(r);
        const uint32_t chunk = Be32(id);
        const int64_t start = Tell(file);
        if (chunk == IffId("BODY")) {
            bodySize = size;
            bodyData = start;
            break;
        }
        if (chunk == IffId("CMAP")) {
            if (!ReadCmap(r, size)) return Fail(r);
            continue;
        }
        uint8_t b[40];
        if (chunk == IffId("BMHD")) {
            if (!ReadExact(file, b, 20)) return Fail(r);
            r->width = (int32_t)Be16(b);
            r->height = (int32_t)Be16(b + 2);
            if (b[8] > 8) return Fail(r);
            r->planes = r->depth = b[8];
            r->masking = b[9];
            r->compression = b[10];
            r->transparentColour = (int32_t)Be16(b + 12);
        } else if (chunk == IffId("ANHD")) {
            if (!ReadExact(file, b, 40)) return Fail(r);
            r->delays[0] = Be32(b + 14);
        } else if (chunk == IffId("DPAN")) {
            if (!ReadExact(file, b, 8)) return Fail(r);
            dpanFrames = Be16(b + 2);
        } else if (chunk == IffId("CAMG")) {
            if (!ReadExact(file, b, 4)) return Fail(r);
            const uint32_t mode = Be32(b);
            if (mode & 0x80) r->halfBrite = 1;
            if (mode & 0x800) {
                r->depth = 24;
                if (r->planes < 7)
                    r->ham6 = 1;
                else
                    r->ham8 = 1;
            }
        }
        if (!SeekTo(file, start + Padded(size))) return Fail(r);
    }
    // The half-bright copies of the last CMAP were written as it was read.
    if (r->width == 0 || r->height == 0 || r->planes == 0) return Fail(r);
    std::memcpy(r->savedPalette, r->palette, sizeof r->palette);

    r->rowBytes = IlbmRowBytes(r->width);
    r->planeSize = (size_t)r->rowBytes * (size_t)r->height;
    r->setSize = r->planeSize * (size_t)r->planes;
    r->firstPlanes = static_cast<uint8_t*>(OsAlloc(r->setSize, 1));
    r->buffers[0] = static_cast<uint8_t*>(OsAlloc(r->setSize, 1));
    r->buffers[1] = static_cast<uint8_t*>(OsAlloc(r->setSize, 1));
    r->chunky = static_cast<uint8_t*>(OsAlloc((size_t)r->width * (size_t)r->height, 1));
    if (!r->firstPlanes || !r->buffers[0] || !r->buffers[1] || !r->chunky) return Fail(r);
    const int bodyRead =
        r->compression == 0
            ? ReadILBMBodyRaw(file, r->firstPlanes, bodySize, r->width, r->height, r->planes, r->masking)
            : ReadILBMBodyByteRun1(file, r->firstPlanes, bodySize, r->width, r->height, r->planes, r->masking);
    if (!bodyRead) return Fail(r);

    // The second FORM: after the first one by its size, else right after the BODY.
    uint32_t firstSize = 0;
    if (!SeekTo(file, 16) || !ReadU32(file, &firstSize)) return Fail(r);
    int64_t delta = Padded(firstSize) + 20;
    if (fileSize < 0 || fileSize == delta || !IsForm(file, delta)) {
        delta = bodyData + Padded(bodySize);
        if (!IsForm(file, delta)) return Fail(r);
    }
    r->firstDelta = delta;

    r->frameCount = dpanFrames ? (int32_t)dpanFrames : CountFrames(r);
    if (r->frameCount < 1) return Fail(r);

    // The first delta: its operation must be known; field animations find their field order.
    if (!SeekTo(file, delta)) return Fail(r);
    for (;;) {
        uint8_t id[4];
        uint32_t size = 0;
        if (!ReadExact(file, id, 4) || !ReadU32(file, &size)) return Fail(r);
        const uint32_t chunk = Be32(id);
        if (chunk == IffId("DLTA")) break;
        if (chunk == IffId("FORM")) {
            if (!ReadExact(file, id, 4)) return Fail(r);
            continue;
        }
        if (chunk == IffId("ANHD")) {
            uint8_t anhd[24];
            if (!ReadExact(file, anhd, sizeof anhd)) return Fail(r);
            const int operation = anhd[0];
            if (!IsIffAnimDeltaOp(operation)) return Fail(r);
            const uint32_t bits = Be32(anhd + 20);
            if ((operation == 100 || operation == 101) && (bits & 0x40)) {
                Rewind(r);
                int decoded = 0;
                while (r->fieldState == 0) {
                    if (!DecodeIffAnimDelta(r, decoded + 1)) return Fail(r);
                    ++decoded;
                }
                r->fieldParity = (decoded & 1) ^ (r->fieldState == 1 ? 1 : 0);
                if (deinterlace == QZ_DEINTERLACE_DEFAULT) {
                    r->fieldChunky = static_cast<uint8_t*>(OsAlloc((size_t)r->width * (size_t)r->height, 1));
                    if (!r->fieldChunky) return Fail(r);
                }
            }
            break;
        }
        if (!SeekTo(file, Tell(file) + Padded(size))) return Fail(r);
    }
    Rewind(r);
    r->nextFrame = 0;
    *outWidth = r->width;
    *outHeight = r->height;
    *outFrameCount = r->frameCount;
    return r;
}

uint32_t* LoadIffAnimFrame(qzIffAnimReader* r, int n, int* outHasTransparentPen) {
    if (outHasTransparentPen) *outHasTransparentPen = 0;
    if (!r || n < 0 || n >= r->frameCount) return nullptr;
    if (n != r->nextFrame) {
        if (n < r->nextFrame) {
            Rewind(r);
            r->nextFrame = 0;
        }
        for (int k = r->nextFrame; k < n; ++k) {
            if (k != 0) DecodeIffAnimDelta(r, k);
        }
    }
    r->nextFrame = n + 1;
    const uint8_t* planes = nullptr;
    if (n == 0) {
        planes = r->firstPlanes;
        std::memcpy(r->palette, r->savedPalette, sizeof r->palette);
    } else {
        planes = DecodeIffAnimDelta(r, n);
    }
    uint32_t* pixels = nullptr;
    if (planes) {
        const size_t area = (size_t)r->width * (size_t)r->height;
        std::memset(r->chunky, 0, area);
        PlanarToChunky(planes, r->width, r->height, r->planes, r->rowBytes, r->chunky, r->width);
        if (r->fieldState != 0) {
            const bool byDefault = r->deinterlace == QZ_DEINTERLACE_DEFAULT && r->fieldChunky && r->fieldPlanes;
            if (byDefault) {
                std::memset(r->fieldChunky, 0, area);
                PlanarToChunky(r->fieldPlanes, r->width, r->height, r->planes, r->rowBytes, r->fieldChunky, r->width);
            }
            const int p = r->fieldParity == 1 ? n : n ^ 1;
            for (int y = p & 1; y < r->height; y += 2) {
                uint8_t* row = r->chunky + (size_t)y * r->width;
                if (byDefault) {
                    std::memcpy(row, r->fieldChunky + (size_t)y * r->width, (size_t)r->width);
                } else if (r->deinterlace == QZ_DEINTERLACE_DOUBLE) {
                    // The last row of an odd height has no row below: it stays.
                    const int from = (p & 1) ? y - 1 : y + 1;
                    if (from < r->height) std::memcpy(row, r->chunky + (size_t)from * r->width, (size_t)r->width);
                }
            }
        }
        pixels = static_cast<uint32_t*>(OsAlloc(area * sizeof(uint32_t), 0));
        if (pixels) {
            if (r->ham6)
                DecodeHAM6Rows(r->chunky, pixels, r->palette, r->width, r->height);
            else if (r->ham8)
                DecodeHAM8Rows(r->chunky, pixels, r->palette, r->width, r->height);
            else
                LookupPaletteRows(r->chunky, pixels, r->palette, r->width, r->height);
            if (r->loadTransparency && r->masking == 2) {
                const bool ham = r->ham6 || r->ham8;
                const uint32_t key = ((uint32_t)r->transparentColour | (uint32_t)r->transparentColour << 12) & 0xFFFFFF;
                for (size_t i = 0; i < area; ++i) {
                    const bool clear =
                        ham ? (pixels[i] & 0xFFFFFF) == key : r->chunky[i] == ((uint32_t)r->transparentColour & 0xFF);
                    if (clear)
                        pixels[i] = ham ? key : pixels[i] & 0xFFFFFF;
                    else
                        pixels[i] |= 0xFF000000u;
                }
                if (outHasTransparentPen) *outHasTransparentPen = 1;
            }
        }
    }
    if (r->nextFrame >= r->frameCount) {
        Rewind(r);
        r->nextFrame = 0;
    }
    return pixels;
}

uint32_t GetIffAnimFrameDelay(const qzIffAnimReader* r, int n) {
    if (!r || n < 0 || n >= kDelayEntries) return 0;
    return (uint32_t)((uint64_t)r->delays[n] * 1000 / 60);
}

void CloseIffAnim(qzIffAnimReader* r) {
    if (r) FreeReader(r);
}
