#include "gfx/distort.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "base/error_codes.h"
#include "gfx/channel_access.h"
#include "gfx/distort_matrix.h"
#include "gfx/mask_bits.h"
#include "platform/os_alloc.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kTwoPi = 2.0 * kPi;
const double kDegrees = kPi / 180.0;
// Output areas beyond this many pixels a side are refused as wrong arguments.
const double kMaxOutputSide = 1 << 20;

double RoundAway(double v) { return v < 0.0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5); }

double* NewCoefficients(qzDistortJob* job, int count) {
    double* c = (double*)OsAlloc(sizeof(double) * (size_t)count, 1);
    if (!c) job->error = ERR_MEM;
    return c;
}

double* Fail(qzDistortJob* job, double* c, int code) {
    OsFree(c);
    job->error = code;
    return nullptr;
}

// Affine fit: exactly one control point is a translation, more are fitted by least squares.
double* AffineFromPoints(qzDistortJob* job) {
    const double* a = job->args;
    int n = job->argCount;
    if (n < 4 || n % 4) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double* c = NewCoefficients(job, 6);
    if (!c) return nullptr;
    if (n == 4) {
        c[0] = c[4] = 1.0;
        c[2] = a[0] - a[2];
        c[5] = a[1] - a[3];
        return c;
    }
    double** m = AllocDistortMatrix(3, 3);
    double** v = AllocDistortMatrix(2, 3);
    if (!m || !v) {
        FreeDistortMatrix(m, 3);
        FreeDistortMatrix(v, 2);
        return Fail(job, c, ERR_MEM);
    }
    for (int i = 0; i < n; i += 4) {
        double terms[3] = {a[i + 2], a[i + 3], 1.0};
        double results[2] = {a[i], a[i + 1]};
        LeastSquaresAddTerms(m, v, terms, results, 3, 2);
    }
    int ok = GaussJordanEliminate(m, v, 3, 2);
    for (int k = 0; k < 3; k++) c[k] = v[0][k], c[3 + k] = v[1][k];
    FreeDistortMatrix(m, 3);
    FreeDistortMatrix(v, 2);
    if (!ok) return Fail(job, c, ERR_WRONGUSAGE);
    return c;
}

double* Perspective(qzDistortJob* job) {
    const double* a = job->args;
    int n = job->argCount;
    if (n % 4) return Fail(job, nullptr, ERR_WRONGUSAGE);
    if (n < 16) {
        job->method = DISTORT_AFFINE;
        return AffineFromPoints(job);
    }
    double* c = NewCoefficients(job, 9);
    if (!c) return nullptr;
    double** m = AllocDistortMatrix(8, 8);
    double** v = AllocDistortMatrix(1, 8);
    if (!m || !v) {
        FreeDistortMatrix(m, 8);
        FreeDistortMatrix(v, 1);
        return Fail(job, c, ERR_MEM);
    }
    for (int i = 0; i < n; i += 4) {
        double u = a[i], vv = a[i + 1], x = a[i + 2], y = a[i + 3];
        double t1[8] = {x, y, 1, 0, 0, 0, -x * u, -y * u};
        double t2[8] = {0, 0, 0, x, y, 1, -x * vv, -y * vv};
        LeastSquaresAddTerms(m, v, t1, &u, 8, 1);
        LeastSquaresAddTerms(m, v, t2, &vv, 8, 1);
    }
    int ok = GaussJordanEliminate(m, v, 8, 1);
    for (int k = 0; k < 8; k++) c[k] = v[0][k];
    FreeDistortMatrix(m, 8);
    FreeDistortMatrix(v, 1);
    if (!ok) return Fail(job, c, ERR_WRONGUSAGE);
    c[8] = (c[6] * a[2] + c[7] * a[3] + 1.0) >= 0.0 ? 1.0 : -1.0;
    return c;
}

