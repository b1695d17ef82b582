#include "display/event_buttons.h"

#include <memory>

#include "base/error_codes.h"
#include "display/event_display.h"
#include "display/event_sources.h"
#include "display/layer_buttons.h"
#include "platform/os_alloc.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

const char* const qzButtonHandlerNames[QZ_BUTTON_HANDLERS] = {
    "onmouseover",      "onmouseout",     "onmousedown",    "onmouseup",
    "onrightmousedown", "onrightmouseup", "onmidmousedown", "onmidmouseup",
};
const char* const qzButtonActionNames[QZ_BUTTON_HANDLERS] = {
    "OnMouseOver",      "OnMouseOut",     "OnMouseDown",    "OnMouseUp",
    "OnRightMouseDown", "OnRightMouseUp", "OnMidMouseDown", "OnMidMouseUp",
};

namespace {

// Checks the handler table at `index` and references its functions into refs. 0, or the error
// (nothing referenced then).
int ReadHandlers(VmState* state, int index, int32_t refs[QZ_BUTTON_HANDLERS]) {
    if (VmType(state, index) != VM_TTABLE) return ERR_TABEXPECTED;
    index = VmAbsIndex(state, index);
    int functions = 0;
    for (const char* name : qzButtonHandlerNames) {
        VmPushString(state, name);
        VmGetTable(state, index);
        int type = VmType(state, -1);
        VmPop(state, 1);
        if (type == VM_TNIL) continue;
        if (type != VM_TFUNCTION) return ERR_FUNCEXPECTED;
        functions++;
    }
    if (!functions) return ERR_WRONGUSAGE;
    for (int i = 0; i < QZ_BUTTON_HANDLERS; i++) {
        VmPushString(state, qzButtonHandlerNames[i]);
        VmGetTable(state, index);
        refs[i] = VmType(state, -1) == VM_TFUNCTION ? VmRef(state, VM_REGISTRYINDEX) : (VmPop(state, 1), -1);
    }
    return 0;
}

void ReleaseButton(VmState* state, qzBGPicButton* button) {
    for (int32_t& ref : button->handlers) {
        VmUnref(state, VM_REGISTRYINDEX, ref);
        ref = -1;
    }
    VmUnref(state, VM_REGISTRYINDEX, button->userData);
    button->userData = -1;
}

// Makes the record and links it at the head of the picture's list.
int AddButton(VmState* state, qzBGPic* pic, const qzObjectId& id, int handlers, int userData, qzBGPicButton** out) {
    int32_t refs[QZ_BUTTON_HANDLERS];
    int error = ReadHandlers(state, handlers, refs);
    if (error) return error;
    auto* button = static_cast<qzBGPicButton*>(OsAlloc(sizeof(qzBGPicButton), 1));
    if (!button) {
        for (int32_t ref : refs) VmUnref(state, VM_REGISTRYINDEX, ref);
        return ERR_MEM;
    }
    // Owned here until it is linked: referencing the user data can raise the VM's out-of-memory
    // error through this frame.
    std::unique_ptr<qzBGPicButton, void (*)(void*)> owner(button, OsFree);
    if (!IsAutoObjectId(id)) {
        if (qzBGPicButton* old = FindButton(pic, id)) DeleteButton(state, pic, old);
        button->id = id;
    } else {
        button->id = {0, button};
    }
    for (int i = 0; i < QZ_BUTTON_HANDLERS; i++) button->handlers[i] = refs[i];
    button->userData = -1;
    if (userData) {
        VmPushValue(state, userData);
        button->userData = VmRef(state, VM_REGISTRYINDEX);
    }
    button->enabled = 1;
    qzBGPicButton** head = EventPictureButtons(pic);
    button->next = *head;
    *head = owner.release();
    *out = button;
    return 0;
}

}  // namespace

