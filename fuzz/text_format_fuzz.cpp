// Formatted text: any text with any tags lays out and draws with the inbuilt font without reading
// or writing outside its buffers; the first two bytes choose the mode, the wrap width and the
// alignment, so that wrapping, tabs and alignment are reached too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/font_cache.h"
#include "text/formatted_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        qzFont* topaz = nullptr;
        if (InitFontSystem(&topaz) != 0) std::abort();
        started = true;
    }
    if (size < 2 || size > 4096) return 0;
    ResetFontStyleState();
    qzTextStyle ts;
    ts.style = *GetFontStyleState();
    ts.text.assign(reinterpret_cast<const char*>(data) + 2, size - 2);
    const int mode = data[0] & 1 ? TEXTMODE_PRINT : TEXTMODE_TEXTOUT;
    ts.rightMargin = data[1] & 0x80 ? 8 * (data[1] & 0x3F) : 0;
    const int32_t aligns[3] = {TEXT_ALIGN_LEFT, TEXT_ALIGN_CENTER, TEXT_ALIGN_RIGHT};
    ts.alignment = aligns[(data[0] >> 1) % 3];
    if (mode == TEXTMODE_PRINT) {
        ts.leftMargin = 4;
        ts.rightMargin = 4 + 8 * (data[1] & 0x3F) + 7;
        ts.cursorX = 4 + (data[0] >> 3);
        ts.tabStops[0] = 24, ts.tabStops[1] = 40, ts.tabCount = 2;
    }
    qzTextBlock block;
    qzTextLayout layout;
    if (RenderTextBlock(nullptr, &ts, mode, data[0] & 0x80, (data[0] >> 6) & 1, 0, &block, &layout) == 0) {
        if (!block.bitmap || block.width < 1 || block.height < 1) std::abort();
        FreeTextBlock(&block);
    }
    return 0;
}
