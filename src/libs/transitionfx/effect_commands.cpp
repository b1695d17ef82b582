// The effect commands: argument reading into a template effect context, the repeat loop around
// the driver, and the commands that do more than that (UndoFX finds the layer to take away,
// ClearScreen shows a blank picture of its own, GetRandomFX only draws a type).
#include "libs/transitionfx/effect_commands.h"

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/picture.h"
#include "fx/effect_context.h"
#include "fx/effect_types.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/transitionfx/effect_driver.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The template as every command starts it.
void StartTemplate(VmState* state, int32_t mode, qzEffectContext* t) {
    *t = qzEffectContext{};
    t->vm = state;
    t->mode = mode;
    t->type = QZ_EFFECT_RANDOM;
    t->speed = QZ_EFFECT_NORMALSPEED;
    t->parameter = QZ_EFFECT_RANDOMPARAMETER;
    t->undoLevel = 1;
    if (mode == QZ_EFFECT_BGPIC) t->bgpicX = t->bgpicY = QZ_KEEPPOSITION_DEFAULT;
}

// The options table at index: absent fields keep what the template holds.
void ParseEffectOptions(VmState* state, int index, qzEffectContext* t) {
    GetTableFieldInt(state, index, "type", &t->type, nullptr);
    GetTableFieldInt(state, index, "speed", &t->speed, nullptr);
    GetTableFieldInt(state, index, "parameter", &t->parameter, nullptr);
    GetTableFieldInt(state, index, "undolevel", &t->undoLevel, nullptr);
    GetTableFieldInt(state, index, "dx", &t->x, nullptr);
    GetTableFieldInt(state, index, "dy", &t->y, nullptr);
    GetTableFieldInt(state, index, "layers", &t->layersOption, nullptr);
    GetTableFieldInt(state, index, "forcerealtimelayers", &t->forceRealtimeLayers, nullptr);
    GetTableFieldInt(state, index, "async", &t->async, nullptr);
    GetTableFieldInt(state, index, "noborderfade", &t->noBorderFade, nullptr);
}

// The table form: one table as the last argument, at the command's index.
bool TableForm(VmState* state, int index) { return VmGetTop(state) == index && VmType(state, index) == VM_TTABLE; }

// The positional effect arguments from index on: type, speed, parameter.
void ReadPositional(VmState* state, int index, qzEffectContext* t) {
    t->type = VmOptInteger(state, index, t->type);
    t->speed = VmOptInteger(state, index + 1, t->speed);
    t->parameter = VmOptInteger(state, index + 2, t->parameter);
}

bool LayersOn() {
    const qzDisplay* display = CurrentDisplay();
    return display && display->layersEnabled;
}

// The position of the layer that UndoFX takes away: counting down from the topmost layer, the
// undoLevel-th one that shows the object. 0 when there is none.
int32_t FindUndoLayer(int32_t kind, const qzObjectId& id, int32_t level) {
    const qzBGPic* pic = CurrentBGPic();
    if (!pic) return 0;
    int32_t position = CountLayers(pic);
    int32_t matches = 0;
    for (const qzLayer* layer = LastLayer(pic); layer; layer = PreviousLayer(layer), position--) {
        if (layer->type != kind || !SameObjectId(layer->id, id)) continue;
        if (++matches == level) return position;
    }
    return 0;
}

// The options table of a new background picture at index.
int ReadTransitionTable(VmState* state, int index, qzEffectContext* t) {
    ParseEffectOptions(state, index, t);
    // A new background picture is shown only synchronously.
    if (t->async) return ERR_WRONGUSAGE;
    ReadOptionalXYTable(state, index, &t->bgpicX, &t->bgpicY);
    return 0;
}

int ReadLayerCommand(VmState* state, qzEffectCommand command, qzEffectContext* t) {
    t->object = {CheckLayerArg(state, 1, CurrentBGPic()), nullptr};
    t->hide = command != QZ_FXCMD_SHOWLAYER;
    if (!TableForm(state, 2)) {
        ReadPositional(state, 2, t);
        return 0;
    }
    ParseEffectOptions(state, 2, t);
    if (command != QZ_FXCMD_SHOWLAYER) return 0;
    GetTableFieldInt(state, 2, "bgpicemu", &t->bgpicEmu, nullptr);
    if (!t->bgpicEmu) return 0;
    qzObjectId id = {0, nullptr};
    if (!GetTableFieldObjectId(state, 2, "bgpic", &id, nullptr)) return ERR_MISSINGPARAMTR;
    qzBGPic* pic = nullptr;
    int error = FindBGPic(state, id, &pic, 0);
    if (error) return error;
    pic->modified = 0;
    t->emuBGPic = pic;
    return 0;
}

}  // namespace