double* ScaleRotateTranslate(qzDistortJob* job) {
    const double* a = job->args;
    int n = job->argCount;
    if (n < 1 || n > 7) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double x = job->sourceX + job->sourceWidth * 0.5, y = job->sourceY + job->sourceHeight * 0.5;
    double sx = 1.0, sy = 1.0, angle = 0.0;
    bool newCentre = false;
    double nx = 0, ny = 0;
    switch (n) {
    case 1: angle = a[0]; break;
    case 2: sx = sy = a[0], angle = a[1]; break;
    case 3: x = a[0], y = a[1], angle = a[2]; break;
    case 4: x = a[0], y = a[1], sx = sy = a[2], angle = a[3]; break;
    case 5: x = a[0], y = a[1], sx = a[2], sy = a[3], angle = a[4]; break;
    case 6: x = a[0], y = a[1], sx = sy = a[2], angle = a[3], nx = a[4], ny = a[5], newCentre = true; break;
    default: x = a[0], y = a[1], sx = a[2], sy = a[3], angle = a[4], nx = a[5], ny = a[6], newCentre = true; break;
    }
    if (!newCentre) nx = x, ny = y;
    if (!(std::fabs(sx) >= 1e-6) || !(std::fabs(sy) >= 1e-6)) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double* c = NewCoefficients(job, 6);
    if (!c) return nullptr;
    double cs = std::cos(angle * kDegrees), sn = std::sin(angle * kDegrees);
    c[0] = cs / sx;
    c[1] = sn / sx;
    c[3] = -sn / sy;
    c[4] = cs / sy;
    c[2] = x - nx * c[0] - ny * c[1];
    c[5] = y - nx * c[3] - ny * c[4];
    job->method = DISTORT_AFFINE;
    return c;
}

double* Arc(qzDistortJob* job) {
    const double* a = job->args;
    int n = job->argCount;
    if (n > 4) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double arcAngle = n >= 1 ? a[0] : 90.0;
    double rotation = n >= 2 ? a[1] : 0.0;
    if (!(arcAngle >= 1e-6)) return Fail(job, nullptr, ERR_WRONGUSAGE);
    if (n >= 3 && !(a[2] >= 1e-6)) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double* c = NewCoefficients(job, 5);
    if (!c) return nullptr;
    double W = job->sourceWidth, H = job->sourceHeight;
    c[0] = -kPi / 2.0 + rotation * kDegrees;
    c[0] -= RoundAway(c[0] / kTwoPi) * kTwoPi;
    c[1] = arcAngle * kDegrees;
    c[3] = H - 1.0;
    c[2] = W / c[1] + c[3] / 2.0;
    if (n >= 3) {
        double previous = c[2];
        c[2] = a[2];
        c[3] = n >= 4 ? a[2] - a[3] : c[3] * (a[2] / previous);
    }
    c[4] = (W - 1.0) / 2.0;
    // The radial scale divides by the ring's thickness: a ring of no thickness maps nothing.
    if (!(std::fabs(c[3]) >= 1e-6)) return Fail(job, c, ERR_WRONGUSAGE);
    return c;
}

