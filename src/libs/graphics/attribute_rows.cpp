// The rows of GetAttribute: which attributes each object type answers and how its records are
// read. An object type joins GetAttribute by its row here.
#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/event_dispatch.h"
#include "display/event_timers.h"
#include "libs/dos/dos.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics.h"
#include "libs/graphics/graphics_commands.h"
#include "libs/memblock/memblock.h"
#include "libs/memblock/memblock_io.h"
#include "platform/vfs.h"
#include "runtime/object_registry.h"
#include "runtime/plugin_manager.h"
#include "text/font_cache.h"
#include "vm/vm.h"

namespace {

// ---- Readers ------------------------------------------------------------------------------

int ReadClipRegion(VmState* state, const qzAttributeQuery& q) {
    const qzClipRegion* region = CheckClipRegion(state, q.id, 0);
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, region->width);
    case ATTRHEIGHT: return PushAttrNumber(state, region->height);
    case ATTRXPOS: return PushAttrNumber(state, region->x);
    default: return PushAttrNumber(state, region->y);
    }
}

int ReadPointer(VmState* state, const qzAttributeQuery& q) {
    qzObjectHeader* h = FindObjectInList(gfxPointers, q.id);
    auto* pointer = reinterpret_cast<qzPointerImage*>(h);
    if (!pointer || pointer->freePending) return AttrNotFound(q.id, ERR_FINDPOINTER);
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, pointer->width);
    case ATTRHEIGHT: return PushAttrNumber(state, pointer->height);
    default: return PushAttrNumber(state, pointer->kind);
    }
}

int ReadAsyncDraw(VmState* state, const qzAttributeQuery& q) {
    qzAsyncDraw* object = nullptr;
    int rc = FindAsyncDraw(q.id, &object);
    if (rc) return rc;
    if (q.attribute == ATTRTYPE) return PushAttrNumber(state, object->kind);
    int32_t value = 0;
    if (object->event)
        object->event(q.attribute == ATTRNUMFRAMES ? ADEVENT_FRAMECOUNT : ADEVENT_CURFRAME,
                      reinterpret_cast<intptr_t>(&value), object->userData);
    return PushAttrNumber(state, value);
}

int ReadMemory(VmState* state, const qzAttributeQuery& q) {
    auto* block = reinterpret_cast<qzMemBlock*>(FindObjectById(QZ_TYPE_MEMORY, q.id));
    if (!block) return AttrNotFound(q.id, ERR_FINDMEMBLK);
    return PushAttrNumber(state, (double)block->size);
}

// The module name of the file adapter that serves a file, "inbuilt" for the platform.
const char* AdapterName(const qzVfsFileAdapter* adapter) {
    return adapter && adapter->name ? adapter->name : GetLoaderName(0);
}

int ReadFile(VmState* state, const qzAttributeQuery& q) {
    auto* file = reinterpret_cast<qzDosFile*>(FindObjectById(QZ_TYPE_FILE, q.id));
    if (!file) return AttrNotFound(q.id, ERR_FINDFILE);
    if (q.attribute == ATTRMODE) return PushAttrNumber(state, file->mode);
    return PushAttrString(state, AdapterName(file->file ? file->file->adapter : nullptr));
}

int ReadDirectory(VmState* state, const qzAttributeQuery& q) {
    auto* dir = reinterpret_cast<qzDosDirectory*>(FindObjectById(QZ_TYPE_DIRECTORY, q.id));
    if (!dir) return AttrNotFound(q.id, ERR_FINDDIR);
    return PushAttrString(state, AdapterName(dir->lock ? dir->lock->fileAdapter : nullptr));
}

int ReadFont(VmState* state, const qzAttributeQuery& q) {
    const qzFontHandle* handle = CheckFont(state, q.id);
    return PushAttrString(state, handle->font ? handle->font->name : "");
}

// A function or user data kept as a registry reference, 0 for none.
int PushReference(VmState* state, int32_t reference) {
    if (reference < 0) return PushAttrNumber(state, 0);
    VmRawGetI(state, VM_REGISTRYINDEX, reference);
    return 1;
}

// The handler installed for an event name: the current display's for a display event, the
// global one for a global event; an unknown name is ERR_UNKNOWNTAG.
int ReadEventHandler(VmState* state, const qzAttributeQuery& q) {
    const char* name = VmIsString(state, 2) ? VmToString(state, 2) : nullptr;
    if (!name) return ERR_UNKNOWNTAG;
    const qzHandlerSlot* slot = nullptr;
    bool known = false;
    for (int i = 0; i < QZ_DISPLAY_HANDLER_COUNT && !known; i++) {
        if (CompareNoCase(name, qzDisplayHandlerNames[i].installName) != 0) continue;
        known = true;
        if (const qzDisplay* display = CurrentDisplay()) slot = &display->handlers[i];
    }
    for (int i = 0; i < QZ_GLOBAL_HANDLER_COUNT && !known; i++) {
        if (CompareNoCase(name, qzGlobalHandlerNames[i].installName) != 0) continue;
        known = true;
        slot = &GlobalHandlerSlots()[i];
    }
    if (!known) return ERR_UNKNOWNTAG;
    if (!slot) return PushAttrNumber(state, 0);
    return PushReference(state, q.attribute == ATTRFUNCTION ? slot->function : slot->userData);
}