int ReadEffectCommand(VmState* state, qzEffectCommand command, qzEffectContext* t, uint32_t* colour) {
    switch (command) {
    case QZ_FXCMD_BRUSH:
    case QZ_FXCMD_TEXTOBJECT: {
        StartTemplate(state, command == QZ_FXCMD_BRUSH ? QZ_EFFECT_BRUSH : QZ_EFFECT_TEXTOBJECT, t);
        GetObjectIdArg(&t->object, state, 1);
        t->x = VmCheckInteger(state, 2);
        t->y = VmCheckInteger(state, 3);
        if (TableForm(state, 4))
            ParseEffectOptions(state, 4, t);
        else
            ReadPositional(state, 4, t);
        return 0;
    }
    case QZ_FXCMD_TRANSITION:
        StartTemplate(state, QZ_EFFECT_BGPIC, t);
        GetObjectIdArg(&t->object, state, 1);
        if (TableForm(state, 2)) return ReadTransitionTable(state, 2, t);
        ReadPositional(state, 2, t);
        return 0;
    case QZ_FXCMD_CLEARSCREEN: {
        StartTemplate(state, QZ_EFFECT_BGPIC, t);
        const int32_t type = VmOptInteger(state, 1, t->type);
        const uint32_t fill = uint32_t(VmOptInteger(state, 2, 0));
        if (colour) *colour = fill;
        if (TableForm(state, 3)) {
            int error = ReadTransitionTable(state, 3, t);
            if (error) return error;
        } else {
            t->speed = VmOptInteger(state, 3, t->speed);
            t->parameter = VmOptInteger(state, 4, t->parameter);
        }
        // The type is always the first argument.
        t->type = type;
        return 0;
    }
    case QZ_FXCMD_BGPICPART: {
        StartTemplate(state, QZ_EFFECT_BGPICPART, t);
        GetObjectIdArg(&t->object, state, 1);
        t->sourceX = t->x = VmCheckInteger(state, 2);
        t->sourceY = t->y = VmCheckInteger(state, 3);
        t->width = VmCheckInteger(state, 4);
        t->height = VmCheckInteger(state, 5);
        if (TableForm(state, 6)) {
            ParseEffectOptions(state, 6, t);
        } else {
            ReadPositional(state, 6, t);
            t->x = VmOptInteger(state, 9, t->x);
            t->y = VmOptInteger(state, 10, t->y);
            t->layersOption = VmOptInteger(state, 11, 0);
        }
        if (t->layersOption && !LayersOn()) return ERR_WRONGUSAGE;
        return 0;
    }
    case QZ_FXCMD_UNDO: {
        StartTemplate(state, QZ_EFFECT_REMOVELAYER, t);
        if (!LayersOn()) return ERR_NOLAYERS;
        t->hide = 1;
        t->undoType = VmCheckInteger(state, 1);
        qzObjectId id = {0, nullptr};
        GetObjectIdArg(&id, state, 2);
        if (TableForm(state, 3)) {
            ParseEffectOptions(state, 3, t);
        } else {
            ReadPositional(state, 3, t);
            t->undoLevel = VmOptInteger(state, 6, t->undoLevel);
        }
        const int32_t position = FindUndoLayer(t->undoType, id, t->undoLevel);
        if (!position) return ERR_FINDARRAY;
        t->object = {position, nullptr};
        return 0;
    }
    case QZ_FXCMD_SHOWLAYER:
    case QZ_FXCMD_HIDELAYER:
    case QZ_FXCMD_REMOVELAYER:
        StartTemplate(state,
                      command == QZ_FXCMD_SHOWLAYER   ? QZ_EFFECT_SHOWLAYER
                      : command == QZ_FXCMD_HIDELAYER ? QZ_EFFECT_HIDELAYER
                                                      : QZ_EFFECT_REMOVELAYER,
                      t);
        return ReadLayerCommand(state, command, t);
    }
    return ERR_WRONGUSAGE;
}

int RunEffectRepeated(qzEffectContext* t) {
    int result = 0;
    do {
        t->repeat = 0;
        result = RunEffect(t);
        if (result >= VM_FIRST_ERROR_RESULT) return result;
    } while (t->repeat);
    return result;
}

namespace {

int RunCommand(VmState* state, qzEffectCommand command) {
    qzEffectContext t;
    int error = ReadEffectCommand(state, command, &t, nullptr);
    if (error) return error;
    return RunEffectRepeated(&t);
}

}  // namespace

int FxDisplayBrushFX(VmState* state) { return RunCommand(state, QZ_FXCMD_BRUSH); }
int FxDisplayTextObjectFX(VmState* state) { return RunCommand(state, QZ_FXCMD_TEXTOBJECT); }
int FxDisplayTransitionFX(VmState* state) { return RunCommand(state, QZ_FXCMD_TRANSITION); }
int FxDisplayBGPicPartFX(VmState* state) { return RunCommand(state, QZ_FXCMD_BGPICPART); }
int FxUndoFX(VmState* state) { return RunCommand(state, QZ_FXCMD_UNDO); }
int FxShowLayerFX(VmState* state) { return RunCommand(state, QZ_FXCMD_SHOWLAYER); }
int FxHideLayerFX(VmState* state) { return RunCommand(state, QZ_FXCMD_HIDELAYER); }
int FxRemoveLayerFX(VmState* state) { return RunCommand(state, QZ_FXCMD_REMOVELAYER); }

int FxGetRandomFX(VmState* state) {
    VmPushNumber(state, PickRandomEffect(VmCheckInteger(state, 1)));
    return 1;
}

int FxClearScreen(VmState* state) {
    qzEffectContext t;
    uint32_t colour = 0;
    int error = ReadEffectCommand(state, QZ_FXCMD_CLEARSCREEN, &t, &colour);
    if (error) return error;
    const qzBGPic* shown = CurrentBGPic();
    if (!shown) return ERR_WRONGUSAGE;
    // A blank picture of the shown one's size comes in with the effect; it is freed afterwards,
    // also when running out of memory unwinds through the effect (while the display shows it,
    // freeing only takes its handle).
    struct BlankPicture {
        VmState* state;
        qzObjectId id;
        ~BlankPicture() {
            if (id.pointer) DeleteBGPic(state, id, 0);
        }
    } blank = {state, {0, nullptr}};
    qzBGPic* made = nullptr;
    error = CreateBlankBGPic({0, QZ_AUTO_ID}, shown->scaledWidth, shown->scaledHeight, colour, &made);
    if (error) return error;
    blank.id = made->header.id;
    t.object = blank.id;
    return RunEffectRepeated(&t);
}
