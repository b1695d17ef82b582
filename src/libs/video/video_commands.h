// The video library's command handlers and what its files share.
#pragma once

#include "libs/video/video.h"
#include "video/video_engine.h"

struct VmState;

// Shared inside the library.
extern qzObjectHeader* qzVideoList;
extern char qzVideoDefaultLoader[32];  // ForceVideoDriver's loader list; empty: every loader
void CloseVideoObject(VmState* state, qzVideo* video);
// The script lets go of the video: layers that show it keep it (it loses its identifier), else it
// is stopped and freed.
void ReleaseVideoObject(VmState* state, qzVideo* video);
qzVideoOutput VideoOutputOf(qzVideo* video);
// A second video of the same file, opened with the loader that opened the video and its adapter
// list, kept by layers. 0 or the error of opening.
int OpenSecondVideo(qzVideo* video, qzVideo** out);
// Seeks to position ms: ERR_SEEKFORMAT, ERR_SEEKRANGE (beyond duration - 1) or the player's result.
// A video that a layer shows (the layer given, else the first that shows it) and that does not play
// shows the frame at the position there at once (ERR_MEM when that runs out of memory).
int SeekVideoTo(VmState* state, qzVideo* video, double position, qzLayer* layer = nullptr);
// The volume clamped to 0..64, passed on while the video is active.
void SetVideoVolumeTo(qzVideo* video, double value);
void RemoveVideoDrawRequests(const void* engine, qzDisplay* display);
// The on-screen rectangle: the script's position and set size, times the display's scale factors
// while it scales.
void ComputeVideoScreenRect(qzVideo* video, const qzDisplay* display);
// Installs the video members of the display links (video_display_hooks.cpp), or takes them away.
void LinkVideoDisplayHooks(bool on);

int VideoOpenVideo(VmState* state);
int VideoCloseVideo(VmState* state);
int VideoPlayVideo(VmState* state);
int VideoStopVideo(VmState* state);
int VideoPauseVideo(VmState* state);
int VideoResumeVideo(VmState* state);
int VideoSeekVideo(VmState* state);
int VideoIsVideo(VmState* state);
int VideoSetVideoSize(VmState* state);
int VideoSetVideoPosition(VmState* state);
int VideoSetVideoVolume(VmState* state);
int VideoGetVideoFrame(VmState* state);
int VideoIsVideoPlaying(VmState* state);
int VideoForceVideoDriver(VmState* state);
int VideoDisplayVideoFrame(VmState* state);
int VideoDumpVideo(VmState* state);
