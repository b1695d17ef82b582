// The system font engine (font kind 3): fonts installed on the system, opened by full name or
// from a font file linked into the applet, measured and rendered through the platform's system
// fonts (platform/system_fonts.h), whose coverage images are drawn here into engine bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/bitmap.h"
#include "text/font.h"

// Texts of this many bytes or more are refused with ERR_INTERNAL.
constexpr size_t QZ_SYSTEM_TEXT_LIMIT = 16384;

// Opens a system font into `font` (cleared by the caller): a ":::chunk" name is read whole and
// opened from memory, any other name is a full name. Returns 1 on success, 0 on failure.
int MacOpenFont(const char* name, int size, int flags, qzFont* font);
void MacCloseFont(qzFont* font);
// Both return 0, ERR_INTERNAL (text too long), ERR_TEXTCONVERT (not valid UTF-8) or ERR_MEM.
int MacRenderText(qzFont* font, qzBitMap* bitmap, qzBitMap* mask, int x, int y, const char* text, size_t length,
                  int style, int encoding, const qzFontClip* clip, uint32_t colour);
int MacMeasureText(qzFont* font, const char* text, size_t length, int style, int encoding, qzTextExtents* out);
