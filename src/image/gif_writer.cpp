#include "image/gif_writer.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/error_codes.h"
#include "image/image_out_file.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

struct qzGifWriter {
    qzImageOutFile out;
    std::string name;
    int error = 0;  // a write came up short or a frame is incomplete: the file must not be kept
    int width = 0;
    int height = 0;
    int loopCount = 0;
    int framesWritten = 0;
    // The picture as a viewer shows it after the frames written so far, as 0x00RRGGBB words;
    // null until a frame may be optimised against it.
    uint32_t* previous = nullptr;
    uint8_t* scratch = nullptr;  // the frame's rectangle as written
};

namespace {

constexpr int kHashSize = 5003;
constexpr int kMaxCodes = 4096;
constexpr uint32_t kRgb = 0x00FFFFFFu;

void Put(qzGifWriter* w, const void* data, size_t size) {
    if (!w->error && VfsWrite(w->out.file, data, size) != size) w->error = ERR_WRITE;
}

void PutByte(qzGifWriter* w, int value) {
    const uint8_t b = (uint8_t)value;
    Put(w, &b, 1);
}

void PutU16(qzGifWriter* w, int value) {
    const uint8_t b[2] = {(uint8_t)(value & 0xFF), (uint8_t)((value >> 8) & 0xFF)};
    Put(w, b, 2);
}

// Codes packed least significant bit first into sub-blocks of 254 bytes.
struct CodePacker {
    qzGifWriter* w;
    uint8_t buffer[256];
    int count = 0;
    uint32_t bits = 0;
    int bitCount = 0;

    void Byte(uint8_t b) {
        buffer[count++] = b;
        if (count == 254) Flush();
    }
    void Flush() {
        if (count == 0) return;
        PutByte(w, count);
        Put(w, buffer, (size_t)count);
        count = 0;
    }
    void Code(int code, int width) {
        bits |= (uint32_t)code << bitCount;
        bitCount += width;
        while (bitCount >= 8) {
            Byte((uint8_t)(bits & 0xFF));
            bits >>= 8;
            bitCount -= 8;
        }
    }
    void Finish() {
        if (bitCount > 0) Byte((uint8_t)(bits & 0xFF));
        bits = 0;
        bitCount = 0;
        Flush();
    }
};

struct HashTables {
    int16_t code[kHashSize];
    int16_t prefix[kHashSize];
    uint8_t suffix[kHashSize];
};

// LZW-encodes the rectangle's pixels of the scratch image, row after row, as one string.
int EncodeRect(qzGifWriter* w, int left, int top, int width, int height, int minSize) {
    auto* hash = static_cast<HashTables*>(OsAlloc(sizeof(HashTables), 1));
    if (!hash) return ERR_MEM;
    CodePacker packer;
    packer.w = w;
    const int clear = 1 << minSize;
    const int end = clear + 1;
    int nextFree = clear + 2;
    int codeWidth = minSize + 1;
    int maxCode = (1 << codeWidth) - 1;
    const int pixelMask = clear - 1;

    packer.Code(clear, codeWidth);
    int current = -1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = w->scratch + (size_t)(top + y) * (size_t)w->width + left;
        for (int x = 0; x < width; ++x) {
            const int c = row[x] & pixelMask;
            if (current < 0) {
                current = c;
                continue;
            }
            int slot = c * 16 + current;
            if (slot >= kHashSize) slot -= kHashSize;
            const int step = slot == 0 ? 1 : kHashSize - slot;
            bool found = false;
            while (hash->code[slot] != 0) {
                if (hash->prefix[slot] == current && hash->suffix[slot] == c) {
                    found = true;
                    break;
                }
                slot -= step;
                if (slot < 0) slot += kHashSize;
            }
            if (found) {
                current = hash->code[slot];
                continue;
            }
            packer.Code(current, codeWidth);
            if (maxCode < nextFree) {
                ++codeWidth;
                maxCode = codeWidth == 12 ? kMaxCodes : (1 << codeWidth) - 1;
            }
            if (nextFree < kMaxCodes) {
                hash->code[slot] = (int16_t)nextFree;
                hash->prefix[slot] = (int16_t)current;
                hash->suffix[slot] = (uint8_t)c;
                ++nextFree;
            } else {
                std::memset(hash->code, 0, sizeof(hash->code));
                packer.Code(clear, codeWidth);
                codeWidth = minSize + 1;
                maxCode = (1 << codeWidth) - 1;
                nextFree = clear + 2;
            }
            current = c;
        }
    }
    if (current >= 0) {
        packer.Code(current, codeWidth);
        if (maxCode < nextFree) ++codeWidth;
    }
    packer.Code(end, codeWidth);
    packer.Finish();
    OsFree(hash);
    return 0;
}

