#include "image/ilbm_body.h"

#include <bit>
#include <cstring>

#include "platform/vfs.h"

namespace {

// Buffered reading of a body: bodies are read a byte at a time, so they go through a block buffer
// instead of the file layer. Finish() puts the file back where the consumed bytes end, so chunk
// searches after the body start from the right place.
struct BodyReader {
    qzVfsFile* file;
    uint8_t buffer[8192];
    size_t position = 0;
    size_t length = 0;

    explicit BodyReader(qzVfsFile* f) : file(f) {}

    bool Refill() {
        position = 0;
        length = VfsRead(file, buffer, sizeof(buffer));
        return length > 0;
    }
    int GetC() {
        if (position == length && !Refill()) return -1;
        return buffer[position++];
    }
    // Copies count bytes to out (or skips them when out is null); false on a short read.
    bool Read(uint8_t* out, size_t count) {
        while (count > 0) {
            if (position == length && !Refill()) return false;
            size_t take = length - position < count ? length - position : count;
            if (out) {
                std::memcpy(out, buffer + position, take);
                out += take;
            }
            position += take;
            count -= take;
        }
        return true;
    }
    void Finish() {
        if (length > position) VfsSeek(file, -static_cast<int64_t>(length - position), QZ_VFS_SEEK_CURRENT);
        position = length = 0;
    }
};

// Decodes ByteRun1 data until n bytes are filled (into out, or dropped when out is null). A run
// or literal stops at the end of the n bytes; the rest of a literal is left unread.
bool UnpackByteRun1(BodyReader& reader, uint8_t* out, size_t n) {
    size_t filled = 0;
    while (filled < n) {
        int control = reader.GetC();
        if (control < 0) return false;
        int8_t count = static_cast<int8_t>(control);
        if (count >= 0) {
            size_t take = static_cast<size_t>(count) + 1;
            if (take > n - filled) take = n - filled;
            if (!reader.Read(out ? out + filled : nullptr, take)) return false;
            filled += take;
        } else if (count != -128) {
            int value = reader.GetC();
            if (value < 0) return false;
            size_t take = static_cast<size_t>(1 - count);
            if (take > n - filled) take = n - filled;
            if (out) std::memset(out + filled, value, take);
            filled += take;
        }
    }
    return true;
}

uint8_t* PlaneRow(uint8_t* planeBuffer, int y, int p, int height, int planes, int64_t rowBytes) {
    int64_t index = planes <= 8 ? static_cast<int64_t>(p) * height + y : static_cast<int64_t>(y) * planes + p;
    return planeBuffer + index * rowBytes;
}

// spread[b]: the 8 bits of b as 8 bytes of 0 or 1, the most significant bit in byte 0 (the
// leftmost pixel first in memory on a little-endian machine).
struct SpreadTable {
    uint64_t value[256];
    constexpr SpreadTable() : value() {
        for (int b = 0; b < 256; ++b) {
            uint64_t v = 0;
            for (int k = 0; k < 8; ++k) v |= static_cast<uint64_t>((b >> (7 - k)) & 1) << (8 * k);
            value[b] = v;
        }
    }
};
constexpr SpreadTable kSpread;

// Byte k of a spread value: pixel k of its column.
inline uint8_t ByteOf(uint64_t v, int k) { return static_cast<uint8_t>(v >> (8 * k)); }

// Gathers planes [first, first + count) of one 8-pixel column into 8 index bytes.
inline uint64_t GatherColumn(const uint8_t* const* rows, int first, int count, int64_t column) {
    uint64_t v = 0;
    for (int p = 0; p < count; ++p) v |= kSpread.value[rows[first + p][column]] << p;
    return v;
}

}  // namespace

