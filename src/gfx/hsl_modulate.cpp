#include "gfx/hsl_modulate.h"

#include "gfx/channel_access.h"

void RgbToHsl(int red, int green, int blue, double* hue, double* saturation, double* lightness) {
    const double k = 0.00392156862745098;
    double r = red * k, g = green * k, b = blue * k;
    double max = r > g ? r : g, min = r < g ? r : g;
    if (b > max) max = b;
    if (b < min) min = b;
    double delta = max - min;
    double l = (max + min) / 2.0, h = 0.0, s = 0.0;
    if (delta != 0.0) {
        s = l < 0.5 ? delta / (max + min) : delta / (2.0 - max - min);
        double dr = ((max - r) / 6.0 + delta / 2.0) / delta;
        double dg = ((max - g) / 6.0 + delta / 2.0) / delta;
        double db = ((max - b) / 6.0 + delta / 2.0) / delta;
        if (max == r)
            h = db - dg;
        else if (max == g)
            h = 1.0 / 3.0 + dr - db;
        else
            h = 2.0 / 3.0 + dg - dr;
        if (h < 0.0) h += 1.0;
        if (h > 1.0) h -= 1.0;
    }
    *hue = h;
    *saturation = s;
    *lightness = l;
}

namespace {

double HueToValue(double m1, double m2, double h) {
    if (h < 0.0) h += 1.0;
    if (h > 1.0) h -= 1.0;
    if (6.0 * h < 1.0) return m1 + (m2 - m1) * 6.0 * h;
    if (2.0 * h < 1.0) return m2;
    if (3.0 * h < 2.0) return m1 + (m2 - m1) * (2.0 / 3.0 - h) * 6.0;
    return m1;
}

template <typename Pixel>
void Modulate(const qzModulateJob* job) {
    if (!job || !job->pixels) return;
    for (int y = 0; y < job->height; y++) {
        Pixel* row = (Pixel*)job->pixels + (size_t)y * job->stride;
        for (int x = 0; x < job->width; x++) {
            int c[3];
            if constexpr (sizeof(Pixel) == 4)
                UnpackPixel32(job->format, row[x], c);
            else
                UnpackPixel16(job->format, row[x], c);
            ModulatePixel(job->hue, job->saturation, job->lightness, &c[0], &c[1], &c[2]);
            if constexpr (sizeof(Pixel) == 4)
                row[x] = PackPixel32(job->format, c[0], c[1], c[2]);
            else
                row[x] = PackPixel16(job->format, c[0], c[1], c[2]);
        }
    }
}

}  // namespace

void ModulatePixel(double huePercent, double saturationPercent, double lightnessPercent, int* red, int* green,
                   int* blue) {
    double h, s, l;
    RgbToHsl(*red, *green, *blue, &h, &s, &l);
    h += 0.5 * (0.01 * huePercent - 1.0);
    // Whole turns first, so that a huge percentage cannot keep the wrap loops busy.
    if (h < -4.0 || h > 4.0) h -= (double)(long long)h;
    while (h < 0.0) h += 1.0;
    while (h > 1.0) h -= 1.0;
    s = s * 0.01 * saturationPercent;
    l = l * 0.01 * lightnessPercent;
    double r, g, b;
    if (s == 0.0) {
        r = g = b = l;
    } else {
        double m2 = l <= 0.5 ? l * (1.0 + s) : l + s - l * s;
        double m1 = 2.0 * l - m2;
        r = HueToValue(m1, m2, h + 1.0 / 3.0);
        g = HueToValue(m1, m2, h);
        b = HueToValue(m1, m2, h - 1.0 / 3.0);
    }
    *red = ClampChannel(r * 255.0);
    *green = ClampChannel(g * 255.0);
    *blue = ClampChannel(b * 255.0);
}

void ModulatePixels32(const qzModulateJob* job) { Modulate<uint32_t>(job); }
void ModulatePixels16(const qzModulateJob* job) { Modulate<uint16_t>(job); }
