#include "display/layer_filters.h"

#include <cstdio>
#include <cstring>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/color_bitmap.h"
#include "gfx/filter_bitmap.h"
#include "gfx/flip_pixelate.h"
#include "gfx/quantize_bitmap.h"
#include "gfx/wave_bitmap.h"
#include "runtime/arg_check.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Argument kinds: an integer, a level (a number or "N%" of 255), a float.
enum ArgKind : char { kInt = 'i', kLevel = 'l', kFloat = 'f' };

struct FilterArguments {
    const char* kinds;  // one letter per argument, in the filter's order
    double defaults[5];
};

const FilterArguments kArguments[QZ_LAYER_FILTERS] = {
    {"f", {5}},                       // blur
    {"f", {2}},                       // charcoal
    {"ii", {1, 1}},                   // contrast
    {"f", {5}},                       // edge
    {"f", {5}},                       // emboss
    {"fff", {1, 1, 1}},               // gamma
    {"", {}},                         // grayscale
    {"", {}},                         // invert
    {"fff", {100, 100, 100}},         // modulate
    {"i", {1}},                       // monochrome
    {"f", {2}},                       // oilpaint
    {"i", {10}},                      // pixelate
    {"l", {204}},                     // sepiatone
    {"f", {5}},                       // sharpen
    {"l", {128}},                     // solarize
    {"i", {180}},                     // swirl
    {"il", {0xFFFFFF, 128}},          // tint
    {"iiiff", {32, 1, 0, 0.5, 0.5}},  // waterripple
    {"", {}},                         // xflip
    {"", {}},                         // yflip
    {"ii", {256, 1}},                 // quantize
};

// The filter type of a name, ignoring case; -1 for none.
int FilterTypeOfName(const char* name) {
    for (int type = 0; type < QZ_LAYER_FILTERS; type++)
        if (CompareNoCase(GetFilterTypeName(type), name) == 0) return type;
    return -1;
}

// Pushes table[key] (at absolute index table); returns its type.
int PushField(VmState* state, int table, const char* key) {
    VmPushString(state, key);
    VmGetTable(state, table);
    return VmType(state, -1);
}

int Fail(int code, const char* argument, int* error) {
    SetErrorArgString(argument);
    *error = code;
    return 1;
}

// Reads one value (stack top) of the given kind into the entry's next integer or float slot.
// 0 or the error (error argument set).
int ReadArgument(VmState* state, char kind, int* intSlot, int* floatSlot, qzFilterEntry* entry) {
    const int type = VmType(state, -1);
    if (kind == kLevel && type == VM_TSTRING) {
        double level = 0;
        if (ReadPercentText(VmToString(state, -1), 255, 0, &level, nullptr) != 0) {
            SetErrorArgString("args");
            return ERR_PERCENTFORMATSTR;
        }
        entry->ints[(*intSlot)++] = VmTruncateNumber(level);
        return 0;
    }
    if (type != VM_TNUMBER && type != VM_TBOOLEAN && !(type == VM_TSTRING && VmIsNumber(state, -1))) {
        SetErrorArgString("args");
        return ERR_NUMTABLEARG;
    }
    const double value = type == VM_TBOOLEAN ? VmToBoolean(state, -1) : VmToNumber(state, -1);
    if (kind == kFloat)
        entry->floats[(*floatSlot)++] = static_cast<float>(value);
    else
        entry->ints[(*intSlot)++] = kind == kLevel ? VmTruncateNumber(value) : VmNumberToInteger(value);
    return 0;
}

