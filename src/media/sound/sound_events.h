// Sound end events: samples, music and videos finish on threads other than the main thread; their
// end events wait in one list, under one mutex, until the main thread's event dispatcher takes
// them off in arrival order (PopSoundEvent) and calls the script's handlers.
//
// Events are made only for the kinds whose handler the script has installed: the sound library
// sets one hook flag per event name (SetSoundEventHook), and producers read the flags without a
// lock.
#pragma once

#include <cstdint>

#include "base/object_id.h"

// Event codes.
enum {
    QZ_SOUNDEVENT_SAMPLEEND = 5,   // "OnSampleEnd": "time", "starts"
    QZ_SOUNDEVENT_SAMPLELOOP = 6,  // "OnSampleLoop": "time", "starts"
    QZ_SOUNDEVENT_MUSICEND = 7,    // "OnMusicEnd"
    QZ_SOUNDEVENT_VIDEOEND = 8,    // "OnVideoEnd"
};

// One event on its way to the main thread.
struct qzSoundEvent {
    qzSoundEvent* next;
    int32_t code;
    qzObjectId object;
    int32_t time;    // ms
    int32_t starts;  // the pass number
};

// Appends an event; any thread. time = (pass - 1) x pass ms, plus last-pass ms for code 5;
// starts = pass. With wake set, the main event loop is woken afterwards. A failed allocation
// drops the event.
void PushSoundEvent(int32_t code, const qzObjectId& object, int32_t passMs, int32_t pass, int32_t lastPassMs, int wake);
// Takes the oldest event off the list: 1 with the outs filled, 0 when the list is empty. This is
// what the event dispatcher reads the sound events with (main thread).
int PopSoundEvent(int32_t* code, qzObjectId* object, int32_t* time, int32_t* starts);

// Hook flags by event name: "onsampleloop", "onsampleend", "onmusicend", "onvideoend" (any case);
// unknown names change nothing.
void SetSoundEventHook(const char* eventName, int on);
// The flag of an event code (5 to 8); any thread.
bool IsSoundEventHooked(int32_t code);
// Clears every hook flag.
void ResetSoundEventHooks();

// Script-fed music streams that run short of data. The sound library installs the finder; the
// event sources ask it (main thread) before anything else on every new cycle. The finder returns
// the frames missing from the first playing stream that needs data, with its identifier and its
// fill position, or 0 when none needs any.
typedef int32_t (*qzMusicDataFinder)(qzObjectId* music, int32_t* fillPosition);
void SetMusicDataFinder(qzMusicDataFinder finder);
// The installed finder's answer; 0 without a finder.
int32_t FindMusicNeedingData(qzObjectId* music, int32_t* fillPosition);

// Creates the event mutex, then the global audio mutex: 0 or ERR_SEMAPHORE.
int InitSoundEventMutex();
// Frees every pending event and the event mutex, then the audio mutex and the channel table.
void FreeSoundEventsAtExit();
