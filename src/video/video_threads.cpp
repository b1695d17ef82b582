// The engine's four worker threads and the audio fill that its sound channel pulls.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/sound/sound_events.h"
#include "platform/os_thread.h"
#include "platform/os_time.h"
#include "platform/os_wait.h"
#include "video/video_engine.h"

namespace {

constexpr uint32_t kAudioQueueLimit = 81920;
constexpr uint32_t kVideoQueueLimit = 1310720;
constexpr int32_t kIdleMs = 10;
constexpr double kSyncFloor = 0.01;
constexpr double kNoSyncLimit = 10.0;
constexpr double kLateTolerance = 0.5;
// A picture this far (seconds) ahead of the sound is shown all the same.
constexpr double kEarlyTolerance = 0.005;
constexpr int32_t kRefreshCountLimit = 10;

// The worker protocol's start: the thread record and the engine.
qzVideoEngine* EnterWorker(void* arg, qzWorkerThread** thread) {
    *thread = OsGetWorkerThread(arg);
    OsEnterWorkerThread();
    return static_cast<qzVideoEngine*>(OsGetWorkerThreadData(*thread));
}

void* LeaveWorker(qzWorkerThread* thread) {
    OsWorkerThreadWaitQuit(thread);
    OsWorkerThreadDone(thread, 0);
    return nullptr;
}

bool StopRequested(qzWorkerThread* thread) { return OsWorkerThreadStopRequested(thread) != 0; }

uint32_t QueueBytes(qzVideoPacketQueue* q) {
    std::lock_guard<std::mutex> lock(q->mutex);
    return q->bytes;
}

bool QueueEmpty(qzVideoPacketQueue* q) {
    std::lock_guard<std::mutex> lock(q->mutex);
    return q->head == nullptr;
}

void MarkQueueEnd(qzVideoPacketQueue* q) {
    std::lock_guard<std::mutex> lock(q->mutex);
    q->end = true;
    q->signalled = true;
    q->event.notify_all();
}

// The presentation time of a decoded frame from the decoder's two stamps: each that is present
// counts a failure when it does not grow; the one with fewer failures wins (B on a tie), a missing
// one gives way to the other, and with neither the time is 0.
double ChoosePresentation(qzVideoEngine* e, double a, double b) {
    if (a != -1.0) {
        if (a <= e->previousA) e->failuresA++;
        e->previousA = a;
    }
    if (b != -1.0) {
        if (b <= e->previousB) e->failuresB++;
        e->previousB = b;
    }
    if (b != -1.0 && (a == -1.0 || e->failuresB <= e->failuresA)) return b;
    if (a != -1.0) return a;
    return 0.0;
}

// Gives the slot at the read index back to the video server; picture mutex held.
void ReleaseSlot(qzVideoEngine* e) {
    e->readIndex = (e->readIndex + 1) % 2;
    e->picturesQueued--;
    e->pictureEvent.notify_all();
}

// Waits up to ms milliseconds for the refresh wake-up: 1 when the thread is to stop, 2 when woken
// by a rectangle change, else 0.
int WaitVideoRefresh(qzVideoEngine* e, qzWorkerThread* thread, int32_t ms) {
    int result = 0;
    {
        std::unique_lock<std::mutex> lock(e->refreshMutex);
        uint64_t deadline = OsMonotonicMicros() + static_cast<uint64_t>(ms) * 1000;
        while (!e->refreshWake && !StopRequested(thread) && OsMonotonicMicros() < deadline)
            OsWaitUntil(e->refreshEvent, lock, deadline);
        if (StopRequested(thread))
            result = 1;
        else if (e->refreshWake) {
            e->refreshWake = false;
            result = 2;
        }
    }
    if (e->refreshCount.load() < kRefreshCountLimit) e->refreshCount.fetch_add(1);
    return result;
}

}  // namespace

int VideoPictureTiming(double presentation, double next, double clock, double sinceDrawn) {
    if (sinceDrawn >= 1.0) return QZ_PICTURE_SHOW;
    const double late = clock - next;
    if (next >= 0.0 && late >= 0.0 && late < kNoSyncLimit) return QZ_PICTURE_DROP;
    const double early = presentation - clock;
    if (early > kEarlyTolerance && early < kNoSyncLimit) return QZ_PICTURE_WAIT;
    return QZ_PICTURE_SHOW;
}

