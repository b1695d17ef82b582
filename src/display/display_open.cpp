// Opening displays: the display mode (window, full screen, fake full screen, desktop, asking the
// user), the backdrop behind a full screen, realising the window, and the start-up displays.
#include <cstdio>
#include <string>
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_life.h"
#include "display/display_links.h"
#include "display/display_monitors.h"
#include "display/display_pixels.h"
#include "display/display_present.h"
#include "display/display_refresh.h"
#include "display/display_scale.h"
#include "display/object_types.h"
#include "display/requesters.h"
#include "gfx/bitmap.h"
#include "platform/host/platform_hooks.h"
#include "platform/os_console.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/option_table.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The backdrop picture of a full screen: a colour, a gradient or a brush over the monitor.
int MakeBackdropPicture(VmState* state, const qzBackfillSettings& b, int32_t width, int32_t height, qzBGPic** out) {
    *out = nullptr;
    const qzObjectId automatic = {0, QZ_AUTO_ID};
    qzObjectBitmaps brush;
    if (b.type == 3 || b.type == 4) {
        const qzObjectId brushId = {b.brush, nullptr};
        int error = GetObjectBitmaps(state, QZ_TYPE_BRUSH_OBJECT, brushId, 0, &brush);
        if (error) return error;
    }
    qzPictureFill fill;
    fill.valid = 1;
    if (b.type == 3) {
        fill.style = QZ_FILLTEXTURE;
        fill.textureBrush = {b.brush, nullptr};
    } else if (b.type == 2 || (b.type == 4 && b.startColor != -1 && b.endColor != -1)) {
        fill.style = QZ_FILLGRADIENT;
        InitGradientSettings(&fill.gradient);
        fill.gradient.startColor = uint32_t(b.startColor == -1 ? 0 : b.startColor);
        fill.gradient.endColor = uint32_t(b.endColor == -1 ? 0 : b.endColor);
    } else {
        fill.style = QZ_FILLCOLOR;
        fill.color = uint32_t(b.startColor == -1 ? 0 : b.startColor);
    }
    qzBitMap* bitmap = NewDisplayBitmap(width, height);
    if (!bitmap) return ERR_BITMAP;
    int error = RenderBackfill(state, &fill, bitmap, width, height, nullptr, 0);
    if (!error && b.type == 4 && brush.bitmap) {
        int32_t x = ResolveDisplayX(b.x, brush.width, width), y = ResolveDisplayY(b.y, brush.height, height);
        CopyBitmapRect(brush.bitmap, 0, 0, bitmap, x, y, brush.width, brush.height);
    }
    qzBitMap* texture = fill.texture;
    fill.texture = nullptr;
    if (error) {
        DeleteBitMap(bitmap);
        DeleteBitMap(texture);
        return error;
    }
    error = AddBGPic(automatic, fill.style == QZ_FILLCOLOR ? QZ_PICTURE_RASTER : QZ_PICTURE_GENERATED, width, height,
                     nullptr, bitmap, nullptr, nullptr, &fill, out);
    if (error) {
        DeleteBitMap(texture);
        return error;
    }
    (*out)->fill.texture = texture;
    return 0;
}

// Makes the backdrop picture and the borderless backdrop display behind a full screen.
int CreateBackfillObjects(VmState* state, qzDisplay* d, const qzBackfillSettings& b) {
    int32_t mx = 0, my = 0, mw = 0, mh = 0;
    int error = GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
    if (error) return error;
    const int32_t top = b.hideTitleBar ? 0 : GetMenuBarHeight(d);
    qzBGPic* pic = nullptr;
    error = MakeBackdropPicture(state, b, mw, mh - top, &pic);
    if (error) return error;
    d->backdropBGPic = pic->header.id;

    const int base = VmGetTop(state);
    VmNewTable(state);
    SetTableFieldInt(state, "y", top);
    SetTableFieldInt(state, "borderless", 1);
    SetTableFieldInt(state, "fixed", 1);
    SetTableFieldObjectId(state, "bgpic", pic->header.id);
    SetTableFieldInt(state, "hidepointer", 1);
    SetTableFieldInt(state, "monitor", d->monitor + 1);
    SetTableFieldInt(state, "__backfill", 1);
    qzDisplay* backdrop = nullptr;
    error = CreateDisplayCore(state, {0, QZ_AUTO_ID}, VmGetTop(state), &backdrop);
    VmSetTop(state, base);
    if (error) return error;
    if (d->flags & QZ_DISPF_FAKEFULLSCREEN) backdrop->flags |= QZ_DISPF_FAKEFULLSCREEN;
    backdrop->fullScreen = d->fullScreen;
    backdrop->owner = d;
    d->backdropDisplay = backdrop->header.id;
    return 0;
}

