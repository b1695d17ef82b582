// FFmpeg's libraries, opened on first use: a record of pointers to exactly the functions the
// platform code calls. The programs do not link the libraries, so a program that never decodes a
// system format never maps them (with their ~100 dependencies) at start.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// The functions of each library, as X(name).
#define QZ_FFMPEG_AVUTIL(X)      \
    X(av_log_set_level)          \
    X(av_log_set_callback)       \
    X(av_channel_layout_compare) \
    X(av_channel_layout_copy)    \
    X(av_channel_layout_default) \
    X(av_channel_layout_uninit)  \
    X(av_frame_alloc)            \
    X(av_frame_free)             \
    X(av_frame_unref)            \
    X(av_frame_move_ref)         \
    X(av_frame_get_buffer)       \
    X(av_malloc)                 \
    X(av_free)                   \
    X(av_freep)                  \
    X(av_strdup)                 \
    X(av_rescale)                \
    X(av_rescale_q)              \
    X(av_pix_fmt_desc_get)
#define QZ_FFMPEG_SWRESAMPLE(X) \
    X(swr_alloc_set_opts2)      \
    X(swr_init)                 \
    X(swr_convert)              \
    X(swr_get_out_samples)      \
    X(swr_free)
#define QZ_FFMPEG_AVCODEC(X)         \
    X(av_packet_alloc)               \
    X(av_packet_free)                \
    X(av_packet_unref)               \
    X(av_packet_move_ref)            \
    X(avcodec_find_encoder)          \
    X(avcodec_alloc_context3)        \
    X(avcodec_parameters_to_context) \
    X(avcodec_open2)                 \
    X(avcodec_send_packet)           \
    X(avcodec_receive_frame)         \
    X(avcodec_send_frame)            \
    X(avcodec_receive_packet)        \
    X(avcodec_flush_buffers)         \
    X(avcodec_free_context)
#define QZ_FFMPEG_AVFORMAT(X)    \
    X(av_demuxer_iterate)        \
    X(avio_alloc_context)        \
    X(avio_context_free)         \
    X(avformat_alloc_context)    \
    X(avformat_free_context)     \
    X(avformat_open_input)       \
    X(avformat_find_stream_info) \
    X(avformat_seek_file)        \
    X(avformat_close_input)      \
    X(av_find_best_stream)       \
    X(av_read_frame)
#define QZ_FFMPEG_SWSCALE(X)    \
    X(sws_getContext)           \
    X(sws_getCoefficients)      \
    X(sws_setColorspaceDetails) \
    X(sws_scale)                \
    X(sws_freeContext)

#define QZ_FFMPEG_SLOT(name) decltype(&::name) name;

struct FfmpegApi {
    QZ_FFMPEG_AVUTIL(QZ_FFMPEG_SLOT)
    QZ_FFMPEG_SWRESAMPLE(QZ_FFMPEG_SLOT)
    QZ_FFMPEG_AVCODEC(QZ_FFMPEG_SLOT)
    QZ_FFMPEG_AVFORMAT(QZ_FFMPEG_SLOT)
    QZ_FFMPEG_SWSCALE(QZ_FFMPEG_SLOT)
};

#undef QZ_FFMPEG_SLOT

// Opens libavutil and libswresample the first time (from any thread), with the libraries' log
// silenced: the record, or null when a library or one of its functions is missing (then on every
// call). Only the fields of those two libraries are filled.
const FfmpegApi* FfmpegResamplerApi();

// As FfmpegResamplerApi, and libavcodec, libavformat and libswscale too: every field is filled.
const FfmpegApi* FfmpegMediaApi();

// The record those two fill, for helpers that run only once one of them has answered non-null.
extern FfmpegApi gFfmpeg;
inline const FfmpegApi& Ffmpeg() { return gFfmpeg; }
