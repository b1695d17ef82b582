// The brush commands that run an image filter of the graphics core over a raster brush in place,
// and those that make shadow and border brushes. Every argument is checked before the brush is
// looked up; the lookup refuses the selected output, vector and hardware brushes, and gives the
// layers that show the brush their own copy first.
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/color_bitmap.h"
#include "gfx/distort.h"
#include "gfx/distort_bitmap.h"
#include "gfx/filter_bitmap.h"
#include "gfx/flip_pixelate.h"
#include "gfx/opacity_blit.h"
#include "gfx/quantize_bitmap.h"
#include "gfx/wave_bitmap.h"
#include "image/brush.h"
#include "image/brush_filters.h"
#include "image/brush_transform.h"
#include "libs/brush/brush_process_commands.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// A level of 0..255: a number, or a percentage string taken of 255; clamped.
int LevelArg(VmState* state, int index) {
    const double value = CheckPercentArg(state, index, 255, 0, nullptr);
    if (!(value > 0)) return 0;
    return value > 255 ? 255 : (int)value;
}

// The kernels take whole numbers; script values beyond them saturate.
int IntArg(double value) { return VmTruncateNumber(value); }

// BlurBrush, EmbossBrush, EdgeBrush and SharpenBrush: the convolution engine in one mode.
int ConvolveCommand(VmState* state, char mode, bool withSigma) {
    VmCheckArgCount(state, 1, withSigma ? 3 : 2, 0, 0);
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double radius = VmOptNumber(state, 2, 0);
    double sigma = mode == 'g' ? 0.0 : 1.0;
    if (withSigma) sigma = VmOptNumber(state, 3, radius / 3);
    if (!(radius >= 0)) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    return BlurBitMap(brush->bitmap, brush->alpha, 0, 0, brush->width, brush->height, radius, sigma, mode);
}

// The distortion commands: up to maxParams numbers after the id (at least minParams), then the
// smooth flag at the argument after the last possible parameter.
int DistortCommand(VmState* state, int method, int minParams, int maxParams) {
    VmCheckArgCount(state, 1 + minParams, maxParams + 2, 0, 0);
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int given = std::min(VmGetTop(state) - 1, maxParams);
    double params[10] = {};
    for (int i = 0; i < given; i++) params[i] = VmCheckNumber(state, 2 + i);
    const int smooth = VmOptInteger(state, maxParams + 2, 0) != 0;
    qzBrush* brush = CheckChangedBrush(state, id);
    int count = given;
    if (method == DISTORT_PERSPECTIVE) {
        // Target corners not given stay where the brush's own corners are.
        const double corners[8] = {
            0, 0, (double)brush->width, 0, (double)brush->width, (double)brush->height, 0, (double)brush->height};
        for (int i = given; i < 8; i++) params[i] = corners[i];
        count = 8;
    } else if (method == DISTORT_BARREL && given == 3) {
        // Three coefficients: the fourth keeps the centre's scale, d = 1 - (a + b + c).
        params[3] = 1.0 - (params[0] + params[1] + params[2]);
        count = 4;
    }
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    const int error =
        DistortBitMap(brush->bitmap, brush->mask, brush->alpha, method, params, count, smooth, &bitmap, &mask, &alpha);
    if (error) return error;
    ReplaceBrushBitmaps(brush, bitmap, mask, alpha, bitmap->width, bitmap->height);
    if (brush->mask && brush->transparentcolor < 0) brush->transparentcolor = QZ_BLANKBRUSH_KEY;
    return 0;
}