// The display of a backdrop identifier, or null.
qzDisplay* BackdropOf(const qzDisplay* d) {
    qzDisplay* backdrop = nullptr;
    if (!d->backdropDisplay.pointer && !d->backdropDisplay.number) return nullptr;
    FindDisplayById(d->backdropDisplay, &backdrop);
    return backdrop;
}

// Full-screen displays on other monitors keep their places relative to their monitors while a
// mode changes: their positions lose (sign -1) or get back (sign 1) their monitor's origin.
void ShiftOtherFullScreens(const qzDisplay* d, int sign, bool moveWindows) {
    std::vector<qzMonitorRect> monitors;
    if (!GetMonitorRects(&monitors)) return;
    for (qzDisplay* o = FirstDisplay(); o; o = NextDisplay(o)) {
        if (o == d || !o->fullScreen || o->monitor == d->monitor || o->monitor < 0 ||
            size_t(o->monitor) >= monitors.size())
            continue;
        o->x += sign * monitors[size_t(o->monitor)].x;
        o->y += sign * monitors[size_t(o->monitor)].y;
        if (moveWindows && o->state == QZ_DISPSTATE_OPEN) MoveDisplayWindow(o);
    }
}

bool AnyFullScreenOrBackdrop() {
    for (qzDisplay* o = FirstDisplay(); o; o = NextDisplay(o))
        if (o->fullScreen || o->backfillDisplay || o->modeOptions.desktop) return true;
    return false;
}

}  // namespace