void* VideoDecoderThread(void* arg) {
    qzWorkerThread* thread;
    qzVideoEngine* e = EnterWorker(arg, &thread);
    OsWorkerThreadStarted(thread);
    while (!StopRequested(thread)) {
        if (e->seekRequest.load() && !e->paused.load()) {
            {
                std::lock_guard<std::mutex> lock(e->streamMutex);
                std::lock_guard<std::mutex> engineLock(e->engineMutex);
                VideoStreamSeek(&e->stream, e->seekTarget, e->seekMode);
            }
            if (!e->noSound) {
                FlushPacketQueue(e, &e->audioQueue);
                PutVideoPacket(&e->audioQueue, nullptr, 0, 0.0);
            }
            FlushPacketQueue(e, &e->videoQueue);
            PutVideoPacket(&e->videoQueue, nullptr, 0, 0.0);
            e->endOfFile.store(0);
            e->seekRequest.store(0);
        }
        bool room = (e->noSound || QueueBytes(&e->audioQueue) <= kAudioQueueLimit) &&
                    QueueBytes(&e->videoQueue) <= kVideoQueueLimit;
        if (room && !e->endOfFile.load()) {
            qzVideoPacketBlock block = {};
            int result;
            {
                std::lock_guard<std::mutex> lock(e->streamMutex);
                result = VideoStreamNextPacket(&e->stream, &block);
            }
            if (result >= 0) {
                // A silent engine has no audio queue: a stream's audio packets are dropped.
                bool audio = block.type == QZ_VIDEOPACKET_AUDIO;
                qzVideoPacketQueue* queue = audio ? &e->audioQueue : &e->videoQueue;
                if ((audio && e->noSound) || !block.packet ||
                    PutVideoPacket(queue, block.packet, block.size, block.timeStamp) != 0) {
                    if (block.packet) VideoStreamFreePacket(&e->stream, block.packet);
                }
                continue;
            }
            if (result == -1) {
                e->endOfFile.store(1);
            } else {
                OsDelay(1);
                continue;
            }
        }
        if (e->endOfFile.load()) {
            MarkQueueEnd(&e->videoQueue);
            if (!e->noSound) MarkQueueEnd(&e->audioQueue);
        }
        OsDelay(kIdleMs);
    }
    return LeaveWorker(thread);
}

