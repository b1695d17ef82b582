#include "display/gradient_tags.h"

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/gradient.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Reads an optional fraction within 0 .. 1 into *value.
int ReadFraction(VmState* state, int tableIndex, const char* key, double* value) {
    double v = 0;
    if (!GetTableFieldNumber(state, tableIndex, key, &v, nullptr)) return 0;
    if (!(v >= 0.0 && v <= 1.0)) return ERR_WRONGUSAGE;
    *value = v;
    return 0;
}

// The colour stops of the table at tableIndex (absolute).
int ReadStops(VmState* state, int tableIndex, qzGradient* gradient, int* hasStops) {
    std::vector<qzGradientStop> stops;
    for (int i = 0;; i += 2) {
        VmRawGetI(state, tableIndex, i);
        int type = VmType(state, -1);
        if (type == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        if (type != VM_TNUMBER) {
            VmPop(state, 1);
            SetErrorArgString("gradientcolors");
            return ERR_NUMTABLEARG;
        }
        uint32_t colour = static_cast<uint32_t>(VmNumberToInteger(VmToNumber(state, -1)));
        VmPop(state, 1);
        if (stops.size() == QZ_MAX_GRADIENT_STOPS) return ERR_INTERNAL;
        VmRawGetI(state, tableIndex, i + 1);
        type = VmType(state, -1);
        double position = VmToNumber(state, -1);
        VmPop(state, 1);
        if (type == VM_TNIL) return ERR_MISSINGPARAMTR;
        if (type != VM_TNUMBER) {
            SetErrorArgString("gradientcolors");
            return ERR_NUMTABLEARG;
        }
        if (!(position >= 0.0 && position <= 1.0)) return ERR_WRONGUSAGE;
        stops.push_back({colour, position});
    }
    if (stops.empty()) return 0;
    if (stops.size() == 1) return ERR_WRONGUSAGE;
    gradient->stops = std::move(stops);
    if (hasStops) *hasStops = 1;
    return 0;
}

}  // namespace

int ReadGradientOptions(VmState* state, int tableIndex, qzGradient* gradient, const char* centerXKey,
                        const char* centerYKey, const char* balanceKey, const char* borderKey, const char* colorsKey,
                        int* hasStops) {
    tableIndex = VmAbsIndex(state, tableIndex);
    if (gradient->style == GRADIENT_RADIAL || gradient->style == GRADIENT_CONICAL) {
        int error = ReadFraction(state, tableIndex, centerXKey, &gradient->centerX);
        if (!error) error = ReadFraction(state, tableIndex, centerYKey, &gradient->centerY);
        if (!error) error = ReadFraction(state, tableIndex, balanceKey, &gradient->balance);
        if (!error) error = ReadFraction(state, tableIndex, borderKey, &gradient->border);
        if (error) return error;
    }
    VmPushString(state, colorsKey);
    VmGetTable(state, tableIndex);
    if (VmType(state, -1) == VM_TNIL) {
        VmPop(state, 1);
        return 0;
    }
    // A colours key that is not a table raises like any table argument.
    VmCheckTable(state, -1);
    int error = ReadStops(state, VmAbsIndex(state, -1), gradient, hasStops);
    VmPop(state, 1);
    return error;
}

int ReadGradientTags(VmState* state, int tableIndex, qzGradient* gradient) {
    InitGradientSettings(gradient);
    int32_t value = 0;
    if (GetTableFieldInt(state, tableIndex, "gradientstyle", &value, nullptr)) gradient->style = value;
    if (GetTableFieldBool(state, tableIndex, "gradientstartcolor", &value, nullptr))
        gradient->startColor = static_cast<uint32_t>(value);
    if (GetTableFieldBool(state, tableIndex, "gradientendcolor", &value, nullptr))
        gradient->endColor = static_cast<uint32_t>(value);
    if (GetTableFieldInt(state, tableIndex, "gradientangle", &value, nullptr)) gradient->angle = value;
    return ReadGradientOptions(state, tableIndex, gradient, "gradientcenterx", "gradientcentery", "gradientbalance",
                               "gradientborder", "gradientcolors", nullptr);
}

int ReadGradientTable(VmState* state, int angleIndex, qzGradient* gradient) {
    if (gradient->style == 1 || gradient->style == 0) {
        gradient->angle = gradient->style == 1 ? 90 : 0;
        gradient->style = GRADIENT_LINEAR;
    } else if (gradient->style == GRADIENT_LINEAR || gradient->style == GRADIENT_CONICAL) {
        gradient->angle = VmOptInteger(state, angleIndex, 0);
    }
    if (VmGetTop(state) < angleIndex + 1) return 0;
    VmCheckTable(state, angleIndex + 1);
    return ReadGradientOptions(state, angleIndex + 1, gradient, "centerx", "centery", "balance", "border", "colors",
                               nullptr);
}

int SameGradient(const qzGradient& a, const qzGradient& b) {
    if (a.style != b.style || a.startColor != b.startColor || a.endColor != b.endColor || a.angle != b.angle ||
        a.centerX != b.centerX || a.centerY != b.centerY || a.balance != b.balance || a.border != b.border ||
        a.stops.size() != b.stops.size())
        return 0;
    for (size_t i = 0; i < a.stops.size(); i++)
        if (a.stops[i].color != b.stops[i].color || a.stops[i].position != b.stops[i].position) return 0;
    return 1;
}
