#include "image/gif_reader.h"

#include <cstring>

#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

constexpr int kTableGrowth = 4096;
constexpr int kMaxCodes = 4096;

struct qzGifFrameEntry {
    uint32_t delay;    // hundredths of a second
    uint8_t key;       // the frame alone determines the whole picture
    int64_t position;  // where the frame's blocks (extensions and image) start
};

}  // namespace

struct qzGifReader {
    qzVfsFile* file;
    int width;  // the logical screen
    int height;
    uint32_t globalTable[256];  // 0x00RRGGBB; entries the file does not give stay 0
    uint32_t localTable[256];
    const uint32_t* palette;  // the table of the frame being decoded (and disposed)
    uint32_t* canvas;         // the composed picture, width x height
    uint32_t* saveBuffer;     // the canvas under a frame that restores the previous picture
    int background;
    int nextFrame;  // the frame that decoding from the file position gives next; -1: unknown
    int frameCount;
    int64_t firstBlock;  // the file position after the header and the global table
    qzGifFrameEntry* frames;
    int capacity;
    // The frame decoded last, for its disposal.
    int disposal;
    int left;
    int top;
    int frameWidth;
    int frameHeight;
    int transparent;
    int disposalPending;  // the canvas shows that frame, its disposal is still to come
    int hasTransparentPen;
    int loadTransparency;
    int zeroCanvas;
    int loopCount;
};