void* VideoServerThread(void* arg) {
    qzWorkerThread* thread;
    qzVideoEngine* e = EnterWorker(arg, &thread);
    OsWorkerThreadStarted(thread);
    while (!StopRequested(thread)) {
        if (e->paused.load()) {
            OsDelay(kIdleMs);
            continue;
        }
        void* data = nullptr;
        double stamp = 0.0;
        if (GetVideoPacket(thread, &e->videoQueue, &data, &stamp, 1, 0, &e->serverBusy) < 0) break;
        if (!data) {
            // The flush marker of a seek: the decoder forgets its frames, the pictures still
            // queued are shown, and the clocks start again.
            VideoStreamFlushVideo(&e->stream);
            {
                std::unique_lock<std::mutex> lock(e->pictureMutex);
                e->pictures[0].displayTime = e->pictures[1].displayTime = 0.0;
                e->pictureEvent.wait(lock, [e, thread] { return e->picturesQueued == 0 || StopRequested(thread); });
            }
            if (StopRequested(thread)) break;
            e->shownTag.store(UINT32_MAX);
            std::lock_guard<std::mutex> lock(e->engineMutex);
            e->lastDelay = 0.0;
            e->lastPresentation = -10000.0;
            e->previousA = e->previousB = -1.0;
            e->frameTimer = VideoWallTime();
            e->rateFactor.store(1.0f);
            e->accumulator = 0.0f;
            e->seekState.store(QZ_SEEK_FLUSHED);
            continue;
        }
        if (e->frames32) e->planes[0] = reinterpret_cast<uint8_t*>(e->spare);
        qzVideoFrameBlock frame = {};
        frame.planes = e->planes;
        frame.rowBytes = e->rowBytes;
        frame.timeStampA = frame.timeStampB = -1.0;
        if (VideoStreamDecodeVideo(&e->stream, data, &frame) != 0) {
            VideoStreamFreePacket(&e->stream, data);
            e->serverBusy.store(0);
            continue;
        }
        double time = ChoosePresentation(e, frame.timeStampA, frame.timeStampB);
        // A machine that falls behind drops whole frames here, as many as the factor says; never
        // the last frame of the file, which stays on screen.
        e->accumulator += 1.0f;
        float factor = e->rateFactor.load();
        const bool lastFrame = e->endOfFile.load() && QueueEmpty(&e->videoQueue);
        if (e->accumulator < factor && !lastFrame) {
            VideoStreamFreePacket(&e->stream, data);
            e->serverBusy.store(0);
            continue;
        }
        e->accumulator -= std::max(factor, 1.0f);
        std::unique_lock<std::mutex> engineLock(e->engineMutex);
        if (time == 0.0) time = e->nextPresentation.load();
        e->nextPresentation.store(time + e->frameDuration + frame.repeat * e->frameDuration * 0.5);
        {
            std::unique_lock<std::mutex> lock(e->pictureMutex);
            if (e->picturesQueued == 2 && !e->showing.load())
                e->rateFactor.store(std::max(e->rateFactor.load() * 0.95f, 0.95f));
            e->pictureEvent.wait(lock, [e, thread] { return e->picturesQueued < 2 || StopRequested(thread); });
        }
        if (StopRequested(thread)) {
            engineLock.unlock();
            VideoStreamFreePacket(&e->stream, data);
            e->serverBusy.store(0);
            break;
        }
        qzVideoPicture* slot = &e->pictures[e->writeIndex];
        FillVideoPicture(e, slot);
        const bool pauseHere = e->snapshotRequest.load() != 0;
        if (pauseHere) {
            size_t rows = static_cast<size_t>(e->dstHeight);
            if (e->snapshot && static_cast<size_t>(e->dstWidth) * rows <=
                                   (static_cast<size_t>(e->srcWidth) + 64) * static_cast<size_t>(e->srcHeight)) {
                for (size_t r = 0; r < rows; r++)
                    std::memcpy(e->snapshot + r * e->dstWidth, slot->pixels + r * slot->rowLength,
                                static_cast<size_t>(e->dstWidth) * 4);
                e->snapshotRowLength = e->dstWidth;
            }
        }
        slot->presentation = time;
        slot->positionTag = frame.positionTag;
        {
            std::lock_guard<std::mutex> lock(e->pictureMutex);
            e->writeIndex = (e->writeIndex + 1) % 2;
            double delay = time - e->lastPresentation;
            if (delay <= 0.0 || delay >= 10.0)
                delay = e->lastDelay;
            else
                e->lastDelay = delay;
            e->lastPresentation = time;
            if (!e->noSound) {
                // Picture and sound: a picture behind the sound goes at once, one ahead waits twice.
                double diff = VideoClock(e) - AudioClock(e);
                double threshold = std::max(delay, kSyncFloor);
                if (std::fabs(diff) < kNoSyncLimit) {
                    if (diff <= -threshold)
                        delay = 0.0;
                    else if (diff >= threshold)
                        delay = 2.0 * delay;
                }
            }
            e->frameTimer += delay;
            slot->displayTime = e->frameTimer;
            e->picturesQueued++;
            // The pause takes effect with its picture queued: the pause waits for it to be shown.
            if (pauseHere) {
                e->paused.store(1);
                e->snapshotRequest.store(0);
            }
            int32_t expected = QZ_SEEK_FLUSHED;
            e->seekState.compare_exchange_strong(expected, QZ_SEEK_QUEUED);
            e->pictureEvent.notify_all();
        }
        engineLock.unlock();
        VideoStreamFreePacket(&e->stream, data);
        e->serverBusy.store(0);
    }
    return LeaveWorker(thread);
}

