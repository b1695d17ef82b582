/* The blocks that video-decoder plugins (capability QZ_PLUGINCAPS_VIDEO) and the inbuilt CDXL
 * reader exchange with the video engine through their entry points:
 *   OpenVideo(file, qzVideoFormatInfo*) -> the decoder's handle, or null when it does not read the
 *     file;
 *   NextPacket(handle, qzVideoPacketBlock*) -> 0 or more with a packet, -1 at the end of the stream,
 *     any other negative value: try again;
 *   FreePacket(packet) releases a packet (every packet exactly once, played or not);
 *   DecodeVideoFrame(handle, packet, qzVideoFrameBlock*) -> 0 with a frame in the planes, non-zero
 *     when the packet gives no frame;
 *   DecodeAudioFrame(handle, packet, qzVideoAudioBlock*), called with the same packet until done is 1;
 *   SeekVideo(handle, position, seek mode) -> 0 when positioned, non-zero when out of range;
 *   FlushAudio(handle), FlushVideo(handle, x): decoder state reset after a seek;
 *   GetVideoFrames(handle, x) -> the number of frames;
 *   GetVideoFormat(handle, x) -> a text naming the format, kept by the decoder;
 *   CloseVideo(handle) releases everything of the stream.
 * The argument x carries no defined value; a decoder ignores it. The 32-bit fields are in host
 * byte order; pointers are native. */
#ifndef QZ_PLUGIN_VIDEO_H
#define QZ_PLUGIN_VIDEO_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define QZ_VIDEO_ABI_ASSERT(condition, text) static_assert(condition, text)
#else
#define QZ_VIDEO_ABI_ASSERT(condition, text) _Static_assert(condition, text)
/* The 32-bit layout with native pointers: the fields keep their order, the doubles their 8-byte
 * alignment. */
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFormatInfo, frameDuration) == 40, "frame duration at 40");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFormatInfo, fileSizeHigh) == 48, "file size at 48");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFormatInfo, adapter) == 56, "adapter list at 56");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoPacketBlock, type) == sizeof(void*), "packet type after the pointer");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoPacketBlock, timeStamp) == 24, "packet time stamp at 24");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFrameBlock, repeat) == 2 * sizeof(void*), "repeat after the two pointers");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFrameBlock, timeStampB) == 24, "time stamp B at 24");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoAudioBlock, capacity) == sizeof(void*), "capacity after the pointer");

#endif

/* The file-size pair that the engine presets: the decoder leaves it to have the size measured. */
enum { QZ_VIDEO_FILESIZE_UNKNOWN_HIGH = 0xFFFFFFFFu, QZ_VIDEO_FILESIZE_UNKNOWN_LOW = 0xFFFFFFFEu };
/* Seek modes: SeekVideo takes milliseconds, or byte offsets. */
enum { QZ_VIDEO_SEEK_TIME = 0, QZ_VIDEO_SEEK_BYTES = 1 };
/* Format flags. */
enum { QZ_VIDEOFORMAT_CANSEEK = 1 };
/* Packet types. */
enum { QZ_VIDEOPACKET_VIDEO = 0, QZ_VIDEOPACKET_AUDIO = 1 };

/* Zeroed by the engine, with the file-size pair preset, before OpenVideo; filled by the decoder. */
typedef struct qzVideoFormatInfo {
    uint32_t width;      /* frame width in pixels */
    uint32_t height;     /* frame height in pixels */
    uint32_t duration;   /* milliseconds */
    uint32_t sampleRate; /* audio sample rate in Hz */
    uint32_t channels;   /* audio channels, 0 = no sound */
    uint32_t seekMode;   /* QZ_VIDEO_SEEK_TIME or QZ_VIDEO_SEEK_BYTES */
    uint32_t byteRate;   /* bytes per second, for byte-offset seeking */
    uint32_t frames32;   /* 1: DecodeVideoFrame writes 32-bit pixels into the engine's buffer; 0: YUV planes */
    uint32_t flags;      /* QZ_VIDEOFORMAT_CANSEEK */
    uint32_t reserved;
    double frameDuration;  /* seconds, 0 = unknown */
    uint32_t fileSizeHigh; /* the file size in bytes, high word first */
    uint32_t fileSizeLow;
    const char* adapter; /* in: the file-adapter list the file is to be opened with */
} qzVideoFormatInfo;

/* Filled by NextPacket. */
typedef struct qzVideoPacketBlock {
    void* packet;
    uint32_t type; /* QZ_VIDEOPACKET_VIDEO or QZ_VIDEOPACKET_AUDIO */
    uint32_t size; /* bytes */
    uint32_t reserved;
    double timeStamp; /* seconds */
} qzVideoPacketBlock;

/* Passed to DecodeVideoFrame. For 32-bit frames planes[0] already points at the engine's buffer;
 * otherwise the decoder points planes[0..2] at Y (full size), U and V (half width, half height). */
typedef struct qzVideoFrameBlock {
    uint8_t** planes;
    uint32_t* rowBytes;   /* out: one row length in bytes per plane */
    uint32_t repeat;      /* out: extra half-frame delays */
    uint32_t positionTag; /* out: byte position of the frame for byte-offset seeking */
    double timeStampB;    /* out: seconds, -1.0 = none */
    double timeStampA;    /* out: seconds, -1.0 = none */
} qzVideoFrameBlock;

/* Passed to DecodeAudioFrame. Audio is 16-bit signed PCM in host order, interleaved by channel. */
typedef struct qzVideoAudioBlock {
    void* buffer;
    uint32_t capacity; /* bytes */
    uint32_t produced; /* out: bytes */
    uint32_t done;     /* in: the caller's last value; out: 1 once the packet is fully decoded */
} qzVideoAudioBlock;

/* The 32-bit layout with native pointers: the fields keep their order, the doubles their 8-byte
 * alignment. */
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFormatInfo, frameDuration) == 40, "frame duration at 40");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFormatInfo, fileSizeHigh) == 48, "file size at 48");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFormatInfo, adapter) == 56, "adapter list at 56");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoPacketBlock, type) == sizeof(void*), "packet type after the pointer");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoPacketBlock, timeStamp) == 24, "packet time stamp at 24");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFrameBlock, repeat) == 2 * sizeof(void*), "repeat after the two pointers");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoFrameBlock, timeStampB) == 24, "time stamp B at 24");
QZ_VIDEO_ABI_ASSERT(offsetof(qzVideoAudioBlock, capacity) == sizeof(void*), "capacity after the pointer");

#endif
