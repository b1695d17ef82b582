#include "platform/audio_file.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "platform/ffmpeg_api.h"
#include "platform/vfs.h"

namespace {

constexpr int kIoBufferSize = 32768;
constexpr size_t kAnalysisBytes = 16384;
constexpr uint64_t kAnalysisMinFile = 1024;

// Bit rates in kbit/s by MPEG version, layer and index. MPEG-2 Layers II and III share a row.
const uint16_t kMpeg1Rates[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // Layer III
};
const uint16_t kMpeg2Rates[2][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},  // Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // Layers II, III
};

}  // namespace

struct qzAudioFile {
    qzVfsFile* file = nullptr;
    int64_t size = 0;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool decoder = false;  // the media libraries are loaded and the fields above are theirs
    uint32_t channels = 0;
    uint32_t rate = 0;
    // The input the converter is set for.
    int inFormat = -1;
    int inRate = 0;
    AVChannelLayout inLayout = {};
    uint64_t frames = 0;
    uint64_t position = 0;   // the next frame decode delivers
    uint64_t decoded = 0;    // frames of the file decoded before those in `pending`
    uint64_t dropUntil = 0;  // after a seek: frames before this are dropped
    bool ended = false;      // the decoder gave out its last frame
    bool draining = false;   // no packets left; the decoder is being emptied
    std::vector<int16_t> pending;
    size_t pendingAt = 0;  // frames of `pending` already delivered
    std::string formatName;
};

namespace {

int ReadPacket(void* opaque, uint8_t* buffer, int size) {
    qzAudioFile* f = static_cast<qzAudioFile*>(opaque);
    size_t n = VfsRead(f->file, buffer, static_cast<size_t>(size));
    return n ? static_cast<int>(n) : AVERROR_EOF;
}

int64_t SeekFile(void* opaque, int64_t offset, int whence) {
    qzAudioFile* f = static_cast<qzAudioFile*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return f->size;
    case SEEK_SET: return VfsSeek(f->file, offset, QZ_VFS_SEEK_BEGINNING) < 0 ? -1 : offset;
    case SEEK_CUR: {
        int64_t before = VfsSeek(f->file, offset, QZ_VFS_SEEK_CURRENT);
        return before < 0 ? -1 : before + offset;
    }
    case SEEK_END:
        if (VfsSeek(f->file, offset, QZ_VFS_SEEK_END) < 0) return -1;
        return VfsSeek(f->file, 0, QZ_VFS_SEEK_CURRENT);
    default: return -1;
    }
}

void FreeDecoder(qzAudioFile* f) {
    if (f->decoder) {
        Ffmpeg().av_frame_free(&f->frame);
        Ffmpeg().av_packet_free(&f->packet);
        Ffmpeg().swr_free(&f->swr);
        Ffmpeg().av_channel_layout_uninit(&f->inLayout);
        Ffmpeg().avcodec_free_context(&f->codec);
        if (f->format) Ffmpeg().avformat_close_input(&f->format);
        if (f->io) {
            Ffmpeg().av_freep(&f->io->buffer);
            Ffmpeg().avio_context_free(&f->io);
        }
    }
    if (f->file) VfsClose(f->file);
    delete f;
}

const char* NameOfFormat(const AVInputFormat* input, const uint8_t* head, size_t headSize) {
    const char* name = input ? input->name : "";
    struct Row {
        const char* demuxer;
        const char* type;
    };
    static const Row kRows[] = {
        {"wav", "RIFF WAVE"}, {"w64", "RIFF WAVE"},  {"mp3", "MPEG Audio"}, {"ac3", "AC-3"},
        {"aac", "AAC ADTS"},  {"caf", "Core Audio"}, {"au", "NeXT"},
    };
    if (std::strcmp(name, "aiff") == 0)
        return headSize >= 12 && std::memcmp(head + 8, "AIFC", 4) == 0 ? "AIFC" : "AIFF";
    if (std::strncmp(name, "mov,mp4,m4a", 11) == 0) return "MPEG Audio";
    for (const Row& row : kRows) {
        if (std::strcmp(name, row.demuxer) == 0) return row.type;
    }
    return "Mac Audio File";
}