int OpenDisplayCore(VmState* state, qzDisplay* d, int modeWord) {
    qzScreenOptions& options = d->modeOptions;
    const bool adapter = IsDisplayAdapterActive() != 0;
    int error = 0;

    if (options.desktop) {
        if (adapter) return ERR_DISPLAYADAPTERSUPPORT;
        if (d->autoScale || d->layerScale) return ERR_DDAUTOSCALE;
        options.displayMode = QZ_DISPMODE_WINDOWED;
        d->flags = QZ_DISPF_BORDERLESS | QZ_DISPF_FIXED | QZ_DISPF_NOMODESWITCH | QZ_DISPF_NOHIDE | QZ_DISPF_ACTIVE;
    }
    int32_t mode = options.displayMode;
    if (mode == QZ_DISPMODE_ASK) {
        int button = 0;
        error = AskDisplayButtons(state, d, d->title, GetCatalogText(QZ_MSG_SELECTDISPMODE),
                                  GetCatalogText(QZ_MSG_DISPMODECHOICES), &button);
        if (error) return error;
        mode = button == 1 ? QZ_DISPMODE_FULLSCREEN : button == 2 ? QZ_DISPMODE_WINDOWED : QZ_DISPMODE_MODEREQUESTER;
    }
    if (mode == QZ_DISPMODE_MODEREQUESTER) {
        std::vector<qzModeSize> modes;
        error = GetSortedDisplayModes(d->monitor, &modes);
        if (error) return error;
        std::vector<std::string> choices;
        int preselect = -1;
        for (size_t i = 0; i < modes.size(); i++) {
            choices.push_back(std::to_string(modes[i].width) + "x" + std::to_string(modes[i].height));
            if (preselect < 0 && modes[i].width >= d->width && modes[i].height >= d->height) preselect = int(i);
        }
        int index = -1;
        error = AskDisplayList(state, d, d->title, GetCatalogText(QZ_MSG_SELECTDISPMODE), choices,
                               preselect < 0 ? 0 : preselect, &index);
        if (error) return error;
        if (index < 0 || size_t(index) >= modes.size()) return ERR_USERABORT;
        options.screenWidth = modes[size_t(index)].width;
        options.screenHeight = modes[size_t(index)].height;
        mode = QZ_DISPMODE_FULLSCREEN;
    }
    if (mode == QZ_DISPMODE_FAKEFULLSCREEN) {
        d->flags |= QZ_DISPF_FAKEFULLSCREEN | QZ_DISPF_BORDERLESS | QZ_DISPF_FIXED;
    } else {
        if (!(modeWord & QZ_OPEN_SWITCH)) d->flags &= ~QZ_DISPF_FAKEFULLSCREEN;
        if (mode == QZ_DISPMODE_FULLSCREEN && !(modeWord & QZ_OPEN_SWITCH) && !(d->flags & QZ_DISPF_KEEPTITLEBAR))
            d->flags |= QZ_DISPF_BORDERLESS | QZ_DISPF_FIXED;
    }
    const bool goingFull = mode == QZ_DISPMODE_FULLSCREEN;

    // The screen mode a full screen needs.
    if (goingFull && !(options.screenWidth > 0 && options.screenHeight > 0) && DetermineBorderSizes(d) == 0) {
        int32_t mx = 0, my = 0, mw = 0, mh = 0;
        GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
        int32_t needWidth = d->width + d->borderHorizontal, needHeight = d->height + d->borderVertical;
        const int32_t availWidth = options.screenWidth > 0 ? options.screenWidth : mw;
        const int32_t availHeight = options.screenHeight > 0 ? options.screenHeight : mh;
        if (needWidth > availWidth || needHeight > availHeight) {
            if (d->width <= availWidth && d->height <= availHeight) {
                d->flags |= QZ_DISPF_BORDERLESS;
                DetermineBorderSizes(d);
                needWidth = d->width + d->borderHorizontal;
                needHeight = d->height + d->borderVertical;
            } else {
                if (options.screenWidth > 0 && options.screenWidth < needWidth) options.screenWidth = 0;
                if (options.screenHeight > 0 && options.screenHeight < needHeight) options.screenHeight = 0;
            }
        }
        if (options.screenWidth <= 0) options.screenWidth = needWidth;
        if (options.screenHeight <= 0) options.screenHeight = needHeight;
    }

    // The backdrop.
    qzBackfillSettings backfill = options.backfill;
    if (!adapter && !options.desktop && !(d->flags & QZ_DISPF_NOBACKDROP)) {
        if (backfill.type <= 0 && (goingFull || mode == QZ_DISPMODE_FAKEFULLSCREEN)) {
            InitBackfillSettings(&backfill);
            backfill.type = 1;
            backfill.startColor = 0;
            backfill.hideTitleBar = (d->flags & QZ_DISPF_KEEPTITLEBAR) ? 0 : 1;
        }
    } else {
        backfill.type = 0;
        backfill.hideTitleBar = 1;
    }
    if (d->backfillDisplay) backfill.type = 0;

    int32_t fade = 0;
    if (goingFull || (modeWord & QZ_OPEN_SWITCH)) {
        if (!adapter) {
            for (qzDisplay* o = FirstDisplay(); o; o = NextDisplay(o)) {
                if (o == d || o->backfillDisplay || !o->fullScreen || o->monitor != d->monitor) continue;
                SetErrorArgIndex(d->monitor + 1);
                return ERR_MONITORFULLSCREEN;
            }
        }
        if (modeWord & QZ_OPEN_SWITCH) {
            if (!goingFull && !d->fullScreen) return 0;
            if (goingFull && d->fullScreen) {
                int32_t mx = 0, my = 0, mw = 0, mh = 0;
                if (GetDisplayMonitorRect(d, &mx, &my, &mw, &mh) == 0 && mw == options.screenWidth &&
                    mh == options.screenHeight)
                    return 0;
            }
        }
        if ((modeWord & QZ_OPEN_OWNMONITOR) && !d->fullScreen) d->monitor = GetMonitorOfDisplay(d);
        if (!adapter) fade = FadeDisplaysOut();
    }
    const bool wasFullScreen = d->fullScreen != 0;
    if (modeWord & QZ_OPEN_SWITCH) {
        error = CloseDisplayCore(
            state, d, nullptr,
            (modeWord & QZ_OPEN_MONITORCHANGE) ? QZ_CLOSE_KEEPOBJECTS : QZ_CLOSE_KEEPOBJECTS | QZ_CLOSE_NOMODERESTORE);
        FreeBackfillObjects(state, d);
        if (error) {
            FadeDisplaysIn(fade);
            return error;
        }
        // The record keeps whether the screen mode is still switched.
        d->fullScreen = wasFullScreen ? 1 : 0;
    }
    const bool shiftOthers = !adapter && (goingFull || (modeWord & QZ_OPEN_SWITCH));
    if (shiftOthers) ShiftOtherFullScreens(d, -1, false);
    SetFullScreenUIMode(!goingFull && !AnyFullScreenOrBackdrop() ? 0 : backfill.hideTitleBar ? 2 : 1);

    bool switched = false;
    if (!adapter && (goingFull || (modeWord & QZ_OPEN_SWITCH))) {
        if (!goingFull) {
            error = RestoreDisplayScreenMode(d, d->monitor);
            d->fullScreen = 0;
        } else {
            error = SwitchDisplayScreenMode(d, options.screenWidth, options.screenHeight, options.screenDepth);
            if (!error) {
                d->fullScreen = 1;
                switched = true;
            }
        }
    } else if (adapter) {
        d->fullScreen = goingFull ? 1 : 0;
    }
    // On any failure from here on the screen mode goes back.
    auto fail = [&](int code) {
        if (switched) {
            RestoreDisplayScreenMode(d, d->monitor);
            d->fullScreen = 0;
        }
        if (shiftOthers) ShiftOtherFullScreens(d, 1, false);
        FadeDisplaysIn(fade);
        return code;
    };
    if (error) return fail(error);

    if (modeWord & QZ_OPEN_STARTUP) {
        error = PrepareObjectsForDisplay(state, d);
        if (error) return fail(error);
    }
    if (backfill.type > 0) {
        error = CreateBackfillObjects(state, d, backfill);
        if (error) {
            FreeBackfillObjects(state, d);
            return fail(error);
        }
    }
    if (modeWord & QZ_OPEN_SWITCH) {
        if (!goingFull) {
            if (d->savedGeometry) {
                d->x = d->savedX;
                d->y = d->savedY;
                d->flags = d->savedFlags;
                d->savedGeometry = 0;
            } else {
                d->x = d->y = QZ_POS_CENTER;
                d->centerOnMonitorX = d->centerOnMonitorY = 1;
                d->flags &= ~(QZ_DISPF_BORDERLESS | QZ_DISPF_FIXED);
            }
        } else {
            if (!wasFullScreen) {
                d->savedX = d->x;
                d->savedY = d->y;
                d->savedFlags = d->flags;
                d->savedGeometry = 1;
            }
            d->x = d->y = QZ_POS_CENTER;
            d->centerOnMonitorX = d->centerOnMonitorY = 1;
            d->flags |= QZ_DISPF_BORDERLESS | QZ_DISPF_FIXED;
            d->flags &= ~QZ_DISPF_SIZEABLE;
        }
        d->bordersKnown = 0;
        d->activateOnOpen = 1;
    }
    if (qzDisplay* backdrop = BackdropOf(d)) {
        error = RealizeDisplay(state, backdrop, 0, 1);
        if (error) {
            FreeBackfillObjects(state, d);
            return fail(error);
        }
    }
    error = RealizeDisplay(state, d, d->activateOnOpen, 1);
    if (error) {
        FreeBackfillObjects(state, d);
        return fail(error);
    }
    if (shiftOthers) ShiftOtherFullScreens(d, 1, true);
    FadeDisplaysIn(fade);
    return 0;
}

