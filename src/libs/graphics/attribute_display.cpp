// GetAttribute's readers of displays and background pictures.
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_monitors.h"
#include "display/menus.h"
#include "display/picture.h"
#include "gfx/clip_region.h"
#include "gfx/draw_modes.h"
#include "gfx/image_source.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics.h"
#include "libs/graphics/graphics_commands.h"
#include "platform/display_adapter.h"
#include "runtime/plugin_manager.h"
#include "text/font_engine.h"
#include "text/text_engine.h"
#include "vm/vm.h"

namespace {

int32_t CountPictureLayers(const qzBGPic* pic) {
    int32_t count = 0;
    for (const qzDoubleNode* n = pic->layers.front.next; n && n != &pic->layers.back; n = n->next) count++;
    return count;
}

int32_t PictureWidth(const qzBGPic* pic) { return pic->scaledWidth > 0 ? pic->scaledWidth : pic->width; }
int32_t PictureHeight(const qzBGPic* pic) { return pic->scaledHeight > 0 ? pic->scaledHeight : pic->height; }

// The identifier of an object the display uses: its number or handle, 0 for none.
int PushOwnedId(VmState* state, const qzObjectHeader* object) {
    return object ? PushAttrId(state, object->id) : PushAttrNumber(state, 0);
}

const char* AdapterName() {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    return adapter && adapter->plugin ? GetLoaderName(adapter->plugin) : GetLoaderName(0);
}

// ATTROUTPUTDEVICE: where drawing goes, as three values.
int PushOutputDevice(VmState* state, const qzDisplay* d) {
    if (d->doubleBuffer) {
        PushAttrNumber(state, 38);
        PushAttrNumber(state, 0);
        PushAttrNumber(state, 0);
    } else if (d->outputKind == QZ_TYPE_DISPLAY) {
        PushAttrNumber(state, QZ_TYPE_DISPLAY);
        PushAttrId(state, d->header.id);
        PushAttrNumber(state, 0);
    } else if (d->outputKind == QZ_TYPE_BGPIC) {
        const qzBGPic* pic = CurrentBGPic();
        PushAttrNumber(state, QZ_TYPE_BGPIC);
        PushOwnedId(state, pic ? &pic->header : nullptr);
        PushAttrNumber(state, 0);
    } else {
        // A selected object (a brush, a picture or anim frame drawn into like a brush, a layer):
        // its type and identifier, and what of it is drawn into: 3 its colour bitmap, 28 its
        // mask, 30 its alpha channel.
        const qzBGPic* record = d->selectRecord;
        PushAttrNumber(state, record ? record->selectTarget[0] : 0);
        if (record)
            PushAttrId(state, record->header.id);
        else
            PushAttrNumber(state, 0);
        PushAttrNumber(state, d->outputKind);
    }
    return 3;
}

}  // namespace

