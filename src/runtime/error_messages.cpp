// Error codes to message texts, the error-argument state and run-time registered texts.
#include "runtime/error_messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/catalog.h"
#include "platform/chunk_name.h"

namespace {

// The context of the last raised error.
char errorCommandName[64] = "----";
char errorSourceFile[QZ_ERROR_TEXT_SIZE] = "?";

// Texts registered at run time, in registration order. Node and text share one allocation.
struct qzUserErrorText {
    qzUserErrorText* next;
    const char* text;
    char storage[1];
};
qzUserErrorText* userTexts;
qzUserErrorText** userTextsTail = &userTexts;
int numUserTexts;

// Copies at most size - 1 characters and terminates. The source may lie inside the destination
// (a caller passing back a piece of the current text).
void CopyCut(char* dst, const char* src, size_t size) {
    size_t n = std::strlen(src);
    if (n >= size) n = size - 1;
    std::memmove(dst, src, n);
    dst[n] = 0;
}

// The part after the last '/', '\' or ':'.
const char* FilePartOf(const char* path) {
    const char* part = path;
    for (const char* p = path; *p; p++)
        if (*p == '/' || *p == '\\' || *p == ':') part = p + 1;
    return part;
}

// Codes whose argument is a file or image name: only its file part is shown.
bool ShowsFilePart(int code) {
    switch (code) {
    case ERR_LOADPICTURE:
    case ERR_READFILE:
    case ERR_OPENSOUND:
    case ERR_NOALPHA:
    case ERR_OPENANIM2:
    case ERR_OPENSOUND2:
    case ERR_LOADPICTURE2:
    case ERR_IMAGEERROR:
    case ERR_LOADVIDEO:
    case ERR_NOTRANSPARENCY: return true;
    default: return false;
    }
}

// A text being written into a buffer of `size` bytes: what does not fit is cut, and the text
// stays terminated.
struct TextCut {
    char* buffer;
    size_t size;
    size_t length;

    void Add(const char* text, size_t n) {
        if (length + n >= size) n = size - 1 - length;
        std::memcpy(buffer + length, text, n);
        length += n;
        buffer[length] = 0;
    }
    void Add(const char* text) { Add(text, std::strlen(text)); }
};

// Fills "%s" with text and "%d" / "%ld" with index; "%%" becomes "%". Any other '%' is copied.
void Substitute(TextCut* out, const char* message, const char* text, int32_t index) {
    char number[16];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(index));
    for (const char* p = message; *p; p++) {
        if (*p != '%') {
            out->Add(p, 1);
        } else if (p[1] == 's' && text) {
            out->Add(text);
            p++;
        } else if (p[1] == 'd') {
            out->Add(number);
            p++;
        } else if (p[1] == 'l' && p[2] == 'd') {
            out->Add(number);
            p += 2;
        } else if (p[1] == '%') {
            out->Add("%", 1);
            p++;
        } else {
            out->Add("%", 1);
        }
    }
}

// Writes the text of a code with its argument filled in. Reports are made also when memory has
// run out (they mostly report just that), so this allocates only to show a chunk's name, and
// shows the name as it is when that fails.
void WriteMessage(int code, TextCut* out) {
    const char* message = nullptr;
    if (code < 0 || code > QZ_LAST_BUILTIN_ERROR) {
        message = GetUserErrorText(code);
    } else if (code == ERR_OPENFONT || code == ERR_ERRORCALLED) {
        out->Add(GetErrorArgString());
        return;
    } else {
        // ERR_CONFIG2 has no message id of its own: it reports a configuration error like ERR_CONFIG.
        uint32_t id = GetErrorMessageId(code == ERR_CONFIG2 ? ERR_CONFIG : code);
        if (id != QZ_NO_MESSAGE_ID) message = GetCatalogText(static_cast<int>(id));
    }
    if (!message) {
        message = GetCatalogText(QZ_MSG_UNKNOWNERROR);
        out->Add(message ? message : "Unknown error code!");
        return;
    }
    if (!std::strstr(message, "%s")) {
        if (std::strstr(message, "%d") || std::strstr(message, "%ld"))
            Substitute(out, message, nullptr, GetErrorArgIndex());
        else
            out->Add(message);
        return;
    }
    const char* arg = GetErrorArgString();
    std::string shown;
    if (IsChunkName(arg)) {
        try {
            shown = GetDisplayFileName(arg);
            arg = shown.c_str();
        } catch (const std::bad_alloc&) {
        }
    } else if (ShowsFilePart(code)) {
        arg = FilePartOf(arg);
    }
    Substitute(out, message, arg, GetErrorArgIndex());
}

}  // namespace