void* VideoRefreshThread(void* arg) {
    qzWorkerThread* thread;
    qzVideoEngine* e = EnterWorker(arg, &thread);
    OsWorkerThreadStarted(thread);
    double lastShown = VideoWallTime();
    for (;;) {
        int32_t waitMs = 1;
        std::unique_lock<std::mutex> lock(e->pictureMutex);
        if (e->picturesQueued > 0) {
            qzVideoPicture* slot = &e->pictures[e->readIndex];
            double now = VideoWallTime();
            // With sound, the picture follows the audio clock: it waits for the sound to reach
            // it, and is passed over when the sound has reached the picture after it.
            int timing = QZ_PICTURE_SHOW;
            double clock = 0.0;
            const bool audioTimed = !e->noSound && !e->paused.load() && e->seekState.load() == QZ_SEEK_IDLE;
            // The last picture of the file is always shown, however late: it stays on screen.
            const bool last = e->picturesQueued == 1 && VideoServerDrained(e);
            if (audioTimed) {
                clock = AudioClock(e);
                // The picture after this one: the one queued, else the one the server decodes next,
                // unless this is the last picture of the file.
                const double next = e->picturesQueued == 2 ? e->pictures[(e->readIndex + 1) % 2].presentation
                                    : last                 ? -1.0
                                                           : e->nextPresentation.load();
                timing = VideoPictureTiming(slot->presentation, next, clock, now - lastShown);
            }
            if (!audioTimed && now < slot->displayTime) {
                waitMs = static_cast<int32_t>(std::lround((slot->displayTime - now) * 1000.0));
                if (waitMs == 0) continue;
            } else if (timing == QZ_PICTURE_WAIT) {
                waitMs = std::max(1, static_cast<int32_t>(std::lround((slot->presentation - clock) * 1000.0)));
            } else {
                e->showing.store(1);
                e->shownPresentation.store(slot->presentation);
                e->shownMinusWall.store(slot->presentation - now);
                e->shownTag.store(slot->positionTag);
                int32_t expected = QZ_SEEK_QUEUED;
                e->seekState.compare_exchange_strong(expected, QZ_SEEK_IDLE);
                double next = e->picturesQueued == 2
                                  ? e->pictures[(e->readIndex + 1) % 2].displayTime
                                  : slot->displayTime + e->nextPresentation.load() - slot->presentation;
                if (!audioTimed && next < now) {
                    e->rateFactor.store(e->rateFactor.load() * 1.05f);
                    if (!last && (e->picturesQueued == 2 || now - next > kLateTolerance) && now - lastShown < 1.0) {
                        ReleaseSlot(e);
                        e->showing.store(0);
                        continue;
                    }
                }
                // The sound has reached the picture queued after this one: this one is passed over.
                if (timing == QZ_PICTURE_DROP) {
                    ReleaseSlot(e);
                    e->showing.store(0);
                    continue;
                }
                int32_t index = e->readIndex;
                lock.unlock();
                lastShown = now;
                {
                    std::lock_guard<std::mutex> suspendLock(e->suspendMutex);
                    if (!e->suspended.load() && e->output.draw)
                        e->output.draw(e->output.user, e, slot->pixels, e->dstWidth, e->dstHeight, slot->rowLength);
                    e->shownSlot = index;
                }
                lock.lock();
                ReleaseSlot(e);
                e->showing.store(0);
                continue;
            }
        } else if (!e->ended.load() && VideoServerDrained(e) && (e->noSound || QueueEmpty(&e->audioQueue))) {
            if (IsSoundEventHooked(QZ_SOUNDEVENT_VIDEOEND))
                PushSoundEvent(QZ_SOUNDEVENT_VIDEOEND, e->objectId, 0, 0, 0, 1);
            double ms = AudioClock(e) * 1000.0;
            e->endPosition.store(ms > 0 ? (ms >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(ms)) : 0);
            e->ended.store(1);
            if (e->output.ended) e->output.ended(e->output.user, e);
        }
        lock.unlock();
        int result = WaitVideoRefresh(e, thread, waitMs);
        if (result == 1) break;
        if (result == 2) {
            // A rectangle change: the queued pictures are given up, and the change may go on.
            std::lock_guard<std::mutex> pictureLock(e->pictureMutex);
            e->picturesQueued = 0;
            e->readIndex = e->writeIndex = 0;
            e->pictureEvent.notify_all();
            std::lock_guard<std::mutex> refreshLock(e->refreshMutex);
            e->refreshAcked = true;
            e->refreshAck.notify_all();
        }
    }
    return LeaveWorker(thread);
}

