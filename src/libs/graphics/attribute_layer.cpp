// GetAttribute's readers of layers and text objects.
#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/picture.h"
#include "image/output_select.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics_commands.h"
#include "libs/video/video.h"
#include "text/font_engine.h"
#include "text/text_layer.h"
#include "text/text_object.h"
#include "vm/vm.h"

namespace {

// The font attributes and the text of a text style.
int PushTextStyleAttribute(VmState* state, const qzTextStyle& style, int attribute) {
    if (attribute == ATTRTEXT) {
        VmPushLString(state, style.text.data(), style.text.size());
        return 1;
    }
    return PushFontAttribute(state, style.style.font ? style.style.font : GetInbuiltFont(), attribute);
}

// The picture whose layers GetAttribute reads: while a brush, a mask or an alpha channel is drawn
// into, the selection's list, which holds no layers; otherwise the drawing target's, when layers
// are on. 0 or ERR_NOLAYERS.
int AttributeLayerPicture(qzBGPic** out) {
    const qzDisplay* display = CurrentDisplay();
    qzBGPic* pic = CurrentBGPic();
    if (!display || !pic) return ERR_NOLAYERS;
    const int32_t kind = display->outputKind;
    const bool intoObject =
        OutputIsSelected(display) && (kind == QZ_OUTPUT_BITMAP || kind == QZ_OUTPUT_MASK || kind == QZ_OUTPUT_ALPHA);
    if (intoObject ? !FirstLayer(pic) : !display->layersEnabled) return ERR_NOLAYERS;
    *out = pic;
    return 0;
}

bool IsTextLayer(int32_t type) {
    return type == QZ_LAYER_TEXTOBJECT || type == QZ_LAYER_TEXTOUT || type == QZ_LAYER_PRINT;
}

// What a text layer draws: its text object's style, or the style a TEXTOUT or PRINT layer keeps.
int FindLayerTextStyle(VmState* state, const qzLayer* layer, const qzTextStyle** out) {
    if (layer->type == QZ_LAYER_TEXTOBJECT) {
        qzTextObject* object = nullptr;
        if (int error = FindTextObject(state, layer->id, &object, QZ_FINDTEXT_KEPT)) return error;
        *out = object->style;
    } else {
        *out = TextLayerStyle(layer->base);
    }
    return *out ? 0 : ERR_NOTXTLAYER;
}

// Only the video behind the layer knows these.
int ReadLayerMedia(VmState* state, const qzLayer* layer, int attribute) {
    qzVideo* video = VideoOfLayer(layer);
    if (!video) return AttrNotFound(layer->id, ERR_FINDVIDEO);
    return PushVideoAttribute(state, video, attribute);
}

}  // namespace

int ReadLayerAttribute(VmState* state, const qzAttributeQuery& q) {
    qzBGPic* pic = nullptr;
    if (int error = AttributeLayerPicture(&pic)) return error;
    const int32_t position = CheckLayerArg(state, 2, pic);
    const qzLayer* layer = GetLayerByPosition(pic, position);
    if (!layer) return ERR_LAYERRANGE;
    // The box the layer covers on the picture, its transform applied, and the box it had before.
    const qzLayerState* shown = layer->transformed;
    const qzLayerState* base = layer->base;
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, shown->width);
    case ATTRHEIGHT: return PushAttrNumber(state, shown->height);
    case ATTRXPOS: return PushAttrNumber(state, shown->left);
    case ATTRYPOS: return PushAttrNumber(state, shown->top);
    case ATTRRAWXPOS: return PushAttrNumber(state, base->untransformedLeft);
    case ATTRRAWYPOS: return PushAttrNumber(state, base->untransformedTop);
    case ATTRRAWWIDTH: return PushAttrNumber(state, base->sourceWidth > 0 ? base->sourceWidth : base->width);
    case ATTRRAWHEIGHT: return PushAttrNumber(state, base->sourceHeight > 0 ? base->sourceHeight : base->height);
    case ATTRLAYERS: return PushAttrNumber(state, CountLayersOfAllPictures());
    case ATTRTYPE: return PushAttrNumber(state, layer->type);
    case ATTRVISIBLE: return PushAttrFlag(state, !layer->hidden);
    case ATTRLAYERID:
    case ATTRZPOS: return PushAttrNumber(state, position);
    case ATTRGROUP: return PushAttrString(state, layer->group);
    case ATTRID: return PushAttrId(state, layer->id);
    case ATTRNUMFRAMES:
    case ATTRCURFRAME:
    case ATTRFRAMEDELAY:
        if (layer->type != QZ_LAYER_ANIM) return ERR_NOANMLAYER;
        // An anim layer's state holds the shown frame (0-based) and the anim's frame count.
        if (q.attribute == ATTRNUMFRAMES) return PushAttrNumber(state, base->partY);
        if (q.attribute == ATTRCURFRAME) return PushAttrNumber(state, base->partX + 1);
        return ReadAnimLayerFrameDelay(state, layer);
    case ATTRDURATION:
    case ATTRPOSITION:
    case ATTRFORMAT:
    case ATTRCANSEEK:
    case ATTRPLAYING:
    case ATTRPAUSED:
        if (layer->type != QZ_LAYER_VIDEO) return ERR_BADLAYERTYPE;
        return ReadLayerMedia(state, layer, q.attribute);
    default: {  // the font attributes and ATTRTEXT
        if (!IsTextLayer(layer->type)) return ERR_NOTXTLAYER;
        const qzTextStyle* style = nullptr;
        if (int error = FindLayerTextStyle(state, layer, &style)) return error;
        return PushTextStyleAttribute(state, *style, q.attribute);
    }
    }
}

int ReadTextObjectAttribute(VmState* state, const qzAttributeQuery& q) {
    const qzTextObject* object = CheckTextObject(state, q.id, 0);
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, object->width);
    case ATTRHEIGHT: return PushAttrNumber(state, object->height);
    default: return PushTextStyleAttribute(state, *object->style, q.attribute);
    }
}
