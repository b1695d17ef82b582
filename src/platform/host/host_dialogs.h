// What the window-system drivers are asked for besides windows: the modal dialogs behind the
// player's requesters, and the clipboard. The rules of the requesters (button numbering, patterns,
// checks of the typed text, results) live above the drivers, in backend_requesters.cpp, and the
// clipboard's character and picture conversions in backend_clipboard.cpp; a driver only shows a
// dialog and reports what the user did, or moves bytes to and from the clipboard.
//
// Texts cross this border as UTF-8, paths in the file system's own form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct qzHostWindow;

enum qzHostDialogKind : int32_t {
    QZ_HDLG_MESSAGE = 1,  // a message with buttons
    QZ_HDLG_FILE,         // files to open or one to save
    QZ_HDLG_FOLDER,       // a folder
    QZ_HDLG_TEXT,         // a line of text
    QZ_HDLG_LIST,         // one entry of a list
    QZ_HDLG_FONT,         // a font family, size and style
    QZ_HDLG_COLOR,        // a colour
};

// Icons of message dialogs.
enum { QZ_HICON_NONE = 0, QZ_HICON_INFORMATION, QZ_HICON_ERROR, QZ_HICON_WARNING, QZ_HICON_QUESTION };
// File dialog modes.
enum { QZ_HFILE_OPEN = 0, QZ_HFILE_OPENSEVERAL = 1, QZ_HFILE_SAVE = 2 };
// Font style bits.
enum : uint32_t { QZ_HFONT_BOLD = 2, QZ_HFONT_ITALIC = 4, QZ_HFONT_UNDERLINE = 8 };

struct qzHostDialog {
    int32_t kind = QZ_HDLG_MESSAGE;
    qzHostWindow* parent = nullptr;  // the window the dialog belongs to, or null
    std::string title;
    std::string text;  // the message or question; may be empty
    // Message: the buttons from left to right (at least one), the icon, and the buttons that
    // Return and Escape press (-1: none).
    std::vector<std::string> buttons;
    int32_t icon = QZ_HICON_NONE;
    int32_t defaultButton = -1;
    int32_t cancelButton = -1;
    // File: the mode, the suffixes shown (".png"; compared without case; empty: every file), the
    // folder it starts in and the file name it proposes (either may be empty). Folder: `folder`.
    int32_t fileMode = QZ_HFILE_OPEN;
    std::vector<std::string> suffixes;
    std::string folder;
    std::string file;
    // Text: the text the field starts with, and whether it shows dots in place of the text.
    std::string initial;
    int32_t password = 0;
    // List: the entries and the one selected at the start (-1: none).
    std::vector<std::string> items;
    int32_t preselect = -1;
    // Font: the family, size and style it starts with. Colour: 0xRRGGBB, or -1 for none.
    std::string family;
    int32_t size = 0;
    uint32_t style = 0;
    int32_t color = -1;
};

struct qzHostDialogAnswer {
    // 0 when the user cancelled or closed the dialog, 1 when a choice was made.
    int32_t accepted = 0;
    int32_t button = -1;             // message: the button pressed, from 0 at the left
    int32_t index = -1;              // list: the entry chosen
    std::vector<std::string> paths;  // file: the paths chosen; folder: the one folder
    std::string text;                // text: what was typed
    std::string family;              // font
    int32_t size = 0;
    uint32_t style = 0;
    int32_t color = -1;  // colour: 0xRRGGBB
};

// Clipboard contents. Text is UTF-8 as the clipboard holds it; a picture is PNG data.
enum qzHostClipKind : int32_t {
    QZ_HCLIP_EMPTY = 0,
    QZ_HCLIP_TEXT = 1,
    QZ_HCLIP_IMAGE = 2,
    QZ_HCLIP_UNKNOWN = 4,  // something that is neither
};

struct qzHostClipboard {
    int32_t kind = QZ_HCLIP_EMPTY;
    std::string text;
    std::vector<uint8_t> png;
};