int RealizeDisplay(VmState* state, qzDisplay* d, int activate, int restoreObjects) {
    int32_t mx = 0, my = 0, mw = 0, mh = 0;
    int error = GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
    if (error) return error;
    error = DetermineBorderSizes(d);
    if (error) return error;
    if ((d->autoScale || d->layerScale) && d->scaledWidth && d->scaledHeight) ScaleDisplayRegions(d);
    if (d->monitor == 0) d->centerOnMonitorX = d->centerOnMonitorY = 0;
    d->x = int32_t(int64_t(ResolveDisplayX(d->x, d->width + d->borderHorizontal, mw)) + (d->centerOnMonitorX ? mx : 0));
    d->y = int32_t(int64_t(ResolveDisplayY(d->y, d->height + d->borderVertical, mh)) + (d->centerOnMonitorY ? my : 0));
    d->centerOnMonitorX = d->centerOnMonitorY = 0;
    ApplyDefaultRegions(d);

    const qzBitMap* shapeMask = d->shapeMask;
    const qzBitMap* shapeAlpha = d->shapeAlpha;
    if (!shapeMask && !shapeAlpha && d->bgpic) {
        shapeMask = d->bgpic->mask;
        shapeAlpha = d->bgpic->alpha;
    }
    error = OpenDisplayWindow(state, d, activate, shapeMask, shapeAlpha);
    if (error) return error;
    d->shapedWithAlpha = shapeAlpha != nullptr;

    if (restoreObjects) {
        const qzDisplayLinks& links = DisplayLinks();
        error = links.restoreHardwareBrushes(state, d);
        if (error) return error;
    }
    d->activateOnOpen = activate;
    d->state = QZ_DISPSTATE_OPEN;
    UpdateDisplayWindowSettings(d);

    const bool windowed = !d->fullScreen && !(d->flags & QZ_DISPF_FAKEFULLSCREEN);
    if ((!(d->flags & QZ_DISPF_HIDEPOINTER) || windowed) && !d->pointerHidden)
        SetDisplayPointer(d, d->pointerImage);
    else
        ShowHideDisplayPointer(d, 0);

    RefreshDisplay(state, d, QZ_REFRESH_WHILEHIDDEN);
    StampDisplayFrame(d);
    return 0;
}

