// DumpVideo: a stopped engine video decoded on the main thread from its stream position to the end
// as fast as it goes, every frame shown on the display and, with a base name, saved as a numbered
// image file, and all of its sound written into one WAVE file.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "display/display.h"
#include "display/display_present.h"
#include "display/event_pump.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/yuv_convert.h"
#include "image/image_save.h"
#include "platform/movie_player.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"
#include "video/video_dump.h"
#include "video/video_engine.h"

namespace {

const char* const kExtensions[] = {"bmp", "png", "jpg", "gif", "iff"};

// A stream that keeps failing for want of memory is given up after this many tries.
constexpr int kRetryLimit = 100000;

bool Put16(qzVfsFile* f, uint32_t v) { return VfsWriteInt16LE(f, static_cast<int32_t>(v)) != 0; }
bool Put32(qzVfsFile* f, uint32_t v) { return VfsWriteInt32LE(f, static_cast<int32_t>(v)) != 0; }

// The header of a PCM WAVE file whose two sizes are written at the end.
bool WriteWaveHeader(qzVfsFile* f, uint32_t channels, uint32_t rate) {
    const uint32_t bytesPerFrame = channels == 2 ? 4 : 2;
    return VfsWrite(f, "RIFF", 4) == 4 && Put32(f, 0) && VfsWrite(f, "WAVEfmt ", 8) == 8 && Put32(f, 16) &&
           Put16(f, 1) && Put16(f, channels) && Put32(f, rate) && Put32(f, rate * bytesPerFrame) &&
           Put16(f, bytesPerFrame) && Put16(f, 16) && VfsWrite(f, "data", 4) == 4 && Put32(f, 0);
}

// Pads the data to a multiple of 4 bytes and writes the RIFF size (padded data + 36) and the data
// size (unpadded).
bool FinishWave(qzVfsFile* f, uint32_t dataBytes) {
    static const char kZeros[4] = {0, 0, 0, 0};
    const uint32_t pad = (4 - dataBytes % 4) % 4;
    return VfsWrite(f, kZeros, pad) == pad && VfsSeek(f, 4, QZ_VFS_SEEK_BEGINNING) >= 0 &&
           Put32(f, dataBytes + pad + 36) && VfsSeek(f, 40, QZ_VFS_SEEK_BEGINNING) >= 0 && Put32(f, dataBytes);
}

}  // namespace

