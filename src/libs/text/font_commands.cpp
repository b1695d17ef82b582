// The font commands: the current font, font handles, glyph caches and font folders. The font
// cache (text/font_cache.h) shares one font per request; handles only point at cached fonts.
#include "base/error_codes.h"
#include "libs/text/text_lib.h"
#include "runtime/arg_check.h"
#include "runtime/console.h"
#include "runtime/object_id.h"
#include "text/font_cache.h"
#include "text/font_engine.h"
#include "text/text_engine.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// A new current font: the style goes back to NORMAL.
void MakeCurrent(qzFont* font) {
    qzFontStyle* style = GetFontStyleState();
    style->style = FONTSTYLE_NORMAL;
    style->font = font;
}

}  // namespace

int TextSetFont(VmState* state) {
    qzFont* font = nullptr;
    const int error = OpenFontFromArgs(state, 1, &font);
    if (error) {
        PrintProgressFailed();
        return error;
    }
    PrintProgressDone();
    MakeCurrent(font);
    return 0;
}

int TextOpenFont(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    if (!id.pointer) DeleteFontHandle(state, id);
    qzFont* font = nullptr;
    int error = OpenFontFromArgs(state, 2, &font);
    qzFontHandle* handle = nullptr;
    if (!error) error = AddFontHandle(id, font, &handle);
    if (error) {
        PrintProgressFailed();
        return error;
    }
    PrintProgressDone();
    return PushNewObjectHandle(state, id, &handle->header);
}

int TextCloseFont(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return DeleteFontHandle(state, id);
}

int TextUseFont(VmState* state) {
    qzFontHandle* handle = CheckFont(state, 1);
    MakeCurrent(handle->font);
    return 0;
}

int TextGetAvailableFonts(VmState* state) { return PushAvailableFonts(state); }

int TextFreeGlyphCache(VmState* state) {
    if (VmCheckInteger(state, 1) == 0) {
        FlushAllGlyphCaches();
        return 0;
    }
    qzFontHandle* handle = CheckFont(state, 2);
    FontEngineFlushGlyphCache(handle->font);
    return 0;
}

int TextAddFontPath(VmState* state) { return AddFontPath(VmCheckString(state, 1)); }
