// The video library's commands.
#include "libs/video/video_commands.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "display/display.h"
#include "display/display_refresh.h"
#include "display/display_scale.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_replace.h"
#include "display/picture.h"
#include "display/picture_layers.h"
#include "display/positions.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "image/brush.h"
#include "image/image_display.h"
#include "libs/sound/sound.h"
#include "platform/display_adapter.h"
#include "platform/os_bitmap.h"
#include "runtime/applet_version.h"
#include "runtime/arg_check.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/linked_file.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "video/video_dump.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The refusals of drawing into something other than the display.
int CheckVideoOutput(const qzDisplay* display) {
    if (display->outputKind == QZ_TYPE_BRUSH) {
        const qzBGPic* target = display->selectRecord;
        return target && target->selectTarget[0] == QZ_TYPE_ANIM ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    }
    if (display->outputKind == QZ_TYPE_MASK) return ERR_SELECTMASK;
    if (display->outputKind == QZ_TYPE_ALPHACHANNEL) return ERR_SELECTALPHACHANNEL;
    return 0;
}

// The video of the identifier at index; videos that only layers keep are not the script's.
qzVideo* CheckVideo(VmState* state, int index, int flags = 0) {
    const qzObjectId id = CheckObjectIdArg(state, index);
    qzVideo* video = nullptr;
    if (int error = FindVideoById(id, &video, flags, state)) VmFailCommand(state, error);
    return video;
}

// Opens the file into a new video record of the list. 0 or the player's error.
int OpenVideoRecord(const char* file, const char* loader, const char* adapter, const qzObjectId& id,
                    int32_t keptByLayers, qzVideo** out) {
    *out = nullptr;
    auto* video = new qzVideo();
    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGVIDEO), file, true);
    int32_t width = 0, height = 0, canSeek = 0;
    uint32_t duration = 0;
    int error =
        OpenVideoPlayer(file, loader, ListOrNull(adapter), &video->player, &width, &height, &duration, &canSeek);
    if (error) {
        delete video;
        PrintProgressFailed();
        return error;
    }
    video->nativeWidth = video->setWidth = video->screenWidth = width;
    video->nativeHeight = video->setHeight = video->screenHeight = height;
    video->duration = duration;
    video->canSeek = canSeek;
    video->volume = 64;
    video->keptByLayers = keptByLayers;
    std::snprintf(video->file, sizeof video->file, "%s", file);
    std::snprintf(video->adapter, sizeof video->adapter, "%s", adapter);
    std::snprintf(video->loader, sizeof video->loader, "%s", loader);
    qzVideoOutput output = VideoOutputOf(video);
    SetVideoPlayerOutput(video->player, &output);
    AddObjectToList(&qzVideoList, &video->header, QZ_TYPE_VIDEO, id);
    PrintProgressDone();
    *out = video;
    return 0;
}

// The checks of playing or showing a video on the current display: 0 with the display, or the
// error.
int CheckVideoDisplay(qzDisplay** out) {
    qzDisplay* display = CurrentDisplay();
    *out = display;
    if (!display || display->state == QZ_DISPSTATE_CLOSED) return ERR_WRONGUSAGE;
    return CheckVideoOutput(display);
}

// The "loader" and "adapter" fields of the options table at index; the default loader list when
// none is given.
void ReadVideoOptions(VmState* state, int index, qzLoadOptions* options) {
    ReadLoadOptions(state, index, options);
    if (!options->loader[0]) std::snprintf(options->loader, sizeof options->loader, "%s", qzVideoDefaultLoader);
}

}  // namespace

void ComputeVideoScreenRect(qzVideo* video, const qzDisplay* display) {
    video->screenX = video->x;
    video->screenY = video->y;
    video->screenWidth = video->setWidth;
    video->screenHeight = video->setHeight;
    if (display->scaledWidth > 0 && display->scaledHeight > 0) {
        video->screenX = static_cast<int32_t>(video->x * display->scaleX);
        video->screenY = static_cast<int32_t>(video->y * display->scaleY);
        video->screenWidth = static_cast<int32_t>(video->setWidth * display->scaleX);
        video->screenHeight = static_cast<int32_t>(video->setHeight * display->scaleY);
        video->smooth = display->smoothScale;
    }
    if (video->screenWidth < 1) video->screenWidth = 1;
    if (video->screenHeight < 1) video->screenHeight = 1;
}

