// Error codes to message texts, the error-argument state and run-time registered texts.
#include "runtime/error_messages.h"

#include <cstdlib>
#include <cstring>

#include "platform/chunk_name.h"
#include "platform/catalog.h"

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
    if (n >= size)
        n = size - 1;
    std::memmove(dst, src, n);
    dst[n] = 0;
}

// The part after the last '/', '\' or ':'.
const char* FilePartOf(const char* path) {
    const char* part = path;
    for (const char* p = path; *p; p++)
        if (*p == '/' || *p == '\\' || *p == ':')
            part = p + 1;
    return part;
}

// Codes whose argument is a file or image name: only its file part is shown.
bool ShowsFilePart(int code) {
    switch (code) {
    case ERR_LOADPICTURE: case ERR_READFILE: case ERR_OPENSOUND: case ERR_NOALPHA: case ERR_OPENANIM2:
    case ERR_OPENSOUND2: case ERR_LOADPICTURE2: case ERR_IMAGEERROR: case ERR_LOADVIDEO:
    case ERR_NOTRANSPARENCY:
        return true;
    default:
        return false;
    }
}

// Fills "%s" with text and "%d" / "%ld" with index; "%%" becomes "%". Any other '%' is copied.
std::string Substitute(const char* message, const char* text, int32_t index) {
    std::string out;
    for (const char* p = message; *p; p++) {
        if (*p != '%') {
            out.push_back(*p);
        } else if (p[1] == 's' && text) {
            out += text;
            p++;
        } else if (p[1] == 'd') {
            out += std::to_string(index);
            p++;
        } else if (p[1] == 'l' && p[2] == 'd') {
            out += std::to_string(index);
            p += 2;
        } else if (p[1] == '%') {
            out.push_back('%');
            p++;
        } else {
            out.push_back('%');
        }
    }
    return out;
}

std::string MessageOf(int code) {
    const char* message = nullptr;
    if (code < 0 || code > QZ_LAST_BUILTIN_ERROR) {
        message = GetUserErrorText(code);
    } else if (code == ERR_OPENFONT || code == ERR_ERRORCALLED) {
        return GetErrorArgString();
    } else if (code == ERR_CONFIG2) {
        // No message id of its own: it reports a configuration error like ERR_CONFIG.
        message = GetCatalogText(static_cast<int>(GetErrorMessageId(ERR_CONFIG)));
    } else {
        uint32_t id = GetErrorMessageId(code);
        if (id != QZ_NO_MESSAGE_ID)
            message = GetCatalogText(static_cast<int>(id));
    }
    if (!message) {
        message = GetCatalogText(QZ_MSG_UNKNOWNERROR);
        return message ? message : "Unknown error code!";
    }
    if (!std::strstr(message, "%s")) {
        if (std::strstr(message, "%d") || std::strstr(message, "%ld"))
            return Substitute(message, nullptr, GetErrorArgIndex());
        return message;
    }
    std::string arg;
    if (IsChunkName(GetErrorArgString()))
        arg = GetDisplayFileName(GetErrorArgString());
    else if (ShowsFilePart(code))
        arg = FilePartOf(GetErrorArgString());
    else
        arg = GetErrorArgString();
    return Substitute(message, arg.c_str(), GetErrorArgIndex());
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
    if (code < 1000 || code > QZ_LAST_BUILTIN_ERROR)
        return QZ_NO_MESSAGE_ID;
    return qzErrorMessageIds[code - 999];
}

size_t FormatErrorText(int code, char* buffer, size_t size) {
    if (!buffer || size == 0)
        return 0;
    std::string message = MessageOf(code);
    CopyCut(buffer, message.c_str(), size);
    return std::strlen(buffer);
}

std::string FormatErrorText(int code) {
    std::string message = MessageOf(code);
    if (message.size() >= QZ_ERROR_TEXT_SIZE)
        message.resize(QZ_ERROR_TEXT_SIZE - 1);
    return message;
}

int AddUserErrorText(const char* text) {
    if (!text)
        text = "";
    size_t len = std::strlen(text);
    auto* node = static_cast<qzUserErrorText*>(std::malloc(sizeof(qzUserErrorText) + len));
    if (!node)
        return ERR_MEM;
    std::memcpy(node->storage, text, len + 1);
    node->text = node->storage;
    node->next = nullptr;
    *userTextsTail = node;
    userTextsTail = &node->next;
    return QZ_FIRST_USER_ERROR + numUserTexts++;
}

const char* GetUserErrorText(int code) {
    if (code < QZ_FIRST_USER_ERROR)
        return nullptr;
    int index = code - QZ_FIRST_USER_ERROR;
    for (qzUserErrorText* t = userTexts; t; t = t->next, index--)
        if (index == 0)
            return t->text;
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

void SetErrorCommandName(const char* name) { CopyCut(errorCommandName, name ? name : QZ_NO_COMMAND, sizeof errorCommandName); }

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
    if (out.size() >= QZ_ERROR_TEXT_SIZE)
        out.resize(QZ_ERROR_TEXT_SIZE - 1);
    return out;
}
