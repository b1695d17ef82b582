// Clip regions: rectangles or brush-shaped masks of the drawing target that limit where SafeBlt
// draws. A region that a layer still uses when the script frees it stays, invisible to lookups,
// until the last layer lets go.
#include <algorithm>
#include <cmath>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/draw_target.h"
#include "display/layer_system.h"
#include "display/object_types.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/safe_blt.h"
#include "gfx/scale_bitmap.h"
#include "gfx/transform_bitmap.h"
#include "libs/graphics/graphics.h"
#include "libs/graphics/graphics_commands.h"
#include "platform/os_alloc.h"
#include "runtime/arg_check.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

qzObjectHeader* gfxClipRegions = nullptr;

namespace {

// Region kinds of CreateClipRegion.
constexpr int32_t kBox = 14;
constexpr int32_t kShape = 28;
// The scratch buffer that a shaped region makes sure of.
constexpr int64_t kScratchStart = 240000;

qzClipRegion* NewRegionRecord() {
    auto* region = static_cast<qzClipRegion*>(OsAlloc(sizeof(qzClipRegion), 1));
    if (region) region->header.type = QZ_TYPE_CLIPREGION;
    return region;
}

void DestroyRegion(VmState* state, qzClipRegion* region) {
    ForgetClipRegionInLayers(region);
    DeleteMaskBitMap(region->mask);
    if (state) FreeObjectDataList(state, region->header.data);
    OsFree(region);
}

// Takes the region out of the list and destroys it, or leaves it free-pending while a layer uses it.
void ReleaseRegion(VmState* state, qzClipRegion* region) {
    ForgetDrawTargetClipRegion(region);
    if (ClipRegionInUseByLayers(region)) {
        // The script's side goes now: its identifier and the data it attached.
        region->freePending = 1;
        region->header.id = {0, nullptr};
        if (state) FreeObjectDataList(state, region->header.data);
        region->header.data = nullptr;
        return;
    }
    RemoveObjectFromList(&gfxClipRegions, &region->header);
    DestroyRegion(state, region);
}

}  // namespace

int FindClipRegion(const qzObjectId& id, qzClipRegion** out, int options) {
    *out = nullptr;
    for (qzObjectHeader* h = gfxClipRegions; h; h = h->next) {
        auto* region = reinterpret_cast<qzClipRegion*>(h);
        if (region->freePending && !(options & QZ_FINDGFX_PENDING)) continue;
        if (!SameObjectId(h->id, id)) continue;
        if ((options & QZ_FINDGFX_LOCK) && region->locked) return ERR_LOCKEDOBJ;
        *out = region;
        return 0;
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDCLIPREGION;
}

qzClipRegion* CheckClipRegion(VmState* state, const qzObjectId& id, int options) {
    qzClipRegion* region = nullptr;
    if (int rc = FindClipRegion(id, &region, options)) VmFailCommand(state, rc);
    return region;
}

void PushObjectId(VmState* state, const qzObjectId& id) {
    if (id.pointer)
        VmPushLightUserdata(state, id.pointer);
    else
        VmPushNumber(state, id.number);
}

int GfxCreateClipRegion(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    const int32_t type = VmCheckInteger(state, 2);
    int32_t x, y, width, height;
    qzBitMap* shape = nullptr;
    // The shape's bitmaps, released when the region has its own copy of the mask.
    qzObjectBitmaps brush;
    qzObjectBitmapsRelease releaseBrush(&brush);
    if (type == kBox) {
        x = VmCheckInteger(state, 3);
        y = VmCheckInteger(state, 4);
        width = VmCheckInteger(state, 5);
        height = VmCheckInteger(state, 6);
    } else if (type == kShape) {
        const qzObjectId brushId = CheckObjectIdArg(state, 3);
        x = VmCheckInteger(state, 4);
        y = VmCheckInteger(state, 5);
        int rc = GetObjectBitmaps(state, QZ_TYPE_BRUSH_OBJECT, brushId, 0, &brush);
        if (rc) return rc;
        if (!brush.mask) return ERR_NOMASKBRUSH;
        shape = brush.mask;
        width = brush.width;
        height = brush.height;
    } else {
        return ERR_WRONGUSAGE;
    }
    int32_t targetWidth = 0, targetHeight = 0;
    GetDrawTargetSize(&targetWidth, &targetHeight);
    x = ResolveXPosition(x, width, targetWidth, 0);
    y = ResolveYPosition(y, height, targetHeight, 0);
    if ((int64_t)x + width < 1 || (int64_t)y + height < 1) return ERR_WRONGUSAGE;
    // The region's own copy of the mask, trimmed to the part right of and below 0.
    qzBitMap* mask = shape;
    int rc = ClipMaskToOrigin(&x, &y, &width, &height, shape ? &mask : nullptr, 1, 0);
    if (rc) return rc;
    if (mask && !SafeBltScratch(kScratchStart)) {
        DeleteMaskBitMap(mask);
        return ERR_MEM;
    }
    qzClipRegion* region = NewRegionRecord();
    if (!region) {
        DeleteMaskBitMap(mask);
        return ERR_MEM;
    }
    // A number in use names the new region from now on.
    if (!IsAutoObjectId(id)) {
        qzClipRegion* old = nullptr;
        if (FindClipRegion(id, &old, 0) == 0) ReleaseRegion(state, old);
    }
    region->x = x;
    region->y = y;
    region->width = width;
    region->height = height;
    region->mask = mask;
    region->maskBytesPerRow = mask ? (int32_t)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW) : 0;
    AddObjectToList(&gfxClipRegions, &region->header, QZ_TYPE_CLIPREGION, id);
    return PushNewObjectHandle(state, id, &region->header);
}

