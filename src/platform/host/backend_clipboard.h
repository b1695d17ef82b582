// The clipboard of the `system` library (SetClipboard, GetClipboard, PeekClipboard,
// ClearClipboard): text and pictures on the desktop's clipboard through the host driver. Engine
// text is ISO 8859-1 and goes to the clipboard as UTF-8; pictures go as PNG data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Clipboard types (the script's CLIPBOARD_ constants); CLIPBOARD_SOUND is never reported.
enum {
    QZ_CLIPBOARD_EMPTY = 0,
    QZ_CLIPBOARD_TEXT = 1,
    QZ_CLIPBOARD_IMAGE = 2,
    QZ_CLIPBOARD_SOUND = 3,
    QZ_CLIPBOARD_UNKNOWN = 4,
};

struct qzBackendClipboardData {
    std::string text;   // text: ISO 8859-1
    int32_t width = 0;  // picture: width x height words 0xAARRGGBB, rows packed
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    int32_t hasAlpha = 0;  // the top bytes are the picture's alpha
};

// Puts text (QZ_CLIPBOARD_TEXT) or a picture (QZ_CLIPBOARD_IMAGE) on the clipboard; on success
// every display with a clipboard handler gets the clipboard-changed event. 0, ERR_CLIPWRITE,
// ERR_SAVEPNG or ERR_MEM.
int MacSetClipboard(int type, const qzBackendClipboardData& data);
// What the clipboard holds, with its text or picture: 0, ERR_CLIPOPEN, ERR_CLIPREAD, ERR_MEM, or
// ERR_LOADPICTURE2 for a picture that cannot be decoded.
int MacGetClipboard(qzBackendClipboardData* out, int* type);
// Only the type: 0 or ERR_CLIPOPEN.
int MacPeekClipboard(int* type);
// Empties the clipboard: 0 or ERR_CLIPWRITE.
int MacClearClipboard();

// Clipboard text <-> engine text. To the clipboard: ISO 8859-1 to UTF-8, line ends as they are.
// From it: UTF-8 to ISO 8859-1 (characters beyond it become '?'), and a CR that does not start
// a CR LF pair becomes LF.
std::string ClipboardTextFromEngine(const std::string& text);
std::string ClipboardTextToEngine(const std::string& text);