// CreateShadowBrush and CreateBorderBrush.
int ShadowCommand(VmState* state, int border) {
    VmCheckArgCount(state, 3, 5, 0, 0);
    const qzObjectId id = CheckNumericIdArg(state, 1);
    const qzObjectId sourceId = CheckObjectIdArg(state, 2);
    const uint32_t colour = (uint32_t)VmCheckInteger(state, 3);
    const double radius = VmOptNumber(state, 4, 5);
    const double sigma = VmOptNumber(state, 5, radius / 3);
    if (!(radius >= 1)) return ERR_WRONGUSAGE;
    if (!IsAutoObjectId(id) && SameObjectId(id, sourceId)) return ERR_WRONGUSAGE;
    qzBrush* source = CheckBrush(state, sourceId, QZ_FINDBRUSH_NOVECTOR);
    qzBitMap *bitmap = nullptr, *alpha = nullptr;
    int32_t width = 0, height = 0;
    int error = MakeShadowBitmaps(source, colour, radius, sigma, border, &bitmap, &alpha, &width, &height);
    if (error) return error;
    FreeBrushForReuse(state, id);
    qzBrush* brush = nullptr;
    error = AddBrush(id, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap, QZ_NOTRANSPARENCY, nullptr,
                     alpha, nullptr, &brush);
    if (error) {
        DeleteBitMap(bitmap);
        DeleteAlphaBitMap(alpha);
        return error;
    }
    return PushNewObjectHandle(state, id, &brush->header);
}

}  // namespace

int BrushBlurBrush(VmState* state) { return ConvolveCommand(state, 'b', true); }
int BrushEmbossBrush(VmState* state) { return ConvolveCommand(state, 'e', false); }
int BrushEdgeBrush(VmState* state) { return ConvolveCommand(state, 'g', false); }
int BrushSharpenBrush(VmState* state) { return ConvolveCommand(state, 's', false); }

int BrushSolarizeBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int threshold = IntArg(CheckPercentArg(state, 2, 255, 0, nullptr));
    qzBrush* brush = CheckChangedBrush(state, id);
    return SolarizeBitMap(brush->bitmap, brush->width, brush->height, threshold);
}

int BrushGammaBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double red = VmCheckNumber(state, 2), green = VmCheckNumber(state, 3), blue = VmCheckNumber(state, 4);
    qzBrush* brush = CheckChangedBrush(state, id);
    return GammaBitMap(brush->bitmap, brush->width, brush->height, red, green, blue);
}

int BrushContrastBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int sharpen = VmType(state, 2) == VM_TBOOLEAN ? VmToBoolean(state, 2) : VmCheckInteger(state, 2) != 0;
    const int32_t amount = VmOptInteger(state, 3, 1);
    if (amount < 1) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    return ContrastBitMap(brush->bitmap, brush->width, brush->height, sharpen, amount);
}

int BrushModulateBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t brightness = VmCheckInteger(state, 2), saturation = VmCheckInteger(state, 3),
                  hue = VmCheckInteger(state, 4);
    if (brightness < 0 || saturation < 0 || hue < 0) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    return ModulateBitMap(brush->bitmap, brush->width, brush->height, brightness, saturation, hue);
}

int BrushSepiaToneBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double threshold = CheckPercentArg(state, 2, 255, 0, nullptr);
    qzBrush* brush = CheckChangedBrush(state, id);
    return SepiaToneBitMap(brush->bitmap, brush->width, brush->height, threshold);
}

int BrushCharcoalBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double radius = VmCheckNumber(state, 2);
    if (!(radius >= 0)) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    return CharcoalBitMap(brush->bitmap, brush->width, brush->height, radius, 1.0);
}

int BrushSwirlBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t degrees = VmCheckInteger(state, 2);
    qzBrush* brush = CheckChangedBrush(state, id);
    return SwirlBitMap(brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height, degrees);
}

int BrushPixelateBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t size = VmCheckInteger(state, 2);
    if (size < 1) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    if (size > brush->width || size > brush->height) return ERR_WRONGUSAGE;
    return PixelateBitMap(brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height, size);
}

int BrushBrushToMonochrome(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int dither = VmOptInteger(state, 2, 1) != 0;
    qzBrush* brush = CheckChangedBrush(state, id);
    return ConvertBitMapToMonochrome(brush->bitmap, dither);
}

int BrushWaterRippleBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double wavelength = VmOptNumber(state, 2, 32), amplitude = VmOptNumber(state, 3, 1),
                 phase = VmOptNumber(state, 4, 0), centerX = VmOptNumber(state, 5, 0.5),
                 centerY = VmOptNumber(state, 6, 0.5);
    qzBrush* brush = CheckChangedBrush(state, id);
    return RippleBitMap(brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height, wavelength, amplitude,
                        phase, centerX, centerY);
}

int BrushOilPaintBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double radius = VmCheckNumber(state, 2);
    if (!(radius >= 0)) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    return OilPaintBitMap(brush->bitmap, brush->width, brush->height, radius);
}

int BrushTintBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const uint32_t colour = (uint32_t)VmCheckInteger(state, 2);
    const int level = LevelArg(state, 3);
    qzBrush* brush = CheckChangedBrush(state, id);
    return BlendFillBitMapRect(brush->bitmap, 0, 0, brush->width, brush->height, colour & 0xFFFFFF, level);
}

int BrushInvertBrush(VmState* state) {
    return OnBrushAlone(state, [](qzBrush* b) { return InvertBitMapColors(b->bitmap, b->width, b->height); });
}

int BrushBrushToGray(VmState* state) {
    return OnBrushAlone(state, [](qzBrush* b) { return ConvertBitMapToGray(b->bitmap, b->width, b->height); });
}

int BrushMixBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const qzObjectId otherId = CheckObjectIdArg(state, 2);
    const int level = LevelArg(state, 3);
    qzBrush* other = CheckBrush(state, otherId, QZ_FINDBRUSH_NOVECTOR);
    qzBrush* brush = CheckChangedBrush(state, id);
    const int width = std::min(brush->width, other->width), height = std::min(brush->height, other->height);
    return BlitBitMapWithOpacity(brush->bitmap, other->bitmap, other->mask, 0, 0, 0, 0, width, height, level,
                                 other->alpha, other->width, other->height);
}

int BrushReplaceColors(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    VmCheckTable(state, 2);
    std::vector<uint32_t> pairs;
    for (int i = 0;; i += 2) {
        VmRawGetI(state, 2, i);
        const int fromType = VmType(state, -1);
        const double from = fromType == VM_TNUMBER ? VmToNumber(state, -1) : 0;
        VmPop(state, 1);
        if (fromType == VM_TNIL) break;
        if (fromType != VM_TNUMBER) {
            SetErrorArgString("colortable");
            return ERR_NUMTABLEARG;
        }
        if (VmNumberToInteger(from) == -1) break;
        VmRawGetI(state, 2, i + 1);
        const int toType = VmType(state, -1);
        const double to = toType == VM_TNUMBER ? VmToNumber(state, -1) : 0;
        VmPop(state, 1);
        if (toType == VM_TNIL) return ERR_WRONGUSAGE;
        if (toType != VM_TNUMBER) {
            SetErrorArgString("colortable");
            return ERR_NUMTABLEARG;
        }
        pairs.push_back((uint32_t)VmNumberToInteger(from));
        pairs.push_back((uint32_t)VmNumberToInteger(to));
    }
    qzBrush* brush = CheckChangedBrush(state, id);
    return ReplaceBrushColors(brush, pairs);
}

int BrushQuantizeBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t colours = VmOptInteger(state, 2, 256);
    const int dither = VmOptInteger(state, 3, 1) != 0;
    if (colours < 1 || colours > 256) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    return QuantizeBitMap(brush->bitmap, colours, dither);
}

int BrushPerspectiveDistortBrush(VmState* state) { return DistortCommand(state, DISTORT_PERSPECTIVE, 0, 8); }
int BrushArcDistortBrush(VmState* state) { return DistortCommand(state, DISTORT_ARC, 0, 4); }
int BrushPolarDistortBrush(VmState* state) { return DistortCommand(state, DISTORT_POLAR, 0, 6); }
int BrushBarrelDistortBrush(VmState* state) { return DistortCommand(state, DISTORT_BARREL, 3, 10); }

int BrushCreateShadowBrush(VmState* state) { return ShadowCommand(state, 0); }
int BrushCreateBorderBrush(VmState* state) { return ShadowCommand(state, 1); }
