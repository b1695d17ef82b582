// GetAttribute's reader of videos, which also answers the media attributes of video layers.
#include "base/error_codes.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics_commands.h"
#include "libs/video/video.h"
#include "video/video_engine.h"
#include "vm/vm.h"

int PushVideoAttribute(VmState* state, qzVideo* video, int attribute) {
    qzVideoPlayer* player = video->player;
    const int32_t s = video->state.load();
    switch (attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, video->nativeWidth);
    case ATTRHEIGHT: return PushAttrNumber(state, video->nativeHeight);
    case ATTRNUMFRAMES: return PushAttrNumber(state, static_cast<double>(GetVideoFrameCount(player)));
    case ATTRDURATION: return PushAttrNumber(state, video->duration);
    case ATTRPOSITION: return PushAttrNumber(state, GetVideoPosition(player));
    case ATTRFORMAT: {
        const char* name = GetVideoFormatName(player);
        return PushAttrString(state, name ? name : "");
    }
    case ATTRSCALEMODE: return PushAttrNumber(state, video->smooth ? 1 : 0);
    case ATTRSCALEWIDTH: return PushAttrNumber(state, video->setWidth);
    case ATTRSCALEHEIGHT: return PushAttrNumber(state, video->setHeight);
    case ATTRCANSEEK: return PushAttrFlag(state, video->canSeek != 0);
    // VIDDRV_OS for the platform's movie player, VIDDRV_QUARNELIX for the player's own engine.
    case ATTRDRIVER: return PushAttrNumber(state, player->kind == QZ_VIDEOKIND_MOVIE ? 0 : 1);
    case ATTRPLAYING: return PushAttrFlag(state, s == QZ_VIDEO_PLAYING);
    case ATTRPAUSED: return PushAttrFlag(state, s == QZ_VIDEO_PAUSED);
    case ATTRLOADER: return PushAttrString(state, VideoLoaderName(video));
    default: return ERR_UNKNOWNATTR;
    }
}

int ReadVideoAttribute(VmState* state, const qzAttributeQuery& q) {
    qzVideo* video = nullptr;
    if (int error = FindVideoById(q.id, &video)) return error;
    return PushVideoAttribute(state, video, q.attribute);
}