int ReadILBMBodyRaw(qzVfsFile* file, uint8_t* planeBuffer, int64_t bodyLength, int width, int height, int planes,
                    int masking) {
    (void)bodyLength;
    int64_t rowBytes = IlbmRowBytes(width);
    BodyReader reader(file);
    int ok = 1;
    for (int y = 0; y < height && ok; ++y) {
        for (int p = 0; p < planes && ok; ++p) {
            ok = reader.Read(PlaneRow(planeBuffer, y, p, height, planes, rowBytes), static_cast<size_t>(rowBytes));
        }
        if (ok && masking == 1) ok = reader.Read(nullptr, static_cast<size_t>(rowBytes));
    }
    reader.Finish();
    return ok;
}

int ReadILBMBodyByteRun1(qzVfsFile* file, uint8_t* planeBuffer, int64_t bodyLength, int width, int height, int planes,
                         int masking) {
    (void)bodyLength;
    int64_t rowBytes = IlbmRowBytes(width);
    BodyReader reader(file);
    int ok = 1;
    for (int y = 0; y < height && ok; ++y) {
        for (int p = 0; p < planes && ok; ++p) {
            uint8_t* row = planeBuffer + (static_cast<int64_t>(p) * height + y) * rowBytes;
            ok = UnpackByteRun1(reader, row, static_cast<size_t>(rowBytes));
        }
        if (ok && masking == 1) ok = UnpackByteRun1(reader, nullptr, static_cast<size_t>(rowBytes));
    }
    reader.Finish();
    return ok;
}

int ReadILBMBody24ByteRun1(qzVfsFile* file, uint8_t* planeBuffer, int width, int height) {
    int64_t rowBytes = IlbmRowBytes(width) * 24;
    BodyReader reader(file);
    int ok = 1;
    for (int y = 0; y < height && ok; ++y) {
        ok = UnpackByteRun1(reader, planeBuffer + static_cast<int64_t>(y) * rowBytes, static_cast<size_t>(rowBytes));
    }
    reader.Finish();
    return ok;
}

void PlanarToChunky(const uint8_t* planeBuffer, int width, int height, int planes, int64_t rowBytes, void* destination,
                    int64_t destStride) {
    if (width < 1 || height < 1) return;
    const int64_t fullColumns = width >> 3;
    const int rest = width & 7;
    const uint8_t* rows[24];
    uint8_t* out = static_cast<uint8_t*>(destination);
    if (planes >= 1 && planes <= 8) {
        for (int y = 0; y < height; ++y, out += destStride) {
            for (int p = 0; p < planes; ++p) rows[p] = planeBuffer + (static_cast<int64_t>(p) * height + y) * rowBytes;
            for (int64_t c = 0; c < fullColumns; ++c) {
                uint64_t v = GatherColumn(rows, 0, planes, c);
                if constexpr (std::endian::native == std::endian::little) {
                    std::memcpy(out + c * 8, &v, 8);
                } else {
                    for (int k = 0; k < 8; ++k) out[c * 8 + k] = ByteOf(v, k);
                }
            }
            if (rest) {
                uint64_t v = GatherColumn(rows, 0, planes, fullColumns);
                for (int k = 0; k < rest; ++k) out[fullColumns * 8 + k] = ByteOf(v, k);
            }
        }
    } else if (planes == 24) {
        for (int y = 0; y < height; ++y, out += destStride) {
            for (int p = 0; p < 24; ++p) rows[p] = planeBuffer + (static_cast<int64_t>(y) * 24 + p) * rowBytes;
            uint32_t* pixels = reinterpret_cast<uint32_t*>(out);
            for (int64_t c = 0; c <= fullColumns; ++c) {
                int count = c < fullColumns ? 8 : rest;
                if (count == 0) break;
                uint64_t red = GatherColumn(rows, 0, 8, c);
                uint64_t green = GatherColumn(rows, 8, 8, c);
                uint64_t blue = GatherColumn(rows, 16, 8, c);
                for (int k = 0; k < count; ++k) {
                    pixels[c * 8 + k] = static_cast<uint32_t>(ByteOf(red, k)) << 16 |
                                        static_cast<uint32_t>(ByteOf(green, k)) << 8 | ByteOf(blue, k);
                }
            }
        }
    }
}

