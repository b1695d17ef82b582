// The directive run: display settings, plugin requirements and the preload calls.
#include "player/directives.h"

#include "runtime/plugin_manager.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/charset.h"
#include "base/error_codes.h"
#include "base/number_literal.h"
#include "gfx/image_cache.h"
#include "platform/chunk_name.h"
#include "platform/os_host_file.h"
#include "player/startup.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/runtime.h"
#include "runtime/script_call.h"
#include "vm/vm.h"
#include "vm/vm_runtime_link.h"

namespace {

int directiveLine = -1;

bool IsImageType(int type) { return type == QZ_DIR_BRUSH || type == QZ_DIR_SPRITE || type == QZ_DIR_ANIM; }

// ---------------------------------------------------------------------------------------------
// Table fields. Each setter stores into the table on the stack top.

void SetNumberField(VmState* state, const char* key, double value) {
    VmPushString(state, key);
    VmPushNumber(state, value);
    VmRawSet(state, -3);
}

void SetStringField(VmState* state, const char* key, const std::string& value) {
    VmPushString(state, key);
    VmPushLString(state, value.data(), value.size());
    VmRawSet(state, -3);
}

// Sets key to the table that was pushed last and pops it.
void SetTableField(VmState* state, const char* key) {
    VmPushString(state, key);
    VmInsert(state, -2);
    VmRawSet(state, -3);
}

void SetLoaderFields(VmState* state, const qzDirective& d) {
    if (!d.loader.empty()) SetStringField(state, "loader", d.loader);
    if (!d.adapter.empty()) SetStringField(state, "adapter", d.adapter);
}

void SetLoadFlagFields(VmState* state, const qzDirective& d) {
    if (d.value != -1) SetNumberField(state, "transparency", d.value);
    if (d.flags & 1)
        SetNumberField(state, "loadalpha", 1);
    else if (d.flags & 2)
        SetNumberField(state, "loadtransparency", 1);
}

void SetCacheFields(VmState* state, const qzDirective& d) {
    if (d.image.cache) {
        SetStringField(state, "cache", d.name);
        SetNumberField(state, "cachealpha", d.image.cacheAlpha);
    }
    if (d.image.cachedLoad) SetStringField(state, "cachedload", d.name);
}

// The option table of a BRUSH, ANIM or SPRITE directive.
void PushImageOptions(VmState* state, const qzDirective& d) {
    const qzImageDirectiveData& im = d.image;
    VmNewTable(state);
    SetLoadFlagFields(state, d);
    SetNumberField(state, "width", im.width);
    SetNumberField(state, "height", im.height);
    SetNumberField(state, "x", im.x);
    SetNumberField(state, "y", im.y);
    if (d.type == QZ_DIR_BRUSH) {
        if (im.globalAlpha != -1) SetNumberField(state, "globalalpha", im.globalAlpha);
        SetNumberField(state, "hardware", im.hardware);
    } else {
        SetNumberField(state, "frames", im.frames);
        SetNumberField(state, "fpr", im.framesPerRow);
        if (d.type == QZ_DIR_ANIM) {
            SetNumberField(state, "fromdisk", im.fromDisk);
            SetNumberField(state, "skiploopframes", im.skipLoopFrames);
            SetNumberField(state, "deinterlace", im.deinterlace);
        }
    }
    SetNumberField(state, "scalewidth", im.scaleWidth);
    SetNumberField(state, "scaleheight", im.scaleHeight);
    SetNumberField(state, "smoothscale", im.smoothScale);
    if (d.type == QZ_DIR_BRUSH && im.display != 0) SetNumberField(state, "display", im.display);
    SetCacheFields(state, d);
    SetLoaderFields(state, d);
}

void PushBGPicOptions(VmState* state, const qzDirective& d) {
    static const qzBGPicDirectiveData none;
    const qzBGPicDirectiveData& bg = d.bgpic ? *d.bgpic : none;
    VmNewTable(state);
    SetLoadFlagFields(state, d);
    if (bg.fillStyle != 0) {
        SetNumberField(state, "fillstyle", bg.fillStyle);
        if (bg.fillStyle == 2) {
            PushGradientFields(state, &bg.gradient);
        } else if (bg.fillStyle == 3) {
            SetNumberField(state, "texturebrush", bg.textureBrush);
            SetNumberField(state, "texturex", bg.textureX);
            SetNumberField(state, "texturey", bg.textureY);
        } else if (bg.fillStyle == 1) {
            SetNumberField(state, "fillcolor", bg.fillColor);
        }
    }
    SetNumberField(state, "scalewidth", bg.scaleWidth);
    SetNumberField(state, "scaleheight", bg.scaleHeight);
    SetNumberField(state, "smoothscale", bg.smoothScale);
    SetLoaderFields(state, d);
}

const char* DisplayModeName(int mode) {
    switch (mode) {
    case 1: return "windowed";
    case 2: return "fullscreen";
    case 3: return "ask";
    case 4: return "moderequester";
    case 6: return "fakefullscreen";
    default: return nullptr;
    }
}

const char* BackfillTypeName(int type) {
    switch (type) {
    case 1: return "color";
    case 2: return "gradient";
    case 3: return "texture";
    case 4: return "picture";
    default: return nullptr;
    }
}

// Display flag bits and the key each one sets to 1 in the CreateDisplay option table; the two
// scaling engines set "scalemode" instead.
const struct {
    uint32_t bit;
    const char* key;
} kDisplayFlagKeys[] = {
    {QZ_DISPF_BORDERLESS, "borderless"},
    {QZ_DISPF_SIZEABLE, "sizeable"},
    {QZ_DISPF_FIXED, "fixed"},
    {QZ_DISPF_NOMODESWITCH, "nomodeswitch"},
    {QZ_DISPF_HIDEPOINTER, "hidepointer"},
    {QZ_DISPF_NOHIDE, "nohide"},
    {QZ_DISPF_SMOOTHSCALE, "smoothscale"},
    {QZ_DISPF_LAYERS, "layers"},
    {QZ_DISPF_USEQUARTZ, "usequartz"},
    {QZ_DISPF_NOCLOSE, "noclose"},
    {QZ_DISPF_KEEPPROPORTIONS, "keepproportions"},
    {QZ_DISPF_FITSCALE, "fitscale"},
    {QZ_DISPF_KEEPSCREENON, "keepscreenon"},
    {QZ_DISPF_HIDEFROMTASKBAR, "hidefromtaskbar"},
    {QZ_DISPF_HIDEOPTIONSMENU, "hideoptionsmenu"},
    {QZ_DISPF_NOHARDWARESCALE, "nohardwarescale"},
    {QZ_DISPF_DISABLEBLANKER, "disableblanker"},
};

void PushDisplayOptions(VmState* state, const qzDirective& d, bool bgpic1Exists, bool hiddenByPlugin) {
    static const qzDisplayDirective defaults;
    const qzDisplayDirective& dd = d.display ? *d.display : defaults;
    VmNewTable(state);
    SetStringField(state, "title", dd.title);
    SetNumberField(state, "x", dd.x);
    SetNumberField(state, "y", dd.y);
    if (dd.scaleWidth != 0) SetNumberField(state, "scalewidth", dd.scaleWidth);
    if (dd.scaleHeight != 0) SetNumberField(state, "scaleheight", dd.scaleHeight);
    if (dd.flags & QZ_DISPF_ACTIVE) SetNumberField(state, "active", 1);
    if (dd.flags & QZ_DISPF_BGPIC) {
        SetNumberField(state, "bgpic", dd.bgpicId);
    } else if (d.id == 1 && bgpic1Exists) {
        SetNumberField(state, "bgpic", 1);
    } else {
        SetNumberField(state, "width", dd.width);
        SetNumberField(state, "height", dd.height);
        SetNumberField(state, "fillstyle", dd.fillStyle);
        if (dd.fillStyle == 2) {
            PushGradientFields(state, &dd.gradient);
        } else if (dd.fillStyle == 3) {
            SetNumberField(state, "texturebrush", dd.textureBrush);
            SetNumberField(state, "texturex", dd.textureX);
            SetNumberField(state, "texturey", dd.textureY);
        } else {
            SetNumberField(state, "color", dd.color);
        }
    }
    if ((dd.flags & QZ_DISPF_HIDDEN) || hiddenByPlugin) SetNumberField(state, "hidden", 1);
    for (const auto& f : kDisplayFlagKeys)
        if (dd.flags & f.bit) SetNumberField(state, f.key, 1);
    if (dd.flags & QZ_DISPF_AUTOSCALE) SetNumberField(state, "scalemode", 1);
    if (dd.flags & QZ_DISPF_LAYERSCALE) SetNumberField(state, "scalemode", 2);
    if (!dd.dragRegions.empty()) {
        PushRegionTable(state, dd.dragRegions);
        SetTableField(state, "dragregion");
    }
    if (!dd.sizeRegions.empty()) {
        PushRegionTable(state, dd.sizeRegions);
        SetTableField(state, "sizeregion");
    }
    SetNumberField(state, "orientation", dd.orientation);
    SetNumberField(state, "monitor", static_cast<double>(dd.monitor) + 1);
    if (dd.menuId != -1) SetNumberField(state, "menu", dd.menuId);
    if (const char* mode = DisplayModeName(dd.screen.displayMode)) SetStringField(state, "mode", mode);
    SetNumberField(state, "scrwidth", dd.screen.screenWidth);
    SetNumberField(state, "scrheight", dd.screen.screenHeight);
    SetNumberField(state, "scrdepth", dd.screen.screenDepth);
    SetNumberField(state, "desktop", dd.screen.desktop);
    const qzBackfillSettings& b = dd.screen.backfill;
    VmNewTable(state);
    SetNumberField(state, "hidetitlebar", b.hideTitleBar);
    if (b.type != 0) {
        if (const char* type = BackfillTypeName(b.type)) SetStringField(state, "type", type);
        SetNumberField(state, "color", b.startColor);
        SetNumberField(state, "startcolor", b.startColor);
        SetNumberField(state, "endcolor", b.endColor);
        SetNumberField(state, "x", b.x);
        SetNumberField(state, "y", b.y);
        SetNumberField(state, "brush", b.brush);
        SetNumberField(state, "scalepicture", b.scalePicture);
        SetNumberField(state, "smoothscale", b.smoothScale);
    }
    SetTableField(state, "backfill");
}

// ---------------------------------------------------------------------------------------------
// Calling library commands

// What one protected directive call needs; handed to the C function below as light userdata.
struct DirectiveCall {
    const qzDirective* directive;
    const char* command;      // lower-cased global name
    const char* displayName;  // the command as error messages show it
    std::string name;         // the name argument (a chunk name for linked data)
    bool bgpic1Exists;
    bool hiddenByPlugin;
    std::string chunkSource;  // the main chunk's source name, for the error report
};

// Pushes the global function of that name (nil when there is none).
void PushGlobal(VmState* state, const char* name) {
    VmPushString(state, name);
    VmRawGet(state, VM_GLOBALSINDEX);
}

// Builds the arguments and calls the command; runs inside a protected call so that any error,
// also running out of memory while the tables are built, comes back as a code.
int CallDirectiveCommand(VmState* state) {
    const DirectiveCall* call = static_cast<const DirectiveCall*>(VmToUserdata(state, 1));
    const qzDirective& d = *call->directive;
    if (d.type == QZ_DIR_BUTTON || d.type == QZ_DIR_KEYDOWN) {
        // These two run as script functions.
        int error = d.type == QZ_DIR_BUTTON
                        ? CallScriptFunction(state, call->command, 0,
                                             {{QZ_ARG_INT, d.id, nullptr},
                                              {QZ_ARG_INT, d.button[0], nullptr},
                                              {QZ_ARG_INT, d.button[1], nullptr},
                                              {QZ_ARG_INT, d.button[2], nullptr},
                                              {QZ_ARG_INT, d.button[3], nullptr}})
                        : CallScriptFunction(state, call->command, 0,
                                             {{QZ_ARG_INT, d.id, nullptr}, {QZ_ARG_STRING, 0, call->name.c_str()}});
        if (error) VmRaiseError(state, error);
        return 0;
    }
    PushGlobal(state, call->command);
    if (VmType(state, -1) != VM_TFUNCTION) {
        // The library that provides the command is not there.
        SetErrorArgString(call->displayName);
        VmRaiseError(state, ERR_FUNCDECLA);
    }
    int base = VmGetTop(state);
    VmPushNumber(state, d.id);
    switch (d.type) {
    case QZ_DIR_BGPIC:
        VmPushString(state, call->name.c_str());
        PushBGPicOptions(state, d);
        break;
    case QZ_DIR_BRUSH:
    case QZ_DIR_ANIM:
    case QZ_DIR_SPRITE:
        VmPushString(state, call->name.c_str());
        PushImageOptions(state, d);
        break;
    case QZ_DIR_MUSIC:
    case QZ_DIR_SAMPLE:
    case QZ_DIR_VIDEO:
        VmPushString(state, call->name.c_str());
        if (!d.loader.empty() || !d.adapter.empty()) {
            VmNewTable(state);
            SetLoaderFields(state, d);
        }
        break;
    case QZ_DIR_FILE:
        VmPushString(state, call->name.c_str());
        VmPushNumber(state, 1005);  // MODE_READ
        if (!d.adapter.empty()) {
            VmNewTable(state);
            SetStringField(state, "adapter", d.adapter);
        }
        break;
    case QZ_DIR_FONT:
        VmPushString(state, call->name.c_str());
        VmPushNumber(state, d.value);
        VmNewTable(state);
        if (d.flags & 0xFFFF) SetNumberField(state, "engine", d.flags & 0xFFFF);
        if (d.flags & 0x10000) SetNumberField(state, "cache", 0);
        break;
    case QZ_DIR_MENU: PushMenuItems(state, d.menu); break;
    case QZ_DIR_DISPLAY: PushDisplayOptions(state, d, call->bgpic1Exists, call->hiddenByPlugin); break;
    default: break;
    }
    VmCall(state, VmGetTop(state) - base, 0);
    return 0;
}

// Runs one call; on failure the error line falls back to the directive's line when the error
// came from no script line.
int RunDirectiveCall(VmState* state, DirectiveCall* call) {
    int status = VmCProtectedCall(state, CallDirectiveCommand, call);
    if (status != 0 && vmRuntime.errorLine < 0) {
        // Directive lines count like the main chunk's lines, so the report maps them the same way.
        vmRuntime.errorLine = call->directive->line;
        if (!call->chunkSource.empty()) SetErrorSourceFile(call->chunkSource.c_str());
    }
    return status;
}

// The source name of the main chunk, which lies on the stack top during start-up; empty when
// there is none.
std::string MainChunkSource(VmState* state) {
    if (VmGetTop(state) < 1 || VmType(state, -1) != VM_TFUNCTION) return std::string();
    VmDebug ar;
    VmPushValue(state, -1);
    VmGetInfo(state, ">S", &ar);
    return ar.source && ar.source[0] != '=' ? ar.source : "";
}

// The library command of a preload directive (as shown in error reports) or null.
const char* PreloadCommand(int type) {
    switch (type) {
    case QZ_DIR_BGPIC: return "LoadBGPic";
    case QZ_DIR_BRUSH: return "LoadBrush";
    case QZ_DIR_ANIM: return "LoadAnim";
    case QZ_DIR_SPRITE: return "LoadSprite";
    case QZ_DIR_MUSIC: return "OpenMusic";
    case QZ_DIR_SAMPLE: return "LoadSample";
    case QZ_DIR_VIDEO: return "OpenVideo";
    case QZ_DIR_FILE: return "OpenFile";
    case QZ_DIR_FONT: return "OpenFont";
    case QZ_DIR_MENU: return "CreateMenu";
    case QZ_DIR_BUTTON: return "CreateButton";
    case QZ_DIR_KEYDOWN: return "CreateKeyDown";
    default: return nullptr;
    }
}

std::string LowerCased(const char* text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(ToLowerChar(static_cast<unsigned char>(c)));
    return s;
}

void SetDirectiveQuiet(VmState* state, const qzPlayerContext* context, const qzDirective& d) {
    int quiet = (d.quiet || context->compiledApplet || context->quiet) ? 1 : 0;
    SetRuntimeAttrs(state, {{QZ_RTA_QUIET, quiet}});
}

void RestoreDirectory(const std::string& remembered) {
    if (!remembered.empty() && OsHostCurrentDir() != remembered) {
        if (!OsHostChangeDir(remembered.c_str())) {
            // Nothing more to do: later relative paths resolve against where we are.
        }
    }
}

// The end of the run, also after an error: attributes back and the directive list freed.
void EndDirectiveRun(VmState* state, const qzPlayerContext* context, qzAppletDescriptor* applet) {
    directiveLine = -1;
    SetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, 0}, {QZ_RTA_SCRIPTRUNNING, 0}, {QZ_RTA_QUIET, context->quiet}});
    applet->directives.clear();
}

}  // namespace

