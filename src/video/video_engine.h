// The video engine: a video file played through a decoder stream (video_stream.h) by four worker
// threads. The decoder thread reads packets into an audio and a video queue; the video server
// decodes video packets into two picture slots and schedules each; the refresh thread shows each
// slot at its time through the engine's output; the audio server keeps the video's sound channel
// fed (media/sound/video_audio.h). Pictures are timed against the audio clock: a late machine
// drops whole frames instead of drifting.
//
// A qzVideoPlayer is the handle a video object holds; every control operation runs on the main
// thread. Stopping joins the threads (refresh, decoder, video server, audio server, in that
// order) and rewinds the stream, so a stopped engine can start again; closing frees everything.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "base/object_id.h"
#include "gfx/scale_pixels.h"
#include "media/sound/video_audio.h"
#include "video/video_stream.h"

struct qzLayer;
struct qzWorkerThread;
struct qzVideoEngine;

// One queued packet; null data with size 0 is the flush marker that follows a seek.
struct qzVideoPacket {
    qzVideoPacket* next;
    void* data;  // the decoder's packet, freed only through the stream
    uint32_t size;
    double timeStamp;
};

struct qzVideoPacketQueue {
    qzVideoPacket* head;
    qzVideoPacket* tail;
    uint32_t bytes;  // the sum of the queued packets' sizes
    std::mutex mutex;
    std::condition_variable event;
    bool signalled;
    bool end;  // the decoder reached the end of the stream
};

// One of the two slots between the video server and the refresh thread.
struct qzVideoPicture {
    uint32_t* pixels;     // (target width + 64) x target height ARGB words
    int32_t rowLength;    // pixels
    double displayTime;   // wall-clock seconds
    double presentation;  // the stream's time, seconds
    uint32_t positionTag;
};

// Where the frames go and who hears of the end: installed by the engine's user before a start.
// draw runs on the refresh thread (under the engine's suspend mutex), also with the shown frame
// redrawn on the main thread; ended on the refresh thread once, when the video has played out.
struct qzVideoOutput {
    void (*draw)(void* user, qzVideoEngine* engine, const uint32_t* pixels, int32_t width, int32_t height,
                 int32_t rowLength);
    void (*ended)(void* user, qzVideoEngine* engine);
    void* user;
};

// Seek states.
enum { QZ_SEEK_IDLE = 0, QZ_SEEK_REQUESTED = 1, QZ_SEEK_FLUSHED = 2, QZ_SEEK_QUEUED = 3 };

constexpr uint32_t QZ_VIDEO_AUDIO_BUFFER = 262144;

struct qzVideoEngine {
    qzVideoStream stream;
    std::mutex streamMutex;  // the decoder thread's reads against the main thread's rewinds
    int32_t x, y;
    int32_t srcWidth, srcHeight;
    int32_t dstWidth, dstHeight;
    uint32_t duration;  // ms
    uint32_t channels;  // 0: no sound
    uint32_t rate;
    uint8_t* planes[4];
    uint32_t rowBytes[4];
    qzVideoPacketQueue audioQueue;
    qzVideoPacketQueue videoQueue;

    // Clocks, seconds.
    double frameTimer;
    double lastPresentation;
    double frameDuration;  // 0: unknown
    double lastDelay;
    std::atomic<double> nextPresentation;
    std::atomic<double> shownPresentation;
    std::atomic<double> shownMinusWall;
    std::atomic<uint32_t> shownTag;  // UINT32_MAX: none

    qzVideoPicture pictures[2];
    int32_t picturesQueued;  // 0..2, under pictureMutex
    int32_t readIndex, writeIndex;
    int32_t shownSlot;  // the slot drawn last
    std::mutex pictureMutex;
    std::condition_variable pictureEvent;
    std::mutex refreshMutex;
    std::condition_variable refreshEvent;
    bool refreshWake;
    std::condition_variable refreshAck;
    bool refreshAcked;

    uint32_t* spare;  // the frame buffer of 32-bit decoders
    qzWorkerThread* decoderThread;
    qzWorkerThread* serverThread;
    qzWorkerThread* refreshThread;
    qzWorkerThread* audioThread;
    std::atomic<int32_t> refreshCount;

    // Sound.
    qzVideoAudio audio;
    int32_t audioBufferFrames;
    int32_t bytesPerAudioFrame;
    int32_t endMarked;
    void* audioPacket;  // the packet being decoded, or null
    uint32_t audioPacketDone;
    uint32_t audioRead, audioFill;
    std::atomic<double> audioPresentation;
    std::atomic<double> audioEnd;       // the clock at the end of the sound, -1: not reached yet
    std::atomic<uint32_t> audioUnread;  // bytes of the audio buffer not yet handed to the FIFO

    // The choice between the decoder's two time stamps.
    int32_t failuresA, failuresB;
    double previousA, previousB;