namespace {

template <int Bits>
void DecodeHAMRows(const uint8_t* chunky, uint32_t* pixels, const uint32_t* palette, int width, int height) {
    const int dataBits = Bits - 2;
    const uint32_t dataMask = (1u << dataBits) - 1;
    const int shift = 8 - dataBits;
    for (int y = 0; y < height; ++y) {
        uint32_t red = 0, green = 0, blue = 0;
        for (int x = 0; x < width; ++x) {
            uint32_t index = *chunky++;
            uint32_t data = (index & dataMask) << shift;
            switch (index >> dataBits) {
            case 0:
                red = (palette[index] >> 16) & 0xFF;
                green = (palette[index] >> 8) & 0xFF;
                blue = palette[index] & 0xFF;
                break;
            case 1: blue = data; break;
            case 2: red = data; break;
            default: green = data; break;
            }
            *pixels++ = red << 16 | green << 8 | blue;
        }
    }
}

}  // namespace

void DecodeHAM6Rows(const uint8_t* chunky, uint32_t* pixels, const uint32_t* palette, int width, int height) {
    DecodeHAMRows<6>(chunky, pixels, palette, width, height);
}

void DecodeHAM8Rows(const uint8_t* chunky, uint32_t* pixels, const uint32_t* palette, int width, int height) {
    DecodeHAMRows<8>(chunky, pixels, palette, width, height);
}

void LookupPaletteRows(const uint8_t* chunky, uint32_t* pixels, const uint32_t* palette, int width, int height) {
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; ++i) pixels[i] = palette[chunky[i]];
}

uint8_t* PackByteRun1Literal(uint8_t* out, int count, const uint8_t* bytes, int64_t* total) {
    *out++ = static_cast<uint8_t>(count - 1);
    std::memcpy(out, bytes, static_cast<size_t>(count));
    *total += count + 1;
    return out + count;
}

uint8_t* PackByteRun1Run(uint8_t* out, int count, uint8_t byte, int64_t* total) {
    *out++ = static_cast<uint8_t>(1 - count);
    *out++ = byte;
    *total += 2;
    return out;
}

size_t PackByteRun1Row(const uint8_t* row, size_t n, uint8_t* out) {
    if (n == 0) return 0;
    uint8_t buffer[129];
    int count = 1;     // bytes gathered
    int runStart = 0;  // where the equal bytes that end the buffer begin
    bool runMode = false;
    int64_t total = 0;
    uint8_t* o = out;
    buffer[0] = row[0];
    for (size_t i = 1; i < n; ++i) {
        uint8_t c = row[i];
        uint8_t prev = buffer[count - 1];
        buffer[count++] = c;
        if (!runMode) {
            if (count == 129) {
                o = PackByteRun1Literal(o, 128, buffer, &total);
                buffer[0] = c;
                count = 1;
                runStart = 0;
            } else if (c == prev) {
                if (count - runStart >= 3) {
                    if (runStart > 0) {
                        o = PackByteRun1Literal(o, runStart, buffer, &total);
                        std::memmove(buffer, buffer + runStart, static_cast<size_t>(count - runStart));
                        count -= runStart;
                        runStart = 0;
                    }
                    runMode = true;
                } else if (runStart == 0) {
                    runMode = true;
                }
            } else {
                runStart = count - 1;
            }
        } else if (c != prev || count > 128) {
            o = PackByteRun1Run(o, count - 1, prev, &total);
            buffer[0] = c;
            count = 1;
            runStart = 0;
            runMode = false;
        }
    }
    if (runMode) {
        o = PackByteRun1Run(o, count, buffer[0], &total);
    } else {
        o = PackByteRun1Literal(o, count, buffer, &total);
    }
    return static_cast<size_t>(total);
}