int DumpVideoPlayer(VmState* state, qzVideoPlayer* handle, qzDisplay* display, int32_t x, int32_t y,
                    const char* baseName, int32_t format) {
    if (format < 0 || format > 4) return ERR_WRONGUSAGE;
    if (handle->kind == QZ_VIDEOKIND_MOVIE) return MacDumpMovie();
    qzVideoEngine* e = handle->engine;
    if (e->started) return ERR_WRONGUSAGE;
    const int32_t width = e->srcWidth, height = e->srcHeight;
    // The part of the frame that lies on the display.
    int32_t sx = 0, sy = 0, dx = x, dy = y, w = width, h = height;
    if (dx < 0) {
        w += dx;
        sx = -dx;
        dx = 0;
    }
    if (dy < 0) {
        h += dy;
        sy = -dy;
        dy = 0;
    }
    if (display) {
        if (w > display->width - dx) w = display->width - dx;
        if (h > display->height - dy) h = display->height - dy;
    }
    qzBitMap* bitmap = CreateBitMap(width, height, 0, nullptr);
    if (!bitmap) return ERR_BITMAP;
    auto* frame = static_cast<uint32_t*>(OsAlloc((static_cast<size_t>(width) * 4 + 256) * height, 0));
    if (!frame) {
        DeleteBitMap(bitmap);
        return ERR_MEM;
    }
    const bool withFiles = baseName && *baseName;
    qzVfsFile* wave = nullptr;
    if (withFiles) {
        std::string waveName = std::string(baseName) + ".wav";
        wave = VfsOpen(waveName.c_str(), QZ_VFS_WRITE, nullptr);
        if (!wave || !WriteWaveHeader(wave, e->noSound ? 1 : e->channels, e->rate)) {
            if (wave) VfsClose(wave);
            OsFree(frame);
            DeleteBitMap(bitmap);
            SetErrorArgString(waveName.c_str());
            return ERR_WRITEFILE;
        }
    }
    int error = 0;
    bool aborted = false;
    uint32_t dataBytes = 0;
    int32_t number = 0;
    int retries = 0;
    for (;;) {
        qzVideoPacketBlock block = {};
        int result = VideoStreamNextPacket(&e->stream, &block);
        if (result == -1) break;
        if (result < 0) {
            if (++retries > kRetryLimit) break;
            continue;
        }
        if (!block.packet) continue;
        if (block.type == QZ_VIDEOPACKET_VIDEO) {
            if (e->frames32) e->planes[0] = reinterpret_cast<uint8_t*>(frame);
            qzVideoFrameBlock fb = {};
            fb.planes = e->planes;
            fb.rowBytes = e->rowBytes;
            fb.timeStampA = fb.timeStampB = -1.0;
            if (VideoStreamDecodeVideo(&e->stream, block.packet, &fb) == 0) {
                int32_t rowLength = width;
                if (e->frames32) {
                    rowLength = static_cast<int32_t>(e->rowBytes[0] / 4);
                    if (rowLength < width) rowLength = width;
                } else if (e->planes[0] && e->planes[1] && e->planes[2]) {
                    int pitches[3] = {static_cast<int>(e->rowBytes[0]), static_cast<int>(e->rowBytes[1]),
                                      static_cast<int>(e->rowBytes[2])};
                    qzYuvJob job = {};
                    job.planes = e->planes;
                    job.pitches = pitches;
                    job.dstPixels = frame;
                    job.srcWidth = job.dstWidth = width;
                    job.srcHeight = job.dstHeight = height;
                    job.dstStride = width;
                    job.pixelFormat = PIXFMT_ARGB32;
                    job.bytesPerPixel = 4;
                    ConvertYUVToPixels(&job);
                }
                WriteARGBToBitMap(frame, 0, 0, rowLength * 4, bitmap, 0, 0, width, height);
                if (display && w > 0 && h > 0)
                    PresentDisplayRect(bitmap, sx, sy, display, dx, dy, w, h, 0, 0, 0, nullptr, nullptr);
                if (withFiles) {
                    char name[1100];
                    std::snprintf(name, sizeof name, "%s%d.%s", baseName, number, kExtensions[format]);
                    // Rows packed to the width for the saver.
                    for (int32_t r = 1; r < height && rowLength != width; r++)
                        std::memmove(frame + static_cast<size_t>(r) * width, frame + static_cast<size_t>(r) * rowLength,
                                     static_cast<size_t>(width) * 4);
                    error = SaveImageFile(format, frame, width, height, name, -1, 0, 90, 256, 0);
                    number++;
                }
            }
        } else if (withFiles && !e->noSound) {
            qzVideoAudioBlock ab = {e->audioBuffer, QZ_VIDEO_AUDIO_BUFFER, 0, 0};
            for (int pieces = 0; pieces < kRetryLimit && !error; pieces++) {
                ab.produced = 0;
                int decoded = VideoStreamDecodeAudio(&e->stream, block.packet, &ab);
                uint32_t n = ab.produced < QZ_VIDEO_AUDIO_BUFFER ? ab.produced : QZ_VIDEO_AUDIO_BUFFER;
                n -= n % 2;
                // The samples are in host order, which is little-endian here.
                if (n && VfsWrite(wave, e->audioBuffer, n) != n) {
                    SetErrorArgString((std::string(baseName) + ".wav").c_str());
                    error = ERR_WRITEFILE;
                }
                dataBytes += n;
                if (ab.done || (decoded != 0 && n == 0)) break;
            }
        }
        VideoStreamFreePacket(&e->stream, block.packet);
        if (error) break;
        int pumpError = 0;
        if (PumpEvents(state, QZ_PUMP_HOOKS, &pumpError)) {
            error = pumpError;
            aborted = true;
            break;
        }
    }
    OsFree(frame);
    DeleteBitMap(bitmap);
    e->usedForFrames = 1;
    e->grabDecoded = 0;
    e->grabLast = -1;
    if (wave) {
        if (!error && !aborted && !FinishWave(wave, dataBytes)) {
            SetErrorArgString((std::string(baseName) + ".wav").c_str());
            error = ERR_WRITEFILE;
        }
        VfsClose(wave);
    }
    return error;
}