int BitsFor(int colours) {
    int bits = 1;
    while (bits < 8 && colours > (1 << bits)) ++bits;
    return bits;
}

}  // namespace

int BeginGifWriter(const char* fileName, int width, int height, int loopCount, qzGifWriter** outWriter) {
    *outWriter = nullptr;
    if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF) return ERR_BADDIMENSIONS;
    void* memory = OsAlloc(sizeof(qzGifWriter), 1);
    if (!memory) return ERR_MEM;
    // Until it is handed out, the writer and its file go when memory runs out on the way.
    std::unique_ptr<qzGifWriter, void (*)(qzGifWriter*)> owner(new (memory) qzGifWriter, AbortGifWriter);
    qzGifWriter* w = owner.get();
    w->name = fileName ? fileName : "";
    w->width = width;
    w->height = height;
    w->loopCount = loopCount < 0 ? 0 : loopCount > 0xFFFF ? 0xFFFF : loopCount;
    const int rc = OpenImageOutFile(fileName, &w->out);
    if (rc) return rc;
    w->scratch = static_cast<uint8_t*>(OsAlloc((size_t)width * (size_t)height, 0));
    if (!w->scratch) return ERR_MEM;
    Put(w, "GIF89a", 6);
    PutU16(w, width);
    PutU16(w, height);
    const uint8_t screen[3] = {0xF7, 0, 0};
    Put(w, screen, 3);
    // A placeholder global colour table: every frame carries its own.
    uint8_t global[768] = {};
    std::memcpy(global, "Quarnelix 6!", 13);
    Put(w, global, sizeof(global));
    *outWriter = owner.release();
    return 0;
}

