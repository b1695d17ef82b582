// The draw state's style commands: SetFillStyle, SetFormStyle, SetLineWidth.
#include "base/error_codes.h"
#include "display/gradient_tags.h"
#include "libs/draw/draw.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vector/draw_state.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int DrawSetFillStyle(VmState* state) {
    qzDrawState* ds = GetDrawState();
    ds->fillStyle = VmCheckInteger(state, 1);
    switch (ds->fillStyle) {
    case FILLNONE: ds->lineWidth = VmOptInteger(state, 2, 1); break;
    case FILLCOLOR: break;
    case FILLGRADIENT: {
        qzGradient gradient;
        InitGradientSettings(&gradient);
        gradient.style = VmCheckInteger(state, 2);
        gradient.startColor = (uint32_t)VmCheckInteger(state, 3);
        gradient.endColor = (uint32_t)VmCheckInteger(state, 4);
        // The options table may also stand in the angle's place (the angle is then 0).
        int error = 0;
        if (VmType(state, 5) == VM_TTABLE) {
            error = ReadGradientTable(state, VmGetTop(state) + 1, &gradient);
            if (!error)
                error = ReadGradientOptions(state, 5, &gradient, "centerx", "centery", "balance", "border", "colors",
                                            nullptr);
        } else {
            error = ReadGradientTable(state, 5, &gradient);
        }
        if (error) return error;
        ds->gradient = gradient;
        break;
    }
    case FILLTEXTURE: {
        const qzObjectId id = CheckObjectIdArg(state, 2);
        ds->textureBrush = id;
        ds->textureX = VmOptInteger(state, 3, 0);
        ds->textureY = VmOptInteger(state, 4, 0);
        break;
    }
    default: return ERR_WRONGUSAGE;
    }
    ClampDrawState(ds);
    return 0;
}

int DrawSetFormStyle(VmState* state) {
    qzDrawState* ds = GetDrawState();
    const uint32_t style = (uint32_t)VmCheckInteger(state, 1);
    const int count = VmGetTop(state);
    if (style & FORM_NORMAL) {
        ds->formStyle = FORM_NORMAL;
    } else if (style == FORM_SHADOW) {
        if (count >= 2) ds->shadowColor = (uint32_t)VmCheckInteger(state, 2);
        if (count >= 3) ds->shadowSize = VmCheckInteger(state, 3);
        if (count >= 4) ds->shadowDirection = VmCheckInteger(state, 4);
        ds->formStyle |= FORM_SHADOW;
    } else if (style == FORM_EDGE) {
        if (count >= 2) ds->edgeColor = (uint32_t)VmCheckInteger(state, 2);
        if (count >= 3) ds->edgeSize = VmCheckInteger(state, 3);
        ds->formStyle |= FORM_EDGE;
    } else {
        if (count > 1) return ERR_TOOMANYARGS;
        ds->formStyle |= style;
    }
    ClampDrawState(ds);
    return 0;
}

int DrawSetLineWidth(VmState* state) {
    const int32_t width = VmCheckInteger(state, 1);
    if (width < 1) return ERR_WRONGUSAGE;
    GetDrawState()->lineWidth = width;
    return 0;
}
