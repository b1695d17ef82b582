// The commands that make, empty, copy and free paths and append records to them.
#include <algorithm>
#include <string>

#include "base/charset.h"
#include "base/error_codes.h"
#include "libs/draw/draw.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "text/font.h"
#include "text/font_engine.h"
#include "text/text_engine.h"
#include "vector/path_buffer.h"
#include "vector/vector_engine.h"
#include "vector/vector_fonts.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Frees the path with the identifier's number, if there is one.
void FreeNumberedPath(VmState* state, const qzObjectId& id) {
    if (IsAutoObjectId(id)) return;
    if (qzObjectHeader* old = FindObjectInList(*GetPathList(), id))
        FreePathRecord(state, reinterpret_cast<qzPath*>(old));
}

// A point record (move or line): id, x, y.
int AppendPoint(VmState* state, uint32_t opcode, uint32_t relative) {
    VmCheckArgCount(state, 3, 3, 0, 0);
    qzObjectId id = CheckObjectIdArg(state, 1);
    qzPathArg args[] = {PathU32(relative), PathDouble(VmCheckNumber(state, 2)), PathDouble(VmCheckNumber(state, 3))};
    return AppendPathCommand(id, opcode, args, 3);
}

int AppendCurve(VmState* state, uint32_t relative) {
    VmCheckArgCount(state, 7, 7, 0, 0);
    qzObjectId id = CheckObjectIdArg(state, 1);
    qzPathArg args[7] = {PathU32(relative)};
    for (int i = 0; i < 6; i++) args[1 + i] = PathDouble(VmCheckNumber(state, 2 + i));
    return AppendPathCommand(id, QZ_PATHOP_CURVE, args, 7);
}

int AppendMarker(VmState* state, uint32_t opcode) {
    VmCheckArgCount(state, 1, 1, 0, 0);
    return AppendPathCommand(CheckObjectIdArg(state, 1), opcode, nullptr, 0);
}

int AppendArc(const qzObjectId& id, double x, double y, double rx, double ry, double start, double end,
              int32_t clockwise) {
    qzPathArg args[] = {PathDouble(x),
                        PathDouble(y),
                        PathDouble(rx),
                        PathDouble(ry),
                        PathDouble(start),
                        PathDouble(end),
                        PathU32(uint32_t(clockwise))};
    return AppendPathCommand(id, QZ_PATHOP_ARC, args, 7);
}

}  // namespace

int VgStartPath(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    FreeNumberedPath(state, id);
    qzPath* path = NewPathRecord(id);
    if (!path) return ERR_MEM;
    return PushNewObjectHandle(state, id, &path->header);
}

int VgFreePath(VmState* state) { return FreePathById(state, CheckObjectIdArg(state, 1)); }

int VgClearPath(VmState* state) {
    qzPath* path = CheckPath(state, 1);
    ClearPathBuffer(path);
    return 0;
}

int VgIsPathEmpty(VmState* state) {
    qzPath* path = CheckPath(state, 1);
    VmPushNumber(state, path->buffer == nullptr ? 1 : 0);
    return 1;
}

int VgMoveTo(VmState* state) { return AppendPoint(state, QZ_PATHOP_MOVE, 0); }
int VgRelMoveTo(VmState* state) { return AppendPoint(state, QZ_PATHOP_MOVE, 1); }
int VgLineTo(VmState* state) { return AppendPoint(state, QZ_PATHOP_LINE, 0); }
int VgRelLineTo(VmState* state) { return AppendPoint(state, QZ_PATHOP_LINE, 1); }
int VgCurveTo(VmState* state) { return AppendCurve(state, 0); }
int VgRelCurveTo(VmState* state) { return AppendCurve(state, 1); }
int VgStartSubPath(VmState* state) { return AppendMarker(state, QZ_PATHOP_SUBPATH); }
int VgClosePath(VmState* state) { return AppendMarker(state, QZ_PATHOP_CLOSE); }