namespace {

void FillPixels32(uint32_t* buffer, size_t count, uint32_t value) {
    for (size_t i = 0; i < count; ++i) buffer[i] = value;
}

// The part of a frame rectangle that lies on the screen, as [x0, x1) x [y0, y1).
struct Clip {
    int x0, y0, x1, y1;
};
Clip ClipToScreen(const qzGifReader* r, int left, int top, int width, int height) {
    Clip c;
    c.x0 = left < r->width ? left : r->width;
    c.y0 = top < r->height ? top : r->height;
    c.x1 = left + width < r->width ? left + width : r->width;
    c.y1 = top + height < r->height ? top + height : r->height;
    return c;
}

// Copies the on-screen part of a rectangle between two screen-sized buffers.
void CopyRect32(const uint32_t* source, uint32_t* destination, const Clip& c, int rowLength) {
    for (int y = c.y0; y < c.y1; ++y) {
        const size_t row = (size_t)y * (size_t)rowLength;
        for (int x = c.x0; x < c.x1; ++x) destination[row + x] = source[row + x];
    }
}

void FillRect32(uint32_t* buffer, const Clip& c, int rowLength, uint32_t value) {
    for (int y = c.y0; y < c.y1; ++y) {
        const size_t row = (size_t)y * (size_t)rowLength;
        for (int x = c.x0; x < c.x1; ++x) buffer[row + x] = value;
    }
}

void ClearCanvas(qzGifReader* r) {
    const uint32_t value = r->zeroCanvas && r->loadTransparency ? 0 : r->globalTable[r->background] & 0x00FFFFFFu;
    FillPixels32(r->canvas, (size_t)r->width * (size_t)r->height, value);
}

int ReadByte(qzGifReader* r) { return VfsGetC(r->file); }

int ReadU16(qzGifReader* r, bool* ok) {
    uint8_t b[2] = {};
    if (VfsRead(r->file, b, 2) != 2) *ok = false;
    return b[0] | (b[1] << 8);
}

bool ReadGifColorTable(qzGifReader* r, uint32_t* table, int n) {
    uint8_t rgb[768];
    if (VfsRead(r->file, rgb, (size_t)n * 3) != (size_t)n * 3) return false;
    for (int i = 0; i < n; ++i) table[i] = (uint32_t)rgb[i * 3] << 16 | (uint32_t)rgb[i * 3 + 1] << 8 | rgb[i * 3 + 2];
    return true;
}

void ApplyGifDisposal(qzGifReader* r) {
    const Clip c = ClipToScreen(r, r->left, r->top, r->frameWidth, r->frameHeight);
    if (r->disposal == 2) {
        const int index = r->transparent >= 0 ? r->transparent : r->background;
        FillRect32(r->canvas, c, r->width, r->palette[index] & 0x00FFFFFFu);
    } else if (r->disposal == 3) {
        CopyRect32(r->saveBuffer, r->canvas, c, r->width);
    }
}

// Reads data sub-blocks until the zero size. False at the end of the file or a short block.
bool SkipSubBlocks(qzGifReader* r) {
    uint8_t block[256];
    for (;;) {
        const int size = ReadByte(r);
        if (size < 0) return false;
        if (size == 0) return true;
        if (VfsRead(r->file, block, (size_t)size) != (size_t)size) return false;
    }
}

// An extension after its 0x21: the graphic control extension sets the frame's timing,
// disposal and transparency; the loop block sets the loop count; the rest is skipped.
bool ReadExtension(qzGifReader* r, uint32_t* delay, bool recordLoop) {
    const int label = ReadByte(r);
    if (label < 0) return false;
    if (label == 0xF9) {
        uint8_t data[256] = {};
        size_t filled = 0;
        for (;;) {
            const int size = ReadByte(r);
            if (size < 0) return false;
            if (size == 0) break;
            uint8_t block[256];
            if (VfsRead(r->file, block, (size_t)size) != (size_t)size) return false;
            // Only the start of the data counts; further sub-blocks fill what is left of it.
            const size_t take = (size_t)size < sizeof(data) - filled ? (size_t)size : sizeof(data) - filled;
            std::memcpy(data + filled, block, take);
            filled += take;
        }
        r->disposal = data[0] >> 2;
        *delay = (uint32_t)data[1] | (uint32_t)data[2] << 8;
        r->transparent = (data[0] & 1) ? data[3] : -1;
        return true;
    }
    if (label == 0xFF && recordLoop) {
        int size = ReadByte(r);
        if (size < 0) return false;
        if (size == 0) return true;
        uint8_t block[256];
        if (VfsRead(r->file, block, (size_t)size) != (size_t)size) return false;
        if (size == 11 && (std::memcmp(block, "NETSCAPE2.0", 11) == 0 || std::memcmp(block, "ANIMEXTS1.0", 11) == 0)) {
            size = ReadByte(r);
            if (size < 0) return false;
            if (size == 0) return true;
            if (VfsRead(r->file, block, (size_t)size) != (size_t)size) return false;
            if (size >= 3 && block[0] == 1) r->loopCount = block[1] | block[2] << 8;
        }
    }
    return SkipSubBlocks(r);
}

// Variable-width LZW of one frame, codes packed least significant bit first.
struct LzwDecoder {
    qzGifReader* r;
    uint8_t block[256];
    int blockSize = 0;
    int blockPos = 0;
    bool dataEnded = false;
    bool broken = false;
    uint32_t bits = 0;
    int bitCount = 0;
    int16_t* prefix = nullptr;
    uint8_t* suffix = nullptr;
    uint8_t* stack = nullptr;
    int stackTop = 0;
    int clear = 0;
    int end = 0;
    int nextFree = 0;
    int minSize = 0;
    int width = 0;
    int mask = 0;
    int previous = -1;
    int first = 0;

    ~LzwDecoder() {
        OsFree(prefix);
        OsFree(suffix);
        OsFree(stack);
    }

    bool Start(int minimum) {
        prefix = static_cast<int16_t*>(OsAlloc(kMaxCodes * sizeof(int16_t), 1));
        suffix = static_cast<uint8_t*>(OsAlloc(kMaxCodes, 1));
        stack = static_cast<uint8_t*>(OsAlloc(kMaxCodes + 1, 0));
        if (!prefix || !suffix || !stack) return false;
        minSize = minimum;
        clear = 1 << minSize;
        end = clear + 1;
        for (int i = 0; i < clear; ++i) suffix[i] = (uint8_t)i;
        Reset();
        return true;
    }