// Sets the converter for input of the format, rate and channels given, to the file's channels of
// 16-bit samples at the file's rate. False when it cannot convert such input.
bool SetConverter(qzAudioFile* f, int format, int rate, const AVChannelLayout* layout) {
    if (rate <= 0 || layout->nb_channels <= 0 || format < 0) return false;
    AVChannelLayout in;
    if (layout->order == AV_CHANNEL_ORDER_UNSPEC)
        Ffmpeg().av_channel_layout_default(&in, layout->nb_channels);
    else if (Ffmpeg().av_channel_layout_copy(&in, layout) < 0)
        return false;
    AVChannelLayout out;
    Ffmpeg().av_channel_layout_default(&out, static_cast<int>(f->channels));
    Ffmpeg().swr_free(&f->swr);
    Ffmpeg().av_channel_layout_uninit(&f->inLayout);
    f->inFormat = -1;
    int made = Ffmpeg().swr_alloc_set_opts2(&f->swr, &out, AV_SAMPLE_FMT_S16, static_cast<int>(f->rate), &in,
                                            static_cast<AVSampleFormat>(format), rate, 0, nullptr);
    Ffmpeg().av_channel_layout_uninit(&out);
    if (made < 0 || Ffmpeg().swr_init(f->swr) < 0) {
        Ffmpeg().swr_free(&f->swr);
        Ffmpeg().av_channel_layout_uninit(&in);
        return false;
    }
    f->inFormat = format;
    f->inRate = rate;
    f->inLayout = in;
    return true;
}

// Whether the converter takes the decoded frame: a stream may change its channels, sample format
// or rate between frames (joined MP3 files, chained Ogg streams), and a converter set for other
// input would read outside the frame's planes. A frame that no converter takes is dropped.
bool ConverterTakes(qzAudioFile* f, const AVFrame* frame) {
    const int rate = frame->sample_rate > 0 ? frame->sample_rate : f->inRate;
    if (f->swr && frame->format == f->inFormat && rate == f->inRate &&
        Ffmpeg().av_channel_layout_compare(&frame->ch_layout, &f->inLayout) == 0)
        return true;
    return SetConverter(f, frame->format, rate, &frame->ch_layout);
}

// Decodes the next frames into `pending`: false when nothing more comes.
bool DecodeMore(qzAudioFile* f) {
    while (!f->ended) {
        int got = Ffmpeg().avcodec_receive_frame(f->codec, f->frame);
        if (got == 0) {
            int count = f->frame->nb_samples;
            if (count <= 0) {
                Ffmpeg().av_frame_unref(f->frame);
                continue;
            }
            // The frame's place in the file, when the container says it: a seek drops what lies
            // before its target.
            if (f->frame->pts != AV_NOPTS_VALUE && f->dropUntil) {
                const AVStream* stream = f->format->streams[f->stream];
                int64_t pts = f->frame->pts;
                if (stream->start_time != AV_NOPTS_VALUE) pts -= stream->start_time;
                int64_t start = Ffmpeg().av_rescale_q(pts, stream->time_base, AVRational{1, static_cast<int>(f->rate)});
                f->decoded = start < 0 ? 0 : static_cast<uint64_t>(start);
            }
            if (!ConverterTakes(f, f->frame)) {
                Ffmpeg().av_frame_unref(f->frame);
                continue;
            }
            int capacity = Ffmpeg().swr_get_out_samples(f->swr, count);
            if (capacity < count) capacity = count;
            f->pending.resize(static_cast<size_t>(capacity) * f->channels);
            uint8_t* out[1] = {reinterpret_cast<uint8_t*>(f->pending.data())};
            int converted = Ffmpeg().swr_convert(f->swr, out, capacity,
                                                 const_cast<const uint8_t**>(f->frame->extended_data), count);
            Ffmpeg().av_frame_unref(f->frame);
            if (converted < 0) converted = 0;
            f->pending.resize(static_cast<size_t>(converted) * f->channels);
            f->pendingAt = 0;
            if (f->dropUntil > f->decoded) {
                uint64_t drop = f->dropUntil - f->decoded;
                if (drop >= static_cast<uint64_t>(converted)) {
                    f->decoded += static_cast<uint64_t>(converted);
                    f->pending.clear();
                    continue;
                }
                f->pendingAt = static_cast<size_t>(drop);
                f->decoded += drop;
            }
            f->dropUntil = 0;
            if (f->pendingAt < f->pending.size() / f->channels) return true;
            continue;
        }
        if (got == AVERROR_EOF) {
            f->ended = true;
            break;
        }
        if (got != AVERROR(EAGAIN)) {
            f->ended = true;
            break;
        }
        if (f->draining) {
            f->ended = true;
            break;
        }
        // The decoder wants input.
        for (;;) {
            int read = Ffmpeg().av_read_frame(f->format, f->packet);
            if (read < 0) {
                f->draining = true;
                Ffmpeg().avcodec_send_packet(f->codec, nullptr);
                break;
            }
            if (f->packet->stream_index != f->stream) {
                Ffmpeg().av_packet_unref(f->packet);
                continue;
            }
            // A packet the decoder refuses is skipped: the next receive asks for more input.
            Ffmpeg().avcodec_send_packet(f->codec, f->packet);
            Ffmpeg().av_packet_unref(f->packet);
            break;
        }
    }
    return false;
}