double* Polar(qzDistortJob* job) {
    const double* a = job->args;
    int n = job->argCount;
    bool polar = job->method == DISTORT_POLAR;
    if (n == 3 || n > (polar ? 6 : 8)) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double W = job->sourceWidth, H = job->sourceHeight, x0 = job->sourceX, y0 = job->sourceY;
    double* c = NewCoefficients(job, 8);
    if (!c) return nullptr;
    c[0] = n >= 1 ? a[0] : 0.0;
    c[1] = n >= 2 ? a[1] : 0.0;
    c[2] = n >= 4 ? a[2] : x0 + W / 2.0;
    c[3] = n >= 4 ? a[3] : y0 + H / 2.0;
    c[4] = n >= 5 ? a[4] * kDegrees : -kPi;
    c[5] = n >= 6 ? a[5] * kDegrees : c[4];
    if (std::fabs(c[5] - c[4]) < 1e-6) c[5] = c[4] + kTwoPi;
    if (c[0] == 0.0) {
        double d[4] = {c[2] - x0, x0 + W - c[2], c[3] - y0, y0 + H - c[3]};
        for (double v : d)
            if (v > c[0]) c[0] = v;
    } else if (c[0] == -1.0) {
        double dx = std::fmax(std::fabs(c[2] - x0), std::fabs(x0 + W - c[2]));
        double dy = std::fmax(std::fabs(c[3] - y0), std::fabs(y0 + H - c[3]));
        c[0] = std::sqrt(dx * dx + dy * dy);
    }
    if (!(c[0] >= 1e-6) || !(c[1] >= -1e-6) || !(c[0] - c[1] >= 1e-6)) return Fail(job, c, ERR_WRONGUSAGE);
    if (polar) {
        c[6] = W / (c[5] - c[4]);
        c[7] = H / (c[0] - c[1]);
    } else {
        c[6] = (c[5] - c[4]) / W;
        c[7] = (c[0] - c[1]) / H;
    }
    return c;
}

double* Barrel(qzDistortJob* job) {
    const double* a = job->args;
    int n = job->argCount;
    if (n != 4 && n != 6 && n != 8 && n != 10) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double* c = NewCoefficients(job, 10);
    if (!c) return nullptr;
    double W = job->sourceWidth, H = job->sourceHeight;
    double r = 2.0 / (W < H ? W : H);
    const double* ay = (n >= 8) ? a + 4 : a;
    c[0] = a[0] * r * r * r, c[1] = a[1] * r * r, c[2] = a[2] * r, c[3] = a[3];
    c[4] = ay[0] * r * r * r, c[5] = ay[1] * r * r, c[6] = ay[2] * r, c[7] = ay[3];
    if (n == 6 || n == 10) {
        c[8] = a[n - 2], c[9] = a[n - 1];
    } else {
        c[8] = job->sourceX + (W - 1.0) / 2.0;
        c[9] = job->sourceY + (H - 1.0) / 2.0;
    }
    return c;
}

double* Shepards(qzDistortJob* job) {
    int n = job->argCount;
    if (n < 4 || n % 4) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double* c = NewCoefficients(job, n);
    if (c) std::memcpy(c, job->args, sizeof(double) * (size_t)n);
    return c;
}

struct Box {
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    void Add(double x, double y) {
        if (x < x0) x0 = x;
        if (x > x1) x1 = x;
        if (y < y0) y0 = y;
        if (y > y1) y1 = y;
    }
};

// Forward-maps the source corners (affine or perspective) for the output area. False when a
// corner lies beyond the horizon.
bool ForwardCornerBox(const qzDistortJob* job, const double* c, Box* box) {
    double x0 = job->sourceX, y0 = job->sourceY, x1 = x0 + job->sourceWidth, y1 = y0 + job->sourceHeight;
    double corners[4][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}};
    double f[8];
    if (job->method == DISTORT_AFFINE) {
        InvertAffineCoefficients(c, f);
        f[6] = f[7] = 0.0;
    } else {
        InvertPerspectiveCoefficients(c, f);
    }
    for (auto& p : corners) {
        double w = f[6] * p[0] + f[7] * p[1] + 1.0;
        if (!(std::fabs(w) > 1e-12)) return false;
        if (job->method == DISTORT_PERSPECTIVE && w * c[8] < 0.0) return false;
        box->Add((f[0] * p[0] + f[1] * p[1] + f[2]) / w, (f[3] * p[0] + f[4] * p[1] + f[5]) / w);
    }
    return true;
}

