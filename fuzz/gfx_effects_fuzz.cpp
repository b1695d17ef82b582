// Image effects with parameters a script controls: distortion argument lists, quantiser settings
// and pixels, ripple and swirl frames, and convolution radii and sigmas run on small pictures
// without reading or writing outside their buffers, dividing by zero or hanging.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/convolve.h"
#include "gfx/distort.h"
#include "gfx/quantize.h"
#include "gfx/ripple.h"
#include "gfx/swirl.h"
#include "gfx/wave_tables.h"
#include "platform/os_alloc.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size, pos = 0;
    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    int16_t Short() { return (int16_t)(Byte() | Byte() << 8); }
    // Mostly numbers of a sensible size, sometimes any bit pattern (NaN, infinities, huge).
    double Number() {
        if (Byte() & 0x80) {
            uint64_t bits = 0;
            for (int i = 0; i < 8; i++) bits = bits << 8 | Byte();
            double d;
            std::memcpy(&d, &bits, 8);
            return d;
        }
        return Short() / 64.0;
    }
};

const int kW = 12, kH = 9;

void Distort(Reader& r, const std::vector<uint32_t>& picture) {
    qzDistortJob job{};
    job.method = r.Byte() % 16;
    int count = r.Byte() % 21;
    std::vector<double> args(count);
    for (double& a : args) a = r.Number();
    job.args = args.data();
    job.argCount = count;
    job.sourceWidth = kW, job.sourceHeight = kH;
    job.sourcePixels = picture.data();
    job.sourceRowLength = kW, job.sourceBytesPerPixel = 4, job.sourceFormat = 10;
    std::vector<uint8_t> mask(2 * kH, 0xA5);
    if (r.Byte() & 1) job.sourceMask = mask.data(), job.sourceMaskBytesPerRow = 2;
    double* c = GenerateDistortCoefficients(&job);
    if (!c) return;
    if ((int64_t)job.destWidth * job.destHeight <= 40000) {
        std::vector<uint16_t> out((size_t)job.destWidth * job.destHeight);
        std::vector<uint8_t> alpha(out.size());
        job.destPixels = out.data(), job.destRowLength = job.destWidth;
        job.destBytesPerPixel = 2, job.destFormat = 4;
        job.destAlpha = alpha.data(), job.destAlphaBytesPerRow = job.destWidth;
        job.smooth = r.Byte() & 1;
        DistortPixels(&job, c);
    }
    OsFree(c);
}

void Quantize(Reader& r) {
    int bpp = 2 + r.Byte() % 3;
    int format = r.Byte() % 16;
    int w = 1 + r.Byte() % 40, h = 1 + r.Byte() % 20;
    std::vector<uint8_t> px((size_t)w * h * bpp);
    for (uint8_t& b : px) b = r.Byte() & (r.Byte() | 0x0F);
    std::vector<uint8_t> indices((size_t)w * h);
    uint32_t palette[256];
    qzQuantJob job{px.data(), format,       bpp,          w, h, w, indices.data(), palette, r.Byte() + 1,
                   -1,        r.Byte() & 1, r.Byte() & 1, 0, 0};
    if (r.Byte() & 1) job.transparent = (int32_t)(r.Byte() << 16 | r.Byte() << 8 | r.Byte());
    MedianCutQuantize(&job);
    if (job.success && (job.colors > 256 || job.colors < 0)) std::abort();
    if (job.success)
        for (uint8_t i : indices)
            if (i >= job.colors) std::abort();
}

void Waves(Reader& r, std::vector<uint32_t> picture) {
    std::vector<double> sine(kWaveTableSize), cosine(kWaveTableSize);
    std::vector<int32_t> dist(kW * kH);
    std::vector<uint8_t> mask(2 * kH), alpha(kW * kH), map(kW * kH);
    for (uint8_t& b : map) b = r.Byte();
    qzRippleJob rj{};
    rj.destination = picture.data(), rj.destRowLength = kW;
    rj.distances = dist.data(), rj.sine = sine.data();
    rj.wavelength = r.Number(), rj.amplitude = r.Number(), rj.amplitudeStep = r.Number();
    rj.halfDuration = r.Short();
    rj.width = kW, rj.height = kH, rj.format = 10;
    rj.destMask = mask.data(), rj.destMaskBytesPerRow = 2;
    rj.destAlpha = alpha.data(), rj.destAlphaBytesPerRow = kW;
    if (r.Byte() & 1) rj.alphaMap = map.data(), rj.alphaMapBytesPerRow = kW;
    rj.centerX = r.Short(), rj.centerY = r.Short(), rj.radius = r.Short();
    rj.phase = r.Number();
    BuildRippleTable(&rj);
    RipplePixels32(&rj, r.Short());
    qzSwirlJob sj{};
    sj.destination = picture.data(), sj.destRowLength = kW;
    sj.sine = sine.data(), sj.cosine = cosine.data();
    sj.format = 10, sj.width = kW, sj.height = kH;
    if (r.Byte() & 1) sj.alphaMap = map.data(), sj.alphaMapBytesPerRow = kW;
    sj.destAlpha = alpha.data(), sj.destAlphaBytesPerRow = kW;
    BuildSwirlTables(&sj);
    SwirlPixels32(&sj, (int)(int16_t)r.Short() * 3);
}

void Convolve(Reader& r, std::vector<uint32_t> picture) {
    static const char modes[4] = {'b', 's', 'e', 'g'};
    std::vector<uint8_t> alpha(kW * kH, 200);
    double radius = r.Number(), sigma = r.Number();
    // Widths a script could ask for but no picture needs are slow, not wrong: keep runs short.
    if (!(std::fabs(radius) < 40) || !(std::fabs(sigma) < 40)) return;
    qzConvolveJob job{(uint8_t*)picture.data(), kW, kH, kW, 10, 4, alpha.data(), kW, radius, sigma,
                      modes[r.Byte() % 4]};
    ConvolveBitMapPixels(&job);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader r{data, size};
    std::vector<uint32_t> picture(kW * kH);
    for (size_t i = 0; i < picture.size(); i++) picture[i] = (uint32_t)(i * 2654435761u);
    switch (r.Byte() % 4) {
    case 0: Distort(r, picture); break;
    case 1: Quantize(r); break;
    case 2: Waves(r, picture); break;
    default: Convolve(r, picture); break;
    }
    return 0;
}
