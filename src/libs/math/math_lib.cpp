// The math command library (see math_lib.h).
#include "libs/math/math_lib.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "base/error_codes.h"
#include "platform/os_time.h"
#include "runtime/arg_check.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr double DEGREE = 0.017453292519943295;

uint32_t CheckU32(VmState* state, int index) { return static_cast<uint32_t>(VmCheckInteger(state, index)); }
int32_t CheckInt(VmState* state, int index) { return MathToInt(VmCheckNumber(state, index)); }

int PushResult(VmState* state, double x) {
    VmPushNumber(state, x);
    return 1;
}

uint32_t WidthMask(int bits) { return bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }

// Plain shifts that give 0 for counts of 32 and more (the count taken as unsigned).
uint32_t PlainLeft(uint32_t x, uint32_t n) { return n >= 32 ? 0 : x << n; }
uint32_t PlainRight(uint32_t x, uint32_t n) { return n >= 32 ? 0 : x >> n; }

// ---------------------------------------------------------------------------------------------
// Functions of one or two numbers

template <double (*F)(double)>
int Unary(VmState* state) {
    return PushResult(state, F(VmCheckNumber(VmCheckArgCount(state, 1, 1, 0, 0), 1)));
}

double Fabs(double x) { return std::fabs(x); }
double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }
double Asin(double x) { return std::asin(x); }
double Acos(double x) { return std::acos(x); }
double Atan(double x) { return std::atan(x); }
double Ceil(double x) { return std::ceil(x); }
double Floor(double x) { return std::floor(x); }
double Sqrt(double x) { return std::sqrt(x); }
double Ln(double x) { return std::log(x); }
double Exp(double x) { return std::exp(x); }
double Ld(double x) { return std::log10(x) / std::log10(2.0); }
double Deg(double x) { return x / DEGREE; }
double Rad(double x) { return x * DEGREE; }
double Int(double x) { return MathToInt(x); }
double Frac(double x) {
    double whole;
    return std::modf(x, &whole);
}
double Sgn(double x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }
// Rounds in the current rounding mode, then saturates like every integer conversion.
double Round(double x) { return MathToInt(std::nearbyint(x)); }

template <double (*F)(double, double)>
int Binary(VmState* state) {
    VmCheckArgCount(state, 2, 2, 0, 0);
    double a = VmCheckNumber(state, 1);
    double b = VmCheckNumber(state, 2);
    return PushResult(state, F(a, b));
}

double Atan2(double y, double x) { return std::atan2(y, x); }
double Pow(double x, double y) { return std::pow(x, y); }
double Hypot(double x, double y) { return std::hypot(x, y); }
double Log(double x, double base) { return std::log10(x) / std::log10(base); }
double Add(double a, double b) { return a + b; }
double Sub(double a, double b) { return a - b; }
double Mul(double a, double b) { return a * b; }

int MathMod(VmState* state) {
    double a = VmCheckNumber(state, 1);
    double b = VmCheckNumber(state, 2);
    if (b == 0) return ERR_ZERODIVISION;
    return PushResult(state, std::fmod(a, b));
}

int MathDiv(VmState* state) {
    double a = VmCheckNumber(state, 1);
    double b = VmCheckNumber(state, 2);
    if (b == 0) return ERR_ZERODIVISION;
    return PushResult(state, a / b);
}

int MathRt(VmState* state) {
    double x = VmCheckNumber(state, 1);
    double n = VmCheckNumber(state, 2);
    if (n == 0) return ERR_ZERODIVISION;
    if (n < 0) return ERR_WRONGUSAGE;
    return PushResult(state, std::pow(x, 1.0 / n));
}

// Smallest (wantMax false) or largest of two or more numbers; a later value replaces the current
// one only when it compares strictly, so ties and NaN arguments keep the earlier value.
int MinMax(VmState* state, bool wantMax) {
    VmCheckArgCount(state, 2, 0, 0, 0);
    int n = VmGetTop(state);
    double best = VmCheckNumber(state, 1);
    for (int i = 2; i <= n; i++) {
        double v = VmCheckNumber(state, i);
        if (wantMax ? v > best : v < best) best = v;
    }
    return PushResult(state, best);
}
int MathMin(VmState* state) { return MinMax(state, false); }
int MathMax(VmState* state) { return MinMax(state, true); }

int MathFrExp(VmState* state) {
    double x = VmCheckNumber(state, 1);
    int e = 0;
    double m = std::frexp(x, &e);
    VmPushNumber(state, m);
    VmPushNumber(state, e);
    return 2;
}

int MathLdExp(VmState* state) {
    double m = VmCheckNumber(state, 1);
    int32_t e = CheckInt(state, 2);
    return PushResult(state, std::ldexp(m, e));
}