// The bit rate of the frame header at p (4 bytes), 0 when it is none.
uint32_t HeaderBitRate(const uint8_t* p) {
    uint32_t h = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    if ((h & 0xFFE00000u) != 0xFFE00000u) return 0;
    uint32_t version = (h >> 19) & 3;
    uint32_t layer = (h >> 17) & 3;
    uint32_t index = (h >> 12) & 15;
    if (layer == 0) return 0;
    uint32_t row = 3 - layer;  // 0 Layer I, 1 Layer II, 2 Layer III
    if (version == 3) return kMpeg1Rates[row][index];
    if (version == 2) return kMpeg2Rates[row == 0 ? 0 : 1][index];
    return 0;
}

}  // namespace

uint32_t MpegAudioBitRate(const uint8_t* data, size_t size, uint64_t dataOffset, uint64_t fileSize, double seconds,
                          uint64_t* audioStart) {
    uint64_t start = 0;
    if (dataOffset == 0 && size >= 10 && std::memcmp(data, "ID3", 3) == 0 && data[3] != 255 && data[4] != 255 &&
        data[6] < 128 && data[7] < 128 && data[8] < 128 && data[9] < 128) {
        start = 10 + ((uint64_t(data[6]) << 21) | (uint64_t(data[7]) << 14) | (uint64_t(data[8]) << 7) | data[9]);
        if (data[5] & 0x10) start += 10;
    }
    *audioStart = dataOffset + start;
    if (start + 4 > size) return 0;
    uint32_t rate = HeaderBitRate(data + start);
    if (!rate) return 0;
    bool vbr = false;
    for (size_t i = 0; size >= 32 && i <= size - 32 && !vbr; i++)
        vbr = std::memcmp(data + i, "Xing", 4) == 0 || std::memcmp(data + i, "VBRI", 4) == 0;
    if (vbr && seconds > 0 && fileSize > *audioStart)
        rate = static_cast<uint32_t>(static_cast<double>(fileSize - *audioStart) / seconds * 0.0078125);
    return rate;
}

