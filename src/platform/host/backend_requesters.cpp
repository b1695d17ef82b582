#include "platform/host/backend_requesters.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "base/player_identity.h"
#include "platform/catalog.h"
#include "platform/host/backend_window.h"
#include "platform/host/host.h"
#include "platform/os_env.h"
#include "platform/os_path.h"

namespace {

// Catalog captions of the standard buttons.
enum { kMsgOk = 94, kMsgCancel = 307, kMsgYes = 338, kMsgNo = 339 };

std::string Caption(int id, const char* text) { return ConvertLatin1ToUtf8(GetPlayerCatalogString(id, text)); }

std::string Utf8(const char* latin1) { return latin1 ? ConvertLatin1ToUtf8(latin1) : std::string(); }

std::string FileSystemPath(const char* enginePath) {
    std::string path;
    if (!enginePath || !*enginePath || !MacPathToFileSystem(enginePath, &path)) return std::string();
    return path;
}

// Shows the dialog through the driver; the driver's reason for a failure goes to the console.
int ShowDialog(qzHostDialog& dialog, const qzMacWindow* owner, qzHostDialogAnswer* answer) {
    const qzHostDriver* driver = HostDriver();
    if (!driver) return ERR_WINDOW;
    dialog.parent = HostWindow(owner);
    std::string message;
    int error = driver->dialog(dialog, answer, &message);
    if (error && !message.empty()) {
        std::fprintf(stderr, "%s: %s\n", QZ_PLAYER_NAME, message.c_str());
        std::fflush(stderr);
    }
    return error == ERR_MEM ? ERR_MEM : error ? ERR_WINDOW : 0;
}

std::vector<std::string> SplitBars(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('|', start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

void CopyOut(const std::string& text, char* buffer, size_t size) {
    size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
}

}  // namespace

std::vector<std::string> PatternSuffixes(const char* pattern) {
    std::vector<std::string> suffixes;
    if (!pattern || !*pattern || pattern[0] == '*' || std::strcmp(pattern, "#?") == 0) return suffixes;
    for (std::string piece : SplitBars(pattern)) {
        if (piece.empty()) continue;
        if (piece[0] != '.') piece.insert(piece.begin(), '.');
        suffixes.push_back(piece);
    }
    return suffixes;
}

bool MacIsNumberText(const char* text, size_t length) {
    if (!text || length == 0) return false;
    size_t i = text[0] == '-' ? 1 : 0;
    bool dot = false;
    for (; i < length; i++) {
        if (text[i] == '.') {
            if (dot) return false;
            dot = true;
        } else if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

int MacSystemRequest(const qzMacWindow* owner, const char* title, const char* message, const char* buttons, int icon,
                     int* result) {
    *result = 0;
    qzHostDialog d;
    d.kind = QZ_HDLG_MESSAGE;
    d.title = Utf8(title);
    d.text = Utf8(message);
    d.icon = icon >= QZ_REQICON_NONE && icon <= QZ_REQICON_QUESTION ? icon : QZ_REQICON_WARNING;
    const char* list = buttons && *buttons ? buttons : "OK";
    int set = -1;
    OsMatchStandardButtons(&list, &set);
    if (set >= 0) {
        switch (set) {
        case QZ_BUTTONS_OK: d.buttons = {Caption(kMsgOk, "OK")}; break;
        case QZ_BUTTONS_OKCANCEL: d.buttons = {Caption(kMsgOk, "OK"), Caption(kMsgCancel, "Cancel")}; break;
        case QZ_BUTTONS_YESNO: d.buttons = {Caption(kMsgYes, "Yes"), Caption(kMsgNo, "No")}; break;
        default: d.buttons = {Caption(kMsgYes, "Yes"), Caption(kMsgNo, "No"), Caption(kMsgCancel, "Cancel")}; break;
        }
        d.defaultButton = 0;
        d.cancelButton = d.buttons.size() > 1 ? 1 : 0;
    } else {
        for (const std::string& piece : SplitBars(list)) {
            if (piece.empty() || d.buttons.size() >= size_t(QZ_MAX_REQUESTER_BUTTONS)) return ERR_WINDOW;
            d.buttons.push_back(ConvertLatin1ToUtf8(piece));
        }
        if (d.buttons.size() <= 2) d.defaultButton = 0;
        if (d.buttons.size() == 2) d.cancelButton = 1;
    }
    qzHostDialogAnswer answer;
    int error = ShowDialog(d, owner, &answer);
    if (error) return error;
    // 1, 2, ... from the left; the rightmost button, and a closed box, give 0.
    int32_t count = int32_t(d.buttons.size());
    *result = answer.accepted && answer.button >= 0 && answer.button < count - 1 ? answer.button + 1 : 0;
    return 0;
}

int MacFileRequest(const qzMacWindow* owner, qzBackendFileResult* out, const char* title, const char* pattern, int mode,
                   const char* folder, const char* file) {
    *out = qzBackendFileResult{};
    qzHostDialog d;
    d.kind = QZ_HDLG_FILE;
    d.title = Utf8(title);
    d.fileMode = mode == QZ_REQ_MULTISELECT ? QZ_HFILE_OPENSEVERAL
                 : mode == QZ_REQ_SAVEMODE  ? QZ_HFILE_SAVE
                                            : QZ_HFILE_OPEN;
    if (d.fileMode != QZ_HFILE_SAVE) d.suffixes = PatternSuffixes(pattern);
    d.folder = FileSystemPath(folder);
    if (file && *file) {
        std::string name;
        if (MacPathToFileSystem(file, &name)) d.file = name;
    }
    qzHostDialogAnswer answer;
    int error = ShowDialog(d, owner, &answer);
    if (error) return error;
    if (!answer.accepted || answer.paths.empty()) return 0;
    if (d.fileMode != QZ_HFILE_OPENSEVERAL) answer.paths.resize(1);
    for (size_t i = 0; i < answer.paths.size(); i++) {
        std::string path = FileSystemToEnginePath(answer.paths[i]);
        size_t slash = path.find_last_of('/');
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (i == 0) out->folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        if (name.empty()) continue;
        out->names += name;
        out->names.push_back('\0');
        out->count++;
    }
    out->accepted = out->count > 0 ? 1 : 0;
    if (!out->accepted) *out = qzBackendFileResult{};
    return 0;
}

int MacPathRequest(const qzMacWindow* owner, const char* title, const char* folder, std::string* path, int* chosen) {
    path->clear();
    *chosen = 0;
    qzHostDialog d;
    d.kind = QZ_HDLG_FOLDER;
    d.title = Utf8(title);
    d.folder = FileSystemPath(folder);
    qzHostDialogAnswer answer;
    int error = ShowDialog(d, owner, &answer);
    if (error) return error;
    if (answer.accepted && answer.paths.size() == 1 && !answer.paths[0].empty()) {
        *path = FileSystemToEnginePath(answer.paths[0]);
        *chosen = 1;
    }
    return 0;
}

int MacStringRequest(const qzMacWindow* owner, char* buffer, const char* message, const char* defaultText,
                     const char* title, int inputType, int maxLength, int password) {
    buffer[0] = 0;
    std::string initial = defaultText ? defaultText : "";
    if (inputType == QZ_INPUT_NUMERICAL && !MacIsNumberText(initial.data(), initial.size())) initial.assign(1, '0');
    if (maxLength > 0 && initial.size() > size_t(maxLength)) initial.resize(size_t(maxLength));
    qzHostDialog d;
    d.kind = QZ_HDLG_TEXT;
    d.title = Utf8(title);
    d.text = Utf8(message);
    d.password = password ? 1 : 0;
    // The dialog cannot refuse keystrokes: what breaks the rules is refused when the user accepts
    // it, and the requester asks again.
    for (;;) {
        d.initial = ConvertLatin1ToUtf8(initial);
        qzHostDialogAnswer answer;
        int error = ShowDialog(d, owner, &answer);
        if (error) return error;
        if (!answer.accepted) return ERR_USERABORT;
        std::string text = ConvertTextToLatin1(answer.text, '?');
        if (maxLength > 0 && text.size() > size_t(maxLength)) {
            initial = text.substr(0, size_t(maxLength));
            continue;
        }
        if (inputType == QZ_INPUT_NUMERICAL && !MacIsNumberText(text.data(), text.size())) continue;
        CopyOut(text, buffer, QZ_STRING_REQUESTER_BUFFER);
        return 0;
    }
}

int MacListRequest(const qzMacWindow* owner, const char* title, const char* message,
                   const std::vector<std::string>& items, int initial, int* index) {
    *index = -1;
    qzHostDialog d;
    d.kind = QZ_HDLG_LIST;
    d.title = Utf8(title);
    d.text = Utf8(message);
    for (const std::string& item : items) d.items.push_back(ConvertLatin1ToUtf8(item));
    d.preselect = initial >= 0 && size_t(initial) < items.size() ? initial : -1;
    qzHostDialogAnswer answer;
    int error = ShowDialog(d, owner, &answer);
    if (error) return error;
    if (answer.accepted && answer.index >= 0 && size_t(answer.index) < items.size()) *index = answer.index;
    return 0;
}

int MacFontRequest(const qzMacWindow* owner, const char* title, const char* name, int size, qzBackendFontResult* out) {
    std::string family = name && *name ? name : "Helvetica";
    if (!name || !*name) size = 12;
    qzHostDialog d;
    d.kind = QZ_HDLG_FONT;
    d.title = Utf8(title);
    d.family = ConvertLatin1ToUtf8(family);
    d.size = size;
    qzHostDialogAnswer answer;
    int error = ShowDialog(d, owner, &answer);
    if (error) return error;
    uint32_t style = 0;
    if (answer.accepted && !answer.family.empty()) {
        family = ConvertTextToLatin1(answer.family, '?');
        size = answer.size > 0 ? answer.size : size;
        style = answer.style;
    }
    std::memset(out, 0, sizeof *out);
    CopyOut(family, out->name, sizeof out->name);
    out->size = size;
    out->bold = (style & QZ_HFONT_BOLD) ? 1 : 0;
    out->italic = (style & QZ_HFONT_ITALIC) ? 1 : 0;
    out->underline = (style & QZ_HFONT_UNDERLINE) ? 1 : 0;
    out->weight = out->bold ? 200 : 80;
    out->slant = out->italic ? 100 : 0;
    return 0;
}

int MacColorRequest(const qzMacWindow* owner, const char* title, int32_t initial, int32_t* color) {
    *color = -1;
    qzHostDialog d;
    d.kind = QZ_HDLG_COLOR;
    d.title = Utf8(title);
    d.color = initial < 0 ? 0 : initial & 0xFFFFFF;
    qzHostDialogAnswer answer;
    int error = ShowDialog(d, owner, &answer);
    if (error) return error;
    if (answer.accepted && answer.color >= 0) *color = answer.color & 0xFFFFFF;
    return 0;
}