int MathRnd(VmState* state) {
    double n = VmCheckNumber(state, 1);
    if (n < 0) return ERR_WRONGUSAGE;
    return PushResult(state, MathToInt(drand48() * n));
}

int MathRndF(VmState* state) { return PushResult(state, drand48()); }

int MathWrap(VmState* state) {
    double x = VmCheckNumber(state, 1);
    double low = VmCheckNumber(state, 2);
    double high = VmCheckNumber(state, 3);
    if (x < low) return PushResult(state, high + (x - low));
    if (x >= high) return PushResult(state, low + (x - high));
    return PushResult(state, x);
}

int MathLimit(VmState* state) {
    double x = VmCheckNumber(state, 1);
    double low = VmCheckNumber(state, 2);
    double high = VmCheckNumber(state, 3);
    if (x < low) return PushResult(state, low);
    if (x > high) return PushResult(state, high);
    return PushResult(state, x);
}

// ---------------------------------------------------------------------------------------------
// Bit operations

int MathShl(VmState* state) {
    uint32_t x = CheckU32(state, 1);
    return PushResult(state, MathShiftLeft(x, CheckInt(state, 2)));
}

int MathShr(VmState* state) {
    uint32_t x = CheckU32(state, 1);
    return PushResult(state, MathShiftRight(x, CheckInt(state, 2)));
}

int MathSar(VmState* state) {
    int32_t x = static_cast<int32_t>(CheckU32(state, 1));
    return PushResult(state, MathShiftArith(x, CheckInt(state, 2)));
}

// Reads a bit number 0..31 (taken as unsigned, so negative numbers are refused).
bool CheckBitNumber(VmState* state, int index, uint32_t* bit) {
    *bit = CheckU32(state, index);
    return *bit <= 31;
}

int MathBitSet(VmState* state) {
    uint32_t x = CheckU32(state, 1);
    uint32_t bit;
    if (!CheckBitNumber(state, 2, &bit)) return ERR_WRONGUSAGE;
    return PushResult(state, x | (1u << bit));
}

int MathBitClear(VmState* state) {
    uint32_t x = CheckU32(state, 1);
    uint32_t bit;
    if (!CheckBitNumber(state, 2, &bit)) return ERR_WRONGUSAGE;
    return PushResult(state, x & ~(1u << bit));
}

int MathBitTest(VmState* state) {
    uint32_t x = CheckU32(state, 1);
    uint32_t bit;
    if (!CheckBitNumber(state, 2, &bit)) return ERR_WRONGUSAGE;
    return PushResult(state, (x >> bit) & 1u);
}

int MathBitXor(VmState* state) {
    uint32_t a = CheckU32(state, 1);
    uint32_t b = CheckU32(state, 2);
    return PushResult(state, a ^ b);
}

int MathBitComplement(VmState* state) { return PushResult(state, ~CheckU32(state, 1)); }

int Rotate(VmState* state, bool right) {
    VmCheckArgCount(state, 2, 3, 0, 0);
    uint32_t x = CheckU32(state, 1);
    int32_t n = CheckInt(state, 2);
    int bits = MathWidthBits(VmOptInteger(state, 3, QZ_WIDTH_INTEGER));
    if (!bits) return ERR_WRONGUSAGE;
    return PushResult(state, right ? MathRotateRight(x, n, bits) : MathRotateLeft(x, n, bits));
}
int MathRor(VmState* state) { return Rotate(state, true); }
int MathRol(VmState* state) { return Rotate(state, false); }

int MathCast(VmState* state) {
    uint32_t x = CheckU32(state, 1);
    bool isSigned = VmCheckNumber(state, 2) != 0;
    int bits = MathWidthBits(VmCheckInteger(state, 3));
    if (!bits) return ERR_WRONGUSAGE;
    uint32_t v = x & WidthMask(bits);
    if (isSigned && bits < 32 && (v >> (bits - 1)) & 1u) v |= ~WidthMask(bits);
    return PushResult(state, isSigned ? static_cast<double>(static_cast<int32_t>(v)) : static_cast<double>(v));
}

int MathEndianSwap(VmState* state) {
    uint32_t x = CheckU32(state, 1);
    int32_t bits = VmCheckInteger(state, 2);
    if (bits == 16) return PushResult(state, ((x & 0xFFu) << 8) | ((x >> 8) & 0xFFu));
    if (bits == 32) return PushResult(state, (x << 24) | ((x & 0xFF00u) << 8) | ((x >> 8) & 0xFF00u) | (x >> 24));
    return ERR_WRONGUSAGE;
}

