// FFmpeg behind the system image codecs: libavformat's image demuxers read through an AVIOContext
// over the virtual-file layer (or over a memory block), libavcodec decodes the first frame, and
// libswscale turns it into native 0xAARRGGBB words. Encoding runs the other way.
#include "platform/sys_image.h"

#include <cstring>
#include <mutex>
#include <string>

#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "platform/chunk_name.h"
#include "platform/ffmpeg_api.h"
#include "platform/os_alloc.h"
#include "platform/os_bitmap.h"
#include "platform/vfs.h"

namespace {

constexpr int kIoBufferSize = 32768;

// Where the demuxer reads from: an open virtual file, or a block of memory.
struct IoSource {
    qzVfsFile* file;
    const uint8_t* memory;
    int64_t size;
    int64_t position;
    bool outOfMemory = false;  // asking the file's size ran out of memory
};

int ReadPacket(void* opaque, uint8_t* buffer, int count) {
    IoSource* src = static_cast<IoSource*>(opaque);
    if (count <= 0) return 0;
    size_t got;
    if (src->file) {
        got = VfsRead(src->file, buffer, static_cast<size_t>(count));
    } else {
        int64_t left = src->size - src->position;
        got = left <= 0 ? 0 : static_cast<size_t>(left < count ? left : count);
        if (got) std::memcpy(buffer, src->memory + src->position, got);
        src->position += static_cast<int64_t>(got);
    }
    return got ? static_cast<int>(got) : AVERROR_EOF;
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
    IoSource* src = static_cast<IoSource*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (src->file) {
        if (whence == AVSEEK_SIZE) {
            // A file adapter's answer is copied, which may run out of memory: that must not unwind
            // through the demuxer's frames, which hold what the decode allocated.
            int64_t size = -1;
            if (CatchOutOfMemory([&] { return (size = VfsGetFileSize(src->file)), 0; }) == ERR_MEM)
                src->outOfMemory = true;
            return size;
        }
        int mode = whence == SEEK_SET   ? QZ_VFS_SEEK_BEGINNING
                   : whence == SEEK_CUR ? QZ_VFS_SEEK_CURRENT
                                        : QZ_VFS_SEEK_END;
        if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
        if (VfsSeek(src->file, offset, mode) < 0) return -1;
        return VfsSeek(src->file, 0, QZ_VFS_SEEK_CURRENT);
    }
    if (whence == AVSEEK_SIZE) return src->size;
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? src->position : whence == SEEK_END ? src->size : -1;
    if (base < 0 || offset < -base) return -1;
    src->position = base + offset;
    return src->position;
}

// The demuxers that read still images: every "*_pipe" image demuxer, the extension-driven image2
// demuxer (TGA and other formats without a signature), and the GIF and APNG demuxers, whose first
// frame is the picture. Movie containers are never probed, so a video file is no image.
const char* ImageDemuxerList() {
    static std::once_flag once;
    static std::string list;
    // Built aside and moved in whole: running out of memory on the way leaves the list empty and
    // the next call builds it again.
    std::call_once(once, [] {
        std::string built;
        void* iterator = nullptr;
        while (const AVInputFormat* format = Ffmpeg().av_demuxer_iterate(&iterator)) {
            std::string name = format->name;
            bool pipe = name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0 && name != "yuv4mpegpipe";
            if (pipe || name == "image2" || name == "image2pipe" || name == "gif" || name == "apng") {
                if (!built.empty()) built += ',';
                built += name;
            }
        }
        list = std::move(built);
    });
    return list.c_str();
}

// Whether a palette frame has an entry that is not opaque.
bool PaletteHasAlpha(const AVFrame* frame) {
    const uint32_t* palette = reinterpret_cast<const uint32_t*>(frame->data[1]);
    if (!palette) return false;
    for (int i = 0; i < 256; ++i) {
        if ((palette[i] >> 24) != 0xFF) return true;
    }
    return false;
}

bool FormatHasAlpha(AVPixelFormat format) {
    const AVPixFmtDescriptor* desc = Ffmpeg().av_pix_fmt_desc_get(format);
    return desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA) && !(desc->flags & AV_PIX_FMT_FLAG_PAL);
}

