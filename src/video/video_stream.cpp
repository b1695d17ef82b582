#include "video/video_stream.h"

#include <cstring>

#include "platform/loader_list.h"
#include "runtime/plugin_manager.h"
#include "video/cdxl_reader.h"

namespace {

// The plugin behind a stream, when its entry points may be called: a stub plugin's entry points
// are not (the loader leaves them null), and such a stream answers 0.
const qzPluginInfo* CallablePlugin(const qzVideoStream* stream) {
    if (!stream || stream->kind != QZ_VIDEOSTREAM_PLUGIN || !stream->plugin) return nullptr;
    if (stream->plugin->callMode == QZ_PLUGIN_CALLMODE_STUB) return nullptr;
    return stream->plugin;
}

qzCdxlReader* InbuiltReader(const qzVideoStream* stream) {
    if (!stream || stream->kind != QZ_VIDEOSTREAM_INBUILT) return nullptr;
    return static_cast<qzCdxlReader*>(stream->handle);
}

// Whether the plugin may serve a video with this loader list: enabled, selected by the list, and
// named in it when it serves only when named.
bool PluginSelected(const qzPluginInfo* info, const char* list) {
    if (info->disabled || !info->moduleName || !IsLoaderSelected(list, info->moduleName, true)) return false;
    return !info->activatedByList || IsLoaderNamedExplicitly(list, info->moduleName);
}

}  // namespace

void PresetVideoFormat(qzVideoFormatInfo* format, const char* adapterList) {
    std::memset(format, 0, sizeof *format);
    format->fileSizeHigh = QZ_VIDEO_FILESIZE_UNKNOWN_HIGH;
    format->fileSizeLow = QZ_VIDEO_FILESIZE_UNKNOWN_LOW;
    format->adapter = adapterList;
}

bool OpenPluginVideoStream(const qzPluginInfo* plugin, const char* file, const char* adapterList,
                           qzVideoFormatInfo* format, qzVideoStream* stream) {
    *stream = qzVideoStream{};
    if (!plugin || plugin->disabled || plugin->callMode == QZ_PLUGIN_CALLMODE_STUB || !plugin->OpenVideo) {
        return false;
    }
    PresetVideoFormat(format, adapterList);
    void* handle = plugin->OpenVideo(file, format);
    if (!handle) return false;
    *stream = qzVideoStream{plugin, handle, QZ_VIDEOSTREAM_PLUGIN};
    return true;
}

bool OpenInbuiltVideoStream(const char* file, const char* adapterList, qzVideoFormatInfo* format,
                            qzVideoStream* stream) {
    *stream = qzVideoStream{};
    PresetVideoFormat(format, adapterList);
    qzCdxlReader* reader = OpenCdxl(file, format);
    if (!reader) return false;
    *stream = qzVideoStream{nullptr, reader, QZ_VIDEOSTREAM_INBUILT};
    return true;
}

bool OpenVideoStream(const char* file, const char* loaderList, const char* adapterList, qzVideoFormatInfo* format,
                     qzVideoStream* stream) {
    ActivateAdapters(adapterList, QZ_PLUGINCAPS_VIDEO);
    for (const qzCapabilityNode* node = GetAdapterList(QZ_PLUGINCAPS_VIDEO); node; node = node->next) {
        auto* info = static_cast<const qzPluginInfo*>(node->plugin);
        if (!PluginSelected(info, loaderList)) continue;
        if (OpenPluginVideoStream(info, file, adapterList, format, stream)) return true;
    }
    if (IsLoaderSelected(loaderList, "inbuilt", false))
        return OpenInbuiltVideoStream(file, adapterList, format, stream);
    *stream = qzVideoStream{};
    return false;
}

int VideoStreamNextPacket(const qzVideoStream* stream, qzVideoPacketBlock* packet) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        return plugin->NextPacket ? plugin->NextPacket(stream->handle, packet) : 0;
    }
    if (qzCdxlReader* reader = InbuiltReader(stream)) return ReadCdxlPacket(reader, packet);
    return 0;
}

void VideoStreamFreePacket(const qzVideoStream* stream, void* packet) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        if (plugin->FreePacket) plugin->FreePacket(packet);
    } else if (InbuiltReader(stream)) {
        FreeCdxlPacket(packet);
    }
}

int VideoStreamDecodeVideo(const qzVideoStream* stream, void* packet, qzVideoFrameBlock* frame) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        return plugin->DecodeVideoFrame ? plugin->DecodeVideoFrame(stream->handle, packet, frame) : 0;
    }
    if (qzCdxlReader* reader = InbuiltReader(stream)) return DecodeCdxlFrame(reader, packet, frame);
    return 0;
}

int VideoStreamDecodeAudio(const qzVideoStream* stream, void* packet, qzVideoAudioBlock* audio) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        return plugin->DecodeAudioFrame ? plugin->DecodeAudioFrame(stream->handle, packet, audio) : 0;
    }
    if (qzCdxlReader* reader = InbuiltReader(stream)) return DecodeCdxlAudio(reader, packet, audio);
    return 0;
}

int VideoStreamSeek(const qzVideoStream* stream, int64_t position, int seekMode) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        return plugin->SeekVideo ? plugin->SeekVideo(stream->handle, position, seekMode) : 0;
    }
    if (qzCdxlReader* reader = InbuiltReader(stream)) return SeekCdxl(reader, position);
    return 0;
}

void VideoStreamFlushAudio(const qzVideoStream* stream) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        if (plugin->FlushAudio) plugin->FlushAudio(stream->handle);
    }
}

void VideoStreamFlushVideo(const qzVideoStream* stream) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        if (plugin->FlushVideo) plugin->FlushVideo(stream->handle, 0);
    }
}

int64_t VideoStreamFrameCount(const qzVideoStream* stream) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        return plugin->GetVideoFrames ? plugin->GetVideoFrames(stream->handle, 0) : 0;
    }
    if (qzCdxlReader* reader = InbuiltReader(stream)) return GetCdxlFrameCount(reader);
    return 0;
}

const char* VideoStreamFormatName(const qzVideoStream* stream) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        return plugin->GetVideoFormat ? plugin->GetVideoFormat(stream->handle, 0) : nullptr;
    }
    if (InbuiltReader(stream)) return GetCdxlFormatName();
    return nullptr;
}

void VideoStreamRewind(const qzVideoStream* stream, int seekMode) {
    VideoStreamSeek(stream, 0, seekMode);
    VideoStreamFlushAudio(stream);
}

void CloseVideoStream(qzVideoStream* stream) {
    if (const qzPluginInfo* plugin = CallablePlugin(stream)) {
        if (plugin->CloseVideo) plugin->CloseVideo(stream->handle);
    } else if (qzCdxlReader* reader = InbuiltReader(stream)) {
        CloseCdxl(reader);
    }
    *stream = qzVideoStream{};
}
