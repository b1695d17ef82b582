#include "gfx/tone_filters.h"

#include <cmath>

#include "gfx/channel_access.h"

namespace {

// Calls fn(rgb) for every pixel of a rectangle and packs the changed channels back.
template <typename Pixel, typename Fn>
void MapChannels(Pixel* pixels, int width, int height, int stride, int format, Fn fn) {
    for (int y = 0; y < height; y++) {
        Pixel* row = pixels + (size_t)y * stride;
        for (int x = 0; x < width; x++) {
            int rgb[3];
            if constexpr (sizeof(Pixel) == 4) {
                UnpackPixel32(format, row[x], rgb);
                fn(rgb);
                row[x] = PackPixel32(format, rgb[0], rgb[1], rgb[2]);
            } else {
                UnpackPixel16(format, row[x], rgb);
                fn(rgb);
                row[x] = PackPixel16(format, rgb[0], rgb[1], rgb[2]);
            }
        }
    }
}

template <typename Pixel>
void Solarize(Pixel* pixels, int width, int height, int stride, int format, int threshold) {
    MapChannels(pixels, width, height, stride, format, [threshold](int* c) {
        for (int i = 0; i < 3; i++)
            if (c[i] > threshold) c[i] = 255 - c[i];
    });
}

template <typename Pixel>
void ChannelTables(const qzChannelTables* job) {
    const uint8_t* tables[3] = {job->red, job->green, job->blue};
    int bits = job->channels;
    MapChannels((Pixel*)job->pixels, job->width, job->height, job->stride, job->format, [&](int* c) {
        for (int i = 0; i < 3; i++)
            if ((bits & (1 << i)) && tables[i]) c[i] = tables[i][c[i]];
    });
}

template <typename Pixel>
void Contrast(Pixel* pixels, int width, int height, int stride, int format, int sign) {
    MapChannels(pixels, width, height, stride, format, [sign](int* c) { ContrastPixel(sign, &c[0], &c[1], &c[2]); });
}

template <typename Pixel>
void Sepia(Pixel* pixels, int width, int height, int stride, int format, double t) {
    MapChannels(pixels, width, height, stride, format, [t](int* c) {
        double i = PixelIntensity(c[0], c[1], c[2]);
        double r = i > t ? 255.0 : i + 255.0 - t;
        double g = i > 7.0 * t / 6.0 ? 255.0 : i + 255.0 - 7.0 * t / 6.0;
        double b = i < t / 6.0 ? 0.0 : i - t / 6.0;
        c[0] = ClampChannel(r);
        c[1] = ClampChannel(g);
        c[2] = ClampChannel(b);
        int floor = ClampChannel(t / 7.0);
        if (c[1] < t / 7.0) c[1] = floor;
        if (c[2] < t / 7.0) c[2] = floor;
    });
}

template <typename Pixel>
void Monochrome(Pixel* pixels, int width, int height, int format, int stride, const uint8_t* map) {
    Pixel white;
    if constexpr (sizeof(Pixel) == 4)
        white = (format == 11 || format == 12) ? 0xFFFFFF00u : 0x00FFFFFFu;
    else
        white = 0xFFFF;
    for (int y = 0; y < height; y++) {
        Pixel* row = pixels + (size_t)y * stride;
        const uint8_t* m = map + (size_t)y * width;
        for (int x = 0; x < width; x++) row[x] = m[x] ? white : 0;
    }
}

}  // namespace

void SolarizePixels32(uint32_t* p, int w, int h, int stride, int format, int threshold) {
    Solarize(p, w, h, stride, format, threshold);
}
void SolarizePixels16(uint16_t* p, int w, int h, int stride, int format, int threshold) {
    Solarize(p, w, h, stride, format, threshold);
}
void ApplyChannelTables32(const qzChannelTables* job) { ChannelTables<uint32_t>(job); }
void ApplyChannelTables16(const qzChannelTables* job) { ChannelTables<uint16_t>(job); }
void ContrastPixels32(uint32_t* p, int w, int h, int stride, int format, int sign) {
    Contrast(p, w, h, stride, format, sign);
}
void ContrastPixels16(uint16_t* p, int w, int h, int stride, int format, int sign) {
    Contrast(p, w, h, stride, format, sign);
}
void SepiaPixels32(uint32_t* p, int w, int h, int stride, int format, double t) { Sepia(p, w, h, stride, format, t); }
void SepiaPixels16(uint16_t* p, int w, int h, int stride, int format, double t) { Sepia(p, w, h, stride, format, t); }
void WriteMonochrome32(uint32_t* p, int w, int h, int format, int stride, const uint8_t* map) {
    Monochrome(p, w, h, format, stride, map);
}
void WriteMonochrome16(uint16_t* p, int w, int h, int format, int stride, const uint8_t* map) {
    Monochrome(p, w, h, format, stride, map);
}