    void Reset() {
        nextFree = clear + 2;
        width = minSize + 1;
        mask = (1 << width) - 1;
        previous = -1;
    }

    // The next code, or -1 when the data has ended.
    int NextCode() {
        while (bitCount < width) {
            if (blockPos == blockSize) {
                const int size = dataEnded ? 0 : ReadByte(r);
                if (size <= 0) {
                    dataEnded = true;
                    return -1;
                }
                if (VfsRead(r->file, block, (size_t)size) != (size_t)size) {
                    dataEnded = true;
                    broken = true;
                    return -1;
                }
                blockSize = size;
                blockPos = 0;
            }
            bits |= (uint32_t)block[blockPos++] << bitCount;
            bitCount += 8;
        }
        const int code = (int)(bits & (uint32_t)mask);
        bits >>= width;
        bitCount -= width;
        return code;
    }

    // Fills the stack with the pixels of the next code. False at the end code, the end of the
    // data or a broken stream (broken is then set).
    bool Refill() {
        for (;;) {
            const int code = NextCode();
            if (code < 0 || code == end) return false;
            if (code > nextFree) return Fail();
            if (code == clear) {
                Reset();
                continue;
            }
            if (previous < 0) {
                // A code right after a clear must be a plain character.
                if (code >= clear) return Fail();
                stack[stackTop++] = suffix[code];
                first = code & 0xFF;
                previous = code;
                return true;
            }
            if (nextFree >= kMaxCodes) return Fail();
            int walk = code;
            if (code == nextFree) {
                stack[stackTop++] = (uint8_t)first;
                walk = previous;
            }
            while (walk >= clear) {
                if (stackTop >= kMaxCodes) return Fail();
                stack[stackTop++] = suffix[walk];
                walk = prefix[walk];
            }
            stack[stackTop++] = suffix[walk];
            first = suffix[walk];
            prefix[nextFree] = (int16_t)previous;
            suffix[nextFree] = (uint8_t)first;
            ++nextFree;
            if ((nextFree & mask) == 0 && nextFree < kMaxCodes) {
                ++width;
                mask = (1 << width) - 1;
            }
            previous = code;
            return true;
        }
    }

    bool Fail() {
        broken = true;
        return false;
    }

