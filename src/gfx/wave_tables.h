// The sine and cosine tables of the ripple and swirl kernels: 6300 entries at a step of 0.001
// radians, covering 0 to 6.299. They are finer than the engine's one-degree tables, and their
// angles are accumulated (x0 = 0, each next x = previous + 0.001 in double arithmetic), which
// the frames drawn from them depend on.
#pragma once

const int kWaveTableSize = 6300;

void FillWaveSineTable(double* table);
void FillWaveCosineTable(double* table);

// The table index of an angle in radians: trunc(angle / 0.001) clamped to 0 .. 6299.
inline int WaveTableIndex(double angle) {
    double i = angle / 0.001;
    if (!(i >= 0.0)) return 0;
    if (i >= kWaveTableSize - 1) return kWaveTableSize - 1;
    return (int)i;
}
