// The built-in back end's seven modal requesters: message box, file, folder, string, list, font
// and colour. The display code's requester front ends call them when no requester-adapter plugin
// serves the kind. Each turns the request into one dialog of the host driver (host_dialogs.h),
// waits for it and reads the answer back into the player's terms.
//
// Texts and paths are ISO 8859-1 engine text on this side. Every requester returns 0, ERR_MEM or
// ERR_WINDOW (the dialog cannot be shown), or as stated. `owner` is the window record of the
// display the requester belongs to, or null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct qzMacWindow;

// File requester modes, message box icons and string requester input types.
enum { QZ_REQ_NORMAL = 0, QZ_REQ_MULTISELECT = 1, QZ_REQ_SAVEMODE = 2 };
enum { QZ_REQICON_NONE = 0, QZ_REQICON_INFORMATION, QZ_REQICON_ERROR, QZ_REQICON_WARNING, QZ_REQICON_QUESTION };
enum { QZ_INPUT_ALL = 0, QZ_INPUT_ALPHANUMERICAL, QZ_INPUT_ALPHABETICAL, QZ_INPUT_NUMERICAL, QZ_INPUT_HEXNUMERICAL };

// More buttons than this make a message box fail with ERR_WINDOW.
constexpr int QZ_MAX_REQUESTER_BUTTONS = 32;
// The string requester's buffer: at most this many bytes of text and a NUL.
constexpr size_t QZ_STRING_REQUESTER_BUFFER = 1025;

// Message box. `buttons` is a "|"-separated list; "OK", "OK|Cancel", "Yes|No" and "Yes|No|Cancel"
// (any case) are the standard sets, shown with the catalog's captions; null or "" is "OK". The
// buttons count 1, 2, ... from the left and the rightmost gives 0; closing the box gives 0. A
// list with more than 32 buttons, or with a button without text, fails with ERR_WINDOW.
int MacSystemRequest(const qzMacWindow* owner, const char* title, const char* message, const char* buttons, int icon,
                     int* result);

// The result of the file requester: the folder (ending with '/'), the chosen names (each ended by
// a NUL), their number, and whether the user chose at all.
struct qzBackendFileResult {
    std::string folder;
    std::string names;
    int32_t count = 0;
    int32_t accepted = 0;
};
// File requester. pattern: empty, starting with '*' or "#?" shows every file; else suffixes
// separated by '|' ("png|.jpg": ".png" and ".jpg", any case). mode: QZ_REQ_NORMAL (one file),
// QZ_REQ_MULTISELECT (several) or QZ_REQ_SAVEMODE (a name to save under, proposed as `file`).
// A cancel is no error: 0 with accepted 0.
int MacFileRequest(const qzMacWindow* owner, qzBackendFileResult* out, const char* title, const char* pattern, int mode,
                   const char* folder, const char* file);

// Folder requester: 0 with *chosen 1 and the folder's path, or *chosen 0 when cancelled.
int MacPathRequest(const qzMacWindow* owner, const char* title, const char* folder, std::string* path, int* chosen);

// String requester. The text the field starts with is `defaultText`, "0" for QZ_INPUT_NUMERICAL
// when that is not a number, cut to maxLength when it is positive. What the user accepts must fit
// maxLength and, for QZ_INPUT_NUMERICAL, be a number; otherwise the requester asks again. OK:
// 0 with the text in buffer (QZ_STRING_REQUESTER_BUFFER bytes). Cancel: ERR_USERABORT with an
// empty buffer.
int MacStringRequest(const qzMacWindow* owner, char* buffer, const char* message, const char* defaultText,
                     const char* title, int inputType, int maxLength, int password);

// List requester: *index the chosen entry (0-based), or -1 when cancelled or nothing was chosen.
// `initial` is the entry selected at the start, -1 for none.
int MacListRequest(const qzMacWindow* owner, const char* title, const char* message,
                   const std::vector<std::string>& items, int initial, int* index);

// The result of the font requester.
struct qzBackendFontResult {
    char name[256];
    int32_t size;
    int32_t weight;  // 200 bold, else 80
    int32_t slant;   // 100 italic, else 0
    int32_t underline;
    int32_t strikeout;  // always 0
    int32_t bold;
    int32_t italic;
    int32_t last;  // always 0
};
// Font requester. An empty name means "Helvetica" at 12. Without a choice the result holds the
// font it started with.
int MacFontRequest(const qzMacWindow* owner, const char* title, const char* name, int size, qzBackendFontResult* out);

// Colour requester: *color 0xRRGGBB, or -1 when cancelled. `initial` -1 starts at black.
int MacColorRequest(const qzMacWindow* owner, const char* title, int32_t initial, int32_t* color);

// A number as the string requester accepts it: an optional '-', then digits with at most one '.'
// anywhere after the sign; "-", "." and "-." pass (a number being typed); "" fails.
bool MacIsNumberText(const char* text, size_t length);

// The suffixes of a file requester pattern, as MacFileRequest reads it; empty: every file.
std::vector<std::string> PatternSuffixes(const char* pattern);