// Reads the "args" table (stack top) against the filter's argument list.
int ReadArguments(VmState* state, int type, qzFilterEntry* entry) {
    const int args = VmGetTop(state);
    const char* kinds = kArguments[type].kinds;
    int intSlot = 0, floatSlot = 0;
    for (int i = 0; kinds[i]; i++) {
        VmRawGetI(state, args, i);
        if (VmType(state, -1) == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        int error = ReadArgument(state, kinds[i], &intSlot, &floatSlot, entry);
        VmPop(state, 1);
        if (error) return error;
    }
    return 0;
}

// Reads one entry of the list (the table on the stack top) into its filter's slot.
int ReadEntry(VmState* state, int index, qzFilterEntry* filters) {
    const int entryTable = VmGetTop(state);
    char indexText[16];
    std::snprintf(indexText, sizeof(indexText), "%d", index);
    int fieldType = PushField(state, entryTable, "name");
    if (fieldType == VM_TNIL) {
        SetErrorArgString(indexText);
        return ERR_NOFILTERNAME;
    }
    if (fieldType != VM_TSTRING) {
        SetErrorArgString("name");
        return ERR_STRTABLEARG;
    }
    const int type = FilterTypeOfName(VmToString(state, -1));
    if (type < 0) {
        SetErrorArgString(VmToString(state, -1));
        return ERR_UNKNOWNFILTER;
    }
    VmPop(state, 1);
    qzFilterEntry entry = filters[type];

    fieldType = PushField(state, entryTable, "disable");
    if (fieldType != VM_TNIL) {
        if (fieldType != VM_TNUMBER && fieldType != VM_TBOOLEAN) {
            SetErrorArgString("disable");
            return ERR_NUMTABLEARG;
        }
        const bool disable = fieldType == VM_TBOOLEAN ? VmToBoolean(state, -1) != 0 : VmToNumber(state, -1) != 0;
        VmPop(state, 1);
        if (disable) {
            filters[type].enabled = 0;
            return 0;
        }
    } else {
        VmPop(state, 1);
    }

    entry.enabled = 1;
    entry.priority = 0;
    fieldType = PushField(state, entryTable, "priority");
    if (fieldType != VM_TNIL) {
        if (fieldType != VM_TNUMBER) {
            SetErrorArgString("priority");
            return ERR_NUMTABLEARG;
        }
        entry.priority = static_cast<uint8_t>(VmNumberToInteger(VmToNumber(state, -1)));
    }
    VmPop(state, 1);

    SetFilterDefaults(&entry, type);
    fieldType = PushField(state, entryTable, "args");
    if (fieldType != VM_TNIL) {
        if (fieldType != VM_TTABLE) {
            SetErrorArgString("args");
            return ERR_TABEXPECTED2;
        }
        int error = ReadArguments(state, type, &entry);
        if (error) return error;
    }
    VmPop(state, 1);
    filters[type] = entry;
    return 0;
}

// Runs one filter on the bitmaps.
int RunFilter(int type, const qzFilterEntry& f, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width,
              int height) {
    const double a = f.floats[0];
    switch (type) {
    case FILTER_BLUR: return BlurBitMap(bitmap, nullptr, 0, 0, width, height, a, a / 3, 'b');
    case FILTER_CHARCOAL: return CharcoalBitMap(bitmap, width, height, a, 1.0);
    case FILTER_CONTRAST: return ContrastBitMap(bitmap, width, height, f.ints[0], f.ints[1]);
    case FILTER_EDGE: return BlurBitMap(bitmap, nullptr, 0, 0, width, height, a, 0, 'g');
    case FILTER_EMBOSS: return BlurBitMap(bitmap, nullptr, 0, 0, width, height, a, 1.0, 'e');
    case FILTER_GAMMA: return GammaBitMap(bitmap, width, height, f.floats[0], f.floats[1], f.floats[2]);
    case FILTER_GRAYSCALE: return ConvertBitMapToGray(bitmap, width, height);
    case FILTER_INVERT: return InvertBitMapColors(bitmap, width, height);
    case FILTER_MODULATE:
        return ModulateBitMap(bitmap, width, height, VmTruncateNumber(f.floats[0]), VmTruncateNumber(f.floats[1]),
                              VmTruncateNumber(f.floats[2]));
    case FILTER_MONOCHROME: return ConvertBitMapToMonochrome(bitmap, f.ints[0]);
    case FILTER_OILPAINT: return OilPaintBitMap(bitmap, width, height, a);
    case FILTER_PIXELATE: return PixelateBitMap(bitmap, mask, alpha, width, height, f.ints[0]);
    case FILTER_SEPIATONE: return SepiaToneBitMap(bitmap, width, height, f.ints[0]);
    case FILTER_SHARPEN: return BlurBitMap(bitmap, nullptr, 0, 0, width, height, a, 1.0, 's');
    case FILTER_SOLARIZE: return SolarizeBitMap(bitmap, width, height, f.ints[0]);
    case FILTER_SWIRL: return SwirlBitMap(bitmap, mask, alpha, width, height, f.ints[0]);
    case FILTER_TINT:
        return BlendFillBitMapRect(bitmap, 0, 0, width, height, static_cast<uint32_t>(f.ints[0]), f.ints[1]);
    case FILTER_WATERRIPPLE:
        return RippleBitMap(bitmap, mask, alpha, width, height, f.ints[0], f.ints[1], f.ints[2], f.floats[0],
                            f.floats[1]);
    case FILTER_XFLIP: return FlipBitMap(bitmap, mask, alpha, width, height, 0);
    case FILTER_YFLIP: return FlipBitMap(bitmap, mask, alpha, width, height, 1);
    case FILTER_QUANTIZE: return QuantizeBitMap(bitmap, f.ints[0], f.ints[1]);
    default: return 0;
    }
}

}  // namespace