namespace {

// A colour bitmap of the size, all black; null when out of memory.
qzBitMap* ClearedBitMap(int32_t width, int32_t height) {
    qzBitMap* bitmap = CreateBitMap(width, height, 0, nullptr);
    if (!bitmap) return nullptr;
    qzLockInfo lock;
    if (!LockBitMapPixels(bitmap, 0, &lock)) {
        DeleteBitMap(bitmap);
        return nullptr;
    }
    const size_t rowBytes = static_cast<size_t>(lock.rowLength) * (lock.pixelFormat == PIXFMT_RGB565 ? 2 : 4);
    std::memset(lock.pixels, 0, rowBytes * static_cast<size_t>(height));
    UnlockBitMapPixels(&lock);
    return bitmap;
}

bool IsActive(const qzVideo* video) {
    int32_t s = video->state.load();
    return s == QZ_VIDEO_PLAYING || s == QZ_VIDEO_PAUSED || s == QZ_VIDEO_FINISHED;
}

// A new rectangle for an active video: the engine's pictures follow it.
void ApplyScreenRect(VmState* state, qzVideo* video) {
    if (!IsActive(video) || !video->display) return;
    ComputeVideoScreenRect(video, video->display);
    SetVideoPlayerRect(video->player, video->screenX, video->screenY, video->screenWidth, video->screenHeight,
                       video->smooth);
    if (video->player->kind != QZ_VIDEOKIND_MOVIE && video->display->state == QZ_DISPSTATE_OPEN)
        RefreshDisplay(state, video->display, 0);
}

}  // namespace

int VideoOpenVideo(VmState* state) {
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    std::string name = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzLoadOptions options;
    ReadVideoOptions(state, 3, &options);
    if (!IsAutoObjectId(id)) {
        qzVideo* old = nullptr;
        if (FindVideoById(id, &old) == 0) ReleaseVideoObject(state, old);
    }
    qzVideo* video = nullptr;
    int error = OpenVideoRecord(name.c_str(), options.loader, options.adapter, id, 0, &video);
    if (error) return error;
    return PushNewObjectHandle(state, id, &video->header);
}

int VideoCloseVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1, QZ_FINDVIDEO_MODIFY | QZ_FINDVIDEO_NODETACH);
    ReleaseVideoObject(state, video);
    return 0;
}

int VideoPlayVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    int32_t x = VmOptInteger(state, 2, 0);
    int32_t y = VmOptInteger(state, 3, 0);
    bool useLayer = false;
    int tagIndex = 0;
    if (VmType(state, 4) > VM_TNIL) {
        VmCheckTable(state, 4);
        GetTableFieldFlag(state, 4, "uselayer", &useLayer, nullptr);
        tagIndex = 4;
    }
    qzDisplay* display = nullptr;
    if (int error = CheckVideoDisplay(&display)) return error;
    if (useLayer && !CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    return PlayVideoObject(state, video, nullptr, x, y, useLayer, tagIndex);
}

int VideoStopVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    return StopVideoObject(state, video, 1);
}

int VideoPauseVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    if (video->state.load() != QZ_VIDEO_PLAYING) return ERR_VIDNOTPLAYING;
    PauseVideoPlayer(video->player);
    video->state.store(QZ_VIDEO_PAUSED);
    return 0;
}

int VideoResumeVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    if (video->state.load() != QZ_VIDEO_PAUSED) return ERR_VIDNOTPAUSED;
    ResumeVideoPlayer(video->player);
    video->state.store(QZ_VIDEO_PLAYING);
    return 0;
}

int VideoSeekVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    int32_t position = VmCheckInteger(state, 2);
    return SeekVideoTo(state, video, position);
}

