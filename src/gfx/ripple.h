// The water ripple: circular waves around a centre displace every pixel radially, frame by
// frame; the brush command draws one frame, the water transitions draw them in sequence with a
// second image to cross-fade into or an alpha map to fade in or out.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzRippleJob {
    const void* source;  // null: the frame works from a copy of the destination
    const void* second;  // image to cross-fade with, or null
    void* destination;
    int sourceRowLength;  // row lengths in pixels
    int secondRowLength;
    int destRowLength;
    int32_t* distances;  // width x height entries, rows packed
    double* sine;        // kWaveTableSize entries
    double wavelength;
    double amplitude;      // current amplitude; frames other than -1 set it
    double amplitudeStep;  // amplitude gained per frame up to the half duration
    int halfDuration;      // frames
    int width;
    int height;
    int format;
    int fadeOut;
    const uint8_t* alphaMap;  // or null
    int alphaMapBytesPerRow;
    uint8_t* destAlpha;
    int destAlphaBytesPerRow;
    uint8_t* destMask;
    int destMaskBytesPerRow;
    const uint8_t* sourceMask;  // copy of the source mask, or null
    int sourceMaskBytesPerRow;
    int centerX;
    int centerY;
    int radius;    // decay radius R
    double phase;  // the phase of frame -1
};

// Fills the sine table and the distance table (IntSqrt of each pixel's squared distance from
// the centre). Either table may be null.
void BuildRippleTable(qzRippleJob* job);

// Draws one frame; frame -1 uses the job's phase and keeps its amplitude. A wavelength or radius
// of 0 draws nothing.
void RipplePixels32(qzRippleJob* job, int frame);
void RipplePixels16(qzRippleJob* job, int frame);
