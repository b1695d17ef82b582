// The replay state of a four-voice, 31-sample tracker module (the "M.K." layout) and the steps of
// its replayer: the loader fills one block with the samples, the unpacked patterns and the voices;
// rows and ticks run the effects; the mixer renders at twice the output rate and averages pairs.
// Positions and lengths of sample data are bytes in 18.14 fixed point (bytes x 16384).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kModuleHeaderBytes = 1084;
constexpr size_t kModulePatternBytes = 1024;
constexpr int kModuleRows = 64;
constexpr int kModuleVoices = 4;
constexpr int kModuleSamples = 31;
constexpr int kModuleOrders = 128;
constexpr int32_t kModuleFixedOne = 16384;
constexpr int32_t kModuleMinPeriod = 113;
constexpr int32_t kModuleMaxPeriod = 856;

struct qzModuleSample {
    char name[22];
    const signed char* data;  // into the module data; null for a sample of no bytes
    uint32_t length;
    uint32_t loopStart;
    uint32_t loopLength;
    uint32_t loopEnd;
    uint8_t finetune;  // 0 to 15; 8 to 15 stand for -8 to -1
    uint8_t volume;    // 0 to 64 as stored
};

struct qzModuleCell {
    int32_t period;
    int32_t sample;  // 0: none
    uint8_t effect;
    uint8_t high;  // parameter nibbles
    uint8_t low;
    uint8_t param;
};

// Voice flags.
constexpr int32_t kVoiceSkipPeriod = 1;  // the period effects skip the current tick
constexpr int32_t kVoicePortamento = 2;  // tone portamento is on

struct qzModuleVoice {
    int32_t sample;      // playing sample number
    int32_t lastSample;  // last sample number given in a cell
    int32_t position;    // negative: silent
    int32_t basePeriod;
    int32_t step;    // position increment per internal sample
    int32_t offset;  // last offset set by effect 9, bytes
    int32_t periodSlide;
    int32_t volume;  // 0 to 63
    int32_t savedVolume;
    int32_t outVolume;  // after tremolo and note cut: the one the mixer uses
    int32_t volumeSlide;
    int32_t pan;  // 0 to 255
    int32_t finetune;
    int32_t flags;
    int32_t portaSpeed;
    int32_t portaTarget;
    int32_t period;  // the current period, which slides and vibrato move
    int32_t retrigInterval;
    int32_t cutCounter;
    int32_t retrigCounter;
    int32_t arpeggio;
    int32_t notePeriod;  // as written in the cell
    int32_t vibratoSpeed;
    int32_t vibratoDepth;
    int32_t vibratoActive;  // speed in force, 0: no vibrato
    int32_t vibratoPos;
    int32_t tremoloSpeed;
    int32_t tremoloDepth2;
    int32_t tremoloActive;
    int32_t tremoloPos;
    int32_t vibratoWave;
    int32_t tremoloWave;
    int32_t funkControl;  // non-zero: glissando on; high nibble: funk speed
    int32_t funkAccumulator;
    int32_t funkOffset;  // bytes
    int32_t queuedSample;
    int32_t loopRow;
    int32_t loopCount;
    int32_t loopState;  // 0 none, 1 start row marked, 2 looping
};

struct qzModule {
    char name[21];
    uint16_t patternCount;
    uint16_t songLength;                         // 0 to 128
    qzModuleSample samples[kModuleSamples + 1];  // slot 0 stays empty
    qzModuleVoice voices[kModuleVoices];
    qzModuleCell* patterns;
    uint8_t order[kModuleOrders];
    int32_t internalRate;
    int32_t masterVolume;
    uint8_t songPosition;
    uint8_t patternRow;
    uint8_t speed;
    uint8_t tempo;
    int32_t samplesPerTick;
    int32_t sampleCounter;
    uint8_t tickCounter;
    uint8_t patternDelay;
    uint8_t breakRow;
    uint8_t filterOn;
    float filterA;
    float filterC;
    float filterMemory[2][3];  // per side: previous input, first-stage and second-stage outputs
    unsigned char* data;
    size_t size;
    // Written by the main thread, taken by the render thread: -1 or the song position to jump to.
    int32_t pendingJump;
    // The unpacked patterns follow the record.
};

// Without a module: the bytes the record of this module file needs, 0 when the file is too short
// for its patterns. With one: fills it, keeping data (which the samples point into), and gives 1.
size_t ParseModule(qzModule* module, unsigned char* data, size_t size, int32_t outputRate);

// The period `notesUp` semitones above `period` in the row of `finetune`, at most the table's top.
int32_t GetFinetunedPeriod(int32_t period, int32_t finetune, int32_t notesUp);

// The entry of a finetune row, for glissando: the first one not greater than period.
int32_t RoundPeriodToSemitone(int32_t period, int32_t finetune);

// The position increment per internal sample for a period (0 for a period of 0).
int32_t StepFromPeriod(const qzModule* module, int32_t period);

// One tick: the row when it is due, then the tick of every voice.
void RunModuleTick(qzModule* module);

// Fills frames frames of two 16-bit values, at first and second, both advancing by stride bytes.
void ReplayModule(qzModule* module, int16_t* first, int16_t* second, size_t stride, uint32_t frames);
