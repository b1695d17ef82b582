// The global path style and the force-path switch; see path_style.h.
#include "vector/path_style.h"

#include <cstring>

#include "base/error_codes.h"
#include "platform/os_alloc.h"

namespace {

qzPathStyle gStyle{};
int gForcePath = 0;

}  // namespace

qzPathStyle& GetPathStyle() { return gStyle; }

int SetPathDash(double offset, const double* lengths, uint32_t count) {
    OsFree(gStyle.dashLengths);
    gStyle.dashLengths = nullptr;
    gStyle.dashCount = 0;
    gStyle.dashOffset = 0;
    if (!count) return 0;
    auto* copy = static_cast<double*>(OsAlloc(sizeof(double) * count, 0));
    if (!copy) return ERR_MEM;
    std::memcpy(copy, lengths, sizeof(double) * count);
    gStyle.dashLengths = copy;
    gStyle.dashCount = count;
    gStyle.dashOffset = offset;
    return 0;
}

void ResetPathStyle() {
    OsFree(gStyle.dashLengths);
    gStyle = qzPathStyle{};
    gForcePath = 0;
}

int CopyPathStyle(const qzPathStyle& source, qzPathStyle* out) {
    *out = source;
    out->dashLengths = nullptr;
    if (!source.dashCount) return 0;
    out->dashLengths = static_cast<double*>(OsAlloc(sizeof(double) * source.dashCount, 0));
    if (!out->dashLengths) {
        out->dashCount = 0;
        out->dashOffset = 0;
        return ERR_MEM;
    }
    std::memcpy(out->dashLengths, source.dashLengths, sizeof(double) * source.dashCount);
    return 0;
}

void FreePathStyleCopy(qzPathStyle* style) {
    OsFree(style->dashLengths);
    style->dashLengths = nullptr;
    style->dashCount = 0;
}

int GetForcePathUse() { return gForcePath; }
void SetForcePathUse(int on) { gForcePath = on; }
