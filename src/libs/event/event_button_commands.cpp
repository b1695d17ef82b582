// MakeButton, DeleteButton, EnableButton, DisableButton and DumpButtons: the buttons of the
// current background picture.
#include <cstdint>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/event_buttons.h"
#include "display/event_display.h"
#include "display/layer_buttons.h"
#include "gfx/position.h"
#include "libs/event/event_lib.h"
#include "platform/os_console.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The button that the argument names, with its picture in *pic when asked for; else the command
// fails (VmFailCommand) with ERR_BGPICBUTTON, ERR_FINDARRAY or ERR_FINDBUTTON with the number.
qzBGPicButton* CheckButton(VmState* state, int index, qzBGPic** pic) {
    qzBGPic* picture = EventButtonPicture();
    if (!picture) VmFailCommand(state, ERR_BGPICBUTTON);
    const qzObjectId id = CheckObjectIdArg(state, index);
    qzBGPicButton* button = FindButton(picture, id);
    if (!button) {
        if (id.pointer) VmFailCommand(state, ERR_FINDARRAY);
        SetErrorArgIndex(id.number);
        VmFailCommand(state, ERR_FINDBUTTON);
    }
    if (pic) *pic = picture;
    return button;
}

bool Flag(VmState* state, int index) {
    if (VmType(state, index) == VM_TBOOLEAN) return VmToBoolean(state, index) != 0;
    return VmCheckNumber(state, index) != 0;
}

}  // namespace

int EvMakeButton(VmState* state) {
    qzBGPic* pic = EventButtonPicture();
    if (!pic) return ERR_BGPICBUTTON;
    const qzObjectId id = CheckNumericIdArg(state, 1);
    const int32_t type = VmCheckInteger(state, 2);
    qzBGPicButton* button = nullptr;
    int error = 0;
    if (type == QZ_BUTTON_SIMPLE) {
        int32_t x = VmCheckInteger(state, 3);
        int32_t y = VmCheckInteger(state, 4);
        const int32_t width = VmCheckInteger(state, 5);
        const int32_t height = VmCheckInteger(state, 6);
        if (width < 1 || height < 1) return ERR_WRONGUSAGE;
        int32_t picWidth = 0, picHeight = 0;
        EventPictureSize(pic, &picWidth, &picHeight);
        x = ResolveXPosition(x, width, picWidth, 0.0);
        y = ResolveYPosition(y, height, picHeight, 0.0);
        const int64_t right = int64_t(x) + width - 1;
        const int64_t bottom = int64_t(y) + height - 1;
        if (right > INT32_MAX || bottom > INT32_MAX) return ERR_WRONGUSAGE;
        error = AddSimpleButton(state, pic, id, x, y, static_cast<int32_t>(right), static_cast<int32_t>(bottom), 7,
                                VmGetTop(state) >= 8 ? 8 : 0, &button);
    } else if (type == QZ_BUTTON_LAYER) {
        if (VmGetTop(state) > 7) return ERR_TOOMANYARGS;
        qzLayer* layer = nullptr;
        error = FindButtonLayer(state, pic, 3, &layer);
        if (error) return error;
        const bool pixelExact = Flag(state, 4);
        const bool alsoWhenHidden = Flag(state, 5);
        error =
            AddLayerButton(state, pic, id, layer, pixelExact, alsoWhenHidden, 6, VmGetTop(state) >= 7 ? 7 : 0, &button);
    } else {
        return ERR_WRONGUSAGE;
    }
    if (error) return error;
    if (!IsAutoObjectId(id)) return 0;
    VmPushLightUserdata(state, button);
    return 1;
}

int EvDeleteButton(VmState* state) {
    qzBGPic* pic = nullptr;
    qzBGPicButton* button = CheckButton(state, 1, &pic);
    DeleteButton(state, pic, button);
    return 0;
}

int EvEnableButton(VmState* state) {
    SetButtonEnabled(CheckButton(state, 1, nullptr), 1);
    return 0;
}

int EvDisableButton(VmState* state) {
    SetButtonEnabled(CheckButton(state, 1, nullptr), 0);
    return 0;
}

int EvDumpButtons(VmState* state) {
    qzBGPic* pic = EventButtonPicture();
    if (!pic) return ERR_BGPICBUTTON;
    int count = 0;
    for (qzBGPicButton* b = *EventPictureButtons(pic); b; b = b->next) count++;
    PrintConsole("BUTTON SYSTEM INFO - BGPIC: %d (%p)\nsizeof(qzBGPicButton): %d\nButtons: %d\n",
                 EventPictureId(pic).number, static_cast<void*>(pic), 100, count);
    int index = 1;
    for (qzBGPicButton* b = *EventPictureButtons(pic); b; b = b->next, index++)
        PrintConsole("(%d) Type: %d - X1: %d - Y1: %d - X2: %d - Y2: %d\n", index, b->type, b->left, b->top, b->right,
                     b->bottom);
    return 0;
}
