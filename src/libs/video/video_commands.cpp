// The video library's commands.
#include "libs/video/video_commands.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_refresh.h"
#include "display/display_scale.h"
#include "display/positions.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "image/brush.h"
#include "libs/sound/sound.h"
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

qzVideo* CheckVideo(VmState* state, int index) {
    return reinterpret_cast<qzVideo*>(CheckListObject(state, index, qzVideoList, ERR_FINDVIDEO));
}

// The "loader" and "adapter" fields of the options table at index; the default loader list when
// none is given.
void ReadVideoOptions(VmState* state, int index, qzLoadOptions* options) {
    ReadLoadOptions(state, index, options);
    if (!options->loader[0]) std::snprintf(options->loader, sizeof options->loader, "%s", qzVideoDefaultLoader);
}

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
        if (FindVideoById(id, &old) == 0) CloseVideoObject(state, old);
    }
    auto* video = new qzVideo();
    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGVIDEO), name.c_str(), true);
    int32_t width = 0, height = 0, canSeek = 0;
    uint32_t duration = 0;
    int error = OpenVideoPlayer(name.c_str(), options.loader, ListOrNull(options.adapter), &video->player, &width,
                                &height, &duration, &canSeek);
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
    std::snprintf(video->file, sizeof video->file, "%s", name.c_str());
    std::snprintf(video->adapter, sizeof video->adapter, "%s", options.adapter);
    std::snprintf(video->loader, sizeof video->loader, "%s", options.loader);
    qzVideoOutput output = VideoOutputOf(video);
    SetVideoPlayerOutput(video->player, &output);
    AddObjectToList(&qzVideoList, &video->header, QZ_TYPE_VIDEO, id);
    PrintProgressDone();
    return PushNewObjectHandle(state, id, &video->header);
}

int VideoCloseVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    if (video->locked) return ERR_LOCKEDOBJ;
    if (IsActive(video)) StopVideoObject(state, video, 1);
    CloseVideoObject(state, video);
    return 0;
}

int VideoPlayVideo(VmState* state) {
    qzVideo* video = CheckVideo(state, 1);
    int32_t x = VmOptInteger(state, 2, 0);
    int32_t y = VmOptInteger(state, 3, 0);
    bool useLayer = false;
    if (VmType(state, 4) > VM_TNIL) {
        VmCheckTable(state, 4);
        GetTableFieldFlag(state, 4, "uselayer", &useLayer, nullptr);
    }
    qzDisplay* display = CurrentDisplay();
    if (!display || display->state == QZ_DISPSTATE_CLOSED) return ERR_WRONGUSAGE;
    if (int error = CheckVideoOutput(display)) return error;
    if (useLayer) return display->layersEnabled ? ERR_WRONGUSAGE : ERR_NOLAYERS;
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    if (video->state.load() == QZ_VIDEO_FINISHED) StopVideoObject(state, video, 0);
    if (video->state.load() == QZ_VIDEO_PLAYING) return ERR_VIDPLAYING;
    if (video->state.load() == QZ_VIDEO_PAUSED) return ERR_VIDPAUSED;
    video->x = ResolveXPosition(x, video->setWidth, display->width, 0.0);
    video->y = ResolveYPosition(y, video->setHeight, display->height, 0.0);
    ComputeVideoScreenRect(video, display);
    StartSoundSystem(state);
    video->display = display;
    video->state.store(QZ_VIDEO_PLAYING);
    int error = StartVideoPlayer(video->player, video->header.id, display, video->screenX, video->screenY,
                                 video->screenWidth, video->screenHeight, video->volume, video->smooth, nullptr);
    if (error) {
        video->state.store(QZ_VIDEO_STOPPED);
        video->display = nullptr;
    }
    return error;
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
    if (!video->canSeek) return ERR_SEEKFORMAT;
    if (position < 0 || video->duration == 0 || static_cast<uint32_t>(position) > video->duration - 1)
        return ERR_SEEKRANGE;
    return SeekVideoPlayer(video->player, static_cast<uint32_t>(position));
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
    int32_t volume = value < 0 ? 0 : value > 64 ? 64 : static_cast<int32_t>(value);
    video->volume = volume;
    if (IsActive(video)) SetVideoPlayerVolume(video->player, volume);
    return 0;
}

int VideoGetVideoFrame(VmState* state) {
    qzObjectId brushId;
    GetNumericIdArg(&brushId, state, 1);
    qzVideo* video = CheckVideo(state, 2);
    double position = VmCheckNumber(state, 3);
    int32_t mode = VmOptInteger(state, 4, 0);
    int32_t after = VmOptInteger(state, 5, 15);
    if (video->state.load() != QZ_VIDEO_STOPPED) return ERR_FGRABVIDSTATE;
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
    uint32_t* pixels = nullptr;
    int32_t width = 0, height = 0, rowLength = 0;
    int error = GetVideoPlayerFrame(video->player, where, mode, after, 0, &pixels, &width, &height, &rowLength);
    if (error) return error;
    qzBitMap* bitmap = nullptr;
    error = CreateBitMapFromARGB(pixels, QZ_NO_KEY_COLOR, width, height, rowLength, 0, 0, nullptr, &bitmap, nullptr,
                                 nullptr);
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
