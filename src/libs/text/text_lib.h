// The `text` command library: printing and drawing formatted text, the text cursor, margins and
// tab stops of the current display, the current font and style, font handles and font folders,
// text objects, and line input.
#pragma once

#include <cstdint>

#include "runtime/library.h"

struct VmState;

extern const qzLibraryDescriptor qzTextLibrary;

// Other libraries read a text object's bitmaps through its row of display/object_types.h: 0,
// ERR_FINDARRAY, or ERR_FINDTEXTOBJECT with the number as error argument.

// Command handlers.
int TextSetFont(VmState* state);
int TextSetFontColor(VmState* state);
int TextTextHeight(VmState* state);
int TextTextWidth(VmState* state);
int TextResetTabs(VmState* state);
int TextAddTab(VmState* state);
int TextLocate(VmState* state);
int TextSetMargins(VmState* state);
int TextSetFontStyle(VmState* state);
int TextPrint(VmState* state);
int TextNPrint(VmState* state);
int TextTextOut(VmState* state);
int TextCreateTextObject(VmState* state);
int TextDisplayTextObject(VmState* state);
int TextFreeTextObject(VmState* state);
int TextInKeyStr(VmState* state);
int TextTextExtent(VmState* state);
int TextScaleTextObject(VmState* state);
int TextCopyTextObject(VmState* state);
int TextRotateTextObject(VmState* state);
int TextOpenFont(VmState* state);
int TextCloseFont(VmState* state);
int TextUseFont(VmState* state);
int TextGetAvailableFonts(VmState* state);
int TextFreeGlyphCache(VmState* state);
int TextSetDefaultEncoding(VmState* state);
int TextAddFontPath(VmState* state);
int TextGetKerningPair(VmState* state);