bool SetOutputArea(qzDistortJob* job, const Box& b) {
    double left = std::floor(b.x0 + 1e-6), top = std::floor(b.y0 + 1e-6);
    double right = std::ceil(b.x1 - 1e-6), bottom = std::ceil(b.y1 - 1e-6);
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) || !std::isfinite(bottom)) return false;
    if (right - left > kMaxOutputSide || bottom - top > kMaxOutputSide) return false;
    if (std::fabs(left) > kMaxOutputSide || std::fabs(top) > kMaxOutputSide) return false;
    job->destX = (int)left, job->destY = (int)top;
    job->destWidth = (int)(right - left), job->destHeight = (int)(bottom - top);
    if (job->destWidth < 1) job->destWidth = 1;
    if (job->destHeight < 1) job->destHeight = 1;
    return true;
}

}  // namespace

double* GenerateDistortCoefficients(qzDistortJob* job) {
    job->error = 0;
    job->destX = job->sourceX, job->destY = job->sourceY;
    job->destWidth = job->sourceWidth, job->destHeight = job->sourceHeight;
    if (job->argCount < 0 || (job->argCount > 0 && !job->args)) return Fail(job, nullptr, ERR_WRONGUSAGE);
    if (job->sourceWidth < 1 || job->sourceHeight < 1) return Fail(job, nullptr, ERR_WRONGUSAGE);
    for (int i = 0; i < job->argCount; i++)
        if (!std::isfinite(job->args[i])) return Fail(job, nullptr, ERR_WRONGUSAGE);
    double* c = nullptr;
    switch (job->method) {
    case DISTORT_AFFINE: c = AffineFromPoints(job); break;
    case DISTORT_AFFINE_PROJECTION:
        if (job->argCount != 6) return Fail(job, nullptr, ERR_WRONGUSAGE);
        if (!(c = NewCoefficients(job, 6))) return nullptr;
        InvertAffineCoefficients(job->args, c);
        job->method = DISTORT_AFFINE;
        break;
    case DISTORT_SCALE_ROTATE_TRANSLATE: c = ScaleRotateTranslate(job); break;
    case DISTORT_PERSPECTIVE: c = Perspective(job); break;
    case DISTORT_PERSPECTIVE_PROJECTION:
        if (job->argCount != 8) return Fail(job, nullptr, ERR_WRONGUSAGE);
        if (!(c = NewCoefficients(job, 9))) return nullptr;
        InvertPerspectiveCoefficients(job->args, c);
        c[8] = (c[6] * job->args[2] + c[7] * job->args[5] + 1.0) >= 0.0 ? 1.0 : -1.0;
        job->method = DISTORT_PERSPECTIVE;
        break;
    case DISTORT_ARC: c = Arc(job); break;
    case DISTORT_POLAR:
    case DISTORT_DEPOLAR: c = Polar(job); break;
    case DISTORT_BARREL:
    case DISTORT_BARREL_INVERSE: c = Barrel(job); break;
    case DISTORT_SHEPARDS: c = Shepards(job); break;
    default:
        // Bilinear and polynomial fits have no coefficient formula: no command reaches them.
        return Fail(job, nullptr, ERR_WRONGUSAGE);
    }
    if (!c) return nullptr;
    int fitted = job->method == DISTORT_AFFINE ? 6 : (job->method == DISTORT_PERSPECTIVE ? 9 : 0);
    for (int i = 0; i < fitted; i++)
        if (!std::isfinite(c[i])) return Fail(job, c, ERR_WRONGUSAGE);

    Box box;
    bool area = true;
    if (job->method == DISTORT_AFFINE || job->method == DISTORT_PERSPECTIVE) {
        if (ForwardCornerBox(job, c, &box)) area = SetOutputArea(job, box);
    } else if (job->method == DISTORT_ARC) {
        double r0 = c[2], r1 = c[2] - c[3];
        double lo = c[0] - c[1] / 2.0, hi = c[0] + c[1] / 2.0;
        for (double r : {r0, r1}) {
            box.Add(r * std::cos(lo), r * std::sin(lo));
            box.Add(r * std::cos(hi), r * std::sin(hi));
        }
        // The outer radius at each multiple of pi/2 inside the span: every such direction is
        // one of four, whatever the span's size.
        for (int k = 0; k < 4; k++) {
            double q = k * kPi / 2.0;
            q += std::ceil((lo - q) / kTwoPi) * kTwoPi;
            if (hi - lo >= kTwoPi || q <= hi) box.Add(r0 * std::cos(k * kPi / 2.0), r0 * std::sin(k * kPi / 2.0));
        }
        area = SetOutputArea(job, box);
        c[1] = job->sourceWidth * kTwoPi / c[1];
        c[3] = job->sourceHeight / c[3];
    } else if (job->method == DISTORT_POLAR) {
        if (job->argCount <= 1) {
            c[2] = c[3] = 0.0;
            c[7] = job->sourceHeight / (c[0] - c[1]);
        }
        box.Add(c[2] - c[0], c[3] - c[0]);
        box.Add(c[2] + c[0], c[3] + c[0]);
        area = SetOutputArea(job, box);
    } else if (job->method == DISTORT_DEPOLAR) {
        job->destX = job->destY = 0;
    }
    if (!area) return Fail(job, c, ERR_WRONGUSAGE);
    return c;
}

