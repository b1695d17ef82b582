// Text objects and the TEXTOBJECT row of the layer-kind dispatch.
#include "text/text_object.h"

#include <cmath>
#include <new>
#include <utility>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/layer_filters.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_transform.h"
#include "gfx/blit_display.h"
#include "gfx/copy_bitmap.h"
#include "gfx/position.h"
#include "image/draw_options.h"
#include "image/image_display.h"
#include "image/output_select.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "text/text_layer.h"
#include "text/text_output.h"
#include "vm/vm.h"

namespace {

qzObjectHeader* gTextObjects = nullptr;

qzTextObject* NextObject(const qzTextObject* object) { return reinterpret_cast<qzTextObject*>(object->header.next); }

void FreeRecord(VmState* state, qzTextObject* object) {
    DeleteBitMap(object->bitmap);
    DeleteMaskBitMap(object->mask);
    DeleteAlphaBitMap(object->alpha);
    FreeObjectDataList(state, object->header.data);
    object->header.data = nullptr;
    delete object->style;
    delete object;
}

qzTextObject* NewRecord() {
    qzTextObject* object = new (std::nothrow) qzTextObject();
    if (object) InitTransformTags(&object->transform);
    return object;
}

// A record not yet in the list: freed on every way out, a raised error or memory running out
// included, until release() hands it on.
class RecordOwner {
public:
    RecordOwner(VmState* state, qzTextObject* object) : state_(state), object_(object) {}
    RecordOwner(const RecordOwner&) = delete;
    RecordOwner& operator=(const RecordOwner&) = delete;
    ~RecordOwner() {
        if (object_) FreeRecord(state_, object_);
    }
    qzTextObject* release() { return std::exchange(object_, nullptr); }

private:
    VmState* state_;
    qzTextObject* object_;
};

// Appends the record under the identifier; an automatic identifier becomes the record itself.
void Append(qzTextObject* object, const qzObjectId& id) {
    AddObjectToList(&gTextObjects, &object->header, QZ_TYPE_TEXTOBJECT, id);
}

bool LayersShow(const qzObjectId& id) {
    return FindLayerUsingObject(QZ_TYPE_TEXTOBJECT, id, nullptr, nullptr, nullptr);
}

// Before the object changes, the layers that show it get a copy of their own, kept by them.
int DetachFromLayers(VmState* state, qzTextObject* object) {
    if (!LayersShow(object->header.id)) return 0;
    qzTextObject* copy = nullptr;
    const int error = CloneTextObject(state, object, qzObjectId{0, QZ_AUTO_ID}, &copy);
    if (error) return error;
    copy->keptByLayers = 1;
    RetargetLayersToObject(QZ_TYPE_TEXTOBJECT, object->header.id, copy);
    return 0;
}

// The layer-kind row: a TEXTOBJECT layer draws the object's bitmaps.
int TextObjectSourceBitmaps(VmState* state, const qzLayer* layer, const qzLayerState*, int32_t, qzLayerSource* out) {
    qzTextObject* object = nullptr;
    const int error = FindTextObject(state, layer->id, &object, QZ_FINDTEXT_KEPT);
    if (error) return error;
    out->trio = {object->bitmap, object->mask, object->alpha};
    out->width = object->width;
    out->height = object->height;
    return 0;
}

int InsertTextObjectLayer(VmState* state, int32_t type, const qzObjectId& id, int32_t x, int32_t y, int32_t position,
                          int hidden) {
    qzTextObject* object = nullptr;
    const int error = FindTextObject(state, id, &object, 0);
    if (error) return error;
    return AddLayerForObject(state, type, object->header.id, x + object->left, y + object->top, object->width,
                             object->height, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             position > 0 ? position : -1, hidden ? (uint32_t)QZ_ADDLAYER_HIDDEN : 0u, nullptr);
}

bool LayersOn() {
    qzBlitDisplayInfo info;
    return DescribeBlitDisplay(nullptr, &info) && info.layersOn && info.outputKind == OUTPUT_DISPLAY;
}

}  // namespace

qzObjectHeader** GetTextObjectList() { return &gTextObjects; }

int FindTextObject(VmState* state, const qzObjectId& id, qzTextObject** out, int flags) {
    *out = nullptr;
    qzTextObject* object = reinterpret_cast<qzTextObject*>(FindObjectInList(gTextObjects, id));
    if (object && object->keptByLayers && !(flags & QZ_FINDTEXT_KEPT)) object = nullptr;
    if (!object) {
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorArgIndex(id.number);
        return ERR_FINDTEXTOBJECT;
    }
    if (flags & QZ_FINDTEXT_MODIFY) {
        if (object->locked) return ERR_LOCKEDOBJ;
        if (!(flags & QZ_FINDTEXT_NODETACH)) {
            const int error = DetachFromLayers(state, object);
            if (error) return error;
        }
    }
    *out = object;
    return 0;
}