int GetDirectiveLine() { return directiveLine; }

void PushGradientFields(VmState* state, const qzGradient* g) {
    SetNumberField(state, "gradientstyle", g->style);
    SetNumberField(state, "gradientstartcolor", g->startColor);
    SetNumberField(state, "gradientendcolor", g->endColor);
    SetNumberField(state, "gradientangle", g->angle);
    SetNumberField(state, "gradientcenterx", g->centerX);
    SetNumberField(state, "gradientcentery", g->centerY);
    SetNumberField(state, "gradientbalance", g->balance);
    SetNumberField(state, "gradientborder", g->border);
    if (!g->stops.empty()) {
        VmNewTable(state);
        int n = 0;
        for (const qzGradientStop& stop : g->stops) {
            VmPushNumber(state, stop.color);
            VmRawSetI(state, -2, n++);
            VmPushNumber(state, stop.position);
            VmRawSetI(state, -2, n++);
        }
        SetTableField(state, "gradientcolors");
    }
}

void PushRegionTable(VmState* state, const std::vector<qzRegion>& regions) {
    VmNewTable(state);
    int n = 0;
    for (const qzRegion& r : regions) {
        VmNewTable(state);
        SetNumberField(state, "type", r.type);
        SetNumberField(state, "x", r.x);
        SetNumberField(state, "y", r.y);
        SetNumberField(state, "width", r.width);
        SetNumberField(state, "height", r.height);
        VmRawSetI(state, -2, n++);
    }
}