const qzCommandRow mathCommands[] = {
    {"Abs", Unary<Fabs>},
    {"ACos", Unary<Acos>},
    {"Add", Binary<Add>},
    {"ASin", Unary<Asin>},
    {"ATan", Unary<Atan>},
    {"ATan2", Binary<Atan2>},
    {"BitClear", MathBitClear, 2, 2},
    {"BitComplement", MathBitComplement, 1, 1},
    {"BitSet", MathBitSet, 2, 2},
    {"BitTest", MathBitTest, 2, 2},
    {"BitXor", MathBitXor, 2, 2},
    {"Cast", MathCast, 3, 3},
    {"Ceil", Unary<Ceil>},
    {"Cos", Unary<Cos>},
    {"Deg", Unary<Deg>},
    {"Div", MathDiv, 2, 2},
    {"EndianSwap", MathEndianSwap, 2, 2},
    {"Exp", Unary<Exp>},
    {"Floor", Unary<Floor>},
    {"Frac", Unary<Frac>},
    {"FrExp", MathFrExp, 1, 1},
    {"Hypot", Binary<Hypot>},
    {"Int", Unary<Int>},
    {"Ld", Unary<Ld>},
    {"LdExp", MathLdExp, 2, 2},
    {"Limit", MathLimit, 3, 3},
    {"Ln", Unary<Ln>},
    {"Log", Binary<Log>},
    {"Max", MathMax},
    {"Min", MathMin},
    {"Mod", MathMod, 2, 2},
    {"Mul", Binary<Mul>},
    {"Pow", Binary<Pow>},
    {"Rad", Unary<Rad>},
    {"Rnd", MathRnd, 1, 1},
    {"RndF", MathRndF, 0, 0},
    {"Rol", MathRol},
    {"Ror", MathRor},
    {"Round", Unary<Round>},
    {"Rt", MathRt, 2, 2},
    {"Sar", MathSar, 2, 2},
    {"Sgn", Unary<Sgn>},
    {"Shl", MathShl, 2, 2},
    {"Shr", MathShr, 2, 2},
    {"Sin", Unary<Sin>},
    {"Sqrt", Unary<Sqrt>},
    {"Sub", Binary<Sub>},
    {"Tan", Unary<Tan>},
    {"Wrap", MathWrap, 3, 3},
    {nullptr, nullptr},
};

const qzConstantRow mathConstants[] = {
    {"PI", nullptr, 3.141592653589793},
    {nullptr, nullptr, 0},
};

}  // namespace

int32_t MathToInt(double x) {
    if (std::isnan(x)) return INT32_MIN;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(x);
}

uint32_t MathShiftLeft(uint32_t x, int32_t n) { return PlainLeft(x, static_cast<uint32_t>(n) & 63u); }
uint32_t MathShiftRight(uint32_t x, int32_t n) { return PlainRight(x, static_cast<uint32_t>(n) & 63u); }

int32_t MathShiftArith(int32_t x, int32_t n) {
    uint32_t count = static_cast<uint32_t>(n) & 63u;
    if (count > 31) count = 31;
    // Arithmetic shift written out, so that it does not depend on the compiler's choice.
    return x < 0 ? static_cast<int32_t>(~(~static_cast<uint32_t>(x) >> count)) : (x >> count);
}

int MathWidthBits(int32_t width) {
    switch (width) {
    case QZ_WIDTH_INTEGER: return 32;
    case QZ_WIDTH_SHORT: return 16;
    case QZ_WIDTH_BYTE: return 8;
    default: return 0;
    }
}

uint32_t MathRotateRight(uint32_t x, int32_t n, int bits) {
    uint32_t mask = WidthMask(bits);
    uint32_t v = x & mask;
    uint32_t count = static_cast<uint32_t>(n);
    if (bits == 32) count &= 31u;
    // For 16 and 8 bits a count above the width makes bits - count wrap to a huge unsigned count,
    // whose shift gives 0: only the plain shift remains.
    return (PlainRight(v, count) | PlainLeft(v, static_cast<uint32_t>(bits) - count)) & mask;
}

uint32_t MathRotateLeft(uint32_t x, int32_t n, int bits) {
    uint32_t mask = WidthMask(bits);
    uint32_t v = x & mask;
    uint32_t count = static_cast<uint32_t>(n);
    if (bits == 32) count &= 31u;
    return (PlainLeft(v, count) | PlainRight(v, static_cast<uint32_t>(bits) - count)) & mask;
}

namespace {

// Seeds the random generators with the current time.
int OpenMathLibrary(VmState*) {
    qzTimeVal tv;
    OsGetSysTime(&tv);
    time_t now = static_cast<time_t>(tv.seconds);
    srand(static_cast<unsigned>(now));
    srand48(static_cast<long>(now));
    return 0;
}

}  // namespace

const qzLibraryDescriptor qzMathLibrary = {
    .name = "math",
    .commands = mathCommands,
    .constants = mathConstants,
    .open = OpenMathLibrary,
};