// The full-range ("J") YUV formats as their plain twins: swscale takes the range separately and
// warns about the old names.
AVPixelFormat PlainYuvFormat(AVPixelFormat format, bool* fullRange) {
    static const struct {
        AVPixelFormat full, plain;
    } kTwins[] = {
        {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P}, {AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV422P},
        {AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV444P}, {AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV440P},
        {AV_PIX_FMT_YUVJ411P, AV_PIX_FMT_YUV411P},
    };
    for (const auto& twin : kTwins) {
        if (twin.full == format) {
            *fullRange = true;
            return twin.plain;
        }
    }
    return format;
}

// Converts a decoded frame into width * height native 0xAARRGGBB words. A palette source (a
// palette format, or GIF, whose decoder hands out BGRA) has alpha only where a pixel is not opaque.
int ConvertFrame(const AVFrame* frame, bool paletteSource, qzSysImage* out) {
    AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* desc = Ffmpeg().av_pix_fmt_desc_get(format);
    if (!desc) return ERR_LOADPICTURE2;
    bool palette = (desc->flags & AV_PIX_FMT_FLAG_PAL) != 0;
    out->hasAlpha = palette ? PaletteHasAlpha(frame) : FormatHasAlpha(format);
    uint32_t* pixels = static_cast<uint32_t*>(OsAlloc(static_cast<size_t>(out->width) * out->height * 4, 0));
    if (!pixels) return ERR_MEM;
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    AVPixelFormat source = PlainYuvFormat(format, &fullRange);
    SwsContext* sws =
        Ffmpeg().sws_getContext(out->width, out->height, source, out->width, out->height, AV_PIX_FMT_BGRA,
                                SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!sws) {
        OsFree(pixels);
        return ERR_LOADPICTURE2;
    }
    if (desc->nb_components >= 3 && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && !palette) {
        // YUV sources: honour the frame's range and matrix.
        int space = frame->colorspace == AVCOL_SPC_UNSPECIFIED || frame->colorspace == AVCOL_SPC_RGB
                        ? SWS_CS_DEFAULT
                        : frame->colorspace;
        Ffmpeg().sws_setColorspaceDetails(sws, Ffmpeg().sws_getCoefficients(space), fullRange ? 1 : 0,
                                          Ffmpeg().sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(pixels), nullptr, nullptr, nullptr};
    int dstStride[4] = {out->width * 4, 0, 0, 0};
    int rows = Ffmpeg().sws_scale(sws, frame->data, frame->linesize, 0, out->height, dst, dstStride);
    Ffmpeg().sws_freeContext(sws);
    if (rows != out->height) {
        OsFree(pixels);
        return ERR_LOADPICTURE2;
    }
    size_t count = static_cast<size_t>(out->width) * out->height;
    if (out->hasAlpha && paletteSource && !palette) {
        out->hasAlpha = 0;
        for (size_t i = 0; i < count && !out->hasAlpha; ++i) out->hasAlpha = (pixels[i] >> 24) != 0xFF;
    }
    if (!out->hasAlpha) {
        for (size_t i = 0; i < count; ++i) pixels[i] &= 0x00FFFFFF;
    }
    out->pixels = pixels;
    return 0;
}

// Sizes that a bitmap can hold: 1..2^31-1 bytes of pixels.
int CheckSize(int width, int height) {
    if (width < 1 || height < 1) return ERR_LOADPICTURE2;
    if (static_cast<int64_t>(width) * height > QZ_MAX_BITMAP_BYTES / 4) return ERR_MEM;
    return 0;
}

int DecodeFromSource(IoSource* src, const char* nameHint, int infoOnly, qzSysImage* out) {
    *out = {};
    if (!FfmpegMediaApi()) return ERR_LOADPICTURE2;
    // The demuxers see only the extension of the name: enough for extension-driven formats, and
    // no path that image2 could try to open by itself. The name and the list of demuxers are made
    // before the demuxer's records, which would leak when making them runs out of memory.
    std::string probeName = "image";
    if (nameHint) probeName += GetFileExtension(nameHint);
    const char* demuxers = ImageDemuxerList();
    unsigned char* ioBuffer = static_cast<unsigned char*>(Ffmpeg().av_malloc(kIoBufferSize));
    if (!ioBuffer) return ERR_MEM;
    AVIOContext* io = Ffmpeg().avio_alloc_context(ioBuffer, kIoBufferSize, 0, src, ReadPacket, nullptr, Seek);
    if (!io) {
        Ffmpeg().av_free(ioBuffer);
        return ERR_MEM;
    }
    AVFormatContext* format = Ffmpeg().avformat_alloc_context();
    if (!format) {
        Ffmpeg().av_free(io->buffer);
        Ffmpeg().avio_context_free(&io);
        return ERR_MEM;
    }
    format->pb = io;
    format->format_whitelist = Ffmpeg().av_strdup(demuxers);

    int rc = ERR_LOADPICTURE2;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = Ffmpeg().av_packet_alloc();
    AVFrame* frame = Ffmpeg().av_frame_alloc();
    bool opened = false;
    int streamIndex = -1;
    const AVCodec* decoder = nullptr;
    if (!packet || !frame || !format->format_whitelist) {
        rc = ERR_MEM;
        goto done;
    }
    if (Ffmpeg().avformat_open_input(&format, probeName.c_str(), nullptr, nullptr) < 0) {
        format = nullptr;  // freed by avformat_open_input
        goto done;
    }
    opened = true;
    streamIndex = Ffmpeg().av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (streamIndex < 0 || !decoder) goto done;
    codec = Ffmpeg().avcodec_alloc_context3(decoder);
    if (!codec) {
        rc = ERR_MEM;
        goto done;
    }
    if (Ffmpeg().avcodec_parameters_to_context(codec, format->streams[streamIndex]->codecpar) < 0) goto done;
    codec->thread_count = 1;
    // Information mode: the decoder parses the headers but skips the picture where it can.
    if (infoOnly) codec->skip_frame = AVDISCARD_ALL;
    if (Ffmpeg().avcodec_open2(codec, decoder, nullptr) < 0) goto done;

    for (bool draining = false;;) {
        if (!draining) {
            int got = Ffmpeg().av_read_frame(format, packet);
            if (got < 0) {
                draining = true;
                Ffmpeg().avcodec_send_packet(codec, nullptr);
            } else if (packet->stream_index != streamIndex) {
                Ffmpeg().av_packet_unref(packet);
                continue;
            } else {
                int sent = Ffmpeg().avcodec_send_packet(codec, packet);
                Ffmpeg().av_packet_unref(packet);
                if (sent < 0 && sent != AVERROR(EAGAIN)) goto done;
            }
        }
        if (infoOnly && codec->width > 0 && codec->height > 0 && codec->pix_fmt != AV_PIX_FMT_NONE) {
            rc = CheckSize(codec->width, codec->height);
            if (rc) goto done;
            out->width = codec->width;
            out->height = codec->height;
            out->hasAlpha = FormatHasAlpha(codec->pix_fmt) && decoder->id != AV_CODEC_ID_GIF;
            rc = 0;
            goto done;
        }
        int received = Ffmpeg().avcodec_receive_frame(codec, frame);
        if (received == 0) {
            rc = CheckSize(frame->width, frame->height);
            if (rc) goto done;
            out->width = frame->width;
            out->height = frame->height;
            if (infoOnly) {
                const AVPixFmtDescriptor* desc =
                    Ffmpeg().av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
                out->hasAlpha =
                    desc && (desc->flags & AV_PIX_FMT_FLAG_PAL)
                        ? PaletteHasAlpha(frame)
                        : FormatHasAlpha(static_cast<AVPixelFormat>(frame->format)) && decoder->id != AV_CODEC_ID_GIF;
                rc = 0;
            } else {
                rc = ConvertFrame(frame, decoder->id == AV_CODEC_ID_GIF, out);
            }
            goto done;
        }
        if (received != AVERROR(EAGAIN) || draining) goto done;  // end of the data or a broken image
    }

done:
    if (rc && src->outOfMemory) rc = ERR_MEM;
    if (rc) *out = {};
    Ffmpeg().av_frame_free(&frame);
    Ffmpeg().av_packet_free(&packet);
    Ffmpeg().avcodec_free_context(&codec);
    if (opened) {
        Ffmpeg().avformat_close_input(&format);
    } else {
        Ffmpeg().avformat_free_context(format);
    }
    if (io) {
        Ffmpeg().av_freep(&io->buffer);
        Ffmpeg().avio_context_free(&io);
    }
    return rc;
}

}  // namespace