void PushMenuItems(VmState* state, const std::vector<qzDirectiveMenuItem>& items) {
    // Each level holds two tables on the stack; sub-menus nest as deep as the container allowed.
    if (!VmCheckStack(state, 4)) VmRaiseError(state, ERR_STACK);
    VmNewTable(state);
    int n = 0;
    for (const qzDirectiveMenuItem& item : items) {
        VmNewTable(state);
        if (item.hasName) {
            VmPushLString(state, item.name.data(), item.name.size());
            VmRawSetI(state, -2, 0);
        }
        SetNumberField(state, "flags", item.flags);
        if (!item.id.empty()) SetStringField(state, "id", item.id);
        if (!item.hotkey.empty()) SetStringField(state, "hotkey", item.hotkey);
        if (item.hasSubMenu) {
            PushMenuItems(state, item.subMenu);
            VmRawSetI(state, -2, 1);
        }
        VmRawSetI(state, -2, n++);
    }
}

void ApplyGlobalScreenOptions(qzAppletDescriptor* applet) {
    const qzScreenOptions& g = applet->screenOptions;
    bool set = g.displayMode != 0 || g.screenWidth != -1 || g.screenHeight != -1 || g.screenDepth != -1 ||
               g.desktop != -1 || g.backfill.type != -1 || g.backfill.hideTitleBar;
    if (!set) return;
    qzDirective* target = nullptr;
    for (qzDirective& d : applet->directives) {
        if (d.type == QZ_DIR_DISPLAY && d.id == 1 && d.display) {
            target = &d;
            break;
        }
    }
    if (!target) target = &applet->directives[AddDefaultDisplayDirective(applet, nullptr)];
    qzScreenOptions& s = target->display->screen;
    if (g.displayMode != 0) s.displayMode = g.displayMode;
    if (g.screenWidth != -1) s.screenWidth = g.screenWidth;
    if (g.screenHeight != -1) s.screenHeight = g.screenHeight;
    if (g.screenDepth != -1) s.screenDepth = g.screenDepth;
    if (g.desktop != -1) s.desktop = g.desktop;
    if (g.backfill.type != -1)
        s.backfill = g.backfill;
    else if (g.backfill.hideTitleBar)
        s.backfill.hideTitleBar = g.backfill.hideTitleBar;
}

