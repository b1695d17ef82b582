// The swirl: pixels inside the circle around the image centre are turned about it, the more the
// nearer they lie; over frames 0 to 720 the twist winds up to 359 degrees and back to 0.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzSwirlJob {
    const void* source;  // null: the frame works from a copy of the destination
    const void* second;  // image to cross-fade with, or null
    void* destination;
    int sourceRowLength;  // row lengths in pixels
    int secondRowLength;
    int destRowLength;
    double* sine;  // kWaveTableSize entries each
    double* cosine;
    int format;
    int width;
    int height;
    int fadeOut;
    const uint8_t* alphaMap;  // or null
    int alphaMapBytesPerRow;
    uint8_t* destAlpha;
    int destAlphaBytesPerRow;
    const uint8_t* sourceMask;  // copy of the source mask, or null
    int sourceMaskBytesPerRow;
    uint8_t* destMask;
    int destMaskBytesPerRow;
};

void BuildSwirlTables(qzSwirlJob* job);
void SwirlPixels32(qzSwirlJob* job, int frame);
void SwirlPixels16(qzSwirlJob* job, int frame);