void* VideoAudioServerThread(void* arg) {
    qzWorkerThread* thread;
    qzVideoEngine* e = EnterWorker(arg, &thread);
    qzVideoAudioFifo* fifo = AllocVideoAudioFifo(&e->audio);
    if (!fifo) {
        OsWorkerThreadDone(thread, 1);
        return nullptr;
    }
    OsWorkerThreadStarted(thread);
    while (FeedVideoAudio(thread, fifo) == 0) {
        // Once the video has ended and its sound has been handed out, the channel falls silent.
        double end = e->audioEnd.load();
        if (e->ended.load() && !e->endMarked && end >= 0 && AudioClock(e) >= end) {
            StopVideoAudioChannel(&e->audio);
            e->endMarked = 1;
        }
    }
    OsWorkerThreadWaitQuit(thread);
    if (e->audioPacket) {
        VideoStreamFreePacket(&e->stream, e->audioPacket);
        e->audioPacket = nullptr;
    }
    FreeVideoAudioFifo(fifo);
    OsWorkerThreadDone(thread, 0);
    return nullptr;
}

int FillVideoAudio(void* video, unsigned char* dest, uint32_t bytes, qzWorkerThread* thread) {
    auto* e = static_cast<qzVideoEngine*>(video);
    const double bytesPerSecond = static_cast<double>(e->channels) * e->rate * 2.0;
    uint32_t served = 0;
    while (served < bytes) {
        if (e->audioRead == e->audioFill) {
            uint32_t produced = 0;
            bool silence = false;
            while (produced == 0 && !silence) {
                if (e->audioPacket) {
                    qzVideoAudioBlock block = {e->audioBuffer, QZ_VIDEO_AUDIO_BUFFER, 0, e->audioPacketDone};
                    int result = VideoStreamDecodeAudio(&e->stream, e->audioPacket, &block);
                    produced = block.produced < QZ_VIDEO_AUDIO_BUFFER ? block.produced : QZ_VIDEO_AUDIO_BUFFER;
                    produced -= produced % static_cast<uint32_t>(e->bytesPerAudioFrame);
                    e->audioPacketDone = block.done;
                    // A packet that is done, or that gives nothing and fails, is finished.
                    if (block.done || (result != 0 && produced == 0)) {
                        VideoStreamFreePacket(&e->stream, e->audioPacket);
                        e->audioPacket = nullptr;
                        e->audioPacketDone = 1;
                    }
                    continue;
                }
                if (e->paused.load()) {
                    silence = true;
                    break;
                }
                void* data = nullptr;
                double stamp = -1.0;
                int result = GetVideoPacket(thread, &e->audioQueue, &data, &stamp, 1, 1);
                if (result == -1) return -1;
                if (result != 1) {
                    // The end of the sound: what is decoded up to here is still to be heard.
                    if (result == -2 && e->audioEnd.load() < 0) e->audioEnd.store(e->audioPresentation.load());
                    silence = true;
                    break;
                }
                if (!data) {
                    VideoStreamFlushAudio(&e->stream);
                    e->audioFlushState.store(2);
                    e->audioEnd.store(-1.0);
                    continue;
                }
                if (stamp != -1.0) e->audioPresentation.store(stamp);
                e->audioPacket = data;
                e->audioPacketDone = 0;
            }
            if (produced) {
                e->audioPresentation.store(e->audioPresentation.load() + produced / bytesPerSecond);
                e->audioFill = produced;
            } else {
                uint32_t n = bytes - served;
                e->audioFill = n < QZ_VIDEO_AUDIO_BUFFER ? n : QZ_VIDEO_AUDIO_BUFFER;
                std::memset(e->audioBuffer, 0, e->audioFill);
                // Past the end of the sound the clock goes on with the silence; a pause stops it.
                if (!e->paused.load())
                    e->audioPresentation.store(e->audioPresentation.load() + e->audioFill / bytesPerSecond);
            }
            e->audioRead = 0;
        }
        uint32_t n = std::min(bytes - served, e->audioFill - e->audioRead);
        std::memcpy(dest + served, e->audioBuffer + e->audioRead, n);
        e->audioRead += n;
        served += n;
        e->audioUnread.store(e->audioFill - e->audioRead);
        int32_t expected = 2;
        e->audioFlushState.compare_exchange_strong(expected, 0);
    }
    return 0;
}
