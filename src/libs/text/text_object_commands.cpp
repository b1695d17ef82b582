// The text-object commands: create, show, scale, rotate, copy and free text objects.
#include <algorithm>
#include <cmath>

#include "base/error_codes.h"
#include "libs/text/text_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "text/text_object.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kKeepAspectRatio = 100000;

}  // namespace

int TextCreateTextObject(VmState* state) {
    const int count = VmGetTop(state);
    const qzObjectId id = CheckNumericIdArg(state, 1);
    size_t length = 0;
    const char* text = VmCheckString(state, 2, &length);
    qzTextStyle style;
    style.style = *GetFontStyleState();
    style.text.assign(text, length);
    style.encoding = GetDefaultTextEncoding();
    if (count >= 3 && VmType(state, 3) == VM_TTABLE) {
        int32_t value = 0;
        if (GetTableFieldInt(state, 3, "align", &value, nullptr)) style.alignment = value;
        if (GetTableFieldInt(state, 3, "wordwrap", &value, nullptr)) style.rightMargin = value;
        if (GetTableFieldInt(state, 3, "encoding", &value, nullptr)) style.encoding = value;
        if (GetTableFieldInt(state, 3, "color", &value, nullptr)) style.style.color = (uint32_t)value;
    } else {
        if (count >= 3) style.alignment = VmCheckInteger(state, 3);
        if (count >= 4) style.rightMargin = VmCheckInteger(state, 4);
        if (count >= 5) style.encoding = VmCheckInteger(state, 5);
    }
    if (style.rightMargin < 0 || style.encoding < 0 || style.encoding > 1) return ERR_WRONGUSAGE;
    qzTextObject* object = nullptr;
    const int error = CreateTextObject(state, id, style, &object);
    if (error) return error;
    return PushNewObjectHandle(state, id, &object->header);
}

int TextDisplayTextObject(VmState* state) {
    const int count = VmGetTop(state);
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t x = VmCheckInteger(state, 2);
    const int32_t y = VmCheckInteger(state, 3);
    return DisplayTextObject(state, id, x, y, count >= 4 ? 4 : 0);
}

int TextFreeTextObject(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return DeleteTextObject(state, id, 1);
}

int TextScaleTextObject(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    qzTextObject* object = CheckTextObject(state, id, 0);
    double width = CheckPercentArg(state, 2, object->baseWidth, 1, nullptr);
    double height = CheckPercentArg(state, 3, object->baseHeight, 1, nullptr);
    if (width == kKeepAspectRatio && height == kKeepAspectRatio) return ERR_WRONGUSAGE;
    if (width == kKeepAspectRatio) width = height * object->baseWidth / std::max(object->baseHeight, 1);
    if (height == kKeepAspectRatio) height = width * object->baseHeight / std::max(object->baseWidth, 1);
    const int32_t w = (int32_t)width, h = (int32_t)height;
    if (w < 1 || h < 1) return ERR_WRONGUSAGE;
    return RerenderTextObject(state, id, w, h, object->transform.rotate);
}

int TextRotateTextObject(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double angle = VmCheckNumber(state, 2);
    if (!std::isfinite(angle)) return ERR_WRONGUSAGE;
    return RerenderTextObject(state, id, 0, 0, angle);
}

int TextCopyTextObject(VmState* state) {
    const qzObjectId source = CheckObjectIdArg(state, 1);
    const qzObjectId target = CheckNumericIdArg(state, 2);
    if (!target.pointer && !source.pointer && source.number == target.number) return ERR_WRONGUSAGE;
    qzTextObject* object = CheckTextObject(state, source, 0);
    if (!target.pointer) {
        const int error = DeleteTextObject(state, target, 0);
        if (error) return error;
    }
    qzTextObject* copy = nullptr;
    const int error = CloneTextObject(state, object, target, &copy);
    if (error) return error;
    return PushNewObjectHandle(state, target, &copy->header);
}
