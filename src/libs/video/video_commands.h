// The video library's command handlers and what its files share.
#pragma once

#include "libs/video/video.h"
#include "video/video_engine.h"

struct VmState;

// Shared inside the library.
extern qzObjectHeader* qzVideoList;
extern char qzVideoDefaultLoader[32];  // ForceVideoDriver's loader list; empty: every loader
void CloseVideoObject(VmState* state, qzVideo* video);
qzVideoOutput VideoOutputOf(qzVideo* video);
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
int VideoDumpVideo(VmState* state);