int VideoIsVideo(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    qzLoadOptions options;
    ReadVideoOptions(state, 2, &options);
    VmPushNumber(state, IsVideoFile(name.c_str(), options.loader, ListOrNull(options.adapter)));
    return 1;
}

int VideoSetVideoSize(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    if (video->layerFlag) return ERR_VIDLAYERFUNC;
    int32_t width = CheckSizeArg(state, 2, video->nativeWidth);
    int32_t height = CheckSizeArg(state, 3, video->nativeHeight);
    int32_t smooth = VmType(state, 4) > VM_TNIL ? (VmToBoolean(state, 4) ? 1 : 0) : video->smooth;
    int error = ApplyKeepAspectSize(video->nativeWidth, video->nativeHeight, &width, &height);
    if (error == ERR_BADDIMENSIONS || width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (error) return error;
    if (width == video->setWidth && height == video->setHeight && smooth == video->smooth) return 0;
    video->setWidth = width;
    video->setHeight = height;
    video->smooth = smooth;
    ApplyScreenRect(state, video);
    return 0;
}

int VideoSetVideoPosition(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    if (video->layerFlag) return ERR_VIDLAYERFUNC;
    int32_t x = VmCheckInteger(state, 2);
    int32_t y = VmCheckInteger(state, 3);
    qzDisplay* display = video->display ? video->display : CurrentDisplay();
    video->x = ResolveXPosition(x, video->setWidth, display ? display->width : 0, 0.0);
    video->y = ResolveYPosition(y, video->setHeight, display ? display->height : 0, 0.0);
    ApplyScreenRect(state, video);
    return 0;
}

int VideoSetVideoVolume(VmState* state) {
    qzVideo* video = CheckVideo(state, 2 - 1);
    int isPercent = 0;
    double value = CheckPercentArg(state, 2, 64.0, 1, &isPercent);
    SetVideoVolumeTo(video, value);
    return 0;
}

// The frame of a player that GetVideoPlayerFrame finds (where, mode, after as it takes them) as a
// new bitmap, and its size. 0 or an error.
static int ReadFrameBitmap(qzVideoPlayer* player, int64_t where, int mode, int after, qzBitMap** out, int32_t* width,
                           int32_t* height) {
    uint32_t* pixels = nullptr;
    int32_t rowLength = 0;
    int error = GetVideoPlayerFrame(player, where, mode, after, 0, &pixels, width, height, &rowLength);
    if (error) return error;
    return CreateBitMapFromARGB(pixels, QZ_NO_KEY_COLOR, *width, *height, rowLength, 0, 0, nullptr, out, nullptr,
                                nullptr);
}

int VideoGetVideoFrame(VmState* state) {
    qzObjectId brushId;
    GetNumericIdArg(&brushId, state, 1);
    qzVideo* video = CheckVideo(state, 2);
    double position = VmCheckNumber(state, 3);
    int32_t mode = VmOptInteger(state, 4, 0);
    int32_t after = VmOptInteger(state, 5, 15);
    if (video->state.load() != QZ_VIDEO_STOPPED) return ERR_FGRABVIDSTATE;
    if (FindLayerUsingObject(QZ_LAYER_VIDEO, video->header.id, nullptr, nullptr, nullptr)) return ERR_WRONGUSAGE;
    int64_t where = 0;
    if (mode == 0) {
        if (position < 1) return ERR_VIDEOFRAME;
        where = static_cast<int64_t>(position) - 1;
    } else if (mode == 1) {
        if (!video->canSeek) return ERR_SEEKFORMAT;
        if (position < 0 || video->duration == 0 || position > video->duration - 1.0) return ERR_SEEKRANGE;
        where = static_cast<int64_t>(position);
    } else {
        return ERR_WRONGUSAGE;
    }
    FreeBrushForReuse(state, brushId);
    int32_t width = 0, height = 0;
    qzBitMap* bitmap = nullptr;
    int error = ReadFrameBitmap(video->player, where, mode, after, &bitmap, &width, &height);
    if (error) return error;
    qzBrush* brush = nullptr;
    error = AddBrush(brushId, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap, -1, nullptr, nullptr,
                     nullptr, &brush);
    if (error) {
        DeleteBitMap(bitmap);
        return error;
    }
    return PushNewObjectHandle(state, brushId, &brush->header);
}

int VideoIsVideoPlaying(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    VmPushNumber(state, video->state.load() == QZ_VIDEO_PLAYING ? 1 : 0);
    return 1;
}

int VideoDisplayVideoFrame(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    const int32_t x = VmCheckInteger(state, 2);
    const int32_t y = VmCheckInteger(state, 3);
    const double position = VmCheckNumber(state, 4);
    int tagIndex = 0;
    if (VmType(state, 5) > VM_TNIL) {
        VmCheckTable(state, 5);
        tagIndex = 5;
    }
    qzDisplay* display = nullptr;
    if (int error = CheckVideoDisplay(&display)) return error;
    return DisplayVideoFrameAt(state, video, x, y, position, -1, 0, tagIndex);
}

int VideoForceVideoDriver(VmState* state) {
    int32_t driver = VmCheckInteger(state, 1);
    if (driver == 0) std::snprintf(qzVideoDefaultLoader, sizeof qzVideoDefaultLoader, "native");
    if (driver == 1) std::snprintf(qzVideoDefaultLoader, sizeof qzVideoDefaultLoader, "inbuilt|plugin");
    return 0;
}

int VideoDumpVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    int32_t x = VmOptInteger(state, 2, 0);
    int32_t y = VmOptInteger(state, 3, 0);
    std::string baseName = VmType(state, 4) > VM_TNIL ? VmCheckString(state, 4, nullptr) : "";
    int32_t format = VmOptInteger(state, 5, 0);
    if (video->state.load() != QZ_VIDEO_STOPPED || format < 0 || format >= 5) return ERR_WRONGUSAGE;
    qzDisplay* display = CurrentDisplay();
    if (display && display->state == QZ_DISPSTATE_CLOSED) display = nullptr;
    x = ResolveXPosition(x, video->setWidth, display ? display->width : 0, 0.0);
    y = ResolveYPosition(y, video->setHeight, display ? display->height : 0, 0.0);
    return DumpVideoPlayer(state, video->player, display, x, y, baseName.empty() ? nullptr : baseName.c_str(), format);
}