    // Passes over what is left of the image data, up to and including its block terminator. The
    // pixels are all there: a file that ends before the terminator ends the walk afterwards.
    void SkipRest() {
        if (!dataEnded) SkipSubBlocks(r);
    }
};

// Decodes one image after its 0x2C onto the canvas.
bool DecodeImage(qzGifReader* r, uint32_t delay, int64_t blockPosition, bool record) {
    bool ok = true;
    const int left = ReadU16(r, &ok);
    const int top = ReadU16(r, &ok);
    const int width = ReadU16(r, &ok);
    const int height = ReadU16(r, &ok);
    const int packed = ReadByte(r);
    if (!ok || packed < 0) return false;
    const bool interlaced = (packed & 0x40) != 0;
    if (record) {
        if (r->frameCount == r->capacity) {
            const int capacity = r->capacity + kTableGrowth;
            auto* larger = static_cast<qzGifFrameEntry*>(OsAlloc(sizeof(qzGifFrameEntry) * (size_t)capacity, 1));
            if (!larger) return false;
            if (r->frames) std::memcpy(larger, r->frames, sizeof(qzGifFrameEntry) * (size_t)r->capacity);
            OsFree(r->frames);
            r->frames = larger;
            r->capacity = capacity;
        }
        qzGifFrameEntry& entry = r->frames[r->frameCount++];
        entry.delay = delay;
        entry.key =
            left == 0 && top == 0 && width == r->width && height == r->height && r->transparent < 0 && r->disposal != 3;
        entry.position = blockPosition;
    }
    if (packed & 0x80) {
        if (!ReadGifColorTable(r, r->localTable, 1 << ((packed & 7) + 1))) return false;
        r->palette = r->localTable;
    }
    r->left = left;
    r->top = top;
    r->frameWidth = width;
    r->frameHeight = height;

    const Clip c = ClipToScreen(r, left, top, width, height);
    if (r->nextFrame == 0 && r->transparent >= 0 && r->disposal == 2) {
        FillPixels32(r->canvas, (size_t)r->width * (size_t)r->height, r->palette[r->transparent] & 0x00FFFFFFu);
    } else if (r->disposal == 3) {
        CopyRect32(r->canvas, r->saveBuffer, c, r->width);
    }

    const int minimum = ReadByte(r);
    if (minimum < 0 || minimum > 8) return false;
    LzwDecoder lzw;
    lzw.r = r;
    if (!lzw.Start(minimum)) return false;

    static const int kPassStart[4] = {0, 4, 2, 1};
    static const int kPassStep[4] = {8, 8, 4, 2};
    int pass = 0;
    int y = 0;
    for (int row = 0; row < height; ++row) {
        if (interlaced) {
            while (y >= height) {
                ++pass;
                y = kPassStart[pass];
            }
        }
        const int canvasY = top + y;
        const bool rowOnScreen = canvasY < r->height;
        uint32_t* line = r->canvas + (size_t)(rowOnScreen ? canvasY : 0) * (size_t)r->width;
        for (int x = 0; x < width; ++x) {
            if (lzw.stackTop == 0 && !lzw.Refill()) return false;
            const int index = lzw.stack[--lzw.stackTop];
            const int canvasX = left + x;
            if (!rowOnScreen || canvasX >= r->width || index == r->transparent) continue;
            line[canvasX] = r->palette[index] | 0xFF000000u;
        }
        y += interlaced ? kPassStep[pass] : 1;
    }
    lzw.SkipRest();
    ++r->nextFrame;
    return true;
}

// Decodes from the present file position; target -1 decodes every frame and records each in the
// frame table, otherwise decoding stops after frame target.
bool DecodeGifFrames(qzGifReader* r, int target) {
    for (;;) {
        uint32_t delay = 0;
        r->disposal = 0;
        r->transparent = -1;
        r->palette = r->globalTable;
        const int64_t position = VfsSeek(r->file, 0, QZ_VFS_SEEK_CURRENT);
        bool decoded = false;
        while (!decoded) {
            const int b = ReadByte(r);
            if (b < 0 || b == 0x3B) {
                r->hasTransparentPen = r->transparent >= 0 && r->loadTransparency;
                return target < 0;
            }
            if (b == 0x21) {
                if (!ReadExtension(r, &delay, target < 0)) return false;
            } else if (b == 0x2C) {
                if (!DecodeImage(r, delay, position, target < 0)) return false;
                decoded = true;
            }
        }
        if (r->nextFrame == target + 1) {
            r->hasTransparentPen = r->transparent >= 0 && r->loadTransparency;
            return true;
        }
        ApplyGifDisposal(r);
    }
}

void FreeReader(qzGifReader* r) {
    OsFree(r->frames);
    OsFree(r->canvas);
    OsFree(r->saveBuffer);
    if (r->file) VfsClose(r->file);
    OsFree(r);
}

}  // namespace