int AudioFileOpen(const char* name, const char* adapterList, qzAudioFile** out, qzAudioFileInfo* info) {
    *out = nullptr;
    std::memset(info, 0, sizeof *info);
    // The record and what it holds are freed on every way out, also when a call below runs out
    // of memory and unwinds through here; the caller owns it once it is handed out.
    std::unique_ptr<qzAudioFile, decltype(&FreeDecoder)> owner(new (std::nothrow) qzAudioFile(), FreeDecoder);
    qzAudioFile* f = owner.get();
    if (!f) return ERR_MEM;
    f->file = VfsOpen(name, QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU, adapterList);
    if (!f->file) return ERR_READFILE;
    if (VfsHasStreamFlag(f->file)) {
        return ERR_SEEKFILE;
    }
    f->size = VfsGetFileSize(f->file);
    if (f->size < 0) {
        return ERR_FILESIZE;
    }
    uint8_t head[12] = {};
    size_t headSize = VfsRead(f->file, head, sizeof head);
    VfsSeek(f->file, 0, QZ_VFS_SEEK_BEGINNING);

    if (!FfmpegMediaApi()) return ERR_OPENSOUND2;
    f->decoder = true;
    unsigned char* ioBuffer = static_cast<unsigned char*>(Ffmpeg().av_malloc(kIoBufferSize));
    f->format = Ffmpeg().avformat_alloc_context();
    if (ioBuffer) f->io = Ffmpeg().avio_alloc_context(ioBuffer, kIoBufferSize, 0, f, ReadPacket, nullptr, SeekFile);
    if (!ioBuffer || !f->format || !f->io) {
        if (!f->io) Ffmpeg().av_free(ioBuffer);
        return ERR_MEM;
    }
    f->format->pb = f->io;
    f->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (Ffmpeg().avformat_open_input(&f->format, nullptr, nullptr, nullptr) < 0) {
        // A failed open frees the context.
        f->format = nullptr;
        return ERR_OPENSOUND2;
    }
    Ffmpeg().avformat_find_stream_info(f->format, nullptr);
    const AVCodec* decoder = nullptr;
    f->stream = Ffmpeg().av_find_best_stream(f->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (f->stream < 0 || !decoder) {
        return f->stream == AVERROR_DECODER_NOT_FOUND ? ERR_OPENSOUND2 : ERR_AFILEPROP;
    }
    AVStream* stream = f->format->streams[f->stream];
    f->codec = Ffmpeg().avcodec_alloc_context3(decoder);
    f->packet = Ffmpeg().av_packet_alloc();
    f->frame = Ffmpeg().av_frame_alloc();
    if (!f->codec || !f->packet || !f->frame) {
        return ERR_MEM;
    }
    if (Ffmpeg().avcodec_parameters_to_context(f->codec, stream->codecpar) < 0 ||
        Ffmpeg().avcodec_open2(f->codec, decoder, nullptr) < 0) {
        return ERR_OPENSOUND2;
    }
    int channels = f->codec->ch_layout.nb_channels;
    if (f->codec->sample_rate <= 0 || channels <= 0) {
        return ERR_AFILEPROP;
    }
    f->rate = static_cast<uint32_t>(f->codec->sample_rate);
    f->channels = channels == 1 ? 1 : 2;
    if (!SetConverter(f, f->codec->sample_fmt, f->codec->sample_rate, &f->codec->ch_layout)) {
        return ERR_AFILEPROP;
    }

    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        f->frames = static_cast<uint64_t>(
            Ffmpeg().av_rescale_q(stream->duration, stream->time_base, AVRational{1, static_cast<int>(f->rate)}));
    else if (f->format->duration != AV_NOPTS_VALUE && f->format->duration > 0)
        f->frames = static_cast<uint64_t>(Ffmpeg().av_rescale(f->format->duration, f->rate, AV_TIME_BASE));
    f->formatName = NameOfFormat(f->format->iformat, head, headSize);

    info->bits = 16;
    info->channels = f->channels;
    info->bytesPerFrame = 2 * f->channels;
    info->flags = 3;
    info->rate = f->rate;
    info->frames = f->frames;

    if (f->formatName == "MPEG Audio" && std::strcmp(f->format->iformat->name, "mp3") == 0 &&
        static_cast<uint64_t>(f->size) > kAnalysisMinFile) {
        // The MPEG analysis reads through a handle of its own.
        qzVfsFileOwner probeOwner(VfsOpen(name, QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU, adapterList));
        qzVfsFile* probe = probeOwner.get();
        if (!probe) return ERR_READFILE;
        std::vector<uint8_t> data(kAnalysisBytes);
        size_t got = VfsRead(probe, data.data(), data.size());
        double seconds = f->rate ? static_cast<double>(f->frames) / f->rate : 0.0;
        uint64_t audioStart = 0;
        info->bitRate = MpegAudioBitRate(data.data(), got, 0, static_cast<uint64_t>(f->size), seconds, &audioStart);
        if (!info->bitRate && audioStart + 4 > got) {
            VfsSeek(probe, static_cast<int64_t>(audioStart), QZ_VFS_SEEK_BEGINNING);
            got = VfsRead(probe, data.data(), data.size());
            info->bitRate =
                MpegAudioBitRate(data.data(), got, audioStart, static_cast<uint64_t>(f->size), seconds, &audioStart);
        }
    }
    *out = owner.release();
    return 0;
}

void AudioFileClose(qzAudioFile* file) {
    if (file) FreeDecoder(file);
}

const char* AudioFileFormatName(const qzAudioFile* file) { return file->formatName.c_str(); }

uint64_t AudioFilePosition(const qzAudioFile* file) { return file->position; }

uint32_t AudioFileDecode(qzAudioFile* f, void* buffer, uint32_t frames, int* end) {
    if (end) *end = 0;
    uint32_t delivered = 0;
    int16_t* out = static_cast<int16_t*>(buffer);
    while (delivered < frames) {
        size_t available = f->pending.size() / f->channels - f->pendingAt;
        if (available == 0) {
            f->pending.clear();
            f->pendingAt = 0;
            if (!DecodeMore(f)) break;
            continue;
        }
        size_t take = frames - delivered < available ? frames - delivered : available;
        std::memcpy(out + static_cast<size_t>(delivered) * f->channels, f->pending.data() + f->pendingAt * f->channels,
                    take * f->channels * sizeof(int16_t));
        f->pendingAt += take;
        f->decoded += take;
        delivered += static_cast<uint32_t>(take);
    }
    f->position += delivered;
    if (delivered < frames && end) *end = 1;
    return delivered;
}

void AudioFileSeek(qzAudioFile* f, uint64_t frame) {
    if (f->frames && frame >= f->frames) return;
    AVStream* stream = f->format->streams[f->stream];
    int64_t target =
        Ffmpeg().av_rescale_q(static_cast<int64_t>(frame), AVRational{1, static_cast<int>(f->rate)}, stream->time_base);
    if (stream->start_time != AV_NOPTS_VALUE) target += stream->start_time;
    if (Ffmpeg().avformat_seek_file(f->format, f->stream, INT64_MIN, target, target, 0) < 0 &&
        Ffmpeg().avformat_seek_file(f->format, f->stream, INT64_MIN, target, target, AVSEEK_FLAG_ANY) < 0)
        return;
    Ffmpeg().avcodec_flush_buffers(f->codec);
    f->pending.clear();
    f->pendingAt = 0;
    f->ended = false;
    f->draining = false;
    // Until a decoded frame tells where it lies, the seek is taken to have landed on the target.
    f->decoded = frame;
    f->dropUntil = frame;
    f->position = frame;
}
