// The built-in message catalog: message ids of the error codes and the default English texts.
#pragma once

#include <cstddef>
#include <cstdint>

// Message ids run from 0 to 775.
constexpr int QZ_NUM_MESSAGE_IDS = 776;
// A code without a message id.
constexpr uint32_t QZ_NO_MESSAGE_ID = 0xFFFFFFFFu;
// Slots of the id table: one per code 1000..1574, indexed by code - 999.
constexpr int QZ_ERROR_ID_SLOTS = 576;

// Catalog ids of the player's words and progress texts that are not error messages.
enum QzCatalogId {
    QZ_MSG_UNKNOWNERROR = 91,      // "Unknown error code!"
    QZ_MSG_CURRENTLINE = 92,       // "current line"
    QZ_MSG_OK = 94,                // "OK"
    QZ_MSG_DONE = 95,              // "done"
    QZ_MSG_OPENINGSCRIPT = 97,     // "Opening script %s"
    QZ_MSG_LOADINGANIM = 98,       // "Loading animation %s"
    QZ_MSG_PREPARINGDISPLAY = 99,  // "Preparing display"
    QZ_MSG_LOADINGBGPIC = 100,     // "Loading background picture %s"
    QZ_MSG_LOADINGBRUSH = 101,     // "Loading brush %s"
    QZ_MSG_LOADINGSCRIPT = 106,    // "Loading script"
    QZ_MSG_FAILED = 108,           // "failed"
    QZ_MSG_LOADINGSAMPLE = 109,    // "Loading sample %s"
    QZ_MSG_OPENFONTSIZE = 116,     // "Cannot open font %s with size %ld!"
    QZ_MSG_FILE = 194,             // "File"
    QZ_MSG_SKIPPED = 195,          // "skipped"
    QZ_MSG_OKCANCEL = 217,         // "OK|Cancel"
    QZ_MSG_LOADINGSPRITE = 262,    // "Loading sprite %s"
    QZ_MSG_LOADINGMUSIC = 278,     // "Loading music %s"
    QZ_MSG_INFUNCTION = 280,       // "In function"
    QZ_MSG_LOADINGAPPLET = 287,    // "Loading applet %s"
    QZ_MSG_SELECTDISPMODE = 288,   // "Please select desired display mode!"
    QZ_MSG_DISPMODECHOICES = 289,  // "Full screen (best fit)|Windowed|Full screen (manual select)"
    QZ_MSG_CANCEL = 307,           // "Cancel"
    QZ_MSG_SELECTAPPLET = 309,     // "Select applet"
    QZ_MSG_YES = 338,              // "Yes"
    QZ_MSG_NO = 339,               // "No"
    QZ_MSG_ANDACTION = 372,        // "And Action!"
    QZ_MSG_ERROR = 402,            // "Error"
    QZ_MSG_OPENINGFONT = 410,      // "Opening font %s"
    QZ_MSG_OPENINGFILE = 601,      // "Opening file %s"
    QZ_MSG_LOADINGVIDEO = 602,     // "Loading video %s"
    QZ_MSG_LOADINGICON = 698,      // "Loading icon %s"
};

struct qzDefaultText {
    int id;
    const char* text;
};

extern const uint32_t qzErrorMessageIds[QZ_ERROR_ID_SLOTS];
extern const qzDefaultText qzDefaultTexts[];
extern const size_t qzNumDefaultTexts;
