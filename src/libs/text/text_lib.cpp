// Registration of the `text` library: commands, constants, the font system's start and end.
#include "libs/text/text_lib.h"

#include "base/error_codes.h"
#include "display/object_types.h"
#include "display/shadow_direction.h"
#include "libs/graphics/graphics.h"
#include "runtime/object_registry.h"
#include "text/font_cache.h"
#include "text/font_engine.h"
#include "text/text_engine.h"
#include "text/text_object.h"
#include "vm/vm_aux.h"

namespace {

#define QZ_NUM(name, value) \
    { name, nullptr, static_cast<double>(value) }
#define QZ_STR(name, value) \
    { name, value, 0 }

const qzCommandRow kTextCommands[] = {
    {"SetFont", TextSetFont, 2, 3},
    {"SetFontColor", TextSetFontColor, 1, 1},
    {"TextHeight", TextTextHeight, 1, 1},
    {"TextWidth", TextTextWidth},
    {"ResetTabs", TextResetTabs, 0, 0},
    {"AddTab", TextAddTab, 1, 0},
    {"Locate", TextLocate, 2, 2},
    {"SetMargins", TextSetMargins, 2, 2},
    {"SetFontStyle", TextSetFontStyle, 1, 4},
    {"Print", TextPrint, 1, 0},
    {"NPrint", TextNPrint, 1, 0},
    {"TextOut", TextTextOut, 3, 5},
    {"CreateTextObject", TextCreateTextObject, 2, 5},
    {"DisplayTextObject", TextDisplayTextObject, 3, 4},
    {"FreeTextObject", TextFreeTextObject, 1, 1},
    {"InKeyStr", TextInKeyStr, 1, 3},
    {"TextExtent", TextTextExtent},
    {"ScaleTextObject", TextScaleTextObject, 3, 3},
    {"CopyTextObject", TextCopyTextObject, 2, 2},
    {"RotateTextObject", TextRotateTextObject, 2, 2},
    {"OpenFont", TextOpenFont, 3, 4},
    {"CloseFont", TextCloseFont, 1, 1},
    {"UseFont", TextUseFont, 1, 1},
    {"GetAvailableFonts", TextGetAvailableFonts, 0, 0},
    {"FreeGlyphCache", TextFreeGlyphCache, 1, 2},
    {"SetDefaultEncoding", TextSetDefaultEncoding, 1, 1},
    {"AddFontPath", TextAddFontPath, 1, 1},
    {"GetKerningPair", TextGetKerningPair, 2, 3},
    {nullptr, nullptr},
};

const qzConstantRow kTextConstants[] = {
    QZ_NUM("NORMAL", 1),
    QZ_NUM("BOLD", 2),
    QZ_NUM("ITALIC", 4),
    QZ_NUM("UNDERLINED", 8),
    QZ_NUM("ALL", 0),
    QZ_NUM("ALPHANUMERICAL", 1),
    QZ_NUM("NUMERICAL", 3),
    QZ_NUM("ALPHABETICAL", 2),
    QZ_NUM("HEXNUMERICAL", 4),
    QZ_NUM("ANTIALIAS", 16),
    QZ_NUM("SHADOW", 32),
    QZ_NUM("EDGE", 64),
    QZ_NUM("SHDWNORTH", QZ_SHDWNORTH),
    QZ_NUM("SHDWNORTHEAST", QZ_SHDWNORTHEAST),
    QZ_NUM("SHDWEAST", QZ_SHDWEAST),
    QZ_NUM("SHDWSOUTHEAST", QZ_SHDWSOUTHEAST),
    QZ_NUM("SHDWSOUTH", QZ_SHDWSOUTH),
    QZ_NUM("SHDWSOUTHWEST", QZ_SHDWSOUTHWEST),
    QZ_NUM("SHDWWEST", QZ_SHDWWEST),
    QZ_NUM("SHDWNORTHWEST", QZ_SHDWNORTHWEST),
    QZ_STR("BITMAP_DEFAULT", QZ_FONT_BITMAP_DEFAULT),
    QZ_STR("TRUETYPE_DEFAULT", QZ_FONT_TRUETYPE_DEFAULT),
    QZ_STR("SANS", QZ_FONT_SANS),
    QZ_STR("SERIF", QZ_FONT_SERIF),
    QZ_STR("MONOSPACE", QZ_FONT_MONOSPACE),
    QZ_NUM("FONTENGINE_NATIVE", 0),
    QZ_NUM("FONTENGINE_INBUILT", 4),
    QZ_NUM("FONTWEIGHT_THIN", 0),
    QZ_NUM("FONTWEIGHT_EXTRALIGHT", 40),
    QZ_NUM("FONTWEIGHT_ULTRALIGHT", 40),
    QZ_NUM("FONTWEIGHT_LIGHT", 50),
    QZ_NUM("FONTWEIGHT_BOOK", 75),
    QZ_NUM("FONTWEIGHT_NORMAL", 80),
    QZ_NUM("FONTWEIGHT_REGULAR", 80),
    QZ_NUM("FONTWEIGHT_MEDIUM", 100),
    QZ_NUM("FONTWEIGHT_SEMIBOLD", 180),
    QZ_NUM("FONTWEIGHT_DEMIBOLD", 180),
    QZ_NUM("FONTWEIGHT_BOLD", 200),
    QZ_NUM("FONTWEIGHT_EXTRABOLD", 205),
    QZ_NUM("FONTWEIGHT_ULTRABOLD", 205),
    QZ_NUM("FONTWEIGHT_HEAVY", 210),
    QZ_NUM("FONTWEIGHT_BLACK", 210),
    QZ_NUM("FONTWEIGHT_EXTRABLACK", 215),
    QZ_NUM("FONTWEIGHT_ULTRABLACK", 215),
    QZ_NUM("FONTSLANT_ROMAN", 0),
    QZ_NUM("FONTSLANT_ITALIC", 100),
    QZ_NUM("FONTSLANT_OBLIQUE", 110),
    QZ_NUM("ENCODING_ISO8859_1", 0),
    QZ_NUM("ENCODING_UTF8", 1),
    {nullptr, nullptr, 0},
};

// A text object's own bitmaps, for copies of it made by other libraries (ConvertToBrush and the
// like).
int TextObjectBitmaps(VmState* state, const qzObjectId& id, int32_t, qzObjectBitmaps* out) {
    qzTextObject* object = nullptr;
    int error = FindTextObject(state, id, &object, 0);
    if (error) return error;
    out->bitmap = object->bitmap;
    out->mask = object->mask;
    out->alpha = object->alpha;
    out->width = object->width;
    out->height = object->height;
    out->frames = 1;
    return 0;
}
const qzObjectTypeOps kTextObjectOps = {.bitmaps = TextObjectBitmaps};

int OpenTextLibrary(VmState*) {
    ResetFontStyleState();
    SetDefaultTextEncoding(ENCODING_ISO8859_1);
    int error = RegisterObjectList(GetTextObjectList());
    if (!error) error = RegisterObjectList(GetFontHandleList());
    qzFont* topaz = nullptr;
    if (!error) error = InitFontSystem(&topaz);
    if (error) return error;
    GetFontStyleState()->font = topaz;
    InstallTextLayerKinds(true);
    SetObjectTypeOps(QZ_TYPE_TEXT_OBJECT, &kTextObjectOps);
    return 0;
}

void FreeTextLibrary(VmState* state) {
    FreeAllTextObjects(state);
    FreeFontSystem(state);
    GetFontStyleState()->font = nullptr;
}

void ResetTextLibrary() {
    InstallTextLayerKinds(false);
    SetObjectTypeOps(QZ_TYPE_TEXT_OBJECT, nullptr);
    ResetFontStyleState();
    GetFontStyleState()->font = nullptr;
    SetDefaultTextEncoding(ENCODING_ISO8859_1);
}

}  // namespace

const qzLibraryDescriptor qzTextLibrary = {
    .name = "text",
    .commands = kTextCommands,
    .constants = kTextConstants,
    .open = OpenTextLibrary,
    .cleanups = {{QZ_STAGE_TEXT, FreeTextLibrary}},
    .reset = ResetTextLibrary,
};