int IsGeometryFilter(int type) {
    return type == FILTER_PIXELATE || type == FILTER_SWIRL || type == FILTER_WATERRIPPLE || type == FILTER_XFLIP ||
                   type == FILTER_YFLIP
               ? 1
               : 0;
}

int HasEnabledFilter(const qzFilterEntry* filters) {
    for (int type = 0; type < QZ_LAYER_FILTERS; type++)
        if (filters[type].enabled) return 1;
    return 0;
}

int HasGeometryFilter(const qzFilterEntry* filters) {
    for (int type = 0; type < QZ_LAYER_FILTERS; type++)
        if (filters[type].enabled && IsGeometryFilter(type)) return 1;
    return 0;
}

void SetFilterDefaults(qzFilterEntry* entry, int type) {
    std::memset(entry->ints, 0, sizeof(entry->ints));
    std::memset(entry->floats, 0, sizeof(entry->floats));
    if (type < 0 || type >= QZ_LAYER_FILTERS) return;
    const FilterArguments& arguments = kArguments[type];
    int intSlot = 0, floatSlot = 0;
    for (int i = 0; arguments.kinds[i]; i++) {
        if (arguments.kinds[i] == kFloat)
            entry->floats[floatSlot++] = static_cast<float>(arguments.defaults[i]);
        else
            entry->ints[intSlot++] = static_cast<int32_t>(arguments.defaults[i]);
    }
}

int GetFilterArguments(const qzFilterEntry* entry, int type, double out[5]) {
    if (type < 0 || type >= QZ_LAYER_FILTERS) return 0;
    const char* kinds = kArguments[type].kinds;
    int count = 0, intSlot = 0, floatSlot = 0;
    for (; kinds[count]; count++)
        out[count] = kinds[count] == kFloat ? double(entry->floats[floatSlot++]) : double(entry->ints[intSlot++]);
    return count;
}

int ParseLayerFilters(VmState* state, int tableIndex, qzFilterEntry* filters, int* changed, int* error) {
    *error = 0;
    const int table = VmAbsIndex(state, tableIndex);
    const int top = VmGetTop(state);
    if (!VmCheckStack(state, 4)) {
        *error = ERR_STACK;
        return 1;
    }
    const int fieldType = PushField(state, table, "filters");
    if (fieldType == VM_TNIL) {
        VmSetTop(state, top);
        return 0;
    }
    if (fieldType != VM_TTABLE) {
        VmSetTop(state, top);
        return Fail(ERR_TABEXPECTED2, "filters", error);
    }
    const int list = VmGetTop(state);
    for (int index = 0;; index++) {
        VmRawGetI(state, list, index);
        const int type = VmType(state, -1);
        if (type == VM_TNIL) break;
        if (type != VM_TTABLE) {
            VmSetTop(state, top);
            return Fail(ERR_TABEXPECTED2, "filters", error);
        }
        const int code = ReadEntry(state, index, filters);
        VmSetTop(state, list);
        if (code) {
            VmSetTop(state, top);
            *error = code;
            return 1;
        }
    }
    VmSetTop(state, top);
    *changed = 1;
    return 1;
}

int ApplyLayerFilters(const qzFilterEntry* filters, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width,
                      int height, int geometryOnly) {
    // By falling priority; equal priorities in type order; each filter once.
    bool applied[QZ_LAYER_FILTERS] = {};
    for (int level = 255; level >= 0; level--) {
        for (int type = 0; type < QZ_LAYER_FILTERS; type++) {
            const qzFilterEntry& f = filters[type];
            if (!f.enabled || applied[type] || f.priority < level) continue;
            applied[type] = true;
            if (geometryOnly && !IsGeometryFilter(type)) continue;
            int error = RunFilter(type, f, bitmap, mask, alpha, width, height);
            if (error) return error;
        }
    }
    return 0;
}
