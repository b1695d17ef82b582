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
struct qzLayer;
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
    int32_t layerFlag;     // plays (or shows its frame) in a layer; set before a start, read by the refresh thread
    int32_t keptByLayers;  // the script let go of it (or never had it): layers keep it, it has no number
    int32_t locked;
    char file[1024];
    char adapter[257];
    char loader[257];
};

extern const qzLibraryDescriptor qzVideoLibrary;

// FindVideoById flags.
enum : int {
    QZ_FINDVIDEO_MODIFY = 1,     // a locked video is refused; layers that show it get a copy of their own
    QZ_FINDVIDEO_LAYERONLY = 2,  // videos that only layers keep are found too
    QZ_FINDVIDEO_NODETACH = 4,   // with MODIFY: the layers keep showing the video itself
};

// The video of the identifier: 0 with *out, ERR_FINDVIDEO (the number as error argument) or
// ERR_FINDARRAY for a handle; with QZ_FINDVIDEO_MODIFY also ERR_LOCKEDOBJ or the error of opening
// the copy for the layers (state is then needed).
int FindVideoById(const qzObjectId& id, qzVideo** out, int flags = 0, VmState* state = nullptr);
// Stops a playing, paused or finished video (ERR_VIDSTOPPED otherwise; with resetLayer the engine
// forgets its layer also then); refreshes its display when asked. A null video is the one that the
// layer shows (ERR_FINDVIDEO when none).
int StopVideoObject(VmState* state, qzVideo* video, int refresh, int resetLayer = 1, const qzLayer* layer = nullptr);
// Plays a video: on the current display at x, y, or, with useLayer, in a new layer of the current
// background picture (a second video of the same file when this one is busy or shown by a layer
// already), the options table at tagIndex (0: none) giving the layer's drawing options; with a
// layer, the video that the layer shows plays in it. 0 or an error.
int PlayVideoObject(VmState* state, qzVideo* video, qzLayer* layer, int32_t x, int32_t y, bool useLayer, int tagIndex);
// Shows the frame at position ms (or, at 0, the second frame) as a VIDEO layer of the current
// background picture: on top at x, y with the options table at tagIndex (0: none), or, for an
// insert position above 0, inserted there without options, hidden when asked. A busy video, or one
// that a layer shows already, gives the frame through a second video of the file. 0 or an error.
int DisplayVideoFrameAt(VmState* state, qzVideo* video, int32_t x, int32_t y, double position, int32_t insertPos,
                        int hidden, int tagIndex);
// What the layers library asks of the video that a VIDEO layer shows. 0 or an error.
int PauseVideoObject(qzLayer* layer);
int ResumeVideoObject(qzLayer* layer);
int SeekVideoObject(VmState* state, qzLayer* layer, double position);
int SetVideoObjectVolume(qzLayer* layer, double volume);
// 1 while the video that the layer shows plays.
int IsVideoObjectPlaying(const qzLayer* layer);
// The video that a VIDEO layer shows (videos kept only by layers included), or null.
qzVideo* VideoOfLayer(const qzLayer* layer);
// The name of the loader that opened the video, as a loader list selects it: "native" for the
// platform's movie player, "inbuilt" for the inbuilt reader, else the plugin's module name.
const char* VideoLoaderName(const qzVideo* video);
// Frees the videos that only layers kept and that no layer shows any more.
void FreeOrphanedVideos(VmState* state);
// Stops the videos that play on the display (it is freed or shows another picture).
void StopVideosOnDisplay(VmState* state, qzDisplay* display);