int GfxFreeClipRegion(VmState* state) {
    qzClipRegion* region = CheckClipRegion(state, CheckObjectIdArg(state, 1), 0);
    ReleaseRegion(state, region);
    return 0;
}

void FreeTemporaryClipRegions() {
    qzObjectHeader* h = gfxClipRegions;
    while (h) {
        qzObjectHeader* next = h->next;
        auto* region = reinterpret_cast<qzClipRegion*>(h);
        if (region->freePending && !ClipRegionInUseByLayers(region)) {
            RemoveObjectFromList(&gfxClipRegions, h);
            DestroyRegion(nullptr, region);
        }
        h = next;
    }
}

void FreeAllClipRegions(VmState* state) {
    while (gfxClipRegions) {
        auto* region = reinterpret_cast<qzClipRegion*>(gfxClipRegions);
        gfxClipRegions = gfxClipRegions->next;
        DestroyRegion(state, region);
    }
}

qzClipRegion* TransformClipRegion(const qzClipRegion* region, double anchorX, double anchorY, const double matrix[4],
                                  int placeByMatrix, int useDisplayScale) {
    if (!region) return nullptr;
    double scaleX = 1, scaleY = 1;
    GetDisplayScaleFactors(&scaleX, &scaleY);
    double m[4] = {matrix[0], matrix[1], matrix[2], matrix[3]};
    if (useDisplayScale) {
        m[0] = scaleX;
        m[1] = m[2] = 0;
        m[3] = scaleY;
    }
    for (double v : m)
        if (!std::isfinite(v)) return nullptr;
    qzClipRegion* out = NewRegionRecord();
    if (!out) return nullptr;
    int32_t x = region->x, y = region->y, width = region->width, height = region->height;
    const bool pureScale = m[1] == 0 && m[2] == 0;
    qzBitMap* mask = nullptr;
    auto fail = [&]() -> qzClipRegion* {
        DeleteMaskBitMap(mask);
        OsFree(out);
        return nullptr;
    };
    int tx, ty, tw, th;
    GetTransformedRectBounds(region->x, region->y, region->width, region->height, anchorX, anchorY, m, &tx, &ty, &tw,
                             &th, nullptr, nullptr);
    if (region->mask) {
        // The mask goes through the image transform with a stand-in picture.
        qzBitMap* picture = CreateBitMap(std::max(region->width, 1), std::max(region->height, 1), 0, nullptr);
        if (!picture) return fail();
        qzBitMap* bitmap = nullptr;
        int rc;
        if (m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1) {
            mask = CreateMaskBitMap(nullptr, region->width, region->height, 1, nullptr, 0);
            rc = mask ? 0 : ERR_ALLOCMASK;
            if (mask) BlitMaskPlane(region->mask, 0, 0, mask, 0, 0, region->width, region->height, 2, nullptr, 0);
        } else if (pureScale && m[0] > 0 && m[3] > 0) {
            rc = ScaleBitMap(picture, region->mask, nullptr, 0, 0, nullptr, region->width, region->height,
                             std::max(1, (int)(region->width * m[0])), std::max(1, (int)(region->height * m[3])), 0,
                             &bitmap, &mask, nullptr);
        } else {
            rc = TransformBitMap(picture, region->mask, nullptr, region->width, region->height, m, 0, &bitmap, &mask,
                                 nullptr);
        }
        DeleteBitMap(bitmap);
        DeleteBitMap(picture);
        if (rc || !mask) return fail();
        width = mask->width;
        height = mask->height;
        x = tx;
        y = ty;
    } else if (!pureScale) {
        // A rotated or sheared rectangle: its corners about the anchor, filled into a mask.
        width = std::max(tw, 1);
        height = std::max(th, 1);
        mask = CreateMaskBitMap(nullptr, width, height, 1, nullptr, 0);
        if (!mask) return fail();
        const double ax = region->width * anchorX, ay = region->height * anchorY;
        const double corners[4][2] = {{0, 0},
                                      {(double)region->width, 0},
                                      {(double)region->width, (double)region->height},
                                      {0, (double)region->height}};
        double px[4], py[4], minX = 1e300, minY = 1e300;
        for (int i = 0; i < 4; i++) {
            const double cx = corners[i][0] - ax, cy = corners[i][1] - ay;
            px[i] = cx * m[0] + cy * m[2] + ax;
            py[i] = cx * m[1] + cy * m[3] + ay;
            minX = std::min(minX, px[i]);
            minY = std::min(minY, py[i]);
        }
        qzPoint points[4];
        for (int i = 0; i < 4; i++)
            points[i] = {(int32_t)std::lround(px[i] - minX), (int32_t)std::lround(py[i] - minY)};
        if (FillMaskPolygon(mask, points, 4)) return fail();
        x = tx;
        y = ty;
    } else {
        x = (int32_t)(region->x * m[0]);
        y = (int32_t)(region->y * m[3]);
        width = (int32_t)(region->width * m[0]);
        height = (int32_t)(region->height * m[3]);
    }
    if (placeByMatrix && !useDisplayScale) {
        x = (int32_t)(tx * scaleX);
        y = (int32_t)(ty * scaleY);
    }
    if (ClipMaskToOrigin(&x, &y, &width, &height, mask ? &mask : nullptr, 0, 1)) return fail();
    out->x = x;
    out->y = y;
    out->width = width;
    out->height = height;
    out->mask = mask;
    out->maskBytesPerRow = mask ? (int32_t)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW) : 0;
    return out;
}
