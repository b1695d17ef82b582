#include "display/display_tags.h"

#include <cstring>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_monitors.h"
#include "display/gradient_tags.h"
#include "display/menus.h"
#include "platform/host/backend_menus.h"
#include "runtime/applet_version.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kRegionBox = 14;  // the BOX shape type: the only region type

// Pushes table[key]; pops it again and returns false when it is nil.
bool PushField(VmState* state, int tableIndex, const char* key) {
    VmPushString(state, key);
    VmGetTable(state, tableIndex);
    if (VmType(state, -1) != VM_TNIL) return true;
    VmPop(state, 1);
    return false;
}

// Boolean tags and the flag each one sets or clears, in the order they are read.
const struct {
    const char* key;
    uint32_t flag;
} kFlagTags[] = {
    {"borderless", QZ_DISPF_BORDERLESS},
    {"sizeable", QZ_DISPF_SIZEABLE},
    {"fixed", QZ_DISPF_FIXED},
    {"nohide", QZ_DISPF_NOHIDE},
    {"nomodeswitch", QZ_DISPF_NOMODESWITCH},
    {"smoothscale", QZ_DISPF_SMOOTHSCALE},
    {"active", QZ_DISPF_ACTIVE},
    {"hidepointer", QZ_DISPF_HIDEPOINTER},
    {"usequartz", QZ_DISPF_USEQUARTZ},
    {"noclose", QZ_DISPF_NOCLOSE},
    {"keepproportions", QZ_DISPF_KEEPPROPORTIONS},
    {"fitscale", QZ_DISPF_FITSCALE},
    {"keepscreenon", QZ_DISPF_KEEPSCREENON},
    {"hidefromtaskbar", QZ_DISPF_HIDEFROMTASKBAR},
    {"hideoptionsmenu", QZ_DISPF_HIDEOPTIONSMENU},
    {"nohardwarescale", QZ_DISPF_NOHARDWARESCALE},
    {"disableblanker", QZ_DISPF_DISABLEBLANKER},
};

// A scaled size: a number of pixels (> 0) or "N%" of the display's size, kept as a percentage
// until the size is known.
struct ScaleTag {
    int given = 0;
    int isPercent = 0;
    double value = 0;
};

int ReadScaleTag(VmState* state, int tableIndex, const char* key, ScaleTag* tag) {
    if (!PushField(state, tableIndex, key)) return 0;
    int error = 0;
    tag->given = 1;
    if (VmType(state, -1) == VM_TSTRING) {
        double percent = 0;
        int isPercent = 0;
        error = ReadPercentText(VmToString(state, -1), 0, 1, &percent, &isPercent);
        if (error) {
            SetErrorArgString(key);
            error = ERR_PERCENTFORMATSTR;
        } else if (isPercent) {
            tag->isPercent = 1;
            tag->value = percent;  // a fraction: 0.5 for "50%"
        } else {
            tag->value = percent;
        }
    } else if (VmType(state, -1) == VM_TNUMBER) {
        tag->value = VmToNumber(state, -1);
    } else {
        VmPop(state, 1);
        SetErrorArgString(key);
        VmRaiseError(state, ERR_NUMTABLEARG);
    }
    VmPop(state, 1);
    if (error) return error;
    // A size of 0 (or less) cannot be scaled to.
    if (!tag->isPercent && VmNumberToInteger(tag->value) <= 0) return ERR_WRONGUSAGE;
    if (tag->isPercent && tag->value <= 0) return ERR_WRONGUSAGE;
    return 0;
}

int32_t ResolveScale(const ScaleTag& tag, int32_t base) {
    if (!tag.isPercent) return VmNumberToInteger(tag.value);
    return VmNumberToInteger(static_cast<double>(base) * tag.value);
}

// 1 when some display made the picture itself.
int PictureMadeByDisplay(const qzBGPic* pic) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->ownsBGPic && d->bgpic == pic) return 1;
    return 0;
}

int ReadFillTags(VmState* state, int tableIndex, qzPictureFill* fill) {
    int32_t value = 0;
    if (GetTableFieldInt(state, tableIndex, "fillstyle", &value, nullptr)) {
        if (value < QZ_FILLCOLOR || value > QZ_FILLTEXTURE) return ERR_WRONGUSAGE;
        fill->style = value;
    }
    if (fill->style == QZ_FILLGRADIENT) return ReadGradientTags(state, tableIndex, &fill->gradient);
    if (fill->style == QZ_FILLTEXTURE) {
        GetTableFieldObjectId(state, tableIndex, "texturebrush", &fill->textureBrush, nullptr);
        GetTableFieldInt(state, tableIndex, "texturex", &fill->textureX, nullptr);
        GetTableFieldInt(state, tableIndex, "texturey", &fill->textureY, nullptr);
        return 0;
    }
    if (GetTableFieldBool(state, tableIndex, "color", &value, nullptr)) fill->color = static_cast<uint32_t>(value);
    return 0;
}

}  // namespace