int PrepareObjectsForDisplay(VmState* state, qzDisplay*) {
    const qzDisplayLinks& links = DisplayLinks();
    int error = links.recreateBrushBitmaps(state);
    if (!error) error = RecreateBGPicBitmaps(state);
    if (!error) error = links.recreateSpriteFrames(state);
    if (error) return error;
    PrintProgressDone();
    if (!IsRuntimeQuiet()) PrintConsole("%s\n", GetCatalogText(QZ_MSG_ANDACTION));
    SetRuntimeAttrs(state, {{QZ_RTA_QUIET, 1}});
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        if (d->modeOptions.desktop && d->bgpic && d->bgpic->bitmap) {
            int32_t mx = 0, my = 0, mw = 0, mh = 0;
            error = GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
            if (error) return error;
            qzBitMap** grab = DesktopGrabSlot();
            DeleteBitMap(*grab);
            *grab = nullptr;
            error = GrabDisplayPixels(d, mx, my, mw, mh, grab);
            if (error) return error;
            CopyBitmapRect(*grab, 0, 0, d->bgpic->bitmap, 0, 0, mw, mh);
        }
    }
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        if (!d->bgpic) continue;
        error = SetupDisplayBuffers(state, d);
        if (error) return error;
    }
    return 0;
}

int OpenStartupDisplays(VmState* state) {
    if (!OpenStartupDisplaysQuery()) return ERR_USERABORT;
    int error = 0;
    if (!IsDisplayAdapterActive()) {
        error = InitDisplaySystem();
        if (error) return error;
    }
    PrintProgressStart(GetCatalogText(QZ_MSG_PREPARINGDISPLAY), nullptr, true);
    bool opened = false;
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        if (d->state != QZ_DISPSTATE_CLOSED || (d->flags & QZ_DISPF_HIDDEN)) continue;
        d->activateOnOpen = (d->flags & QZ_DISPF_ACTIVE) ? 1 : 0;
        error = OpenDisplayCore(state, d, opened ? 0 : QZ_OPEN_STARTUP);
        if (error) return error;
        opened = true;
    }
    if (!opened) {
        error = PrepareObjectsForDisplay(state, FirstDisplay());
        if (error) return error;
    }
    qzDisplay* current = nullptr;
    for (qzDisplay* d = FirstDisplay(); d && !current; d = NextDisplay(d))
        if (!(d->flags & QZ_DISPF_HIDDEN) && (d->flags & QZ_DISPF_ACTIVE) && !d->backfillDisplay) current = d;
    if (!current) FindDisplayById({1, nullptr}, &current);
    if (!current) current = FirstDisplay();
    if (current) {
        if (current->state == QZ_DISPSTATE_OPEN) ActivateDisplayWindow(current, 1);
        SetCurrentDisplay(current);
        SetCurrentBGPic(current->bgpic);
    }
    return DisplayLinks().recreateBrushBitmaps(state);
}