const char* GetCatalogText(int id) {
    const char* defaultText = nullptr;
    for (size_t i = 0; i < qzNumDefaultTexts; i++) {
        if (qzDefaultTexts[i].id == id) {
            defaultText = qzDefaultTexts[i].text;
            break;
        }
    }
    return GetPlayerCatalogString(id, defaultText);
}

uint32_t GetErrorMessageId(int code) {
    if (code < 1000 || code > QZ_LAST_BUILTIN_ERROR) return QZ_NO_MESSAGE_ID;
    return qzErrorMessageIds[code - 999];
}

size_t FormatErrorText(int code, char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    // Written aside first: the error argument may be a piece of the buffer's current text.
    char text[QZ_ERROR_TEXT_SIZE];
    TextCut out{text, sizeof text, 0};
    text[0] = 0;
    WriteMessage(code, &out);
    CopyCut(buffer, text, size);
    return std::strlen(buffer);
}

std::string FormatErrorText(int code) {
    char text[QZ_ERROR_TEXT_SIZE];
    FormatErrorText(code, text, sizeof text);
    return text;
}

int AddUserErrorText(const char* text) {
    if (!text) text = "";
    size_t len = std::strlen(text);
    auto* node = static_cast<qzUserErrorText*>(std::malloc(sizeof(qzUserErrorText) + len));
    if (!node) return ERR_MEM;
    std::memcpy(node->storage, text, len + 1);
    node->text = node->storage;
    node->next = nullptr;
    *userTextsTail = node;
    userTextsTail = &node->next;
    return QZ_FIRST_USER_ERROR + numUserTexts++;
}

const char* GetUserErrorText(int code) {
    if (code < QZ_FIRST_USER_ERROR) return nullptr;
    int index = code - QZ_FIRST_USER_ERROR;
    for (qzUserErrorText* t = userTexts; t; t = t->next, index--)
        if (index == 0) return t->text;
    return nullptr;
}

void FreeUserErrorTexts() {
    while (userTexts) {
        qzUserErrorText* next = userTexts->next;
        std::free(userTexts);
        userTexts = next;
    }
    userTextsTail = &userTexts;
    numUserTexts = 0;
}

void SetErrorCommandName(const char* name) {
    CopyCut(errorCommandName, name ? name : QZ_NO_COMMAND, sizeof errorCommandName);
}

const char* GetErrorCommandName() { return errorCommandName; }

void SetErrorSourceFile(const char* name) { CopyCut(errorSourceFile, name ? name : "?", sizeof errorSourceFile); }

const char* GetErrorSourceFile() { return errorSourceFile; }

void ResetErrorState() {
    ClearErrorArg();
    SetErrorCommandName(QZ_NO_COMMAND);
    SetErrorSourceFile("?");
}

std::string FormatErrorRequesterText(const char* message, bool plain, bool scriptRunning, const char* fileName,
                                     int line, const char* commandName) {
    std::string out = message ? message : "";
    if (!plain && scriptRunning) {
        auto word = [](int id, const char* fallback) {
            const char* t = GetCatalogText(id);
            return std::string(t ? t : fallback);
        };
        out.append("\n").append(word(QZ_MSG_FILE, "File")).append(": ");
        out.append(GetDisplayFileName(fileName ? fileName : "")).append(" (");
        out.append(word(QZ_MSG_CURRENTLINE, "current line")).append(": ").append(std::to_string(line));
        if (commandName && *commandName && std::strcmp(commandName, QZ_NO_COMMAND) != 0)
            out.append(" - ").append(word(QZ_MSG_INFUNCTION, "In function")).append(": ").append(commandName);
        out += ")";
    }
    if (out.size() >= QZ_ERROR_TEXT_SIZE) out.resize(QZ_ERROR_TEXT_SIZE - 1);
    return out;
}
