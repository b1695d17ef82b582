// Video decoder streams: one set of operations over the two kinds of decoder, a video-decoder
// plugin (its entry points resolved by name when it was loaded) or the inbuilt CDXL reader. The
// blocks the operations exchange are those of platform/plugin_video.h. A stream of any other kind
// (a zeroed record) answers 0 from every operation and does nothing.
#pragma once

#include <cstdint>

#include "platform/plugin_api.h"
#include "platform/plugin_video.h"

enum { QZ_VIDEOSTREAM_NONE = 0, QZ_VIDEOSTREAM_PLUGIN = 1, QZ_VIDEOSTREAM_INBUILT = 2 };

struct qzVideoStream {
    const qzPluginInfo* plugin;  // null for the inbuilt reader
    void* handle;                // what the decoder's open returned
    uint32_t kind;               // QZ_VIDEOSTREAM_*
};

// The format block as the engine hands it to a decoder's open: zeroed, the file-size pair preset
// to "unknown" and the file-adapter list (null for none) filled in.
void PresetVideoFormat(qzVideoFormatInfo* format, const char* adapterList);

// Offers the file to one decoder plugin (a disabled plugin or one without the video entry points
// takes nothing). True with *stream set when its OpenVideo took the file; *format is preset first.
bool OpenPluginVideoStream(const qzPluginInfo* plugin, const char* file, const char* adapterList,
                           qzVideoFormatInfo* format, qzVideoStream* stream);
// The same for the inbuilt CDXL reader.
bool OpenInbuiltVideoStream(const char* file, const char* adapterList, qzVideoFormatInfo* format,
                            qzVideoStream* stream);
// The engine's choice of decoder: the video-decoder plugins of the adapter list, in load order,
// that the loader list selects (one that serves only when named must be named), then the inbuilt
// reader when the list selects "inbuilt". True with *stream and *format filled by the decoder that
// took the file; false when none did.
bool OpenVideoStream(const char* file, const char* loaderList, const char* adapterList, qzVideoFormatInfo* format,
                     qzVideoStream* stream);

// The operations, with the results of the decoder (see platform/plugin_video.h).
int VideoStreamNextPacket(const qzVideoStream* stream, qzVideoPacketBlock* packet);
void VideoStreamFreePacket(const qzVideoStream* stream, void* packet);
int VideoStreamDecodeVideo(const qzVideoStream* stream, void* packet, qzVideoFrameBlock* frame);
int VideoStreamDecodeAudio(const qzVideoStream* stream, void* packet, qzVideoAudioBlock* audio);
int VideoStreamSeek(const qzVideoStream* stream, int64_t position, int seekMode);
void VideoStreamFlushAudio(const qzVideoStream* stream);
void VideoStreamFlushVideo(const qzVideoStream* stream);
int64_t VideoStreamFrameCount(const qzVideoStream* stream);
// The decoder's name for the format (kept by the decoder), or null.
const char* VideoStreamFormatName(const qzVideoStream* stream);
// A rewind: seek to 0 (in the stream's own seek mode) and flush its audio.
void VideoStreamRewind(const qzVideoStream* stream, int seekMode);
// Closes the decoder and zeroes the record.
void CloseVideoStream(qzVideoStream* stream);
