// The convolution engine behind blur, sharpen, emboss and edge, with the kernel-width search and
// the edge-extended copies it works on. Kernels run in place on locked pixels of 2 or 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzConvolveJob {
    uint8_t* pixels;
    int width;
    int height;
    int stride;         // row length in pixels
    int format;         // qzPixelFormat
    int bytesPerPixel;  // 2 or 4
    uint8_t* alpha;     // 8-bit plane or null
    int alphaBytesPerRow;
    double radius;
    double sigma;
    char mode;  // 'b' blur, 's' sharpen, 'e' emboss, 'g' edge
};

// Kernel widths are odd; a radius > 0 gives 2 * ceil(radius) + 1, otherwise the smallest width
// whose edge weight falls below 1/255 of the kernel's sum (minus 2, never below 3).
int GetKernelWidth1D(double radius, double sigma);
int GetKernelWidth2D(double radius, double sigma);

// Copies of (width + k) x (height + k) pixels whose border repeats the first and last rows and
// columns (k / 2 before, k - k / 2 after). `existing` is refilled in place when given. The copy's
// row stride goes to `outStride` (pixels for 32/16-bit, bytes for 8-bit). Null when out of memory.
uint32_t* ExtendEdges32(const uint32_t* src, int width, int height, int srcStride, int k, uint32_t* existing,
                        int* outStride);
uint16_t* ExtendEdges16(const uint16_t* src, int width, int height, int srcStride, int k, uint16_t* existing,
                        int* outStride);
uint8_t* ExtendEdges8(const uint8_t* src, int width, int height, int srcStride, int k, uint8_t* existing,
                      int* outStride);

// The separable blur on an 8-bit plane alone.
void BlurAlphaPlane(uint8_t* plane, int width, int height, int bytesPerRow, double radius, double sigma);

// Runs the job's mode over its rectangle; failures (memory, widths that do not fit) leave the
// pixels as far as done.
void ConvolveBitMapPixels(const qzConvolveJob* job);
