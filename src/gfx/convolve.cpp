#include "gfx/convolve.h"

#include <cmath>
#include <cstring>

#include "gfx/channel_access.h"
#include "platform/os_alloc.h"

namespace {

const double kSqrt2Pi = 2.5066282746310002;
const double kTwoPi = 6.283185307179586;
const double kEpsilon = 1e-10;
// Widths beyond this are never searched or built: they would not fit any bitmap's memory.
const int kMaxKernelWidth = 65535;

int RadiusWidth(double radius) {
    double w = 2.0 * std::ceil(radius) + 1.0;
    return w > kMaxKernelWidth ? kMaxKernelWidth : (int)w;
}

// The 1-D search with the running sum kept between widths (the sum over -h..h grows by the two
// new outer terms), so a wide sigma costs one pass instead of one pass per width.
int SearchWidth(double sigma, bool twoD) {
    double s2 = 2.0 * sigma * sigma;
    double norm1 = sigma * kSqrt2Pi;
    double sum = 0.0;  // sum of exp(-u^2 / s2) over u = -h..h
    int h = 2;
    for (int u = -h; u <= h; u++) sum += std::exp(-(double)(u * u) / s2);
    for (int w = 5; w < kMaxKernelWidth; w += 2, h++) {
        if (w > 5) sum += 2.0 * std::exp(-(double)h * h / s2);
        double edge = std::exp(-(double)h * h / s2) / norm1;
        if (!twoD) {
            if ((int)(255.0 * edge / (sum / norm1)) < 1) return w - 2;
        } else {
            double n = sum * sum / (kTwoPi * sigma * sigma);
            if (edge / n < 0.00392156862745098) return w - 2;
        }
    }
    return kMaxKernelWidth;
}

}  // namespace

int GetKernelWidth1D(double radius, double sigma) {
    if (radius > 0.0) return RadiusWidth(radius);
    if (!(std::fabs(sigma) > kEpsilon)) return 1;
    return SearchWidth(std::fabs(sigma), false);
}

int GetKernelWidth2D(double radius, double sigma) {
    if (radius > 0.0) return RadiusWidth(radius);
    // A zero or undefined sigma has no edge to fall below 1/255: the search would not end.
    if (!(std::fabs(sigma) > kEpsilon)) sigma = 1.0;
    return SearchWidth(std::fabs(sigma), true);
}

namespace {

template <typename T>
T* ExtendEdges(const T* src, int width, int height, int srcStride, int k, T* existing, int stride) {
    int before = k / 2;
    int ew = width + k, eh = height + k;
    T* dst = existing;
    if (!dst) dst = (T*)OsAlloc((size_t)stride * (size_t)eh * sizeof(T), 0);
    if (!dst) return nullptr;
    for (int y = 0; y < eh; y++) {
        int sy = y - before;
        if (sy < 0) sy = 0;
        if (sy >= height) sy = height - 1;
        const T* s = src + (size_t)sy * srcStride;
        T* d = dst + (size_t)y * stride;
        T first = s[0], last = s[width - 1];
        for (int x = 0; x < before; x++) d[x] = first;
        std::memcpy(d + before, s, (size_t)width * sizeof(T));
        for (int x = before + width; x < ew; x++) d[x] = last;
    }
    return dst;
}

}  // namespace

uint32_t* ExtendEdges32(const uint32_t* src, int width, int height, int srcStride, int k, uint32_t* existing,
                        int* outStride) {
    int stride = ((width + k) / 4) * 4 + 4;
    if (outStride) *outStride = stride;
    if (width < 1 || height < 1 || k < 0) return nullptr;
    return ExtendEdges(src, width, height, srcStride, k, existing, stride);
}

uint16_t* ExtendEdges16(const uint16_t* src, int width, int height, int srcStride, int k, uint16_t* existing,
                        int* outStride) {
    int stride = ((width + k) / 4) * 4 + 4;
    if (outStride) *outStride = stride;
    if (width < 1 || height < 1 || k < 0) return nullptr;
    return ExtendEdges(src, width, height, srcStride, k, existing, stride);
}

uint8_t* ExtendEdges8(const uint8_t* src, int width, int height, int srcStride, int k, uint8_t* existing,
                      int* outStride) {
    int stride = (width + k + 3) & ~3;
    if (outStride) *outStride = stride;
    if (width < 1 || height < 1 || k < 0) return nullptr;
    return ExtendEdges(src, width, height, srcStride, k, existing, stride);
}

namespace {

// What a pass reads and writes: the colour pixels as three planes (R, G, B) or the alpha plane
// as one, widened to doubles and written back clamped and truncated.
struct PlaneImage {
    const qzConvolveJob* job;
    bool alpha;
    int planes() const { return alpha ? 1 : 3; }