// Intervals and timeouts: the period or delay as given, the function and the user data.
int ReadTimer(VmState* state, const qzAttributeQuery& q) {
    qzIntervalTimer* timer = nullptr;
    int rc = q.type == QZ_TYPE_INTERVAL ? FindIntervalById(q.id, &timer) : FindTimeoutById(q.id, &timer);
    if (rc) return rc;
    if (q.attribute == ATTRDURATION) return PushAttrNumber(state, timer->milliseconds);
    return PushReference(state, q.attribute == ATTRFUNCTION ? timer->function : timer->userData);
}

// ---- The matrix ---------------------------------------------------------------------------

constexpr qzAttributeSet kCountOnly = {ATTRCOUNT};

}  // namespace

const qzAttributeRow qzAttributeRows[] = {
    {1,
     {ATTRWIDTH, ATTRHEIGHT, ATTRTRANSPARENTCOLOR, ATTRLAYERS, ATTRTYPE, ATTRHASMASK, ATTRHASALPHA, ATTRCLIPREGION,
      ATTRCOUNT, ATTRLOADER},
     false,
     ERR_FINDBGPIC,
     ReadBGPicAttribute},
    {2,
     {ATTRTYPE, ATTRNUMFRAMES, ATTRDURATION, ATTRPITCH, ATTRPOSITION, ATTRCOUNT, ATTRPLAYING, ATTRLOADER},
     false,
     ERR_FINDSAMPLE,
     ReadSampleAttribute},
    {3,
     {ATTRWIDTH, ATTRHEIGHT, ATTRTRANSPARENTCOLOR, ATTRTYPE, ATTRHASMASK, ATTRHASALPHA, ATTRCOUNT, ATTRHARDWARE,
      ATTRDISPLAY, ATTRLOADER},
     false,
     ERR_FINDBRUSH,
     ReadBrushAttribute},
    {4,
     {ATTRWIDTH, ATTRHEIGHT, ATTRTRANSPARENTCOLOR, ATTRNUMFRAMES, ATTRHASMASK, ATTRHASALPHA, ATTRFRAMEDELAY, ATTRCOUNT,
      ATTRLOADER},
     false,
     ERR_FINDANIM,
     ReadAnimAttribute},
    {8,
     {ATTRWIDTH, ATTRHEIGHT, ATTRFONTASCENDER, ATTRFONTDESCENDER, ATTRFONTNAME, ATTRFONTSIZE, ATTRFONTSCALABLE,
      ATTRFONTAA, ATTRTEXT, ATTRCOUNT},
     false,
     ERR_FINDTEXTOBJECT,
     ReadTextObjectAttribute},
    {21,
     {ATTRWIDTH,       ATTRHEIGHT,         ATTRMAXWIDTH,     ATTRMAXHEIGHT,    ATTRBGPIC,        ATTRLAYERS,
      ATTRXPOS,        ATTRYPOS,           ATTRCURSORX,      ATTRCURSORY,      ATTRBORDERLEFT,   ATTRBORDERTOP,
      ATTRBORDERRIGHT, ATTRBORDERBOTTOM,   ATTRHOSTWIDTH,    ATTRHOSTHEIGHT,   ATTRFONTASCENDER, ATTRFONTDESCENDER,
      ATTRFONTNAME,    ATTRFONTSIZE,       ATTRFONTSCALABLE, ATTRFONTAA,       ATTRPOINTER,      ATTRSTATE,
      ATTRACTIVE,      ATTRMODE,           ATTRSCALEMODE,    ATTRSCALEWIDTH,   ATTRSCALEHEIGHT,  ATTRBORDERLESS,
      ATTRFIXED,       ATTRSIZEABLE,       ATTRNOHIDE,       ATTRNOMODESWITCH, ATTRTITLE,        ATTRMARGINLEFT,
      ATTRMARGINRIGHT, ATTROUTPUTDEVICE,   ATTRDOUBLEBUFFER, ATTRHOSTDEPTH,    ATTRCOUNT,        ATTRNOCLOSE,
      ATTRMASKMODE,    ATTRALPHAINTENSITY, ATTRLAYERSON,     ATTRORIENTATION,  ATTRKEYBOARD,     ATTRDENSITY,
      ATTRXDPI,        ATTRYDPI,           ATTRMONITOR,      ATTRADAPTER,      ATTRMENU,         ATTRHOSTMONITORS},
     false,
     ERR_FINDDISPLAY,
     ReadDisplayAttribute},
    {22,
     {ATTRWIDTH,    ATTRHEIGHT,    ATTRLAYERS,       ATTRXPOS,     ATTRYPOS,         ATTRTYPE,
      ATTRVISIBLE,  ATTRNUMFRAMES, ATTRCURFRAME,     ATTRLAYERID,  ATTRDURATION,     ATTRPOSITION,
      ATTRFORMAT,   ATTRCANSEEK,   ATTRPLAYING,      ATTRPAUSED,   ATTRFONTASCENDER, ATTRFONTDESCENDER,
      ATTRFONTNAME, ATTRFONTSIZE,  ATTRFONTSCALABLE, ATTRFONTAA,   ATTRTEXT,         ATTRFRAMEDELAY,
      ATTRGROUP,    ATTRRAWXPOS,   ATTRRAWYPOS,      ATTRRAWWIDTH, ATTRRAWHEIGHT,    ATTRZPOS,
      ATTRID},
     true,
     ERR_NOLAYERS,
     ReadLayerAttribute},
    {32,
     {ATTRWIDTH, ATTRHEIGHT, ATTRTRANSPARENTCOLOR, ATTRXPOS, ATTRYPOS, ATTRNUMFRAMES, ATTRCURFRAME, ATTRHASMASK,
      ATTRHASALPHA, ATTRONSCREEN, ATTRCOUNT},
     false,
     ERR_FINDSPRITE,
     ReadSpriteAttribute},
    {33,
     {ATTRTYPE, ATTRDURATION, ATTRPITCH, ATTRPOSITION, ATTRFORMAT, ATTRBITRATE, ATTRCOUNT, ATTRCANSEEK, ATTRNUMSUBSONGS,
      ATTRCURSUBSONG, ATTRPLAYING, ATTRPAUSED, ATTRLOADER},
     false,
     ERR_FINDMUSIC,
     ReadMusicAttribute},
    {QZ_TYPE_CLIPREGION,
     {ATTRWIDTH, ATTRHEIGHT, ATTRXPOS, ATTRYPOS, ATTRCOUNT},
     false,
     ERR_FINDCLIPREGION,
     ReadClipRegion},
    {QZ_TYPE_POINTER, {ATTRWIDTH, ATTRHEIGHT, ATTRTYPE, ATTRCOUNT}, false, ERR_FINDPOINTER, ReadPointer},
    {QZ_TYPE_ASYNCDRAW, {ATTRTYPE, ATTRNUMFRAMES, ATTRCURFRAME, ATTRCOUNT}, false, ERR_FINDASYNCDRAW, ReadAsyncDraw},
    {QZ_TYPE_MEMORY, {ATTRSIZE, ATTRCOUNT}, false, ERR_FINDMEMBLK, ReadMemory},
    {40, {ATTRFUNCTION, ATTRUSERDATA}, true, ERR_UNKNOWNTAG, ReadEventHandler},
    {QZ_TYPE_INTERVAL, {ATTRDURATION, ATTRFUNCTION, ATTRUSERDATA}, false, ERR_FINDINTERVAL, ReadTimer},
    {QZ_TYPE_TIMEOUT, {ATTRDURATION, ATTRFUNCTION, ATTRUSERDATA}, false, ERR_FINDTIMEOUT, ReadTimer},
    {43, {ATTRFONTNAME, ATTRCOUNT}, false, ERR_FINDFONT2, ReadFont},
    {QZ_TYPE_FILE, {ATTRMODE, ATTRCOUNT, ATTRADAPTER}, false, ERR_FINDFILE, ReadFile},
    {QZ_TYPE_DIRECTORY, {ATTRCOUNT, ATTRADAPTER}, false, ERR_FINDDIR, ReadDirectory},
    {49, kCountOnly, false, ERR_FINDPATH, nullptr},
    {50,
     {ATTRWIDTH, ATTRHEIGHT, ATTRNUMFRAMES, ATTRDURATION, ATTRPOSITION, ATTRFORMAT, ATTRSCALEMODE, ATTRSCALEWIDTH,
      ATTRSCALEHEIGHT, ATTRCOUNT, ATTRCANSEEK, ATTRDRIVER, ATTRPLAYING, ATTRPAUSED, ATTRLOADER},
     false,
     ERR_FINDVIDEO,
     ReadVideoAttribute},
    {51, kCountOnly, false, ERR_FINDMOVE, nullptr},
    {52, kCountOnly, false, ERR_FINDANIMSTREAM, nullptr},
    {53, kCountOnly, false, ERR_FINDTIMER, nullptr},
    {54, kCountOnly, false, ERR_FINDCLIENT, nullptr},
    {55, kCountOnly, false, ERR_FINDSERVER, nullptr},
    {56, kCountOnly, false, ERR_FINDUDPOBJECT, nullptr},
    {57, kCountOnly, false, ERR_FINDMENU, nullptr},
    {0, {}, false, 0, nullptr},
};