namespace {

// The source point of destination pixel (i, j) at page point (X, Y), with the partial
// derivatives of the mapping for the smooth sampler. False where the mapping is not valid.
struct Mapped {
    double sx, sy;
    double dux, duy, dvx, dvy;
};

bool MapPoint(const qzDistortJob* job, const double* c, int i, int j, Mapped* m) {
    double X = i + 0.5 + job->destX, Y = j + 0.5 + job->destY;
    m->dux = 1.0, m->duy = 0.0, m->dvx = 0.0, m->dvy = 1.0;
    switch (job->method) {
    case DISTORT_AFFINE:
        m->sx = c[0] * X + c[1] * Y + c[2];
        m->sy = c[3] * X + c[4] * Y + c[5];
        m->dux = c[0], m->duy = c[1], m->dvx = c[3], m->dvy = c[4];
        break;
    case DISTORT_PERSPECTIVE: {
        double w = c[6] * X + c[7] * Y + 1.0;
        double validity = w * c[8] < 0.0 ? 0.0 : 1.0;
        double a6 = std::fabs(c[6]), a7 = std::fabs(c[7]);
        double big = a6 > a7 ? c[6] : c[7];
        if (2.0 * std::fabs(w) < std::fabs(big)) validity = 0.5 - w * c[8] / big;
        if (!(validity > 0.0) || w == 0.0) return false;
        double p = c[0] * X + c[1] * Y + c[2], q = c[3] * X + c[4] * Y + c[5];
        m->sx = p / w;
        m->sy = q / w;
        double w2 = w * w;
        m->dux = (c[0] * w - p * c[6]) / w2, m->duy = (c[1] * w - p * c[7]) / w2;
        m->dvx = (c[3] * w - q * c[6]) / w2, m->dvy = (c[4] * w - q * c[7]) / w2;
        break;
    }
    case DISTORT_ARC: {
        double a = (std::atan2(Y, X) - c[0]) / kTwoPi;
        a -= RoundAway(a);
        double r = std::hypot(X, Y);
        m->sx = a * c[1] + c[4] + job->sourceX + 0.5;
        m->sy = (c[2] - r) * c[3] + job->sourceY;
        m->dux = c[1] / (kTwoPi * r), m->duy = 0.0, m->dvx = 0.0, m->dvy = c[3];
        break;
    }
    case DISTORT_POLAR: {
        double a = (std::atan2(X - c[2], Y - c[3]) - (c[4] + c[5]) / 2.0) / kTwoPi;
        a -= RoundAway(a);
        double r = std::hypot(X - c[2], Y - c[3]);
        m->sx = a * kTwoPi * c[6] + job->sourceWidth / 2.0 + job->sourceX;
        m->sy = (r - c[1]) * c[7] + job->sourceY;
        m->dux = c[6] / (kTwoPi * r), m->duy = 0.0, m->dvx = 0.0, m->dvy = c[7];
        break;
    }
    case DISTORT_DEPOLAR: {
        double phi = (i + 0.5) * c[6] - c[4], rho = (j + 0.5) * c[7] + c[1];
        double sn = std::sin(phi), cs = std::cos(phi);
        m->sx = rho * sn + c[2];
        m->sy = rho * cs + c[3];
        m->dux = rho * cs * c[6], m->duy = sn * c[7], m->dvx = -rho * sn * c[6], m->dvy = cs * c[7];
        break;
    }
    case DISTORT_BARREL:
    case DISTORT_BARREL_INVERSE: {
        double dx = X - c[8], dy = Y - c[9];
        double r = std::sqrt(dx * dx + dy * dy);
        bool inverse = job->method == DISTORT_BARREL_INVERSE;
        if (r <= 1e-6) {
            // At the centre the radial factors are constant: the point maps to itself.
            m->sx = X, m->sy = Y;
            m->dux = inverse ? 1.0 / c[3] : c[3];
            m->dvy = inverse ? 1.0 / c[7] : c[7];
            break;
        }
        double fx = ((c[0] * r + c[1]) * r + c[2]) * r + c[3];
        double fy = ((c[4] * r + c[5]) * r + c[6]) * r + c[7];
        double gx = ((3 * c[0] * r + 2 * c[1]) * r + c[2]) / r;
        double gy = ((3 * c[4] * r + 2 * c[5]) * r + c[6]) / r;
        if (inverse) {
            fx = 1.0 / fx, fy = 1.0 / fy;
            gx *= -fx * fx, gy *= -fy * fy;
        }
        m->sx = fx * dx + c[8];
        m->sy = fy * dy + c[9];
        m->dux = gx * dx * dx + fx, m->duy = gx * dx * dy;
        m->dvx = gy * dx * dy, m->dvy = gy * dy * dy + fy;
        break;
    }
    case DISTORT_SHEPARDS: {
        double sw = 0.0, su = 0.0, sv = 0.0;
        for (int k = 0; k + 3 < job->argCount; k += 4) {
            double ddx = X - c[k + 2], ddy = Y - c[k + 3];
            double d2 = ddx * ddx + ddy * ddy;
            double w = d2 == 0.0 ? 1.0 : 1.0 / d2;
            sw += w;
            su += w * (c[k] - c[k + 2]);
            sv += w * (c[k + 1] - c[k + 3]);
        }
        m->sx = X + su / sw;
        m->sy = Y + sv / sw;
        break;
    }
    default: return false;
    }
    m->sx -= 0.5 + job->sourceX;
    m->sy -= 0.5 + job->sourceY;
    return std::isfinite(m->sx) && std::isfinite(m->sy);
}

struct Sample {
    double r, g, b, a;
};

// Colour and alpha of source pixel (x, y): alpha from the alpha channel, 255 or 0 from the mask,
// 255 without either; outside the source transparent black.
Sample SourceSample(const qzDistortJob* job, int x, int y) {
    Sample s{0, 0, 0, 0};
    if (x < 0 || y < 0 || x >= job->sourceWidth || y >= job->sourceHeight) return s;
    if (job->sourceAlpha)
        s.a = job->sourceAlpha[(size_t)y * job->sourceAlphaBytesPerRow + x];
    else if (job->sourceMask)
        s.a = GetMaskBit(RowAt(job->sourceMask, y, job->sourceMaskBytesPerRow), x) ? 255 : 0;
    else
        s.a = 255;
    if (s.a == 0) return s;
    int rgb[3];
    const uint8_t* p =
        (const uint8_t*)job->sourcePixels + ((size_t)y * job->sourceRowLength + x) * job->sourceBytesPerPixel;
    if (job->sourceBytesPerPixel == 3) {
        bool bgr = job->sourceFormat == 9;
        rgb[0] = p[bgr ? 2 : 0], rgb[1] = p[1], rgb[2] = p[bgr ? 0 : 2];
    } else {
        UnpackPixelAt(p, job->sourceBytesPerPixel, job->sourceFormat, rgb);
    }
    s.r = rgb[0], s.g = rgb[1], s.b = rgb[2];
    return s;
}

Sample Bilinear(const qzDistortJob* job, double sx, double sy) {
    double fx0 = std::floor(sx), fy0 = std::floor(sy);
    if (!(std::fabs(fx0) < 1e9) || !(std::fabs(fy0) < 1e9)) return Sample{0, 0, 0, 0};
    int x = (int)fx0, y = (int)fy0;
    double fx = sx - fx0, fy = sy - fy0;
    Sample p[4] = {SourceSample(job, x, y), SourceSample(job, x + 1, y), SourceSample(job, x, y + 1),
                   SourceSample(job, x + 1, y + 1)};
    double w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
    Sample out{0, 0, 0, 0};
    for (int k = 0; k < 4; k++) {
        double wa = w[k] * p[k].a;
        out.r += wa * p[k].r, out.g += wa * p[k].g, out.b += wa * p[k].b;
        out.a += wa;
    }
    if (out.a > 1e-6) out.r /= out.a, out.g /= out.a, out.b /= out.a;
    return out;
}

struct WeightTable {
    double w[1024];
    WeightTable() {
        for (int i = 0; i < 1024; i++) w[i] = std::exp(-i * 0.0027076061740622863);
    }
};

// Elliptical weighted average around (sx, sy); false when the ellipse lies outside the source.
bool Ewa(const qzDistortJob* job, const WeightTable& table, const Mapped& m, Sample* out) {
    double A = m.dvx * m.dvx + m.dvy * m.dvy + 1.0;
    double B = -2.0 * (m.dux * m.dvx + m.duy * m.dvy);
    double C = m.dux * m.dux + m.duy * m.duy + 1.0;
    double F = A * C - B * B / 4.0;
    double pixels = (double)job->sourceWidth * job->sourceHeight;
    if (!(F > 4.0) || F > 1e6 || 4.0 * (std::sqrt(A) + 1.0) * (std::sqrt(F / A) + 1.0) > 20.0 * pixels) {
        *out = Bilinear(job, m.sx, m.sy);
        return true;
    }
    double uExtent = std::sqrt(C) + 1.0, vExtent = std::sqrt(A) + 1.0;
    double u0 = std::ceil(m.sx - uExtent), u1 = std::floor(m.sx + uExtent);
    double v0 = std::ceil(m.sy - vExtent), v1 = std::floor(m.sy + vExtent);
    if (u1 < 0 || v1 < 0 || u0 >= job->sourceWidth || v0 >= job->sourceHeight) return false;
    double scale = 1024.0 / F;
    double a = A * scale, b = B * scale, cc = C * scale;
    double sum[4] = {0, 0, 0, 0}, weights = 0.0;
    int contributions = 0;
    for (int v = (int)v0; v <= (int)v1; v++) {
        double V = v - m.sy;
        for (int u = (int)u0; u <= (int)u1; u++) {
            double U = u - m.sx;
            double Q = a * U * U + b * U * V + cc * V * V;
            if (!(Q < 1024.0) || Q < 0.0) continue;
            double w = table.w[(int)Q];
            contributions++;
            weights += w;
            Sample s = SourceSample(job, u, v);
            double wa = w * s.a;
            sum[0] += wa * s.r, sum[1] += wa * s.g, sum[2] += wa * s.b, sum[3] += wa;
        }
    }
    if (contributions > 3 && weights >= 1.0) {
        // Colours are weighted by their alpha as in the bilinear path, so transparent pixels in
        // the ellipse thin the alpha without darkening the colour.
        double alphaSum = sum[3];
        if (alphaSum > 1e-6)
            *out = Sample{sum[0] / alphaSum, sum[1] / alphaSum, sum[2] / alphaSum, alphaSum / weights};
        else
            *out = Sample{0, 0, 0, 0};
        return true;
    }
    *out = Bilinear(job, m.sx, m.sy);
    return true;
}

void WriteDestPixel(const qzDistortJob* job, uint8_t* p, int r, int g, int b) {
    int bpp = job->destBytesPerPixel;
    if (bpp == 3) {
        bool bgr = job->destFormat == 9;
        p[0] = (uint8_t)(bgr ? b : r), p[1] = (uint8_t)g, p[2] = (uint8_t)(bgr ? r : b);
    } else {
        int rgb[3] = {r, g, b};
        PackPixelAt(p, bpp, job->destFormat, rgb);
    }
}

void SetDestMaskBit(const qzDistortJob* job, int x, int y) {
    SetMaskBit(RowAt(job->destMask, y, job->destMaskBytesPerRow), x);
}

}  // namespace