// Shared inside the library.
int OpenSecondVideo(qzVideo* video, qzVideo** out) {
    return OpenVideoRecord(video->file, VideoLoaderName(video), video->adapter, {0, QZ_AUTO_ID}, 1, out);
}

namespace {

// The frame at ms of the video's file as a bitmap, read without playing: the first frame at 0,
// else the frame the seek to ms reaches. A stopped video reads it itself; a paused or ended one,
// whose threads hold its stream, reads it through a player of its own on the file. 0 or an error.
int ReadFrameAt(qzVideo* video, uint32_t ms, qzBitMap** out) {
    struct OwnReader {
        qzVideoPlayer* player = nullptr;
        ~OwnReader() { CloseVideoPlayer(player); }
    } own;
    if (video->player->engine->started) {
        int32_t width = 0, height = 0, canSeek = 0;
        uint32_t duration = 0;
        int error = OpenVideoPlayer(video->file, VideoLoaderName(video), ListOrNull(video->adapter), &own.player,
                                    &width, &height, &duration, &canSeek);
        if (error) return error;
    }
    int32_t width = 0, height = 0;
    return ReadFrameBitmap(own.player ? own.player : video->player, ms, ms == 0 ? 0 : 1, 0, out, &width, &height);
}

// The display that shows the picture of the layer: the one the video plays on, else one that shows
// the picture, else the current display; null when there is none.
qzDisplay* DisplayForLayer(const qzVideo* video, const qzLayer* layer) {
    if (video->display) return video->display;
    const qzBGPic* pic = FindBGPicOfLayer(layer);
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->bgpic == pic && d->state != QZ_DISPSTATE_CLOSED) return d;
    return CurrentDisplay();
}

