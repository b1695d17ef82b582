// The headless host driver: windows in memory, input injected from C++ or from the timed input
// script named by QUARNELIX_INPUT, requesters answered from the answers named by
// QUARNELIX_ANSWERS, a clipboard of its own, pointers and screen-saver requests recorded. Windows lie on a
// virtual desktop of two monitors, 1920 x 1080 and 1280 x 1024 to its right, whose screen modes
// can be switched; with QUARNELIX_SNAPSHOT_DIR=DIR set, what a window shows is written as
// DIR/display-<id>.png when it closes (the platform closes every window when it stops). A null
// audio device takes the mixed sound, and QUARNELIX_AUDIO_CAPTURE records it as a WAV file. Time
// is the platform's monotonic clock, so a replaced clock drives the input script in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/headless/headless_answers.h"
#include "platform/host/host.h"
#include "platform/host/input_script.h"

const qzHostDriver* HeadlessHostDriver();

// Queues an event as if the user had made it. Any thread.
void HeadlessInjectEvent(const qzHostEvent& event);
// Replaces the input script; its times count from now.
void HeadlessSetInputScript(const std::vector<qzScriptedEvent>& events);

// A pointer as the headless driver keeps it.
struct qzHeadlessCursor {
    int32_t system;  // QZ_HOSTCURSOR_* for a system pointer, -1 for one made from an image
    int32_t width;
    int32_t height;
    int32_t hotX;
    int32_t hotY;
    std::vector<uint32_t> pixels;
};

// What the program did with pointers, the mouse and the screen saver.
struct qzHeadlessRecord {
    const qzHeadlessCursor* cursor;  // the current pointer; null = the system arrow
    uint32_t cursorChanges;
    uint32_t warps;  // mouse moves the program made
    int32_t warpX;   // the last one, in content coordinates
    int32_t warpY;
    uint32_t moveRequests;    // clicks that started moving a window
    uint32_t resizeRequests;  // clicks that started resizing one
    int32_t screenSaverAllowed;
    uint32_t presents;        // presentations of window framebuffers
    qzFrameRect lastPresent;  // the rectangle of the last one
    uint32_t modeSwitches;    // screen modes set on a monitor
};
qzHeadlessRecord HeadlessRecord();

// The audio device: 48000 frames per second of 32-bit float stereo, pulled in blocks of 512
// frames by a thread of its own in real time. With QUARNELIX_AUDIO_CAPTURE=FILE set when the
// driver starts, FILE is created then (a file that cannot be created stops the start) and gets
// every frame the device pulls, as a 32-bit float stereo WAVE file.
int HeadlessAudioInit(std::string* message);
void HeadlessAudioShutdown();
int HeadlessOpenAudio(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message);
void HeadlessCloseAudio();
// With manual stepping set before the device opens, no thread pulls: HeadlessRenderAudio pulls
// `frames` frames into out (interleaved stereo) on the caller's thread and returns them, or 0
// while no manual device is open.
void HeadlessSetManualAudio(int manual);
int32_t HeadlessRenderAudio(float* out, int32_t frames);

// ---- Requesters and the clipboard (headless_dialogs.cpp) ----

// Reads the answers named by QUARNELIX_ANSWERS (none when it is not set) and empties the
// clipboard: 0, or ERR_ERRORCALLED with a message when the file cannot be read or is malformed.
int HeadlessStartDialogs(std::string* message);
void HeadlessStopDialogs();
// The driver operations: a dialog prints its title and text to standard error and takes the next
// answer; without one left it is cancelled.
int HeadlessDialog(const qzHostDialog& dialog, qzHostDialogAnswer* answer, std::string* message);
int HeadlessClipboardRead(int withData, qzHostClipboard* out);
int HeadlessClipboardWrite(const qzHostClipboard& contents);
// Replaces the answers; `name` names them in messages.
void HeadlessSetAnswers(const std::vector<qzAnswerLine>& answers, const std::string& name);
// The dialogs shown since the last call, oldest first.
std::vector<qzHostDialog> HeadlessTakeDialogs();