void MergeDisplayOptions(const qzPlayerContext* context, qzAppletDescriptor* applet) {
    if (context->displaySettingsLocked) return;
    for (qzDirective& d : applet->directives) {
        if (d.type != QZ_DIR_DISPLAY || !d.display) continue;
        if (d.id != 1 && !context->allDisplays) continue;
        qzDisplayDirective& dd = *d.display;
        if (applet->displayMode != 0) dd.screen.displayMode = applet->displayMode;
        if (applet->screenWidth != -1) dd.screen.screenWidth = applet->screenWidth;
        if (applet->screenHeight != -1) dd.screen.screenHeight = applet->screenHeight;
        if (applet->screenDepth != -1) dd.screen.screenDepth = applet->screenDepth;
        if (applet->scaleWidth != 0) dd.scaleWidth = applet->scaleWidth;
        if (applet->scaleHeight != 0) dd.scaleHeight = applet->scaleHeight;
        if (applet->monitor != 0) dd.monitor = applet->monitor;
        if (applet->backfill.type != 0)
            dd.screen.backfill = applet->backfill;
        else if (applet->backfill.hideTitleBar)
            dd.screen.backfill.hideTitleBar = applet->backfill.hideTitleBar;
        dd.flags |= applet->displayFlags;
    }
}