qzTextObject* CheckTextObject(VmState* state, const qzObjectId& id, int flags) {
    qzTextObject* object = nullptr;
    if (int error = FindTextObject(state, id, &object, flags)) VmFailCommand(state, error);
    return object;
}

qzTextObject* CheckTextObject(VmState* state, int index, int flags) {
    return CheckTextObject(state, CheckObjectIdArg(state, index), flags);
}

int CreateTextObject(VmState* state, const qzObjectId& id, const qzTextStyle& style, qzTextObject** out) {
    if (out) *out = nullptr;
    if (!id.pointer) {
        const int error = DeleteTextObject(state, id, 0);
        if (error == ERR_LOCKEDOBJ) return error;
    }
    qzTextObject* object = NewRecord();
    if (!object) return ERR_MEM;
    RecordOwner owner(state, object);
    object->style = new (std::nothrow) qzTextStyle(style);
    if (!object->style) return ERR_MEM;
    qzTextBlock block;
    const int error = RenderFormattedText(state, object->style, TEXTMODE_TEXTOBJECT, 0, nullptr, nullptr,
                                          TEXTRENDER_KEEPTABLES, &block);
    if (error) return error;
    object->bitmap = block.bitmap, object->mask = block.mask, object->alpha = block.alpha;
    object->width = object->baseWidth = block.width;
    object->height = object->baseHeight = block.height;
    object->left = block.left, object->top = block.top;
    Append(owner.release(), id);
    if (out) *out = object;
    return 0;
}

int CloneTextObject(VmState* state, const qzTextObject* source, const qzObjectId& id, qzTextObject** out) {
    if (out) *out = nullptr;
    qzTextObject* copy = NewRecord();
    if (!copy) return ERR_MEM;
    RecordOwner owner(state, copy);
    copy->style = new (std::nothrow) qzTextStyle(*source->style);
    if (!copy->style) return ERR_MEM;
    int error = CopyBitMap(source->bitmap, source->mask, source->alpha, 0, 0, source->width, source->height, 0,
                           &copy->bitmap, source->mask ? &copy->mask : nullptr, source->alpha ? &copy->alpha : nullptr);
    if (!error) error = CopyObjectDataList(state, source->header.data, &copy->header.data);
    if (error) return error;
    copy->width = source->width, copy->height = source->height;
    copy->baseWidth = source->baseWidth, copy->baseHeight = source->baseHeight;
    copy->left = source->left, copy->top = source->top;
    copy->transform = source->transform;
    Append(owner.release(), id);
    if (out) *out = copy;
    return 0;
}

int DeleteTextObject(VmState* state, const qzObjectId& id, int report) {
    qzTextObject* object = nullptr;
    const int error = FindTextObject(state, id, &object, QZ_FINDTEXT_MODIFY | QZ_FINDTEXT_NODETACH);
    if (error) return error == ERR_LOCKEDOBJ || report ? error : 0;
    if (RetargetLayersToObject(QZ_TYPE_TEXTOBJECT, object->header.id, object)) {
        object->header.id = qzObjectId{0, object};
        object->keptByLayers = 1;
        return 0;
    }
    RemoveObjectFromList(&gTextObjects, &object->header);
    FreeRecord(state, object);
    return 0;
}

int RerenderTextObject(VmState* state, const qzObjectId& id, int32_t targetWidth, int32_t targetHeight, double angle) {
    qzTextObject* object = nullptr;
    int error = FindTextObject(state, id, &object, QZ_FINDTEXT_MODIFY);
    if (error) return error;
    qzTransformTags t = object->transform;
    if (targetWidth > 0) t.width = targetWidth;
    if (targetHeight > 0) t.height = targetHeight;
    t.rotate = std::fmod(angle, 360.0);
    if (t.rotate < 0) t.rotate += 360.0;
    const double sx = t.width > 0 && object->baseWidth > 0 ? (double)t.width / object->baseWidth : 1.0;
    const double sy = t.height > 0 && object->baseHeight > 0 ? (double)t.height / object->baseHeight : 1.0;
    t.scalex = sx, t.scaley = sy;
    t.hasusermatrix = 0;
    // The scale first, then the turn: the scale goes into the font, the turn onto the block.
    ComputeScaleRotateMatrix(&t, 0, 0, object->baseWidth, object->baseHeight, sx, sy, t.rotate);
    qzTextBlock block;
    error = RenderFormattedText(state, object->style, TEXTMODE_TEXTOBJECT, 0, &t, nullptr,
                                TEXTRENDER_KEEPTABLES | TEXTRENDER_RETURN, &block);
    if (error) return error;
    DeleteBitMap(object->bitmap);
    DeleteMaskBitMap(object->mask);
    DeleteAlphaBitMap(object->alpha);
    object->bitmap = block.bitmap, object->mask = block.mask, object->alpha = block.alpha;
    object->width = block.width, object->height = block.height;
    const bool turned = t.rotate != 0.0;
    object->left = turned ? 0 : block.left;
    object->top = turned ? 0 : block.top;
    object->transform = t;
    return 0;
}

