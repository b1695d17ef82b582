// The video library: video objects that play a file on the current display, pause, resume, seek,
// stop, resize and move, change their volume, and give single frames as brushes. Each object owns
// one player handle of the video engine (video/video_engine.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/library.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzDisplay;
struct qzVideoPlayer;

constexpr int32_t QZ_TYPE_VIDEO = 50;

// Video states.
enum {
    QZ_VIDEO_STOPPED = 0,
    QZ_VIDEO_PLAYING = 1,
    QZ_VIDEO_PAUSED = 2,
    QZ_VIDEO_SUSPENDED = 3,
    QZ_VIDEO_FINISHED = 4,
};

struct qzVideo {
    qzObjectHeader header;
    qzVideoPlayer* player;
    int32_t x, y;              // as resolved from the script's position
    int32_t screenX, screenY;  // on the display
    int32_t nativeWidth, nativeHeight;
    int32_t setWidth, setHeight;        // what SetVideoSize asked for
    int32_t screenWidth, screenHeight;  // the set size times the display's scale factors
    int32_t smooth;
    uint32_t duration;           // ms
    std::atomic<int32_t> state;  // the refresh thread sets QZ_VIDEO_FINISHED
    int32_t rememberedState;
    qzDisplay* display;
    int32_t volume;  // 0..64
    int32_t canSeek;
    int32_t locked;
    char file[1024];
    char adapter[257];
    char loader[257];
};

extern const qzLibraryDescriptor qzVideoLibrary;

// The video of the identifier: 0 with *out, ERR_FINDVIDEO (the number as error argument) or
// ERR_FINDARRAY for a handle.
int FindVideoById(const qzObjectId& id, qzVideo** out);
// Stops a playing, paused or finished video (ERR_VIDSTOPPED otherwise); refreshes its display when
// asked.
int StopVideoObject(VmState* state, qzVideo* video, int refresh);
// Stops the videos that play on the display (it is freed or shows another picture).
void StopVideosOnDisplay(VmState* state, qzDisplay* display);
// 1 when the video of the identifier (also one that only layers keep) is playing, else 0.
int IsVideoObjectPlaying(const qzObjectId& id);