int WriteGifFrame(qzGifWriter* w, const uint8_t* pixels, int width, int height, int delay, const uint32_t* palette,
                  int colourCount, int transparentIndex, int optimise, int /*alwaysTransparent*/) {
    if (!w || !pixels || !palette || width != w->width || height != w->height) return ERR_BADDIMENSIONS;
    int colours = colourCount < 1 ? 1 : colourCount > 256 ? 256 : colourCount;
    uint32_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = i < colours ? palette[i] & kRgb : kRgb;
    if (transparentIndex > 255) transparentIndex = -1;
    // The transparent index needs a place in the table, or its pixels would be coded as others.
    if (transparentIndex >= colours) colours = transparentIndex + 1;
    const size_t pixelCount = (size_t)width * (size_t)height;
    std::memcpy(w->scratch, pixels, pixelCount);

    // The rectangle: the whole frame, or with a previous picture to build on, the box around the
    // pixels whose colour changed.
    int left = 0, top = 0, right = width - 1, bottom = height - 1;
    int marker = -1;  // the index standing for unchanged pixels
    const bool optimised = optimise && w->previous && transparentIndex < 0;
    if (optimised) {
        top = height;
        bottom = -1;
        left = width;
        right = -1;
        for (int y = 0; y < height; ++y) {
            const size_t row = (size_t)y * (size_t)width;
            for (int x = 0; x < width; ++x) {
                if (table[pixels[row + x]] == w->previous[row + x]) continue;
                if (top > y) top = y;
                bottom = y;
                if (left > x) left = x;
                if (right < x) right = x;
            }
        }
        if (bottom < 0) {
            top = bottom = left = 0;
            right = width > 1 ? 1 : 0;
        }
        // The marker must be an index no changed pixel of the rectangle uses: the last colour,
        // or else the first free index (the local table grows to hold it when needed).
        bool used[256] = {};
        for (int y = top; y <= bottom; ++y) {
            const size_t row = (size_t)y * (size_t)width;
            for (int x = left; x <= right; ++x) {
                if (table[pixels[row + x]] != w->previous[row + x]) used[pixels[row + x]] = true;
            }
        }
        marker = !used[colours - 1] ? colours - 1 : -1;
        for (int i = 0; marker < 0 && i < 256; ++i) {
            if (!used[i]) marker = i;
        }
        if (marker >= colours) colours = marker + 1;
        if (marker >= 0) {
            for (int y = top; y <= bottom; ++y) {
                const size_t row = (size_t)y * (size_t)width;
                for (int x = left; x <= right; ++x) {
                    if (table[pixels[row + x]] == w->previous[row + x]) w->scratch[row + x] = (uint8_t)marker;
                }
            }
        }
    }
    const int rectWidth = right - left + 1;
    const int rectHeight = bottom - top + 1;
    const int bits = BitsFor(colours);
    const int announced = transparentIndex >= 0 ? transparentIndex : marker;

    // Graphic control extension: disposal 2 (restore to background) for frames with a
    // transparent colour of their own, else 1 (leave in place).
    int packed = transparentIndex >= 0 ? 0x08 : 0x04;
    if (announced >= 0) packed |= 1;
    const uint8_t control[4] = {0x21, 0xF9, 0x04, (uint8_t)packed};
    Put(w, control, 4);
    PutU16(w, delay <= 0 ? 0 : delay / 10 > 0xFFFF ? 0xFFFF : delay / 10);
    PutByte(w, announced >= 0 ? announced : colours - 1);
    PutByte(w, 0);
    if (w->framesWritten == 0) {
        Put(w, "\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
        PutU16(w, w->loopCount);
        PutByte(w, 0);
    }
    PutByte(w, 0x2C);
    PutU16(w, left);
    PutU16(w, top);
    PutU16(w, rectWidth);
    PutU16(w, rectHeight);
    PutByte(w, 0x80 | (bits - 1));
    uint8_t rgb[768];
    for (int i = 0; i < (1 << bits); ++i) {
        rgb[i * 3] = (uint8_t)(table[i] >> 16);
        rgb[i * 3 + 1] = (uint8_t)(table[i] >> 8);
        rgb[i * 3 + 2] = (uint8_t)table[i];
    }
    Put(w, rgb, (size_t)3 << bits);
    const int minSize = bits < 2 ? 2 : bits;
    PutByte(w, minSize);
    const int rc = EncodeRect(w, left, top, rectWidth, rectHeight, minSize);
    if (rc) {
        if (!w->error) w->error = rc;
        return rc;
    }
    PutByte(w, 0);
    ++w->framesWritten;

    if (transparentIndex >= 0) {
        // The frame is disposed to the background: later frames cannot build on it.
        OsFree(w->previous);
        w->previous = nullptr;
    } else if (optimise) {
        if (!w->previous) {
            // Without it the frame stays whole in the file and the next one is written whole.
            w->previous = static_cast<uint32_t*>(OsAlloc(pixelCount * 4, 0));
            if (!w->previous) return ERR_MEM;
        }
        for (int y = top; y <= bottom; ++y) {
            const size_t row = (size_t)y * (size_t)width;
            for (int x = left; x <= right; ++x) w->previous[row + x] = table[pixels[row + x]];
        }
    }
    return w->error;
}

int FinishGifWriter(qzGifWriter* w) {
    if (!w) return 0;
    // The writer goes also when memory runs out on the way.
    std::unique_ptr<qzGifWriter, void (*)(qzGifWriter*)> owner(w, AbortGifWriter);
    PutByte(w, 0x3B);
    int rc = w->error;
    if (!rc) rc = CommitImageOutFile(&w->out, w->name.c_str());
    return rc;
}

void AbortGifWriter(qzGifWriter* w) {
    if (!w) return;
    AbortImageOutFile(&w->out);
    OsFree(w->previous);
    OsFree(w->scratch);
    w->~qzGifWriter();
    OsFree(w);
}

int SaveGifImage(const char* fileName, const uint8_t* indices, int width, int height, const uint32_t* palette,
                 int colourCount, int transparentIndex) {
    qzGifWriter* w = nullptr;
    int rc = BeginGifWriter(fileName, width, height, 0, &w);
    if (rc) return rc;
    rc = WriteGifFrame(w, indices, width, height, 0, palette, colourCount, transparentIndex, 0, 0);
    if (rc) {
        AbortGifWriter(w);
        return rc;
    }
    return FinishGifWriter(w);
}