    std::atomic<float> rateFactor;  // frames are dropped while the accumulator stays below it
    float accumulator;

    void* display;  // where it plays; null while stopped
    std::mutex engineMutex;
    std::atomic<int32_t> paused;
    std::atomic<int32_t> snapshotRequest;
    uint32_t* snapshot;  // the frame shown when it paused
    int32_t snapshotRowLength;
    uint32_t* held;  // the frame shown after a seek or a resize while ended
    int32_t heldWidth, heldHeight, heldRowLength;

    int64_t pendingStart;  // ms, -1: none
    int64_t seekTarget;
    std::atomic<int32_t> seekRequest;
    std::atomic<int32_t> seekState;
    std::atomic<int32_t> audioFlushState;
    std::atomic<int32_t> showing;
    std::atomic<int32_t> serverBusy;  // the video server holds a packet it has not queued yet

    std::atomic<int32_t> endOfFile;
    std::atomic<int32_t> ended;
    std::atomic<uint32_t> endPosition;  // ms
    qzObjectId objectId;
    std::mutex suspendMutex;
    std::atomic<int32_t> suspended;
    int32_t pausePositionSet;
    uint32_t pausePosition;
    uint32_t storedPosition;

    int32_t volume;
    int32_t started;
    int32_t seekMode;
    uint32_t byteRate;
    int32_t frames32;
    int32_t noSound;
    int32_t canSeek;
    int32_t smooth;
    uint32_t* scaleBuffer;
    qzScaleTables scaleTables;
    qzLayer* layer;  // the layer that receives the frames; a frame's draw request points here
    struct qzVideoPlayer* handle;
    uint64_t fileSize;  // UINT64_MAX: unknown
    qzVideoOutput output;
    // Single frames read without the threads.
    uint32_t* grab;         // (source width x 4 + 256) x source height bytes
    int64_t grabDecoded;    // frames decoded since the last rewind
    int64_t grabLast;       // the index of the frame in grab, -1: none
    int32_t usedForFrames;  // the next start rewinds the stream

    unsigned char audioBuffer[QZ_VIDEO_AUDIO_BUFFER];
};

struct qzMacMovie;

// The handle: an engine video, or a file that the platform's movie player plays (kind
// QZ_VIDEOKIND_MOVIE), whose operations go to that player.
enum { QZ_VIDEOKIND_ENGINE = 0, QZ_VIDEOKIND_MOVIE = 1 };
struct qzVideoPlayer {
    int32_t kind;
    qzVideoEngine* engine;
    qzMacMovie* movie;
    int32_t movieStarted;
    void* movieDisplay;         // the display the movie plays on
    qzVideoOutput movieOutput;  // only its ended member is used
    // The movie's sound while it plays: a video sound channel fed by a thread of its own.
    qzVideoAudio* movieAudio;
    qzWorkerThread* movieAudioThread;
};

// Opens the file with the first decoder that takes it (plugins of the loader list, then the
// inbuilt reader when "inbuilt" is selected): 0, or ERR_MEM, and ERR_LOADVIDEO with the file name as the error argument
// when nothing reads it.
int OpenVideoPlayer(const char* file, const char* loaderList, const char* adapterList, qzVideoPlayer** handle,
                    int32_t* width, int32_t* height, uint32_t* duration, int32_t* canSeek);
// The same for a stream that is already open (its format block filled); the stream belongs to the
// player afterwards, also when this fails.
int OpenVideoPlayerOnStream(qzVideoStream* stream, const qzVideoFormatInfo* format, qzVideoPlayer** handle);
// 1 when some decoder takes the file.
int IsVideoFile(const char* file, const char* loaderList, const char* adapterList);

void SetVideoPlayerOutput(qzVideoPlayer* handle, const qzVideoOutput* output);
// Starts playback at x, y in width x height pixels: 0, or ERR_SEEKRANGE (a pending start past the
// end), ERR_THREAD, ERR_MEM and the sound channel's errors; a failed start leaves the engine
// stopped and reusable. The sound channels must be open when the video has sound.
int StartVideoPlayer(qzVideoPlayer* handle, const qzObjectId& id, void* display, int32_t x, int32_t y, int32_t width,
                     int32_t height, int32_t volume, int32_t smooth, void* layer);
