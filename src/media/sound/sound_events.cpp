#include "media/sound/sound_events.h"

#include <atomic>

#include "base/charset.h"
#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "platform/host/event_loop.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"

namespace {

qzMutex* gEventMutex = nullptr;
qzSoundEvent* gHead = nullptr;
qzSoundEvent* gTail = nullptr;

// "onsampleend", "onsampleloop", "onmusicend", "onvideoend" by event code 5 to 8.
std::atomic<int32_t> gHooks[4];

std::atomic<int32_t>* HookOf(int32_t code) {
    return code >= QZ_SOUNDEVENT_SAMPLEEND && code <= QZ_SOUNDEVENT_VIDEOEND ? &gHooks[code - 5] : nullptr;
}

}  // namespace

void PushSoundEvent(int32_t code, const qzObjectId& object, int32_t passMs, int32_t pass, int32_t lastPassMs,
                    int wake) {
    qzSoundEvent* event = static_cast<qzSoundEvent*>(OsAlloc(sizeof(qzSoundEvent), 1));
    if (!event) return;
    int64_t time = static_cast<int64_t>(pass - 1) * passMs;
    if (code == QZ_SOUNDEVENT_SAMPLEEND) time += lastPassMs;
    event->code = code;
    event->object = object;
    event->time = time > INT32_MAX ? INT32_MAX : time < INT32_MIN ? INT32_MIN : static_cast<int32_t>(time);
    event->starts = pass;
    if (!gEventMutex) {
        OsFree(event);
        return;
    }
    OsLockMutex(gEventMutex);
    if (gTail)
        gTail->next = event;
    else
        gHead = event;
    gTail = event;
    OsUnlockMutex(gEventMutex);
    if (wake) MacForceEventLoopIteration();
}

int PopSoundEvent(int32_t* code, qzObjectId* object, int32_t* time, int32_t* starts) {
    if (!gEventMutex) return 0;
    OsLockMutex(gEventMutex);
    qzSoundEvent* event = gHead;
    if (event) {
        gHead = event->next;
        if (!gHead) gTail = nullptr;
    }
    OsUnlockMutex(gEventMutex);
    if (!event) return 0;
    *code = event->code;
    *object = event->object;
    *time = event->time;
    *starts = event->starts;
    OsFree(event);
    return 1;
}

void SetSoundEventHook(const char* eventName, int on) {
    static const struct {
        const char* name;
        int32_t code;
    } kNames[] = {
        {"onsampleend", QZ_SOUNDEVENT_SAMPLEEND},
        {"onsampleloop", QZ_SOUNDEVENT_SAMPLELOOP},
        {"onmusicend", QZ_SOUNDEVENT_MUSICEND},
        {"onvideoend", QZ_SOUNDEVENT_VIDEOEND},
    };
    for (const auto& n : kNames) {
        if (CompareNoCase(eventName, n.name) == 0) HookOf(n.code)->store(on ? 1 : 0);
    }
}

bool IsSoundEventHooked(int32_t code) {
    std::atomic<int32_t>* hook = HookOf(code);
    return hook && hook->load(std::memory_order_relaxed) != 0;
}

void ResetSoundEventHooks() {
    for (auto& hook : gHooks) hook.store(0);
}

namespace {
qzMusicDataFinder gMusicDataFinder = nullptr;
}  // namespace

void SetMusicDataFinder(qzMusicDataFinder finder) { gMusicDataFinder = finder; }

int32_t FindMusicNeedingData(qzObjectId* music, int32_t* fillPosition) {
    return gMusicDataFinder ? gMusicDataFinder(music, fillPosition) : 0;
}

int InitSoundEventMutex() {
    if (!gEventMutex) {
        gEventMutex = OsAllocMutex();
        if (!gEventMutex) return ERR_SEMAPHORE;
    }
    return MacCreateAudioMutex();
}

void FreeSoundEventsAtExit() {
    if (gEventMutex) {
        OsLockMutex(gEventMutex);
        while (gHead) {
            qzSoundEvent* next = gHead->next;
            OsFree(gHead);
            gHead = next;
        }
        gTail = nullptr;
        OsUnlockMutex(gEventMutex);
        OsFreeMutex(gEventMutex);
        gEventMutex = nullptr;
    }
    FreeSoundChannels();
    MacFreeAudioMutex();
}
