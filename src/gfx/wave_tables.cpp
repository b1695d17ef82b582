#include "gfx/wave_tables.h"

#include <cmath>

void FillWaveSineTable(double* table) {
    double x = 0.0;
    for (int i = 0; i < kWaveTableSize; i++, x += 0.001) table[i] = std::sin(x);
}

void FillWaveCosineTable(double* table) {
    double x = 0.0;
    for (int i = 0; i < kWaveTableSize; i++, x += 0.001) table[i] = std::cos(x);
}