    // Widens `count` values of row y from column x0 on, repeating the first and last rows and
    // columns outside the image as an edge-extended copy does. Plane p goes to out + p * pitch.
    void Widen(int y, int x0, int count, double* out, size_t pitch) const {
        int h = job->height, w = job->width;
        if (y < 0) y = 0;
        if (y >= h) y = h - 1;
        if (alpha) {
            const uint8_t* row = job->alpha + (size_t)y * job->alphaBytesPerRow;
            for (int i = 0; i < count; i++) {
                int x = x0 + i < 0 ? 0 : (x0 + i >= w ? w - 1 : x0 + i);
                out[i] = row[x];
            }
            return;
        }
        int bpp = job->bytesPerPixel;
        const uint8_t* row = job->pixels + (size_t)y * job->stride * bpp;
        int rgb[3];
        for (int i = 0; i < count; i++) {
            int x = x0 + i < 0 ? 0 : (x0 + i >= w ? w - 1 : x0 + i);
            UnpackPixelAt(row + (size_t)x * bpp, bpp, job->format, rgb);
            out[i] = rgb[0], out[pitch + i] = rgb[1], out[2 * pitch + i] = rgb[2];
        }
    }

    void Write(int y, const double* sums, size_t pitch) const {
        int w = job->width;
        if (alpha) {
            uint8_t* row = job->alpha + (size_t)y * job->alphaBytesPerRow;
            for (int x = 0; x < w; x++) row[x] = (uint8_t)ClampChannel(sums[x]);
            return;
        }
        int bpp = job->bytesPerPixel;
        uint8_t* row = job->pixels + (size_t)y * job->stride * bpp;
        for (int x = 0; x < w; x++) {
            int rgb[3] = {ClampChannel(sums[x]), ClampChannel(sums[pitch + x]), ClampChannel(sums[2 * pitch + x])};
            PackPixelAt(row + (size_t)x * bpp, bpp, job->format, rgb);
        }
    }
};

struct Scratch {
    double* mem = nullptr;
    explicit Scratch(size_t count) { mem = (double*)OsAlloc(count * sizeof(double), 0); }
    ~Scratch() { OsFree(mem); }
};

// Horizontal pass: each value sums the w taps along its row of the edge-extended image, starting
// at its own column. The taps are the outer loop, so every sum is taken in tap order while the
// inner loop runs over neighbouring pixels.
bool ConvolveRows(const PlaneImage& img, const double* taps, int w) {
    size_t cols = img.job->width, n = cols + w;
    int np = img.planes();
    Scratch s(n * np + cols * np);
    if (!s.mem) return false;
    double *src = s.mem, *sum = s.mem + n * np;
    for (int y = 0; y < img.job->height; y++) {
        img.Widen(y, -(w / 2), (int)n, src, n);
        for (size_t i = 0; i < cols * np; i++) sum[i] = 0.0;
        for (int j = 0; j < w; j++) {
            double t = taps[j];
            for (int p = 0; p < np; p++) {
                const double* in = src + p * n + j;
                double* out = sum + p * cols;
                for (size_t x = 0; x < cols; x++) out[x] += t * in[x];
            }
        }
        img.Write(y, sum, cols);
    }
    return true;
}

// A ring of the last `w` widened rows of the edge-extended image. Output row y needs extended
// rows y .. y + w - 1, i.e. image rows y - w/2 .. y + w/2, and every one of them is widened
// before row y is written back, so a pass can write its results in place.
struct RowRing {
    const PlaneImage& img;
    int w, x0, count;
    size_t rowSize;
    Scratch s;
    RowRing(const PlaneImage& i, int width, int colStart, int n)
        : img(i),
          w(width),
          x0(colStart),
          count(n),
          rowSize((size_t)n * i.planes()),
          s((size_t)width * n * i.planes()) {}
    double* Row(int ey) { return s.mem + (size_t)(ey % w) * rowSize; }
    void Load(int ey) { img.Widen(ey - w / 2, x0, count, Row(ey), (size_t)count); }
};

// Vertical pass: each value sums the w taps down its column, from its own row of the copy.
bool ConvolveColumns(const PlaneImage& img, const double* taps, int w) {
    size_t cols = img.job->width;
    int np = img.planes();
    RowRing ring(img, w, 0, (int)cols);
    Scratch s(cols * np);
    if (!ring.s.mem || !s.mem) return false;
    for (int ey = 0; ey < w - 1; ey++) ring.Load(ey);
    for (int y = 0; y < img.job->height; y++) {
        ring.Load(y + w - 1);
        for (size_t i = 0; i < cols * np; i++) s.mem[i] = 0.0;
        for (int j = 0; j < w; j++) {
            double t = taps[j];
            const double* in = ring.Row(y + j);
            for (size_t i = 0; i < cols * np; i++) s.mem[i] += t * in[i];
        }
        img.Write(y, s.mem, cols);
    }
    return true;
}

// 2-D pass: each value is the kernel-weighted sum over the w x w window of the copy whose
// top-left is the pixel's own position, taken row by row.
bool ConvolveWindow(const PlaneImage& img, const double* kernel, int w) {
    size_t cols = img.job->width, n = cols + w;
    int np = img.planes();
    RowRing ring(img, w, -(w / 2), (int)n);
    Scratch s(cols * np);
    if (!ring.s.mem || !s.mem) return false;
    for (int ey = 0; ey < w - 1; ey++) ring.Load(ey);
    for (int y = 0; y < img.job->height; y++) {
        ring.Load(y + w - 1);
        for (size_t i = 0; i < cols * np; i++) s.mem[i] = 0.0;
        for (int v = 0; v < w; v++) {
            const double* in = ring.Row(y + v);
            for (int u = 0; u < w; u++) {
                double k = kernel[(size_t)v * w + u];
                for (int p = 0; p < np; p++) {
                    const double* src = in + p * n + u;
                    double* out = s.mem + p * cols;
                    for (size_t x = 0; x < cols; x++) out[x] += k * src[x];
                }
            }
        }
        img.Write(y, s.mem, cols);
    }
    return true;
}

// The normalised taps of the separable blur, built with threefold sub-sampling; null when out of
// memory (the caller frees them).
double* BlurTaps(double radius, double sigma, int* width) {
    int w = GetKernelWidth1D(radius, sigma);
    double* taps = (double*)OsAlloc(sizeof(double) * (size_t)w, 1);
    if (!taps) return nullptr;
    int half = 3 * w / 2;
    for (int i = -half; i <= half; i++)
        taps[(i + half) / 3] += std::exp(-(double)i * i / (18.0 * sigma * sigma)) / (sigma * kSqrt2Pi);
    double total = 0.0;
    for (int i = 0; i < w; i++) total += taps[i];
    for (int i = 0; i < w; i++) taps[i] /= total;
    *width = w;
    return taps;
}

void Blur(const qzConvolveJob* job) {
    if (!(std::fabs(job->sigma) > kEpsilon)) return;
    int w = 0;
    double* taps = BlurTaps(job->radius, job->sigma, &w);
    if (!taps) return;
    PlaneImage colour{job, false};
    if (ConvolveRows(colour, taps, w) && ConvolveColumns(colour, taps, w) && job->alpha) {
        PlaneImage alpha{job, true};
        if (ConvolveRows(alpha, taps, w)) ConvolveColumns(alpha, taps, w);
    }
    OsFree(taps);
}

void Filter2D(const qzConvolveJob* job) {
    double s = job->sigma;
    if (!(std::fabs(s) > kEpsilon)) s = 1.0;
    int w = job->mode == 'g' ? GetKernelWidth1D(job->radius, 0.5) : GetKernelWidth2D(job->radius, s);
    if (w % 2 == 0 || w > job->width || w > job->height) return;
    Scratch kernel((size_t)w * w);
    if (!kernel.mem) return;
    int h = w / 2;
    double norm = kTwoPi * s * s;
    double sum = 0.0;
    for (int v = -h; v <= h; v++) {
        for (int u = -h; u <= h; u++) {
            double g = std::exp(-(double)(u * u + v * v) / (2.0 * s * s)) / norm;
            double k;
            if (job->mode == 's')
                k = -g;
            else if (job->mode == 'e')
                k = (u == -v) ? ((u < 0 || v < 0) ? -8.0 : 8.0) * g : 0.0;
            else
                k = (u == 0 && v == 0) ? (double)w * w - 1.0 : -1.0;
            kernel.mem[(size_t)(v + h) * w + (u + h)] = k;
            sum += k;
        }
    }
    if (job->mode == 's') {
        kernel.mem[(size_t)h * w + h] = -2.0 * sum;
        sum = 0.0;
        for (size_t i = 0; i < (size_t)w * w; i++) sum += kernel.mem[i];
    }
    if (std::fabs(sum) > kEpsilon)
        for (size_t i = 0; i < (size_t)w * w; i++) kernel.mem[i] /= sum;
    if (!ConvolveWindow(PlaneImage{job, false}, kernel.mem, w)) return;
    if (job->alpha) ConvolveWindow(PlaneImage{job, true}, kernel.mem, w);
}

}  // namespace

void BlurAlphaPlane(uint8_t* plane, int width, int height, int bytesPerRow, double radius, double sigma) {
    if (!plane || width < 1 || height < 1 || !(std::fabs(sigma) > kEpsilon)) return;
    qzConvolveJob job{nullptr, width, height, 0, 0, 0, plane, bytesPerRow, radius, sigma, 'b'};
    int w = 0;
    double* taps = BlurTaps(radius, sigma, &w);
    if (!taps) return;
    PlaneImage alpha{&job, true};
    if (ConvolveRows(alpha, taps, w)) ConvolveColumns(alpha, taps, w);
    OsFree(taps);
}

void ConvolveBitMapPixels(const qzConvolveJob* job) {
    if (!job || !job->pixels || job->width < 1 || job->height < 1) return;
    if (job->bytesPerPixel != 2 && job->bytesPerPixel != 4) return;
    if (job->mode == 'b')
        Blur(job);
    else if (job->mode == 's' || job->mode == 'e' || job->mode == 'g')
        Filter2D(job);
}
