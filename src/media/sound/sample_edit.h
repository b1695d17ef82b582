// Making new PCM out of samples: the frame copier (a sample's frames into a buffer of another
// format, looping), mixing several samples into one at a common rate, and writing a sample as a
// RIFF WAVE file.
#pragma once

#include <cstdint>

struct qzSound;

// Where the frame copier takes a sample's frames: from start + offset up to end (0 = the sample's
// frame count), wrapping around with loop.
struct qzFrameCopy {
    int64_t offset = 0;
    int64_t start = 0;
    int64_t end = 0;
    int32_t loop = 1;
};

// Checks the range: 0, or ERR_SMPRANGE for a negative value, an end other than 0 at or before the
// start, or an end beyond the frame count.
int CheckFrameCopy(const qzSound* sound, const qzFrameCopy* copy);
// Copies `frames` frames into out in the engine format `format` (2 to 5, or 0 and 1 for unsigned
// 8-bit): every value becomes a 16-bit level and is written in the target's width; a mono source
// feeds both sides of a stereo target, a stereo source gives a mono target its left side. Past the
// range without loop the frames are silence. *offset moves on by the frames copied (wrapped).
void CopyIntoStream(const qzSound* sound, qzFrameCopy* copy, int32_t format, unsigned char* out, uint32_t frames);

// One input of a mix.
struct qzMixInput {
    const qzSound* sound;
    double pitch = 0;       // frames per second the input plays at
    double offset = 0;      // the source frame to start at
    int64_t threshold = 0;  // the output frame the input starts at
    int64_t length = -1;    // the output frames it contributes, -1 = no limit
    int32_t loop = 1;
    double scale = 1.0;
    int64_t contributed = 0;
};
// Mixes the inputs into a new buffer of `frames` frames at `rate` in the engine format (2 to 5):
// each input is resampled to the nearest lower frame, the 24-bit levels are summed and clipped.
// 0 with *out (OsAlloc'd), or ERR_MEM.
int MixSamples(qzMixInput* inputs, int count, uint32_t frames, uint32_t rate, int32_t format, unsigned char** out);

// Writes the sample as a RIFF WAVE file (PCM, the pitch as its rate, 8-bit data unsigned, 16-bit
// data little-endian, the data padded to a multiple of 4 bytes). The file is written beside its
// name and renamed over it when complete. 0, or ERR_WRITEFILE (the name as error argument),
// ERR_WRITE, ERR_CLOSEFILE, ERR_MEM.
int WriteSampleWave(const qzSound* sound, uint32_t pitch, const char* name);