void ShareImageLoads(qzAppletDescriptor* applet) {
    std::vector<qzDirective>& list = applet->directives;
    for (size_t i = 0; i < list.size(); i++) {
        qzDirective& d = list[i];
        if (!IsImageType(d.type) || (d.flags & 2) || d.image.cachedLoad || !d.hasName) continue;
        if (d.type != QZ_DIR_BRUSH && d.image.frames == 0) continue;
        for (size_t j = i + 1; j < list.size(); j++) {
            qzDirective& e = list[j];
            if (!IsImageType(e.type) || (e.flags & 2) || !e.hasName) continue;
            if (CompareNoCase(e.name.c_str(), d.name.c_str()) != 0) continue;
            if (e.image.scaleWidth != d.image.scaleWidth || e.image.scaleHeight != d.image.scaleHeight ||
                e.image.smoothScale != d.image.smoothScale)
                continue;
            e.image.cachedLoad = 1;
            d.image.cache = 1;
            if ((e.flags & 1) && !(d.flags & 1)) d.image.cacheAlpha = 1;
        }
    }
}

namespace {

// A tag value: "true" and "false" give 1 and 0, a text that is wholly a number literal gives
// the number, anything else (and every quoted value) stays text.
qzRequireTag MakeTag(const std::string& key, const std::string& value, bool quoted) {
    qzRequireTag tag;
    tag.key = key;
    if (!quoted) {
        if (CompareNoCase(value.c_str(), "true") == 0) {
            tag.number = 1;
            return tag;
        }
        if (CompareNoCase(value.c_str(), "false") == 0) {
            tag.number = 0;
            return tag;
        }
        int consumed = 0, error = 0;
        double n = ParseNumberLiteral(value.c_str(), &consumed, &error);
        if (!value.empty() && error == 0 && static_cast<size_t>(consumed) == value.size()) {
            tag.number = n;
            return tag;
        }
    }
    tag.isString = 1;
    tag.text = value;
    return tag;
}

}  // namespace