// A video that a layer shows and that does not play (stopped, paused or ended) shows the frame at
// its new position in the layer at once; playback later goes on from there. Only running out of
// memory fails: a frame that cannot be read leaves the layer as it was.
int ShowSeekInLayer(VmState* state, qzVideo* video, uint32_t ms, qzLayer* layer) {
    const int32_t s = video->state.load();
    if (video->player->kind == QZ_VIDEOKIND_MOVIE ||
        (s != QZ_VIDEO_STOPPED && s != QZ_VIDEO_PAUSED && s != QZ_VIDEO_FINISHED))
        return 0;
    if (!layer && !FindLayerUsingObject(QZ_LAYER_VIDEO, video->header.id, nullptr, nullptr, &layer)) return 0;
    qzDisplay* display = DisplayForLayer(video, layer);
    if (!display) return 0;
    qzBitMap* frame = nullptr;
    int error = ReadFrameAt(video, ms, &frame);
    if (error) return error == ERR_MEM ? error : 0;
    // A frame of the paused or ended video that waits for the main thread would come after this one.
    qzVideoEngine* engine = video->player->engine;
    if (engine->started) RemoveVideoDrawRequests(engine, video->display);
    qzLayer* slot = layer;
    error = ReplaceLayerContentFromBitmap(state, display, &slot, frame);
    if (engine->layer == layer) engine->layer = slot;
    return error == ERR_MEM ? error : 0;
}

}  // namespace

int SeekVideoTo(VmState* state, qzVideo* video, double position, qzLayer* layer) {
    if (!video->canSeek) return ERR_SEEKFORMAT;
    if (!(position >= 0) || video->duration == 0 || position > video->duration - 1.0) return ERR_SEEKRANGE;
    const uint32_t ms = static_cast<uint32_t>(position);
    if (int error = SeekVideoPlayer(video->player, ms)) return error;
    return ShowSeekInLayer(state, video, ms, layer);
}

void SetVideoVolumeTo(qzVideo* video, double value) {
    const int32_t volume = !(value > 0) ? 0 : value > 64 ? 64 : static_cast<int32_t>(value);
    video->volume = volume;
    if (IsActive(video)) SetVideoPlayerVolume(video->player, volume);
}

int PlayVideoObject(VmState* state, qzVideo* video, qzLayer* layer, int32_t x, int32_t y, bool useLayer, int tagIndex) {
    qzDisplay* display = CurrentDisplay();
    if (!display || display->state == QZ_DISPSTATE_CLOSED) return ERR_WRONGUSAGE;
    if (layer) {
        video = VideoOfLayer(layer);
        if (!video) return ERR_FINDVIDEO;
        useLayer = true;
    }
    if (!display->layersEnabled) {
        const qzBGPic* pic = display->bgpic;
        if (pic && (pic->transparentColor != -1 || pic->alpha)) return ERR_VIDEOTRANS;
        if (useLayer) return ERR_NOLAYERS;
    }
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    if (useLayer && video->player->kind == QZ_VIDEOKIND_MOVIE) return ERR_VIDEOLAYERDRV;
    if (useLayer && GetDisplayAdapter()) return ERR_DISPLAYADAPTERSUPPORT;
    // A finished video starts again; one replayed in its layer keeps the layer.
    if (video->state.load() == QZ_VIDEO_FINISHED) StopVideoObject(state, video, 0, layer ? 0 : 1);
    const bool shown = FindLayerUsingObject(QZ_LAYER_VIDEO, video->header.id, nullptr, nullptr, nullptr);
    qzVideo* second = nullptr;
    if (useLayer && !layer) {
        // A busy video, or one that a layer shows already, plays in the new layer as a second video
        // of the same file.
        const int32_t s = video->state.load();
        if (s == QZ_VIDEO_PLAYING || s == QZ_VIDEO_PAUSED || shown) {
            if (int error = OpenSecondVideo(video, &second)) return error;
            video = second;
        }
    }
    if (video->state.load() == QZ_VIDEO_PLAYING) return ERR_VIDPLAYING;
    if (video->state.load() == QZ_VIDEO_PAUSED) return ERR_VIDPAUSED;
    if (!useLayer && shown) return ERR_DBVIDEOLAYER;
    qzLayer* target = layer;
    if (!useLayer) {
        video->x = ResolveXPosition(x, video->setWidth, display->width, 0.0);
        video->y = ResolveYPosition(y, video->setHeight, display->height, 0.0);
        ComputeVideoScreenRect(video, display);
    } else if (!layer) {
        // The new layer starts as a cleared frame at the drawing options' place and look.
        qzBitMap* cleared = ClearedBitMap(video->nativeWidth, video->nativeHeight);
        int error = cleared ? DisplayVideoFrameImage(state, 0, video->header.id, cleared, 0, 0, x, y, 0, 0, tagIndex,
                                                     nullptr, nullptr, 0, &target)
                            : ERR_MEM;
        if (error) {
            if (second) CloseVideoObject(state, second);
            return error;
        }
    }
    StartSoundSystem(state);
    video->display = display;
    video->layerFlag = useLayer ? 1 : 0;
    video->state.store(QZ_VIDEO_PLAYING);
    int error = useLayer
                    ? StartVideoPlayer(video->player, video->header.id, display, 0, 0, video->nativeWidth,
                                       video->nativeHeight, video->volume, 0, target)
                    : StartVideoPlayer(video->player, video->header.id, display, video->screenX, video->screenY,
                                       video->screenWidth, video->screenHeight, video->volume, video->smooth, nullptr);
    if (error) {
        video->state.store(QZ_VIDEO_STOPPED);
        video->layerFlag = 0;
        video->display = nullptr;
    }
    return error;
}