void FreeOrphanedTextObjects(VmState* state) {
    qzTextObject* object = reinterpret_cast<qzTextObject*>(gTextObjects);
    while (object) {
        qzTextObject* next = NextObject(object);
        if (object->keptByLayers && !LayersShow(object->header.id)) {
            RemoveObjectFromList(&gTextObjects, &object->header);
            FreeRecord(state, object);
        }
        object = next;
    }
}

void FreeAllTextObjects(VmState* state) {
    while (gTextObjects) {
        qzTextObject* object = reinterpret_cast<qzTextObject*>(gTextObjects);
        gTextObjects = gTextObjects->next;
        FreeRecord(state, object);
    }
}

int DisplayTextObject(VmState* state, const qzObjectId& id, int32_t x, int32_t y, int tagIndex) {
    qzTextObject* object = nullptr;
    int error = FindTextObject(state, id, &object, 0);
    if (error) return error;
    // A selected brush, mask or alpha channel is looked up again before the first draw into it.
    error = UpdateSelectedOutput(state);
    if (error) return error;
    qzBlitDisplayInfo info;
    DescribeBlitDisplay(nullptr, &info);
    qzTransformTags transform;
    qzLayerTags tags;
    if (tagIndex > 0) {
        error = ParseDrawTags(state, tagIndex, object->width, object->height, 0, 0, DefaultTransformTags()->smoothscale,
                              &transform, &tags, QZ_DRAWTAGS_DEFAULTS);
        if (error) return error;
    } else {
        InitDrawTags(&transform, &tags, 0, 0, DefaultTransformTags()->smoothscale, 0);
    }
    x = ResolveXPosition(x, object->width, info.targetWidth, transform.anchorx);
    y = ResolveYPosition(y, object->height, info.targetHeight, transform.anchory);
    const qzTextBlock shown = {object->bitmap, object->mask, object->alpha, 0, 0, object->width, object->height, 0};
    if (LayersOn()) {
        qzLayerState* st = NewLayerState();
        if (!st) return ERR_MEM;
        error = AddLayerForObject(state, QZ_TYPE_TEXTOBJECT, object->header.id, x + object->left, y + object->top,
                                  object->width, object->height, &transform, &tags, nullptr, nullptr, nullptr, st,
                                  tags.insertpos ? tags.insertpos : -1, 0, nullptr);
        if (!error && IsIdentityMatrix(transform.matrix) && !tags.effects && !tags.insertpos)
            BlitTextBlock(state, shown, x + object->left, y + object->top);
        return error;
    }
    // Without layers the object shows at its own scale and angle; filters and transparency go
    // onto copies.
    if (!HasEnabledFilter(tags.filters) && !tags.transparency) {
        BlitTextBlock(state, shown, x + object->left, y + object->top);
        return 0;
    }
    qzTextBlock copy;
    copy.width = object->width, copy.height = object->height;
    error = CopyBitMap(object->bitmap, object->mask, object->alpha, 0, 0, object->width, object->height, 0,
                       &copy.bitmap, object->mask ? &copy.mask : nullptr, object->alpha ? &copy.alpha : nullptr);
    if (!error) error = ApplyDrawTagFilters(&tags, copy.bitmap, &copy.mask, &copy.alpha, copy.width, copy.height);
    if (!error) BlitTextBlock(state, copy, x + object->left, y + object->top);
    FreeTextBlock(&copy);
    return error;
}

void InstallTextLayerKinds(bool on) {
    qzLayerKindOps ops = {};
    ops.sourceBitmaps = TextObjectSourceBitmaps;
    ops.insert = InsertTextObjectLayer;
    ops.purgeOrphans = FreeOrphanedTextObjects;
    AddTextObjectLayerOps(&ops);
    SetLayerKindOps(QZ_TYPE_TEXTOBJECT, on ? &ops : nullptr);
    InstallTextOutputLayerKinds(on);
}