int ReadDisplayAttribute(VmState* state, const qzAttributeQuery& q) {
    qzDisplay* d = nullptr;
    if (!q.id.pointer && q.id.number == 0) {
        d = CurrentDisplay();
        if (!d) return AttrNotFound(q.id, ERR_FINDDISPLAY);
    } else {
        int rc = FindDisplayById(q.id, &d);
        if (rc) return rc;
    }
    const qzBGPic* pic = d->bgpic;
    int32_t mx = 0, my = 0, mw = 0, mh = 0;
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, pic ? PictureWidth(pic) : d->width);
    case ATTRHEIGHT: return PushAttrNumber(state, pic ? PictureHeight(pic) : d->height);
    case ATTRMAXWIDTH:
    case ATTRMAXHEIGHT:
    case ATTRHOSTWIDTH:
    case ATTRHOSTHEIGHT: {
        GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
        if (q.attribute == ATTRHOSTWIDTH) return PushAttrNumber(state, mw);
        if (q.attribute == ATTRHOSTHEIGHT) return PushAttrNumber(state, mh);
        if (q.attribute == ATTRMAXWIDTH) return PushAttrNumber(state, mw - d->borderHorizontal);
        return PushAttrNumber(state, mh - d->borderVertical);
    }
    case ATTRBGPIC: return PushOwnedId(state, pic ? &pic->header : nullptr);
    case ATTRLAYERS: return PushAttrNumber(state, pic ? CountPictureLayers(pic) : 0);
    case ATTRXPOS: return PushAttrNumber(state, d->x);
    case ATTRYPOS: return PushAttrNumber(state, d->y);
    case ATTRCURSORX:
    case ATTRCURSORY:
        GetDisplayMousePos(d, &mx, &my);
        return PushAttrNumber(state, q.attribute == ATTRCURSORX ? mx : my);
    case ATTRBORDERLEFT: return PushAttrNumber(state, d->borderLeft);
    case ATTRBORDERTOP: return PushAttrNumber(state, d->borderTop);
    case ATTRBORDERRIGHT: return PushAttrNumber(state, d->borderHorizontal - d->borderLeft);
    case ATTRBORDERBOTTOM: return PushAttrNumber(state, d->borderVertical - d->borderTop);
    case ATTRFONTASCENDER:
    case ATTRFONTDESCENDER:
    case ATTRFONTNAME:
    case ATTRFONTSIZE:
    case ATTRFONTSCALABLE:
    case ATTRFONTAA: {
        // A display's text is written in the current font.
        const qzFontStyle* style = GetFontStyleState();
        return PushFontAttribute(state, style->font ? style->font : GetInbuiltFont(), q.attribute);
    }
    case ATTRPOINTER:
        return PushOwnedId(state,
                           d->pointerObject ? &static_cast<const qzPointerImage*>(d->pointerObject)->header : nullptr);
    case ATTRSTATE: return PushAttrNumber(state, d->state);
    case ATTRACTIVE: return PushAttrNumber(state, IsDisplayWindowActive(d));
    case ATTRMODE:
        return PushAttrNumber(state, d->modeOptions.displayMode ? d->modeOptions.displayMode : QZ_DISPMODE_WINDOWED);
    case ATTRSCALEMODE: return PushAttrNumber(state, d->autoScale ? 1 : d->layerScale ? 2 : 0);
    case ATTRSCALEWIDTH: return PushAttrNumber(state, d->scaledWidth > 0 ? d->scaledWidth : d->width);
    case ATTRSCALEHEIGHT: return PushAttrNumber(state, d->scaledHeight > 0 ? d->scaledHeight : d->height);
    case ATTRBORDERLESS: return PushAttrFlag(state, d->flags & 0x1);
    case ATTRSIZEABLE: return PushAttrFlag(state, d->flags & 0x2);
    case ATTRFIXED: return PushAttrFlag(state, d->flags & 0x4);
    case ATTRNOMODESWITCH: return PushAttrFlag(state, d->flags & 0x8);
    case ATTRNOHIDE: return PushAttrFlag(state, d->flags & 0x20);
    case ATTRNOCLOSE: return PushAttrFlag(state, d->flags & 0x4000);
    case ATTRTITLE: return PushAttrString(state, d->title);
    case ATTRMARGINLEFT: return PushAttrNumber(state, d->textLeftMargin);
    case ATTRMARGINRIGHT: return PushAttrNumber(state, d->textRightMargin);
    case ATTROUTPUTDEVICE: return PushOutputDevice(state, d);
    case ATTRDOUBLEBUFFER: return PushAttrFlag(state, d->doubleBuffer);
    case ATTRHOSTDEPTH: return PushAttrNumber(state, 32);
    case ATTRMASKMODE: return PushAttrNumber(state, DrawModes().maskMode);
    case ATTRALPHAINTENSITY: return PushAttrNumber(state, DrawModes().alphaIntensity);
    case ATTRLAYERSON: return PushAttrFlag(state, d->layersEnabled);
    case ATTRORIENTATION: return PushAttrNumber(state, d->orientation);
    case ATTRKEYBOARD: return PushAttrNumber(state, 0);  // no on-screen keyboard on this platform
    case ATTRDENSITY: return PushAttrNumber(state, 0);
    case ATTRXDPI:
    case ATTRYDPI: return PushAttrNumber(state, 72);
    case ATTRMONITOR: return PushAttrNumber(state, d->monitor + 1);
    case ATTRADAPTER: return PushAttrString(state, AdapterName());
    case ATTRMENU: return PushOwnedId(state, d->menu ? &static_cast<const qzMenu*>(d->menu)->header : nullptr);
    default: return PushAttrNumber(state, CountMonitors());  // ATTRHOSTMONITORS
    }
}

int ReadBGPicAttribute(VmState* state, const qzAttributeQuery& q) {
    qzBGPic* pic = CheckBGPic(state, q.id, 0);
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, PictureWidth(pic));
    case ATTRHEIGHT: return PushAttrNumber(state, PictureHeight(pic));
    case ATTRTRANSPARENTCOLOR: return PushAttrNumber(state, (uint32_t)pic->transparentColor);
    case ATTRLAYERS: return PushAttrNumber(state, CountPictureLayers(pic));
    case ATTRTYPE: return PushAttrNumber(state, pic->type);
    case ATTRHASMASK: return PushAttrFlag(state, pic->mask != nullptr);
    case ATTRHASALPHA: return PushAttrFlag(state, pic->alpha != nullptr);
    case ATTRCLIPREGION:
        return PushOwnedId(state,
                           pic->clipRegion ? &static_cast<const qzClipRegion*>(pic->clipRegion)->header : nullptr);
    default: return PushAttrString(state, ImageLoaderName(pic->loader, pic->loaderInfo));  // ATTRLOADER
    }
}
