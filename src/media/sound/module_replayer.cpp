// The module mixer and the replayer's entry points: four voices of signed 8-bit data mixed at
// twice the output rate with fixed pans, an optional two-stage low-pass filter, and each pair of
// internal samples averaged into one output frame.
#include "media/sound/module_replayer.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "media/sound/module_state.h"
#include "platform/os_alloc.h"

namespace {

// The next byte of a voice times its volume, its position moved on; 0 for a silent voice. Reads
// stay below the sample's length: loops were clipped to it when the module was loaded, and a
// position past a loop's end (a sample offset, a sample switched at a wrap) wraps into the loop.
int32_t VoiceSample(qzModule* m, qzModuleVoice* v) {
    if (v->position < 0) return 0;
    const qzModuleSample* d = &m->samples[v->sample];
    int64_t position = v->position;
    if (d->loopLength > 2 * static_cast<uint32_t>(kModuleFixedOne)) {
        if (position >= d->loopEnd) {
            position -= d->loopLength;
            if (position >= d->loopEnd) position = d->loopStart + (position - d->loopStart) % d->loopLength;
            if (v->queuedSample) v->sample = v->queuedSample;
        }
    } else if (position >= d->length) {
        v->position = -1;
        return 0;
    }
    int32_t value = d->data[position >> 14] * v->outVolume;
    v->position = static_cast<int32_t>(std::min<int64_t>(position + v->step, INT32_MAX));
    return value;
}

int32_t Filter(qzModule* m, int side, int32_t x) {
    float* memory = m->filterMemory[side];
    float in = static_cast<float>(x);
    float first = m->filterA * (in + memory[0]) + m->filterC * memory[1];
    float second = m->filterA * (first + memory[1]) + m->filterC * memory[2];
    memory[0] = in;
    memory[1] = first;
    memory[2] = second;
    return static_cast<int32_t>(std::clamp(second, -65536.0f, 65536.0f));
}

}  // namespace

void ReplayModule(qzModule* m, int16_t* first, int16_t* second, size_t stride, uint32_t frames) {
    int32_t sumA = 0;
    int32_t sumB = 0;
    for (uint64_t i = 0; i < 2 * static_cast<uint64_t>(frames); i++) {
        if (m->sampleCounter >= m->samplesPerTick) {
            m->sampleCounter -= m->samplesPerTick;
            RunModuleTick(m);
        }
        m->sampleCounter++;
        int32_t a = 0;
        int32_t b = 0;
        for (int n = 0; n < kModuleVoices; n++) {
            qzModuleVoice* v = &m->voices[n];
            int32_t value = VoiceSample(m, v);
            a += value * v->pan;
            b += value * (255 - v->pan);
        }
        a >>= 7;
        b >>= 7;
        if (m->filterOn) {
            a = Filter(m, 0, a);
            b = Filter(m, 1, b);
        }
        sumA += std::clamp(a, -32768, 32767);
        sumB += std::clamp(b, -32768, 32767);
        if (i & 1) {
            *first = static_cast<int16_t>(std::clamp((sumA * m->masterVolume) >> 9, -32768, 32767));
            *second = static_cast<int16_t>(std::clamp((sumB * m->masterVolume) >> 9, -32768, 32767));
            first = reinterpret_cast<int16_t*>(reinterpret_cast<char*>(first) + stride);
            second = reinterpret_cast<int16_t*>(reinterpret_cast<char*>(second) + stride);
            sumA = sumB = 0;
        }
    }
}

qzModule* OpenModule(unsigned char* data, size_t size, int32_t rate) {
    size_t need = ParseModule(nullptr, data, size, rate);
    if (!need) return nullptr;
    qzModule* module = static_cast<qzModule*>(OsAlloc(need, 0));
    if (!module) return nullptr;
    ParseModule(module, data, size, rate);
    return module;
}

void FreeModule(qzModule* module) {
    if (!module) return;
    OsFree(module->data);
    OsFree(module);
}

void RewindModule(qzModule* module) { ParseModule(module, module->data, module->size, module->internalRate / 2); }

void RenderModuleToBuffer(qzModule* module, int16_t* out, uint32_t frames) {
    int32_t jump = std::atomic_ref<int32_t>(module->pendingJump).exchange(-1);
    if (jump >= 0) {
        // The music commands read these two bytes from the main thread.
        std::atomic_ref<uint8_t>(module->songPosition).store(static_cast<uint8_t>(jump), std::memory_order_relaxed);
        std::atomic_ref<uint8_t>(module->patternRow).store(0, std::memory_order_relaxed);
    }
    ReplayModule(module, out, out + 1, 4, frames);
}

int32_t QueryModulePosition(qzModule* module, int32_t query, int32_t value) {
    switch (query) {
    case 0:
        // A position the song does not have plays from its start.
        std::atomic_ref<int32_t>(module->pendingJump).store(value >= 0 && value <= 255 ? value : 0);
        return 0;
    case 1: return std::atomic_ref<uint8_t>(module->patternRow).load(std::memory_order_relaxed);
    default: return std::atomic_ref<uint8_t>(module->songPosition).load(std::memory_order_relaxed);
    }
}