qzGifReader* OpenGifAnim(qzVfsFile* file, int* outWidth, int* outHeight, int* outFrameCount, int infoOnly,
                         int zeroCanvas, int loadTransparency) {
    if (!file) return nullptr;
    auto* r = static_cast<qzGifReader*>(OsAlloc(sizeof(qzGifReader), 1));
    if (!r) {
        VfsClose(file);
        return nullptr;
    }
    r->file = file;
    r->loadTransparency = loadTransparency;
    r->zeroCanvas = zeroCanvas;
    r->loopCount = -1;
    uint8_t header[6];
    if (VfsRead(file, header, 6) != 6 ||
        (std::memcmp(header, "GIF87", 5) != 0 && std::memcmp(header, "GIF89", 5) != 0)) {
        FreeReader(r);
        return nullptr;
    }
    bool ok = true;
    r->width = ReadU16(r, &ok);
    r->height = ReadU16(r, &ok);
    const int packed = ReadByte(r);
    r->background = ReadByte(r);
    const int aspect = ReadByte(r);
    if (!ok || packed < 0 || r->background < 0 || aspect < 0) {
        FreeReader(r);
        return nullptr;
    }
    if (infoOnly) {
        if (outWidth) *outWidth = r->width;
        if (outHeight) *outHeight = r->height;
        FreeReader(r);
        return nullptr;
    }
    const size_t pixels = (size_t)r->width * (size_t)r->height;
    r->frames = static_cast<qzGifFrameEntry*>(OsAlloc(sizeof(qzGifFrameEntry) * kTableGrowth, 1));
    r->capacity = kTableGrowth;
    r->canvas = pixels ? static_cast<uint32_t*>(OsAlloc(pixels * 4, 0)) : nullptr;
    r->saveBuffer = pixels ? static_cast<uint32_t*>(OsAlloc(pixels * 4, 0)) : nullptr;
    if (!r->frames || !r->canvas || !r->saveBuffer ||
        ((packed & 0x80) && !ReadGifColorTable(r, r->globalTable, 1 << ((packed & 7) + 1)))) {
        FreeReader(r);
        return nullptr;
    }
    ClearCanvas(r);
    r->firstBlock = VfsSeek(file, 0, QZ_VFS_SEEK_CURRENT);
    if (r->firstBlock < 0 || !DecodeGifFrames(r, -1)) {
        FreeReader(r);
        return nullptr;
    }
    r->nextFrame = -1;
    if (outWidth) *outWidth = r->width;
    if (outHeight) *outHeight = r->height;
    if (outFrameCount) *outFrameCount = r->frameCount;
    return r;
}

const uint32_t* ComposeGifAnimFrame(qzGifReader* r, int n, int* outHasTransparentPen) {
    if (outHasTransparentPen) *outHasTransparentPen = 0;
    if (!r || n < 0 || n >= r->frameCount) return nullptr;
    // The frame shown is disposed of only now that the next is asked for; a restart at a key
    // frame or at the start covers the whole canvas anyway.
    if (r->nextFrame == n && r->disposalPending) ApplyGifDisposal(r);
    r->disposalPending = 0;
    if (r->nextFrame != n) {
        int key = n;
        while (key >= 0 && !r->frames[key].key) --key;
        if (key >= 0) {
            r->nextFrame = key;
            VfsSeek(r->file, r->frames[key].position, QZ_VFS_SEEK_BEGINNING);
        } else {
            ClearCanvas(r);
            r->nextFrame = 0;
            VfsSeek(r->file, r->firstBlock, QZ_VFS_SEEK_BEGINNING);
        }
    }
    if (!DecodeGifFrames(r, n) || r->nextFrame != n + 1) {
        // The position is unknown after a failure: the next request restarts.
        r->nextFrame = -1;
        return nullptr;
    }
    r->disposalPending = 1;
    if (outHasTransparentPen) *outHasTransparentPen = r->hasTransparentPen;
    return r->canvas;
}

uint32_t* LoadGifAnimFrame(qzGifReader* r, int n, int* outHasTransparentPen) {
    const uint32_t* canvas = ComposeGifAnimFrame(r, n, outHasTransparentPen);
    if (!canvas) return nullptr;
    const size_t pixels = (size_t)r->width * (size_t)r->height;
    auto* copy = static_cast<uint32_t*>(OsAlloc(pixels * 4, 0));
    if (!copy) {
        if (outHasTransparentPen) *outHasTransparentPen = 0;
        return nullptr;
    }
    std::memcpy(copy, canvas, pixels * 4);
    return copy;
}

uint32_t GetGifAnimFrameDelay(const qzGifReader* r, int n) {
    if (!r || n < 0 || n >= r->frameCount) return 0;
    return r->frames[n].delay * 10;
}

int GetGifAnimLoopCount(const qzGifReader* r) { return r ? r->loopCount : -1; }

void CloseGifAnim(qzGifReader* r) {
    if (r) FreeReader(r);
}
