// The platform's movie player: video files that no decoder plugin and no inbuilt reader takes,
// decoded by FFmpeg's libraries (the "native" video kind). A movie plays either in a display's
// window, at a rectangle of it, or into an off-screen 32-bit buffer from which single frames are
// read. While a movie is attached to a window, a 20-millisecond timer of the event loop draws its
// frames as its clock reaches them and notices its end. Its sound is decoded as it plays into a
// queue of 16-bit PCM that the sound side reads.
//
// Everything runs on the main thread, except MacReadMovieAudio, which any thread may call.
#pragma once

#include <cstdint>

struct qzMacMovie;
struct qzMacWindow;

// The video kind that MacOpenMovie reports.
enum { QZ_MOVIE_KIND = 1 };
// MacGetMovieFrame modes: a frame number, a time in milliseconds, the frame after the last one read.
enum { QZ_MOVIEFRAME_NUMBER = 0, QZ_MOVIEFRAME_TIME = 1, QZ_MOVIEFRAME_NEXT = 2 };

// Opens the movie of the file. 0 with the record, its frame size, duration (ms) and kind; or
// ERR_LOADVIDEO (the file name as the error argument) for a file that cannot be read, is no
// video, is cut short before its first frame or has a video codec that FFmpeg lacks; ERR_MEM;
// ERR_QUICKTIME when FFmpeg's libraries are not installed.
int MacOpenMovie(const char* path, qzMacMovie** out, int32_t* width, int32_t* height, uint32_t* durationMs, int* kind);
// Stops the movie and frees it with everything it holds.
void MacCloseMovie(qzMacMovie* movie);

// Plays in the window at (x, y) of the display's drawing area, width x height pixels (the frames
// scaled to it), at the volume (0..64). A movie whose frames were read off-screen starts again
// from its beginning.
void MacAttachMovie(qzMacMovie* movie, qzMacWindow* window, int32_t x, int32_t y, int32_t width, int32_t height,
                    int32_t volume);
// Draws the frame of the current time, starts the clock and installs the movie timer when none runs.
void MacStartMovie(qzMacMovie* movie);
// Stops the clock; the movie stays in its window.
void MacPauseMovie(qzMacMovie* movie);
// Stops, goes back to the beginning and leaves the window; the movie timer is removed when no
// other movie is attached.
void MacStopMovie(qzMacMovie* movie);
// Moves to the time (ms; past the end: the end), the frame there shown when attached.
void MacSeekMovie(qzMacMovie* movie, uint32_t milliseconds);
// The current time in milliseconds.
uint32_t MacGetMovieTime(const qzMacMovie* movie);
// Volume 0..64 becomes the movie's volume (int)(volume / 64 x 256), 256 being full.
void MacSetMovieVolume(qzMacMovie* movie, int32_t volume);
int32_t MacGetMovieVolume(const qzMacMovie* movie);
// A new rectangle in the window; the current frame is drawn there.
void MacSetMovieBox(qzMacMovie* movie, qzMacWindow* window, int32_t x, int32_t y, int32_t width, int32_t height);
// Stops the clock and takes the movie out of the window; MacDetachMovie puts it back into the
// window and starts it again.
void MacDetachMovieFromDisplay(qzMacWindow* window, qzMacMovie* movie);
void MacDetachMovie(qzMacWindow* window, qzMacMovie* movie);

// Reads one frame off-screen: frame number `position` (mode QZ_MOVIEFRAME_NUMBER), the frame
// shown at `position` milliseconds (QZ_MOVIEFRAME_TIME) or the frame after the last one read
// (QZ_MOVIEFRAME_NEXT). 0 with the buffer (0xAARRGGBB, valid until the next read or the close),
// the frame size and the row length in pixels (= width); ERR_VIDEOFRAME past the last frame;
// ERR_MEM. A movie that plays in a window is taken out of it first; it starts from its beginning
// when it is attached again.
int MacGetMovieFrame(qzMacMovie* movie, int64_t position, int mode, uint32_t** pixels, int32_t* width, int32_t* height,
                     int32_t* rowLength);
int64_t MacGetMovieFrameCount(const qzMacMovie* movie);
const char* MacMovieFormatName();
// A movie cannot be dumped: ERR_WRONGUSAGE.
int MacDumpMovie();

// Called once per playback when the movie reaches its end in a window, on the main thread from
// the movie timer (null: nothing).
typedef void (*qzMovieEndHandler)(qzMacMovie* movie, void* data);
void MacSetMovieEndHandler(qzMacMovie* movie, qzMovieEndHandler handler, void* data);
// True once the attached movie has played to its end.
bool MacMovieEnded(const qzMacMovie* movie);

// The timer's work: each attached, playing movie draws the newest frame its clock has reached,
// and one that has run out of frames ends (its end handler is called once).
void MacMovieTask();
// The frames that movies playing in windows have drawn since the program started, every movie
// counted (for measurements of playback).
uint64_t MacMovieFramesDrawn();
// Runs MacMovieTask when the movie timer has fired since the last call (the event pass calls it).
void RunDueMovieTimer();
// Whether the movie timer is installed.
bool MovieTimerInstalled();

// The movie's sound as MacReadMovieAudio hands it out: frames per second and channels (1 or 2;
// 0 = no sound).
void MacGetMovieAudioFormat(const qzMacMovie* movie, uint32_t* rate, uint32_t* channels);
// Takes up to `frames` frames of interleaved 16-bit PCM (host order) at the movie's volume from
// the queue that playback fills (decoded half a second ahead of the movie's clock), for samples
// that are heard `heardIn` seconds from now: sound that would be heard late is passed over, and
// sound not due yet is preceded by silence, so that it stays with the pictures. Returns the
// frames written (silence included), none while the movie does not play in a window. Any thread.
uint32_t MacReadMovieAudio(qzMacMovie* movie, int16_t* out, uint32_t frames, double heardIn);