int ReadRegionTable(VmState* state, int valueIndex, qzRegion* regions, int32_t* count) {
    valueIndex = VmAbsIndex(state, valueIndex);
    VmCheckTable(state, valueIndex);
    int32_t n = 0;
    for (;; n++) {
        VmRawGetI(state, valueIndex, n);
        if (VmType(state, -1) == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        // A list longer than the record holds is refused rather than cut.
        if (n == QZ_MAX_REGIONS) {
            VmPop(state, 1);
            return ERR_WRONGUSAGE;
        }
        int entry = VmGetTop(state);
        VmCheckTable(state, entry);
        qzRegion r;
        r.type = kRegionBox;
        GetTableFieldInt(state, entry, "type", &r.type, nullptr);
        int haveX = GetTableFieldInt(state, entry, "x", &r.x, nullptr);
        int haveY = GetTableFieldInt(state, entry, "y", &r.y, nullptr);
        int haveWidth = GetTableFieldInt(state, entry, "width", &r.width, nullptr);
        int haveHeight = GetTableFieldInt(state, entry, "height", &r.height, nullptr);
        VmPop(state, 1);
        if (r.type != kRegionBox) return ERR_WRONGUSAGE;
        if (!haveX || !haveY || !haveWidth || !haveHeight) return ERR_MISSINGPARAMTR;
        if (r.x < 0 || r.y < 0 || r.width < 1 || r.height < 1) return ERR_WRONGUSAGE;
        regions[n] = r;
    }
    *count = n;
    return 0;
}

int ReadMonitorTag(VmState* state, int tableIndex, int32_t* monitor, int* given) {
    int32_t value = 0;
    if (!GetTableFieldInt(state, tableIndex, "monitor", &value, nullptr)) return 0;
    if (value > 1 && !CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    if (value < 1 || value > CountMonitors()) return ERR_MONITORRANGE;
    *monitor = value - 1;
    if (given) *given = 1;
    return 0;
}

int ReadDisplayTags(VmState* state, int tableIndex, qzDisplay* d, int creating, int* scaleChanged,
                    int* orientationChanged) {
    tableIndex = VmAbsIndex(state, tableIndex);
    const bool readAll = creating || !IsVideoRecording();
    ScaleTag scaleWidth, scaleHeight;
    int scaleOff = 0;
    int error = 0;

    if (readAll) {
        if (PushField(state, tableIndex, "dragregion")) {
            qzRegion regions[QZ_MAX_REGIONS];
            int32_t count = 0;
            error = ReadRegionTable(state, -1, regions, &count);
            VmPop(state, 1);
            if (error) return error;
            std::memcpy(d->dragRegions, regions, sizeof regions);
            std::memcpy(d->dragRegionsScript, regions, sizeof regions);
            d->dragRegionCount = count;
            d->dragRegionsGiven = 1;
        }
        if (PushField(state, tableIndex, "sizeregion")) {
            qzRegion regions[QZ_MAX_REGIONS];
            int32_t count = 0;
            error = ReadRegionTable(state, -1, regions, &count);
            VmPop(state, 1);
            if (error) return error;
            std::memcpy(d->sizeRegions, regions, sizeof regions);
            std::memcpy(d->sizeRegionsScript, regions, sizeof regions);
            d->sizeRegionCount = count;
            d->sizeRegionsGiven = 1;
        }
        for (const auto& tag : kFlagTags) {
            int32_t on = 0;
            if (!GetTableFieldBool(state, tableIndex, tag.key, &on, nullptr)) continue;
            if (on)
                d->flags |= tag.flag;
            else
                d->flags &= ~tag.flag;
        }
        int xGiven = GetTableFieldInt(state, tableIndex, "x", &d->x, nullptr);
        int yGiven = GetTableFieldInt(state, tableIndex, "y", &d->y, nullptr);
        error = ReadScaleTag(state, tableIndex, "scalewidth", &scaleWidth);
        if (!error) error = ReadScaleTag(state, tableIndex, "scaleheight", &scaleHeight);
        if (error) return error;
        if ((scaleWidth.given || scaleHeight.given) && scaleChanged) *scaleChanged = 1;
        int32_t mode = 0;
        if (GetTableFieldInt(state, tableIndex, "scalemode", &mode, nullptr)) {
            if (mode < 0 || mode > 2) return ERR_WRONGUSAGE;
            d->flags &= ~(QZ_DISPF_AUTOSCALE | QZ_DISPF_LAYERSCALE);
            if (mode == 1) d->flags |= QZ_DISPF_AUTOSCALE;
            if (mode == 2) d->flags |= QZ_DISPF_LAYERSCALE;
            if (mode == 0) scaleOff = 1;
        }
        if (GetTableFieldInt(state, tableIndex, "orientation", &d->orientation, nullptr) && orientationChanged)
            *orientationChanged = 1;
        if (PushField(state, tableIndex, "menu")) {
            VmPop(state, 1);
            if (IsDisplayAdapterActive()) return ERR_DISPLAYADAPTERSUPPORT;
            qzObjectId menuId = {0, nullptr};
            GetTableFieldObjectId(state, tableIndex, "menu", &menuId, nullptr);
            if (!menuId.pointer && menuId.number == -1) {
                d->menu = nullptr;
            } else {
                qzMenu* menu = nullptr;
                error = FindDisplayMenu(menuId, &menu);
                if (error) return error;
                d->menu = menu;
            }
            // An open window shows the new menu bar at once.
            if (!creating && d->window) MacResetWindowMenu(d->window, DisplayMenuTree(d));
        }
        int monitorGiven = 0;
        error = ReadMonitorTag(state, tableIndex, &d->monitor, &monitorGiven);
        if (error) return error;
        if (monitorGiven && !creating) {
            // A new monitor centres what the table does not place.
            if (!xGiven) {
                d->x = QZ_POS_CENTER;
                d->centerOnMonitorX = 1;
            }
            if (!yGiven) {
                d->y = QZ_POS_CENTER;
                d->centerOnMonitorY = 1;
            }
        }
    }

    if (scaleOff) {
        // Switching scaling off while drawing collects changed rectangles: all of the picture
        // changes.
        if (d->autoScale && d->scaledWidth && d->scaledHeight && (d->doubleBuffer || d->outputKind != QZ_TYPE_DISPLAY))
            MarkRectListFull(&d->rectList);
        d->scaledWidth = d->scaledHeight = 0;
        d->letterboxLeft = d->letterboxTop = d->letterboxRight = d->letterboxBottom = 0;
    }

    bool pictureGiven = false;
    // The picture whose fill the fill tags change: the named one, else the current display's.
    qzBGPic* fillTarget = creating ? nullptr : CurrentDisplay() ? CurrentDisplay()->bgpic : nullptr;
    if (PushField(state, tableIndex, "bgpic")) {
        VmPop(state, 1);
        qzObjectId picId = {0, nullptr};
        GetTableFieldObjectId(state, tableIndex, "bgpic", &picId, nullptr);
        qzBGPic* pic = nullptr;
        error = FindBGPic(state, picId, &pic, 0);
        if (error) return error;
        for (qzDisplay* other = FirstDisplay(); other; other = NextDisplay(other)) {
            if (other->bgpic != pic) continue;
            if (creating || other != CurrentDisplay()) return ERR_MULTIBGPIC;
        }
        d->bgpic = pic;
        d->width = pic->scaledWidth;
        d->height = pic->scaledHeight;
        d->fill.style = pic->fill.style;
        d->fill.color = pic->fill.color;
        d->fill.textureBrush = pic->fill.textureBrush;
        d->fill.textureX = pic->fill.textureX;
        d->fill.textureY = pic->fill.textureY;
        d->fill.gradient = pic->fill.gradient;
        pictureGiven = true;
        fillTarget = pic;
    }
    if (!pictureGiven || !creating) {
        int32_t size = 0;
        if (GetTableFieldInt(state, tableIndex, "width", &size, nullptr)) {
            if (size < 1) return ERR_WRONGUSAGE;
            d->width = size;
        }
        if (GetTableFieldInt(state, tableIndex, "height", &size, nullptr)) {
            if (size < 1) return ERR_WRONGUSAGE;
            d->height = size;
        }
        if (creating) {
            d->fill.style = QZ_FILLCOLOR;
            error = ReadFillTags(state, tableIndex, &d->fill);
        } else if (fillTarget && PictureMadeByDisplay(fillTarget)) {
            error = ReadFillTags(state, tableIndex, &d->fill);
        }
        if (error) return error;
    }

    if (readAll) {
        if (PushField(state, tableIndex, "title")) {
            size_t length = 0;
            const char* title = VmCheckStringNamed(state, -1, "title", &length);
            if (length >= QZ_DISPLAY_TITLE_SIZE || std::memchr(title, 0, length)) {
                VmPop(state, 1);
                return ERR_WRONGUSAGE;
            }
            std::memcpy(d->title, title, length);
            d->title[length] = 0;
            VmPop(state, 1);
        }
        if (scaleWidth.given) d->scaledWidth = ResolveScale(scaleWidth, d->width);
        if (scaleHeight.given) d->scaledHeight = ResolveScale(scaleHeight, d->height);
        if ((scaleWidth.given && d->scaledWidth < 1) || (scaleHeight.given && d->scaledHeight < 1))
            return ERR_WRONGUSAGE;
        d->autoScale = (d->flags & QZ_DISPF_AUTOSCALE) ? 1 : 0;
        d->layerScale = (d->flags & QZ_DISPF_LAYERSCALE) ? 1 : 0;
        d->smoothScale = (d->flags & QZ_DISPF_SMOOTHSCALE) ? 1 : 0;
        if (d->monitor >= CountMonitors()) return ERR_MONITORRANGE;
    }
    return 0;
}

const char* GetDisplayModeName(int32_t mode) {
    switch (mode) {
    case QZ_DISPMODE_WINDOWED: return "windowed";
    case QZ_DISPMODE_FULLSCREEN: return "fullscreen";
    case QZ_DISPMODE_ASK: return "ask";
    case QZ_DISPMODE_MODEREQUESTER: return "moderequester";
    case QZ_DISPMODE_FAKEFULLSCREEN: return "fakefullscreen";
    default: return nullptr;
    }
}

const char* GetBackfillTypeName(int32_t type) {
    switch (type) {
    case 1: return "color";
    case 2: return "gradient";
    case 3: return "texture";
    case 4: return "picture";
    default: return nullptr;
    }
}

int ReadBackfillOptions(VmState* state, int tableIndex, qzBackfillSettings* backfill) {
    tableIndex = VmAbsIndex(state, tableIndex);
    if (!PushField(state, tableIndex, "backfill")) return 0;
    VmCheckTable(state, -1);
    int t = VmGetTop(state);
    qzBackfillSettings b;
    InitBackfillSettings(&b);
    char name[256];
    int error = 0;
    if (GetTableFieldStringBuf(state, t, "type", name, sizeof name, nullptr)) {
        b.type = -1;
        for (int32_t type = 1; type <= 4; type++)
            if (CompareNoCase(name, GetBackfillTypeName(type)) == 0) b.type = type;
        if (b.type < 0) error = ERR_WRONGUSAGE;
    }
    int32_t v = 0;
    if (GetTableFieldBool(state, t, "color", &v, nullptr)) b.startColor = v;
    if (GetTableFieldBool(state, t, "startcolor", &v, nullptr)) b.startColor = v;
    if (GetTableFieldBool(state, t, "endcolor", &v, nullptr)) b.endColor = v;
    GetTableFieldInt(state, t, "x", &b.x, nullptr);
    GetTableFieldInt(state, t, "y", &b.y, nullptr);
    GetTableFieldInt(state, t, "brush", &b.brush, nullptr);
    GetTableFieldInt(state, t, "scalepicture", &b.scalePicture, nullptr);
    GetTableFieldInt(state, t, "hidetitlebar", &b.hideTitleBar, nullptr);
    GetTableFieldInt(state, t, "smoothscale", &b.smoothScale, nullptr);
    VmPop(state, 1);
    if (error) return error;
    // The picture file comes from the player's options only; a table keeps the one set.
    b.pictureFile = backfill->pictureFile;
    *backfill = b;
    return 0;
}

int ReadDisplayModeOptions(VmState* state, int tableIndex, qzScreenOptions* options) {
    tableIndex = VmAbsIndex(state, tableIndex);
    char name[256];
    if (GetTableFieldStringBuf(state, tableIndex, "mode", name, sizeof name, nullptr)) {
        int32_t mode = 0;
        for (int32_t m : {1, 2, 3, 4, 6})
            if (CompareNoCase(name, GetDisplayModeName(m)) == 0) mode = m;
        if (!mode) return ERR_WRONGUSAGE;
        options->displayMode = mode;
    }
    GetTableFieldInt(state, tableIndex, "scrwidth", &options->screenWidth, nullptr);
    GetTableFieldInt(state, tableIndex, "scrheight", &options->screenHeight, nullptr);
    GetTableFieldInt(state, tableIndex, "scrdepth", &options->screenDepth, nullptr);
    GetTableFieldInt(state, tableIndex, "desktop", &options->desktop, nullptr);
    return ReadBackfillOptions(state, tableIndex, &options->backfill);
}
