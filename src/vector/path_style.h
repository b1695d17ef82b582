// The path style: line join, line cap, dash pattern and fill rule that every path drawn or measured
// afterwards uses (they are not stored in paths), and the switch that makes the draw library
// draw its shapes as paths. Process-wide, main thread only.
#pragma once

#include <cstdint>

enum {
    PATH_JOINMITER = 0,
    PATH_JOINROUND = 1,
    PATH_JOINBEVEL = 2,
    PATH_CAPBUTT = 0,
    PATH_CAPROUND = 1,
    PATH_CAPSQUARE = 2,
    PATH_FILLRULEWINDING = 0,
    PATH_FILLRULEEVENODD = 1,
};

struct qzPathStyle {
    int32_t lineJoin;
    int32_t lineCap;
    double dashOffset;
    uint32_t dashCount;   // 0: solid
    double* dashLengths;  // OsAlloc, owned by whoever holds the style
    int32_t fillRule;
};

// The global style (zero at start: miter joins, butt caps, solid, non-zero winding).
qzPathStyle& GetPathStyle();
// Replaces the dash pattern: count lengths (copied) at the offset; a count of 0 is solid. 0, or
// ERR_MEM with the pattern left solid.
int SetPathDash(double offset, const double* lengths, uint32_t count);
// Solid lines, miter joins, butt caps, non-zero winding and the force-path switch off; the dash
// lengths are freed.
void ResetPathStyle();

// Copies a style with a dash array of its own. 0, or ERR_MEM with *out solid.
int CopyPathStyle(const qzPathStyle& source, qzPathStyle* out);
// Frees the dash array of a copy.
void FreePathStyleCopy(qzPathStyle* style);

// The force-path switch: non-zero makes the draw library hand boxes, circles, ellipses, arcs and
// polygons to the path renderer.
int GetForcePathUse();
void SetForcePathUse(int on);