// Joins the threads, gives the sound channel back and rewinds the stream. The position reached is
// kept for GetVideoPosition.
void StopVideoPlayer(qzVideoPlayer* handle, int resetLayer);
// Stops when playing, then frees everything.
void CloseVideoPlayer(qzVideoPlayer* handle);
void PauseVideoPlayer(qzVideoPlayer* handle);
void ResumeVideoPlayer(qzVideoPlayer* handle);
// 0, or ERR_SEEKRANGE when a stopped video's stream refuses the position at the next start.
int SeekVideoPlayer(qzVideoPlayer* handle, uint32_t ms);
void SetVideoPlayerVolume(qzVideoPlayer* handle, int32_t volume);
uint32_t GetVideoPosition(qzVideoPlayer* handle);
int64_t GetVideoFrameCount(qzVideoPlayer* handle);
const char* GetVideoFormatName(qzVideoPlayer* handle);
qzVideoEngine* GetVideoPlayerState(qzVideoPlayer* handle);
void SetVideoEngineLayer(qzVideoPlayer* handle, void* layer);
// One frame read without playing, for a stopped video: frame number `position` from 0 (mode 0),
// or the frame at `position` ms (mode 1), decoding framesAfterSeek + 1 frames from the seek (2 for
// position 0) and taking the last. 0 with the engine's buffer of ARGB words (valid until the next
// call), its size and row length; ERR_VIDEOFRAME past the end, ERR_SEEKRANGE, ERR_MEM. Unless keep,
// the next start rewinds the stream.
int GetVideoPlayerFrame(qzVideoPlayer* handle, int64_t position, int mode, int32_t framesAfterSeek, int keep,
                        uint32_t** pixels, int32_t* width, int32_t* height, int32_t* rowLength);
// Moves or resizes the pictures (main thread). A playing engine's refresh thread gives up its
// queued pictures first; a paused or ended one keeps its last picture, scaled to the new size.
void SetVideoPlayerRect(qzVideoPlayer* handle, int32_t x, int32_t y, int32_t width, int32_t height, int32_t smooth);
// Copies the frame shown last (paused or ended) to the output again; main thread.
void RedrawVideoPlayer(qzVideoPlayer* handle);
// The window of the video's display goes away: an engine video draws nothing until it is resumed
// (its threads go on), a movie leaves the window and stops its clock.
void SuspendVideoPlayer(qzVideoPlayer* handle);
// The window is back: an engine video draws again; a movie returns into the window at the
// rectangle, and starts again when playing is set (else it stays paused or ended).
void ResumeSuspendedVideoPlayer(qzVideoPlayer* handle, int32_t x, int32_t y, int32_t width, int32_t height,
                                int playing);
// 1 once the video has played to its end (until it is stopped).
int VideoPlayerEnded(const qzVideoPlayer* handle);

// Packet queues and clocks, shared by the engine's threads.
int PutVideoPacket(qzVideoPacketQueue* queue, void* data, uint32_t size, double timeStamp);
// 1 with a packet, 0 when empty and not blocking, -2 when empty at the end and stopAtEnd, -1 when
// the thread is asked to stop. A packet with data taken off the queue sets *busy (when given) to 1
// under the queue's lock, so that an empty queue and a clear flag mean nothing is on its way.
int GetVideoPacket(qzWorkerThread* thread, qzVideoPacketQueue* queue, void** data, double* timeStamp, int block,
                   int stopAtEnd, std::atomic<int32_t>* busy = nullptr);
// The video server has nothing left to turn into pictures: the file is read to its end, no packet
// waits and none is being decoded.
bool VideoServerDrained(qzVideoEngine* engine);
void FlushPacketQueue(qzVideoEngine* engine, qzVideoPacketQueue* queue);
void SignalPacketQueue(qzVideoPacketQueue* queue);
double VideoWallTime();
double VideoClock(const qzVideoEngine* engine);
double AudioClock(const qzVideoEngine* engine);

// What becomes of a picture at `presentation` (the stream's seconds), the picture after it being
// at `next` (-1: none known yet), by the audio clock `clock`: it is passed over (DROP) when the
// picture after it is due already, so that it would be shown late and hold up every picture
// after it; it waits (WAIT) while the sound has not reached it by more than a few milliseconds;
// else it is shown. A picture is shown whatever the clock says when none was drawn for
// `sinceDrawn` seconds (a second or more), so that a machine too slow for any frame rate, or a
// clock that stands, keeps the picture moving, and when the clocks are 10 seconds or more apart.
enum { QZ_PICTURE_SHOW = 0, QZ_PICTURE_WAIT = 1, QZ_PICTURE_DROP = 2 };
int VideoPictureTiming(double presentation, double next, double clock, double sinceDrawn);

// The threads (video_threads.cpp).
void* VideoDecoderThread(void* arg);
void* VideoServerThread(void* arg);
void* VideoRefreshThread(void* arg);
void* VideoAudioServerThread(void* arg);
int FillVideoAudio(void* engine, unsigned char* dest, uint32_t bytes, qzWorkerThread* thread);

// Pictures (video_picture.cpp): the two slots at the target size, and the decoded frame put into
// one of them.
int AllocVideoPictures(qzVideoEngine* engine);
void FreeVideoPictures(qzVideoEngine* engine);
void FillVideoPicture(qzVideoEngine* engine, qzVideoPicture* slot);
