/* A video-decoder plugin for "video:WxHxN" names: N frames of W x H at 10 frames per second,
 * frame k filled with the k-th colour of red, lime, blue, yellow (round and round), without
 * sound. Each frame is one packet holding its number. A name beginning "noauto" asks not to be
 * activated for videos. The number of packets handed out and not yet freed, plus 1000 per open
 * video, is kept in the information block's user data; the adapter list of the last open goes to
 * a "<plugin path>.log" file. */
#include <stdio.h>
#include <stdlib.h>

#include "platform/plugin_video.h"
#include "test_plugin.h"

typedef struct Video {
    int width, height, count, next;
} Video;

static const uint32_t kColours[4] = {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFF00u};

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    info->author = "Quarnelix tests";
    info->description = "Coloured video frames";
    info->copyright = "none";
    info->url = "";
    info->date = "01.01.24";
    info->capabilities = QZ_PLUGINCAPS_VIDEO | QZ_PLUGINCAPS_EXTENSIONS;
    return 1;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) { MarkClosed(); }

QZ_PLUGIN_EXPORT uint32_t GetExtensions(uint32_t capability, intptr_t reserved) {
    (void)reserved;
    return capability == QZ_PLUGINCAPS_VIDEO && NameStartsWith("noauto") ? QZ_PLUGINEXT_NOAUTOACTIVATE : 0;
}

QZ_PLUGIN_EXPORT void* OpenVideo(const char* file, void* block) {
    qzVideoFormatInfo* format = (qzVideoFormatInfo*)block;
    Video v;
    memset(&v, 0, sizeof v);
    if (strncmp(file, "video:", 6) != 0 || sscanf(file + 6, "%dx%dx%d", &v.width, &v.height, &v.count) != 3 ||
        v.width < 1 || v.height < 1 || v.count < 1 || v.width > 1024 || v.height > 1024)
        return NULL;
    Video* handle = (Video*)host->clib->Malloc(sizeof(Video));
    *handle = v;
    format->width = (uint32_t)v.width;
    format->height = (uint32_t)v.height;
    format->duration = (uint32_t)v.count * 100;
    format->frames32 = 1;
    format->flags = QZ_VIDEOFORMAT_CANSEEK;
    format->frameDuration = 0.1;
    char line[600];
    snprintf(line, sizeof line, "open adapter=%.500s\n", format->adapter ? format->adapter : "(none)");
    char path[1100];
    strcpy(path, pluginPath);
    strcat(path, ".log");
    host->dos->WriteBufferToFile(path, line, strlen(line), 1);
    self->userData += 1000;
    return handle;
}

QZ_PLUGIN_EXPORT void CloseVideo(void* handle) {
    host->clib->Free(handle);
    self->userData -= 1000;
}

QZ_PLUGIN_EXPORT int NextPacket(void* handle, void* block) {
    Video* v = (Video*)handle;
    qzVideoPacketBlock* packet = (qzVideoPacketBlock*)block;
    if (v->next >= v->count) return -1;
    int* number = (int*)host->clib->Malloc(sizeof(int));
    *number = v->next++;
    packet->packet = number;
    packet->type = QZ_VIDEOPACKET_VIDEO;
    packet->size = sizeof(int);
    packet->timeStamp = *number * 0.1;
    self->userData += 1;
    return 0;
}

QZ_PLUGIN_EXPORT void FreePacket(void* packet) {
    host->clib->Free(packet);
    self->userData -= 1;
}

QZ_PLUGIN_EXPORT int DecodeVideoFrame(void* handle, void* packet, void* block) {
    Video* v = (Video*)handle;
    qzVideoFrameBlock* frame = (qzVideoFrameBlock*)block;
    const int number = *(int*)packet;
    uint32_t* pixels = (uint32_t*)frame->planes[0];
    for (int i = 0; i < v->width * v->height; ++i) pixels[i] = kColours[number % 4];
    frame->rowBytes[0] = (uint32_t)v->width * 4;
    frame->timeStampB = number * 0.1;
    frame->timeStampA = -1.0;
    return 0;
}

QZ_PLUGIN_EXPORT int DecodeAudioFrame(void* handle, void* packet, void* block) {
    (void)handle;
    (void)packet;
    ((qzVideoAudioBlock*)block)->done = 1;
    return 0;
}

QZ_PLUGIN_EXPORT int SeekVideo(void* handle, int64_t position, int seekMode) {
    Video* v = (Video*)handle;
    if (seekMode != QZ_VIDEO_SEEK_TIME || position < 0 || position >= (int64_t)v->count * 100) return 1;
    v->next = (int)(position / 100);
    return 0;
}

QZ_PLUGIN_EXPORT void FlushAudio(void* handle) { (void)handle; }

QZ_PLUGIN_EXPORT void FlushVideo(void* handle, intptr_t unused) {
    (void)handle;
    (void)unused;
}

QZ_PLUGIN_EXPORT int64_t GetVideoFrames(void* handle, intptr_t unused) {
    (void)unused;
    return ((Video*)handle)->count;
}

QZ_PLUGIN_EXPORT const char* GetVideoFormat(void* handle, intptr_t unused) {
    (void)handle;
    (void)unused;
    return "Coloured frames";
}