int ParseRequireTags(const char* text, const char* pluginName, std::vector<qzRequireTag>* tags) {
    tags->clear();
    const char* p = text ? text : "";
    if (*p == '[') return ERR_REQUIRETAGFMT;
    // The whole text is checked; tags are handed out only when it is well-formed.
    std::vector<qzRequireTag> result;
    bool matched = false;
    while (*p) {
        // The group's plugin name, trimmed of spaces; no space may stand inside it.
        while (*p == ' ') p++;
        if (!*p) break;
        std::string name;
        while (*p && *p != '[' && *p != ' ') name.push_back(*p++);
        while (*p == ' ') p++;
        if (*p != '[') return ERR_REQUIRETAGFMT;
        p++;
        std::vector<qzRequireTag> group;
        for (;;) {
            while (*p == ' ') p++;
            if (*p == ']') {
                p++;
                break;
            }
            if (!IsAlphaChar(static_cast<unsigned char>(*p))) return ERR_REQUIRETAGFMT;
            std::string key;
            while (*p && *p != '=') key.push_back(*p++);
            if (*p != '=') return ERR_REQUIRETAGFMT;
            p++;
            std::string value;
            bool quoted = false;
            if (*p == '\'') {
                quoted = true;
                p++;
                while (*p && *p != '\'') value.push_back(*p++);
                if (*p != '\'') return ERR_REQUIRETAGFMT;
                p++;
            } else {
                while (*p && *p != ' ' && *p != ',' && *p != ']') value.push_back(*p++);
            }
            group.push_back(MakeTag(key, value, quoted));
            while (*p == ' ') p++;
            if (*p == ',') {
                p++;
                continue;
            }
            if (*p == ']') {
                p++;
                break;
            }
            return ERR_REQUIRETAGFMT;
        }
        if (!matched && CompareNoCaseN(pluginName ? pluginName : "", name.c_str(), name.size()) == 0) {
            result = std::move(group);
            matched = true;
        }
    }
    *tags = std::move(result);
    return 0;
}