int DisplayVideoFrameAt(VmState* state, qzVideo* video, int32_t x, int32_t y, double position, int32_t insertPos,
                        int hidden, int tagIndex) {
    const qzDisplay* display = CurrentDisplay();
    if (!display || !display->layersEnabled) return ERR_NOLAYERS;
    if (video->player->kind == QZ_VIDEOKIND_MOVIE) return ERR_VIDEOLAYERDRV;
    if (position != 0) {
        if (!video->canSeek) return ERR_SEEKFORMAT;
        if (!(position >= 0) || video->duration == 0 || position > video->duration - 1.0) return ERR_SEEKRANGE;
    }
    if (video->state.load() == QZ_VIDEO_FINISHED) StopVideoObject(state, video, 0);
    // A busy video, or one that a layer shows already, gives the frame through a second video.
    qzVideo* second = nullptr;
    const int32_t s = video->state.load();
    if (s == QZ_VIDEO_PLAYING || s == QZ_VIDEO_PAUSED ||
        FindLayerUsingObject(QZ_LAYER_VIDEO, video->header.id, nullptr, nullptr, nullptr)) {
        if (int error = OpenSecondVideo(video, &second)) return error;
        video = second;
    }
    int32_t width = 0, height = 0;
    qzBitMap* frame = nullptr;
    int error = ReadFrameBitmap(video->player, static_cast<int64_t>(position), 1, 15, &frame, &width, &height);
    // The layer takes the frame, also when it cannot be made.
    qzLayer* layer = nullptr;
    if (!error && insertPos < 0)
        error = DisplayVideoFrameImage(state, 0, video->header.id, frame, 0, 0, x, y, 0, 0, tagIndex, nullptr, nullptr,
                                       0, &layer);
    else if (!error)
        error =
            InsertImageLayer(state, QZ_LAYER_VIDEO, video->header.id, 0, 0, x, y, width, height, nullptr, nullptr,
                             frame, nullptr, nullptr, insertPos, hidden ? uint32_t(QZ_ADDLAYER_HIDDEN) : 0u, &layer);
    if (error) {
        if (second) CloseVideoObject(state, second);
        return error;
    }
    video->layerFlag = 1;
    return 0;
}

const char* VideoLoaderName(const qzVideo* video) {
    if (video->player->kind == QZ_VIDEOKIND_MOVIE) return "native";
    const qzPluginInfo* plugin = video->player->engine->stream.plugin;
    return plugin && plugin->moduleName ? plugin->moduleName : "inbuilt";
}