void ContrastPixel(int sign, int* red, int* green, int* blue) {
    double r = *red, g = *green, b = *blue;
    double max = r > g ? r : g, min = r < g ? r : g;
    if (b > max) max = b;
    if (b < min) min = b;
    double hue = 0.0, saturation = 0.0, brightness = max / 255.0;
    if (max != 0.0) saturation = (max - min) / max;
    double delta = max - min;
    if (delta != 0.0) {
        if (r == max)
            hue = (g - b) / delta;
        else if (g == max)
            hue = 2.0 + (b - r) / delta;
        else
            hue = 4.0 + (r - g) / delta;
        hue /= 6.0;
        if (hue < 0.0) hue += 1.0;
    }
    brightness += 0.5 * sign * (0.5 * (std::sin(M_PI * (brightness - 0.5)) + 1.0) - brightness);
    if (brightness > 1.0) brightness = 1.0;
    if (brightness < 0.0) brightness = 0.0;
    double v = brightness, out[3];
    if (saturation == 0.0) {
        out[0] = out[1] = out[2] = v;
    } else {
        double h = (hue - std::floor(hue)) * 6.0;
        double f = h - std::floor(h);
        double p = v * (1.0 - saturation), q = v * (1.0 - saturation * f), t = v * (1.0 - saturation * (1.0 - f));
        switch ((int)h) {
        case 1: out[0] = q, out[1] = v, out[2] = p; break;
        case 2: out[0] = p, out[1] = v, out[2] = t; break;
        case 3: out[0] = p, out[1] = q, out[2] = v; break;
        case 4: out[0] = t, out[1] = p, out[2] = v; break;
        case 5: out[0] = v, out[1] = p, out[2] = q; break;
        default: out[0] = v, out[1] = t, out[2] = p; break;
        }
    }
    *red = ClampChannel(out[0] * 255.0);
    *green = ClampChannel(out[1] * 255.0);
    *blue = ClampChannel(out[2] * 255.0);
}

namespace {

void ReadLevelPixel(const qzLevelsJob* job, int x, int y, int rgb[3]) {
    const uint8_t* p = (const uint8_t*)job->pixels + ((size_t)y * job->stride + x) * job->bytesPerPixel;
    UnpackPixelAt(p, job->bytesPerPixel, job->format, rgb);
}

}  // namespace

void FindHistogramLevels(const qzLevelsJob* job, int* black, int* white) {
    long long histogram[256] = {0};
    int rgb[3];
    for (int y = 0; y < job->height; y++)
        for (int x = 0; x < job->width; x++) {
            ReadLevelPixel(job, x, y, rgb);
            histogram[(int)PixelIntensity(rgb[0], rgb[1], rgb[2]) & 255]++;
        }
    long long sum = 0;
    int b = 0;
    for (b = 0; b < 256; b++) {
        sum += histogram[b];
        if (sum > job->blackCount) break;
    }
    if (b > 255) b = 255;
    long long limit = (long long)job->width * job->height - job->whiteCount;
    sum = 0;
    int w = 0;
    for (int i = 255; i >= 1; i--) {
        sum += histogram[i];
        if (sum > limit) {
            w = i;
            break;
        }
    }
    *black = b;
    *white = w;
}

void StretchLevels(const qzLevelsJob* job) {
    if (!job || !job->pixels || job->width < 1 || job->height < 1) return;
    if (job->bytesPerPixel != 2 && job->bytesPerPixel != 4) return;
    int black, white;
    FindHistogramLevels(job, &black, &white);
    if (black == white) return;
    uint8_t table[256];
    for (int i = 0; i < 256; i++) {
        if (i < black)
            table[i] = 0;
        else if (i > white)
            table[i] = 255;
        else
            table[i] = (uint8_t)ClampChannel((double)(i - black) * 255 / (white - black));
    }
    qzChannelTables t{job->pixels, job->width, job->height, job->stride, job->format, table, table, table, 7};
    if (job->bytesPerPixel == 4)
        ApplyChannelTables32(&t);
    else
        ApplyChannelTables16(&t);
}

void BuildGammaTable(uint8_t table[256], double gamma) {
    for (int i = 0; i < 256; i++)
        table[i] = gamma == 0.0 ? 0 : (uint8_t)ClampChannel(std::pow(i / 255.0, 1.0 / gamma) * 255.0 + 0.5);
}