int RequireStartupPlugin(VmState* state, const char* name, int version, int revision,
                         const std::vector<qzRequireTag>& tags, int* hidden) {
    std::vector<qzRequireTagItem> items;
    items.reserve(tags.size() + 1);
    for (const qzRequireTag& tag : tags)
        items.push_back({tag.key.c_str(), tag.isString, tag.number, tag.isString ? tag.text.c_str() : nullptr});
    items.push_back({nullptr, 0, 0, nullptr});
    uint32_t flags = 0;
    int error = RequirePluginVersion(state, name ? name : "", version, revision, 0, 0, items.data(), &flags);
    if (!error && (flags & QZ_REQUIREF_HIDDENDISPLAYS) && hidden) *hidden = 1;
    return error;
}

int RunDirectives(VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet) {
    int hiddenByPlugin = 0;

    // Plugin requirements: those of the REQUIREPLUGINS option, then those the applet declares.
    SetPluginRequirePhase(1);
    for (const std::string& plugin : context->requirePlugins) {
        std::vector<qzRequireTag> tags;
        if (context->hasRequireTags) {
            int error = ParseRequireTags(context->requireTags.c_str(), plugin.c_str(), &tags);
            if (error) return error;
        }
        int error = RequireStartupPlugin(state, plugin.c_str(), 0, 0, tags, &hiddenByPlugin);
        if (error) return error;
    }
    bool bgpic1Exists = false;
    bool display1Exists = false;
    for (const qzDirective& d : applet->directives) {
        if (d.type == QZ_DIR_BGPIC && d.id == 1) bgpic1Exists = true;
        if (d.type == QZ_DIR_DISPLAY && d.id == 1) display1Exists = true;
        if (d.type == QZ_DIR_PLUGIN) {
            int error = RequireStartupPlugin(state, d.name.c_str(), d.value, d.flags, d.tags, &hiddenByPlugin);
            if (error) return error;
        }
    }
    SetPluginRequirePhase(0);

    // The font system is the text library's; without it there is nothing to set up here.
    if (!display1Exists) AddDefaultDisplayDirective(applet, nullptr);
    MergeDisplayOptions(context, applet);
    ShareImageLoads(applet);

    SetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, 1}, {QZ_RTA_SCRIPTRUNNING, 1}});
    std::string remembered = OsHostCurrentDir();
    std::string chunkSource = MainChunkSource(state);
    int error = 0;

    for (const qzDirective& d : applet->directives) {
        const char* command = PreloadCommand(d.type);
        if (command) {
            SetDirectiveQuiet(state, context, d);
            directiveLine = d.line;
            DirectiveCall call{&d, nullptr, command, d.name, bgpic1Exists, hiddenByPlugin != 0, chunkSource};
            std::string lower = LowerCased(command);
            call.command = lower.c_str();
            if (d.type != QZ_DIR_BUTTON) SetErrorCommandName(command);
            if (d.dataSize != 0) {
                char chunk[QZ_ERROR_TEXT_SIZE * 2];
                const std::string& container = d.containerPath.empty() ? applet->containerPath : d.containerPath;
                MakeChunkName(d.name.c_str(), chunk, sizeof chunk, static_cast<int64_t>(applet->containerBase),
                              static_cast<uint64_t>(d.dataSize), static_cast<uint64_t>(d.dataOffset),
                              container.c_str());
                call.name = chunk;
            }
            vmRuntime.errorLine = -1;
            error = RunDirectiveCall(state, &call);
            if (error) break;
            SetErrorCommandName(QZ_NO_COMMAND);
        }
        error = StepLoadProgress();
        if (error) break;
    }
    RestoreDirectory(remembered);

    // Create the declared displays. The display library registers "createdisplay"; until it
    // exists the player runs without displays (headless) and this step has nothing to call.
    if (!error) {
        PushGlobal(state, "createdisplay");
        bool haveDisplayLibrary = VmType(state, -1) == VM_TFUNCTION;
        VmPop(state, 1);
        for (const qzDirective& d : applet->directives) {
            if (!haveDisplayLibrary || d.type != QZ_DIR_DISPLAY) continue;
            SetDirectiveQuiet(state, context, d);
            directiveLine = d.line;
            SetErrorCommandName("CreateDisplay");
            DirectiveCall call{&d,           "createdisplay",     "CreateDisplay", std::string(),
                               bgpic1Exists, hiddenByPlugin != 0, chunkSource};
            vmRuntime.errorLine = -1;
            error = RunDirectiveCall(state, &call);
            if (error) break;
            SetErrorCommandName(QZ_NO_COMMAND);
        }
    }
    if (error) {
        // The error report names the directive: keep the command name and line; only the
        // attributes that concern loading go back.
        SetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, 0}, {QZ_RTA_QUIET, context->quiet}});
        return error;
    }
    EndDirectiveRun(state, context, applet);
    // The images the preloads shared are now held by the objects made from them.
    FreeImageCache();
    if (context->compiledApplet) {
        SetRuntimeAttrs(state, {{QZ_RTA_QUIET, context->quiet}});
        PrintProgressDone();
    }
    return 0;
}
