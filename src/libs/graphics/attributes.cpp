// GetAttribute(type, id, attribute, [extra]): checks the pair against the type's row, answers
// ATTRCOUNT without a lookup, and hands every other attribute to the row's reader.
#include "libs/graphics/attributes.h"

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "libs/graphics/graphics_commands.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "runtime/plugin_manager.h"
#include "text/font.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

const qzAttributeRow* FindAttributeRow(int32_t type) {
    for (const qzAttributeRow* row = qzAttributeRows; row->type; ++row)
        if (row->type == type) return row;
    return nullptr;
}

int PushAttrNumber(VmState* state, double value) {
    VmPushNumber(state, value);
    return 1;
}

int PushAttrString(VmState* state, const char* text) {
    VmPushString(state, text ? text : "");
    return 1;
}

int PushAttrId(VmState* state, const qzObjectId& id) {
    if (id.pointer)
        VmPushLightUserdata(state, id.pointer);
    else
        VmPushNumber(state, id.number);
    return 1;
}

int PushAttrFlag(VmState* state, bool on) { return PushAttrNumber(state, on ? 1 : 0); }

int PushFontAttribute(VmState* state, const qzFont* font, int attribute) {
    if (!font) return PushAttrNumber(state, 0);
    switch (attribute) {
    case ATTRFONTASCENDER: return PushAttrNumber(state, font->baseline);
    case ATTRFONTDESCENDER: return PushAttrNumber(state, font->height - font->baseline);
    case ATTRFONTNAME: return PushAttrString(state, font->name);
    case ATTRFONTSIZE: return PushAttrNumber(state, font->size);
    case ATTRFONTSCALABLE: return PushAttrFlag(state, font->scalable);
    default: return PushAttrFlag(state, font->antialias);
    }
}

const char* ImageLoaderName(const qzPluginInfo* loader, uint32_t native) {
    return loader ? GetLoaderName(loader) : GetLoaderName(native ? 1 : 0);
}

int AttrNotFound(const qzObjectId& id, int code) {
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return code;
}

int GfxGetAttribute(VmState* state) {
    const int32_t type = VmCheckInteger(state, 1);
    const int32_t attribute = VmCheckInteger(state, 3);
    const int extraIndex = VmGetTop(state) >= 4 ? 4 : 0;
    if (type >= QZ_FIRST_PLUGIN_TYPE) {
        if (attribute == ATTRCOUNT) return PushAttrNumber(state, CountObjectsOfType(type));
        qzAttributeRequest request{};
        GetObjectIdArg(&request.id, state, 2);
        request.attribute = attribute;
        request.extraIndex = extraIndex;
        return CallObjectTypeHandler(state, type, &request, nullptr);
    }
    const qzAttributeRow* row = FindAttributeRow(type);
    if (!row || !row->attributes.Has(attribute)) return ERR_UNKNOWNATTR;
    if (attribute == ATTRCOUNT) return PushAttrNumber(state, CountObjectsOfType(type));
    qzAttributeQuery query{type, attribute, {0, nullptr}, extraIndex};
    if (!row->ownId) GetObjectIdArg(&query.id, state, 2);
    if (row->read) return row->read(state, query);
    // A type without a reader has no objects: every lookup fails.
    return AttrNotFound(query.id, row->notFound);
}