int IsButtonActive(const qzBGPicButton* button) {
    if (!button->enabled) return 0;
    if (button->type == QZ_BUTTON_SIMPLE) return 1;
    if (button->type == QZ_BUTTON_LAYER) return button->alsoWhenHidden || ButtonLayerShown(button->layer) ? 1 : 0;
    return 0;
}

int HitTestButton(VmState* state, qzDisplay* display, int32_t x, int32_t y, qzBGPicButton* button) {
    if (button->type == QZ_BUTTON_SIMPLE) {
        int32_t px = x, py = y;
        EventToPictureCoordinates(display, x, y, &px, &py);
        return px >= button->left && px <= button->right && py >= button->top && py <= button->bottom ? 1 : 0;
    }
    if (button->type == QZ_BUTTON_LAYER)
        return HitTestButtonLayer(state, display, button->layer, x, y, button->pixelExact) ? 1 : 0;
    return 0;
}

int AddSimpleButton(VmState* state, qzBGPic* pic, const qzObjectId& id, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, int handlers, int userData, qzBGPicButton** out) {
    int error = AddButton(state, pic, id, handlers, userData, out);
    if (error) return error;
    qzBGPicButton* b = *out;
    b->type = QZ_BUTTON_SIMPLE;
    b->left = left;
    b->top = top;
    b->right = right;
    b->bottom = bottom;
    return 0;
}

int AddLayerButton(VmState* state, qzBGPic* pic, const qzObjectId& id, qzLayer* layer, int32_t pixelExact,
                   int32_t alsoWhenHidden, int handlers, int userData, qzBGPicButton** out) {
    for (qzBGPicButton* b = *EventPictureButtons(pic); b; b = b->next) {
        // The button that an explicit id replaces does not count.
        if (b->type == QZ_BUTTON_LAYER && b->layer == layer && !(!IsAutoObjectId(id) && SameObjectId(b->id, id)))
            return ERR_WRONGUSAGE;
    }
    int error = AddButton(state, pic, id, handlers, userData, out);
    if (error) return error;
    qzBGPicButton* b = *out;
    b->type = QZ_BUTTON_LAYER;
    b->layer = layer;
    b->pixelExact = pixelExact ? 1 : 0;
    b->alsoWhenHidden = alsoWhenHidden ? 1 : 0;
    return 0;
}

qzBGPicButton* FindButton(qzBGPic* pic, const qzObjectId& id) {
    for (qzBGPicButton* b = *EventPictureButtons(pic); b; b = b->next)
        if (SameObjectId(b->id, id)) return b;
    return nullptr;
}

void DeleteButton(VmState* state, qzBGPic* pic, qzBGPicButton* button) {
    EventSourcesForgetButton(button);
    for (qzBGPicButton** link = EventPictureButtons(pic); *link; link = &(*link)->next) {
        if (*link == button) {
            *link = button->next;
            break;
        }
    }
    ReleaseButton(state, button);
    OsFree(button);
}

void SetButtonEnabled(qzBGPicButton* button, int enabled) {
    button->enabled = enabled ? 1 : 0;
    button->pressed[0] = button->pressed[1] = button->pressed[2] = 0;
}

void DeleteLayerButton(VmState* state, qzBGPic* pic, qzLayer* layer) {
    for (qzBGPicButton* b = *EventPictureButtons(pic); b; b = b->next) {
        if (b->type == QZ_BUTTON_LAYER && b->layer == layer) {
            DeleteButton(state, pic, b);
            return;
        }
    }
}

void ResetButtonStates(qzBGPic* pic) {
    for (qzBGPicButton* b = *EventPictureButtons(pic); b; b = b->next) {
        if (b->type == QZ_BUTTON_SIMPLE || b->type == QZ_BUTTON_LAYER)
            b->pressed[0] = b->pressed[1] = b->pressed[2] = 0;
    }
}

void FreePictureButtons(VmState* state, qzBGPic* pic) {
    while (qzBGPicButton* b = *EventPictureButtons(pic)) DeleteButton(state, pic, b);
}