int VgAddArcToPath(VmState* state) {
    qzObjectId id = CheckObjectIdArg(state, 1);
    double v[6];
    for (int i = 0; i < 6; i++) v[i] = VmCheckNumber(state, 2 + i);
    int32_t clockwise = VmOptInteger(state, 8, 1);
    return AppendArc(id, v[0], v[1], v[2], v[3], v[4], v[5], clockwise);
}

int VgAddCircleToPath(VmState* state) {
    qzObjectId id = CheckObjectIdArg(state, 1);
    double x = VmCheckNumber(state, 2), y = VmCheckNumber(state, 3), r = VmCheckNumber(state, 4);
    return AppendArc(id, x, y, r, r, 0, 360, 1);
}

int VgAddEllipseToPath(VmState* state) {
    qzObjectId id = CheckObjectIdArg(state, 1);
    double x = VmCheckNumber(state, 2), y = VmCheckNumber(state, 3);
    double rx = VmCheckNumber(state, 4), ry = VmCheckNumber(state, 5);
    return AppendArc(id, x, y, rx, ry, 0, 360, 1);
}

int VgAddBoxToPath(VmState* state) {
    qzObjectId id = CheckObjectIdArg(state, 1);
    double v[4];
    for (int i = 0; i < 4; i++) v[i] = VmCheckNumber(state, 2 + i);
    int32_t corners[4] = {0, 0, 0, 0};
    if (VmGetTop(state) >= 6) {
        VmCheckTable(state, 6);
        ReadBoxCorners(state, 6, corners);
    }
    qzPathArg args[8];
    for (int i = 0; i < 4; i++) {
        args[i] = PathDouble(v[i]);
        args[4 + i] = PathU32((uint32_t)std::clamp(corners[i], 0, 100));
    }
    return AppendPathCommand(id, QZ_PATHOP_BOX, args, 8);
}

int VgAddTextToPath(VmState* state) {
    qzObjectId id = CheckObjectIdArg(state, 1);
    const char* text = VmCheckString(state, 2);
    int32_t encoding = GetDefaultTextEncoding();
    if (VmGetTop(state) >= 3) {
        VmCheckTable(state, 3);
        GetTableFieldInt(state, 3, "encoding", &encoding, nullptr);
    }
    qzPath* path = CheckPath(state, id);
    if (encoding != ENCODING_UTF8 && encoding != ENCODING_ISO8859_1) return ERR_WRONGUSAGE;
    // The record keeps the text up to its first zero byte, as UTF-8.
    std::string utf8 = encoding == ENCODING_UTF8 ? std::string(text) : ConvertLatin1ToUtf8(std::string_view(text));
    qzFont* font = GetFontStyleState()->font ? GetFontStyleState()->font : GetInbuiltFont();
    if (!font || font->kind != FONTKIND_FREETYPE || !GetFontFace(font)) return ERR_VFONTTYPE;
    uint32_t handle = 0;
    if (int error = GetVectorFont(font, GetCurrentVectorEngine(), &handle)) return error;
    qzPathArg args[] = {PathHandle(handle), PathU32(font->size), PathString(utf8.c_str())};
    return AppendPathRecord(path, QZ_PATHOP_TEXT, args, 3);
}

int VgCopyPath(VmState* state) {
    qzPath* source = CheckPath(state, 1);
    const qzObjectId id = CheckNumericIdArg(state, 2);
    if (SameObjectId(id, source->header.id)) return ERR_WRONGUSAGE;
    FreeNumberedPath(state, id);
    qzPath* copy = nullptr;
    if (int error = CopyPathRecord(state, source, id, &copy)) return error;
    return PushNewObjectHandle(state, id, &copy->header);
}

int VgAppendPath(VmState* state) {
    qzPath* destination = CheckPath(state, 1);
    qzPath* source = CheckPath(state, 2);
    if (source == destination) return ERR_WRONGUSAGE;
    return AppendPathRecords(destination, source);
}
