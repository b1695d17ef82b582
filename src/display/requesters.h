// The player's seven modal requesters as the script commands, the start-up file requester, the
// error report and the display-mode choice ask for them: a message box with buttons, a file
// requester, a folder requester, a string requester, a list choice, a font requester and a colour
// requester. Each goes to the requester-adapter plugin when one is installed and serves that kind,
// else to the built-in back end (platform/host/backend_requesters.h).
//
// `display` is the display the requester belongs to, or null. While a requester is open the
// display is marked as being in one; afterwards its keyboard and mouse-button state is cleared.
// `extra` is the caller's word that an adapter receives as tag 1. Texts are ISO 8859-1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VmState;
struct qzDisplay;

// Kinds an adapter's requester flags word serves.
enum : uint32_t {
    QZ_REQADAPTER_SYSTEM = 2,
    QZ_REQADAPTER_FILE = 4,
    QZ_REQADAPTER_PATH = 8,
    QZ_REQADAPTER_STRING = 16,
    QZ_REQADAPTER_LIST = 32,
    QZ_REQADAPTER_FONT = 64,
    QZ_REQADAPTER_COLOR = 128,
};

// Result kinds handed back to the adapter's FreeRequest.
enum { QZ_REQRESULT_FILE = 0, QZ_REQRESULT_PATH = 1, QZ_REQRESULT_STRING = 2, QZ_REQRESULT_FONT = 3 };

// Message box: `buttons` separated by "|" (null or "" is "OK"); *button is 1, 2, ... from the left
// and 0 for the rightmost (or a closed box).
int ShowSystemRequester(VmState* state, qzDisplay* display, const char* title, const char* body, const char* buttons,
                        int icon, intptr_t extra, int* button);

// File requester result: the folder (ending with '/'), the chosen names each ended by a NUL,
// their number, and whether anything was chosen (0 after a cancel).
struct qzFileRequesterResult {
    std::string directory;
    std::string names;
    int32_t count = 0;
    int32_t chosen = 0;
};
// pattern: "", "*" and "#?" show every file, else suffixes separated by "|"; mode QZ_REQ_NORMAL,
// QZ_REQ_MULTISELECT or QZ_REQ_SAVEMODE.
int ShowFileRequester(VmState* state, qzDisplay* display, const char* title, const char* pattern, int mode,
                      const char* directory, const char* file, uint32_t flags, intptr_t extra,
                      qzFileRequesterResult* out);

// Folder requester: *chosen 1 with the path, 0 when cancelled.
int ShowPathRequester(VmState* state, qzDisplay* display, const char* title, int mode, const char* defaultPath,
                      intptr_t extra, std::string* path, int* chosen);

// String requester: the text into `buffer` (QZ_STRING_REQUESTER_BUFFER bytes); ERR_USERABORT
// with an empty buffer when cancelled.
int ShowStringRequester(VmState* state, qzDisplay* display, const char* title, const char* body,
                        const char* defaultText, int inputType, int maxLength, int password, intptr_t extra,
                        char* buffer);

// List requester: *index the chosen entry, or -1.
int ShowListRequester(VmState* state, qzDisplay* display, const char* title, const char* body,
                      const std::vector<std::string>& choices, int preselect, intptr_t extra, int* index);

// Font requester result: the family (at most 255 characters), size, weight (normal 80), slant,
// the four style words (underline, strike-out, bold, italic) and one further number.
struct qzFontRequesterResult {
    char name[256] = {};
    int32_t size = 0;
    int32_t weight = 80;
    int32_t slant = 0;
    int32_t underline = 0;
    int32_t strikeout = 0;
    int32_t bold = 0;
    int32_t italic = 0;
    int32_t further = 0;
};
int ShowFontRequester(VmState* state, qzDisplay* display, const char* title, const char* defaultName, int defaultSize,
                      intptr_t extra, qzFontRequesterResult* out);

// Colour requester: *colour 0xRRGGBB, or -1 when cancelled; `initial` -1 for none.
int ShowColorRequester(VmState* state, qzDisplay* display, const char* title, int32_t initial, intptr_t extra,
                       int32_t* colour);

// Requesters of the plugins' host service table: the message box with the information icon, and
// file and folder requesters that write into the caller's 1024-byte buffer. 1 when something was
// chosen, else 0; a path that does not fit the buffer is not cut: the buffer is left empty and 0
// returned.
int HostSystemRequest(const char* title, const char* body, const char* buttons);
int HostFileRequest(const char* title, char* buffer);
int HostPathRequest(const char* title, char* buffer);

// The display code's questions (which display mode to open in), asked with the message and list
// requesters while the display library has switched them on; otherwise cancelled (ERR_USERABORT).
// AskDisplayButtons gives the chosen button (0 for the last), AskDisplayList the chosen index or -1.
void EnableRequesters(bool on);
int AskDisplayButtons(VmState* state, qzDisplay* display, const char* title, const char* body, const char* buttons,
                      int* button);
int AskDisplayList(VmState* state, qzDisplay* display, const char* title, const char* body,
                   const std::vector<std::string>& choices, int preselect, int* index);

// The button set an adapter receives for a buttons string: 1 "OK" (also empty), 2 "OK|Cancel",
// 4 "Yes|No", 8 "Yes|No|Cancel" (any case, or the catalog's captions), else 16.
uint32_t RequesterButtonSet(const char* buttons);
// The weight of an adapter's font style bits (the first bit present wins; 80 without one).
int32_t RequesterFontWeight(uint32_t style);