void DistortPixels(qzDistortJob* job, const double* c) {
    if (!job || !c || !job->destPixels || !job->sourcePixels) return;
    int sb = job->sourceBytesPerPixel, db = job->destBytesPerPixel;
    if (sb < 2 || sb > 4 || db < 2 || db > 4) return;
    // The nearest sampler copies whole pixels between equal layouts and converts otherwise.
    bool sameLayout = sb == db && job->sourceFormat == job->destFormat;
    static const WeightTable table;
    for (int j = 0; j < job->destHeight; j++) {
        uint8_t* row = (uint8_t*)job->destPixels + (size_t)j * job->destRowLength * db;
        for (int i = 0; i < job->destWidth; i++) {
            uint8_t* out = row + (size_t)i * db;
            Mapped m;
            bool valid = MapPoint(job, c, i, j, &m);
            if (!job->smooth) {
                // A hair above the point, so that a fitted mapping that lands a rounding error
                // short of a pixel's corner still picks that pixel.
                double tx = std::trunc(m.sx + 1e-9), ty = std::trunc(m.sy + 1e-9);
                if (!valid || tx < 0 || ty < 0 || tx >= job->sourceWidth || ty >= job->sourceHeight) {
                    std::memset(out, 0, db);
                    continue;
                }
                int x = (int)tx, y = (int)ty;
                const uint8_t* in = (const uint8_t*)job->sourcePixels + ((size_t)y * job->sourceRowLength + x) * sb;
                if (sameLayout) {
                    std::memcpy(out, in, db);
                } else {
                    Sample s = SourceSample(job, x, y);
                    WriteDestPixel(job, out, (int)s.r, (int)s.g, (int)s.b);
                }
                if (job->destMask) {
                    if (!job->sourceMask || GetMaskBit(RowAt(job->sourceMask, y, job->sourceMaskBytesPerRow), x))
                        SetDestMaskBit(job, i, j);
                } else if (job->destAlpha) {
                    job->destAlpha[(size_t)j * job->destAlphaBytesPerRow + i] =
                        job->sourceAlpha ? job->sourceAlpha[(size_t)y * job->sourceAlphaBytesPerRow + x] : 255;
                }
                continue;
            }
            Sample s;
            if (!valid || !Ewa(job, table, m, &s)) {
                std::memset(out, 0, db);
                continue;
            }
            // Averages are rounded to the nearest value: a run of equal colours keeps its colour.
            WriteDestPixel(job, out, ClampChannel(s.r + 0.5), ClampChannel(s.g + 0.5), ClampChannel(s.b + 0.5));
            int a = ClampChannel(s.a + 0.5);
            if (job->destAlpha)
                job->destAlpha[(size_t)j * job->destAlphaBytesPerRow + i] = (uint8_t)a;
            else if (job->destMask && a != 0)
                SetDestMaskBit(job, i, j);
        }
    }
}