int SysDecodeImageFile(qzVfsFile* file, const char* nameHint, int infoOnly, qzSysImage* out) {
    *out = {};
    if (!file) return ERR_LOADPICTURE2;
    VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
    IoSource src = {file, nullptr, 0, 0};
    return DecodeFromSource(&src, nameHint, infoOnly, out);
}

int SysDecodeImageMemory(const void* data, size_t size, int infoOnly, qzSysImage* out) {
    *out = {};
    if (!data || size == 0) return ERR_LOADPICTURE2;
    IoSource src = {nullptr, static_cast<const uint8_t*>(data), static_cast<int64_t>(size), 0};
    return DecodeFromSource(&src, nullptr, infoOnly, out);
}

int SysEncodeImage(const uint32_t* pixels, int width, int height, int bytesPerRow, qzSysImageType type, int alpha,
                   int quality, unsigned char** outData, size_t* outSize) {
    *outData = nullptr;
    *outSize = 0;
    const int encoderError = type == QZ_SYSIMAGE_PNG ? ERR_SAVEPNG : ERR_WRITEJPEG;
    if (!pixels || width < 1 || height < 1 || bytesPerRow < width * 4 || !FfmpegMediaApi()) return encoderError;
    AVCodecID id;
    AVPixelFormat target;
    switch (type) {
    case QZ_SYSIMAGE_PNG:
        id = AV_CODEC_ID_PNG;
        target = alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
        break;
    case QZ_SYSIMAGE_JPEG:
        id = AV_CODEC_ID_MJPEG;
        target = AV_PIX_FMT_YUVJ420P;  // the encoder's own name for full-range 4:2:0
        break;
    case QZ_SYSIMAGE_TIFF:
        id = AV_CODEC_ID_TIFF;
        target = alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
        break;
    case QZ_SYSIMAGE_BMP:
        id = AV_CODEC_ID_BMP;
        target = alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
        break;
    default: return encoderError;
    }
    const AVCodec* encoder = Ffmpeg().avcodec_find_encoder(id);
    if (!encoder) return encoderError;

    int rc = encoderError;
    AVCodecContext* codec = Ffmpeg().avcodec_alloc_context3(encoder);
    AVFrame* frame = Ffmpeg().av_frame_alloc();
    AVPacket* packet = Ffmpeg().av_packet_alloc();
    SwsContext* sws = nullptr;
    if (!codec || !frame || !packet) {
        rc = ERR_MEM;
    } else {
        codec->width = width;
        codec->height = height;
        codec->pix_fmt = target;
        codec->time_base = AVRational{1, 25};
        codec->thread_count = 1;
        if (type == QZ_SYSIMAGE_JPEG) {
            int q = quality < 0 ? 0 : quality > 100 ? 100 : quality;
            int qscale = 1 + ((100 - q) * 30 + 50) / 100;
            codec->color_range = AVCOL_RANGE_JPEG;
            codec->flags |= AV_CODEC_FLAG_QSCALE;
            codec->global_quality = qscale * FF_QP2LAMBDA;
            frame->quality = codec->global_quality;
        }
        frame->format = target;
        frame->width = width;
        frame->height = height;
        if (Ffmpeg().avcodec_open2(codec, encoder, nullptr) < 0) {
            rc = encoderError;
        } else if (Ffmpeg().av_frame_get_buffer(frame, 0) < 0) {
            rc = ERR_MEM;
        } else if (!(sws = Ffmpeg().sws_getContext(width, height, alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0, width,
                                                   height, target == AV_PIX_FMT_YUVJ420P ? AV_PIX_FMT_YUV420P : target,
                                                   SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                                   nullptr, nullptr))) {
            rc = ERR_MEM;
        } else {
            if (type == QZ_SYSIMAGE_JPEG) {
                Ffmpeg().sws_setColorspaceDetails(sws, Ffmpeg().sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                                  Ffmpeg().sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
            }
            const uint8_t* src[4] = {reinterpret_cast<const uint8_t*>(pixels), nullptr, nullptr, nullptr};
            int srcStride[4] = {bytesPerRow, 0, 0, 0};
            Ffmpeg().sws_scale(sws, src, srcStride, 0, height, frame->data, frame->linesize);
            if (Ffmpeg().avcodec_send_frame(codec, frame) >= 0 && Ffmpeg().avcodec_send_frame(codec, nullptr) >= 0 &&
                Ffmpeg().avcodec_receive_packet(codec, packet) >= 0 && packet->size > 0) {
                unsigned char* data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(packet->size), 0));
                if (!data) {
                    rc = ERR_MEM;
                } else {
                    std::memcpy(data, packet->data, static_cast<size_t>(packet->size));
                    *outData = data;
                    *outSize = static_cast<size_t>(packet->size);
                    rc = 0;
                }
            }
        }
    }
    Ffmpeg().sws_freeContext(sws);
    Ffmpeg().av_packet_free(&packet);
    Ffmpeg().av_frame_free(&frame);
    Ffmpeg().avcodec_free_context(&codec);
    return rc;
}
